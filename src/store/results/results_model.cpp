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
    relocatedPathsToSelect_ = {};
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
  if (change.addsRecords) takeRelocatedSelection(change.replacesRecords);
  std::optional<ResultSelection::Snapshot> before;
  if (isApplyingNewSearch_) {
    // What the person asked to see: the selection is what survives in it, and nothing it left out
    // is kept for a later scan to bring back.
    selectionBeforeFocusLost_.reset();
  } else if (change.addsRecords && !selectionBeforeFocusLost_) {
    before = selection_->snapshot();
  }
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
  // The selection as the person left it: one still waiting for its focus, else one a refresh of
  // this scan took away, else the selection as it is, with the relocated records still to load.
  ResultSelection::Snapshot selection = relocatedSelection_
                                            ? relocatedSelection_->selection
                                            : selectionBeforeFocusLost_.value_or(selection_->snapshot());
  PathSet relocatedPaths =
      relocatedSelection_ ? relocatedSelection_->relocatedPaths : relocatedPathsToSelect_;
  for (const std::string_view path : relocatedPathsToSelect_) selection.selectedPaths.insert(path);
  // A refresh's loss this scan did not explain stays lost.
  selectionBeforeFocusLost_.reset();
  if (!selection.primaryPath) return;
  const RelocatedPaths relocated(relocations);
  const auto followed = [&](std::string_view path) {
    return std::string(relocated.destination(path).value_or(path));
  };
  const auto moves = [&](std::string_view path) { return relocated.destination(path).has_value(); };
  if (!moves(*selection.primaryPath) && !(selection.anchorPath && moves(*selection.anchorPath)) &&
      std::none_of(selection.selectedPaths.begin(), selection.selectedPaths.end(), moves))
    return;
  RelocatedSelection moved{{followed(*selection.primaryPath), {}, std::nullopt}, {}};
  for (const std::string_view path : selection.selectedPaths) {
    const std::string to = followed(path);
    if (moves(path) || relocatedPaths.contains(path)) moved.relocatedPaths.insert(to);
    moved.selection.selectedPaths.insert(to);
  }
  if (selection.anchorPath) moved.selection.anchorPath = followed(*selection.anchorPath);
  relocatedSelection_ = std::move(moved);
  relocatedPathsToSelect_ = {};
  // The refresh after the scan is still to come: what it has to bring in may wait for it.
  takeRelocatedSelection(false);
}

void ResultsModel::takeRelocatedSelection(bool endsWaiting) {
  if (!relocatedPathsToSelect_.empty() && selection_->primaryPath()) {
    // Relocated records of a selection taken before they were loaded join it as they come.
    PathSet selected = selection_->effectiveSelectedPaths();
    PathSet waiting;
    for (const std::string_view path : relocatedPathsToSelect_) {
      if (resultWindow_->index(path)) {
        selected.insert(path);
      } else if (!endsWaiting) {
        waiting.insert(path);
      }
    }
    relocatedPathsToSelect_ = std::move(waiting);
    selection_->setSelectedPaths(std::move(selected));
  } else {
    relocatedPathsToSelect_ = {};
  }
  if (!relocatedSelection_) return;
  if (!resultWindow_->index(*relocatedSelection_->selection.primaryPath)) {
    // Refreshed without the focus's new place: the selection is what survives in the refresh.
    if (endsWaiting) relocatedSelection_.reset();
    return;
  }
  RelocatedSelection taken = *std::exchange(relocatedSelection_, std::nullopt);
  PathSet waiting;
  if (!endsWaiting) {
    for (const std::string_view path : taken.relocatedPaths) {
      if (!resultWindow_->index(path)) waiting.insert(path);
    }
  }
  selection_->setPrimaryPath(std::move(taken.selection.primaryPath));
  selection_->setSelectedPaths(std::move(taken.selection.selectedPaths));
  selection_->setAnchorPath(std::move(taken.selection.anchorPath));
  // Selected records that are not loaded drop out; those the scan relocated and that may still
  // come with the refresh after it wait for it.
  selection_->reconcile(*resultWindow_, 0);
  relocatedPathsToSelect_ = std::move(waiting);
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
