#include "services/folders/registered_folder_sync_planner.h"

#include <gtest/gtest.h>

namespace lorvex {
namespace {

// Paths that do not exist, so canonical forms are their standardised forms.
const std::string kA = "/nonexistent-lorvex-test/a";
const std::string kB = "/nonexistent-lorvex-test/b";

using Kind = RegisteredFolderMonitoringDecision::Kind;
using Paths = std::vector<std::string>;

RegisteredFolderChangeBatch batch(Paths urls, std::optional<std::uint64_t> id, bool rescan = false) {
  return RegisteredFolderChangeBatch{std::move(urls), id, rescan};
}

TEST(RegisteredFolderSyncPlannerTest, MonitoringDecisions) {
  struct Case {
    const char* name;
    Paths monitored;
    Paths registered;
    Paths available;
    RegisteredFolderMonitoringDecision expected;
  };
  const std::vector<Case> cases = {
      {"nothing registered or available", {}, {}, {}, {Kind::stop, {}, true}},
      {"start the one available folder", {}, {kA}, {kA}, {Kind::start, {kA}, true}},
      {"keep the same root", {kA}, {kA}, {kA}, {Kind::keep, {}, true}},
      {"a monitored folder that became unavailable stays", {kA}, {kA}, {}, {Kind::keep, {}, true}},
      {"registered but unavailable is not covered", {}, {kA, kB}, {kB}, {Kind::start, {kB}, false}},
      {"roots come sorted by path", {}, {kB, kA}, {kB, kA}, {Kind::start, {kA, kB}, true}},
      {"unregistered monitored root is dropped", {kA, kB}, {kA}, {kA}, {Kind::start, {kA}, true}},
      {"last registered folder gone", {kA}, {}, {}, {Kind::stop, {}, true}},
      {"registered but never available", {}, {kA}, {}, {Kind::stop, {}, false}},
      {"paths compare in canonical form", {kA + "/"}, {kA + "/./"}, {kA + "/x/.."}, {Kind::keep, {}, true}},
  };
  for (const auto& c : cases) {
    RegisteredFolderSyncPlanner planner;
    planner.monitoredRootURLs = c.monitored;
    EXPECT_EQ(planner.monitoringDecision(c.registered, c.available), c.expected) << c.name;
  }
}

TEST(RegisteredFolderSyncPlannerTest, EnqueueMergesPathsAndKeepsTheHighestEventID) {
  RegisteredFolderSyncPlanner planner;
  EXPECT_FALSE(planner.takePendingBatch());

  planner.enqueue(batch({kB + "/2.png", kA + "/1.png"}, 7));
  planner.enqueue(batch({kA + "/./1.png", kA + "/x/../1.png"}, std::nullopt));
  planner.enqueue(batch({kA + "/0.png"}, 5));
  auto taken = planner.takePendingBatch();
  ASSERT_TRUE(taken);
  EXPECT_EQ(*taken, batch({kA + "/0.png", kA + "/1.png", kB + "/2.png"}, 7));
  EXPECT_FALSE(planner.takePendingBatch());  // taking empties the pending state

  planner.enqueue(batch({}, std::nullopt));
  planner.enqueue(batch({}, 3));
  EXPECT_EQ(planner.takePendingBatch(), batch({}, 3));

  planner.enqueue(batch({}, 9));  // an empty batch still carries its position
  EXPECT_EQ(planner.takePendingBatch(), batch({}, 9));

  planner.enqueue(batch({kA}, 1));
  planner.enqueue(batch({}, 2, true));
  planner.enqueue(batch({kB}, std::nullopt));
  EXPECT_EQ(planner.takePendingBatch(), batch({kA, kB}, 2, true));
}

TEST(RegisteredFolderSyncPlannerTest, TooManyPendingPathsBecomeAFullRescan) {
  RegisteredFolderSyncPlanner planner;
  Paths paths;
  for (std::size_t i = 0; i < RegisteredFolderSyncPlanner::kMaxPendingPaths; ++i) {
    paths.push_back(kA + "/" + std::to_string(i) + ".png");
  }
  planner.enqueue(batch(paths, 1));
  EXPECT_EQ(planner.pendingChangedURLs.size(), RegisteredFolderSyncPlanner::kMaxPendingPaths);
  EXPECT_FALSE(planner.pendingRequiresFullRescan);

  planner.enqueue(batch({kA + "/one-more.png"}, 2));
  EXPECT_TRUE(planner.pendingRequiresFullRescan);
  EXPECT_TRUE(planner.pendingChangedPaths.empty());
  planner.enqueue(batch({kB + "/after.png"}, 3));  // later paths gather again
  EXPECT_EQ(planner.takePendingBatch(), batch({kB + "/after.png"}, 3, true));
}

TEST(RegisteredFolderSyncPlannerTest, LocallyTrashedFilesAreIgnoredOnce) {
  const std::string trashed = kA + "/trashed.png";
  const std::string other = kA + "/other.png";
  struct Case {
    const char* name;
    RegisteredFolderChangeBatch input;
    std::optional<RegisteredFolderChangeBatch> expected;
    std::unordered_set<std::string> remainingTrashPaths;
  };
  const std::vector<Case> cases = {
      {"a trashed file's change is dropped", batch({trashed, other}, 4), batch({other}, 4), {}},
      {"all dropped, with a position", batch({trashed}, 4), batch({}, 4), {}},
      {"all dropped, without a position", batch({trashed}, std::nullopt), std::nullopt, {}},
      {"unrelated change passes unchanged", batch({other}, 4), batch({other}, 4), {trashed}},
      {"the containing folder passes and clears the entry", batch({kA}, 4), batch({kA}, 4), {}},
      {"a sibling with a shared prefix does not clear",
       batch({kA + "/trash"}, 4),
       batch({kA + "/trash"}, 4),
       {trashed}},
      {"a full rescan clears everything", batch({}, 4, true), batch({}, 4, true), {}},
  };
  for (const auto& c : cases) {
    RegisteredFolderSyncPlanner planner;
    planner.locallyHandledTrashPaths = {trashed};
    EXPECT_EQ(planner.removingLocallyHandledChanges(c.input), c.expected) << c.name;
    EXPECT_EQ(planner.locallyHandledTrashPaths, c.remainingTrashPaths) << c.name;
  }

  RegisteredFolderSyncPlanner planner;
  planner.locallyHandledTrashPaths = {trashed};
  EXPECT_EQ(planner.removingLocallyHandledChanges(batch({trashed}, 1)), batch({}, 1));
  EXPECT_EQ(planner.removingLocallyHandledChanges(batch({trashed}, 2)),
            batch({trashed}, 2));  // second passes
}

TEST(RegisteredFolderSyncPlannerTest, ClearingTrashPathsUnderRoots) {
  RegisteredFolderSyncPlanner planner;
  planner.locallyHandledTrashPaths = {kA + "/x.png", kA + "/deep/y.png", kA + "2/z.png", kB + "/w.png"};
  planner.clearLocallyHandledTrashPaths({kA});
  EXPECT_EQ(planner.locallyHandledTrashPaths,
            (std::unordered_set<std::string>{kA + "2/z.png", kB + "/w.png"}));
  planner.clearLocallyHandledTrashPaths({"/nonexistent-lorvex-test/"});
  EXPECT_TRUE(planner.locallyHandledTrashPaths.empty());
}

}  // namespace
}  // namespace lorvex
