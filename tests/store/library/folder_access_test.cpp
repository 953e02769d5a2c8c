// Unregistering and reauthorising folders: what follows a success (sidebar, results limited to the
// new folder set, monitoring restarted, the message cleared only by a reauthorisation), what a
// failure leaves alone, and a reauthorisation that makes monitoring complete again.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "services/folders/folder_access_managing.h"
#include "store/library/background_library_sync_test_access.h"
#include "store/library_workflow_fixture.h"

namespace lorvex {
namespace {

using testing::inOrder;
using testing::libraryFailure;
using testing::LibraryWorkflowFixture;
using testing::Paths;

struct FolderChange {
  const char* name;
  std::function<QCoro::Task<void>(ImageLibraryStore&)> start;
  const char* serviceCall;
};

const FolderChange kUnregister{"unregister",
                               [](ImageLibraryStore& s) { return s.library().unregisterFolder("/a"); },
                               "unregisterFolder"};
const FolderChange kReauthorize{
    "reauthorise", [](ImageLibraryStore& s) { return s.library().reauthorizeFolder("/picked/b", "/b"); },
    "reauthorizeFolder"};

TEST(FolderAccess, ASuccessReloadsTheFolderSetAndRestartsMonitoring) {
  struct Case {
    const FolderChange* change;
    Paths serviceArguments;
    std::optional<std::string> errorAfter;  // monitoring fails to start again: only reauthorising clears it
  };
  const Case cases[] = {
      {&kUnregister, {"/a"}, "watch limit reached"},
      {&kReauthorize, {"/picked/b", "/b"}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change->name);
    LibraryWorkflowFixture f;
    f.store->context().setErrorMessage("an older message");
    f.service().setRegisteredFolderSummaries({testing::folderSummary("/b")});
    f.answer("registeredFolderRoots", RegisteredFolderRoots{{"/b"}, {"/b"}});
    f.fail("startMonitoring", libraryFailure("watch limit reached"));

    auto change = c.change->start(*f.store);
    f.finish(change);

    EXPECT_TRUE(inOrder(f.callNames(), {c.change->serviceCall, "registeredFolderSummaries", "searchImages",
                                        "stopMonitoring", "registeredFolderRoots", "startMonitoring"}));
    EXPECT_EQ(f.service().calls(c.change->serviceCall).at(0).paths, c.serviceArguments);
    EXPECT_EQ(f.service().calls("searchImages").back().query->rootPaths, Paths{"/b"})
        << "results follow the new folder set";
    EXPECT_EQ(f.store->context().errorMessage(), c.errorAfter);
    EXPECT_FALSE(f.sawCall("scanLibrary"));
  }
}

TEST(FolderAccess, AFailureShowsTheServiceTextAndRefreshesNothing) {
  const auto mismatch = FolderAccessManagerError::reauthorizationPathMismatch("/b", "/picked/b");
  const struct {
    const FolderChange* change;
    std::exception_ptr error;
    std::string text;
  } cases[] = {
      {&kUnregister, libraryFailure("database is locked"), "database is locked"},
      {&kReauthorize, std::make_exception_ptr(mismatch), mismatch.localizedDescription()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change->name);
    LibraryWorkflowFixture f;
    f.fail(c.change->serviceCall, c.error);

    auto change = c.change->start(*f.store);
    f.finish(change);

    EXPECT_EQ(f.store->context().errorMessage(), c.text);
    EXPECT_EQ(f.callNames(), Paths{c.change->serviceCall});
  }
}

TEST(FolderAccess, ReauthorisingTheLastMissingFolderMakesMonitoringComplete) {
  LibraryWorkflowFixture f;
  f.answer("registeredFolderRoots", RegisteredFolderRoots{{"/a", "/b"}, {"/a"}});
  f.store->library().backgroundSync().startBackgroundLibrarySync(2.0, 30'000'000'000);
  f.harness.drainEvents();
  ASSERT_TRUE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
      f.store->library().backgroundSync()))
      << "one folder missing: recovery runs";

  f.answer("registeredFolderRoots", RegisteredFolderRoots{{"/a", "/b"}, {"/a", "/b"}});
  auto change = f.store->library().reauthorizeFolder("/picked/b", "/b");
  f.finish(change);

  EXPECT_EQ(f.service().calls("startMonitoring").back().paths, (Paths{"/a", "/b"}));
  EXPECT_FALSE(BackgroundLibrarySyncTestAccess::backgroundLibrarySyncMonitorRecoveryTask(
      f.store->library().backgroundSync()));
  const std::size_t evaluations = f.service().calls("registeredFolderRoots").size();
  f.harness.clock.advance(60'000'000'000);
  f.harness.drainEvents();
  EXPECT_EQ(f.service().calls("registeredFolderRoots").size(), evaluations) << "no recovery loop afterwards";
}

}  // namespace
}  // namespace lorvex
