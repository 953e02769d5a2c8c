#include "services/folders/inotify_folder_change_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>

#include "platform/log.h"
#include "platform/temporary_folder.h"

namespace lorvex {
namespace {

using lorvex::testing::TemporaryFolder;
using namespace std::chrono_literals;

// Structural tests use a short latency to keep the suite quick; the first test uses the real one.
InotifyFolderChangeMonitor::Options quickOptions() {
  InotifyFolderChangeMonitor::Options options;
  options.latency = 200ms;
  options.rootRecheckInterval = 100ms;
  return options;
}

class BatchCollector {
 public:
  FolderChangeHandler handler() {
    return [this](const RegisteredFolderChangeBatch& batch) {
      std::lock_guard lock(mutex_);
      batches_.push_back(batch);
      changed_.notify_all();
    };
  }
  // Waits until `count` batches arrived; returns them.
  std::vector<RegisteredFolderChangeBatch> waitFor(std::size_t count,
                                                   std::chrono::milliseconds timeout = 5s) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return batches_.size() >= count; });
    return batches_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<RegisteredFolderChangeBatch> batches_;
};

bool contains(const RegisteredFolderChangeBatch& batch, const std::string& path) {
  return std::find(batch.changedURLs.begin(), batch.changedURLs.end(), path) != batch.changedURLs.end();
}

TEST(InotifyFolderChangeMonitorTest, QuickChangesArriveAsOneBatch) {
  TemporaryFolder root;
  root.writeFile("old.png");
  root.writeFile("doomed.png");
  BatchCollector collector;
  InotifyFolderChangeMonitor monitor;
  const auto before = monitor.currentEventID();
  monitor.start({root.path().string()}, std::nullopt, collector.handler());
  ASSERT_TRUE(monitor.waitUntilWatching(5s));

  root.writeFile("new.png", "created");
  root.writeFile("old.png", "rewritten");
  std::filesystem::rename(root / "new.png", root / "renamed.png");
  std::filesystem::remove(root / "doomed.png");

  auto batches = collector.waitFor(1);
  ASSERT_EQ(batches.size(), 1u);
  std::this_thread::sleep_for(300ms);  // nothing else follows: the changes were coalesced
  batches = collector.waitFor(2, 0ms);
  ASSERT_EQ(batches.size(), 1u);
  const auto& batch = batches[0];
  EXPECT_FALSE(batch.requiresFullRescan);
  for (const char* name : {"new.png", "old.png", "renamed.png", "doomed.png"}) {
    EXPECT_TRUE(contains(batch, root / name)) << name;
  }
  EXPECT_EQ(std::count(batch.changedURLs.begin(), batch.changedURLs.end(), root / "old.png"), 1);
  ASSERT_TRUE(batch.lastEventID.has_value());
  EXPECT_GT(*batch.lastEventID, before);
  EXPECT_LT(*batch.lastEventID, std::uint64_t{1} << 63);
  EXPECT_GT(monitor.currentEventID(), *batch.lastEventID);
}

TEST(InotifyFolderChangeMonitorTest, FolderMovedWithinARootStaysWatchedAtItsNewPath) {
  TemporaryFolder root;
  root.makeFolder("album/sub");
  root.makeFolder("album-sibling");
  BatchCollector collector;
  InotifyFolderChangeMonitor monitor(quickOptions());
  monitor.start({root.path().string()}, std::nullopt, collector.handler());
  ASSERT_TRUE(monitor.waitUntilWatching(5s));

  std::filesystem::rename(root / "album", root / "moved");
  auto batches = collector.waitFor(1);
  ASSERT_GE(batches.size(), 1u);
  EXPECT_TRUE(contains(batches[0], root / "album"));
  EXPECT_TRUE(contains(batches[0], root / "moved"));

  root.writeFile("moved/sub/late.png");
  root.writeFile("album-sibling/other.png");  // a sibling sharing the prefix keeps its own path
  batches = collector.waitFor(2);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_TRUE(contains(batches[1], root / "moved/sub/late.png"));
  EXPECT_TRUE(contains(batches[1], root / "album-sibling/other.png"));
  EXPECT_EQ(monitor.watchedFolderCount(), 4u);  // root, moved, moved/sub, album-sibling
}

