// Background library sync on the fake clock and the scripted service: what a new sync holds, change
// batches debounced into one pass, batches held back while other library work runs, the program's
// own trash moves, the event position stored only after a clean pass, the recovery loop for missing
// folders, missing positions and a monitor that ended on its own, and the interval floors.
#include <gtest/gtest.h>

#include <QThread>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/library_error.h"
#include "services/folders/folder_change_monitoring.h"
#include "store/library/background_library_sync_test_access.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex::testing {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::uint64_t kRecoveryInterval = 30 * kSecond;
const std::string kA = "/lorvex-background-sync/a";
const std::string kB = "/lorvex-background-sync/b";

// The library as the scripted service reports it; the test changes it while the store runs.
struct Folders {
  std::mutex mutex;
  std::vector<std::string> registered{kA};
  std::vector<std::string> available{kA};
  std::optional<std::uint64_t> checkpoint = 100;
  bool storingMakesACheckpoint = true;
  std::int64_t failedFileCount = 0;
};

struct Fixture {
  explicit Fixture(double debounceSeconds = 2.0, std::uint64_t recoveryInterval = kRecoveryInterval)
      : debounceSeconds(debounceSeconds), recoveryInterval(recoveryInterval) {
    auto& service = *harness.service;
    service.setAnswer("registeredFolderRoots", [this](const ServiceCall&) {
      std::lock_guard lock(folders.mutex);
      return std::any(RegisteredFolderRoots{folders.registered, folders.available});
    });
    service.setAnswer("restoreFolderAccess", [this](const ServiceCall&) {
      std::lock_guard lock(folders.mutex);
      return std::any(folders.available);
    });
    service.setAnswer("folderEventCheckpoint", [this](const ServiceCall& call) {
      std::lock_guard lock(folders.mutex);
      if (!folders.checkpoint) return std::any(std::optional<RegisteredFolderEventCheckpoint>());
      return std::any(std::optional(RegisteredFolderEventCheckpoint{call.paths, *folders.checkpoint}));
    });
    service.setAnswer("currentFolderEventID",
                      [](const ServiceCall&) { return std::any(std::uint64_t{500}); });
    service.setAnswer("storeFolderEventID", [this](const ServiceCall& call) {
      std::lock_guard lock(folders.mutex);
      if (folders.storingMakesACheckpoint) folders.checkpoint = static_cast<std::uint64_t>(call.number);
      return std::any();
    });
    const auto scan = [this](const ServiceCall&) {
      std::lock_guard lock(folders.mutex);
      return std::any(ImageLibraryScanSummary{.scannedFileCount = 4,
                                              .indexedImageCount = 4,
                                              .failedFileCount = folders.failedFileCount,
                                              .failures = {}});
    };
    service.setAnswer("scanLibrary", scan);
    service.setAnswer("scanChangedPaths", scan);
  }

  void start() {
    store->library().backgroundSync().startBackgroundLibrarySync(debounceSeconds, recoveryInterval);
    harness.drainEvents();
  }
  void deliver(std::vector<std::string> paths, std::optional<std::uint64_t> eventID,
               bool fullRescan = false) {
    ASSERT_TRUE(harness.service->deliverFolderChanges({std::move(paths), eventID, fullRescan}));
    harness.drainEvents();
  }
  void advance(double seconds) {
    harness.clock.advance(static_cast<std::int64_t>(std::llround(seconds * kSecond)));
    harness.drainEvents();
  }
  std::size_t count(const std::string& name) const { return harness.service->calls(name).size(); }
  std::vector<std::string> pathsOf(const std::string& name) const {
    const auto calls = harness.service->calls(name);
    return calls.empty() ? std::vector<std::string>{} : calls.back().paths;
  }
  // The monitoring and scanning calls, in order, without the reloads a pass ends with.
  std::vector<std::string> syncCalls() const {
    const std::set<std::string> sync = {
        "registeredFolderRoots", "folderEventCheckpoint", "restoreFolderAccess",
        "currentFolderEventID",  "scanLibrary",           "scanChangedPaths",
        "storeFolderEventID",    "startMonitoring",       "stopMonitoring"};
    std::vector<std::string> names;
    for (const auto& call : harness.service->calls()) {
      if (sync.contains(call.name)) names.push_back(call.name);
    }
    return names;
  }

