#include "ui/detail/tag_chip_group.h"

#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"
#include "ui/detail/detail_fonts.h"
#include "ui/detail/metadata_chip_button.h"
#include "ui/detail/metadata_tag_flow_layout.h"

namespace lorvex::ui {

TagChipGroup::TagChipGroup(const QString& title, QWidget* parent) : QWidget(parent) {
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
  column->addWidget(flowHost_);
  setVisible(false);
}

void TagChipGroup::setChipFactory(std::function<void(MetadataChipButton&)> configure) {
  configure_ = std::move(configure);
}

void TagChipGroup::setTags(const std::vector<std::string>& tags,
                           const std::vector<std::string>& identifiers) {
  tags_ = tags;
  while (chips_.size() > tags.size()) {
    MetadataChipButton* chip = chips_.back();
    chips_.pop_back();
    flow_->removeWidget(chip);
    delete chip;
  }
  while (chips_.size() < tags.size()) {
    auto* chip = new MetadataChipButton(flowHost_);
    if (configure_) configure_(*chip);
    flow_->addWidget(chip);
    chips_.push_back(chip);
  }
  for (std::size_t i = 0; i < tags.size(); ++i) {
    chips_[i]->setChipText(qtText(tags[i]));
    chips_[i]->setObjectName(qtText(identifiers[i]));
  }
  flow_->invalidate();
  setVisible(!tags.empty());
}

int TagChipGroup::chipIndex(const MetadataChipButton* chip) const {
  const auto found = std::find(chips_.begin(), chips_.end(), chip);
  return found == chips_.end() ? -1 : static_cast<int>(found - chips_.begin());
}

}  // namespace lorvex::ui
