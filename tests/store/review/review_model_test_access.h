// How tests (and the screen tool's staged scenes) reach what ReviewModel keeps to itself: the
// fields only its own operations set, for arranging a review state without marking anything.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "store/review/review_model.h"

namespace lorvex {

struct ReviewModelTestAccess {
  static void setDeleteCandidateFeedback(ReviewModel& model, std::optional<DeleteCandidateFeedback> value) {
    model.setDeleteCandidateFeedback(std::move(value));
  }
  static void setDeleteCandidateUndoStack(ReviewModel& model, std::vector<DeleteCandidateUndoAction> value) {
    model.setDeleteCandidateUndoStack(std::move(value));
  }
  static void setDeleteCandidateFeedbackDismissTask(ReviewModel& model, StoreTask<void> value) {
    model.setDeleteCandidateFeedbackDismissTask(std::move(value));
  }
  static void setDeleteCandidateRestoreTask(ReviewModel& model, StoreTask<void> value) {
    model.setDeleteCandidateRestoreTask(std::move(value));
  }
};

}  // namespace lorvex