  double debounceSeconds;
  std::uint64_t recoveryInterval;
  Folders folders;
  StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store = harness.makeStore();
};

TEST(BackgroundLibrarySync, ANewSyncHoldsTheInitialValues) {
  StoreHarness h;
  auto store = h.makeStore();
  const BackgroundLibrarySync& sync = store->library().backgroundSync();
  EXPECT_EQ(sync.backgroundLibrarySyncDebounceSeconds(), 2.0);
  EXPECT_EQ(sync.monitorRecoveryIntervalNanos(), 30'000'000'000u);
  EXPECT_FALSE(sync.backgroundSyncPlanner().isMonitoring);
  EXPECT_FALSE(sync.backgroundSyncPlanner().hasPendingBatch);
  EXPECT_TRUE(sync.backgroundSyncPlanner().pendingChangedPaths.empty());
  EXPECT_TRUE(sync.backgroundSyncPlanner().locallyHandledTrashPaths.empty());
}

TEST(ImageLibraryStoreBackgroundSync, BatchesCloserThanTheDebounceMakeOnePassWithTheirMergedChanges) {
  Fixture f;
  f.start();
  ASSERT_EQ(f.pathsOf("startMonitoring"), std::vector<std::string>{kA});
  EXPECT_EQ(f.harness.service->calls("startMonitoring")[0].number, 100);
  ASSERT_TRUE(f.harness.service->deliverFolderChanges({{kA + "/2.png", kA + "/1.png"}, 11, false}));
  // The monitor's thread only posts: the planner changes on the main thread's next turn.
  EXPECT_FALSE(f.store->library().backgroundSync().backgroundSyncPlanner().hasPendingBatch);
  f.harness.drainEvents();
  EXPECT_TRUE(f.store->library().backgroundSync().backgroundSyncPlanner().hasPendingBatch);
  f.advance(1.5);
  f.deliver({kA + "/3.png", kA + "/1.png"}, 12);
  f.advance(1.5);
  f.deliver({kA + "/4.png"}, 10);
  f.advance(1.999);
  EXPECT_EQ(f.count("scanChangedPaths"), 0u);
  f.advance(0.001);
  ASSERT_EQ(f.count("scanChangedPaths"), 1u);
  EXPECT_EQ(f.pathsOf("scanChangedPaths"),
            (std::vector<std::string>{kA + "/1.png", kA + "/2.png", kA + "/3.png", kA + "/4.png", kA}));
  EXPECT_EQ(f.harness.service->calls("storeFolderEventID").back().number, 12);
  EXPECT_EQ(f.store->library().lastScanDiagnosticContext(),
            (ImageLibraryScanDiagnosticContext{
                ImageLibraryScanDiagnosticSource::backgroundChangedPaths, {kA}, 4, f.harness.clock.now()}));
  EXPECT_EQ(f.store->library().lastScanSummary()->indexedImageCount, 4);
  EXPECT_FALSE(f.store->library().backgroundSync().isBackgroundSyncing() ||
               f.store->library().isLibrarySyncInProgress());
  EXPECT_FALSE(
      BackgroundLibrarySyncTestAccess::backgroundLibrarySyncTask(f.store->library().backgroundSync()));
}

TEST(ImageLibraryStoreBackgroundSync, ABatchArrivingDuringOtherLibraryWorkIsPassedAfterIt) {
  // Registration restarts background sync as it ends: the restart keeps the pending batch and
  // schedules it.
  const struct {
    const char* work;
    std::function<void(ImageLibraryStore&, bool)> setBusy;
    bool restartsAfter;
  } cases[] = {{"registration",
                [](ImageLibraryStore& s, bool busy) {
                  LibraryModelTestAccess::setIsLibrarySyncInProgress(s.library(), busy);
                },
                true},
               {"trash",
                [](ImageLibraryStore& s, bool busy) {
                  TrashModelTestAccess::setIsTrashingDeleteCandidates(s.trash(), busy);
                },
                false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.work);
    Fixture f;
    f.start();
    c.setBusy(*f.store, true);
    f.deliver({kA + "/new.png"}, 7);
    f.advance(4.0);
    EXPECT_EQ(f.count("restoreFolderAccess"), 0u);
    EXPECT_TRUE(f.store->library().backgroundSync().backgroundSyncPlanner().hasPendingBatch);
    c.setBusy(*f.store, false);
    if (c.restartsAfter) {
      f.advance(1.0);
      auto restart = f.store->library().backgroundSync().restartBackgroundLibrarySync();
      f.harness.drainEvents();
      ASSERT_TRUE(restart.isReady());
      EXPECT_EQ(f.count("stopMonitoring"), 1u);
      f.advance(1.999);
      EXPECT_EQ(f.count("scanChangedPaths"), 0u);
      f.advance(0.001);
    } else {
      f.advance(2.0);
    }
    EXPECT_EQ(f.pathsOf("scanChangedPaths"), (std::vector<std::string>{kA + "/new.png", kA}));
    EXPECT_EQ(f.harness.service->calls("storeFolderEventID").back().number, 7);
  }
}

TEST(ImageLibraryStoreBackgroundSync, RestartsWorkOnThePoolAndTheNewestOfThemDecides) {
  Fixture f;
  f.start();
  const QThread* mainThread = QThread::currentThread();
  std::mutex mutex;
  std::vector<std::string> onMainThread;
  const auto recordThread = [&](const std::string& name) {
    const std::lock_guard lock(mutex);
    if (QThread::currentThread() == mainThread) onMainThread.push_back(name);
  };
  for (const char* name : {"stopMonitoring", "startMonitoring"}) {
    f.harness.service->setAnswer(name, [&, name](const ServiceCall&) {
      recordThread(name);
      return std::any();
    });
  }
  f.harness.service->setAnswer("registeredFolderRoots", [&](const ServiceCall&) {
    recordThread("registeredFolderRoots");
    const std::lock_guard lock(f.folders.mutex);
    return std::any(RegisteredFolderRoots{f.folders.registered, f.folders.available});
  });
  f.harness.service->hold("registeredFolderRoots");

  // The first restart's job waits in the service; a second one, for another folder set, comes
  // meanwhile.
  auto first = f.store->library().backgroundSync().restartBackgroundLibrarySync();
  ASSERT_TRUE(f.harness.service->waitForHeld("registeredFolderRoots"));
  EXPECT_FALSE(first.isReady()) << "the main thread does not wait for the job";
  EXPECT_FALSE(f.store->library().backgroundSync().backgroundSyncPlanner().isMonitoring);
  {
    const std::lock_guard lock(f.folders.mutex);
    f.folders.registered = {kA, kB};
    f.folders.available = {kA, kB};
  }
  f.harness.service->answerImmediately("registeredFolderRoots");
  auto second = f.store->library().backgroundSync().restartBackgroundLibrarySync();
  f.store->library().backgroundSync().startBackgroundLibrarySync(
      f.debounceSeconds,
      f.recoveryInterval);  // nothing while restarting
  f.harness.service->releaseAll();
  f.harness.drainEvents();

  ASSERT_TRUE(first.isReady() && second.isReady());
  EXPECT_EQ(onMainThread, std::vector<std::string>{});
  EXPECT_EQ(f.pathsOf("startMonitoring"), (std::vector<std::string>{kA, kB}));
  EXPECT_EQ(f.store->library().backgroundSync().backgroundSyncPlanner().monitoredRootURLs,
            (std::vector<std::string>{kA, kB}));
  EXPECT_TRUE(f.store->library().backgroundSync().backgroundSyncPlanner().isMonitoring);
  const auto calls = f.syncCalls();
  EXPECT_EQ(calls.back(), "startMonitoring") << "no monitor is stopped or started after the newest restart's";
  EXPECT_FALSE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
      f.store->library().backgroundSync()));

  // A store destroyed while its restart's job runs applies nothing and leaves nothing running.
  f.harness.service->hold("registeredFolderRoots");
  auto last = f.store->library().backgroundSync().restartBackgroundLibrarySync();
  ASSERT_TRUE(f.harness.service->waitForHeld("registeredFolderRoots"));
  const std::size_t startsBefore = f.count("startMonitoring");
  f.store.reset();
  f.harness.service->releaseAll();
  f.harness.drainEvents();
  last = QCoro::Task<void>();
  f.harness.drainEvents();
  EXPECT_EQ(f.count("startMonitoring"), startsBefore);
}

