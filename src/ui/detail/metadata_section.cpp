#include "ui/detail/metadata_section.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPropertyAnimation>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>

#include "ui/common/animations.h"
#include "ui/common/clip_rect_painting.h"
#include "ui/common/clipboard.h"
#include "ui/common/plain_text.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/detail/detail_fonts.h"
#include "ui/detail/hide_while_changed.h"
#include "ui/detail/image_detail_panel_rules.h"
#include "ui/detail/middle_elided_label.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

// Every row and long-text id, in the order they are shown.
constexpr std::array<const char*, 15> kRowIDs = {
    "title", "provider", "format",         "software",      "seed",        "source",  "sampler",   "steps",
    "scale", "size",     "generationTime", "noiseSchedule", "requestType", "version", "signedHash"};
constexpr std::array<const char*, 7> kLongTextIDs = {"prompt",
                                                     "negativePrompt",
                                                     "baseCaption",
                                                     "negativeBaseCaption",
                                                     "characterCaptions",
                                                     "negativeCharacterCaptions",
                                                     "rawCommentJSON"};

// The most of a long text an open box lays out. Real prompts run to a few thousand characters; a
// value of megabytes (a broken or hostile file) took seconds to lay out on every focus step, so the
// box shows its beginning and an ellipsis. The copy button and menu still copy every character.
constexpr qsizetype kShownLongTextLimit = 10'000;

QString shownLongText(const std::string& value) {
  QString text = qtText(std::string_view(value).substr(0, kShownLongTextLimit * 4));
  if (text.size() <= kShownLongTextLimit) return text;
  qsizetype cut = kShownLongTextLimit;
  if (text.at(cut - 1).isHighSurrogate()) --cut;  // never half a character
  text.truncate(cut);
  text += QChar(0x2026);
  return text;
}

QColor orange() {
  return QColor(255, 149, 0);
}

// The rounded box behind the status: orange tint when partial, the control background otherwise.
class StatusBox : public QWidget {
 public:
  using QWidget::QWidget;
  void setPartial(bool partial) {
    partial_ = partial;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(partial_ ? withOpacity(orange(), 0.1)
                              : roleColor(ColorRole::controlBackground, palette()));
    painter.drawRoundedRect(bounds, 8, 8);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(partial_ ? withOpacity(orange(), 0.35)
                                 : withOpacity(roleColor(ColorRole::secondary, palette()), 0.18),
                        1));
    painter.drawRoundedRect(bounds, 8, 8);
  }

 private:
  bool partial_ = false;
};

QString copyNamedValue(const AppLocalization& localization, const std::string& label) {
  return qtText(localization.lookup(Key::metadataCopyNamedValue, {label}));
}

}  // namespace

