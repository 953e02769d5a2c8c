#include "store/results/results_model.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "store/observed_value.h"

namespace lorvex {

namespace {

template <typename T>
bool isUnderWay(const StoreTask<T>& task) {
  // A flow that ended but left its handle in place has nothing more to do.
  return task && !task.isFinished();
}

// How many records are selected: the focused one alone when nothing else is.
std::size_t selectedCount(const std::optional<std::string>& primaryPath, const PathSet& selectedPaths) {
  return selectedPaths.empty() ? (primaryPath ? 1 : 0) : selectedPaths.size();
}

}  // namespace

ResultsModel::ResultsModel(StoreContext& context, const FiltersModel& filters,
                           ImageLibraryPresentationState& presentation, ResultsDependents& dependents,
                           QObject* parent)
    : QObject(parent),
      context_(context),
      filters_(filters),
      presentation_(presentation),
      dependents_(dependents),
      selection_(std::make_unique<ResultSelection>()),
      resultWindow_(std::make_unique<SearchResultWindow>()) {
  // The window never outlives the model, so the handlers may hold it plainly.
  resultWindow_->setRecordsChangedHandler(
      [this](const SearchResultWindow::RecordsChange& change) { resultWindowRecordsDidChange(change); });
  resultWindow_->setRetiredRecordsHandler([this](std::vector<RecordRef> records) {
    releaseRecordsOn(context_.utilityPool(), std::move(records));
  });
  // Moved on by the person or the store's own flows: no earlier selection is followed any more.
  const auto selectionMovedOn = [this] {
    if (isReconcilingSelection_) return;
    selectionBeforeFocusLost_.reset();
    relocatedSelection_.reset();
  };
  connect(selection_.get(), &ResultSelection::primaryPathChanged, this, selectionMovedOn);
  connect(selection_.get(), &ResultSelection::selectedPathsChanged, this, selectionMovedOn);
}

ResultsModel::~ResultsModel() {
  // The window reports removals while it goes; nothing is left to keep in step by then.
  resultWindow_->setRecordsChangedHandler({});
  resultWindow_->setRetiredRecordsHandler({});
}

bool ResultsModel::hasFlowUnderWay() const {
  return isUnderWay(refreshSearchTask_) || isUnderWay(loadMoreTask_) ||
         isUnderWay(backgroundResultRefreshTask_) || isUnderWay(backgroundThumbnailGenerationTask_);
}

void ResultsModel::resultWindowRecordsDidChange(const SearchResultWindow::RecordsChange& change) {
  creatingThread_.check();
  // A moved image keeps the focus at the path the scan relocated it to, rather than the focus
  // landing on whatever record now stands where it stood; it may come with any change that brings
  // records in. A focus the store's own removals moved (the Trash, a review filter) is where the
  // focus is from then on.
  isReconcilingSelection_ = change.addsRecords;
  if (change.addsRecords) takeRelocatedSelection();
  std::optional<ResultSelection::Snapshot> before;
  if (change.addsRecords && !selectionBeforeFocusLost_) before = selection_->snapshot();
  const std::optional<bool> reconciled = selection_->reconcile(*resultWindow_, change.fallbackSelectionIndex);
  // Kept when the refresh took the focus or any selected record away.
  if (before && before->primaryPath &&
      (reconciled != false || selectedCount(selection_->primaryPath(), selection_->selectedPaths()) <
                                  selectedCount(before->primaryPath, before->selectedPaths)))
    selectionBeforeFocusLost_ = std::move(before);
  isReconcilingSelection_ = false;
  if (!reconciled.has_value()) presentation_.setIsSlideshowPresented(false);
}

void ResultsModel::followRelocatedRecords(const std::vector<RecordRelocation>& relocations) {
  creatingThread_.check();
  const ResultSelection::Snapshot selection = selectionBeforeFocusLost_.value_or(selection_->snapshot());
  if (!selection.primaryPath) return;
  const RelocatedPaths relocated(relocations);
  const auto followed = [&](std::string_view path) {
    return std::string(relocated.destination(path).value_or(path));
  };
  const auto moves = [&](std::string_view path) { return relocated.destination(path).has_value(); };
  if (!moves(*selection.primaryPath) && !(selection.anchorPath && moves(*selection.anchorPath)) &&
      std::none_of(selection.selectedPaths.begin(), selection.selectedPaths.end(), moves))
    return;
  ResultSelection::Snapshot moved{followed(*selection.primaryPath), {}, std::nullopt};
  for (const std::string_view path : selection.selectedPaths) moved.selectedPaths.insert(followed(path));
  if (selection.anchorPath) moved.anchorPath = followed(*selection.anchorPath);
  relocatedSelection_ = std::move(moved);
  selectionBeforeFocusLost_.reset();
  takeRelocatedSelection();
}

void ResultsModel::takeRelocatedSelection() {
  if (!relocatedSelection_ || !resultWindow_->index(*relocatedSelection_->primaryPath)) return;
  ResultSelection::Snapshot taken = *std::exchange(relocatedSelection_, std::nullopt);
  // A selected record the window does not show at its new place yet (the focused one did not
  // move, and the refresh after the scan is still to come) is taken with the records coming in.
  std::optional<ResultSelection::Snapshot> waiting;
  if (!resultWindow_->holdsEveryPathOf(taken.selectedPaths)) waiting = taken;
  selection_->setPrimaryPath(std::move(taken.primaryPath));
  selection_->setSelectedPaths(std::move(taken.selectedPaths));
  selection_->setAnchorPath(std::move(taken.anchorPath));
  // Selected records that are not loaded (moved out of the results) drop out.
  selection_->reconcile(*resultWindow_, 0);
  relocatedSelection_ = std::move(waiting);
}

void ResultsModel::setSearchResultsResetCount(int value) {
  creatingThread_.check();
  assignObserved(searchResultsResetCount_, std::move(value), this,
                 &ResultsModel::searchResultsResetCountChanged);
}

void ResultsModel::setIsLoading(bool value) {
  creatingThread_.check();
  assignObserved(isLoading_, std::move(value), this, &ResultsModel::isLoadingChanged);
}

void ResultsModel::setIsLoadingNextPage(bool value) {
  creatingThread_.check();
  assignObserved(isLoadingNextPage_, std::move(value), this, &ResultsModel::isLoadingNextPageChanged);
}

void ResultsModel::setIsBackgroundRefreshingResults(bool value) {
  creatingThread_.check();
  isBackgroundRefreshingResults_ = value;
}

void ResultsModel::setRefreshSearchTask(StoreTask<std::vector<RecordRef>> value) {
  creatingThread_.check();
  refreshSearchTask_ = std::move(value);
}

void ResultsModel::setLoadMoreTask(StoreTask<bool> value) {
  creatingThread_.check();
  loadMoreTask_ = std::move(value);
}

void ResultsModel::setActiveLoadMoreTaskID(std::optional<int> value) {
  creatingThread_.check();
  activeLoadMoreTaskID_ = std::move(value);
}

void ResultsModel::setBackgroundResultRefreshTask(StoreTask<void> value) {
  creatingThread_.check();
  backgroundResultRefreshTask_ = std::move(value);
}

void ResultsModel::setActiveBackgroundResultRefreshMode(BackgroundResultRefreshMode value) {
  creatingThread_.check();
  activeBackgroundResultRefreshMode_ = value;
}

void ResultsModel::setNeedsFullWindowResultRefresh(bool value) {
  creatingThread_.check();
  needsFullWindowResultRefresh_ = value;
}

void ResultsModel::setBackgroundThumbnailGenerationTask(StoreTask<void> value) {
  creatingThread_.check();
  backgroundThumbnailGenerationTask_ = std::move(value);
}

}  // namespace lorvex
