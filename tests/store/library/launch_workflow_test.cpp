// The launch: which way it catches up with the library (a resumed job, nothing registered, a stored
// event position or none), what a failed preparation leaves, failures on the way, runs that
// collide with other library work, a second run, the one cache sweep, and a store that goes while
// the launch waits.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QThread>
#include <algorithm>
#include <any>
#include <atomic>
#include <cstdint>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/sqlite_image_repository_error.h"
#include "model/library_error.h"
#include "services/unavailable_image_library_service.h"
#include "store/event_loop.h"
#include "store/forwarding_image_library_service.h"
#include "store/library/background_library_sync_test_access.h"
#include "store/library/library_model_test_access.h"
#include "store/library_workflow_fixture.h"
#include "store/trash/trash_model_test_access.h"
#include "support/library_file_name.h"

namespace lorvex {
namespace {

using lorvex::testing::libraryFileName;

using testing::inOrder;
using testing::libraryFailure;
using testing::LibraryWorkflowFixture;
using testing::runEventsUntil;
using testing::scanSummary;

// The live service the factory builds: the scripted one, with the sweep's cut-off kept (the
// scripted service records no number for it).
class SweepRecordingService final : public testing::ForwardingImageLibraryService {
 public:
  using ForwardingImageLibraryService::ForwardingImageLibraryService;

  ThumbnailCacheSweepSummary sweepThumbnailCache(double cutoff) override {
    {
      std::lock_guard lock(mutex_);
      cutoffs_.push_back(cutoff);
    }
    return ForwardingImageLibraryService::sweepThumbnailCache(cutoff);
  }
  std::vector<double> cutoffs() const {
    std::lock_guard lock(mutex_);
    return cutoffs_;
  }
  std::optional<LibraryRecoveryNotice> libraryRecoveryNotice() override { return notice; }

  // Set before the launch.
  std::optional<LibraryRecoveryNotice> notice;

 private:
  mutable std::mutex mutex_;
  std::vector<double> cutoffs_;
};

// A store that still has its live service to build, as the application composes it.
struct LaunchFixture : LibraryWorkflowFixture {
  // `factory` replaces the one that builds `live`.
  explicit LaunchFixture(LiveServiceFactory factory = {}) {
    if (!factory) {
      factory = [service = live] { return std::shared_ptr<ImageLibraryServicing>(service); };
    }
    testing::StoreOptions options;
    options.needsLiveServicePreparation = true;
    options.errorMessage = "left from before";
    options.liveServiceFactory = std::move(factory);
    store = harness.makeStore(std::move(options));
    QObject::connect(&store->context(), &StoreContext::errorMessageChanged,
                     [this] { shownErrors.push_back(store->context().errorMessage()); });
  }
  // The store goes first: what it signals on its way out must not reach the fields below.
  ~LaunchFixture() { store.reset(); }

  // Starts the launch and lets it and everything it started settle.
  void launch() {
    store->library().startLaunchWorkflow();
    runEventsUntil([&] { return !LibraryModelTestAccess::launchWorkflowTask(store->library()); });
    harness.drainEvents();
  }

  // The limits of the first-page searches, in order (each asks one record more than it shows).
  std::vector<std::int64_t> searchLimits() const {
    std::vector<std::int64_t> limits;
    for (const auto& call : harness.service->calls("searchImages")) limits.push_back(call.query->limit);
    return limits;
  }
  bool showed(const std::string& text) const {
    return std::find(shownErrors.begin(), shownErrors.end(), std::optional<std::string>(text)) !=
           shownErrors.end();
  }

  // However a run ends: nothing busy, no progress, no run kept.
  void expectLaunchEnded() const {
    expectLibraryWorkEnded();
    EXPECT_FALSE(store->library().isPreparingLibrary());
    EXPECT_FALSE(LibraryModelTestAccess::launchWorkflowTask(store->library()));
  }