TEST(ImageLibraryStoreBackgroundSync, ChangesOnlyToFilesTheProgramTrashedScanNothing) {
  for (const std::optional<std::uint64_t> eventID :
       {std::optional<std::uint64_t>(9), std::optional<std::uint64_t>()}) {
    SCOPED_TRACE(eventID ? "with an event id: the position is stored" : "without one: nothing at all");
    Fixture f;
    f.start();
    auto planner = f.store->library().backgroundSync().backgroundSyncPlanner();
    planner.locallyHandledTrashPaths.insert(kA + "/trashed.png");
    BackgroundLibrarySyncTestAccess::setBackgroundSyncPlanner(f.store->library().backgroundSync(), planner);
    f.deliver({kA + "/trashed.png"}, eventID);
    f.advance(2.0);
    EXPECT_EQ(f.count("scanChangedPaths") + f.count("scanLibrary"), 0u);
    EXPECT_EQ(f.count("storeFolderEventID"), eventID ? 1u : 0u);
    EXPECT_EQ(f.count("restoreFolderAccess"), eventID ? 1u : 0u);
    EXPECT_TRUE(f.store->library().backgroundSync().backgroundSyncPlanner().locallyHandledTrashPaths.empty());
    EXPECT_FALSE(f.store->library().lastScanSummary());
  }
}

