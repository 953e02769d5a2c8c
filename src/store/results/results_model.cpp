#include "store/results/results_model.h"

#include <algorithm>
#include <utility>

#include "store/observed_value.h"

namespace lorvex {

namespace {

template <typename T>
bool isUnderWay(const StoreTask<T>& task) {
  // A flow that ended but left its handle in place has nothing more to do.
  return task && !task.isFinished();
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
  connect(selection_.get(), &ResultSelection::primaryPathChanged, this, [this] {
    if (isReconcilingSelection_) return;
    const std::optional<int> index = focusedWindowIndex();
    focusedContentSHA256_ =
        index ? resultWindow_->records()[static_cast<std::size_t>(*index)]->contentSHA256 : std::nullopt;
  });
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
  // A moved image keeps the focus at its new path, rather than the focus landing on whatever record
  // now stands where it stood; it may come with any change that brings records in, so a focus lost
  // meanwhile keeps looking for it. A focus the store's own removals moved (the Trash, a review
  // filter) is where the focus is from then on.
  isReconcilingSelection_ = change.addsRecords;
  if (change.addsRecords) {
    if (const std::optional<std::string> moved = movedFocusPath()) selection_->selectSingle(*moved);
  }
  const std::optional<bool> reconciled = selection_->reconcile(*resultWindow_, change.fallbackSelectionIndex);
  isReconcilingSelection_ = false;
  if (!reconciled.has_value()) presentation_.setIsSlideshowPresented(false);
}

std::optional<std::string> ResultsModel::movedFocusPath() const {
  if (!focusedContentSHA256_) return std::nullopt;
  const std::vector<RecordRef>& records = resultWindow_->records();
  const auto showsFocusedContent = [this](const RecordRef& record) {
    return !record->isMissing && record->contentSHA256 == focusedContentSHA256_;
  };
  if (const std::optional<int> index = focusedWindowIndex();
      index && showsFocusedContent(records[static_cast<std::size_t>(*index)])) {
    return std::nullopt;
  }
  const auto moved = std::find_if(records.begin(), records.end(), showsFocusedContent);
  if (moved == records.end()) return std::nullopt;
  return (*moved)->file.path;
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
