#include "services/folders/inotify_folder_change_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>

#include "platform/clock.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using lorvex::testing::TemporaryFolder;
using namespace std::chrono_literals;

// The monitor runs on a manual clock: a test makes its changes, moves the clock and calls
// catchUp, after which every batch that was due has been handed to the collector. Nothing here
// waits for time to pass.
class BatchCollector {
 public:
  FolderChangeHandler handler() {
    return [this](const RegisteredFolderChangeBatch& batch) {
      std::lock_guard lock(mutex_);
      batches_.push_back(batch);
      changed_.notify_all();
    };
  }
  std::vector<RegisteredFolderChangeBatch> batches() {
    std::lock_guard lock(mutex_);
    return batches_;
  }
  // Waits until `count` batches arrived; returns them. Only for monitors on the system clock.
  std::vector<RegisteredFolderChangeBatch> waitFor(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return batches_.size() >= count; });
    return batches_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<RegisteredFolderChangeBatch> batches_;
};

constexpr auto kLatency = 1000ms;
constexpr auto kRootRecheckInterval = 3000ms;

class InotifyFolderChangeMonitorTest : public ::testing::Test {
 protected:
  InotifyFolderChangeMonitorTest() : monitor_(options()) {}

  InotifyFolderChangeMonitor::Options options() {
    InotifyFolderChangeMonitor::Options options;
    options.clock = &clock_;
    return options;
  }

  void start(const std::vector<std::string>& roots, std::optional<std::uint64_t> since = std::nullopt) {
    monitor_.start(roots, since, collector_.handler(), {});
    ASSERT_TRUE(monitor_.waitUntilWatching(10s));
  }

  // Lets the monitor read the changes made so far (they happened at the clock's present reading),
  // moves the clock and lets the monitor act on the new reading.
  void advance(std::chrono::nanoseconds duration) {
    ASSERT_TRUE(monitor_.catchUp());
    clock_.advanceMonotonic(duration.count());
    ASSERT_TRUE(monitor_.catchUp());
  }

  // The batches after the monitor has read every change made so far.
  std::vector<RegisteredFolderChangeBatch> batches() {
    EXPECT_TRUE(monitor_.catchUp());
    return collector_.batches();
  }

  platform::ManualClock clock_;
  BatchCollector collector_;
  InotifyFolderChangeMonitor monitor_;
};

bool contains(const RegisteredFolderChangeBatch& batch, const std::string& path) {
  return std::find(batch.changedURLs.begin(), batch.changedURLs.end(), path) != batch.changedURLs.end();
}

TEST_F(InotifyFolderChangeMonitorTest, QuickChangesArriveAsOneBatchOneLatencyAfterTheFirst) {
  TemporaryFolder root;
  root.writeFile("old.png");
  root.writeFile("doomed.png");
  const auto before = monitor_.currentEventID();
  start({root.path().string()});

  root.writeFile("new.png", "created");
  advance(kLatency / 2);
  root.writeFile("old.png", "rewritten");
  std::filesystem::rename(root / "new.png", root / "renamed.png");
  std::filesystem::remove(root / "doomed.png");
  advance(kLatency / 2 - 1ns);
  EXPECT_TRUE(collector_.batches().empty());  // the window runs from the first change
  advance(1ns);

  auto delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  advance(10 * kLatency);  // nothing else follows: the changes were coalesced
  delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  const auto& batch = delivered[0];
  EXPECT_FALSE(batch.requiresFullRescan);
  for (const char* name : {"new.png", "old.png", "renamed.png", "doomed.png"}) {
    EXPECT_TRUE(contains(batch, root / name)) << name;
  }
  EXPECT_EQ(std::count(batch.changedURLs.begin(), batch.changedURLs.end(), root / "old.png"), 1);
  ASSERT_TRUE(batch.lastEventID.has_value());
  EXPECT_GT(*batch.lastEventID, before);
  EXPECT_LT(*batch.lastEventID, std::uint64_t{1} << 63);
  EXPECT_GT(monitor_.currentEventID(), *batch.lastEventID);
}

// The same path through the real clock: the monitor's own waits end and deliver the batch.
TEST(InotifyFolderChangeMonitorSystemClockTest, BatchArrivesAfterTheLatency) {
  TemporaryFolder root;
  BatchCollector collector;
  InotifyFolderChangeMonitor::Options options;
  options.latency = 20ms;
  InotifyFolderChangeMonitor monitor(options);
  monitor.start({root.path().string()}, std::nullopt, collector.handler(), {});
  ASSERT_TRUE(monitor.waitUntilWatching(10s));
  root.writeFile("a.png");
  const auto batches = collector.waitFor(1, 30s);
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].changedURLs, std::vector<std::string>{root / "a.png"});
}