QToolButton* makeCopyIconButton(QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setAutoRaise(true);
  button->setIcon(symbolIcon("doc.on.doc"));
  button->setIconSize(QSize(14, 14));
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

void showCopyValueMenu(QWidget& anchor, const QPoint& position, const std::string& value,
                       const AppLocalization& localization) {
  auto* menu = new QMenu(&anchor);
  menu->setObjectName("detail.metadata.copyMenu");
  menu->setAttribute(Qt::WA_DeleteOnClose);
  if (!value.empty()) {
    QAction* copy = menu->addAction(symbolIcon("doc.on.doc"),
                                    mnemonicSafe(qtText(localization.lookup(Key::metadataCopyValue))));
    copy->setObjectName("copyValue");
    QObject::connect(copy, &QAction::triggered, menu, [value] { copyTextToClipboard(value); });
  }
  menu->popup(anchor.mapToGlobal(position));
}

MetadataSection::MetadataSection(const AppLocalization* localization, QWidget* parent)
    : QWidget(parent), localization_(localization ? *localization : AppLocalization::live()) {
  setObjectName("detail.metadata");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(12);

  auto* header = makePlainLabel(qtText(localization_.lookup(Key::metadataTitle)), this);
  header->setFont(detailSectionTitleFont());
  column->addWidget(header);

  buildStatusBox();
  column->addWidget(statusBox_);

  grid_ = new QWidget(this);
  auto* grid = new QGridLayout(grid_);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(6);
  grid->setColumnStretch(1, 1);
  const QFont callout = roleFont(FontRole::callout);
  int line = 0;
  for (const char* id : kRowIDs) {
    Row row;
    row.label = makePlainLabel({}, grid_);
    row.label->setFont(callout);
    setForegroundColor(*row.label, roleColor(ColorRole::secondary, row.label->palette()));
    row.label->setObjectName(QStringLiteral("detail.metadata.row.%1.label").arg(id));
    row.value = new MiddleElidedLabel(2, grid_);
    row.value->setFont(callout);
    row.value->setObjectName(QStringLiteral("detail.metadata.row.%1").arg(id));
    row.value->setContextMenuPolicy(Qt::CustomContextMenu);
    row.copy = makeCopyIconButton(grid_);
    row.copy->setObjectName(QStringLiteral("detail.metadata.row.%1.copy").arg(id));
    const std::string key = id;
    connect(row.copy, &QToolButton::clicked, this, [this, key] { copyTextToClipboard(rows_[key].text); });
    connect(row.value, &QLabel::customContextMenuRequested, this, [this, key](const QPoint& position) {
      showCopyValueMenu(*rows_[key].value, position, rows_[key].text, localization_);
    });
    grid->addWidget(row.label, line, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(row.value, line, 1, Qt::AlignTop);
    grid->addWidget(row.copy, line, 2, Qt::AlignTop);
    for (QWidget* widget : {static_cast<QWidget*>(row.label), static_cast<QWidget*>(row.value),
                            static_cast<QWidget*>(row.copy)}) {
      widget->hide();
    }
    rows_.emplace(key, row);
    ++line;
  }
  column->addWidget(grid_);

  auto* texts = new QWidget(this);
  texts_ = texts;
  auto* textColumn = new QVBoxLayout(texts);
  textColumn->setContentsMargins(0, 0, 0, 0);
  textColumn->setSpacing(8);
  for (const char* id : kLongTextIDs) {
    auto* disclosure = new MetadataLongTextDisclosure(id, localization_, texts);
    disclosure->hide();
    textColumn->addWidget(disclosure);
    disclosures_.emplace(id, disclosure);
  }
  column->addWidget(texts);
}

void MetadataSection::buildStatusBox() {
  auto* box = new StatusBox(this);
  box->setObjectName("detail.metadata.status");
  statusBox_ = box;
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(10, 10, 10, 10);
  column->setSpacing(6);
  auto* titleRow = new QHBoxLayout();
  titleRow->setSpacing(6);
  statusIcon_ = new QLabel(box);
  statusTitle_ = makePlainLabel({}, box);
  statusTitle_->setObjectName("detail.metadata.status.title");
  statusTitle_->setFont(roleFont(FontRole::callout, QFont::DemiBold));
  titleRow->addWidget(statusIcon_);
  titleRow->addWidget(statusTitle_, 1);
  column->addLayout(titleRow);
  statusDescription_ = new WrappedTextLabel({}, box);
  statusDescription_->setObjectName("detail.metadata.status.description");
  statusDescription_->setFont(roleFont(FontRole::caption));
  setForegroundColor(*statusDescription_, roleColor(ColorRole::secondary, statusDescription_->palette()));
  column->addWidget(statusDescription_);
  warning_ = new SelectableWrappedText(box);
  warning_->setObjectName("detail.metadata.status.warning");
  warning_->setFont(roleFont(FontRole::caption2));
  warning_->setContextMenuPolicy(Qt::CustomContextMenu);
  setForegroundColor(*warning_, orange());
  connect(warning_, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
    showCopyValueMenu(*warning_, position, warningText_, localization_);
  });
  column->addWidget(warning_);
}

void MetadataSection::applyStatus(const MetadataInspectionPresentation& presentation) {
  const bool parsed = presentation.status == MetadataInspectionStatus::parsed;
  statusBox_->setVisible(!parsed);
  if (parsed) return;
  const bool partial = presentation.status == MetadataInspectionStatus::partial;
  static_cast<StatusBox*>(statusBox_)->setPartial(partial);
  const QColor iconColor = partial ? orange() : roleColor(ColorRole::primary, palette());
  statusIcon_->setPixmap(
      symbolPixmap(metadataInspectionStatusSymbol(presentation.status), 14, iconColor, devicePixelRatioF()));
  statusTitle_->setText(qtText(presentation.statusTitle()));
  statusDescription_->setText(qtText(presentation.statusDescription()));
  warningText_ = presentation.warningText.value_or("");
  warning_->setText(qtText(warningText_));
  warning_->setVisible(presentation.warningText.has_value());
}

void MetadataSection::setMetadata(const GenerationMetadata& metadata) {
  const MetadataInspectionPresentation presentation(metadata, localization_);
  // The rows and the long texts show again together: the inspector is laid out once for both,
  // not once per container. When the section holds the focus, each container is hidden instead.
  const bool sectionHidden = hideWhileChanged(*this);
  applyStatus(presentation);

  std::map<std::string, const MetadataInspectionRow*> present;
  for (const auto& row : presentation.settingRows) present.emplace(row.id, &row);
  hideWhileChanged(*grid_);
  for (auto& [id, row] : rows_) {
    const auto found = present.find(id);
    const bool shown = found != present.end();
    if (shown) {
      const MetadataInspectionRow& value = *found->second;
      row.text = value.value;
      row.label->setText(qtText(value.label));
      row.value->setFullText(qtText(value.value));
      setPlainToolTip(*row.copy, copyNamedValue(localization_, value.label));
      row.copy->setAccessibleName(copyNamedValue(localization_, value.label));
    } else {
      row.text.clear();
    }
    row.label->setVisible(shown);
    row.value->setVisible(shown);
    row.copy->setVisible(shown && !row.text.empty());
  }
  grid_->setVisible(!presentation.settingRows.empty());

  std::map<std::string, const MetadataInspectionLongTextItem*> items;
  for (const auto& item : presentation.longTextItems) {
    if (item.value) items.emplace(item.id, &item);
  }
  const bool textsHidden = hideWhileChanged(*texts_);
  for (auto& [id, disclosure] : disclosures_) {
    const auto found = items.find(id);
    if (found == items.end()) {
      // The item left: its box starts closed when it comes back.
      disclosure->setExpanded(false, false);
      disclosure->hide();
      continue;
    }
    disclosure->setItem(*found->second);
    disclosure->show();
  }
  if (textsHidden) texts_->show();
  if (sectionHidden) show();
}

bool MetadataSection::isExpanded(const std::string& itemID) const {
  const auto found = disclosures_.find(itemID);
  return found != disclosures_.end() && found->second->isExpanded();
}

MetadataLongTextDisclosure::MetadataLongTextDisclosure(const std::string& id,
                                                       const AppLocalization& localization, QWidget* parent)
    : QWidget(parent), localization_(localization) {
  const QString name = QStringLiteral("detail.metadata.longText.") + qtText(id);
  setObjectName(name);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  auto* headerRow = new QHBoxLayout();
  headerRow->setContentsMargins(0, 0, 0, 0);
  headerRow->setSpacing(8);
  header_ = new QToolButton(this);
  header_->setObjectName(name + ".header");
  header_->setAutoRaise(true);
  header_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  header_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  header_->setFont(roleFont(FontRole::callout, QFont::DemiBold));
  header_->setIconSize(QSize(12, 12));
  header_->setStyleSheet("QToolButton { border: none; padding: 10px 0px 10px 10px; text-align: left; }");
  header_->setCursor(Qt::PointingHandCursor);
  copy_ = makeCopyIconButton(this);
  copy_->setObjectName(name + ".copy");
  headerRow->addWidget(header_, 1);
  headerRow->addWidget(copy_);
  headerRow->addSpacing(10);
  column->addLayout(headerRow);

  textBox_ = new QWidget(this);
  auto* textMargins = new QVBoxLayout(textBox_);
  textMargins->setContentsMargins(10, 4, 10, 10);
  text_ = new SelectableWrappedText(textBox_);
  text_->setObjectName(name + ".text");
  text_->setFont(roleFont(FontRole::callout));
  text_->setContextMenuPolicy(Qt::CustomContextMenu);
  textMargins->addWidget(text_);
  textBox_->hide();
  column->addWidget(textBox_);

  connect(header_, &QToolButton::clicked, this, [this] {
    setExpanded(nextDisclosureExpansion(expanded_, MetadataLongTextDisclosureTapTarget::headerRow), true);
  });
  connect(copy_, &QToolButton::clicked, this, [this] { copyTextToClipboard(value_); });
  connect(text_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& position) { showCopyValueMenu(*text_, position, value_, localization_); });
}

