// Background result refreshes: one at a time, refused without a trace while another runs, the
// full window re-read at its loaded size with the focus kept, the leading page merged in front,
// and the post-sync refresh replacing a running refresh of either mode and waiting for its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "store/library/library_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "store/search_flows.h"
#include "store/store_records.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using Mode = ResultsModel::BackgroundResultRefreshMode;
using testing::imagePath;
using testing::imagePaths;
using testing::libraryFailure;
using testing::libraryImages;
using testing::pathsOf;
using testing::startFlow;

struct RefreshFixture {
  RefreshFixture(int loaded, int libraryCount, testing::StoreOptions options = {})
      : store(harness.makeStore(options)) {
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {testing::kLibraryRoot});
    harness.service->setRecords(libraryImages(0, libraryCount));
    if (loaded > 0 && !options.needsLiveServicePreparation) {
      ImageLibraryStore* self = store.get();
      startFlow(*store, [self, loaded](std::stop_token stop) {
        return self->results().refreshResults(loaded, false, stop);
      });
      harness.drainEvents();
    }
  }

  StoreTask<void> afterSync() {
    ImageLibraryStore* self = store.get();
    return startFlow(
        *store, [self](std::stop_token stop) { return self->results().refreshResultWindowAfterSync(stop); });
  }

  testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
};

TEST(ImageLibraryStoreBackgroundRefresh,
     AScheduleIsRefusedWithoutATraceWhileAnotherRunsOrBeforeTheLiveService) {
  {
    SCOPED_TRACE("another refresh runs");
    RefreshFixture fixture(500, 800);
    auto& service = *fixture.harness.service;
    service.hold("searchImages");
    ASSERT_TRUE(fixture.store->results().scheduleBackgroundResultRefresh(Mode::leadingPage));
    const int id = ResultsModelTestAccess::backgroundResultRefreshID(fixture.store->results());
    EXPECT_FALSE(fixture.store->results().scheduleBackgroundResultRefresh(Mode::fullWindow));
    EXPECT_EQ(ResultsModelTestAccess::backgroundResultRefreshID(fixture.store->results()), id);
    EXPECT_EQ(fixture.store->results().activeBackgroundResultRefreshMode(), Mode::leadingPage);
    service.waitForHeld("searchImages", 1);
    EXPECT_EQ(service.heldCalls("searchImages").size(), 1u);
    service.releaseAll();
    fixture.harness.drainEvents();
    EXPECT_FALSE(ResultsModelTestAccess::backgroundResultRefreshTask(fixture.store->results()));
    EXPECT_FALSE(fixture.store->results().isBackgroundRefreshingResults());
  }
  {
    SCOPED_TRACE("no live service yet");
    RefreshFixture fixture(0, 10, testing::notReadyStoreOptions());
    EXPECT_FALSE(fixture.store->results().scheduleBackgroundResultRefresh(Mode::fullWindow));
    EXPECT_EQ(ResultsModelTestAccess::backgroundResultRefreshID(fixture.store->results()), 0);
    fixture.harness.drainEvents();
    EXPECT_TRUE(fixture.harness.service->calls("searchImages").empty());
  }
}

TEST(ImageLibraryStoreBackgroundRefresh, AFullWindowRefreshReadsAsManyRecordsAsAreLoaded) {
  struct Case {
    int loaded;
    int libraryCount;
    std::int64_t askedRows;
    std::size_t shown;
    bool hasMore;
  };
  const std::vector<Case> cases = {
      {1200, 3000, 1201, 1200, true},
      {30, 30, 501, 30, false},
      {30, 600, 501, 500, true},
      {1200, 1200, 1201, 1200, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.loaded));
    RefreshFixture fixture(c.loaded, c.libraryCount);
    ASSERT_EQ(fixture.store->results().resultWindow().records().size(), static_cast<std::size_t>(c.loaded));
    const std::size_t before = fixture.harness.service->calls("searchImages").size();
    ASSERT_TRUE(fixture.store->results().scheduleBackgroundResultRefresh(Mode::fullWindow));
    fixture.harness.drainEvents();
    const auto calls = fixture.harness.service->calls("searchImages");
    ASSERT_EQ(calls.size(), before + 1);
    EXPECT_EQ(calls.back().query->limit, c.askedRows);
    EXPECT_EQ(calls.back().query->offset, 0);
    EXPECT_EQ(fixture.store->results().resultWindow().records().size(), c.shown);
    EXPECT_EQ(fixture.store->results().resultWindow().hasMoreRecords(), c.hasMore);
    EXPECT_FALSE(ResultsModelTestAccess::backgroundResultRefreshTask(fixture.store->results()));
    EXPECT_FALSE(fixture.store->results().isBackgroundRefreshingResults());
  }
}

