// Pages after the first: when a shown path asks for one, one page load joined by every caller,
// pages that a newer search or refresh made stale, a page of only loaded records, failures that
// keep the offset, and the "Query" signposts.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/log.h"
#include "store/library/library_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "store/search_flows.h"
#include "store/store_records.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using testing::imagePath;
using testing::imagePaths;
using testing::libraryFailure;
using testing::libraryImages;
using testing::pathsOf;
using testing::startFlow;

struct PagingFixture {
  // A window holding the first `loaded` of `libraryCount` images.
  PagingFixture(int loaded, int libraryCount) : store(harness.makeStore()) {
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {testing::kLibraryRoot});
    harness.service->setRecords(libraryImages(0, libraryCount));
    refresh(loaded);
    harness.drainEvents();
  }

  StoreTask<void> refresh(int limit) {
    ImageLibraryStore* self = store.get();
    return startFlow(*store, [self, limit](std::stop_token stop) {
      return self->results().refreshResults(limit, false, stop);
    });
  }
  testing::StartedFlow<bool> nextPage() {
    ImageLibraryStore* self = store.get();
    return testing::startValueFlow<bool>(
        *store, [self](std::stop_token stop) { return self->results().loadNextPage(stop); });
  }
  StoreTask<void> nextPageIfNeeded(std::optional<std::string> path) {
    ImageLibraryStore* self = store.get();
    return startFlow(*store,
                     [self, path](std::stop_token) { return self->results().loadNextPageIfNeeded(path); });
  }
  std::vector<std::int64_t> searchOffsets() const {
    std::vector<std::int64_t> offsets;
    for (const auto& call : harness.service->calls("searchImages")) offsets.push_back(call.query->offset);
    return offsets;
  }

  testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
};

TEST(ImageLibraryStorePaging, AShownPathNearTheEndOfTheLoadedRecordsLoadsTheNextPage) {
  struct Case {
    std::string name;
    int loaded;
    int libraryCount;
    std::optional<std::string> path;
    bool loads;
  };
  const std::vector<Case> cases = {
      {"few loaded: the first", 10, 30, imagePath(0), true},
      {"100 loaded: index 75", 100, 300, imagePath(75), false},
      {"100 loaded: index 76", 100, 300, imagePath(76), true},
      {"100 loaded: the last", 100, 300, imagePath(99), true},
      {"24 loaded: the first", 24, 300, imagePath(0), true},
      {"a path not loaded", 100, 300, imagePath(200), false},
      {"no path", 100, 300, std::nullopt, true},
      {"nothing more", 100, 100, imagePath(99), false},
      {"nothing more, no path", 100, 100, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PagingFixture fixture(c.loaded, c.libraryCount);
    const StoreTask<void> task = fixture.nextPageIfNeeded(c.path);
    fixture.harness.drainEvents();
    ASSERT_TRUE(task.isFinished());
    const std::size_t expected =
        static_cast<std::size_t>(c.loads ? std::min(c.libraryCount, c.loaded + 500) : c.loaded);
    EXPECT_EQ(fixture.store->results().resultWindow().records().size(), expected);
    EXPECT_EQ(fixture.harness.service->calls("searchImages").size(), c.loads ? 2u : 1u);
  }
}

TEST(ImageLibraryStorePaging, APageAsksOneRowMoreThanItShowsFromTheLoadedCount) {
  struct Case {
    int libraryCount;
    std::size_t loadedAfter;
    bool hasMore;
  };
  // 500 loaded first; the page brings 501, 500 or fewer rows.
  const std::vector<Case> cases = {
      {1001, 1000, true}, {1000, 1000, false}, {1003, 1000, true}, {730, 730, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.libraryCount);
    PagingFixture fixture(500, c.libraryCount);
    const testing::StartedFlow<bool> page = fixture.nextPage();
    fixture.harness.drainEvents();
    ASSERT_TRUE(page.isFinished());
    const auto calls = fixture.harness.service->calls("searchImages");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].query->limit, 501);
    EXPECT_EQ(calls[1].query->offset, 500);
    EXPECT_EQ(pathsOf(fixture.store->results().resultWindow().records()),
              imagePaths(0, static_cast<int>(c.loadedAfter)));
    EXPECT_EQ(fixture.store->results().resultWindow().hasMoreRecords(), c.hasMore);
    EXPECT_FALSE(fixture.store->results().isLoadingNextPage());
    EXPECT_FALSE(ResultsModelTestAccess::loadMoreTask(fixture.store->results()));
    EXPECT_EQ(ResultsModelTestAccess::activeLoadMoreTaskID(fixture.store->results()), std::nullopt);
  }
}