void MetadataLongTextDisclosure::setItem(const MetadataInspectionLongTextItem& item) {
  const bool titleChanged = item.title != title_;
  title_ = item.title;
  const std::string value = item.value.value_or("");
  if (value != value_) {
    value_ = value;
    // A 4 KB prompt is laid out only while its box is open.
    if (expanded_) text_->setText(shownLongText(value_));
  }
  copy_->setVisible(!value_.empty());
  if (titleChanged) {
    const QString label = copyNamedValue(localization_, title_);
    setPlainToolTip(*copy_, label);
    copy_->setAccessibleName(label);
  }
  updateHeader();
}

void MetadataLongTextDisclosure::setExpanded(bool expanded, bool animated) {
  if (expanded == expanded_) return;
  expanded_ = expanded;
  updateHeader();
  if (!expanded_) {
    textBox_->hide();
    return;
  }
  text_->setText(shownLongText(value_));
  textBox_->show();
  const int duration = animated ? animationDurationMs(0.12) : 0;
  if (duration > 0) {
    auto* animation = new QPropertyAnimation(textBox_, "maximumHeight", textBox_);
    animation->setDuration(duration);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(0);
    animation->setEndValue(textBox_->heightForWidth(std::max(1, width())));
    connect(animation, &QPropertyAnimation::finished, textBox_,
            [box = textBox_] { box->setMaximumHeight(QWIDGETSIZE_MAX); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
  }
}

void MetadataLongTextDisclosure::updateHeader() {
  header_->setText(mnemonicSafe(qtText(title_)));
  header_->setIcon(symbolIcon(expanded_ ? "chevron.down" : "chevron.right"));
  header_->setAccessibleName(qtText(title_));
  header_->setAccessibleDescription(qtText(
      localization_.lookup(expanded_ ? Key::metadataLongTextExpanded : Key::metadataLongTextCollapsed)));
  header_->setProperty("expanded", expanded_);
}

void MetadataLongTextDisclosure::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  painter.setPen(QPen(withOpacity(roleColor(ColorRole::secondary, palette()), 0.18), 1));
  painter.setBrush(roleColor(ColorRole::controlBackground, palette()));
  // An open box is taller than Qt's raster painter strokes and fills at once (see paintInBands).
  paintInBands(painter, rect(), [&] { painter.drawRoundedRect(bounds, 8, 8); });
}

}  // namespace lorvex::ui
