// The search the filters describe, and its first page.
#include <algorithm>
#include <exception>
#include <stop_token>
#include <utility>

#include "model/search_cancelled_error.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"
#include "services/indexing/scan_error_message.h"
#include "store/async/run_blocking.h"
#include "store/async/signal_wait.h"
#include "store/image_library_store.h"
#include "store/library_failure.h"

namespace lorvex {

ImageSearchQuery ImageLibraryStore::makeSearchQuery(std::int64_t limit, std::int64_t offset) const {
  creatingThread_.check();
  ImageSearchQuery query;
  const FiltersModel& filters = *filters_;
  query.filterTags = filters.selectedFilterTags();
  query.filterConceptIDs.reserve(filters.selectedTagConcepts().size());
  for (const TagConcept& concept_ : filters.selectedTagConcepts())
    query.filterConceptIDs.push_back(concept_.id);
  query.aspectFilters = filters.selectedAspectFilters();
  query.source = filters.selectedModelSource();
  if (filters.onlyFavorites()) query.favorite = true;
  query.deleteCandidate = filters.onlyDeleteCandidates();
  query.rootPaths = searchRootPaths();
  query.includeMissing = false;
  query.sort = filters.searchSort();
  query.limit = limit;
  query.offset = offset;
  return query;
}

bool ImageLibraryStore::matchesReviewFilters(bool favorite, bool deleteCandidate, bool isMissing) const {
  creatingThread_.check();
  if (isMissing) return false;
  if (filters_->onlyFavorites() && !favorite) return false;
  return deleteCandidate == filters_->onlyDeleteCandidates();
}

void ImageLibraryStore::cancelBackgroundResultRefresh() {
  creatingThread_.check();
  if (backgroundResultRefreshTask_) {
    backgroundResultRefreshTask_.cancel();
    setBackgroundResultRefreshTask({});
  }
  backgroundResultRefreshID_ += 1;
  Q_EMIT backgroundResultRefreshIDChanged();
  setIsBackgroundRefreshingResults(false);
  Q_EMIT backgroundResultRefreshEnded();
}

QCoro::Task<void> ImageLibraryStore::refreshResults(int limit, bool resetScroll) {
  return refreshResults(limit, resetScroll, std::stop_token());
}

QCoro::Task<void> ImageLibraryStore::refreshResults(int limit, bool resetScroll, std::stop_token callerStop) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (needsLiveServicePreparation()) co_return;
  const int effectiveLimit = std::max(limit, 1);
  cancelBackgroundResultRefresh();
  const SearchResultWindow::LoadTicket ticket = resultWindow_->invalidateLoads();
  setIsLoading(true);
  setIsLoadingNextPage(false);
  resultWindow_->setHasMoreRecords(false);
  cancelRefreshSearchTask();
  cancelLoadMoreTask();
  ImageSearchQuery query = makeSearchQuery(effectiveLimit + 1, 0);
  filters_->recordCharacterSearch(query.characterText);

  auto search = [this, query = std::move(query), service = service_](std::stop_token stop) {
    return searchRecords(query, service, stop);
  };
  const StoreTask<std::vector<RecordRef>> task = startStoreTask(scope_, search);
  runningFirstPageRefresh_ = {limit, resetScroll};
  setRefreshSearchTask(task);
  // The caller giving up stops the search, in the database too.
  const std::stop_callback forwardStop(callerStop, [task] { task.cancel(); });

  std::vector<RecordRef> fetched;
  std::exception_ptr failure;
  try {
    fetched = co_await task;
  } catch (...) {
    failure = std::current_exception();
  }
  // A newer search, refresh or removal has taken the window over: its state stands.
  if (resultWindow_->currentLoadTicket() != ticket) co_return;
  setRefreshSearchTask({});
  if (failure) {
    if (!isCancellation(failure)) setErrorMessage(failure);
    setIsLoading(false);
    co_return;
  }
  const bool hasMore = keepFirstRecords(fetched, static_cast<std::size_t>(effectiveLimit));
  resultWindow_->replaceRecords(std::move(fetched), hasMore, 0);
  if (resetScroll) setSearchResultsResetCount(searchResultsResetCount_ + 1);
  setErrorMessage(std::nullopt);
  setIsLoading(false);
}

QCoro::Task<std::vector<RecordRef>> ImageLibraryStore::searchRecords(
    ImageSearchQuery query, std::shared_ptr<ImageLibraryServicing> service, std::stop_token stop) {
  auto frame = co_await scope_.enter();
  if (stop.stop_requested()) throw SearchCancelledError();
  // The records become shared on the pool thread, moved and never copied: the main thread only
  // slices the list.
  auto search = [service = std::move(service), query = std::move(query)](std::stop_token searchStop) {
    std::vector<ImageRecord> records = service->searchImages(query, searchStop);
    std::vector<RecordRef> refs;
    refs.reserve(records.size());
    for (ImageRecord& record : records) refs.push_back(makeRecordRef(std::move(record)));
    return refs;
  };
  std::vector<RecordRef> records = co_await runBlocking(*userInitiatedPool_, stop, search);
  if (stop.stop_requested()) throw SearchCancelledError();
  co_return records;
}

QCoro::Task<ImageLibraryStore::FetchedRecords> ImageLibraryStore::fetchRecords(ImageSearchQuery query,
                                                                               std::stop_token stop) {
  auto frame = co_await scope_.enter();
  std::shared_ptr<ImageLibraryServicing> service = service_;
  FetchedRecords fetched;
  try {
    fetched.records = co_await searchRecords(query, service, stop);
  } catch (...) {
    fetched.failure = std::current_exception();
  }
  co_return fetched;
}

bool ImageLibraryStore::keepFirstRecords(std::vector<RecordRef>& records, std::size_t count) {
  if (records.size() <= count) return false;
  records.resize(count);
  return true;
}

QCoro::Task<void> ImageLibraryStore::waitForBackgroundResultRefresh(std::stop_token stop) {
  auto frame = co_await scope_.enter();
  const int awaitedID = backgroundResultRefreshID_;
  ImageLibraryStore* self = this;
  const auto ended = &ImageLibraryStore::backgroundResultRefreshEnded;
  while (backgroundResultRefreshTask_ && backgroundResultRefreshID_ == awaitedID && !stop.stop_requested()) {
    co_await nextEmission(self, ended, stop);
  }
}

void ImageLibraryStore::cancelRefreshSearchTask() {
  if (!refreshSearchTask_) return;
  refreshSearchTask_.cancel();
  setRefreshSearchTask({});
}

void ImageLibraryStore::cancelLoadMoreTask() {
  if (loadMoreTask_) {
    loadMoreTask_.cancel();
    setLoadMoreTask({});
  }
  setActiveLoadMoreTaskID(std::nullopt);
}

}  // namespace lorvex
