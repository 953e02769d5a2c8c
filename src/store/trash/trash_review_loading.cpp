// The delete-candidate Trash review's list: opening and closing it, its first page, and the pages
// after it as the review's tiles come into view. The browser's load epoch is the only guard: a
// reload, a dismissal or a removal makes every answer still on its way count for nothing.
#include <algorithm>
#include <exception>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "store/library_failure.h"
#include "store/trash/trash_model.h"

namespace lorvex {

ImageSearchQuery TrashModel::makeDeleteCandidateTrashReviewQuery(std::int64_t limit,
                                                                 std::int64_t offset) const {
  creatingThread_.check();
  // Every candidate under the registered folders, whatever the main results are filtered by: the
  // review is where the user decides on all of them.
  ImageSearchQuery query;
  query.deleteCandidate = true;
  TrashReviewQueryScope scope = dependents_.trashReviewQueryScope();
  query.rootPaths = std::move(scope.rootPaths);
  query.includeMissing = false;
  query.sort = scope.sort;
  query.limit = limit;
  query.offset = offset;
  return query;
}

bool TrashModel::keepTrashReviewPage(std::vector<RecordRef>& records) {
  // The library may have changed between the query and now; only what can still be moved is
  // listed, and only that counts towards "more exist".
  std::erase_if(records,
                [](const RecordRef& record) { return !TrashCandidateBrowser::isTrashable(*record); });
  if (records.size() <= static_cast<std::size_t>(kTrashReviewPageSize)) return false;
  records.resize(static_cast<std::size_t>(kTrashReviewPageSize));
  return true;
}

void TrashModel::cancelDeleteCandidateTrashReviewLoadMore() {
  creatingThread_.check();
  if (!deleteCandidateTrashReviewLoadMoreTask_) return;
  deleteCandidateTrashReviewLoadMoreTask_.cancel();
  setDeleteCandidateTrashReviewLoadMoreTask({});
}

QCoro::Task<void> TrashModel::presentDeleteCandidateTrashReview() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (dependents_.isLibraryUnprepared()) co_return;
  presentation_.setIsDeleteCandidateTrashReviewPresented(true);
  co_await reloadDeleteCandidateTrashReview();
}

QCoro::Task<void> TrashModel::reloadDeleteCandidateTrashReview() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!presentation_.isDeleteCandidateTrashReviewPresented()) co_return;
  cancelDeleteCandidateTrashReviewLoadMore();
  const TrashCandidateBrowser::LoadTicket ticket = trashReviewBrowser_->beginReload();
  const ImageSearchQuery query = makeDeleteCandidateTrashReviewQuery(kTrashReviewQueryLimit, 0);
  // Nothing stops a reload's search: a newer reload or a dismissal drops its answer by the epoch.
  const std::stop_token noStop;
  TrashDependents::FetchedRecords fetched = co_await dependents_.fetchRecords(query, noStop);
  if (fetched.failure) {
    if (ticket.epoch != trashReviewBrowser_->loadEpoch()) co_return;
    // The old list stays visible, without paging: its offsets belong to a list that may be gone.
    trashReviewBrowser_->setIsReloading(false);
    context_.setErrorMessage(fetched.failure);
    co_return;
  }
  const bool hasMore = keepTrashReviewPage(fetched.records);
  if (trashReviewBrowser_->finishReload(std::move(fetched.records), hasMore, ticket))
    context_.setErrorMessage(std::nullopt);
}

QCoro::Task<void> TrashModel::loadMoreDeleteCandidateTrashReviewIfNeeded(std::optional<std::string> path) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!trashReviewBrowser_->hasMoreRecords()) co_return;
  if (path.has_value()) {
    const std::vector<RecordRef>& records = trashReviewBrowser_->records();
    const auto found = std::find_if(records.begin(), records.end(),
                                    [&](const RecordRef& record) { return record->file.path == *path; });
    if (found == records.end()) co_return;
    const auto position = found - records.begin();
    const auto loaded = static_cast<std::ptrdiff_t>(records.size());
    if (loaded >= kTrashReviewPrefetchDistance && position < loaded - kTrashReviewPrefetchDistance) co_return;
  }
  co_await loadMoreDeleteCandidateTrashReview();
}