TEST_F(InotifyFolderChangeMonitorTest, FolderMovedWithinARootStaysWatchedAtItsNewPath) {
  TemporaryFolder root;
  root.makeFolder("album/sub");
  root.makeFolder("album-sibling");
  start({root.path().string()});

  std::filesystem::rename(root / "album", root / "moved");
  advance(kLatency);
  auto delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_TRUE(contains(delivered[0], root / "album"));
  EXPECT_TRUE(contains(delivered[0], root / "moved"));

  root.writeFile("moved/sub/late.png");
  root.writeFile("album-sibling/other.png");  // a sibling sharing the prefix keeps its own path
  advance(kLatency);
  delivered = batches();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_TRUE(contains(delivered[1], root / "moved/sub/late.png"));
  EXPECT_TRUE(contains(delivered[1], root / "album-sibling/other.png"));
  EXPECT_EQ(monitor_.watchedFolderCount(), 4u);  // root, moved, moved/sub, album-sibling
}

TEST_F(InotifyFolderChangeMonitorTest, FolderMovedOutIsNoLongerWatched) {
  TemporaryFolder root;
  TemporaryFolder outside;
  root.makeFolder("album/sub");
  start({root.path().string()});

  std::filesystem::rename(root / "album", outside / "album");
  advance(kLatency);
  auto delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_TRUE(contains(delivered[0], root / "album"));
  outside.writeFile("album/sub/elsewhere.png");
  root.writeFile("inside.png");
  advance(kLatency);
  delivered = batches();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[1].changedURLs, std::vector<std::string>{root / "inside.png"});
  EXPECT_EQ(monitor_.watchedFolderCount(), 1u);
}

TEST_F(InotifyFolderChangeMonitorTest, NewFolderIsReportedAndWatched) {
  TemporaryFolder root;
  TemporaryFolder outside;
  outside.writeFile("filled/deeper/first.png");
  start({root.path().string()});

  // Files made before the new folders could be watched: one created in place, one moved in whole
  // (its files certainly older than its watch). The folders themselves are reported, so scanning
  // them finds those files.
  root.writeFile("new/deeper/first.png");
  std::filesystem::rename(outside / "filled", root / "filled");
  advance(kLatency);
  auto delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_TRUE(contains(delivered[0], root / "new"));
  EXPECT_TRUE(contains(delivered[0], root / "filled"));
  EXPECT_EQ(monitor_.watchedFolderCount(), 5u);  // root, new, new/deeper, filled, filled/deeper

  root.writeFile("new/deeper/later.png");
  root.writeFile("filled/deeper/later.png");
  advance(kLatency);
  delivered = batches();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_TRUE(contains(delivered[1], root / "new/deeper/later.png"));
  EXPECT_TRUE(contains(delivered[1], root / "filled/deeper/later.png"));
}

// Nothing in a folder whose name begins with "." is indexed: such folders take no watch (the
// per-user limit is shared by every program) and their changes start no scan.
TEST_F(InotifyFolderChangeMonitorTest, HiddenFoldersAreNeitherWatchedNorReported) {
  TemporaryFolder root;
  root.makeFolder(".cache/deep");
  root.makeFolder("album/.thumbnails");
  root.makeFolder("leaving");
  start({root.path().string()});
  EXPECT_EQ(monitor_.watchedFolderCount(), 3u);  // root, album, leaving

  root.writeFile(".cache/deep/a.png");
  root.writeFile("album/.thumbnails/b.png");
  root.writeFile(".partial/c.png");  // a new hidden folder
  root.writeFile("album/.d.png");
  advance(kLatency);
  EXPECT_TRUE(batches().empty());
  EXPECT_EQ(monitor_.watchedFolderCount(), 3u);

  // Renamed to a visible name: watched and reported like a new folder. Renamed to a hidden one:
  // reported as gone and no longer watched.
  std::filesystem::rename(root / ".partial", root / "arrived");
  std::filesystem::rename(root / "leaving", root / ".left");
  advance(kLatency);
  auto delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  std::vector<std::string> changed = delivered[0].changedURLs;
  std::sort(changed.begin(), changed.end());
  EXPECT_EQ(changed, (std::vector<std::string>{root / "arrived", root / "leaving"}));
  EXPECT_EQ(monitor_.watchedFolderCount(), 3u);  // root, album, arrived

  root.writeFile("arrived/e.png");
  root.writeFile(".left/f.png");
  advance(kLatency);
  delivered = batches();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[1].changedURLs, std::vector<std::string>{root / "arrived/e.png"});
}

TEST_F(InotifyFolderChangeMonitorTest, OverflowRequiresAFullRescan) {
  TemporaryFolder root;
  start({root.path().string()});
  root.writeFile("a.png");
  monitor_.simulateQueueOverflow();
  advance(kLatency);
  const auto delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_TRUE(delivered[0].requiresFullRescan);
  EXPECT_TRUE(delivered[0].changedURLs.empty());
  EXPECT_TRUE(delivered[0].lastEventID.has_value());
}

