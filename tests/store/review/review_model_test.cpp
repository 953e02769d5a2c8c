// The review model's own state: the change-only rule of its observed fields, the undo stack that
// signals on every set, and the undo flag that follows the stack and the store's trash state (the
// composition's wiring).
#include <gtest/gtest.h>

#include <QObject>
#include <cstddef>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

#include "store/image_library_store.h"
#include "store/review/review_model_test_access.h"
#include "store/support/change_only.h"
#include "store/support/store_harness.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex {
namespace {

using Access = ReviewModelTestAccess;

TEST(ReviewModel, ObservedFieldsSignalOnlyARealChange) {
  using Feedback = std::optional<DeleteCandidateFeedback>;
  testing::StoreHarness harness;
  auto store = harness.makeStore();
  testing::expectModelChangeOnly<ReviewModel, Feedback>(
      store->review(),
      [](ReviewModel& m, Feedback v) { Access::setDeleteCandidateFeedback(m, std::move(v)); },
      &ReviewModel::deleteCandidateFeedback, &ReviewModel::deleteCandidateFeedbackChanged,
      DeleteCandidateFeedback{.affectedCount = 2},
      DeleteCandidateFeedback{.change = DeleteCandidateFeedback::Change::unmarked, .affectedCount = 2});
}

TEST(ReviewModel, TheUndoFlagFollowsTheStackAndTheTrashing) {
  const DeleteCandidateUndoAction action{.records = {{"/a", false, 0}, {"/b", true, 3}},
                                         .selectedPath = "/a",
                                         .selectedPaths = {"/a", "/b", "/c"},
                                         .selectionAnchorPath = std::nullopt};
  enum class Op { push, clear, startTrashing, stopTrashing };
  struct Step {
    Op op;
    bool canUndo;
    int flips;
  };
  const Step steps[] = {
      {Op::push, true, 1},           {Op::push, true, 1},         {Op::startTrashing, false, 2},
      {Op::startTrashing, false, 2}, {Op::clear, false, 2},       {Op::push, false, 2},
      {Op::stopTrashing, true, 3},   {Op::stopTrashing, true, 3}, {Op::clear, false, 4},
  };
  testing::StoreHarness harness;
  auto store = harness.makeStore();
  ReviewModel& review = store->review();
  int flips = 0;
  QObject::connect(&review, &ReviewModel::canUndoDeleteCandidateActionChanged, [&] { ++flips; });
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    auto stack = review.deleteCandidateUndoStack();
    switch (steps[i].op) {
      case Op::push:
        stack.push_back(action);
        Access::setDeleteCandidateUndoStack(review, stack);
        break;
      case Op::clear:
        Access::setDeleteCandidateUndoStack(review, {});
        break;
      case Op::startTrashing:
        TrashModelTestAccess::setIsTrashingDeleteCandidates(store->trash(), true);
        break;
      case Op::stopTrashing:
        TrashModelTestAccess::setIsTrashingDeleteCandidates(store->trash(), false);
        break;
    }
    EXPECT_EQ(review.canUndoDeleteCandidateAction(), steps[i].canUndo);
    EXPECT_EQ(flips, steps[i].flips);
    // Two records, three selected paths, one focused path, no anchor.
    EXPECT_EQ(review.deleteCandidateUndoStackEntryCount(), review.deleteCandidateUndoStack().size() * 6);
  }
}

}  // namespace
}  // namespace lorvex
