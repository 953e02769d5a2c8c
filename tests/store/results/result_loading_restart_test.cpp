// Stopping the result loads in flight for a change made in place, and starting them again: the
// answer of a stopped load is dropped, and a first-page search or a background refresh is asked
// for again as it was (a page load is not), so the window does not stay behind the library.
#include <gtest/gtest.h>

#include <cstdint>
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
using FirstPage = StoppedResultLoading::FirstPageRefresh;
using testing::libraryImages;
using testing::pathsOf;
using testing::startFlow;

constexpr int kLibraryCount = 800;

// What a test starts before it stops the loads.
enum class InFlight { firstPage, pageLoad, leadingPage, postSyncRefresh };

struct RestartFixture {
  explicit RestartFixture(int loaded) : store(harness.makeStore()) {
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {testing::kLibraryRoot});
    harness.service->setRecords(libraryImages(0, kLibraryCount));
    if (loaded > 0) {
      refresh(loaded, false);
      harness.drainEvents();
    }
    harness.service->hold("searchImages");
  }

  void refresh(int limit, bool resetScroll) {
    ImageLibraryStore* self = store.get();
    startFlow(*store, [self, limit, resetScroll](std::stop_token stop) {
      return self->results().refreshResults(limit, resetScroll, stop);
    });
  }

  void start(InFlight load, const FirstPage& firstPage) {
    ImageLibraryStore* self = store.get();
    switch (load) {
      case InFlight::firstPage:
        refresh(firstPage.limit, firstPage.resetScroll);
        break;
      case InFlight::pageLoad:
        startFlow(*store, [self](std::stop_token stop) -> QCoro::Task<void> {
          auto frame = co_await self->context().scope().enter();
          co_await self->results().loadNextPage(stop);
        });
        break;
      case InFlight::leadingPage:
        ASSERT_TRUE(store->results().scheduleBackgroundResultRefresh(Mode::leadingPage));
        break;
      case InFlight::postSyncRefresh:
        startFlow(*store, [self](std::stop_token stop) {
          return self->results().refreshResultWindowAfterSync(stop);
        });
        break;
    }
  }

  std::size_t searchCount() const { return harness.service->calls("searchImages").size(); }

  testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
};

