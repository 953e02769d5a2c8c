// Delete-candidate undo: every change of delete-candidate marks records the marks, positions,
// selection and slideshow it found; undo writes the marks back and puts the records, the selection
// and the slideshow back as they were. The stack lives in memory only and is bounded in actions and
// in weight.
//
// The restore is a library write of thousands of rows: it runs on the user-initiated pool, and the
// main thread only applies what it returns. While it runs, every mark asked for waits in a queue
// and runs, in the order asked, once the restore is applied: no write can reach the library before
// the restore, and each one reads the window as the restore left it, exactly as if the undo had
// been done on the spot. Undo itself is not offered meanwhile, and a further request (a second
// click on the banner's Undo, a repeated Ctrl+Z) is dropped: its action is still on the stack until
// the restore is applied, so it would take back one more change than the person saw. The banner's
// countdown stops meanwhile: the banner goes when the restore is applied, never before.
#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/async/run_blocking.h"
#include "store/async/scope_exit.h"
#include "store/delete_candidate_undo_error.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/review/review_model.h"
#include "store/review_update.h"

namespace lorvex {

namespace {

// What a restore gives back, made ready on the pool: the returned records paired with the window
// positions they had, and the first record (by old position) the library did not return.
struct RestoredDeleteCandidates {
  std::vector<std::pair<RecordRef, int>> recordsAtSavedIndex;
  std::optional<std::pair<int, std::string>> firstAbsent;
};

// Writes the action's marks back through `service` and pairs what comes back with the saved
// positions. Pool thread; touches nothing of the store.
RestoredDeleteCandidates restoreDeleteCandidates(ImageLibraryServicing& service,
                                                 const DeleteCandidateUndoAction& action) {
  std::vector<DeleteCandidateStateRestore> restores;
  restores.reserve(action.records.size());
  for (const DeleteCandidateUndoRecord& record : action.records)
    restores.push_back({record.path, record.deleteCandidate});
  std::vector<ImageRecord> restored = service.restoreDeleteCandidateStates(restores);

  PathMap<RecordRef> restoredByPath;
  restoredByPath.reserve(restored.size());
  for (ImageRecord& record : restored) {
    std::string path = record.file.path;
    restoredByPath.insert_or_assign(std::move(path), makeRecordRef(std::move(record)));
  }
  // A record missing from the answer, or whose file is gone, had its mark written all the same (the
  // restore is one transaction): what came back is applied and the action is spent, since trying it
  // again would fail alike and hold back every older action. The first such record by old position
  // is named.
  RestoredDeleteCandidates outcome;
  outcome.recordsAtSavedIndex.reserve(action.records.size());
  for (const DeleteCandidateUndoRecord& record : action.records) {
    const auto found = restoredByPath.find(record.path);
    // A record of a file that is gone cannot be put back where the person sees it: the undo says so.
    if (found != restoredByPath.end() && !found->second->isMissing) {
      outcome.recordsAtSavedIndex.emplace_back(found->second, record.index);
    } else if (!outcome.firstAbsent.has_value() || record.index < outcome.firstAbsent->first) {
      outcome.firstAbsent.emplace(record.index, record.path);
    }
  }
  return outcome;
}

}  // namespace

std::optional<DeleteCandidateUndoAction> ReviewModel::makeDeleteCandidateUndoAction(
    const std::vector<ReviewChange>& changes) const {
  creatingThread_.check();
  const auto changed =
      static_cast<std::size_t>(std::count_if(changes.begin(), changes.end(), [](const ReviewChange& change) {
        return change.changesDeleteCandidate();
      }));
  if (changed == 0) return std::nullopt;
  // Weighed before anything is copied: a marking of thousands of selected records has no undo,
  // and copying its paths only to drop them would cost the marking most of its time.
  const std::optional<std::string>& primary = results_.selection().primaryPath();
  const std::size_t selectedCount = results_.selection().selectedPaths().empty()
                                        ? (primary.has_value() ? 1 : 0)
                                        : results_.selection().selectedPaths().size();
  const std::size_t weight = changed + selectedCount + (primary.has_value() ? 1 : 0) +
                             (results_.selection().anchorPath().has_value() ? 1 : 0);
  if (weight > kMaxDeleteCandidateUndoWeight) return std::nullopt;
  DeleteCandidateUndoAction action;
  action.records.reserve(changed);
  for (const ReviewChange& change : changes) {
    if (!change.changesDeleteCandidate()) continue;
    const ImageRecord& record = *change.target.record;
    action.records.push_back({record.file.path, record.reviewState.deleteCandidate, change.target.index});
  }
  action.selectedPath = primary;
  action.selectedPaths = results_.selection().effectiveSelectedPaths();
  action.selectionAnchorPath = results_.selection().anchorPath();
  action.wasSlideshowPresented = presentation_.isSlideshowPresented();
  action.wasSlideshowPlaying = presentation_.isSlideshowPlaying();
  return action;
}

void ReviewModel::pushDeleteCandidateUndoAction(DeleteCandidateUndoAction action) {
  creatingThread_.check();
  if (action.weight() > kMaxDeleteCandidateUndoWeight) return;
  // Moved out and back rather than copied: the stack may hold thousands of paths.
  std::vector<DeleteCandidateUndoAction> stack = std::move(deleteCandidateUndoStack_);
  stack.push_back(std::move(action));
  // The action just pushed weighs at most the limit, so it is never trimmed itself.
  std::size_t weight = 0;
  for (const DeleteCandidateUndoAction& kept : stack) weight += kept.weight();
  std::size_t trimmed = 0;
  while (stack.size() - trimmed > kMaxDeleteCandidateUndoActions || weight > kMaxDeleteCandidateUndoWeight) {
    weight -= stack[trimmed].weight();
    ++trimmed;
  }
  stack.erase(stack.begin(), std::next(stack.begin(), static_cast<std::ptrdiff_t>(trimmed)));
  setDeleteCandidateUndoStack(std::move(stack));
}

void ReviewModel::followRelocatedRecords(const std::vector<RecordRelocation>& relocations) {
  creatingThread_.check();
  const std::size_t following = deleteCandidateUndoStack_.size() -
                                (deleteCandidateRestoreTask_ && !deleteCandidateUndoStack_.empty() ? 1 : 0);
  if (following == 0 || relocations.empty()) return;
  // A record several files took over is followed to the first of them, as the focus is.
  const RelocatedPaths relocated(relocations);
  const auto followed = [&](std::string_view path) -> std::optional<std::string> {
    if (const std::optional<std::string_view> to = relocated.destination(path)) return std::string(*to);
    return std::nullopt;
  };
  std::vector<DeleteCandidateUndoAction> stack = deleteCandidateUndoStack_;
  bool changed = false;
  for (std::size_t i = 0; i < following; ++i) {
    DeleteCandidateUndoAction& action = stack[i];
    // Each record goes where the scan found it unless another record of the action stays there or
    // goes there first; one that moves on (renamed onward, or two that swapped names) leaves its
    // place free. A record kept back keeps its place, which may keep back one before it: settled
    // again until no place is named twice.
    std::vector<std::optional<std::string>> targets;
    targets.reserve(action.records.size());
    for (const DeleteCandidateUndoRecord& record : action.records) targets.push_back(followed(record.path));
    const bool anyMoved =
        std::any_of(targets.begin(), targets.end(), [](const auto& to) { return to.has_value(); });
    for (bool settled = !anyMoved; !settled;) {
      settled = true;
      PathSet named;
      for (std::size_t r = 0; r < targets.size(); ++r) {
        if (!targets[r]) named.insert(action.records[r].path);
      }
      for (std::optional<std::string>& target : targets) {
        if (!target) continue;
        if (named.insert(*target)) continue;
        target.reset();
        settled = false;
        break;
      }
    }
    for (std::size_t r = 0; r < targets.size(); ++r) {
      if (!targets[r]) continue;
      action.records[r].path = std::move(*targets[r]);
      changed = true;
    }
    for (std::optional<std::string>* path : {&action.selectedPath, &action.selectionAnchorPath}) {
      if (!path->has_value()) continue;
      if (std::optional<std::string> to = followed(**path)) {
        *path = std::move(to);
        changed = true;
      }
    }
    PathSet selected;
    bool selectionMoved = false;
    for (const std::string_view path : action.selectedPaths) {
      std::optional<std::string> to = followed(path);
      selectionMoved = selectionMoved || to.has_value();
      selected.insert(to ? std::string_view(*to) : path);
    }
    if (selectionMoved) {
      action.selectedPaths = std::move(selected);
      changed = true;
    }
  }
  if (changed) setDeleteCandidateUndoStack(std::move(stack));
}

void ReviewModel::runAfterDeleteCandidateRestore(std::function<void()> operation) {
  creatingThread_.check();
  reviewOperationsAfterRestore_.push_back(std::move(operation));
}

void ReviewModel::runReviewOperationsAfterRestore() {
  creatingThread_.check();
  // A mark never starts a restore; the guard keeps the order should one ever do.
  while (!deleteCandidateRestoreTask_ && !reviewOperationsAfterRestore_.empty()) {
    std::function<void()> operation = std::move(reviewOperationsAfterRestore_.front());
    reviewOperationsAfterRestore_.pop_front();
    operation();
  }
}

void ReviewModel::undoLastDeleteCandidateAction() {
  creatingThread_.check();
  if (deleteCandidateRestoreTask_) return;
  if (results_.isLoadingNextPage() || dependents_.isTrashingDeleteCandidates()) return;
  if (deleteCandidateUndoStack_.empty()) return;
  auto action = std::make_shared<const DeleteCandidateUndoAction>(deleteCandidateUndoStack_.back());
  auto restore = [this, action](std::stop_token stop) { return runDeleteCandidateRestore(action, stop); };
  const StoreTask<void> task = startStoreTask(context_.scope(), restore);
  if (task.isFinished()) return;
  setDeleteCandidateRestoreTask(task);
  // The banner reports the marking until the restore's outcome is applied: it must not run out
  // and close meanwhile, as if the undo were done, while the image is still marked.
  stopDeleteCandidateFeedbackCountdown();
}

QCoro::Task<void> ReviewModel::runDeleteCandidateRestore(
    std::shared_ptr<const DeleteCandidateUndoAction> action, std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  // The service in use now. The write is never stopped once asked for: the store going away drops
  // its outcome, and the library keeps the marks it wrote.
  auto restore = [service = context_.service(), action] {
    return restoreDeleteCandidates(*service, *action);
  };
  const std::stop_token neverStopped;
  RestoredDeleteCandidates restored;
  std::exception_ptr failure;
  try {
    restored = co_await runBlocking(context_.userInitiatedPool(), neverStopped, restore);
  } catch (...) {
    failure = std::current_exception();
  }
  // Applied only where an undo could have started: a page load would append after positions the
  // records are about to shift, and a move to the Trash rebuilds the results on its own.
  co_await dependents_.waitUntilNoPageLoadOrTrashMove(stop);
  if (stop.stop_requested()) co_return;
  if (failure) {
    // Nothing was written: the action stays the newest and can be tried again.
    context_.setErrorMessage(failure);
  } else {
    // Written: a failure that stopped earlier work on the library no longer stands.
    context_.releaseWorkFailure();
    applyDeleteCandidateRestore(*action, std::move(restored.recordsAtSavedIndex), restored.firstAbsent);
  }
  setDeleteCandidateRestoreTask({});
  // A banner still up (the restore failed) offers its Undo again, for a full delay.
  if (deleteCandidateFeedback_) scheduleDeleteCandidateFeedbackDismissal();
  runReviewOperationsAfterRestore();
}

void ReviewModel::applyDeleteCandidateRestore(const DeleteCandidateUndoAction& action,
                                              std::vector<std::pair<RecordRef, int>> recordsAtSavedIndex,
                                              const std::optional<std::pair<int, std::string>>& firstAbsent) {
  creatingThread_.check();
  // The action is spent. A move to the Trash meanwhile may have emptied the stack; nothing else
  // changes it while a restore runs, since marks wait for the restore.
  if (!deleteCandidateUndoStack_.empty() && deleteCandidateUndoStack_.back() == action) {
    std::vector<DeleteCandidateUndoAction> stack = std::move(deleteCandidateUndoStack_);
    stack.pop_back();
    setDeleteCandidateUndoStack(std::move(stack));
  }

  const StoppedResultLoading stopped = results_.cancelResultLoading();
  const ScopeExit restartLoading(context_.scope().link(),
                                 [this, &stopped] { results_.restartResultLoading(stopped); });
  const ResultSelection::Snapshot snapshot = results_.selection().snapshot();
  const auto isVisible = [this](bool favorite, bool deleteCandidate, bool isMissing) {
    return results_.matchesReviewFilters(favorite, deleteCandidate, isMissing);
  };
  results_.resultWindow().applyRecordUpdatesAtIndices(std::move(recordsAtSavedIndex), isVisible);
  pruneResultWindowToReviewFilters();
  restoreSelectionAfterDeleteCandidateUndo(action, snapshot);
  presentation_.setIsSlideshowPresented(action.wasSlideshowPresented &&
                                        results_.selection().primaryPath().has_value());
  presentation_.setIsSlideshowPlaying(action.wasSlideshowPlaying && presentation_.isSlideshowPresented());
  dismissDeleteCandidateFeedback();
  if (firstAbsent.has_value()) {
    context_.setErrorMessage(
        DeleteCandidateUndoError::incompleteRestore(firstAbsent->second).localizedDescription(),
        ErrorNotice{ErrorNoticeKind::undoIncomplete, {firstAbsent->second}});
  } else {
    context_.setErrorMessage(std::nullopt);
  }
}

void ReviewModel::pruneResultWindowToReviewFilters() {
  creatingThread_.check();
  const std::vector<RecordRef>& records = results_.resultWindow().records();
  PathSet excluded;
  std::optional<int> firstExcluded;
  for (std::size_t index = 0; index < records.size(); ++index) {
    const ImageRecord& record = *records[index];
    if (results_.matchesReviewFilters(record.reviewState.favorite, record.reviewState.deleteCandidate,
                                      record.isMissing))
      continue;
    if (!firstExcluded.has_value()) firstExcluded = static_cast<int>(index);
    excluded.insert(record.file.path);
  }
  if (!firstExcluded.has_value()) {
    results_.resultWindow().invalidateLoads();
    return;
  }
  results_.resultWindow().removeRecords(excluded, *firstExcluded);
}

void ReviewModel::restoreSelectionAfterDeleteCandidateUndo(const DeleteCandidateUndoAction& action,
                                                           const ResultSelection::Snapshot& snapshot) {
  creatingThread_.check();
  PathSet restored;
  for (const std::string_view path : action.selectedPaths) {
    if (results_.resultWindow().index(path).has_value()) restored.insert(path);
  }
  std::optional<std::string> primary;
  if (action.selectedPath.has_value() && results_.resultWindow().index(*action.selectedPath).has_value()) {
    primary = action.selectedPath;
  } else {
    primary = results_.firstWindowPath(restored);
  }
  if (!primary.has_value()) {
    results_.selection().setPrimaryPath(snapshot.primaryPath);
    results_.selection().setSelectedPaths(snapshot.selectedPaths);
    results_.selection().setAnchorPath(snapshot.anchorPath);
    int fallbackIndex = 0;
    if (!action.records.empty()) {
      fallbackIndex =
          std::min_element(action.records.begin(), action.records.end(), [](const auto& a, const auto& b) {
            return a.index < b.index;
          })->index;
    }
    results_.resultWindowRecordsDidChange(SearchResultWindow::RecordsChange{fallbackIndex});
    return;
  }
  PathSet selected = restored.empty() ? PathSet{*primary} : std::move(restored);
  std::optional<std::string> anchor = primary;
  if (action.selectionAnchorPath.has_value() && selected.contains(*action.selectionAnchorPath)) {
    anchor = action.selectionAnchorPath;
  }
  results_.selection().setPrimaryPath(std::move(primary));
  results_.selection().setSelectedPaths(std::move(selected));
  results_.selection().setAnchorPath(std::move(anchor));
}

}  // namespace lorvex
