// Moving reviewed delete candidates to the Trash, and folding the outcome back into the review and
// the features that listed the trashed images: the only operation of the program that changes the
// user's files. Every guard holds before the library is asked: the review is open, the library is
// ready, its list is not loading, and no other move runs (isTrashingDeleteCandidates is the only
// serialisation of moves).
//
// The library is handed each file as the person saw it (the size and modification date of the
// record they decided on), not only its path: folder monitoring indexes a replaced file again and
// keeps its mark, so the library's own record may already describe content nobody reviewed.
#include <algorithm>
#include <exception>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "services/image_library_service.h"
#include "services/indexing/scan_error_message.h"
#include "services/library_error_translation.h"
#include "store/async/run_blocking.h"
#include "store/async/scope_exit.h"
#include "store/trash/trash_model.h"

namespace lorvex {

namespace {

// Before the refusal's own text, in the stored message of an image held back by it.
constexpr std::string_view kHeldBackPrefix = "not moved: the move was refused for another image: ";

// The delete candidates among a move's records, each path once, in order, as the person reviewed
// them.
struct ReviewedCandidates {
  std::vector<ImageFileInfo> files;
  std::vector<std::string> paths;
  std::unordered_map<std::string, RecordRef> records;
};

ReviewedCandidates reviewedCandidates(const std::vector<RecordRef>& records) {
  ReviewedCandidates candidates;
  std::vector<ImageFileInfo> files;
  for (const RecordRef& record : records) {
    if (!TrashCandidateBrowser::isTrashable(*record)) continue;
    files.push_back(record->file);
    candidates.records.emplace(record->file.path, record);
  }
  candidates.files = uniqueNonEmptyFiles(files);
  for (const ImageFileInfo& file : candidates.files) candidates.paths.push_back(file.path);
  return candidates;
}

// The image a refusal of the whole move names (one that is not indexed, missing or no delete
// candidate), when it is one of `paths`.
std::optional<std::string> refusedImage(const ErrorNotice& notice, const std::vector<std::string>& paths) {
  const bool namesImage = notice.kind == ErrorNoticeKind::trashNotIndexed ||
                          notice.kind == ErrorNoticeKind::trashAlreadyMissing ||
                          notice.kind == ErrorNoticeKind::trashNotDeleteCandidate;
  if (!namesImage || notice.arguments.empty()) return std::nullopt;
  if (std::find(paths.begin(), paths.end(), notice.arguments.front()) == paths.end()) return std::nullopt;
  return notice.arguments.front();
}

}  // namespace

bool TrashModel::canStartDeleteCandidateTrash() const {
  creatingThread_.check();
  return trashReviewAllowsTrashing();
}

QCoro::Task<bool> TrashModel::moveLoadedTrashReviewCandidatesToTrash() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const std::vector<RecordRef> loaded = trashReviewBrowser_->records();
  co_return co_await moveDeleteCandidatesToTrash(loaded);
}

