// The manual and the single-folder sync: what a completed scan records and reloads, the position
// they store, the trashed files they forget, failures, a manual sync with nothing to scan, and an
// error no workflow expects.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "store/library/background_library_sync_test_access.h"
#include "store/library/library_model_test_access.h"
#include "store/library_workflow_fixture.h"

namespace lorvex {
namespace {

using testing::inOrder;
using testing::libraryFailure;
using testing::LibraryWorkflowFixture;
using testing::Paths;
using testing::scanSummary;

struct SyncKind {
  const char* name;
  std::function<QCoro::Task<bool>(ImageLibraryStore&)> start;
  const char* scanCall;
  Paths scannedRoots;  // what the scan and the stored position cover
  ImageLibraryScanDiagnosticSource source;
};

const SyncKind kManual{"manual sync",
                       [](ImageLibraryStore& s) { return s.library().syncRegisteredFolders(); },
                       "scanLibrary",
                       {"/a", "/b"},
                       ImageLibraryScanDiagnosticSource::manualSync};
const SyncKind kSingle{"folder sync",
                       [](ImageLibraryStore& s) { return s.library().syncRegisteredFolder("/a"); },
                       "syncRegisteredFolder",
                       {"/a"},
                       ImageLibraryScanDiagnosticSource::singleFolderSync};

TEST(LibrarySync, ACompletedScanIsRecordedAndReloadsTheLibraryWithoutTouchingMonitoring) {
  for (const auto& kind : {kManual, kSingle}) {
    SCOPED_TRACE(kind.name);
    LibraryWorkflowFixture f;
    f.answer("restoreFolderAccess", Paths{"/a", "/b"});
    std::uint64_t eventID = 7;
    f.service().setAnswer("currentFolderEventID",
                          [&](const testing::ServiceCall&) { return std::any(eventID); });
    auto planner = f.store->library().backgroundSync().backgroundSyncPlanner();
    planner.locallyHandledTrashPaths = {"/a/x.png", "/ab/y.png", "/b/z.png"};
    BackgroundLibrarySyncTestAccess::setBackgroundSyncPlanner(f.store->library().backgroundSync(), planner);
    f.service().hold(kind.scanCall);

    auto sync = kind.start(*f.store);
    ASSERT_TRUE(f.service().waitForHeld(kind.scanCall));
    EXPECT_TRUE(f.store->library().isLibrarySyncInProgress());
    EXPECT_TRUE(f.store->library().isIndexing());
    EXPECT_EQ(f.service().heldCalls(kind.scanCall).at(0).paths, kind.scannedRoots);
    eventID = 8;
    const auto summary = scanSummary(5, 3, {"/a/1.png", "/a/2.png"});
    f.service().releaseWith(f.service().heldCalls(kind.scanCall).at(0).id, summary);
    EXPECT_TRUE(f.finish(sync));

    EXPECT_TRUE(inOrder(f.callNames(), {"currentFolderEventID", kind.scanCall, "storeFolderEventID",
                                        "registeredFolderSummaries", "searchImages", "tagSuggestions",
                                        "generatePendingThumbnails"}));
    const auto stored = f.service().calls("storeFolderEventID");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].paths, kind.scannedRoots);
    EXPECT_EQ(stored[0].number, 7) << "the position read before the scan, files failed or not";
    EXPECT_EQ(f.store->library().lastScanSummary(), summary);
    EXPECT_EQ(f.store->library().lastScanDiagnosticContext(),
              (ImageLibraryScanDiagnosticContext{kind.source, kind.scannedRoots, std::nullopt,
                                                 f.harness.clock.now()}));
    std::unordered_set<std::string> kept{"/ab/y.png", "/b/z.png"};
    if (kind.scannedRoots.size() == 2) kept.erase("/b/z.png");
    EXPECT_EQ(f.store->library().backgroundSync().backgroundSyncPlanner().locallyHandledTrashPaths, kept);
    for (const char* monitoring : {"registeredFolderRoots", "startMonitoring", "stopMonitoring"}) {
      EXPECT_FALSE(f.sawCall(monitoring)) << monitoring;
    }
    f.expectLibraryWorkEnded();
  }
}

