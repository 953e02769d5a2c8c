// Delete-candidate undo: every change of delete-candidate marks records the marks, positions,
// selection and slideshow it found; undo writes the marks back and puts the records, the selection
// and the slideshow back as they were. The stack lives in memory only and is bounded in actions and
// in weight.
#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "services/indexing/scan_error_message.h"
#include "store/delete_candidate_undo_error.h"
#include "store/image_library_store.h"
#include "store/review_update.h"

namespace lorvex {

std::optional<DeleteCandidateUndoAction> ImageLibraryStore::makeDeleteCandidateUndoAction(
    const std::vector<ReviewChange>& changes) const {
  creatingThread_.check();
  const auto changed =
      static_cast<std::size_t>(std::count_if(changes.begin(), changes.end(), [](const ReviewChange& change) {
        return change.changesDeleteCandidate();
      }));
  if (changed == 0) return std::nullopt;
  // Weighed before anything is copied: a marking of thousands of selected records has no undo,
  // and copying its paths only to drop them would cost the marking most of its time.
  const std::optional<std::string>& primary = selection_->primaryPath();
  const std::size_t selectedCount = selection_->selectedPaths().empty() ? (primary.has_value() ? 1 : 0)
                                                                        : selection_->selectedPaths().size();
  const std::size_t weight = changed + selectedCount + (primary.has_value() ? 1 : 0) +
                             (selection_->anchorPath().has_value() ? 1 : 0);
  if (weight > kMaxDeleteCandidateUndoWeight) return std::nullopt;
  DeleteCandidateUndoAction action;
  action.records.reserve(changed);
  for (const ReviewChange& change : changes) {
    if (!change.changesDeleteCandidate()) continue;
    const ImageRecord& record = *change.target.record;
    action.records.push_back({record.file.path, record.reviewState.deleteCandidate, change.target.index});
  }
  action.selectedPath = primary;
  action.selectedPaths = selection_->effectiveSelectedPaths();
  action.selectionAnchorPath = selection_->anchorPath();
  action.wasSlideshowPresented = presentation_->isSlideshowPresented();
  action.wasSlideshowPlaying = presentation_->isSlideshowPlaying();
  return action;
}

void ImageLibraryStore::pushDeleteCandidateUndoAction(DeleteCandidateUndoAction action) {
  creatingThread_.check();
  if (action.weight() > kMaxDeleteCandidateUndoWeight) return;
  std::vector<DeleteCandidateUndoAction> stack = deleteCandidateUndoStack_;
  stack.push_back(std::move(action));
  setDeleteCandidateUndoStack(std::move(stack));
  // The action just pushed weighs at most the limit, so it is never trimmed itself.
  while (deleteCandidateUndoStack_.size() > kMaxDeleteCandidateUndoActions ||
         deleteCandidateUndoStackEntryCount() > kMaxDeleteCandidateUndoWeight) {
    setDeleteCandidateUndoStack(
        {std::next(deleteCandidateUndoStack_.begin()), deleteCandidateUndoStack_.end()});
  }
}

void ImageLibraryStore::undoLastDeleteCandidateAction() {
  creatingThread_.check();
  if (isLoadingNextPage_ || trash_->isTrashingDeleteCandidates()) return;
  if (deleteCandidateUndoStack_.empty()) return;
  std::vector<DeleteCandidateUndoAction> stack = deleteCandidateUndoStack_;
  DeleteCandidateUndoAction action = std::move(stack.back());
  stack.pop_back();
  setDeleteCandidateUndoStack(std::move(stack));

  const StoppedResultLoading stopped = cancelResultLoading();
  const ScopeExit restartLoading(scope_.link(), [this, &stopped] { restartResultLoading(stopped); });
  const ResultSelection::Snapshot snapshot = selection_->snapshot();
  std::vector<DeleteCandidateStateRestore> restores;
  restores.reserve(action.records.size());
  for (const DeleteCandidateUndoRecord& record : action.records)
    restores.push_back({record.path, record.deleteCandidate});
  std::vector<ImageRecord> restored;
  try {
    restored = service_->restoreDeleteCandidateStates(restores);
  } catch (...) {
    // Nothing was written: the action can be tried again.
    pushDeleteCandidateUndoAction(std::move(action));
    setErrorMessage(std::current_exception());
    return;
  }

  PathMap<RecordRef> restoredByPath;
  restoredByPath.reserve(restored.size());
  for (ImageRecord& record : restored) {
    std::string path = record.file.path;
    restoredByPath.insert_or_assign(std::move(path), makeRecordRef(std::move(record)));
  }
  // A record missing from the answer had its mark written all the same (the restore is one
  // transaction): what came back is applied and the action is spent, since trying it again would
  // fail alike and hold back every older action. The first missing record by old position is named.
  std::vector<std::pair<RecordRef, int>> recordsAtSavedIndex;
  recordsAtSavedIndex.reserve(action.records.size());
  std::optional<std::pair<int, std::string>> firstAbsent;
  for (const DeleteCandidateUndoRecord& record : action.records) {
    const auto found = restoredByPath.find(record.path);
    if (found != restoredByPath.end()) {
      recordsAtSavedIndex.emplace_back(found->second, record.index);
    } else if (!firstAbsent.has_value() || record.index < firstAbsent->first) {
      firstAbsent.emplace(record.index, record.path);
    }
  }
  const auto isVisible = [this](bool favorite, bool deleteCandidate, bool isMissing) {
    return matchesReviewFilters(favorite, deleteCandidate, isMissing);
  };
  resultWindow_->applyRecordUpdatesAtIndices(std::move(recordsAtSavedIndex), isVisible);
  pruneResultWindowToReviewFilters();
  restoreSelectionAfterDeleteCandidateUndo(action, snapshot);
  presentation_->setIsSlideshowPresented(action.wasSlideshowPresented &&
                                         selection_->primaryPath().has_value());
  presentation_->setIsSlideshowPlaying(action.wasSlideshowPlaying && presentation_->isSlideshowPresented());
  dismissDeleteCandidateFeedback();
  if (firstAbsent.has_value()) {
    setErrorMessage(DeleteCandidateUndoError::incompleteRestore(firstAbsent->second).localizedDescription(),
                    ErrorNotice{ErrorNoticeKind::undoIncomplete, {firstAbsent->second}});
  } else {
    setErrorMessage(std::nullopt);
  }
}

void ImageLibraryStore::pruneResultWindowToReviewFilters() {
  creatingThread_.check();
  const std::vector<RecordRef>& records = resultWindow_->records();
  PathSet excluded;
  std::optional<int> firstExcluded;
  for (std::size_t index = 0; index < records.size(); ++index) {
    const ImageRecord& record = *records[index];
    if (matchesReviewFilters(record.reviewState.favorite, record.reviewState.deleteCandidate,
                             record.isMissing))
      continue;
    if (!firstExcluded.has_value()) firstExcluded = static_cast<int>(index);
    excluded.insert(record.file.path);
  }
  if (!firstExcluded.has_value()) {
    resultWindow_->invalidateLoads();
    return;
  }
  resultWindow_->removeRecords(excluded, *firstExcluded);
}

void ImageLibraryStore::restoreSelectionAfterDeleteCandidateUndo(const DeleteCandidateUndoAction& action,
                                                                 const ResultSelection::Snapshot& snapshot) {
  creatingThread_.check();
  PathSet restored;
  for (const std::string_view path : action.selectedPaths) {
    if (resultWindow_->index(path).has_value()) restored.insert(path);
  }
  std::optional<std::string> primary;
  if (action.selectedPath.has_value() && resultWindow_->index(*action.selectedPath).has_value()) {
    primary = action.selectedPath;
  } else {
    primary = firstWindowPath(restored);
  }
  if (!primary.has_value()) {
    selection_->setPrimaryPath(snapshot.primaryPath);
    selection_->setSelectedPaths(snapshot.selectedPaths);
    selection_->setAnchorPath(snapshot.anchorPath);
    int fallbackIndex = 0;
    if (!action.records.empty()) {
      fallbackIndex =
          std::min_element(action.records.begin(), action.records.end(), [](const auto& a, const auto& b) {
            return a.index < b.index;
          })->index;
    }
    resultWindowRecordsDidChange(SearchResultWindow::RecordsChange{fallbackIndex});
    return;
  }
  PathSet selected = restored.empty() ? PathSet{*primary} : std::move(restored);
  std::optional<std::string> anchor = primary;
  if (action.selectionAnchorPath.has_value() && selected.contains(*action.selectionAnchorPath)) {
    anchor = action.selectionAnchorPath;
  }
  selection_->setPrimaryPath(std::move(primary));
  selection_->setSelectedPaths(std::move(selected));
  selection_->setAnchorPath(std::move(anchor));
}

}  // namespace lorvex
