// The search the filters describe, and its first page; stopping every result load for a change made
// in place, and starting again what was stopped.
#include <QScopedValueRollback>
#include <algorithm>
#include <exception>
#include <stop_token>
#include <utility>

#include "model/search_cancelled_error.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"
#include "store/async/run_blocking.h"
#include "store/async/signal_wait.h"
#include "store/library_failure.h"
#include "store/results/record_search.h"
#include "store/results/results_model.h"

namespace lorvex {

ImageSearchQuery ResultsModel::makeSearchQuery(std::int64_t limit, std::int64_t offset) const {
  creatingThread_.check();
  ImageSearchQuery query;
  // Every filter named: one added to the selection does not build here until the query has it.
  const auto& [filterTags, tagConcepts, aspectFilters, modelSource, onlyFavorites, onlyDeleteCandidates] =
      filters_.selection();
  query.filterTags = filterTags;
  query.filterConceptIDs.reserve(tagConcepts.size());
  for (const TagConcept& concept_ : tagConcepts) query.filterConceptIDs.push_back(concept_.id);
  query.aspectFilters = aspectFilters;
  query.source = modelSource;
  if (onlyFavorites) query.favorite = true;
  query.deleteCandidate = onlyDeleteCandidates;
  query.rootPaths = dependents_.searchRootPaths();
  query.includeMissing = false;
  query.sort = filters_.searchSort();
  query.limit = limit;
  query.offset = offset;
  return query;
}

bool ResultsModel::matchesReviewFilters(bool favorite, bool deleteCandidate, bool isMissing) const {
  creatingThread_.check();
  if (isMissing) return false;
  if (filters_.onlyFavorites() && !favorite) return false;
  return deleteCandidate == filters_.onlyDeleteCandidates();
}

void ResultsModel::cancelBackgroundResultRefresh() {
  creatingThread_.check();
  if (backgroundResultRefreshTask_) {
    backgroundResultRefreshTask_.cancel();
    setBackgroundResultRefreshTask({});
  }
  backgroundResultRefreshID_ += 1;
  setIsBackgroundRefreshingResults(false);
  Q_EMIT backgroundResultRefreshEnded();
}

QCoro::Task<void> ResultsModel::refreshResults(int limit, bool resetScroll) {
  return refreshResults(limit, resetScroll, std::stop_token());
}

QCoro::Task<void> ResultsModel::refreshResults(int limit, bool resetScroll, std::stop_token callerStop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (context_.needsLiveServicePreparation()) co_return;
  const int effectiveLimit = std::max(limit, 1);
  cancelBackgroundResultRefresh();
  const SearchResultWindow::LoadTicket ticket = resultWindow_->invalidateLoads();
  setIsLoading(true);
  setIsLoadingNextPage(false);
  resultWindow_->setHasMoreRecords(false);
  cancelRefreshSearchTask();
  cancelLoadMoreTask();
  ImageSearchQuery query = makeSearchQuery(effectiveLimit + 1, 0);
  Q_EMIT searchStarted(query.characterText);

  auto search = [this, query = std::move(query), service = context_.service()](std::stop_token stop) {
    return searchRecords(context_, query, service, stop);
  };
  const StoreTask<std::vector<RecordRef>> task = startStoreTask(context_.scope(), search);
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
    if (!isCancellation(failure)) context_.setErrorMessage(failure);
    setIsLoading(false);
    co_return;
  }
  const bool hasMore = keepFirstRecords(fetched, static_cast<std::size_t>(effectiveLimit));
  {
    // The selection keeps what survives in the new results, and nothing more (resultWindowRecordsDidChange).
    const QScopedValueRollback applyingNewSearch(isApplyingNewSearch_, true);
    resultWindow_->replaceRecords(std::move(fetched), hasMore, 0);
  }
  if (resetScroll) setSearchResultsResetCount(searchResultsResetCount_ + 1);
  context_.setErrorMessage(std::nullopt);
  setIsLoading(false);
}

StoppedResultLoading ResultsModel::cancelResultLoading() {
  creatingThread_.check();
  StoppedResultLoading stopped;
  if (refreshSearchTask_) stopped.firstPageRefresh = runningFirstPageRefresh_;
  if (backgroundResultRefreshTask_) stopped.backgroundRefresh = activeBackgroundResultRefreshMode_;
  resultWindow_->invalidateLoads();
  cancelRefreshSearchTask();
  cancelLoadMoreTask();
  cancelBackgroundResultRefresh();
  setIsLoading(false);
  setIsLoadingNextPage(false);
  return stopped;
}

void ResultsModel::restartResultLoading(const StoppedResultLoading& stopped) {
  creatingThread_.check();
  if (stopped.firstPageRefresh.has_value()) {
    // A first-page search started meanwhile reads the current filters too; it stands.
    if (refreshSearchTask_) return;
    const int limit = stopped.firstPageRefresh->limit;
    const bool resetScroll = stopped.firstPageRefresh->resetScroll;
    context_.startDetached([this, limit, resetScroll] { return refreshResults(limit, resetScroll); });
    return;
  }
  // Refused while another refresh runs, which reads the library as it is now as well.
  if (stopped.backgroundRefresh.has_value()) scheduleBackgroundResultRefresh(*stopped.backgroundRefresh);
}

QCoro::Task<void> ResultsModel::waitForBackgroundResultRefresh(std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  const int awaitedID = backgroundResultRefreshID_;
  ResultsModel* self = this;
  const auto ended = &ResultsModel::backgroundResultRefreshEnded;
  while (backgroundResultRefreshTask_ && backgroundResultRefreshID_ == awaitedID && !stop.stop_requested()) {
    co_await nextEmission(self, ended, stop);
  }
}

void ResultsModel::cancelRefreshSearchTask() {
  if (!refreshSearchTask_) return;
  refreshSearchTask_.cancel();
  setRefreshSearchTask({});
}

void ResultsModel::cancelLoadMoreTask() {
  if (loadMoreTask_) {
    loadMoreTask_.cancel();
    setLoadMoreTask({});
  }
  setActiveLoadMoreTaskID(std::nullopt);
}

}  // namespace lorvex
