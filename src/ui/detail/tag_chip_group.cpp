#include "ui/detail/tag_chip_group.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"
#include "ui/detail/detail_fonts.h"
#include "ui/detail/metadata_chip_button.h"
#include "ui/detail/metadata_tag_flow_layout.h"

namespace lorvex::ui {

TagChipGroup::TagChipGroup(const QString& title, QWidget* parent, const AppLocalization* localization)
    : QWidget(parent), localization_(localization != nullptr ? *localization : AppLocalization::live()) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(6);
  if (!title.isEmpty()) {
    title_ = makePlainLabel(title, this);
    title_->setFont(detailGroupTitleFont());
    setForegroundColor(*title_, roleColor(ColorRole::secondary, title_->palette()));
    column->addWidget(title_);
  }
  flowHost_ = new QWidget(this);
  flow_ = new MetadataTagFlowLayout(flowHost_);
  // The last cell of the flow, after the chips: a word at the end of the paragraph.
  more_ = new QToolButton(flowHost_);
  more_->setAutoRaise(true);
  more_->setCursor(Qt::PointingHandCursor);
  more_->setFont(roleFont(FontRole::callout));
  more_->setMinimumHeight(MetadataChipButton::kMinimumHeight);
  setForegroundColor(*more_, roleColor(ColorRole::accent, more_->palette()));
  more_->hide();
  flow_->addWidget(more_);
  connect(more_, &QToolButton::clicked, this, &TagChipGroup::showMoreTags);
  column->addWidget(flowHost_);
  setVisible(false);
}

void TagChipGroup::setChipFactory(std::function<void(MetadataChipButton&)> configure) {
  configure_ = std::move(configure);
}

void TagChipGroup::setTags(std::vector<std::string> tags, ChipIdentifiers identifiers) {
  // The same tags again (a refresh of their states) keep the pages already shown.
  const std::size_t shown = tags == tags_ ? std::max(chips_.size(), kChipPageSize) : kChipPageSize;
  tags_ = std::move(tags);
  identifiers_ = std::move(identifiers);
  showTags(std::min(tags_.size(), shown));
}

void TagChipGroup::setTags(const std::vector<std::string>& tags,
                           const std::vector<std::string>& identifiers) {
  setTags(tags, [identifiers](const std::vector<std::string>&, std::size_t count) {
    return std::vector<std::string>(identifiers.begin(),
                                    identifiers.begin() + static_cast<std::ptrdiff_t>(count));
  });
}

void TagChipGroup::showMoreTags() {
  const std::size_t before = chips_.size();
  if (before >= tags_.size()) return;
  const bool focusFollows = more_->hasFocus();
  showTags(std::min(tags_.size(), before + kChipPageSize));
  // Keyboard users go on from the first new chip rather than from a control that moved away.
  if (focusFollows) chips_[before]->setFocus(Qt::TabFocusReason);
  Q_EMIT chipsAdded(static_cast<int>(before));
}

void TagChipGroup::showTags(std::size_t count) {
  while (chips_.size() > count) {
    MetadataChipButton* chip = chips_.back();
    chips_.pop_back();
    flow_->removeWidget(chip);
    delete chip;
  }
  const bool adding = chips_.size() < count;
  // A child shown in a shown parent lays out every layout above it at once: chips added to the
  // shown flow one by one would lay out the whole panel once per chip. Hidden, the flow is laid
  // out once, when it shows again.
  const bool hideWhileAdding = adding && flowHost_->isVisible();
  // Hiding takes the focus from a chip that has it; it goes back once the flow shows again.
  QPointer<QWidget> focused = QApplication::focusWidget();
  if (focused && !flowHost_->isAncestorOf(focused)) focused = nullptr;
  if (hideWhileAdding) flowHost_->hide();
  while (chips_.size() < count) {
    auto* chip = new MetadataChipButton(flowHost_);
    if (configure_) configure_(*chip);
    flow_->addWidget(chip);
    chip->show();
    chips_.push_back(chip);
  }
  if (adding) {
    flow_->removeWidget(more_);
    flow_->addWidget(more_);
  }
  if (hideWhileAdding) {
    flowHost_->show();
    if (focused && focused->isVisible()) focused->setFocus(Qt::OtherFocusReason);
  }
  const std::vector<std::string> names =
      identifiers_ ? identifiers_(tags_, count) : std::vector<std::string>();
  for (std::size_t i = 0; i < count; ++i) {
    chips_[i]->setChipText(qtText(tags_[i]));
    if (i < names.size()) chips_[i]->setObjectName(qtText(names[i]));
  }
  const std::size_t hidden = tags_.size() - count;
  if (hidden > 0) {
    const QString text = qtText(
        localization_.lookup(AppLocalizationKey::metadataTagsMore, {static_cast<std::int64_t>(hidden)}));
    more_->setText(mnemonicSafe(text));
    more_->setAccessibleName(text);
    more_->setObjectName(objectName() + QStringLiteral(".more"));
  }
  more_->setVisible(hidden > 0);
  flow_->invalidate();
  setVisible(!tags_.empty());
}

int TagChipGroup::chipIndex(const MetadataChipButton* chip) const {
  const auto found = std::find(chips_.begin(), chips_.end(), chip);
  return found == chips_.end() ? -1 : static_cast<int>(found - chips_.begin());
}

}  // namespace lorvex::ui
