#include "ui/detail/image_detail_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "store/context/store_context.h"
#include "store/projections/store_projections.h"
#include "store/results/results_model.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/detail/image_detail_panel_rules.h"
#include "ui/detail/image_detail_preview.h"
#include "ui/detail/image_filter_tags_section.h"
#include "ui/detail/image_tag_concept_section.h"
#include "ui/detail/metadata_section.h"
#include "ui/detail/review_controls.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

QWidget* makeEmptyState(const AppLocalization& localization, QWidget* parent) {
  auto* empty = new QWidget(parent);
  empty->setObjectName("detail.empty");
  empty->setMinimumHeight(280);
  auto* column = new QVBoxLayout(empty);
  column->addStretch(1);
  auto* icon = new QLabel(empty);
  icon->setAlignment(Qt::AlignCenter);
  icon->setPixmap(symbolPixmap("photo", 40, roleColor(ColorRole::secondary, empty->palette()),
                               empty->devicePixelRatioF()));
  column->addWidget(icon);
  auto* title = new WrappedTextLabel(qtText(localization.lookup(Key::detailNoSelection)), empty);
  title->setObjectName("detail.empty.title");
  title->setAlignment(Qt::AlignHCenter);
  title->setFont(roleFont(FontRole::title3, QFont::DemiBold));
  column->addWidget(title);
  column->addStretch(1);
  return empty;
}

}  // namespace

ImageDetailPanel::ImageDetailPanel(ImageDetailPanelModels models, const AppLocalization* localization,
                                   QWidget* parent)
    : QScrollArea(parent),
      results_(models.results),
      localization_(localization ? *localization : AppLocalization::live()) {
  setObjectName("detail.panel");
  setWidgetResizable(true);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setBackgroundRole(QPalette::Base);

  auto* body = new QWidget(this);
  body->setObjectName("detail.panel.body");
  body->setBackgroundRole(QPalette::Base);
  auto* column = new QVBoxLayout(body);
  column->setContentsMargins(14, 14, 14, 14);
  column->setSpacing(14);

  empty_ = makeEmptyState(localization_, body);
  column->addWidget(empty_);

  content_ = new QWidget(body);
  auto* sections = new QVBoxLayout(content_);
  sections->setContentsMargins(0, 0, 0, 0);
  sections->setSpacing(14);
  // The sections of a focused record, in the rule's order; the empty state stands in for them all.
  const bool isTagConceptEnabled = models.context.featureAvailability().isTagConceptEnabled;
  for (const ImageDetailSection section : imageDetailSections(true, isTagConceptEnabled)) {
    QWidget* widget = nullptr;
    switch (section) {
      case ImageDetailSection::emptyState:
        break;
      case ImageDetailSection::preview:
        widget = preview_ = new ImageDetailPreview(
            {models.results, models.review, models.concepts, models.context}, &localization_, content_);
        break;
      case ImageDetailSection::reviewControls:
        widget = reviewControls_ =
            new ReviewControls(models.results, models.review, models.projections, &localization_, content_);
        break;
      case ImageDetailSection::tagConcepts:
        widget = concepts_ = new ImageTagConceptSection(models.concepts, models.library, models.context,
                                                        &localization_, content_);
        break;
      case ImageDetailSection::filterTags:
        widget = tags_ = new ImageFilterTagsSection(models.filters, models.library, models.context,
                                                    &localization_, content_);
        break;
      case ImageDetailSection::metadata:
        widget = metadata_ = new MetadataSection(&localization_, content_);
        break;
    }
    if (widget != nullptr) sections->addWidget(widget);
  }
  column->addWidget(content_);
  column->addStretch(1);
  setWidget(body);

  connect(&models.projections, &StoreProjections::derivedValuesChanged, this, &ImageDetailPanel::refresh);
  refresh();
}

void ImageDetailPanel::refresh() {
  // A closed inspector follows the focus when it opens again, not on every arrow key meanwhile.
  if (!isVisible()) {
    isStale_ = true;
    return;
  }
  isStale_ = false;
  const RecordRef record = results_.selectedRecord();
  empty_->setVisible(!record);
  content_->setVisible(static_cast<bool>(record));
  reviewControls_->refresh();
  if (!record) {
    shown_ = nullptr;
    preview_->setRecord(nullptr);
    return;
  }
  // The same record object: nothing of it changed (a change replaces the record).
  if (record == shown_) return;
  shown_ = record;
  preview_->setRecord(record);
  if (concepts_) concepts_->setImagePath(record->file.path);
  tags_->setRecord(*record);
  metadata_->setMetadata(record->metadata);
}

void ImageDetailPanel::showEvent(QShowEvent* event) {
  QScrollArea::showEvent(event);
  if (isStale_) refresh();
}

ImageDetailPanelToggleButton::ImageDetailPanelToggleButton(const AppLocalization* localization,
                                                           QWidget* parent)
    : QWidget(parent), localization_(localization ? *localization : AppLocalization::live()) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  button_ = new QToolButton(this);
  button_->setObjectName("imageDetailPanel");
  button_->setAutoRaise(true);
  button_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button_->setIcon(symbolIcon("sidebar.trailing"));
  layout->addWidget(button_);
  connect(button_, &QToolButton::clicked, this, [this] { Q_EMIT presentedChangeRequested(!presented_); });
  presented_ = false;
  setPresented(true);
}

void ImageDetailPanelToggleButton::setPresented(bool presented) {
  if (presented == presented_) return;
  presented_ = presented;
  const QString text =
      qtText(localization_.lookup(presented_ ? Key::detailInspectorHide : Key::detailInspectorShow));
  button_->setAccessibleName(text);
  setPlainToolTip(*button_, text);
}

}  // namespace lorvex::ui
