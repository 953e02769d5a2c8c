// Registering folders: the service steps in order from the position read before them, the roots
// searches include meanwhile, what is recorded and reloaded, failures before and after the service
// took the folders, requests refused while library work runs, and a store that goes while its scan
// is held.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <any>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "services/folders/canonical_folder_path.h"
#include "store/library/background_library_sync_test_access.h"
#include "store/library/library_model_test_access.h"
#include "store/library_workflow_fixture.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex {
namespace {

using testing::inOrder;
using testing::libraryFailure;
using testing::LibraryWorkflowFixture;
using testing::Paths;
using testing::scanSummary;

// A workflow without a result as one that answers false, so that every request fits one table.
QCoro::Task<bool> answeringFalse(QCoro::Task<void> workflow) {
  co_await workflow;
  co_return false;
}

TEST(LibraryWorkflows, GuardedRequestsLeaveNoTraceWhileLibraryWorkRuns) {
  enum class Busy { nothing, manualSync, trashing };
  struct Case {
    const char* name;
    Busy busy;
    std::function<QCoro::Task<bool>(ImageLibraryStore&)> request;
    const char* acceptedCall;  // the service call of a request that is not refused
  };
  const auto registerFolders = [](Paths urls) {
    return [urls](ImageLibraryStore& s) { return answeringFalse(s.library().registerFolders(urls)); };
  };
  const auto unregister = [](ImageLibraryStore& s) {
    return answeringFalse(s.library().unregisterFolder("/a"));
  };
  const auto reauthorize = [](ImageLibraryStore& s) {
    return answeringFalse(s.library().reauthorizeFolder("/picked", "/a"));
  };
  const auto syncAll = [](ImageLibraryStore& s) { return s.library().syncRegisteredFolders(); };
  const auto syncOne = [](ImageLibraryStore& s) { return s.library().syncRegisteredFolder("/a"); };
  const Case cases[] = {
      {"registering no folder", Busy::nothing, registerFolders({}), nullptr},
      {"registering during a manual sync", Busy::manualSync, registerFolders({"/new"}), nullptr},
      {"registering while trashing", Busy::trashing, registerFolders({"/new"}), nullptr},
      {"a manual sync during a manual sync", Busy::manualSync, syncAll, nullptr},
      {"a manual sync while trashing", Busy::trashing, syncAll, nullptr},
      {"a folder sync during a manual sync", Busy::manualSync, syncOne, nullptr},
      {"a folder sync while trashing", Busy::trashing, syncOne, nullptr},
      {"unregistering during a manual sync", Busy::manualSync, unregister, nullptr},
      {"unregistering while trashing", Busy::trashing, unregister, nullptr},
      {"reauthorising during a manual sync", Busy::manualSync, reauthorize, "reauthorizeFolder"},
      {"reauthorising while trashing", Busy::trashing, reauthorize, "reauthorizeFolder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LibraryWorkflowFixture f;
    f.answer("restoreFolderAccess", Paths{"/a"});
    std::optional<QCoro::Task<bool>> running;
    if (c.busy == Busy::manualSync) {
      f.service().hold("scanLibrary");
      running = f.store->library().syncRegisteredFolders();
      ASSERT_TRUE(f.service().waitForHeld("scanLibrary"));
    } else if (c.busy == Busy::trashing) {
      TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store->trash(), true);
    }
    const std::size_t callsBefore = f.service().calls().size();
    int fieldSignals = 0;
    for (auto signal : {&LibraryModel::isLibrarySyncInProgressChanged, &LibraryModel::isIndexingChanged}) {
      QObject::connect(&f.store->library(), signal, [&] { ++fieldSignals; });
    }
    QObject::connect(&f.store->context(), &StoreContext::errorMessageChanged, [&] { ++fieldSignals; });

    auto request = c.request(*f.store);
    if (c.acceptedCall == nullptr) {
      EXPECT_TRUE(request.isReady()) << "a refused request returns at once";
      EXPECT_FALSE(f.finish(request));
      EXPECT_EQ(f.callNames(callsBefore), Paths{});
      EXPECT_EQ(fieldSignals, 0) << "not even a flag raised and lowered";
    } else {
      f.finish(request);
      EXPECT_TRUE(f.sawCall(c.acceptedCall));
    }
    EXPECT_FALSE(f.store->context().errorMessage().has_value());
    f.service().releaseAll();
    if (running) f.finish(*running);
  }
}

TEST(FolderRegistration, RunsTheServiceStepsFromThePositionReadBeforeAndRecordsTheScan) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string base = dir.path().toStdString();
  const std::string real = base + "/photos";
  std::filesystem::create_directory(real);
  std::filesystem::create_directory_symlink(real, base + "/photos-link");
  const Paths chosen{real, base + "/photos-link", real + "/"};

