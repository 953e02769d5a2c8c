#include "store/review/review_model.h"

#include <utility>

#include "store/observed_value.h"

namespace lorvex {

ReviewModel::ReviewModel(StoreContext& context, ResultsModel& results,
                         ImageLibraryPresentationState& presentation, const FiltersModel& filters,
                         ReviewDependents& dependents, std::uint64_t feedbackDismissDelayNanos,
                         QObject* parent)
    : QObject(parent),
      context_(context),
      results_(results),
      presentation_(presentation),
      filters_(filters),
      dependents_(dependents),
      feedbackDismissDelayNanos_(feedbackDismissDelayNanos) {}

ReviewModel::~ReviewModel() = default;

std::size_t ReviewModel::deleteCandidateUndoStackEntryCount() const {
  creatingThread_.check();
  std::size_t count = 0;
  for (const auto& action : deleteCandidateUndoStack_) count += action.weight();
  return count;
}

void ReviewModel::clearDeleteCandidateUndoStack() {
  creatingThread_.check();
  setDeleteCandidateUndoStack({});
}

void ReviewModel::recomputeCanUndoDeleteCandidateAction() {
  // Not while a restore runs: its action stays on the stack until the restore is applied.
  setCanUndoDeleteCandidateAction(!deleteCandidateUndoStack_.empty() &&
                                  !dependents_.isTrashingDeleteCandidates() && !deleteCandidateRestoreTask_);
}

void ReviewModel::setCanUndoDeleteCandidateAction(bool value) {
  creatingThread_.check();
  assignObserved(canUndoDeleteCandidateAction_, std::move(value), this,
                 &ReviewModel::canUndoDeleteCandidateActionChanged);
}

void ReviewModel::setDeleteCandidateFeedback(std::optional<DeleteCandidateFeedback> value) {
  creatingThread_.check();
  assignObserved(deleteCandidateFeedback_, std::move(value), this,
                 &ReviewModel::deleteCandidateFeedbackChanged);
}

void ReviewModel::setDeleteCandidateFeedbackDismissTask(StoreTask<void> value) {
  creatingThread_.check();
  deleteCandidateFeedbackDismissTask_ = std::move(value);
}

void ReviewModel::setDeleteCandidateFeedbackDismissGeneration(int value) {
  creatingThread_.check();
  deleteCandidateFeedbackDismissGeneration_ = value;
}

void ReviewModel::setDeleteCandidateUndoStack(std::vector<DeleteCandidateUndoAction> value) {
  creatingThread_.check();
  deleteCandidateUndoStack_ = std::move(value);
  recomputeCanUndoDeleteCandidateAction();
}

void ReviewModel::setDeleteCandidateRestoreTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(deleteCandidateRestoreTask_, std::move(value), this,
                 &ReviewModel::deleteCandidateRestoreTaskChanged);
  recomputeCanUndoDeleteCandidateAction();
}

}  // namespace lorvex