QCoro::Task<bool> TrashModel::moveDeleteCandidatesToTrash(std::vector<RecordRef> records) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  ReviewedCandidates candidates = reviewedCandidates(records);
  if (candidates.paths.empty() || !canStartDeleteCandidateTrash()) co_return false;

  setIsTrashingDeleteCandidates(true);
  // Lowered as the last step of every way out, so that no failure leaves moves and undo blocked.
  const ScopeExit endMove(context_.scope().link(), [this] { setIsTrashingDeleteCandidates(false); });
  relocatedWhileMoveWaits_.clear();
  const bool libraryQuiet = co_await waitForLibrarySyncBeforeMove();
  const std::vector<RecordRelocation> relocations = std::exchange(relocatedWhileMoveWaits_, {});
  if (!libraryQuiet) co_return false;
  // The files the person decided on were renamed or moved while the move waited: they are moved
  // from where the library found them, as the review now lists them.
  if (!relocations.empty()) {
    const RelocatedPaths relocated(relocations);
    for (RecordRef& record : records) {
      if (const auto to = relocated.destination(record->file.path))
        record = TrashCandidateBrowser::relocatedRecord(*record, *to);
    }
    candidates = reviewedCandidates(records);
  }
  const std::vector<ImageFileInfo>& reviewedFiles = candidates.files;
  const std::vector<std::string>& paths = candidates.paths;
  const std::unordered_map<std::string, RecordRef>& reviewed = candidates.records;
  firstReviewedTrashRecords_.clear();
  setLastTrashSummary(std::nullopt);
  dependents_.dismissDeleteCandidateFeedback();

  // Where the result selection falls back to when its records leave: the first trashed record
  // the window shows.
  int fallbackSelectionIndex = -1;
  for (const std::string& path : paths) {
    if (const std::optional<int> index = dependents_.resultIndex(path)) {
      fallbackSelectionIndex = fallbackSelectionIndex < 0 ? *index : std::min(fallbackSelectionIndex, *index);
    }
  }
  fallbackSelectionIndex = std::max(fallbackSelectionIndex, 0);
  const bool hadMoreRecords = trashReviewBrowser_->hasMoreRecords();

  // The service in use now, for the whole move. A move is never cancelled: stopping it halfway
  // would leave files in the Trash that the library still lists.
  auto move = [service = context_.service(), reviewedFiles] {
    return service->moveDeleteCandidatesToTrash(reviewedFiles);
  };
  const std::stop_token neverStopped;
  ImageTrashSummary summary;
  std::exception_ptr failure;
  try {
    summary = co_await runBlocking(context_.userInitiatedPool(), neverStopped, move);
  } catch (...) {
    failure = std::current_exception();
  }
  // What failed is retried against these records, however the review's list is refreshed
  // meanwhile: the person decided on them.
  PathSet failed;
  if (failure) {
    failed.insert(paths.begin(), paths.end());
  } else {
    for (const ImageTrashFailure& entry : summary.failures) failed.insert(entry.path);
    for (const std::string& trashed : summary.trashedPaths) failed.erase(trashed);
  }
  for (const auto& [path, record] : reviewed) {
    if (failed.contains(path)) firstReviewedTrashRecords_.emplace(path, record);
  }
  if (failure) {
    applyTrashFailure(paths, failure);
    co_return false;
  }
  co_return co_await applyTrashSummary(summary, fallbackSelectionIndex, hadMoreRecords);
}

QCoro::Task<bool> TrashModel::waitForLibrarySyncBeforeMove() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  // A background pass runs without the indexing flag, and may be writing the records of the very
  // files the move checks (or list a trashed file again after the move marked it missing). No pass
  // starts while a move runs; the one under way is let finish first. That can take a while over a
  // large library, so the person may call the move off meanwhile: nothing has been touched yet.
  if (!dependents_.isLibrarySyncInProgress()) co_return true;
  const std::stop_source stop;
  libraryWaitStop_ = stop;
  setIsWaitingForLibrarySync(true);
  const ScopeExit endWait(context_.scope().link(), [this] {
    libraryWaitStop_.reset();
    setIsWaitingForLibrarySync(false);
  });
  const std::stop_token token = stop.get_token();
  co_await dependents_.waitForLibrarySyncToEnd(token);
  co_return !stop.stop_requested();
}

void TrashModel::followRelocatedRecords(const std::vector<RecordRelocation>& relocations) {
  creatingThread_.check();
  if (relocations.empty()) return;
  if (libraryWaitStop_)
    relocatedWhileMoveWaits_.insert(relocatedWhileMoveWaits_.end(), relocations.begin(), relocations.end());
  trashReviewBrowser_->followRelocatedRecords(relocations);
  // The last move's failures that a retry may mend name the files where they are now, and a retry
  // takes them from there as they were reviewed. A refusal stays with the file it was about.
  const RelocatedPaths relocated(relocations);
  std::vector<RecordRef> reviewed;
  reviewed.reserve(firstReviewedTrashRecords_.size());
  for (const auto& [path, record] : firstReviewedTrashRecords_) reviewed.push_back(record);
  if (auto followed = TrashCandidateBrowser::followed(reviewed, relocated)) {
    firstReviewedTrashRecords_.clear();
    for (RecordRef& record : *followed)
      firstReviewedTrashRecords_.emplace(record->file.path, std::move(record));
  }
  if (!lastTrashSummary_ || lastTrashSummary_->failures.empty()) return;
  ImageTrashSummary summary = *lastTrashSummary_;
  const PathSet trashed(summary.trashedPaths.begin(), summary.trashedPaths.end());
  for (ImageTrashFailure& failure : summary.failures) {
    if (failure.reason != ImageTrashFailureReason::underlyingError || trashed.contains(failure.path))
      continue;
    if (const auto to = relocated.destination(failure.path)) failure.path = std::string(*to);
  }
  setLastTrashSummary(std::move(summary));
}

