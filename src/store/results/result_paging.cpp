// The pages after the first: one page load at a time, joined by later callers, appended only while
// no newer search, refresh or removal has taken the window over.
#include <exception>
#include <stop_token>
#include <string>
#include <utility>

#include "platform/log.h"
#include "store/library_failure.h"
#include "store/results/record_search.h"
#include "store/results/results_model.h"

namespace lorvex {

QCoro::Task<void> ResultsModel::loadNextPageIfNeeded(std::optional<std::string> currentPath) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!resultWindow_->hasMoreRecords()) co_return;
  if (currentPath.has_value()) {
    const std::optional<int> position = resultWindow_->index(*currentPath);
    if (!position.has_value()) co_return;
    const int loaded = static_cast<int>(resultWindow_->records().size());
    if (loaded >= kPrefetchDistance && *position < loaded - kPrefetchDistance) co_return;
  }
  co_await loadNextPage();
}

QCoro::Task<bool> ResultsModel::loadNextPage() {
  return loadNextPage(std::stop_token());
}

QCoro::Task<bool> ResultsModel::loadNextPage(std::stop_token callerStop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  // A page read beside a full-window refresh would be stale at once; a leading merge would shift
  // its offset.
  co_await waitForBackgroundResultRefresh(callerStop);
  if (!resultWindow_->hasMoreRecords()) co_return false;
  if (isLoading_) co_return false;
  if (loadMoreTask_) {
    const StoreTask<bool> running = loadMoreTask_;
    co_return co_await running;
  }
  const SearchResultWindow::LoadTicket ticket = resultWindow_->currentLoadTicket();
  const auto offset = static_cast<std::int64_t>(resultWindow_->records().size());
  setIsLoadingNextPage(true);
  loadMoreTaskID_ += 1;
  const int taskID = loadMoreTaskID_;
  setActiveLoadMoreTaskID(taskID);
  auto load = [this, offset, ticket, taskID](std::stop_token stop) {
    return loadPage(offset, ticket, taskID, stop);
  };
  const StoreTask<bool> task = startStoreTask(context_.scope(), load);
  // A page load that ended without suspending has released the fields already.
  if (!task.isFinished()) setLoadMoreTask(task);
  co_return co_await task;
}

QCoro::Task<bool> ResultsModel::loadPage(std::int64_t offset, SearchResultWindow::LoadTicket ticket,
                                         int taskID, std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  const std::int64_t pageSize = kPageSize;
  ImageSearchQuery query = makeSearchQuery(pageSize + 1, offset);
  platform::SignpostInterval interval("Query", "offset=" + std::to_string(offset));
  FetchedRecords result = co_await fetchRecords(context_, query, stop);
  std::vector<RecordRef>& fetched = result.records;
  const std::exception_ptr& failure = result.failure;
  if (failure) {
    interval.end("failed");
    // A cancelled page belongs to a search or refresh that replaced it; it has nothing to show.
    if (ticket == resultWindow_->currentLoadTicket() && !isCancellation(failure)) {
      context_.setErrorMessage(failure);
    }
    finishLoadMore(taskID);
    co_return false;
  }
  interval.end("count=" + std::to_string(fetched.size()));
  if (ticket != resultWindow_->currentLoadTicket()) {
    finishLoadMore(taskID);
    co_return false;
  }
  const bool hasMore = keepFirstRecords(fetched, static_cast<std::size_t>(pageSize));
  const SearchResultWindow::AppendOutcome outcome = resultWindow_->appendPage(fetched, hasMore, ticket);
  switch (outcome.kind) {
    case SearchResultWindow::AppendOutcome::Kind::appended:
      context_.setErrorMessage(std::nullopt);
      finishLoadMore(taskID);
      co_return true;
    case SearchResultWindow::AppendOutcome::Kind::noNewRecords:
      // The library reports more records than the window can reach by offset: it changed under
      // the loaded ones. Only a full re-read puts the window back in step.
      setNeedsFullWindowResultRefresh(true);
      scheduleBackgroundResultRefresh(BackgroundResultRefreshMode::fullWindow);
      finishLoadMore(taskID);
      co_return false;
    case SearchResultWindow::AppendOutcome::Kind::stale:
      break;
  }
  finishLoadMore(taskID);
  co_return false;
}

void ResultsModel::finishLoadMore(int taskID) {
  creatingThread_.check();
  if (activeLoadMoreTaskID_ != taskID) return;
  setIsLoadingNextPage(false);
  if (loadMoreTask_) setLoadMoreTask({});
  setActiveLoadMoreTaskID(std::nullopt);
}

}  // namespace lorvex