  LibraryWorkflowFixture f;
  std::uint64_t eventID = 42;
  f.service().setAnswer("currentFolderEventID",
                        [&](const testing::ServiceCall&) { return std::any(eventID); });
  f.service().setRegisteredFolderSummaries({testing::folderSummary(real)});
  f.answer("registeredFolderRoots", RegisteredFolderRoots{{real}, {real}});
  auto planner = f.store->library().backgroundSync().backgroundSyncPlanner();
  planner.locallyHandledTrashPaths = {real + "/trashed.png", base + "/photos2/kept.png"};
  BackgroundLibrarySyncTestAccess::setBackgroundSyncPlanner(f.store->library().backgroundSync(), planner);
  f.service().hold("scanLibrary");

  auto registration = f.store->library().registerFolders(chosen);
  ASSERT_TRUE(f.service().waitForHeld("scanLibrary"));
  EXPECT_TRUE(f.store->library().isLibrarySyncInProgress());
  EXPECT_TRUE(f.store->library().isIndexing());
  EXPECT_EQ(f.store->library().activeFolderRegistrationRootPaths(), Paths{canonicalFolderPath(real)})
      << "one root however often the folder was chosen";
  EXPECT_EQ(f.service().calls("registerFolders").at(0).paths, chosen);
  EXPECT_EQ(f.service().heldCalls("scanLibrary").at(0).paths, chosen)
      << "the scan gets the folders as chosen";

  eventID = 99;  // changes made during the scan
  const auto summary = scanSummary(3, 2, {real + "/bad.png"});
  f.service().releaseWith(f.service().heldCalls("scanLibrary").at(0).id, summary);
  f.finish(registration);

  EXPECT_TRUE(inOrder(f.callNames(), {"currentFolderEventID", "registerFolders", "scanLibrary",
                                      "storeFolderEventID", "registeredFolderSummaries", "searchImages",
                                      "tagSuggestions", "registeredFolderRoots", "startMonitoring"}));
  EXPECT_TRUE(f.sawCall("generatePendingThumbnails"));
  const auto stored = f.service().calls("storeFolderEventID");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].paths, chosen);
  EXPECT_EQ(stored[0].number, 42) << "the position read before the scan, with a file failed";
  EXPECT_EQ(f.store->library().lastScanSummary(), summary);
  EXPECT_EQ(f.store->library().lastScanDiagnosticContext(),
            (ImageLibraryScanDiagnosticContext{ImageLibraryScanDiagnosticSource::folderRegistration, chosen,
                                               std::nullopt, f.harness.clock.now()}));
  EXPECT_EQ(f.store->library().backgroundSync().backgroundSyncPlanner().locallyHandledTrashPaths,
            std::unordered_set<std::string>{base + "/photos2/kept.png"});
  EXPECT_EQ(f.store->library().registeredFolderSummaries().size(), 1u);
  f.expectLibraryWorkEnded();
  EXPECT_FALSE(f.store->context().errorMessage().has_value());
}

