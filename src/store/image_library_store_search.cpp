// The search the filters describe, its first page, and the character search history.
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
  query.filterTags = selectedFilterTags_;
  query.filterConceptIDs.reserve(selectedTagConcepts_.size());
  for (const TagConcept& concept_ : selectedTagConcepts_) query.filterConceptIDs.push_back(concept_.id);
  query.aspectFilters = selectedAspectFilters_;
  query.source = selectedModelSource_;
  if (onlyFavorites_) query.favorite = true;
  query.deleteCandidate = onlyDeleteCandidates_;
  query.rootPaths = searchRootPaths();
  query.includeMissing = false;
  query.sort = searchSort_;
  query.limit = limit;
  query.offset = offset;
  return query;
}

bool ImageLibraryStore::matchesReviewFilters(bool favorite, bool deleteCandidate, bool isMissing) const {
  creatingThread_.check();
  if (isMissing) return false;
  if (onlyFavorites_ && !favorite) return false;
  return deleteCandidate == onlyDeleteCandidates_;
}

void ImageLibraryStore::recordCharacterSearch(const std::optional<std::string>& text) {
  creatingThread_.check();
  if (!text.has_value()) return;
  const std::optional<std::string> trimmed = text::trimmedNonEmpty(*text);
  if (!trimmed.has_value()) return;
  const std::string folded = text::caseFolded(*trimmed);
  // Three steps, each signalled, as the views follow the history one change at a time.
  std::vector<std::string> history = characterSearchHistory_;
  std::erase_if(history, [&](const std::string& entry) { return text::caseFolded(entry) == folded; });
  setCharacterSearchHistory(history);
  history.insert(history.begin(), *trimmed);
  setCharacterSearchHistory(history);
  if (history.size() > kCharacterSearchHistoryLimit) {
    history.resize(kCharacterSearchHistoryLimit);
    setCharacterSearchHistory(std::move(history));
  }
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
  if (needsLiveServicePreparation_) co_return;
  const int effectiveLimit = std::max(limit, 1);
  cancelBackgroundResultRefresh();
  const SearchResultWindow::LoadTicket ticket = resultWindow_->invalidateLoads();
  setIsLoading(true);
  setIsLoadingNextPage(false);
  resultWindow_->setHasMoreRecords(false);
  cancelRefreshSearchTask();
  cancelLoadMoreTask();
  ImageSearchQuery query = makeSearchQuery(effectiveLimit + 1, 0);
  recordCharacterSearch(query.characterText);

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

QCoro::Task<std::vector<RecordRef>> ImageLibraryStore::searchRecords(ImageSearchQuery query,
                                                                     std::shared_ptr<ImageLibraryServicing> service,
                                                                     std::stop_token stop) {
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