bool TrashModel::cancelDeleteCandidateTrashWhileWaiting() {
  creatingThread_.check();
  if (!libraryWaitStop_) return false;
  libraryWaitStop_->request_stop();
  libraryWaitStop_.reset();
  return true;
}

QCoro::Task<bool> TrashModel::applyTrashSummary(ImageTrashSummary summary, int fallbackSelectionIndex,
                                                bool hadMoreRecords) {
  auto frame = co_await context_.scope().enter();
  setLastTrashSummary(summary);
  if (!summary.trashedPaths.empty()) {
    // The library recorded the moves: a failure that stopped earlier work on it no longer stands.
    context_.releaseWorkFailure();
    removeTrashedRecords(summary.trashedPaths, fallbackSelectionIndex);
    co_await dependents_.reloadFolderSummaries();
  }
  if (!summary.failures.empty()) {
    std::vector<std::string> changed;
    for (const ImageTrashFailure& failure : summary.failures) {
      if (failure.reason == ImageTrashFailureReason::fileChangedSinceReview) changed.push_back(failure.path);
    }
    if (!changed.empty()) dependents_.rereadChangedFiles(changed);
    // A file moved to the Trash whose bookkeeping failed afterwards is listed in both; it is gone
    // and cannot be tried again.
    PathSet retryPaths;
    for (const ImageTrashFailure& failure : summary.failures) retryPaths.insert(failure.path);
    for (const std::string& trashed : summary.trashedPaths) retryPaths.erase(trashed);
    trashReviewBrowser_->selectLoadedPaths(retryPaths);
    context_.setErrorMessage(std::string(kTrashFailureMessage),
                             ErrorNotice{ErrorNoticeKind::trashSomeFailed, {}});
    co_return false;
  }
  context_.setErrorMessage(std::nullopt);
  co_await reloadDeleteCandidateTrashReviewIfEmptied(hadMoreRecords);
  co_return true;
}

void TrashModel::removeTrashedRecords(const std::vector<std::string>& trashedPaths,
                                      int fallbackSelectionIndex) {
  creatingThread_.check();
  // The review's loads in flight still hold the trashed records; the epoch drops them.
  trashReviewBrowser_->cancelLoading();
  cancelDeleteCandidateTrashReviewLoadMore();
  dependents_.ignoreTrashedPathsInFolderMonitoring(trashedPaths);
  dependents_.clearDeleteCandidateUndoStack();
  const PathSet trashed(trashedPaths.begin(), trashedPaths.end());
  dependents_.removeTrashedRecordsFromResults(trashed, fallbackSelectionIndex);
  trashReviewBrowser_->removeRecords(trashed);
  cancelDeleteCandidateTrashReviewLoadMore();
}

void TrashModel::applyTrashFailure(const std::vector<std::string>& paths, const std::exception_ptr& failure) {
  creatingThread_.check();
  // The library refuses a move as a whole before it touches any file: nothing left, nothing to
  // remove, and every path may be tried again.
  const std::string message = lorvex::errorMessage(failure);
  const ErrorNotice notice = lorvex::errorNotice(failure);
  // A refusal because of one image is that image's failure; every other image was only held back
  // with it, and its row says so rather than naming the image that stopped the move.
  const std::optional<std::string> refused = refusedImage(notice, paths);
  ImageTrashSummary summary;
  summary.requestedCount = static_cast<std::int64_t>(paths.size());
  for (const std::string& path : paths) {
    if (refused && path != *refused) {
      summary.failures.push_back(ImageTrashFailure{path, std::string(kHeldBackPrefix) + message,
                                                   ImageTrashFailureReason::underlyingError,
                                                   ErrorNotice{ErrorNoticeKind::trashHeldBack, {}}});
    } else {
      summary.failures.push_back(
          ImageTrashFailure{path, message, ImageTrashFailureReason::underlyingError, notice});
    }
  }
  setLastTrashSummary(std::move(summary));
  trashReviewBrowser_->selectLoadedPaths(PathSet(paths.begin(), paths.end()));
  context_.setErrorMessage(message, notice);
}

QCoro::Task<void> TrashModel::reloadDeleteCandidateTrashReviewIfEmptied(bool hadMoreRecords) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!hadMoreRecords || !presentation_.isDeleteCandidateTrashReviewPresented() ||
      !trashReviewBrowser_->records().empty()) {
    co_return;
  }
  co_await reloadDeleteCandidateTrashReview();
}

}  // namespace lorvex
