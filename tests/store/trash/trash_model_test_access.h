// How tests reach what TrashModel keeps to itself: the fields only its own flows set and the
// review's load-more task, for arranging a trash state without running a move or a page load.
#pragma once

#include <optional>
#include <utility>

#include "store/trash/trash_model.h"

namespace lorvex {

struct TrashModelTestAccess {
  static void setLastTrashSummary(TrashModel& model, std::optional<ImageTrashSummary> value) {
    model.setLastTrashSummary(std::move(value));
  }
  static void setIsTrashingDeleteCandidates(TrashModel& model, bool value) {
    model.setIsTrashingDeleteCandidates(value);
  }
  static void setIsWaitingForLibrarySync(TrashModel& model, bool value) {
    model.setIsWaitingForLibrarySync(value);
  }
  static const StoreTask<bool>& loadMoreTask(const TrashModel& model) {
    return model.deleteCandidateTrashReviewLoadMoreTask_;
  }
  static void setLoadMoreTask(TrashModel& model, StoreTask<bool> value) {
    model.setDeleteCandidateTrashReviewLoadMoreTask(std::move(value));
  }
};

}  // namespace lorvex