TEST(ImageLibraryStoreBackgroundSync, WithOneOfTwoFoldersMissingRecoveryLooksEveryIntervalUntilItIsBack) {
  Fixture f;
  f.folders.registered = {kA, kB};
  f.start();
  EXPECT_EQ(f.pathsOf("startMonitoring"), std::vector<std::string>{kA});
  ASSERT_TRUE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
      f.store->library().backgroundSync()));
  for (std::size_t tick = 2; tick <= 4; ++tick) {
    f.advance(29.999);
    EXPECT_EQ(f.count("registeredFolderRoots"), tick - 1);
    f.advance(0.001);
    EXPECT_EQ(f.count("registeredFolderRoots"), tick);
    EXPECT_EQ(f.count("startMonitoring"), 1u) << "the available folder stays monitored as it was";
  }
  {
    std::lock_guard lock(f.folders.mutex);
    f.folders.available = {kA, kB};
  }
  f.advance(30.0);
  EXPECT_EQ(f.pathsOf("startMonitoring"), (std::vector<std::string>{kA, kB}));
  EXPECT_FALSE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
      f.store->library().backgroundSync()));
  EXPECT_EQ(f.harness.clock.pendingSleeperCount(), 0u);
}

TEST(ImageLibraryStoreBackgroundSync, WithoutACheckpointAFullPassRunsAtOnceAndMonitoringIsTriedRightAfter) {
  for (const bool passMakesACheckpoint : {true, false}) {
    SCOPED_TRACE(passMakesACheckpoint ? "the pass stores a usable position" : "the position stays unusable");
    Fixture f;
    f.folders.checkpoint.reset();
    f.folders.storingMakesACheckpoint = passMakesACheckpoint;
    f.start();
    const std::vector<std::string> firstPass = {
        "registeredFolderRoots", "folderEventCheckpoint", "restoreFolderAccess",   "currentFolderEventID",
        "scanLibrary",           "storeFolderEventID",    "registeredFolderRoots", "folderEventCheckpoint"};
    auto expected = firstPass;
    if (passMakesACheckpoint) expected.push_back("startMonitoring");
    EXPECT_EQ(f.syncCalls(), expected);
    EXPECT_EQ(f.harness.service->calls("storeFolderEventID")[0].number, 500);
    EXPECT_EQ(f.store->library().lastScanDiagnosticContext()->source,
              ImageLibraryScanDiagnosticSource::backgroundFullScan);
    EXPECT_FALSE(f.store->library().lastScanDiagnosticContext()->changedPathCount);
    EXPECT_EQ(static_cast<bool>(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
                  f.store->library().backgroundSync())),
              !passMakesACheckpoint);
    // Still no position: at most one more full pass per interval.
    f.advance(29.999);
    EXPECT_EQ(f.count("scanLibrary"), 1u);
    f.advance(0.001);
    EXPECT_EQ(f.count("scanLibrary"), passMakesACheckpoint ? 1u : 2u);
  }
}

