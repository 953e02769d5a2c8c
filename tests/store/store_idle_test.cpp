#include "store/store_idle.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <latch>
#include <memory>
#include <string>
#include <vector>

#include "store/async/store_task.h"
#include "store/concepts/tag_concepts_model_test_access.h"
#include "store/event_loop.h"
#include "store/library/background_library_sync_test_access.h"
#include "store/library/library_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "store/review/review_model_test_access.h"
#include "store/suggestions/suggestions_model_test_access.h"
#include "store/support/store_harness.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex {
namespace {

using namespace std::chrono_literals;

// Generous: the waits below that must succeed end as soon as the store is idle.
constexpr std::chrono::milliseconds kLongEnough = 10s;
// For waits that must fail: what they wait for is held until the test lets it go.
constexpr std::chrono::milliseconds kBriefly = 20ms;

// A flow asleep on the fake clock, which no test advances: never finishes by itself.
template <typename T>
StoreTask<T> sleepingFlow(ImageLibraryStore& store) {
  auto body = [&store](std::stop_token stop) -> QCoro::Task<T> {
    auto frame = co_await store.context().scope().enter();
    co_await store.context().clock().sleep(3'600'000'000'000, stop);
    if constexpr (!std::is_void_v<T>) co_return T{};
  };
  return startStoreTask(store.context().scope(), body);
}

// A flow that has already ended.
template <typename T>
StoreTask<T> finishedFlow(ImageLibraryStore& store) {
  auto body = [](std::stop_token) -> QCoro::Task<T> {
    if constexpr (std::is_void_v<T>) {
      co_return;
    } else {
      co_return T{};
    }
  };
  return startStoreTask(store.context().scope(), body);
}

TEST(StoreIdle, EveryBusyFlagAndEveryUnfinishedFlowKeepsTheStoreUnsettled) {
  using Store = ImageLibraryStore;
  using Access = ResultsModelTestAccess;
  struct Case {
    const char* name;
    std::function<void(Store&)> makeBusy;
    std::function<void(Store&)> finish;  // leaves a finished handle in place, or clears the flag
  };
  // One row per field: a flag set, or a flow handle of a flow still running, each set through the
  // test access of the model that owns it.
  auto resultsFlag = [](const char* name, void (*setter)(ResultsModel&, bool)) {
    return Case{name, [setter](Store& s) { setter(s.results(), true); },
                [setter](Store& s) { setter(s.results(), false); }};
  };
  auto resultsFlow = [](const char* name, auto setter, auto valueType) {
    using T = typename decltype(valueType)::value_type;
    return Case{name, [setter](Store& s) { setter(s.results(), sleepingFlow<T>(s)); },
                [setter](Store& s) { setter(s.results(), finishedFlow<T>(s)); }};
  };
  using Library = LibraryModelTestAccess;
  auto libraryFlag = [](const char* name, void (*setter)(LibraryModel&, bool)) {
    return Case{name, [setter](Store& s) { setter(s.library(), true); },
                [setter](Store& s) { setter(s.library(), false); }};
  };
  auto libraryFlow = [](const char* name, void (*setter)(LibraryModel&, StoreTask<void>)) {
    return Case{name, [setter](Store& s) { setter(s.library(), sleepingFlow<void>(s)); },
                [setter](Store& s) { setter(s.library(), finishedFlow<void>(s)); }};
  };
  using Sync = BackgroundLibrarySyncTestAccess;
  auto syncFlag = [](const char* name, void (*setter)(BackgroundLibrarySync&, bool)) {
    return Case{name, [setter](Store& s) { setter(s.library().backgroundSync(), true); },
                [setter](Store& s) { setter(s.library().backgroundSync(), false); }};
  };
  auto syncFlow = [](const char* name, void (*setter)(BackgroundLibrarySync&, StoreTask<void>)) {
    return Case{name, [setter](Store& s) { setter(s.library().backgroundSync(), sleepingFlow<void>(s)); },
                [setter](Store& s) { setter(s.library().backgroundSync(), finishedFlow<void>(s)); }};
  };
  auto reviewFlow = [](const char* name, void (*setter)(ReviewModel&, StoreTask<void>)) {
    return Case{name, [setter](Store& s) { setter(s.review(), sleepingFlow<void>(s)); },
                [setter](Store& s) { setter(s.review(), finishedFlow<void>(s)); }};
  };
  const std::vector<Case> cases{
      resultsFlag("isLoading", &Access::setIsLoading),
      resultsFlag("isLoadingNextPage", &Access::setIsLoadingNextPage),
      resultsFlag("isBackgroundRefreshingResults", &Access::setIsBackgroundRefreshingResults),
      libraryFlag("isIndexing", &Library::setIsIndexing),
      libraryFlag("isLibrarySyncInProgress", &Library::setIsLibrarySyncInProgress),
      syncFlag("isBackgroundSyncing", &Sync::setIsBackgroundSyncing),
      libraryFlag("isPreparingLibrary", &Library::setIsPreparingLibrary),
      libraryFlag("isLoadingRegisteredFolders", &Library::setIsLoadingRegisteredFolders),
      Case{"isTagSuggestionLoading",
           [](Store& s) { SuggestionsModelTestAccess::setIsTagSuggestionLoading(s.suggestions(), true); },
           [](Store& s) { SuggestionsModelTestAccess::setIsTagSuggestionLoading(s.suggestions(), false); }},
      Case{"isModelSuggestionLoading",
           [](Store& s) { SuggestionsModelTestAccess::setIsModelSuggestionLoading(s.suggestions(), true); },
           [](Store& s) { SuggestionsModelTestAccess::setIsModelSuggestionLoading(s.suggestions(), false); }},
      Case{"isTrashingDeleteCandidates",
           [](Store& s) { TrashModelTestAccess::setIsTrashingDeleteCandidates(s.trash(), true); },
           [](Store& s) { TrashModelTestAccess::setIsTrashingDeleteCandidates(s.trash(), false); }},
      Case{
          "isTagConceptMutationInProgress",
          [](Store& s) { TagConceptsModelTestAccess::setIsTagConceptMutationInProgress(s.concepts(), true); },
          [](Store& s) {
            TagConceptsModelTestAccess::setIsTagConceptMutationInProgress(s.concepts(), false);
          }},
      resultsFlow("refreshSearchTask", &Access::setRefreshSearchTask, StoreTask<std::vector<RecordRef>>()),
      resultsFlow("loadMoreTask", &Access::setLoadMoreTask, StoreTask<bool>()),
      resultsFlow("backgroundResultRefreshTask", &Access::setBackgroundResultRefreshTask, StoreTask<void>()),
      resultsFlow("backgroundThumbnailGenerationTask", &Access::setBackgroundThumbnailGenerationTask,
                  StoreTask<void>()),
      syncFlow("backgroundLibrarySyncTask", &Sync::setBackgroundLibrarySyncTask),
      syncFlow("backgroundLibrarySyncMonitorRecoveryTask",
               &Sync::setBackgroundLibrarySyncMonitorRecoveryTask),
      libraryFlow("launchWorkflowTask", &Library::setLaunchWorkflowTask),
      libraryFlow("thumbnailCacheMaintenanceTask", &Library::setThumbnailCacheMaintenanceTask),
      Case{"deleteCandidateTrashReviewLoadMoreTask",
           [](Store& s) { TrashModelTestAccess::setLoadMoreTask(s.trash(), sleepingFlow<bool>(s)); },
           [](Store& s) { TrashModelTestAccess::setLoadMoreTask(s.trash(), finishedFlow<bool>(s)); }},
      reviewFlow("deleteCandidateFeedbackDismissTask",
                 &ReviewModelTestAccess::setDeleteCandidateFeedbackDismissTask),
      reviewFlow("deleteCandidateRestoreTask", &ReviewModelTestAccess::setDeleteCandidateRestoreTask),
  };
  testing::StoreHarness harness;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<ImageLibraryStore> store = harness.makeStore();
    EXPECT_TRUE(isStoreSettled(*store));
    EXPECT_TRUE(waitUntilStoreIdle(*store, kLongEnough));
    c.makeBusy(*store);
    EXPECT_FALSE(isStoreSettled(*store));
    EXPECT_FALSE(waitUntilStoreIdle(*store, kBriefly));
    c.finish(*store);
    EXPECT_TRUE(isStoreSettled(*store));
    EXPECT_TRUE(waitUntilStoreIdle(*store, kLongEnough));
  }
}

