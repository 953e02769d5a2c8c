// Unregistering and reauthorising folders: what follows a success (sidebar, results limited to the
// new folder set, monitoring restarted, the message cleared only by a reauthorisation), what a
// failure leaves alone, and a reauthorisation that makes monitoring complete again.
#include <gtest/gtest.h>

#include <any>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library_workflow_fixture.h"
#include "services/folders/folder_access_managing.h"

namespace lorvex {
namespace {

using testing::inOrder;
using testing::LibraryWorkflowFixture;
using testing::libraryFailure;
using testing::ServiceCall;

using Paths = std::vector<std::string>;

struct FolderChange {
  const char* name;
  std::function<QCoro::Task<void>(ImageLibraryStore&)> start;
  const char* serviceCall;
};

const FolderChange kUnregister{"unregister", [](ImageLibraryStore& s) { return s.unregisterFolder("/a"); },
                               "unregisterFolder"};
const FolderChange kReauthorize{"reauthorise", [](ImageLibraryStore& s) { return s.reauthorizeFolder("/picked/b", "/b"); },
                                "reauthorizeFolder"};

void answerRoots(LibraryWorkflowFixture& f, Paths registered, Paths available) {
  f.service().setAnswer("registeredFolderRoots", [registered, available](const ServiceCall&) {
    return std::make_any<RegisteredFolderRoots>(RegisteredFolderRoots{registered, available});
  });
}

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
    f.store->setErrorMessage("an older message");
    f.service().setRegisteredFolderSummaries({testing::folderSummary("/b")});
    answerRoots(f, {"/b"}, {"/b"});
    f.service().setAnswer("startMonitoring",
                          [](const ServiceCall&) -> std::any { std::rethrow_exception(libraryFailure("watch limit reached")); });

    auto change = c.change->start(*f.store);
    f.finish(change);

    EXPECT_TRUE(inOrder(f.callNames(), {c.change->serviceCall, "registeredFolderSummaries", "searchImages",
                                        "stopMonitoring", "registeredFolderRoots", "startMonitoring"}));
    EXPECT_EQ(f.service().calls(c.change->serviceCall).at(0).paths, c.serviceArguments);
    const auto searches = f.service().calls("searchImages");
    ASSERT_FALSE(searches.empty());
    EXPECT_EQ(searches.back().query->rootPaths, Paths{"/b"}) << "results follow the new folder set";
    EXPECT_EQ(f.store->registeredFolderSummaries().size(), 1u);
    EXPECT_EQ(f.store->errorMessage(), c.errorAfter);
    EXPECT_FALSE(f.sawCall("scanLibrary"));
    EXPECT_FALSE(f.store->isLibrarySyncInProgress()) << "no busy flag of their own";
  }
}

TEST(FolderAccess, AFailureShowsTheServiceTextAndRefreshesNothing) {
  struct Case {
    const FolderChange* change;
    std::exception_ptr error;
    std::string text;
  };
  const auto mismatch = FolderAccessManagerError::reauthorizationPathMismatch("/b", "/picked/b");
  const Case cases[] = {
      {&kUnregister, libraryFailure("database is locked"), "database is locked"},
      {&kReauthorize, std::make_exception_ptr(mismatch), mismatch.localizedDescription()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change->name);
    LibraryWorkflowFixture f;
    const auto error = c.error;
    f.service().setAnswer(c.change->serviceCall, [error](const ServiceCall&) -> std::any { std::rethrow_exception(error); });

    auto change = c.change->start(*f.store);
    f.finish(change);

    EXPECT_EQ(f.store->errorMessage(), c.text);
    EXPECT_EQ(f.callNames(), Paths{c.change->serviceCall});
  }
}

TEST(FolderAccess, ReauthorisingTheLastMissingFolderMakesMonitoringComplete) {
  LibraryWorkflowFixture f;
  answerRoots(f, {"/a", "/b"}, {"/a"});
  f.store->startBackgroundLibrarySync(2.0, 30'000'000'000);
  f.harness.drainEvents();
  ASSERT_TRUE(f.store->backgroundLibrarySyncMonitorRecoveryTask()) << "one folder missing: recovery runs";
  EXPECT_EQ(f.service().calls("startMonitoring").back().paths, Paths{"/a"});

  answerRoots(f, {"/a", "/b"}, {"/a", "/b"});
  auto change = f.store->reauthorizeFolder("/picked/b", "/b");
  f.finish(change);

  EXPECT_EQ(f.service().calls("startMonitoring").back().paths, (Paths{"/a", "/b"}));
  EXPECT_FALSE(f.store->backgroundLibrarySyncMonitorRecoveryTask());
  const std::size_t evaluations = f.service().calls("registeredFolderRoots").size();
  f.harness.clock.advance(60'000'000'000);
  f.harness.drainEvents();
  EXPECT_EQ(f.service().calls("registeredFolderRoots").size(), evaluations) << "no recovery loop afterwards";
}

}  // namespace
}  // namespace lorvex