TEST(ImageLibraryStoreBackgroundSync, OnlyAPassWithoutFailedFilesStoresThePosition) {
  for (const bool fullRescan : {false, true}) {
    for (const std::int64_t failed : {0, 2}) {
      SCOPED_TRACE(std::string(fullRescan ? "full rescan" : "changed paths") +
                   ", failed files: " + std::to_string(failed));
      Fixture f;
      f.folders.failedFileCount = failed;
      f.start();
      f.deliver(fullRescan ? std::vector<std::string>{} : std::vector<std::string>{kA + "/x.png"}, 42,
                fullRescan);
      f.advance(2.0);
      EXPECT_EQ(f.count(fullRescan ? "scanLibrary" : "scanChangedPaths"), 1u);
      EXPECT_EQ(f.count("storeFolderEventID"), failed == 0 ? 1u : 0u);
      EXPECT_EQ(f.store->library().lastScanSummary()->failedFileCount, failed);
    }
  }
}

TEST(ImageLibraryStoreBackgroundSync, StartingAgainWithoutAStopChangesNothing) {
  for (const bool folderMissing : {false, true}) {
    SCOPED_TRACE(folderMissing ? "the recovery loop runs" : "monitoring runs");
    Fixture f;
    if (folderMissing) f.folders.registered = {kA, kB};
    f.start();
    const auto calls = f.harness.service->calls().size();
    const auto recovery = BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
        f.store->library().backgroundSync());
    f.store->library().backgroundSync().startBackgroundLibrarySync(5.0, kSecond);
    EXPECT_EQ(f.harness.service->calls().size(), calls);
    EXPECT_EQ(f.store->library().backgroundSync().backgroundLibrarySyncDebounceSeconds(), 2.0);
    EXPECT_EQ(f.store->library().backgroundSync().monitorRecoveryIntervalNanos(), kRecoveryInterval);
    EXPECT_TRUE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
                    f.store->library().backgroundSync()) == recovery);
  }
}

