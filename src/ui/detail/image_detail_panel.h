// The inspector column: the focused record (the store's selectedRecord) as a large preview, its
// review toggles, its tag concepts (only while the feature is switched on), its tags and its
// metadata, in that order; with nothing focused, an empty state. The panel follows the models: the
// focus, the loaded records and the review gates. When another record is focused, or the focused
// one changes, the sections are updated in place rather than rebuilt, because the arrow keys move
// the focus many times a second.
//
// Thread safety: GUI thread only.
#pragma once

#include <QScrollArea>

#include "store/feature_models.h"
#include "store/record_ref.h"
#include "ui/common/app_localization.h"

class QLabel;
class QToolButton;

namespace lorvex::ui {

// What the panel and the sections it hosts read and change.
struct ImageDetailPanelModels {
  ResultsModel& results;
  ReviewModel& review;
  TagConceptsModel& concepts;
  FiltersModel& filters;
  const LibraryModel& library;
  StoreProjections& projections;
  StoreContext& context;
};

class ImageDetailPreview;
class ReviewControls;
class ImageTagConceptSection;
class ImageFilterTagsSection;
class MetadataSection;

class ImageDetailPanel : public QScrollArea {
  Q_OBJECT

 public:
  ImageDetailPanel(ImageDetailPanelModels models, const AppLocalization* localization = nullptr,
                   QWidget* parent = nullptr);

  // Reads the focus again (also called on every change of the projections' derived values); while
  // the panel is hidden this waits until it is shown.
  void refresh();

  const RecordRef& shownRecordForTest() const { return shown_; }
  ImageDetailPreview* previewForTest() const { return preview_; }
  MetadataSection* metadataSectionForTest() const { return metadata_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  const ResultsModel& results_;
  const AppLocalization& localization_;
  RecordRef shown_;
  bool isStale_ = true;
  QWidget* empty_;
  QWidget* content_;
  // Made in the order of imageDetailSections, which always holds all but the concepts.
  ImageDetailPreview* preview_ = nullptr;
  ReviewControls* reviewControls_ = nullptr;
  ImageTagConceptSection* concepts_ = nullptr;
  ImageFilterTagsSection* tags_ = nullptr;
  MetadataSection* metadata_ = nullptr;
};

// The workspace's toolbar button that shows or hides the inspector: "sidebar.trailing", its
// tooltip and accessible name "detail.inspector.hide" while shown and "detail.inspector.show"
// while hidden. Clicking asks for the other state (toggled(bool)).
class ImageDetailPanelToggleButton : public QWidget {
  Q_OBJECT

 public:
  explicit ImageDetailPanelToggleButton(const AppLocalization* localization = nullptr,
                                        QWidget* parent = nullptr);

  void setPresented(bool presented);
  bool isPresented() const { return presented_; }
  QToolButton* button() const { return button_; }

 Q_SIGNALS:
  void presentedChangeRequested(bool presented);

 private:
  const AppLocalization& localization_;
  QToolButton* button_;
  bool presented_ = true;
};

}  // namespace lorvex::ui
