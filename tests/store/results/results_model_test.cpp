// The results model's state: what a new model holds, the change-only rule of its observed fields,
// the selection and slideshow kept in step with the window, the search's character text reaching
// the filters through the composition, and a store that goes while a result flow waits on the
// library.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/image_library_store.h"
#include "store/results/results_model_test_access.h"
#include "store/store_records.h"
#include "store/support/change_only.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using Access = ResultsModelTestAccess;
using Mode = ResultsModel::BackgroundResultRefreshMode;
using testing::records;

TEST(ResultsModel, ANewModelHoldsTheInitialValues) {
  testing::StoreHarness h;
  auto store = h.makeStore();
  const ResultsModel& results = store->results();
  EXPECT_EQ(results.searchResultsResetCount(), 0);
  EXPECT_FALSE(results.isLoading());
  EXPECT_FALSE(results.isLoadingNextPage());
  EXPECT_FALSE(results.isBackgroundRefreshingResults());
  EXPECT_FALSE(results.needsFullWindowResultRefresh());
  EXPECT_FALSE(results.hasFlowUnderWay());
  EXPECT_FALSE(Access::refreshSearchTask(results));
  EXPECT_FALSE(Access::loadMoreTask(results));
  EXPECT_FALSE(Access::activeLoadMoreTaskID(results).has_value());
  EXPECT_EQ(results.activeBackgroundResultRefreshMode(), Mode::fullWindow);
  EXPECT_TRUE(results.resultWindow().records().empty());
  EXPECT_FALSE(results.resultWindow().hasMoreRecords());
  EXPECT_EQ(results.resultWindow().loadEpoch(), 0);
  EXPECT_FALSE(results.selection().primaryPath().has_value());
  EXPECT_TRUE(results.selection().selectedPaths().empty());
}

template <typename T>
void expectChangeOnly(const char* name, std::function<void(ResultsModel&, T)> set,
                      std::function<T(const ResultsModel&)> get, void (ResultsModel::*signal)(), T first,
                      T second) {
  SCOPED_TRACE(name);
  testing::StoreHarness h;
  auto store = h.makeStore();
  testing::expectModelChangeOnly<ResultsModel, T>(store->results(), set, get, signal, first, second);
}

TEST(ResultsModel, ObservedFieldsSignalOnlyARealChange) {
  using M = ResultsModel;
  expectChangeOnly<int>(
      "searchResultsResetCount", [](M& m, int v) { Access::setSearchResultsResetCount(m, v); },
      &M::searchResultsResetCount, &M::searchResultsResetCountChanged, 1, 2);
  expectChangeOnly<bool>(
      "isLoading", [](M& m, bool v) { Access::setIsLoading(m, v); }, &M::isLoading, &M::isLoadingChanged,
      true, false);
  expectChangeOnly<bool>(
      "isLoadingNextPage", [](M& m, bool v) { Access::setIsLoadingNextPage(m, v); }, &M::isLoadingNextPage,
      &M::isLoadingNextPageChanged, true, false);
}

TEST(ResultsModel, TheSelectionFollowsTheWindowAndAnEmptyWindowClosesTheSlideshow) {
  struct Case {
    const char* name;
    std::vector<std::string> after;
    int fallbackIndex;
    std::optional<std::string> focus;
    bool slideshowPresented;
  };
  const Case cases[] = {
      {"focus survives", {"/a", "/b"}, 0, "/b", true},
      {"focus lost, fallback", {"/a", "/c", "/d"}, 2, "/d", true},
      {"fallback past the end", {"/a"}, 5, "/a", true},
      {"nothing left", {}, 0, std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::StoreHarness h;
    auto store = h.makeStore();
    ResultsModel& results = store->results();
    results.resultWindow().replaceRecords(records({"/a", "/b", "/c"}), false, 0);
    results.selection().selectSingle("/b");
    store->presentation().setIsSlideshowPresented(true);
    store->presentation().setIsSlideshowPlaying(true);
    results.resultWindow().replaceRecords(records(c.after), false, c.fallbackIndex);
    EXPECT_EQ(results.selection().primaryPath(), c.focus);
    EXPECT_EQ(store->presentation().isSlideshowPresented(), c.slideshowPresented);
    EXPECT_EQ(store->presentation().isSlideshowPlaying(), c.slideshowPresented);
  }
}

// The composition hands every search's character text to the filters' history.
TEST(ResultsModel, AStartedSearchReachesTheCharacterHistory) {
  struct Row {
    const char* name;
    std::optional<std::string> text;
    std::vector<std::string> history;
  };
  const std::vector<Row> rows = {
      {"no character text", std::nullopt, {}},
      {"a name, trimmed", std::string(" Reimu "), {"Reimu"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    auto store = h.makeStore();
    Q_EMIT store->results().searchStarted(row.text);
    EXPECT_EQ(store->filters().characterSearchHistory(), row.history);
  }
}

// Each result flow waits on the library in the scope of the store, and the model keeps the window's
// handlers until it goes, after the flows: a store that goes while the call is held frees the flow's
// frame (the sanitizers see a leaked frame or a touch of the gone model), and the late answer is
// dropped.
TEST(ResultsModel, AStoreGoingWhileAResultFlowWaitsFreesIt) {
  struct Row {
    const char* name;
    const char* heldCall;
    std::function<void(ResultsModel&)> start;
  };
  const auto detached = [](std::function<QCoro::Task<void>(ResultsModel&)> flow) {
    return [flow = std::move(flow)](ResultsModel& results) {
      results.context().startDetached([&results, flow]() -> QCoro::Task<void> {
        auto frame = co_await results.context().scope().enter();
        co_await flow(results);
      });
    };
  };
  const std::vector<Row> rows = {
      {"a first page", "searchImages",
       detached([](ResultsModel& r) { return r.refreshResults(ResultsModel::kFirstPageLimit, true); })},
      // A coroutine written here enters the scope too, as every flow of the store does.
      {"a page load", "searchImages", detached([](ResultsModel& r) -> QCoro::Task<void> {
         auto frame = co_await r.context().scope().enter();
         co_await r.loadNextPage();
       })},
      {"a step onto the next page", "searchImages", detached([](ResultsModel& r) -> QCoro::Task<void> {
         auto frame = co_await r.context().scope().enter();
         co_await r.advanceFocusLoadingMore(std::nullopt);
       })},
      {"a full-window refresh", "searchImages",
       [](ResultsModel& r) { ASSERT_TRUE(r.scheduleBackgroundResultRefresh(Mode::fullWindow)); }},
      {"a refresh after a sync", "searchImages",
       detached([](ResultsModel& r) { return r.refreshResultWindowAfterSync(); })},
      {"a thumbnail batch", "generatePendingThumbnails",
       [](ResultsModel& r) { r.startBackgroundThumbnailGeneration(); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    h.service->setRecords(testing::makeLibraryRecords(3));
    auto store = h.makeStore();
    ResultsModel& results = store->results();
    // A loaded window with more to come and the last record focused, so that each flow asks the
    // library.
    results.resultWindow().replaceRecords(records({"/a", "/b"}), true, 0);
    results.selection().selectSingle("/b");
    h.service->hold(row.heldCall);
    row.start(results);
    ASSERT_TRUE(h.service->waitForHeld(row.heldCall));
    store.reset();
    h.service->releaseAll();
    EXPECT_TRUE(h.drainEvents());
  }
}

}  // namespace
}  // namespace lorvex