TEST(ImageLibraryStorePaging, TwoCallersShareOnePageLoad) {
  PagingFixture fixture(500, 2000);
  auto& service = *fixture.harness.service;
  service.hold("searchImages");
  const testing::StartedFlow<bool> first = fixture.nextPage();
  const testing::StartedFlow<bool> second = fixture.nextPage();
  service.waitForHeld("searchImages", 1);
  fixture.harness.drainEvents();
  EXPECT_EQ(service.heldCalls("searchImages").size(), 1u);
  EXPECT_TRUE(fixture.store->results().isLoadingNextPage());
  EXPECT_EQ(ResultsModelTestAccess::activeLoadMoreTaskID(fixture.store->results()), 1);
  service.releaseAll();
  fixture.harness.drainEvents();
  ASSERT_TRUE(first.isFinished());
  ASSERT_TRUE(second.isFinished());
  EXPECT_EQ(fixture.searchOffsets(), (std::vector<std::int64_t>{0, 500}));
  EXPECT_TRUE(first.result());
  EXPECT_TRUE(second.result());
  EXPECT_EQ(fixture.store->results().resultWindow().records().size(), 1000u);
  EXPECT_EQ(ResultsModelTestAccess::loadMoreTaskID(fixture.store->results()), 1);
}

TEST(ImageLibraryStorePaging, APageRequestDuringAFirstPageSearchGetsFalseAtOnce) {
  PagingFixture fixture(500, 2000);
  auto& service = *fixture.harness.service;
  service.hold("searchImages");
  fixture.refresh(500);
  service.waitForHeld("searchImages", 1);
  // The new search turned paging off; with paging on again, a running search still refuses it.
  fixture.store->results().resultWindow().setHasMoreRecords(true);
  const testing::StartedFlow<bool> page = fixture.nextPage();
  fixture.harness.drainEvents();
  ASSERT_TRUE(page.isFinished());
  EXPECT_FALSE(page.result());
  EXPECT_EQ(service.calls("searchImages").size(), 2u);
  EXPECT_FALSE(fixture.store->results().isLoadingNextPage());
  service.releaseAll();
  fixture.harness.drainEvents();
}

TEST(ImageLibraryStorePaging, ASearchDuringAPageLoadDropsThePage) {
  PagingFixture fixture(500, 2000);
  auto& service = *fixture.harness.service;
  service.hold("searchImages");
  const testing::StartedFlow<bool> page = fixture.nextPage();
  service.waitForHeld("searchImages", 1);
  const auto pageCall = service.heldCalls("searchImages").at(0);
  const StoreTask<void> search = fixture.refresh(500);
  service.waitForHeld("searchImages", 2);
  EXPECT_TRUE(pageCall.stop.stop_requested());
  EXPECT_FALSE(fixture.store->results().isLoadingNextPage());
  EXPECT_FALSE(ResultsModelTestAccess::loadMoreTask(fixture.store->results()));
  EXPECT_EQ(ResultsModelTestAccess::activeLoadMoreTaskID(fixture.store->results()), std::nullopt);

  // The page answers first, as if its stop came too late: its records are dropped.
  service.releaseWith(pageCall.id, libraryImages(500, 501));
  fixture.harness.drainEvents();
  ASSERT_TRUE(page.isFinished());
  EXPECT_FALSE(page.result());
  EXPECT_TRUE(fixture.store->results().isLoading());
  EXPECT_FALSE(fixture.store->results().isLoadingNextPage());
  EXPECT_EQ(fixture.store->results().resultWindow().records().size(), 500u);

  service.releaseAll();
  fixture.harness.drainEvents();
  ASSERT_TRUE(search.isFinished());
  EXPECT_FALSE(fixture.store->results().isLoading());
  EXPECT_EQ(pathsOf(fixture.store->results().resultWindow().records()), imagePaths(0, 500));
  EXPECT_TRUE(fixture.store->results().resultWindow().hasMoreRecords());
}