  std::shared_ptr<SweepRecordingService> live = std::make_shared<SweepRecordingService>(harness.service);
  std::vector<std::optional<std::string>> shownErrors;
};

using Roots = testing::Paths;

TEST(LaunchWorkflow, CatchesUpTheWayTheLibraryNeeds) {
  struct Case {
    const char* name;
    std::optional<Roots> interruptedRoots;
    std::optional<ImageLibraryScanSummary> resumed;
    Roots restored;
    bool hasCheckpoint;
    std::vector<std::string> order;
    std::vector<std::int64_t> searchLimits;
    std::optional<ImageLibraryScanDiagnosticContext> recorded;  // completedAt filled in below
    std::vector<Roots> scans;
    std::vector<Roots> storedPositions;
    std::int64_t storedEventID;  // the position read before the scan: 7 by the resumption, 8 by the sync
    bool generatesThumbnails;    // started without being awaited: its call's place is not fixed
  };
  const auto resumed = scanSummary(3, 2, {"/a/bad.png"});
  using Source = ImageLibraryScanDiagnosticSource;
  const Case cases[] = {
      {"nothing left and nothing registered: a full first page, no scan",
       std::nullopt,
       std::nullopt,
       {},
       false,
       {"registeredFolderList", "registeredFolderSummaries", "interruptedIndexingRootURLs",
        "resumeInterruptedIndexing", "restoreFolderAccess", "registeredFolderSummaries", "searchImages",
        "tagSuggestions", "registeredFolderRoots", "sweepThumbnailCache"},
       {501},
       std::nullopt,
       {},
       {},
       0,
       false},
      {"a stored position: the first screenful before the counts, no scan, thumbnails",
       std::nullopt,
       std::nullopt,
       {"/a"},
       true,
       {"registeredFolderList", "searchImages", "registeredFolderSummaries", "resumeInterruptedIndexing",
        "restoreFolderAccess", "folderEventCheckpoint", "tagSuggestions", "registeredFolderRoots",
        "sweepThumbnailCache"},
       {121},
       std::nullopt,
       {},
       {},
       0,
       true},
      {"no stored position: the first screenful, then the full manual sync",
       std::nullopt,
       std::nullopt,
       {"/a", "/b"},
       false,
       {"registeredFolderList", "searchImages", "registeredFolderSummaries", "restoreFolderAccess",
        "folderEventCheckpoint", "restoreFolderAccess", "scanLibrary", "storeFolderEventID",
        "registeredFolderSummaries", "searchImages", "tagSuggestions", "registeredFolderRoots",
        "sweepThumbnailCache"},
       {121, 501},
       ImageLibraryScanDiagnosticContext{Source::manualSync, {"/a", "/b"}, std::nullopt, 0},
       {{"/a", "/b"}},
       {{"/a", "/b"}},
       8,
       true},
      {"a job left running: the first screenful, then resumed, its position stored, and caught up",
       Roots{"/a"},
       resumed,
       {"/a"},
       true,
       {"registeredFolderList", "searchImages", "registeredFolderSummaries", "currentFolderEventID",
        "interruptedIndexingRootURLs", "resumeInterruptedIndexing", "storeFolderEventID",
        "registeredFolderSummaries", "searchImages", "tagSuggestions", "restoreFolderAccess",
        "folderEventCheckpoint", "sweepThumbnailCache"},
       {121, 501},
       ImageLibraryScanDiagnosticContext{Source::resumeInterrupted, {"/a"}, std::nullopt, 0},
       {},
       {{"/a"}},
       7,
       true},
      {"a job left running without roots: resumed, no position stored",
       std::nullopt,
       resumed,
       {},
       false,
       {"resumeInterruptedIndexing", "registeredFolderSummaries", "searchImages", "tagSuggestions",
        "restoreFolderAccess", "searchImages"},
       {501, 501},
       ImageLibraryScanDiagnosticContext{Source::resumeInterrupted, {}, std::nullopt, 0},
       {},
       {},
       0,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LaunchFixture f;
    // Each read of the position moves it on: 7 for the first, 8 for the second, …
    auto position = std::make_shared<std::atomic<std::uint64_t>>(6);
    f.service().setAnswer("currentFolderEventID", [position](const testing::ServiceCall&) {
      return std::any(std::uint64_t{++*position});
    });
    f.answer("interruptedIndexingRootURLs", c.interruptedRoots);
    f.answer("resumeInterruptedIndexing", c.resumed);
    f.answer("restoreFolderAccess", c.restored);
    f.answer("folderEventCheckpoint", c.hasCheckpoint
                                          ? std::optional(RegisteredFolderEventCheckpoint{c.restored, 5})
                                          : std::optional<RegisteredFolderEventCheckpoint>());
    std::vector<RegisteredFolderSummary> registered;
    for (const auto& root : c.restored) registered.push_back(testing::folderSummary(root));
    f.service().setRegisteredFolderSummaries(registered);

    f.launch();

    EXPECT_EQ(f.store->context().service(), f.live) << "the factory's service is installed";
    EXPECT_FALSE(f.store->context().needsLiveServicePreparation());
    EXPECT_TRUE(inOrder(f.callNames(), c.order));
    EXPECT_EQ(f.searchLimits(), c.searchLimits);
    EXPECT_EQ(f.sawCall("generatePendingThumbnails"), c.generatesThumbnails);
    std::vector<Roots> scans;
    for (const auto& call : f.service().calls("scanLibrary")) scans.push_back(call.paths);
    EXPECT_EQ(scans, c.scans);
    std::vector<Roots> stored;
    for (const auto& call : f.service().calls("storeFolderEventID")) {
      stored.push_back(call.paths);
      EXPECT_EQ(call.number, c.storedEventID);
    }
    EXPECT_EQ(stored, c.storedPositions);
    auto recorded = c.recorded;
    if (recorded) recorded->completedAt = f.harness.clock.now();
    EXPECT_EQ(f.store->library().lastScanDiagnosticContext(), recorded);
    EXPECT_EQ(f.store->library().lastScanSummary().has_value(), recorded.has_value());
    if (c.resumed) {
      EXPECT_EQ(f.store->library().lastScanSummary(), c.resumed);
    }
    EXPECT_TRUE(f.store->library().hasLoadedRegisteredFolderSummaries());
    EXPECT_EQ(f.live->cutoffs(), std::vector<double>{f.harness.clock.now() - 600.0});
    EXPECT_FALSE(f.store->context().errorMessage().has_value());
    f.expectLaunchEnded();
  }
}

TEST(LaunchWorkflow, TheFirstPageComesBeforeAnythingThatReadsTheWholeLibrary) {
  // Counting the folders' images, finding an unfinished job and checking the stored position each
  // read the whole library: the first page and the folder rows are in while any of them waits.
  for (const char* linearRead :
       {"registeredFolderSummaries", "interruptedIndexingRootURLs", "folderEventCheckpoint"}) {
    SCOPED_TRACE(linearRead);
    LaunchFixture f;
    f.answer("restoreFolderAccess", Roots{"/library"});
    auto counted = testing::folderSummary("/library");
    counted.indexedImageCount = 300;
    f.service().setRegisteredFolderSummaries({counted});
    f.service().setRecords(testing::makeLibraryRecords(300));
    f.service().hold(linearRead);

    f.store->library().startLaunchWorkflow();
    ASSERT_TRUE(f.service().waitForHeld(linearRead));
    ASSERT_TRUE(testing::runEventsUntil([&] {
      return !f.store->results().isLoading() && !f.store->results().resultWindow().records().empty();
    }));
    EXPECT_EQ(f.store->results().resultWindow().records().size(), 120u);
    EXPECT_TRUE(f.store->results().resultWindow().hasMoreRecords());
    ASSERT_EQ(f.store->library().registeredFolderSummaries().size(), 1u);
    EXPECT_EQ(f.store->library().registeredFolderSummaries()[0].path, "/library");
    const auto calls = f.callNames();
    EXPECT_LT(std::find(calls.begin(), calls.end(), "searchImages"),
              std::find(calls.begin(), calls.end(), linearRead));

    f.service().answerImmediately(linearRead);
    f.service().releaseAll();
    runEventsUntil([&] { return !LibraryModelTestAccess::launchWorkflowTask(f.store->library()); });
    f.harness.drainEvents();
    EXPECT_FALSE(f.store->library().isLoadingRegisteredFolders());
    EXPECT_EQ(f.store->library().registeredFolderSummaries(), std::vector<RegisteredFolderSummary>{counted});
    EXPECT_EQ(f.service().calls("searchImages").size(), 1u) << "the page is not loaded twice";
    f.expectLaunchEnded();
  }
}

TEST(LaunchWorkflow, WhileTheCountsAreReadTheSidebarSaysItIsChecking) {
  LaunchFixture f;
  f.answer("restoreFolderAccess", Roots{"/library"});
  f.service().setRegisteredFolderSummaries({testing::folderSummary("/library")});
  f.service().hold("registeredFolderSummaries");
  f.store->library().startLaunchWorkflow();
  ASSERT_TRUE(f.service().waitForHeld("registeredFolderSummaries"));
  EXPECT_TRUE(f.store->library().isLoadingRegisteredFolders()) << "no count of 0 is shown as the folder's";
  EXPECT_TRUE(f.store->library().hasLoadedRegisteredFolderSummaries());
  f.service().answerImmediately("registeredFolderSummaries");
  f.service().releaseAll();
  runEventsUntil([&] { return !LibraryModelTestAccess::launchWorkflowTask(f.store->library()); });
  f.harness.drainEvents();
  EXPECT_FALSE(f.store->library().isLoadingRegisteredFolders());
}

TEST(LaunchWorkflow, AScanThatMeetsAFullDiskIsShownAndTriedAgainOnceSpaceReturns) {
  // The launch's scans: the catch-up pass monitoring asks for (changes made while the program was
  // not running), and the resumption of a job an earlier run left unfinished.
  enum class Scan { catchUp, resumed };
  for (const Scan scan : {Scan::catchUp, Scan::resumed}) {
    SCOPED_TRACE(scan == Scan::catchUp ? "the catch-up pass" : "the resumed job");
    LaunchFixture f;
    const std::string failing = scan == Scan::catchUp ? "scanLibrary" : "resumeInterruptedIndexing";
    auto diskFull = std::make_shared<std::atomic<bool>>(true);
    f.answer("restoreFolderAccess", Roots{"/library"});
    f.answer("registeredFolderRoots", RegisteredFolderRoots{{"/library"}, {"/library"}});
    f.service().setRegisteredFolderSummaries({testing::folderSummary("/library")});
    if (scan == Scan::resumed)
      f.answer("interruptedIndexingRootURLs", std::optional<Roots>(Roots{"/library"}));
    f.service().setAnswer(failing, [diskFull](const testing::ServiceCall&) -> std::any {
      if (*diskFull) throw SQLiteImageRepositoryV3Error::stepFailed("database or disk is full", SQLITE_FULL);
      return std::any(ImageLibraryScanSummary{
          .scannedFileCount = 2, .indexedImageCount = 2, .failedFileCount = 0, .failures = {}});
    });
    const auto expectDiskFullShown = [&] {
      ASSERT_TRUE(f.store->context().errorNotice().has_value());
      EXPECT_EQ(f.store->context().errorNotice()->kind, ErrorNoticeKind::diskFull);
    };

    f.launch();
    if (scan == Scan::catchUp) {
      ASSERT_TRUE(f.service().deliverFolderChanges({{}, std::nullopt, true}));
      f.harness.drainEvents();
      f.harness.clock.advance(2'000'000'000);
      f.harness.drainEvents();
    }
    ASSERT_EQ(f.service().calls(failing).size(), 1u);
    expectDiskFullShown();
    // A read that succeeds meanwhile (a page of results) leaves it on the error line.
    auto read = f.store->results().refreshResults(120, false);
    f.harness.drainEvents();
    expectDiskFullShown();
    f.harness.clock.advance(29'000'000'000);
    f.harness.drainEvents();
    expectDiskFullShown();
    EXPECT_EQ(f.service().calls("scanLibrary").size(), scan == Scan::catchUp ? 1u : 0u)
        << "not before the interval";

    *diskFull = false;
    f.harness.clock.advance(1'000'000'000);
    f.harness.drainEvents();
    EXPECT_EQ(f.service().calls("scanLibrary").size(), scan == Scan::catchUp ? 2u : 1u)
        << "a full pass, once";
    EXPECT_FALSE(f.store->context().errorMessage().has_value());
    EXPECT_TRUE(f.store->library().lastScanSummary().has_value());
    EXPECT_EQ(f.store->library().lastScanDiagnosticContext()->source,
              ImageLibraryScanDiagnosticSource::backgroundFullScan);
    EXPECT_FALSE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
        f.store->library().backgroundSync()))
        << "nothing is owed any more";
    EXPECT_TRUE(f.store->library().backgroundSync().backgroundSyncPlanner().isMonitoring);
  }
}

TEST(LaunchWorkflow, WhatPreparingTheLibraryDidWithItsFileIsPublishedWithTheService) {
  LaunchFixture f;
  const LibraryRecoveryNotice notice{LibraryRecoveryNotice::Kind::damagedLibraryRebuilt,
                                     libraryFileName(".pre-v4-v4-1700000000"), 12};
  f.live->notice = notice;
  int changes = 0;
  QObject::connect(&f.store->library(), &LibraryModel::libraryRecoveryNoticeChanged, [&] { ++changes; });
  f.launch();
  EXPECT_EQ(f.store->library().libraryRecoveryNotice(), notice);
  EXPECT_EQ(changes, 1);
  f.expectLaunchEnded();
}

TEST(LaunchWorkflow, APreparationThatFailsLeavesAnUnavailableServiceHoldingItsFailure) {
  struct Case {
    const char* name;
    LiveServiceFactory factory;  // empty: builds the live service
    std::optional<std::string> shown;
  };
  const Case cases[] = {
      {"built", {}, std::nullopt},
      {"a library error",
       []() -> std::shared_ptr<ImageLibraryServicing> {
         throw LibraryError(LibraryError::Kind::libraryUnavailable, "written by a newer version");
       },
       "written by a newer version"},
      {"another exception",
       []() -> std::shared_ptr<ImageLibraryServicing> { throw std::runtime_error("disk on fire"); },
       "disk on fire"},
      {"no service and no error", [] { return std::shared_ptr<ImageLibraryServicing>(); },
       "The library could not be prepared."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LaunchFixture f(c.factory);

    f.launch();

    EXPECT_FALSE(f.store->context().needsLiveServicePreparation());
    ASSERT_FALSE(f.shownErrors.empty());
    EXPECT_EQ(f.shownErrors.front(), std::nullopt) << "the old error goes when preparation begins";
    EXPECT_EQ(f.store->context().errorMessage(), c.shown);
    f.expectLaunchEnded();
    if (!c.shown) {
      EXPECT_EQ(f.store->context().service(), f.live);
      EXPECT_TRUE(f.store->library().hasLoadedRegisteredFolderSummaries());
      EXPECT_TRUE(f.store->library().didStartThumbnailCacheMaintenance());
      continue;
    }
    const auto unavailable =
        std::dynamic_pointer_cast<UnavailableImageLibraryService>(f.store->context().service());
    ASSERT_NE(unavailable, nullptr);
    try {
      f.store->context().service()->registeredFolderSummaries();
      ADD_FAILURE() << "the unavailable service answered";
    } catch (const std::exception& error) {
      EXPECT_EQ(error.what(), *c.shown) << "later calls fail with the same failure";
    }
    EXPECT_TRUE(f.callNames().empty()) << "no summaries, no catching up, no monitoring";
    EXPECT_FALSE(f.store->library().didStartThumbnailCacheMaintenance());
    EXPECT_FALSE(f.store->library().hasLoadedRegisteredFolderSummaries());
  }
}

TEST(LaunchWorkflow, AFailureOnTheWayIsShownAndTheLaunchGoesOn) {
  struct Case {
    const char* failingCall;
    Roots restored;
    std::vector<std::string> stillCalled;
    std::vector<std::string> notCalled;
  };
  const Case cases[] = {
      {"registeredFolderList",
       {"/a"},
       {"registeredFolderSummaries", "restoreFolderAccess", "sweepThumbnailCache"},
       {}},
      {"interruptedIndexingRootURLs",
       {},
       {"restoreFolderAccess", "sweepThumbnailCache"},
       {"resumeInterruptedIndexing"}},
      {"resumeInterruptedIndexing",
       {},
       {"restoreFolderAccess", "sweepThumbnailCache"},
       {"storeFolderEventID"}},
      {"restoreFolderAccess", {}, {"registeredFolderRoots", "sweepThumbnailCache"}, {"searchImages"}},
      {"folderEventCheckpoint",
       {"/a"},
       {"registeredFolderRoots", "sweepThumbnailCache"},
       {"scanLibrary", "searchImages"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failingCall);
    LaunchFixture f;
    f.answer("restoreFolderAccess", c.restored);
    f.fail(c.failingCall, libraryFailure("volume gone"));

    f.launch();

    EXPECT_TRUE(f.showed("volume gone"));
    EXPECT_TRUE(inOrder(f.callNames(), c.stillCalled));
    for (const auto& name : c.notCalled) EXPECT_FALSE(f.sawCall(name)) << name;
    EXPECT_FALSE(f.store->library().lastScanSummary().has_value());
    f.expectLaunchEnded();
  }
}

TEST(LaunchWorkflow, StartingAgainWhileARunGoesIsIgnoredAndALaterRunPreparesAndSweepsNoMore) {
  std::promise<void> gate;
  const std::shared_future<void> opened = gate.get_future().share();
  auto built = std::make_shared<std::atomic<int>>(0);
  auto live = std::make_shared<std::shared_ptr<ImageLibraryServicing>>();
  LaunchFixture f([opened, built, live] {
    ++*built;
    opened.wait();
    return *live;
  });
  *live = f.live;

  f.store->library().startLaunchWorkflow();
  ASSERT_TRUE(runEventsUntil([&] { return built->load() == 1; }));
  const auto run = LibraryModelTestAccess::launchWorkflowTask(f.store->library());
  ASSERT_TRUE(run);
  EXPECT_TRUE(f.store->library().isPreparingLibrary());
  f.store->library().startLaunchWorkflow();
  EXPECT_EQ(LibraryModelTestAccess::launchWorkflowTask(f.store->library()), run) << "one run at a time";
  auto second = f.store->library().prepareLiveServiceIfNeeded();
  EXPECT_TRUE(second.isReady()) << "a second preparation returns at once";
  if (second.isReady()) {
    EXPECT_FALSE(QCoro::waitFor(second));
  }

  gate.set_value();
  runEventsUntil([&] { return !LibraryModelTestAccess::launchWorkflowTask(f.store->library()); });
  f.harness.drainEvents();
  f.expectLaunchEnded();
  EXPECT_EQ(f.service().calls("restoreFolderAccess").size(), 1u);

  f.launch();
  EXPECT_EQ(built->load(), 1) << "the live service is built once";
  EXPECT_EQ(f.service().calls("restoreFolderAccess").size(), 2u) << "the second run catches up again";
  EXPECT_EQ(f.live->cutoffs().size(), 1u) << "one sweep per process";
  f.expectLaunchEnded();
}

TEST(LaunchWorkflow, OtherLibraryWorkMakesTheLaunchSkipItsCatchingUp) {
  enum class Busy { trashing, manualSync };
  for (const Busy busy : {Busy::trashing, Busy::manualSync}) {
    SCOPED_TRACE(busy == Busy::trashing ? "trashing" : "a manual sync");
    LibraryWorkflowFixture f;  // the live service is in place already
    f.answer("restoreFolderAccess", Roots{"/a"});
    std::optional<QCoro::Task<bool>> sync;
    if (busy == Busy::trashing) {
      TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store->trash(), true);
    } else {
      f.service().hold("scanLibrary");
      sync = f.store->library().syncRegisteredFolders();
      ASSERT_TRUE(f.service().waitForHeld("scanLibrary"));
    }
    const std::size_t before = f.callNames().size();

    f.store->library().startLaunchWorkflow();
    // Nothing of the launch waits here: it has ended before the event loop turns, and keeps no
    // handle that would refuse the next start.
    EXPECT_FALSE(LibraryModelTestAccess::launchWorkflowTask(f.store->library()));
    f.harness.drainEvents();

    const auto calls = f.callNames(before);
    for (const char* skipped :
         {"interruptedIndexingRootURLs", "resumeInterruptedIndexing", "restoreFolderAccess"}) {
      EXPECT_EQ(std::count(calls.begin(), calls.end(), skipped), 0) << skipped;
    }
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "sweepThumbnailCache"), 1);

    if (sync) {
      f.service().releaseAll();
      f.finish(*sync);
    }
    TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store->trash(), false);
    const std::size_t afterwards = f.callNames().size();
    f.store->library().startLaunchWorkflow();
    runEventsUntil([&] { return !LibraryModelTestAccess::launchWorkflowTask(f.store->library()); });
    f.harness.drainEvents();
    EXPECT_TRUE(inOrder(f.callNames(afterwards), {"resumeInterruptedIndexing", "restoreFolderAccess"}))
        << "the next start runs again";
    f.expectLibraryWorkEnded();
    EXPECT_FALSE(LibraryModelTestAccess::launchWorkflowTask(f.store->library()));
  }
}

TEST(LaunchWorkflow, TheCacheSweepIsNotWaitedForAndEndsQuietly) {
  for (const bool sweepFails : {false, true}) {
    SCOPED_TRACE(sweepFails ? "the sweep fails" : "the sweep succeeds");
    LaunchFixture f;
    f.service().hold("sweepThumbnailCache");
    f.store->library().startLaunchWorkflow();
    ASSERT_TRUE(f.service().waitForHeld("sweepThumbnailCache"));
    runEventsUntil([&] { return !LibraryModelTestAccess::launchWorkflowTask(f.store->library()); });
    EXPECT_TRUE(LibraryModelTestAccess::thumbnailCacheMaintenanceTask(f.store->library()));
    f.expectLaunchEnded();

    const auto sweep = f.service().heldCalls("sweepThumbnailCache").at(0);
    if (sweepFails) {
      f.service().fail(sweep.id, libraryFailure("cache unreadable"));
    } else {
      f.service().release(sweep.id);
    }
    f.harness.drainEvents();
    EXPECT_FALSE(LibraryModelTestAccess::thumbnailCacheMaintenanceTask(f.store->library()));
    EXPECT_FALSE(f.showed("cache unreadable"));
    EXPECT_TRUE(f.store->library().didStartThumbnailCacheMaintenance());
  }
}

TEST(LaunchWorkflow, AStoreDestroyedWhileTheLaunchWaitsReturnsAtOnce) {
  // The resumed scan is asked to stop and the launch's later steps never run.
  {
    LaunchFixture f;
    f.service().hold("resumeInterruptedIndexing");
    f.store->library().startLaunchWorkflow();
    ASSERT_TRUE(f.service().waitForHeld("resumeInterruptedIndexing"));
    const auto scan = f.service().heldCalls("resumeInterruptedIndexing").at(0);
    const std::size_t before = f.callNames().size();

    f.store.reset();
    EXPECT_TRUE(scan.stop.stop_requested());
    f.service().release(scan.id);
    f.harness.drainEvents();
    EXPECT_TRUE(f.callNames(before).empty());
  }
  // A factory still building when the store goes: its service is dropped on the pool.
  {
    std::promise<void> gate;
    const std::shared_future<void> opened = gate.get_future().share();
    auto entered = std::make_shared<std::atomic<bool>>(false);
    auto live = std::make_shared<std::shared_ptr<ImageLibraryServicing>>();
    LaunchFixture f([opened, entered, live] {
      entered->store(true);
      opened.wait();
      return *live;
    });
    *live = f.live;
    f.store->library().startLaunchWorkflow();
    ASSERT_TRUE(runEventsUntil([&] { return entered->load(); }));

    f.store.reset();
    gate.set_value();
    f.harness.userInitiatedPool.waitForDone();
    f.harness.drainEvents();
    EXPECT_TRUE(f.callNames().empty()) << "nothing is loaded for a store that is gone";
  }
}

TEST(LaunchWorkflow, BackgroundSyncKeepsItsLowerBoundsAndLeavesRunningMonitoringAlone) {
  struct Case {
    const char* name;
    bool monitoring;
    double debounce;
    std::uint64_t interval;
    double storedDebounce;
    std::uint64_t storedInterval;
  };
  const Case cases[] = {
      {"below the bounds", false, 0.05, 0, 0.1, 1'000'000},
      {"as the launch passes them", false, 2.0, 30'000'000'000, 2.0, 30'000'000'000},
      {"while monitoring runs", true, 0.05, 0, 5.0, 7'000'000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LibraryWorkflowFixture f;
    BackgroundLibrarySyncTestAccess::setBackgroundLibrarySyncDebounceSeconds(
        f.store->library().backgroundSync(), 5.0);
    BackgroundLibrarySyncTestAccess::setMonitorRecoveryIntervalNanos(f.store->library().backgroundSync(),
                                                                     7'000'000);
    auto planner = f.store->library().backgroundSync().backgroundSyncPlanner();
    planner.isMonitoring = c.monitoring;
    BackgroundLibrarySyncTestAccess::setBackgroundSyncPlanner(f.store->library().backgroundSync(), planner);

    f.store->library().backgroundSync().startBackgroundLibrarySync(c.debounce, c.interval);

    EXPECT_EQ(f.store->library().backgroundSync().backgroundLibrarySyncDebounceSeconds(), c.storedDebounce);
    EXPECT_EQ(f.store->library().backgroundSync().monitorRecoveryIntervalNanos(), c.storedInterval);
    EXPECT_EQ(f.sawCall("registeredFolderRoots"), !c.monitoring);
  }
}

TEST(LaunchWorkflow, MonitoringStartsFromAPositionReadOffTheMainThread) {
  // The position's read looks over the library's rows and waits for a scan's write transaction:
  // the launch reads it on a pool thread and starts monitoring from what it read.
  LaunchFixture f;
  const QThread* mainThread = QThread::currentThread();
  std::mutex mutex;
  std::vector<bool> readOnMainThread;
  f.answer("restoreFolderAccess", Roots{"/a"});
  f.answer("registeredFolderRoots", RegisteredFolderRoots{{"/a"}, {"/a"}});
  f.service().setAnswer("folderEventCheckpoint", [&](const testing::ServiceCall& call) {
    std::lock_guard lock(mutex);
    readOnMainThread.push_back(QThread::currentThread() == mainThread);
    return std::any(std::optional(RegisteredFolderEventCheckpoint{call.paths, 41}));
  });

  f.launch();

  std::lock_guard lock(mutex);
  ASSERT_EQ(readOnMainThread.size(), 2U);  // the catching up's read, then the monitoring's
  EXPECT_EQ(std::count(readOnMainThread.begin(), readOnMainThread.end(), true), 0);
  const auto monitors = f.service().calls("startMonitoring");
  ASSERT_EQ(monitors.size(), 1U);
  EXPECT_EQ(monitors[0].paths, Roots{"/a"});
  EXPECT_EQ(monitors[0].number, 41);
}

}  // namespace
}  // namespace lorvex