TEST_F(InotifyFolderChangeMonitorTest, AStoredPositionRequiresAFullRescan) {
  // A position from an earlier run: what changed since then cannot be replayed.
  TemporaryFolder root;
  const auto stored = monitor_.currentEventID();
  start({root.path().string()}, stored);
  advance(kLatency);
  const auto delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_TRUE(delivered[0].requiresFullRescan);
  EXPECT_GT(*delivered[0].lastEventID, stored);
}

TEST_F(InotifyFolderChangeMonitorTest, LostAndRecreatedRootRequireAFullRescan) {
  TemporaryFolder parent;
  const std::string root = parent.makeFolder("root");
  parent.makeFolder("root/sub");
  start({root});

  std::filesystem::remove_all(root);
  advance(kLatency);
  auto delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_TRUE(delivered[0].requiresFullRescan);
  EXPECT_EQ(monitor_.watchedFolderCount(), 0u);

  parent.makeFolder("root");
  advance(kRootRecheckInterval);  // the root is looked at again and armed
  EXPECT_EQ(monitor_.watchedFolderCount(), 1u);
  EXPECT_EQ(batches().size(), 1u);
  advance(kLatency);
  delivered = batches();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_TRUE(delivered[1].requiresFullRescan);

  parent.writeFile("root/back.png");  // re-armed
  advance(kLatency);
  delivered = batches();
  ASSERT_EQ(delivered.size(), 3u);
  EXPECT_EQ(delivered[2].changedURLs, std::vector<std::string>{root + "/back.png"});
}

TEST_F(InotifyFolderChangeMonitorTest, MissingRootAtStartIsArmedWhenItAppears) {
  TemporaryFolder parent;
  const std::string root = parent / "later";
  start({root});
  EXPECT_EQ(monitor_.watchedFolderCount(), 0u);
  parent.makeFolder("later");
  advance(kRootRecheckInterval - 1ns);
  EXPECT_EQ(monitor_.watchedFolderCount(), 0u);
  advance(1ns);
  EXPECT_EQ(monitor_.watchedFolderCount(), 1u);
  advance(kLatency);
  const auto delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_TRUE(delivered[0].requiresFullRescan);
}

// The handler's stop returns at once; the thread it ran on is joined by the next stop from another
// thread, which waits for the handler to return, so no monitor thread outlives the program.
TEST_F(InotifyFolderChangeMonitorTest, StopFromTheHandlerDoesNotDeadlock) {
  TemporaryFolder root;
  std::atomic<int> calls{0};
  std::promise<void> stoppedItself;
  std::promise<void> gate;
  monitor_.start({root.path().string()}, std::nullopt,
                 [&, open = gate.get_future().share()](const RegisteredFolderChangeBatch&) {
                   ++calls;
                   monitor_.stop();
                   stoppedItself.set_value();
                   open.wait();
                 },
                 {});
  ASSERT_TRUE(monitor_.waitUntilWatching(10s));
  root.writeFile("a.png");
  ASSERT_TRUE(monitor_.catchUp());
  clock_.advanceMonotonic(std::chrono::nanoseconds(kLatency).count());
  monitor_.catchUp(0ms);  // wakes the monitor to deliver the batch
  ASSERT_EQ(stoppedItself.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_EQ(calls, 1);
  auto stopped = std::async(std::launch::async, [&] { monitor_.stop(); });
  EXPECT_EQ(stopped.wait_for(100ms), std::future_status::timeout) << "the handler's thread left running";
  gate.set_value();
  ASSERT_EQ(stopped.wait_for(10s), std::future_status::ready);
  root.writeFile("b.png");
  clock_.advanceMonotonic(std::chrono::nanoseconds(kLatency).count());
  EXPECT_FALSE(monitor_.catchUp());  // nothing runs any more
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(monitor_.watchedFolderCount(), 0u);
}

TEST_F(InotifyFolderChangeMonitorTest, RestartReplacesTheRootsAndEmptyRootsStop) {
  TemporaryFolder first;
  TemporaryFolder second;
  monitor_.start({first.path().string()}, std::nullopt, collector_.handler(), {});
  start({second.path().string()});
  first.writeFile("ignored.png");
  second.writeFile("seen.png");
  advance(kLatency);
  const auto delivered = batches();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].changedURLs, std::vector<std::string>{second / "seen.png"});

  monitor_.start({}, std::nullopt, collector_.handler(), {});
  EXPECT_FALSE(monitor_.waitUntilWatching(0ms));
  EXPECT_FALSE(monitor_.catchUp());
  monitor_.stop();  // stopping a stopped monitor does nothing
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