QCoro::Task<bool> TrashModel::loadMoreDeleteCandidateTrashReview() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!presentation_.isDeleteCandidateTrashReviewPresented() || !trashReviewBrowser_->hasMoreRecords() ||
      trashReviewBrowser_->isReloading()) {
    co_return false;
  }
  if (deleteCandidateTrashReviewLoadMoreTask_) {
    const StoreTask<bool> running = deleteCandidateTrashReviewLoadMoreTask_;
    co_return co_await running;
  }
  const auto offset = static_cast<std::int64_t>(trashReviewBrowser_->records().size());
  const TrashCandidateBrowser::LoadTicket ticket = trashReviewBrowser_->beginLoadMore();
  auto load = [this, offset, ticket](std::stop_token stop) {
    return loadDeleteCandidateTrashReviewPage(offset, ticket, stop);
  };
  const StoreTask<bool> task = startStoreTask(context_.scope(), load);
  // A load that ended without suspending has nothing left to join.
  if (!task.isFinished()) setDeleteCandidateTrashReviewLoadMoreTask(task);
  co_return co_await task;
}

QCoro::Task<bool> TrashModel::loadDeleteCandidateTrashReviewPage(std::int64_t offset,
                                                                 TrashCandidateBrowser::LoadTicket ticket,
                                                                 std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  const ImageSearchQuery query = makeDeleteCandidateTrashReviewQuery(kTrashReviewQueryLimit, offset);
  TrashDependents::FetchedRecords fetched = co_await dependents_.fetchRecords(query, stop);
  // Whoever advanced the epoch (a reload, a dismissal, a move to the Trash) also let go of this
  // task; the field may hold a newer one by now.
  if (ticket.epoch != trashReviewBrowser_->loadEpoch()) co_return false;
  if (fetched.failure) {
    // Paging stays on: the next tile near the end asks for the same offset again.
    trashReviewBrowser_->setIsLoadingMore(false);
    if (!isCancellation(fetched.failure)) context_.setErrorMessage(fetched.failure);
    setDeleteCandidateTrashReviewLoadMoreTask({});
    co_return false;
  }
  const bool hasMore = keepTrashReviewPage(fetched.records);
  switch (trashReviewBrowser_->finishLoadMore(fetched.records, hasMore, ticket)) {
    case TrashCandidateBrowser::LoadMoreOutcome::applied:
      context_.setErrorMessage(std::nullopt);
      setDeleteCandidateTrashReviewLoadMoreTask({});
      co_return true;
    case TrashCandidateBrowser::LoadMoreOutcome::noProgress:
      // The library reports more candidates than the offset reaches: the list shifted under the
      // loaded ones, and asking for the same offset again would make no progress either.
      setDeleteCandidateTrashReviewLoadMoreTask({});
      co_await reloadDeleteCandidateTrashReview();
      co_return false;
    case TrashCandidateBrowser::LoadMoreOutcome::stale:
      break;
  }
  co_return false;
}

void TrashModel::dismissDeleteCandidateTrashReview() {
  creatingThread_.check();
  presentation_.setIsDeleteCandidateTrashReviewPresented(false);
  // A move that has not started yet was asked for from the review: it goes with it.
  cancelDeleteCandidateTrashWhileWaiting();
  cancelDeleteCandidateTrashReviewLoadMore();
  trashReviewBrowser_->cancelLoading();
  trashReviewBrowser_->setHasMoreRecords(false);
  trashReviewBrowser_->setRecords({});
  trashReviewBrowser_->setSelectedPaths({});
}

}  // namespace lorvex