TEST(InotifyFolderChangeMonitorTest, FolderMovedOutIsNoLongerWatched) {
  TemporaryFolder root;
  TemporaryFolder outside;
  root.makeFolder("album/sub");
  BatchCollector collector;
  InotifyFolderChangeMonitor monitor(quickOptions());
  monitor.start({root.path().string()}, std::nullopt, collector.handler());
  ASSERT_TRUE(monitor.waitUntilWatching(5s));

  std::filesystem::rename(root / "album", outside / "album");
  auto batches = collector.waitFor(1);
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_TRUE(contains(batches[0], root / "album"));
  outside.writeFile("album/sub/elsewhere.png");
  root.writeFile("inside.png");
  batches = collector.waitFor(2);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[1].changedURLs, std::vector<std::string>{root / "inside.png"});
  EXPECT_EQ(monitor.watchedFolderCount(), 1u);
}

TEST(InotifyFolderChangeMonitorTest, NewFolderIsReportedAndWatched) {
  TemporaryFolder root;
  BatchCollector collector;
  InotifyFolderChangeMonitor monitor(quickOptions());
  monitor.start({root.path().string()}, std::nullopt, collector.handler());
  ASSERT_TRUE(monitor.waitUntilWatching(5s));

  root.writeFile("new/deeper/first.png");  // files made before the new folder could be watched
  auto batches = collector.waitFor(1);
  ASSERT_GE(batches.size(), 1u);
  EXPECT_TRUE(contains(batches[0], root / "new"));

  std::this_thread::sleep_for(50ms);
  const auto seen = collector.waitFor(1, 0ms).size();
  root.writeFile("new/deeper/later.png");
  batches = collector.waitFor(seen + 1);
  ASSERT_EQ(batches.size(), seen + 1);
  EXPECT_TRUE(contains(batches.back(), root / "new/deeper/later.png"));
}

TEST(InotifyFolderChangeMonitorTest, OverflowAndAStoredPositionRequireAFullRescan) {
  TemporaryFolder root;
  {
    BatchCollector collector;
    InotifyFolderChangeMonitor monitor(quickOptions());
    monitor.start({root.path().string()}, std::nullopt, collector.handler());
    ASSERT_TRUE(monitor.waitUntilWatching(5s));
    root.writeFile("a.png");
    monitor.simulateQueueOverflow();
    const auto batches = collector.waitFor(1);
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_TRUE(batches[0].requiresFullRescan);
    EXPECT_TRUE(batches[0].changedURLs.empty());
    EXPECT_TRUE(batches[0].lastEventID.has_value());
  }
  {
    // A position from an earlier run: what changed since then cannot be replayed.
    BatchCollector collector;
    InotifyFolderChangeMonitor monitor(quickOptions());
    const auto stored = monitor.currentEventID();
    monitor.start({root.path().string()}, stored, collector.handler());
    const auto batches = collector.waitFor(1);
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_TRUE(batches[0].requiresFullRescan);
    EXPECT_GT(*batches[0].lastEventID, stored);
  }
}

TEST(InotifyFolderChangeMonitorTest, LostAndRecreatedRootRequireAFullRescan) {
  TemporaryFolder parent;
  const std::string root = parent.makeFolder("root");
  parent.makeFolder("root/sub");
  BatchCollector collector;
  InotifyFolderChangeMonitor monitor(quickOptions());
  monitor.start({root}, std::nullopt, collector.handler());
  ASSERT_TRUE(monitor.waitUntilWatching(5s));

  std::filesystem::remove_all(root);
  auto batches = collector.waitFor(1);
  ASSERT_GE(batches.size(), 1u);
  EXPECT_TRUE(batches.back().requiresFullRescan);

  std::this_thread::sleep_for(300ms);
  const auto seen = collector.waitFor(1, 0ms).size();
  parent.makeFolder("root");
  batches = collector.waitFor(seen + 1);
  ASSERT_EQ(batches.size(), seen + 1);
  EXPECT_TRUE(batches.back().requiresFullRescan);

  parent.writeFile("root/back.png");  // re-armed
  batches = collector.waitFor(seen + 2);
  ASSERT_EQ(batches.size(), seen + 2);
  EXPECT_EQ(batches.back().changedURLs, std::vector<std::string>{root + "/back.png"});
}