TEST(ImageLibraryStoreResultLoadingRestart, AStoppedLoadIsDroppedAndAskedForAgainAsItWas) {
  struct Case {
    std::string name;
    int loaded;
    std::vector<InFlight> loads;
    FirstPage firstPage;
    StoppedResultLoading stopped;
    // The query the restart issues: its limit, or nothing when nothing is asked for again.
    std::optional<std::int64_t> restartedLimit;
    std::size_t shownAfter;
    int resetCountAdvance;
  };
  const std::vector<Case> cases = {
      {"nothing in flight", 500, {}, {}, {}, std::nullopt, 500, 0},
      {"a page load is not asked for again", 500, {InFlight::pageLoad}, {}, {}, std::nullopt, 500, 0},
      {"a first page of 120 without scroll reset",
       0,
       {InFlight::firstPage},
       {120, false},
       {FirstPage{120, false}, std::nullopt},
       121,
       120,
       0},
      {"a first page of 500 with scroll reset",
       30,
       {InFlight::firstPage},
       {500, true},
       {FirstPage{500, true}, std::nullopt},
       501,
       500,
       1},
      {"a leading-page refresh",
       30,
       {InFlight::leadingPage},
       {},
       {std::nullopt, Mode::leadingPage},
       501,
       30,
       0},
      {"the post-sync full-window refresh",
       30,
       {InFlight::postSyncRefresh},
       {},
       {std::nullopt, Mode::fullWindow},
       501,
       500,
       0},
      {"a first page beside a leading page: the first page alone",
       30,
       {InFlight::firstPage, InFlight::leadingPage},
       {200, false},
       {FirstPage{200, false}, Mode::leadingPage},
       201,
       200,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RestartFixture fixture(c.loaded);
    auto& service = *fixture.harness.service;
    for (InFlight load : c.loads) fixture.start(load, c.firstPage);
    ASSERT_TRUE(service.waitForHeld("searchImages", c.loads.size()));
    const std::vector<testing::ServiceCall> stale = service.heldCalls("searchImages");
    const int resetCount = fixture.store->results().searchResultsResetCount();
    const int epoch = fixture.store->results().resultWindow().loadEpoch();

    const StoppedResultLoading stopped = fixture.store->results().cancelResultLoading();
    EXPECT_EQ(stopped, c.stopped);
    EXPECT_EQ(fixture.store->results().resultWindow().loadEpoch(), epoch + 1);
    EXPECT_FALSE(ResultsModelTestAccess::refreshSearchTask(fixture.store->results()));
    EXPECT_FALSE(ResultsModelTestAccess::loadMoreTask(fixture.store->results()));
    EXPECT_FALSE(ResultsModelTestAccess::backgroundResultRefreshTask(fixture.store->results()));
    EXPECT_EQ(ResultsModelTestAccess::activeLoadMoreTaskID(fixture.store->results()), std::nullopt);
    EXPECT_FALSE(fixture.store->results().isLoading());
    EXPECT_FALSE(fixture.store->results().isLoadingNextPage());
    EXPECT_FALSE(fixture.store->results().isBackgroundRefreshingResults());

    // The stopped loads answer late with records the library does not have: none may show.
    for (const auto& call : stale) service.releaseWith(call.id, libraryImages(5000, 600));
    fixture.harness.drainEvents();
    const std::size_t before = fixture.searchCount();
    fixture.store->results().restartResultLoading(stopped);
    fixture.harness.drainEvents();
    const auto restarted = service.heldCalls("searchImages");
    ASSERT_EQ(fixture.searchCount() - before, c.restartedLimit.has_value() ? 1u : 0u);
    if (c.restartedLimit.has_value()) {
      ASSERT_EQ(restarted.size(), 1u);
      EXPECT_EQ(restarted[0].query, fixture.store->results().makeSearchQuery(*c.restartedLimit, 0));
      if (c.stopped.backgroundRefresh.has_value() && !c.stopped.firstPageRefresh.has_value()) {
        EXPECT_EQ(fixture.store->results().activeBackgroundResultRefreshMode(), *c.stopped.backgroundRefresh);
        EXPECT_TRUE(fixture.store->results().isBackgroundRefreshingResults());
      } else {
        EXPECT_TRUE(fixture.store->results().isLoading());
      }
    }
    service.answerImmediately("searchImages");
    service.releaseAll();
    fixture.harness.drainEvents();
    const auto shown = pathsOf(fixture.store->results().resultWindow().records());
    EXPECT_EQ(shown, testing::imagePaths(0, static_cast<int>(c.shownAfter)));
    EXPECT_EQ(fixture.store->results().searchResultsResetCount(), resetCount + c.resetCountAdvance);
    EXPECT_FALSE(fixture.store->results().isLoading());
    EXPECT_FALSE(ResultsModelTestAccess::backgroundResultRefreshTask(fixture.store->results()));
  }
}

TEST(ImageLibraryStoreResultLoadingRestart, ASearchStartedSinceTheStopStandsInsteadOfTheRestart) {
  RestartFixture fixture(30);
  auto& service = *fixture.harness.service;
  fixture.refresh(120, false);
  ASSERT_TRUE(service.waitForHeld("searchImages", 1));
  const StoppedResultLoading stopped = fixture.store->results().cancelResultLoading();
  fixture.refresh(60, false);
  ASSERT_TRUE(service.waitForHeld("searchImages", 2));
  const std::size_t before = fixture.searchCount();
  fixture.store->results().restartResultLoading(stopped);
  fixture.harness.drainEvents();
  EXPECT_EQ(fixture.searchCount(), before);
  service.answerImmediately("searchImages");
  service.releaseAll();
  fixture.harness.drainEvents();
  EXPECT_EQ(fixture.store->results().resultWindow().records().size(), 60u);
}

}  // namespace
}  // namespace lorvex
