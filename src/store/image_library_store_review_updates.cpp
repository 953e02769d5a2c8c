// Review marks: favourite and delete-candidate marks on one image or a selection, written to the
// library and then applied to the loaded results in place, without a new search. A mark asked for
// while an undo's restore runs waits for it (image_library_store_delete_candidate_undo.cpp).
#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "services/indexing/scan_error_message.h"
#include "store/image_library_store.h"
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

StoppedResultLoading ImageLibraryStore::cancelResultLoading() {
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

void ImageLibraryStore::restartResultLoading(const StoppedResultLoading& stopped) {
  creatingThread_.check();
  if (stopped.firstPageRefresh.has_value()) {
    // A first-page search started meanwhile reads the current filters too; it stands.
    if (refreshSearchTask_) return;
    const int limit = stopped.firstPageRefresh->limit;
    const bool resetScroll = stopped.firstPageRefresh->resetScroll;
    startDetached([this, limit, resetScroll] { return refreshResults(limit, resetScroll); });
    return;
  }
  // Refused while another refresh runs, which reads the library as it is now as well.
  if (stopped.backgroundRefresh.has_value()) scheduleBackgroundResultRefresh(*stopped.backgroundRefresh);
}

void ImageLibraryStore::markDeleteCandidates(const std::vector<RecordRef>& records) {
  applyReviewUpdate(records, ReviewMark::deleteCandidate, true);
}

void ImageLibraryStore::setFavorite(const std::vector<RecordRef>& records, bool value) {
  applyReviewUpdate(records, ReviewMark::favorite, value);
}

void ImageLibraryStore::toggleFavorite(const std::vector<RecordRef>& records) {
  applyReviewUpdate(records, ReviewMark::favorite, std::nullopt);
}

void ImageLibraryStore::setDeleteCandidate(const std::vector<RecordRef>& records, bool value) {
  applyReviewUpdate(records, ReviewMark::deleteCandidate, value);
}

void ImageLibraryStore::toggleDeleteCandidate(const std::vector<RecordRef>& records) {
  applyReviewUpdate(records, ReviewMark::deleteCandidate, std::nullopt);
}

void ImageLibraryStore::toggleFocusedRecordFavorite() {
  applyReviewUpdateToFocusedRecord(ReviewMark::favorite);
}

void ImageLibraryStore::toggleFocusedRecordDeleteCandidate() {
  applyReviewUpdateToFocusedRecord(ReviewMark::deleteCandidate);
}

bool ImageLibraryStore::canApplyReviewUpdate() const {
  creatingThread_.check();
  if (isLoadingNextPage_) return false;
  if (!presentation_->isSlideshowPresented()) return true;
  return slideshowVisibleRecordIndices().size() < 2;
}

std::vector<RecordRef> ImageLibraryStore::reviewTargetRecords(const std::string& path) const {
  creatingThread_.check();
  if (selection_->effectiveSelectedPaths().contains(path)) return selectedRecords();
  if (const std::optional<int> index = resultWindow_->index(path)) {
    return {resultWindow_->records()[static_cast<std::size_t>(*index)]};
  }
  return {};
}

void ImageLibraryStore::applyReviewUpdateToFocusedRecord(ReviewMark mark) {
  creatingThread_.check();
  // The focus is read once the undo running has put its selection back.
  if (deleteCandidateRestoreTask_) {
    runAfterDeleteCandidateRestore([this, mark] { applyReviewUpdateToFocusedRecord(mark); });
    return;
  }
  if (!canReviewFocusedRecord()) return;
  if (presentation_->isSlideshowPresented() && slideshowVisibleRecordIndices().size() > 1) return;
  RecordRef focused = selectedRecord();
  if (focused == nullptr) return;
  applyReviewUpdate({std::move(focused)}, mark, std::nullopt);
}

void ImageLibraryStore::applyReviewUpdate(const std::vector<RecordRef>& records, ReviewMark mark,
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
    if (const std::optional<int> index = resultWindow_->index(record->file.path)) positions.push_back(*index);
  }
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  std::vector<ReviewChange> changes;
  changes.reserve(positions.size());
  const std::vector<RecordRef>& loaded = resultWindow_->records();
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

  const StoppedResultLoading stopped = cancelResultLoading();
  const ScopeExit restartLoading(scope_.link(), [this, &stopped] { restartResultLoading(stopped); });
  std::vector<ReviewStateUpdate> updates;
  updates.reserve(changes.size());
  for (const ReviewChange& change : changes)
    updates.push_back({change.target.record->file.path, change.reviewState});
  // One write for all: a failure part way would leave some records marked in the library, with
  // neither the window nor the undo stack knowing of them.
  try {
    service_->updateReviewStates(updates);
  } catch (...) {
    if (tracksDeleteCandidateChange) dismissDeleteCandidateFeedback();
    setErrorMessage(std::current_exception());
    return;
  }
  applyReviewStatesToResultWindow(changes);
  if (undoAction.has_value()) pushDeleteCandidateUndoAction(std::move(*undoAction));
  if (feedback.has_value()) {
    setDeleteCandidateFeedback(*feedback);
    scheduleDeleteCandidateFeedbackDismissal();
  }
  setErrorMessage(std::nullopt);
}

void ImageLibraryStore::applyReviewStatesToResultWindow(const std::vector<ReviewChange>& changes) {
  creatingThread_.check();
  PathMap<ReviewState> states;
  states.reserve(changes.size());
  for (const ReviewChange& change : changes)
    states.insert_or_assign(change.target.record->file.path, change.reviewState);
  const auto isVisible = [this](bool favorite, bool deleteCandidate, bool isMissing) {
    return matchesReviewFilters(favorite, deleteCandidate, isMissing);
  };
  resultWindow_->applyRecordUpdates(states, isVisible);
}

}  // namespace lorvex