TEST(InotifyFolderChangeMonitorTest, MissingRootAtStartIsArmedWhenItAppears) {
  TemporaryFolder parent;
  const std::string root = parent / "later";
  BatchCollector collector;
  InotifyFolderChangeMonitor monitor(quickOptions());
  monitor.start({root}, std::nullopt, collector.handler());
  ASSERT_TRUE(monitor.waitUntilWatching(5s));
  EXPECT_EQ(monitor.watchedFolderCount(), 0u);
  parent.makeFolder("later");
  const auto batches = collector.waitFor(1);
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_TRUE(batches[0].requiresFullRescan);
  EXPECT_EQ(monitor.watchedFolderCount(), 1u);
}

TEST(InotifyFolderChangeMonitorTest, StopFromTheHandlerDoesNotDeadlock) {
  TemporaryFolder root;
  InotifyFolderChangeMonitor monitor(quickOptions());
  std::promise<void> handled;
  std::atomic<int> calls{0};
  monitor.start({root.path().string()}, std::nullopt, [&](const RegisteredFolderChangeBatch&) {
    ++calls;
    monitor.stop();
    if (calls == 1) handled.set_value();
  });
  ASSERT_TRUE(monitor.waitUntilWatching(5s));
  root.writeFile("a.png");
  ASSERT_EQ(handled.get_future().wait_for(5s), std::future_status::ready);
  auto stopped = std::async(std::launch::async, [&] { monitor.stop(); });
  ASSERT_EQ(stopped.wait_for(5s), std::future_status::ready);
  root.writeFile("b.png");
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(monitor.watchedFolderCount(), 0u);
}

TEST(InotifyFolderChangeMonitorTest, RestartReplacesTheRootsAndEmptyRootsStop) {
  TemporaryFolder first;
  TemporaryFolder second;
  BatchCollector collector;
  InotifyFolderChangeMonitor monitor(quickOptions());
  monitor.start({first.path().string()}, std::nullopt, collector.handler());
  monitor.start({second.path().string()}, std::nullopt, collector.handler());
  ASSERT_TRUE(monitor.waitUntilWatching(5s));
  first.writeFile("ignored.png");
  second.writeFile("seen.png");
  const auto batches = collector.waitFor(1);
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].changedURLs, std::vector<std::string>{second / "seen.png"});

  monitor.start({}, std::nullopt, collector.handler());
  EXPECT_FALSE(monitor.waitUntilWatching(0ms));
  monitor.stop();  // stopping a stopped monitor does nothing
}

TEST(FolderEventIDTest, IdsGrowAndFollowTheRealtimeClock) {
  const auto first = nextFolderEventID();
  const auto nowNs = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                    std::chrono::system_clock::now().time_since_epoch())
                                                    .count());
  std::uint64_t previous = first;
  for (int i = 0; i < 1000; ++i) {
    const auto next = nextFolderEventID();
    ASSERT_GT(next, previous);
    previous = next;
  }
  // Seeded from the clock: an id from a later launch is larger than every id of this one.
  EXPECT_LE(first, nowNs);
  EXPECT_GT(first, nowNs - 60'000'000'000u);
  EXPECT_LT(previous, std::uint64_t{1} << 63);
}

TEST(FolderChangeMonitorErrorTest, DescriptionsNameTheCause) {
  EXPECT_EQ(
      FolderChangeMonitorError(FolderChangeMonitorError::Code::streamCreationFailed).localizedDescription(),
      "フォルダ監視を開始できませんでした。");
  EXPECT_EQ(
      FolderChangeMonitorError(FolderChangeMonitorError::Code::streamStartFailed).localizedDescription(),
      "フォルダ監視ストリームを開始できませんでした。");
  EXPECT_NE(FolderChangeMonitorError(FolderChangeMonitorError::Code::watchLimitReached)
                .localizedDescription()
                .find("fs.inotify.max_user_watches"),
            std::string::npos);
}

}  // namespace
}  // namespace lorvex
