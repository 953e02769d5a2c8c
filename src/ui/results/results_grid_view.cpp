#include "ui/results/results_grid_view.h"

#include <QEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "store/image_library_store.h"
#include "ui/common/load_more_results_indicator.h"
#include "ui/results/results_grid_list_view.h"
#include "ui/results/results_header.h"
#include "ui/results/results_overlays.h"

namespace lorvex::ui {

ResultsGridView::ResultsGridView(ImageLibraryStore& store, ResultsGridViewActions actions, AppLocalization localizer,
                                 LocalImageLoader& loader, QWidget* parent)
    : QWidget(parent), store_(store), actions_(std::move(actions)), localizer_(std::move(localizer)) {
  setObjectName("results");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  header_ = new ResultsHeader(store_, localizer_, actions_.showShortcutHelp, this);
  column->addWidget(header_);
  grid_ = new ResultsGridListView(store_, loader, localizer_, this);
  grid_->setShowQuickLook(actions_.showQuickLook);
  column->addWidget(grid_, 1);
  loadMore_ = new LoadMoreResultsIndicator(this, &localizer_);
  column->addWidget(loadMore_);

  searching_ = new SearchProgressIndicator(localizer_, this);
  empty_ = new EmptyResultsOverlay(
      EmptyResultsActions{actions_.showFolderImporter, actions_.reauthorizeFolder,
                          [this] { store_.startDetached([store = &store_] { return resetActiveFilters(*store); }); }},
      this);
  searching_->hide();
  empty_->hide();
  grid_->installEventFilter(this);

  for (auto signal :
       {&ImageLibraryStore::isLoadingChanged, &ImageLibraryStore::isLoadingNextPageChanged,
        &ImageLibraryStore::registeredFolderSummariesChanged, &ImageLibraryStore::isLoadingRegisteredFoldersChanged,
        &ImageLibraryStore::isLibrarySyncInProgressChanged, &ImageLibraryStore::indexingProgressChanged,
        &ImageLibraryStore::derivedValuesChanged, &ImageLibraryStore::presentationChanged,
        &ImageLibraryStore::selectedFilterTagsChanged, &ImageLibraryStore::selectedModelSourceChanged,
        &ImageLibraryStore::selectedAspectFiltersChanged, &ImageLibraryStore::onlyFavoritesChanged,
        &ImageLibraryStore::onlyDeleteCandidatesChanged}) {
    connect(&store_, signal, this, [this] { rebuildSoon_.schedule(); });
  }
  connect(&store_.resultWindow(), &SearchResultWindow::recordsChanged, this, [this] { rebuildSoon_.schedule(); });
  connect(&store_.resultWindow(), &SearchResultWindow::hasMoreRecordsChanged, this,
          [this] { rebuildSoon_.schedule(); });
  rebuild();
}

ResultsGridView::~ResultsGridView() { grid_->removeEventFilter(this); }

void ResultsGridView::setQuickLookPresented(bool presented) { grid_->setQuickLookPresented(presented); }

void ResultsGridView::rebuild() {
  const bool pageLoading = store_.isLoadingNextPage();
  loadMore_->setVisible(store_.resultWindow().hasMoreRecords() || pageLoading);
  loadMore_->setLoading(pageLoading);

  overlay_ = chooseResultsOverlay(store_);
  searching_->setVisible(overlay_ == ResultsOverlay::searching);
  if (overlay_ == ResultsOverlay::emptyResults) {
    empty_->setPresentation(
        EmptyResultsPresentation::make(EmptyResultsPresentationContext::fromStore(store_, localizer_), localizer_));
  }
  empty_->setVisible(overlay_ == ResultsOverlay::emptyResults);
  placeOverlays();
}

void ResultsGridView::placeOverlays() {
  // Centred over the grid; the empty panel wraps its texts at its width.
  const QRect area = grid_->geometry();
  for (QWidget* overlay : {static_cast<QWidget*>(searching_), static_cast<QWidget*>(empty_)}) {
    if (overlay->isHidden()) continue;
    QSize size = overlay->sizeHint();
    if (overlay == empty_) {
      const int width = std::max(std::min(empty_->maximumWidth(), area.width() - 48), 200);
      const int height = overlay->hasHeightForWidth() ? overlay->heightForWidth(width) : size.height();
      size = QSize(width, std::max(height, size.height()));
    }
    overlay->setGeometry(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
    overlay->raise();
  }
}

bool ResultsGridView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move ||
                           event->type() == QEvent::Show)) {
    placeOverlays();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace lorvex::ui
