#include "ui/results/results_grid_view.h"

#include <QEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/library/library_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/projections/store_projections.h"
#include "store/results/results_model.h"
#include "ui/common/load_more_results_indicator.h"
#include "ui/results/results_grid_list_view.h"
#include "ui/results/results_header.h"
#include "ui/results/results_overlays.h"

namespace lorvex::ui {

ResultsGridView::ResultsGridView(ResultsGridListModels models, FiltersModel& filters,
                                 ResultsGridViewActions actions, AppLocalization localizer,
                                 LocalImageLoader& loader, QWidget* parent)
    : QWidget(parent),
      models_(models),
      filters_(filters),
      actions_(std::move(actions)),
      localizer_(std::move(localizer)) {
  setObjectName("results");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  header_ = new ResultsHeader(models_.results, filters_, models_.presentation, models_.projections,
                              models_.context, localizer_, actions_.showShortcutHelp, this);
  column->addWidget(header_);
  grid_ = new ResultsGridListView(models_, loader, localizer_, this);
  grid_->setShowQuickLook(actions_.showQuickLook);
  column->addWidget(grid_, 1);
  // The last row of the scrolled content, under the last tile.
  loadMore_ = new LoadMoreResultsIndicator(this, &localizer_);
  grid_->setFooter(loadMore_);

  searching_ = new SearchProgressIndicator(localizer_, this);
  empty_ =
      new EmptyResultsOverlay(EmptyResultsActions{actions_.showFolderImporter, actions_.reauthorizeFolder,
                                                  [this] {
                                                    models_.context.startDetached([filters = &filters_] {
                                                      return resetActiveFilters(*filters);
                                                    });
                                                  }},
                              this);
  searching_->hide();
  empty_->hide();
  grid_->installEventFilter(this);

  connect(&models_.projections, &StoreProjections::derivedValuesChanged, this,
          [this] { rebuildSoon_.schedule(); });
  for (auto signal : {&ResultsModel::isLoadingChanged, &ResultsModel::isLoadingNextPageChanged}) {
    connect(&models_.results, signal, this, [this] { rebuildSoon_.schedule(); });
  }
  for (auto signal :
       {&LibraryModel::registeredFolderSummariesChanged, &LibraryModel::isLoadingRegisteredFoldersChanged,
        &LibraryModel::isLibrarySyncInProgressChanged, &LibraryModel::indexingProgressChanged,
        &LibraryModel::isCheckingRegisteredFoldersChanged}) {
    connect(&models_.library, signal, this, [this] { rebuildSoon_.schedule(); });
  }
  // The empty-results panel leaves the tag concepts out of the filters it offers to reset, so a
  // change of concepts alone rebuilds it unchanged; following every filter keeps it from missing
  // one that it does show.
  connect(&filters_, &FiltersModel::filtersChanged, this, [this] { rebuildSoon_.schedule(); });
  connect(&models_.results.resultWindow(), &SearchResultWindow::recordsChanged, this,
          [this] { rebuildSoon_.schedule(); });
  connect(&models_.results.resultWindow(), &SearchResultWindow::hasMoreRecordsChanged, this,
          [this] { rebuildSoon_.schedule(); });
  rebuild();
}

ResultsGridView::~ResultsGridView() {
  grid_->removeEventFilter(this);
}

void ResultsGridView::setQuickLookPresented(bool presented) {
  grid_->setQuickLookPresented(presented);
}

void ResultsGridView::requestKeyboardFocus() {
  grid_->requestKeyboardFocus();
}

void ResultsGridView::rebuild() {
  const bool pageLoading = models_.results.isLoadingNextPage();
  loadMore_->setVisible(models_.results.resultWindow().hasMoreRecords() || pageLoading);
  loadMore_->setLoading(pageLoading);

  overlay_ = chooseResultsOverlay(models_.results);
  searching_->setVisible(overlay_ == ResultsOverlay::searching);
  if (overlay_ == ResultsOverlay::emptyResults) {
    empty_->setPresentation(EmptyResultsPresentation::make(
        EmptyResultsPresentationContext::from(models_.library, filters_, models_.presentation, localizer_),
        localizer_));
  }
  empty_->setVisible(overlay_ == ResultsOverlay::emptyResults);
  placeOverlays();
  updateGeometry();  // the overlay shown sets the least height
}

int ResultsGridView::overlayWidth(int gridWidth) const {
  // Centred over the grid; the empty panel wraps its texts at its width.
  return std::max(std::min(empty_->maximumWidth(), gridWidth - 2 * kOverlayMargin), 200);
}

QSize ResultsGridView::minimumSizeHint() const {
  QSize size = QWidget::minimumSizeHint();
  int overlay = 0;
  if (!searching_->isHidden()) overlay = searching_->sizeHint().height();
  if (!empty_->isHidden()) {
    // At the width the grid has now: a narrower column asks again when it is resized.
    const int width = overlayWidth(std::max(size.width(), grid_->width()));
    overlay = std::max(empty_->hasHeightForWidth() ? empty_->heightForWidth(width) : 0,
                       empty_->sizeHint().height());
  }
  if (overlay > 0) {
    size.setHeight(std::max(size.height(), header_->sizeHint().height() + overlay + 2 * kOverlayMargin));
  }
  return size;
}

void ResultsGridView::placeOverlays() {
  const QRect area = grid_->geometry();
  for (QWidget* overlay : {static_cast<QWidget*>(searching_), static_cast<QWidget*>(empty_)}) {
    if (overlay->isHidden()) continue;
    QSize size = overlay->sizeHint();
    if (overlay == empty_) {
      const int width = overlayWidth(area.width());
      const int height = overlay->hasHeightForWidth() ? overlay->heightForWidth(width) : size.height();
      size = QSize(width, std::max(height, size.height()));
    }
    overlay->setGeometry(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
    overlay->raise();
  }
}

bool ResultsGridView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_ &&
      (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::Show)) {
    placeOverlays();
    if (event->type() == QEvent::Resize && !empty_->isHidden()) updateGeometry();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace lorvex::ui