TEST(LibrarySync, AFailureShowsItsTextAndKeepsTheLastScan) {
  struct Case {
    const SyncKind* kind;
    const char* failingCall;
    bool reloadsSidebar;  // the folder may have gone; the reload must not hide the error
  };
  const Case cases[] = {
      {&kManual, "restoreFolderAccess", false}, {&kManual, "scanLibrary", false},
      {&kManual, "storeFolderEventID", false},  {&kSingle, "syncRegisteredFolder", true},
      {&kSingle, "storeFolderEventID", true},
  };
  const auto previous = scanSummary(1, 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.kind->name) + ", " + c.failingCall);
    LibraryWorkflowFixture f;
    f.answer("restoreFolderAccess", Paths{"/a", "/b"});
    f.service().setRegisteredFolderSummaries(
        {testing::folderSummary("/a", RegisteredFolderAccessState::missing)});
    LibraryModelTestAccess::setLastScanSummary(f.store->library(), previous);
    f.fail(c.failingCall, libraryFailure("folder unavailable"));

    auto sync = c.kind->start(*f.store);
    EXPECT_FALSE(f.finish(sync));

    EXPECT_EQ(f.store->context().errorMessage(), "folder unavailable");
    EXPECT_EQ(f.store->library().registeredFolderSummaries().size(), c.reloadsSidebar ? 1u : 0u);
    EXPECT_FALSE(f.sawCall("searchImages"));
    EXPECT_EQ(f.store->library().lastScanSummary(), previous);
    EXPECT_FALSE(f.store->library().lastScanDiagnosticContext().has_value());
    f.expectLibraryWorkEnded();
  }
}

TEST(LibrarySync, AManualSyncWithNoAvailableFolderReloadsAndRecordsNothing) {
  LibraryWorkflowFixture f;
  f.answer("restoreFolderAccess", Paths{});
  f.service().setRegisteredFolderSummaries(
      {testing::folderSummary("/a", RegisteredFolderAccessState::missing)});
  const auto previous = scanSummary(1, 1);
  LibraryModelTestAccess::setLastScanSummary(f.store->library(), previous);

  auto sync = f.store->library().syncRegisteredFolders();
  EXPECT_FALSE(f.finish(sync));

  EXPECT_EQ(f.callNames(),
            (Paths{"restoreFolderAccess", "registeredFolderSummaries", "searchImages", "tagSuggestions"}));
  EXPECT_EQ(f.store->library().registeredFolderSummaries().size(), 1u);
  EXPECT_EQ(f.store->library().lastScanSummary(), previous);
  EXPECT_FALSE(f.store->context().errorMessage().has_value());
  f.expectLibraryWorkEnded();
}

TEST(LibrarySync, AnErrorEscapingAWorkflowStillLowersItsFlags) {
  const auto registration = [](ImageLibraryStore& s) -> QCoro::Task<bool> {
    const Paths folders{"/a"};
    co_await s.library().registerFolders(folders);
    co_return false;
  };
  const std::function<QCoro::Task<bool>(ImageLibraryStore&)> workflows[] = {registration, kManual.start,
                                                                            kSingle.start};
  for (const auto& start : workflows) {
    LibraryWorkflowFixture f;
    f.answer("restoreFolderAccess", Paths{"/a"});
    // A call that is not expected to fail at all, so no workflow catches its error.
    f.service().setAnswer("currentFolderEventID",
                          [](const testing::ServiceCall&) -> std::any { throw std::bad_alloc(); });

    auto workflow = start(*f.store);
    EXPECT_THROW(f.finish(workflow), std::bad_alloc);
    f.expectLibraryWorkEnded();
  }
}

}  // namespace
}  // namespace lorvex