TEST(FolderRegistration, AFailureShowsItsTextLastAndKeepsTheLastScan) {
  struct Case {
    const char* failingCall;
    bool serviceTookTheFolders;  // then the sidebar and monitoring follow them all the same
  };
  const Case cases[] = {{"registerFolders", false}, {"scanLibrary", true}, {"storeFolderEventID", true}};
  const auto previous = scanSummary(1, 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failingCall);
    LibraryWorkflowFixture f;
    LibraryModelTestAccess::setLastScanSummary(f.store->library(), previous);
    f.service().setRegisteredFolderSummaries({testing::folderSummary("/new")});
    f.answer("registeredFolderRoots", RegisteredFolderRoots{{"/new"}, {"/new"}});
    f.fail(c.failingCall, libraryFailure("volume gone"));

    auto registration = f.store->library().registerFolders({"/new"});
    f.finish(registration);

    EXPECT_EQ(f.store->context().errorMessage(), "volume gone") << "shown after the reloads that clear it";
    EXPECT_EQ(f.store->library().registeredFolderSummaries().size(), c.serviceTookTheFolders ? 1u : 0u);
    EXPECT_EQ(f.sawCall("startMonitoring"), c.serviceTookTheFolders);
    for (const char* refresh : {"searchImages", "tagSuggestions", "generatePendingThumbnails"}) {
      EXPECT_FALSE(f.sawCall(refresh)) << refresh;
    }
    EXPECT_EQ(f.store->library().lastScanSummary(), previous);
    EXPECT_FALSE(f.store->library().lastScanDiagnosticContext().has_value());
    f.expectLibraryWorkEnded();
  }
}

TEST(FolderRegistration, AFolderLeftWithoutAPositionIsScannedAndMonitoredRightAfterTheFailure) {
  LibraryWorkflowFixture f;
  std::mutex mutex;
  int scans = 0;
  std::optional<std::uint64_t> position;  // none until a scan stores one
  f.answer("registeredFolderRoots", RegisteredFolderRoots{{"/new"}, {"/new"}});
  f.answer("restoreFolderAccess", Paths{"/new"});
  f.answer("currentFolderEventID", std::uint64_t{7});
  f.service().setAnswer("scanLibrary", [&](const testing::ServiceCall&) -> std::any {
    const std::lock_guard lock(mutex);
    if (++scans == 1) std::rethrow_exception(libraryFailure("volume gone"));
    return scanSummary(1, 1);
  });
  f.service().setAnswer("storeFolderEventID", [&](const testing::ServiceCall& call) {
    const std::lock_guard lock(mutex);
    position = static_cast<std::uint64_t>(call.number);
    return std::any();
  });
  f.service().setAnswer("folderEventCheckpoint", [&](const testing::ServiceCall& call) {
    const std::lock_guard lock(mutex);
    if (!position) return std::any(std::optional<RegisteredFolderEventCheckpoint>());
    return std::any(std::optional(RegisteredFolderEventCheckpoint{call.paths, *position}));
  });

  auto registration = f.store->library().registerFolders({"/new"});
  f.finish(registration);

  // No time passes: the recovery loop's first full pass is not refused by the registration's flags.
  EXPECT_EQ(f.service().calls("scanLibrary").size(), 2u);
  EXPECT_TRUE(
      inOrder(f.callNames(), {"registerFolders", "scanLibrary", "folderEventCheckpoint", "scanLibrary",
                              "storeFolderEventID", "folderEventCheckpoint", "startMonitoring"}));
  EXPECT_EQ(f.service().calls("startMonitoring").back().number, 7);
  EXPECT_TRUE(f.store->library().backgroundSync().backgroundSyncPlanner().isMonitoring);
  EXPECT_FALSE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
      f.store->library().backgroundSync()));
  f.expectLibraryWorkEnded();
}

TEST(FolderRegistration, AStoreDestroyedWhileItsScanIsHeldLeavesTheScanAlone) {
  LibraryWorkflowFixture f;
  f.service().hold("scanLibrary");
  auto registration = f.store->library().registerFolders({"/new"});
  ASSERT_TRUE(f.service().waitForHeld("scanLibrary"));
  const auto scan = f.service().heldCalls("scanLibrary").at(0);

  f.store.reset();  // returns with the scan still held: nothing waits for the pool
  EXPECT_TRUE(scan.stop.stop_requested()) << "the scan is asked to stop after the file in hand";
  const std::size_t callsBefore = f.service().calls().size();
  f.service().release(scan.id);
  f.harness.drainEvents();
  registration = QCoro::Task<void>();  // frees the frame the store left behind
  f.harness.drainEvents();
  EXPECT_FALSE(inOrder(f.callNames(callsBefore), {"registeredFolderSummaries"}))
      << "nothing after the scan runs for a store that is gone";
}

}  // namespace
}  // namespace lorvex
