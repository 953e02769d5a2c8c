// Review marks: favourite and delete-candidate marks on one image or a selection, written to the
// library and then applied to the loaded results in place, without a new search. A mark asked for
// while an undo's restore runs waits for it (delete_candidate_undo.cpp).
#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/async/scope_exit.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/review/review_model.h"
#include "store/review_update.h"

namespace lorvex {

namespace {

bool markOf(const ReviewState& state, ReviewMark mark) {
  return mark == ReviewMark::favorite ? state.favorite : state.deleteCandidate;
}

void setMark(ReviewState& state, ReviewMark mark, bool value) {
  (mark == ReviewMark::favorite ? state.favorite : state.deleteCandidate) = value;
}

}  // namespace

void ReviewModel::markDeleteCandidates(const std::vector<RecordRef>& records) {
  applyReviewUpdate(records, ReviewMark::deleteCandidate, true);
}

void ReviewModel::setFavorite(const std::vector<RecordRef>& records, bool value) {
  applyReviewUpdate(records, ReviewMark::favorite, value);
}

void ReviewModel::toggleFavorite(const std::vector<RecordRef>& records) {
  applyReviewUpdate(records, ReviewMark::favorite, std::nullopt);
}

void ReviewModel::setDeleteCandidate(const std::vector<RecordRef>& records, bool value) {
  applyReviewUpdate(records, ReviewMark::deleteCandidate, value);
}

void ReviewModel::toggleDeleteCandidate(const std::vector<RecordRef>& records) {
  applyReviewUpdate(records, ReviewMark::deleteCandidate, std::nullopt);
}

void ReviewModel::toggleFocusedRecordFavorite() {
  applyReviewUpdateToFocusedRecord(ReviewMark::favorite);
}

void ReviewModel::toggleFocusedRecordDeleteCandidate() {
  applyReviewUpdateToFocusedRecord(ReviewMark::deleteCandidate);
}

bool ReviewModel::canApplyReviewUpdate() const {
  creatingThread_.check();
  if (results_.isLoadingNextPage()) return false;
  if (!presentation_.isSlideshowPresented()) return true;
  return results_.slideshowVisibleRecordIndices().size() < 2;
}

std::vector<RecordRef> ReviewModel::reviewTargetRecords(const std::string& path) const {
  creatingThread_.check();
  if (results_.selection().effectiveSelectedPaths().contains(path)) return results_.selectedRecords();
  if (const std::optional<int> index = results_.resultWindow().index(path)) {
    return {results_.resultWindow().records()[static_cast<std::size_t>(*index)]};
  }
  return {};
}

void ReviewModel::applyReviewUpdateToFocusedRecord(ReviewMark mark) {
  creatingThread_.check();
  // The focus is read once the undo running has put its selection back.
  if (deleteCandidateRestoreTask_) {
    runAfterDeleteCandidateRestore([this, mark] { applyReviewUpdateToFocusedRecord(mark); });
    return;
  }
  if (!dependents_.canReviewFocusedRecord()) return;
  if (presentation_.isSlideshowPresented() && results_.slideshowVisibleRecordIndices().size() > 1) return;
  RecordRef focused = results_.selectedRecord();
  if (focused == nullptr) return;
  applyReviewUpdate({std::move(focused)}, mark, std::nullopt);
}

void ReviewModel::applyReviewUpdate(const std::vector<RecordRef>& records, ReviewMark mark,
                                    std::optional<bool> value) {
  creatingThread_.check();
  if (deleteCandidateRestoreTask_) {
    runAfterDeleteCandidateRestore([this, records, mark, value] { applyReviewUpdate(records, mark, value); });
    return;
  }
  if (!canApplyReviewUpdate()) return;
  // The loaded copies of the given records, in window order, each path once: a given record that
  // is not loaded is neither written nor changed, and a loaded one changes from the marks it shows
  // now. Found through the window's path index, so a marking costs time in proportion to the
  // records given, not to the window; a path loaded twice is changed at its last place (the
  // window updates every place of a path, and undo must not name a path twice).
  std::vector<int> positions;
  positions.reserve(records.size());
  for (const RecordRef& record : records) {
    if (record == nullptr) continue;
    if (const std::optional<int> index = results_.resultWindow().index(record->file.path))
      positions.push_back(*index);
  }
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  std::vector<ReviewChange> changes;
  changes.reserve(positions.size());
  const std::vector<RecordRef>& loaded = results_.resultWindow().records();
  for (const int index : positions) {
    const RecordRef& record = loaded[static_cast<std::size_t>(index)];
    const bool current = markOf(record->reviewState, mark);
    if (value.has_value() && current == *value) continue;
    ReviewState state = record->reviewState;
    setMark(state, mark, value.value_or(!current));
    changes.push_back(ReviewChange{ReviewUpdateTarget{record, index}, std::move(state)});
  }
  if (changes.empty()) return;

  // Both are taken from the state before anything changes.
  const bool tracksDeleteCandidateChange = mark == ReviewMark::deleteCandidate;
  std::optional<DeleteCandidateUndoAction> undoAction;
  std::optional<DeleteCandidateFeedback> feedback;
  if (tracksDeleteCandidateChange) {
    undoAction = makeDeleteCandidateUndoAction(changes);
    feedback = makeDeleteCandidateFeedback(changes, undoAction);
  }

  const StoppedResultLoading stopped = results_.cancelResultLoading();
  const ScopeExit restartLoading(context_.scope().link(),
                                 [this, &stopped] { results_.restartResultLoading(stopped); });
  std::vector<ReviewStateUpdate> updates;
  updates.reserve(changes.size());
  for (const ReviewChange& change : changes)
    updates.push_back({change.target.record->file.path, change.reviewState});
  // One write for all: a failure part way would leave some records marked in the library, with
  // neither the window nor the undo stack knowing of them.
  try {
    context_.service()->updateReviewStates(updates);
  } catch (...) {
    if (tracksDeleteCandidateChange) dismissDeleteCandidateFeedback();
    context_.setErrorMessage(std::current_exception());
    return;
  }
  // Written: a failure that stopped earlier work on the library no longer stands.
  context_.releaseWorkFailure();
  applyReviewStatesToResultWindow(changes);
  if (undoAction.has_value()) pushDeleteCandidateUndoAction(std::move(*undoAction));
  if (feedback.has_value()) {
    setDeleteCandidateFeedback(*feedback);
    scheduleDeleteCandidateFeedbackDismissal();
  }
  context_.setErrorMessage(std::nullopt);
}

void ReviewModel::applyReviewStatesToResultWindow(const std::vector<ReviewChange>& changes) {
  creatingThread_.check();
  PathMap<ReviewState> states;
  states.reserve(changes.size());
  for (const ReviewChange& change : changes)
    states.insert_or_assign(change.target.record->file.path, change.reviewState);
  const auto isVisible = [this](bool favorite, bool deleteCandidate, bool isMissing) {
    return results_.matchesReviewFilters(favorite, deleteCandidate, isMissing);
  };
  results_.resultWindow().applyRecordUpdates(states, isVisible);
}

}  // namespace lorvex
