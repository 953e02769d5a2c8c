// Keeping the loaded results current while the library changes under them, without the visible
// reset of a new search. At most one refresh runs; three checks keep a late one from doing harm:
// the window's load ticket, the refresh identifier and the refresh task's stop.
#include <algorithm>
#include <exception>
#include <stop_token>
#include <utility>

#include "store/library_failure.h"
#include "store/results/record_search.h"
#include "store/results/results_model.h"

namespace lorvex {

bool ResultsModel::scheduleIndexingResultRefresh() {
  creatingThread_.check();
  const auto mode = needsFullWindowResultRefresh_ ? BackgroundResultRefreshMode::fullWindow
                                                  : BackgroundResultRefreshMode::leadingPage;
  if (!scheduleBackgroundResultRefresh(mode)) return false;
  setNeedsFullWindowResultRefresh(false);
  return true;
}

bool ResultsModel::scheduleBackgroundResultRefresh(BackgroundResultRefreshMode mode) {
  creatingThread_.check();
  if (context_.needsLiveServicePreparation()) return false;
  if (backgroundResultRefreshTask_) return false;
  backgroundResultRefreshID_ += 1;
  const int refreshID = backgroundResultRefreshID_;
  setActiveBackgroundResultRefreshMode(mode);
  auto body = [this, mode, refreshID](std::stop_token stop) {
    return mode == BackgroundResultRefreshMode::leadingPage ? refreshLeadingPage(refreshID, stop)
                                                            : refreshFullWindow(refreshID, stop);
  };
  const StoreTask<void> task = startStoreTask(context_.scope(), body);
  // A refresh that ended without suspending has finished itself already.
  if (!task.isFinished()) setBackgroundResultRefreshTask(task);
  return true;
}

QCoro::Task<void> ResultsModel::refreshFullWindow(int refreshID, std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  const SearchResultWindow::LoadTicket ticket = resultWindow_->invalidateLoads();
  cancelRefreshSearchTask();
  setIsLoading(false);
  const std::vector<RecordRef>& loaded = resultWindow_->records();
  const auto windowSize = std::max<std::size_t>(loaded.size(), kPageSize);
  int focusIndex = 0;
  if (const std::optional<std::string>& focused = selection_->primaryPath(); focused.has_value()) {
    const auto found = std::find_if(loaded.begin(), loaded.end(),
                                    [&](const RecordRef& record) { return record->file.path == *focused; });
    if (found != loaded.end()) focusIndex = static_cast<int>(found - loaded.begin());
  }
  setIsBackgroundRefreshingResults(true);
  setIsLoadingNextPage(false);
  cancelLoadMoreTask();
  ImageSearchQuery query = makeSearchQuery(static_cast<std::int64_t>(windowSize) + 1, 0);
  FetchedRecords result = co_await fetchRecords(context_, query, stop);
  std::vector<RecordRef>& fetched = result.records;
  const std::exception_ptr& failure = result.failure;
  if (ticket == resultWindow_->currentLoadTicket() && !stop.stop_requested()) {
    if (failure) {
      context_.setErrorMessage(failure);
    } else {
      const bool hasMore = keepFirstRecords(fetched, windowSize);
      resultWindow_->replaceRecords(std::move(fetched), hasMore, focusIndex);
      context_.setErrorMessage(std::nullopt);
    }
  }
  finishBackgroundResultRefresh(refreshID);
}

QCoro::Task<void> ResultsModel::refreshLeadingPage(int refreshID, std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  const SearchResultWindow::LoadTicket ticket = resultWindow_->currentLoadTicket();
  setIsBackgroundRefreshingResults(true);
  const std::int64_t pageSize = kPageSize;
  ImageSearchQuery query = makeSearchQuery(pageSize + 1, 0);
  FetchedRecords result = co_await fetchRecords(context_, query, stop);
  std::vector<RecordRef>& fetched = result.records;
  const std::exception_ptr& failure = result.failure;
  const bool current = ticket == resultWindow_->currentLoadTicket() && !stop.stop_requested();
  if (failure) {
    if (current) context_.setErrorMessage(failure);
  } else if (current && backgroundResultRefreshID_ == refreshID) {
    if (resultWindow_->records().empty()) {
      const bool hasMore = keepFirstRecords(fetched, static_cast<std::size_t>(pageSize));
      resultWindow_->replaceRecords(std::move(fetched), hasMore, 0);
      context_.setErrorMessage(std::nullopt);
    } else {
      switch (resultWindow_->mergeLeadingPage(fetched, ticket).kind) {
        case SearchResultWindow::LeadingMergeOutcome::Kind::inserted:
          context_.setErrorMessage(std::nullopt);
          break;
        case SearchResultWindow::LeadingMergeOutcome::Kind::noOverlap:
          // More new records than one page holds: only a full re-read joins them to the window.
          setNeedsFullWindowResultRefresh(true);
          break;
        case SearchResultWindow::LeadingMergeOutcome::Kind::unchanged:
        case SearchResultWindow::LeadingMergeOutcome::Kind::stale:
          break;
      }
    }
  }
  // While a scan runs this page is read again and again and mostly equals what is shown: the
  // copies the window did not take are freed off this thread.
  releaseRecordsOn(context_.utilityPool(), std::move(fetched));
  finishBackgroundResultRefresh(refreshID);
}

void ResultsModel::finishBackgroundResultRefresh(int refreshID) {
  creatingThread_.check();
  if (backgroundResultRefreshID_ == refreshID) {
    setIsBackgroundRefreshingResults(false);
    if (backgroundResultRefreshTask_) setBackgroundResultRefreshTask({});
  }
  Q_EMIT backgroundResultRefreshEnded();
}

QCoro::Task<void> ResultsModel::refreshResultWindowAfterSync() {
  return refreshResultWindowAfterSync(std::stop_token());
}

QCoro::Task<void> ResultsModel::refreshResultWindowAfterSync(std::stop_token callerStop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (context_.needsLiveServicePreparation()) co_return;
  // A running refresh, full-window included, may have read the library before the pass's last
  // writes: the images indexed at its end would never show.
  if (backgroundResultRefreshTask_) cancelBackgroundResultRefresh();
  scheduleBackgroundResultRefresh(BackgroundResultRefreshMode::fullWindow);
  co_await waitForBackgroundResultRefresh(callerStop);
}

}  // namespace lorvex
