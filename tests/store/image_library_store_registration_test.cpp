// Registering folders: the service steps in order with the position read before them, the roots
// searches include meanwhile, what is recorded and reloaded, failures before and after the service
// took the folders, requests refused while library work runs, and a store that goes while its scan
// is held.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "library_workflow_fixture.h"
#include "services/folders/canonical_folder_path.h"

namespace lorvex {
namespace {

using testing::inOrder;
using testing::LibraryWorkflowFixture;
using testing::libraryFailure;
using testing::scanSummary;

// Counts the signals of the fields a workflow raises or reports through.
struct WorkflowSignals {
  explicit WorkflowSignals(ImageLibraryStore& store) {
    const auto count = [this] { ++total; };
    QObject::connect(&store, &ImageLibraryStore::isLibrarySyncInProgressChanged, count);
    QObject::connect(&store, &ImageLibraryStore::isIndexingChanged, count);
    QObject::connect(&store, &ImageLibraryStore::activeFolderRegistrationRootPathsChanged, count);
    QObject::connect(&store, &ImageLibraryStore::errorMessageChanged, count);
    QObject::connect(&store, &ImageLibraryStore::indexingProgressChanged, count);
    QObject::connect(&store, &ImageLibraryStore::lastScanSummaryChanged, count);
  }
  int total = 0;
};

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
    const char* serviceCall;  // the call an accepted request makes
    bool refused;
  };
  const auto registerFolders = [](std::vector<std::string> urls) {
    return [urls](ImageLibraryStore& store) { return answeringFalse(store.registerFolders(urls)); };
  };
  const auto unregister = [](ImageLibraryStore& store) { return answeringFalse(store.unregisterFolder("/a")); };
  const auto reauthorize = [](ImageLibraryStore& store) {
    return answeringFalse(store.reauthorizeFolder("/picked", "/a"));
  };
  const auto syncAll = [](ImageLibraryStore& store) { return store.syncRegisteredFolders(); };
  const auto syncOne = [](ImageLibraryStore& store) { return store.syncRegisteredFolder("/a"); };
  const Case cases[] = {
      {"registering no folder", Busy::nothing, registerFolders({}), "registerFolders", true},
      {"registering during a manual sync", Busy::manualSync, registerFolders({"/new"}), "registerFolders", true},
      {"registering while trashing", Busy::trashing, registerFolders({"/new"}), "registerFolders", true},
      {"a manual sync during a manual sync", Busy::manualSync, syncAll, "restoreFolderAccess", true},
      {"a manual sync while trashing", Busy::trashing, syncAll, "restoreFolderAccess", true},
      {"a folder sync during a manual sync", Busy::manualSync, syncOne, "syncRegisteredFolder", true},
      {"a folder sync while trashing", Busy::trashing, syncOne, "syncRegisteredFolder", true},
      {"unregistering during a manual sync", Busy::manualSync, unregister, "unregisterFolder", true},
      {"unregistering while trashing", Busy::trashing, unregister, "unregisterFolder", true},
      {"reauthorising during a manual sync", Busy::manualSync, reauthorize, "reauthorizeFolder", false},
      {"reauthorising while trashing", Busy::trashing, reauthorize, "reauthorizeFolder", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LibraryWorkflowFixture f;
    f.service().setAnswer("restoreFolderAccess",
                          [](const testing::ServiceCall&) { return std::make_any<std::vector<std::string>>(std::vector<std::string>{"/a"}); });
    std::optional<QCoro::Task<bool>> running;
    if (c.busy == Busy::manualSync) {
      f.service().hold("scanLibrary");
      running = f.store->syncRegisteredFolders();
      ASSERT_TRUE(f.service().waitForHeld("scanLibrary"));
    } else if (c.busy == Busy::trashing) {
      f.store->setIsTrashingDeleteCandidates(true);
    }
    const std::uint64_t before = f.lastCallID();
    WorkflowSignals counted(*f.store);

    auto request = c.request(*f.store);
    if (c.refused) {
      EXPECT_TRUE(request.isReady()) << "a refused request returns at once";
      EXPECT_FALSE(QCoro::waitFor(request));
      f.harness.drainEvents();
      EXPECT_TRUE(f.callNames(before).empty());
      EXPECT_EQ(counted.total, 0);
    } else {
      f.finish(request);
      EXPECT_EQ(f.service().calls(c.serviceCall).size(), 1u);
    }
    EXPECT_FALSE(f.store->errorMessage().has_value());
    f.service().releaseAll();
    if (running) f.finish(*running);
  }
}

TEST(FolderRegistration, RunsTheServiceStepsFromThePositionReadBeforeAndRecordsTheScan) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string real = dir.path().toStdString() + "/photos";
  const std::string link = dir.path().toStdString() + "/photos-link";
  std::filesystem::create_directory(real);
  std::filesystem::create_directory_symlink(real, link);
  const std::vector<std::string> chosen{real, link, real + "/"};

  LibraryWorkflowFixture f;
  f.answerEventIDs("currentFolderEventID", {42, 99});
  f.service().setRegisteredFolderSummaries({testing::folderSummary(real)});
  f.service().setAnswer("registeredFolderRoots", [real](const testing::ServiceCall&) {
    return std::make_any<RegisteredFolderRoots>(RegisteredFolderRoots{{real}, {real}});
  });
  auto planner = f.store->backgroundSyncPlanner();
  planner.locallyHandledTrashPaths = {real + "/trashed.png", dir.path().toStdString() + "/photos2/kept.png"};
  f.store->setBackgroundSyncPlanner(planner);
  f.service().hold("scanLibrary");