TEST(ImageLibraryStorePaging, APageOfOnlyLoadedRecordsReReadsTheWholeWindow) {
  PagingFixture fixture(500, 2000);
  auto& service = *fixture.harness.service;
  service.hold("searchImages");
  const testing::StartedFlow<bool> page = fixture.nextPage();
  service.waitForHeld("searchImages", 1);
  // The library changed under the window: the page at offset 500 holds loaded images only.
  std::vector<ImageRecord> known = libraryImages(0, 501);
  service.releaseWith(service.heldCalls("searchImages").at(0).id, known);
  service.waitForHeld("searchImages", 1);
  EXPECT_TRUE(fixture.store->results().needsFullWindowResultRefresh());
  EXPECT_TRUE(ResultsModelTestAccess::backgroundResultRefreshTask(fixture.store->results()));
  EXPECT_EQ(fixture.store->results().activeBackgroundResultRefreshMode(),
            ResultsModel::BackgroundResultRefreshMode::fullWindow);
  fixture.harness.drainEvents();
  ASSERT_TRUE(page.isFinished());
  EXPECT_FALSE(page.result());
  const auto refreshCall = service.heldCalls("searchImages").at(0);
  EXPECT_EQ(refreshCall.query->limit, 501);
  EXPECT_EQ(refreshCall.query->offset, 0);
  service.releaseAll();
  fixture.harness.drainEvents();
  EXPECT_FALSE(ResultsModelTestAccess::backgroundResultRefreshTask(fixture.store->results()));
  EXPECT_FALSE(fixture.store->results().isLoadingNextPage());
  // Only the indexing throttle clears it, when it schedules the next refresh.
  EXPECT_TRUE(fixture.store->results().needsFullWindowResultRefresh());
}

TEST(ImageLibraryStorePaging, AFailedPageShowsItsErrorAndTheNextRequestRetriesTheSameOffset) {
  PagingFixture fixture(500, 2000);
  auto& service = *fixture.harness.service;
  service.hold("searchImages");
  const testing::StartedFlow<bool> failed = fixture.nextPage();
  service.waitForHeld("searchImages", 1);
  service.fail(service.heldCalls("searchImages").at(0).id, libraryFailure("database is locked"));
  fixture.harness.drainEvents();
  ASSERT_TRUE(failed.isFinished());
  EXPECT_FALSE(failed.result());
  EXPECT_EQ(fixture.store->context().errorMessage(), "database is locked");
  EXPECT_TRUE(fixture.store->results().resultWindow().hasMoreRecords());
  EXPECT_FALSE(fixture.store->results().isLoadingNextPage());

  service.answerImmediately("searchImages");
  const testing::StartedFlow<bool> retried = fixture.nextPage();
  fixture.harness.drainEvents();
  EXPECT_TRUE(retried.result());
  EXPECT_EQ(fixture.searchOffsets(), (std::vector<std::int64_t>{0, 500, 500}));
  EXPECT_EQ(fixture.store->context().errorMessage(), std::nullopt);
}

TEST(ImageLibraryStorePaging, EachPageQueryIsASignpostIntervalWithItsOffsetAndCount) {
  std::vector<platform::SignpostRecord> records;
  const platform::SignpostSink previous =
      platform::setSignpostSink([&](const platform::SignpostRecord& record) {
        if (record.name == "Query") records.push_back(record);
      });
  {
    PagingFixture fixture(500, 700);
    auto& service = *fixture.harness.service;
    fixture.nextPage();
    fixture.harness.drainEvents();
    service.hold("searchImages");
    fixture.store->results().resultWindow().setHasMoreRecords(true);
    fixture.nextPage();
    service.waitForHeld("searchImages", 1);
    service.fail(service.heldCalls("searchImages").at(0).id, libraryFailure("gone"));
    fixture.harness.drainEvents();
  }
  platform::setSignpostSink(previous);
  using Kind = platform::SignpostRecord::Kind;
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].kind, Kind::begin);
  EXPECT_EQ(records[0].message, "offset=500");
  EXPECT_EQ(records[1].kind, Kind::end);
  EXPECT_EQ(records[1].message, "count=200");
  EXPECT_EQ(records[1].intervalID, records[0].intervalID);
  EXPECT_EQ(records[2].message, "offset=700");
  EXPECT_EQ(records[3].message, "failed");
}

TEST(ImageLibraryStorePaging, APageWaitsForARunningBackgroundRefresh) {
  PagingFixture fixture(500, 2000);
  auto& service = *fixture.harness.service;
  service.hold("searchImages");
  ASSERT_TRUE(fixture.store->results().scheduleBackgroundResultRefresh(
      ResultsModel::BackgroundResultRefreshMode::leadingPage));
  service.waitForHeld("searchImages", 1);
  const testing::StartedFlow<bool> page = fixture.nextPage();
  fixture.harness.drainEvents();
  EXPECT_EQ(service.heldCalls("searchImages").size(), 1u);
  EXPECT_FALSE(fixture.store->results().isLoadingNextPage());
  // The refresh finds nothing new; then the page loads.
  service.release(service.heldCalls("searchImages").at(0).id);
  service.waitForHeld("searchImages", 1);
  EXPECT_EQ(service.heldCalls("searchImages").at(0).query->offset, 500);
  service.releaseAll();
  fixture.harness.drainEvents();
  EXPECT_TRUE(page.result());
  EXPECT_EQ(fixture.store->results().resultWindow().records().size(), 1000u);
}

}  // namespace
}  // namespace lorvex