TEST(ImageLibraryStoreBackgroundRefresh, AFullWindowRefreshKeepsTheFocusOrItsPosition) {
  struct Case {
    std::string name;
    std::vector<int> removedFromLibrary;
    std::string focusedAfter;
  };
  const std::vector<Case> cases = {
      {"still there after a removal before it", {2}, imagePath(5)},
      {"gone: the record now at its old position", {5}, imagePath(6)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RefreshFixture fixture(10, 10);
    fixture.store->results().selection().selectSingle(imagePath(5));
    std::vector<ImageRecord> library;
    for (int number = 0; number < 10; ++number) {
      if (std::find(c.removedFromLibrary.begin(), c.removedFromLibrary.end(), number) ==
          c.removedFromLibrary.end()) {
        library.push_back(testing::libraryImage(number));
      }
    }
    fixture.harness.service->setRecords(library);
    ASSERT_TRUE(fixture.store->results().scheduleBackgroundResultRefresh(Mode::fullWindow));
    fixture.harness.drainEvents();
    EXPECT_EQ(fixture.store->results().resultWindow().records().size(), 9u);
    EXPECT_EQ(fixture.store->results().selection().primaryPath(), c.focusedAfter);
  }
}

TEST(ImageLibraryStoreBackgroundRefresh, ALeadingPageRefreshMergesTheNewRecordsInFront) {
  struct Case {
    std::string name;
    int loadedFrom;  // the window holds images loadedFrom .. loadedFrom + 9 (none when negative)
    int libraryFrom;
    int libraryCount;
    std::vector<std::string> windowAfter;
    bool needsFullWindow;
  };
  std::vector<std::string> fiveNew = imagePaths(0, 15);
  const std::vector<Case> cases = {
      {"five new images on top", 5, 0, 15, fiveNew, false},
      {"unchanged", 0, 0, 10, imagePaths(0, 10), false},
      {"no overlap", 1000, 0, 600, imagePaths(1000, 10), true},
      {"empty window", -1, 0, 600, imagePaths(0, 500), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RefreshFixture fixture(0, 0);
    auto& service = *fixture.harness.service;
    if (c.loadedFrom >= 0) {
      service.setRecords(libraryImages(c.loadedFrom, 10));
      ImageLibraryStore* self = fixture.store.get();
      startFlow(*fixture.store,
                [self](std::stop_token stop) { return self->results().refreshResults(500, false, stop); });
      fixture.harness.drainEvents();
      fixture.store->results().selection().selectSingle(imagePath(c.loadedFrom + 3));
    }
    service.setRecords(libraryImages(c.libraryFrom, c.libraryCount));
    testing::WindowListener listener(fixture.store->results().resultWindow());
    const int epoch = fixture.store->results().resultWindow().loadEpoch();
    ASSERT_TRUE(fixture.store->results().scheduleBackgroundResultRefresh(Mode::leadingPage));
    fixture.harness.drainEvents();
    EXPECT_EQ(service.calls("searchImages").back().query->limit, 501);
    EXPECT_EQ(pathsOf(fixture.store->results().resultWindow().records()), c.windowAfter);
    EXPECT_EQ(pathsOf(listener.mirror), c.windowAfter);
    EXPECT_EQ(fixture.store->results().needsFullWindowResultRefresh(), c.needsFullWindow);
    if (c.loadedFrom >= 0) {
      // Page loads beside a merge stay valid, and the focus stays on its record.
      EXPECT_EQ(fixture.store->results().resultWindow().loadEpoch(), epoch);
      EXPECT_EQ(fixture.store->results().selection().primaryPath(), imagePath(c.loadedFrom + 3));
    }
    if (c.name == "unchanged") {
      EXPECT_EQ(listener.total(), 0);
    }
    EXPECT_FALSE(ResultsModelTestAccess::backgroundResultRefreshTask(fixture.store->results()));
  }
}

TEST(ImageLibraryStoreBackgroundRefresh, AFailedRefreshShowsItsErrorAndASupersededOneNothing) {
  for (const Mode mode : {Mode::fullWindow, Mode::leadingPage}) {
    SCOPED_TRACE(mode == Mode::fullWindow ? "full window" : "leading page");
    RefreshFixture fixture(500, 800);
    auto& service = *fixture.harness.service;
    service.hold("searchImages");
    ASSERT_TRUE(fixture.store->results().scheduleBackgroundResultRefresh(mode));
    service.waitForHeld("searchImages", 1);
    service.fail(service.heldCalls("searchImages").at(0).id, libraryFailure("database is locked"));
    fixture.harness.drainEvents();
    EXPECT_EQ(fixture.store->context().errorMessage(), "database is locked");
    EXPECT_EQ(fixture.store->results().resultWindow().records().size(), 500u);

    fixture.store->context().setErrorMessage(std::nullopt);
    ASSERT_TRUE(fixture.store->results().scheduleBackgroundResultRefresh(mode));
    service.waitForHeld("searchImages", 1);
    const auto call = service.heldCalls("searchImages").at(0);
    fixture.store->results().cancelBackgroundResultRefresh();
    EXPECT_TRUE(call.stop.stop_requested());
    EXPECT_FALSE(ResultsModelTestAccess::backgroundResultRefreshTask(fixture.store->results()));
    EXPECT_FALSE(fixture.store->results().isBackgroundRefreshingResults());
    service.fail(call.id, libraryFailure("too late"));
    fixture.harness.drainEvents();
    EXPECT_EQ(fixture.store->context().errorMessage(), std::nullopt);
  }
}

// A refresh of either mode already running may have read the library before the sync's last
// writes: it is stopped, a full-window refresh started, and the caller resumes when that one ends.
TEST(ImageLibraryStoreBackgroundRefresh, TheAfterSyncRefreshReplacesARunningRefreshAndWaitsForItsOwn) {
  for (const Mode running : {Mode::fullWindow, Mode::leadingPage}) {
    SCOPED_TRACE(running == Mode::fullWindow ? "full window running" : "leading page running");
    RefreshFixture fixture(500, 800);
    auto& service = *fixture.harness.service;
    service.hold("searchImages");
    ASSERT_TRUE(fixture.store->results().scheduleBackgroundResultRefresh(running));
    service.waitForHeld("searchImages", 1);
    const auto first = service.heldCalls("searchImages").at(0);
    const int firstID = ResultsModelTestAccess::backgroundResultRefreshID(fixture.store->results());

    // The sync indexed one more image at the top.
    std::vector<ImageRecord> grown = libraryImages(0, 800);
    ImageRecord newest = testing::libraryImage(-1);
    grown.insert(grown.begin(), newest);
    service.setRecords(grown);
    const StoreTask<void> afterSync = fixture.afterSync();
    service.waitForHeld("searchImages", 2);
    EXPECT_TRUE(first.stop.stop_requested());
    const auto second = service.heldCalls("searchImages").at(1);
    EXPECT_EQ(second.query->limit, 501);
    EXPECT_EQ(fixture.store->results().activeBackgroundResultRefreshMode(), Mode::fullWindow);
    EXPECT_EQ(ResultsModelTestAccess::backgroundResultRefreshID(fixture.store->results()), firstID + 2);

    // The replaced refresh ending changes nothing and does not end the wait.
    service.release(first.id);
    fixture.harness.drainEvents();
    EXPECT_FALSE(afterSync.isFinished());
    EXPECT_TRUE(fixture.store->results().isBackgroundRefreshingResults());

    service.release(second.id);
    fixture.harness.drainEvents();
    ASSERT_TRUE(afterSync.isFinished());
    EXPECT_EQ(fixture.store->results().resultWindow().records().front()->file.path, imagePath(-1));
    EXPECT_FALSE(ResultsModelTestAccess::backgroundResultRefreshTask(fixture.store->results()));
    EXPECT_FALSE(fixture.store->results().isBackgroundRefreshingResults());
  }
}

TEST(ImageLibraryStoreBackgroundRefresh, TheAfterSyncWaitEndsWhenANewSearchOrTheCallerStopsIt) {
  for (const bool byCaller : {false, true}) {
    SCOPED_TRACE(byCaller ? "the caller stops" : "a new search");
    RefreshFixture fixture(500, 800);
    auto& service = *fixture.harness.service;
    service.hold("searchImages");
    const StoreTask<void> afterSync = fixture.afterSync();
    service.waitForHeld("searchImages", 1);
    if (byCaller) {
      afterSync.cancel();
    } else {
      ImageLibraryStore* self = fixture.store.get();
      startFlow(*fixture.store,
                [self](std::stop_token stop) { return self->results().refreshResults(500, false, stop); });
    }
    fixture.harness.drainEvents();
    EXPECT_TRUE(afterSync.isFinished());
    service.releaseAll();
    fixture.harness.drainEvents();
  }
}

}  // namespace
}  // namespace lorvex