  auto registration = f.store->registerFolders(chosen);
  ASSERT_TRUE(f.service().waitForHeld("scanLibrary"));
  EXPECT_TRUE(f.store->isLibrarySyncInProgress());
  EXPECT_TRUE(f.store->isIndexing());
  EXPECT_EQ(f.store->activeFolderRegistrationRootPaths(), std::vector<std::string>{canonicalFolderPath(real)})
      << "one root however often the folder was chosen";
  EXPECT_EQ(f.service().calls("registerFolders").at(0).paths, chosen);
  EXPECT_EQ(f.service().heldCalls("scanLibrary").at(0).paths, chosen) << "the scan gets the folders as chosen";

  const auto summary = scanSummary(3, 2, {real + "/bad.png"});
  f.service().releaseWith(f.service().heldCalls("scanLibrary").at(0).id, summary);
  f.finish(registration);

  EXPECT_TRUE(inOrder(f.callNames(), {"currentFolderEventID", "registerFolders", "scanLibrary", "storeFolderEventID",
                                      "registeredFolderSummaries", "searchImages", "tagSuggestions",
                                      "registeredFolderRoots"}));
  const auto stored = f.service().calls("storeFolderEventID");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].paths, chosen);
  EXPECT_EQ(stored[0].number, 42) << "the position read before the scan, with a file failed";
  EXPECT_EQ(f.store->lastScanSummary(), summary);
  EXPECT_EQ(f.store->lastScanDiagnosticContext(),
            (ImageLibraryScanDiagnosticContext{ImageLibraryScanDiagnosticSource::folderRegistration, chosen,
                                               std::nullopt, f.harness.clock.now()}));
  EXPECT_EQ(f.store->backgroundSyncPlanner().locallyHandledTrashPaths,
            std::unordered_set<std::string>{dir.path().toStdString() + "/photos2/kept.png"});
  EXPECT_EQ(f.store->registeredFolderSummaries().size(), 1u);
  f.expectLibraryWorkEnded();
  EXPECT_FALSE(f.store->errorMessage().has_value());
}

TEST(FolderRegistration, AFailureShowsItsTextLastAndKeepsTheLastScan) {
  struct Case {
    const char* name;
    const char* failingCall;
    bool serviceTookTheFolders;
  };
  const Case cases[] = {
      {"registering fails", "registerFolders", false},
      {"the scan fails", "scanLibrary", true},
      {"storing the position fails", "storeFolderEventID", true},
  };
  const auto previous = scanSummary(1, 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LibraryWorkflowFixture f;
    f.store->setLastScanSummary(previous);
    f.service().setRegisteredFolderSummaries({testing::folderSummary("/new")});
    f.service().setAnswer("registeredFolderRoots", [](const testing::ServiceCall&) {
      return std::make_any<RegisteredFolderRoots>(RegisteredFolderRoots{{"/new"}, {"/new"}});
    });
    f.service().setAnswer(c.failingCall, [](const testing::ServiceCall&) -> std::any { std::rethrow_exception(libraryFailure("volume gone")); });

    auto registration = f.store->registerFolders({"/new"});
    f.finish(registration);

    EXPECT_EQ(f.store->errorMessage(), "volume gone") << "shown after the reloads that clear it";
    EXPECT_EQ(f.sawCall("registeredFolderSummaries"), c.serviceTookTheFolders);
    EXPECT_EQ(f.store->registeredFolderSummaries().size(), c.serviceTookTheFolders ? 1u : 0u);
    EXPECT_EQ(f.sawCall("startMonitoring"), c.serviceTookTheFolders) << "monitoring follows registered folders";
    EXPECT_FALSE(f.sawCall("searchImages"));
    EXPECT_FALSE(f.sawCall("tagSuggestions"));
    EXPECT_FALSE(f.sawCall("generatePendingThumbnails"));
    EXPECT_EQ(f.store->lastScanSummary(), previous);
    EXPECT_FALSE(f.store->lastScanDiagnosticContext().has_value());
    f.expectLibraryWorkEnded();
  }
}

TEST(FolderRegistration, AStoreDestroyedWhileItsScanIsHeldLeavesTheScanAlone) {
  LibraryWorkflowFixture f;
  f.service().hold("scanLibrary");
  auto registration = f.store->registerFolders({"/new"});
  ASSERT_TRUE(f.service().waitForHeld("scanLibrary"));
  const auto scan = f.service().heldCalls("scanLibrary").at(0);

  f.store.reset();  // returns with the scan still held: it never waits for the pool
  EXPECT_TRUE(scan.stop.stop_requested()) << "the scan is asked to stop after the file in hand";
  const std::uint64_t before = f.lastCallID();

  f.service().release(scan.id);
  f.harness.drainEvents();
  registration = QCoro::Task<void>();  // frees the frame the destroyed store left behind
  f.harness.drainEvents();
  for (const auto& name : f.callNames(before)) {
    EXPECT_NE(name, "registeredFolderSummaries") << "nothing after the scan runs for a store that is gone";
  }
}

}  // namespace
}  // namespace lorvex