TEST(ImageLibraryStoreBackgroundSync, IntervalsAreRaisedToTheirFloorsAndAnyDebounceSchedulesSafely) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  const struct {
    double seconds;
    std::uint64_t interval;
    double storedSeconds;
    std::uint64_t storedInterval;
  } cases[] = {{0.0, 0, 0.1, 1'000'000},
               {std::nan(""), 999'999, 0.1, 1'000'000},
               {-3.0, 5'000'000, 0.1, 5'000'000},
               {kInfinity, 0, kInfinity, 1'000'000},
               {1e300, 0, 1e300, 1'000'000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    Fixture f(c.seconds, c.interval);
    // A clock that has run a while, so that a deadline past its largest reading would overflow.
    f.harness.clock.advance(kSecond);
    f.start();
    EXPECT_EQ(f.store->library().backgroundSync().backgroundLibrarySyncDebounceSeconds(), c.storedSeconds);
    EXPECT_EQ(f.store->library().backgroundSync().monitorRecoveryIntervalNanos(), c.storedInterval);
    f.deliver({kA + "/x.png"}, 1);
    ASSERT_TRUE(
        BackgroundLibrarySyncTestAccess::backgroundLibrarySyncTask(f.store->library().backgroundSync()));
    if (std::isinf(c.storedSeconds) || c.storedSeconds > 1e9) {
      f.advance(100.0 * 365 * 24 * 3600);
      EXPECT_EQ(f.count("scanChangedPaths"), 0u);
      EXPECT_EQ(f.harness.clock.pendingSleeperCount(), 1u);
    } else {
      f.advance(c.storedSeconds - 0.001);
      EXPECT_EQ(f.count("scanChangedPaths"), 0u);
      f.advance(0.001);
      EXPECT_EQ(f.count("scanChangedPaths"), 1u);
    }
  }
}

TEST(ImageLibraryStoreBackgroundSync, AMonitorThatEndsOnItsOwnHandsOverToTheRecoveryLoop) {
  Fixture f;
  f.start();
  const FolderChangeMonitorError error(FolderChangeMonitorError::Code::watchLimitReached);
  ASSERT_TRUE(f.harness.service->endMonitoring(error));
  f.harness.drainEvents();
  EXPECT_FALSE(f.store->library().backgroundSync().backgroundSyncPlanner().isMonitoring);
  EXPECT_TRUE(f.store->library().backgroundSync().backgroundSyncPlanner().monitoredRootURLs.empty());
  EXPECT_EQ(f.store->context().errorMessage(), error.localizedDescription());
  EXPECT_EQ(f.store->context().errorNotice()->kind, ErrorNoticeKind::monitoringWatchLimit);
  ASSERT_TRUE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
      f.store->library().backgroundSync()));
  EXPECT_EQ(f.count("scanLibrary"), 0u) << "the position is still good: no full pass";
  f.advance(30.0);
  EXPECT_EQ(f.count("startMonitoring"), 2u);
  EXPECT_TRUE(f.harness.service->isMonitoring());
  EXPECT_FALSE(f.store->context().errorMessage());
  EXPECT_FALSE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
      f.store->library().backgroundSync()));
}

TEST(ImageLibraryStoreBackgroundSync, AFailingCallShowsItsTextAndLowersTheBusyFlags) {
  const struct {
    const char* call;
    bool duringStart;  // else during a pass over one changed file
  } cases[] = {{"registeredFolderRoots", true}, {"folderEventCheckpoint", true},
               {"startMonitoring", true},       {"restoreFolderAccess", false},
               {"scanChangedPaths", false},     {"storeFolderEventID", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    Fixture f;
    std::vector<bool> busy;
    QObject::connect(&f.store->library().backgroundSync(), &BackgroundLibrarySync::isBackgroundSyncingChanged,
                     [&] { busy.push_back(f.store->library().backgroundSync().isBackgroundSyncing()); });
    if (!c.duringStart) f.start();
    f.harness.service->setAnswer(c.call, [](const ServiceCall& call) -> std::any {
      throw LibraryError(LibraryError::Kind::database, call.name + " failed");
    });
    if (c.duringStart) {
      f.start();
      EXPECT_FALSE(f.store->library().backgroundSync().backgroundSyncPlanner().isMonitoring);
      EXPECT_TRUE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
          f.store->library().backgroundSync()));
    } else {
      f.deliver({kA + "/x.png"}, 3);
      f.advance(2.0);
      EXPECT_EQ(busy, (std::vector<bool>{true, false}));
      EXPECT_FALSE(f.store->library().isLibrarySyncInProgress());
      EXPECT_FALSE(f.store->library().lastScanSummary());
    }
    EXPECT_EQ(f.store->context().errorMessage(), std::string(c.call) + " failed");
  }
}

TEST(ImageLibraryStoreBackgroundSync, AStoreDestroyedDuringAPassAsksItsScanToStop) {
  Fixture f;
  f.start();
  f.harness.service->hold("scanChangedPaths");
  f.deliver({kA + "/x.png"}, 3);
  f.harness.clock.advance(2 * kSecond);
  ASSERT_TRUE(f.harness.service->waitForHeld("scanChangedPaths"));
  const auto scan = f.harness.service->heldCalls("scanChangedPaths").front();
  f.store.reset();
  EXPECT_TRUE(scan.stop.stop_requested());
  // The scan's late answer finds no store to report to.
  f.harness.service->release(scan.id);
  EXPECT_TRUE(f.harness.drainEvents());
}

}  // namespace
}  // namespace lorvex::testing
