// The delete-candidate undo stack through a scan that relocated records: each action's records and
// selection follow to where the scan found them, no action names one place for two records, and
// the action an undo is restoring is left as the restore read it, so that its end still spends it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "store/review/review_model_test_access.h"
#include "store/review_fixture.h"

namespace lorvex {
namespace {

using testing::imagePath;
using testing::libraryImages;
using testing::pathOf;
using testing::renamedPath;
using testing::ReviewFixture;

RecordRelocation moved(int from, int to) {
  return {imagePath(from), pathOf(to)};
}

// An action that marked `records` (each at its place in the list) with `focus` (0: none) focused,
// `selected` selected and `anchor` (0: none) as the anchor.
DeleteCandidateUndoAction action(const std::vector<int>& records, int focus, const std::vector<int>& selected,
                                 int anchor) {
  DeleteCandidateUndoAction result;
  for (std::size_t i = 0; i < records.size(); ++i)
    result.records.push_back({pathOf(records[i]), false, static_cast<int>(i)});
  if (focus != 0) result.selectedPath = pathOf(focus);
  for (int number : selected) result.selectedPaths.insert(pathOf(number));
  if (anchor != 0) result.selectionAnchorPath = pathOf(anchor);
  return result;
}

TEST(DeleteCandidateUndoFollowsRelocations, EachActionFollowsTheRecordsAScanRelocated) {
  struct Row {
    const char* name;
    std::vector<RecordRelocation> relocations;
    std::vector<DeleteCandidateUndoAction> stack;
    std::vector<DeleteCandidateUndoAction> stackAfter;
  };
  const std::vector<Row> rows = {
      {"records, focus, selection and anchor follow in every action",
       {moved(2, -2), moved(5, -5)},
       {action({2, 3}, 2, {2, 3}, 3), action({5}, 5, {5}, 5)},
       {action({-2, 3}, -2, {-2, 3}, 3), action({-5}, -5, {-5}, -5)}},
      {"a place another record of the action stands for is not taken twice",
       {moved(2, 3), moved(4, -9), moved(5, -9)},
       {action({2, 3, 4, 5}, 0, {}, 0)},
       {action({2, 3, -9, 5}, 0, {}, 0)}},
      {"records renamed onward or swapped in one scan follow; one kept back keeps back the next",
       {moved(2, 3), moved(3, -3), moved(4, 5), moved(5, 4), moved(1, 6), moved(6, 7)},
       {action({2, 3, 4, 5, 1, 6, 7}, 4, {4, 5}, 5)},
       {action({3, -3, 5, 4, 1, 6, 7}, 5, {4, 5}, 4)}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReviewFixture f(libraryImages(0, 8));
    ReviewModelTestAccess::setDeleteCandidateUndoStack(f.store->review(), row.stack);
    f.store->review().followRelocatedRecords(row.relocations);
    EXPECT_EQ(f.store->review().deleteCandidateUndoStack(), row.stackAfter);
  }
}

TEST(DeleteCandidateUndoFollowsRelocations, TheActionBeingRestoredIsSpentAndTheOlderOnesFollow) {
  ReviewFixture f(libraryImages(0, 6));
  for (int number : {1, 3}) {
    f.select(number, {number});
    f.store->review().markDeleteCandidates(f.loaded({number}));
  }
  ASSERT_EQ(f.store->review().deleteCandidateUndoStack().size(), 2u);
  f.harness.service->hold("restoreDeleteCandidateStates");
  f.store->review().undoLastDeleteCandidateAction();
  ASSERT_TRUE(f.harness.service->waitForHeld("restoreDeleteCandidateStates"));

  f.store->review().followRelocatedRecords({moved(1, -1), moved(3, -3)});
  f.harness.service->releaseAll();
  ASSERT_TRUE(f.harness.drainEvents());
  ASSERT_EQ(f.store->review().deleteCandidateUndoStack().size(), 1u);
  const DeleteCandidateUndoAction& older = f.store->review().deleteCandidateUndoStack().front();
  ASSERT_EQ(older.records.size(), 1u);
  EXPECT_EQ(older.records[0].path, renamedPath(1));
  EXPECT_EQ(older.selectedPath, renamedPath(1));
}

}  // namespace
}  // namespace lorvex
