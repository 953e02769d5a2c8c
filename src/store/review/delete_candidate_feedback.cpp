// The delete-candidate feedback banner: what the last marking did, to how many images, whether
// they left the normal results and whether it can be undone; cleared a fixed time after its newest
// publication. A generation counter, not the countdown's handle alone, decides whether a countdown
// that ends may clear the banner: one cancelled too late to stop its wake-up finds a newer
// generation and does nothing.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <stop_token>
#include <vector>

#include "store/review/review_model.h"
#include "store/review_update.h"

namespace lorvex {

std::optional<DeleteCandidateFeedback> ReviewModel::makeDeleteCandidateFeedback(
    const std::vector<ReviewChange>& changes,
    const std::optional<DeleteCandidateUndoAction>& undoAction) const {
  creatingThread_.check();
  std::optional<bool> newMark;
  int affectedCount = 0;
  for (const ReviewChange& change : changes) {
    if (!change.changesDeleteCandidate()) continue;
    // A toggle over mixed marks has no single thing to say.
    if (newMark.has_value() && *newMark != change.reviewState.deleteCandidate) return std::nullopt;
    newMark = change.reviewState.deleteCandidate;
    ++affectedCount;
  }
  if (!newMark.has_value()) return std::nullopt;
  DeleteCandidateFeedback feedback;
  feedback.change =
      *newMark ? DeleteCandidateFeedback::Change::marked : DeleteCandidateFeedback::Change::unmarked;
  feedback.affectedCount = affectedCount;
  feedback.hiddenFromNormalResults = *newMark && !filters_.onlyDeleteCandidates();
  feedback.allowsUndo = undoAction.has_value();
  return feedback;
}

void ReviewModel::scheduleDeleteCandidateFeedbackDismissal() {
  creatingThread_.check();
  setDeleteCandidateFeedbackDismissGeneration(deleteCandidateFeedbackDismissGeneration_ + 1);
  const int generation = deleteCandidateFeedbackDismissGeneration_;
  if (deleteCandidateFeedbackDismissTask_) deleteCandidateFeedbackDismissTask_.cancel();
  auto countdown = [this, generation](std::stop_token stop) {
    return runDeleteCandidateFeedbackDismissal(generation, stop);
  };
  const StoreTask<void> task = startStoreTask(context_.scope(), countdown);
  // A countdown of no time has run out already; no handle of it is kept.
  setDeleteCandidateFeedbackDismissTask(task.isFinished() ? StoreTask<void>() : task);
}

QCoro::Task<void> ReviewModel::runDeleteCandidateFeedbackDismissal(int generation, std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const auto delay = static_cast<std::int64_t>(
      std::min<std::uint64_t>(feedbackDismissDelayNanos_, std::numeric_limits<std::int64_t>::max()));
  const bool sleptFully = co_await context_.clock().sleep(delay, stop);
  if (!sleptFully || stop.stop_requested()) co_return;
  if (deleteCandidateFeedbackDismissGeneration_ != generation) co_return;
  setDeleteCandidateFeedback(std::nullopt);
  if (deleteCandidateFeedbackDismissTask_) setDeleteCandidateFeedbackDismissTask({});
}

void ReviewModel::stopDeleteCandidateFeedbackCountdown() {
  creatingThread_.check();
  setDeleteCandidateFeedbackDismissGeneration(deleteCandidateFeedbackDismissGeneration_ + 1);
  if (deleteCandidateFeedbackDismissTask_) {
    deleteCandidateFeedbackDismissTask_.cancel();
    setDeleteCandidateFeedbackDismissTask({});
  }
}

void ReviewModel::dismissDeleteCandidateFeedback() {
  creatingThread_.check();
  stopDeleteCandidateFeedbackCountdown();
  setDeleteCandidateFeedback(std::nullopt);
}

}  // namespace lorvex