TEST(StoreIdle, TheWaitDeliversEveryEventPostedWhileItRuns) {
  testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store = harness.makeStore();
  // Each link of the chain posts the next, alternating queued calls and zero-length timers.
  constexpr int kLinks = 60;
  int delivered = 0;
  std::function<void()> link = [&] {
    if (++delivered == kLinks) return;
    if (delivered % 2 == 0) {
      QMetaObject::invokeMethod(QCoreApplication::instance(), link, Qt::QueuedConnection);
    } else {
      QTimer::singleShot(0, QCoreApplication::instance(), link);
    }
  };
  QMetaObject::invokeMethod(QCoreApplication::instance(), link, Qt::QueuedConnection);

  EXPECT_TRUE(waitUntilStoreIdle(*store, kLongEnough));
  EXPECT_EQ(delivered, kLinks);
}

TEST(StoreIdle, AHeldLibraryCallKeepsTheStoreBusyUntilItsResultIsApplied) {
  testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store = harness.makeStore();
  RegisteredFolderSummary photos;
  photos.path = "/photos";
  harness.service->setRegisteredFolderSummaries({photos});
  harness.service->hold("registeredFolderSummaries");
  QCoro::Task<void> load = store->library().loadRegisteredFolderSummaries();
  ASSERT_TRUE(harness.service->waitForHeld("registeredFolderSummaries"));

  EXPECT_FALSE(waitUntilStoreIdle(*store, kBriefly));
  EXPECT_FALSE(load.isReady());

  harness.service->release(harness.service->heldCalls("registeredFolderSummaries").front().id);
  EXPECT_TRUE(waitUntilStoreIdle(*store, kLongEnough));
  EXPECT_TRUE(load.isReady());
  EXPECT_FALSE(store->library().isLoadingRegisteredFolders());
  ASSERT_EQ(store->library().registeredFolderSummaries().size(), 1u);
  EXPECT_EQ(store->library().registeredFolderSummaries().front().path, "/photos");
}

TEST(StoreIdle, APoolJobOfTheStoreCountsUntilItHasEndedAndWhatItPostedIsDelivered) {
  testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store = harness.makeStore();
  for (QThreadPool* pool : {&store->context().userInitiatedPool(), &store->context().utilityPool()}) {
    SCOPED_TRACE(pool == &store->context().utilityPool() ? "utility pool" : "user-initiated pool");
    auto release = std::make_shared<std::latch>(1);
    bool applied = false;
    // No flag or handle tells of this job: only the pool does, and then its posted result.
    pool->start([release, &applied] {
      release->wait();
      QMetaObject::invokeMethod(
          QCoreApplication::instance(), [&applied] { applied = true; }, Qt::QueuedConnection);
    });
    EXPECT_FALSE(waitUntilStoreIdle(*store, kBriefly));
    release->count_down();
    EXPECT_TRUE(waitUntilStoreIdle(*store, kLongEnough));
    EXPECT_TRUE(applied);
  }
}

}  // namespace
}  // namespace lorvex
