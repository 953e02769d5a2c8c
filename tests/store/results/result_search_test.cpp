// A search's first page: the query the filters make, what a page shows, and refreshes overlapping
// one another (only the newest applies; the older one is stopped and its late answer dropped).
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "store/filters/filters_model_test_access.h"
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
using testing::libraryImage;
using testing::libraryImages;
using testing::pathsOf;
using testing::startFlow;

struct SearchFixture {
  explicit SearchFixture(testing::StoreOptions options = {}) : store(harness.makeStore(options)) {
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {testing::kLibraryRoot});
  }

  StoreTask<void> refresh(int limit, bool resetScroll) {
    ImageLibraryStore* self = store.get();
    return startFlow(*store, [self, limit, resetScroll](std::stop_token stop) {
      return self->results().refreshResults(limit, resetScroll, stop);
    });
  }

  testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
};

TEST(ImageLibraryStoreSearch, TheQueryFollowsTheFilters) {
  TagConcept first;
  first.id = 7;
  TagConcept second;
  second.id = 3;
  struct Case {
    std::string name;
    bool onlyFavorites;
    bool onlyDeleteCandidates;
    std::optional<std::string> modelSource;
    ImageSearchSort sort;
    std::optional<bool> favorite;
    bool deleteCandidate;
  };
  const std::vector<Case> cases = {
      {"no filter", false, false, std::nullopt, ImageSearchSort::modificationDateDescending, std::nullopt,
       false},
      {"favorites", true, false, "nai-v4", ImageSearchSort::fileNameAscending, true, false},
      {"delete candidates", false, true, std::nullopt, ImageSearchSort::modificationDateAscending,
       std::nullopt, true},
      {"both", true, true, std::nullopt, ImageSearchSort::fileNameDescending, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SearchFixture fixture;
    ImageLibraryStore& store = *fixture.store;
    FiltersModelTestAccess::setOnlyFavorites(store.filters(), c.onlyFavorites);
    FiltersModelTestAccess::setOnlyDeleteCandidates(store.filters(), c.onlyDeleteCandidates);
    store.filters().setSelectedModelSource(c.modelSource);
    FiltersModelTestAccess::setSearchSort(store.filters(), c.sort);
    FiltersModelTestAccess::setSelectedFilterTags(store.filters(), {"sky", "1girl"});
    FiltersModelTestAccess::setSelectedTagConcepts(store.filters(), {first, second});
    FiltersModelTestAccess::setSelectedAspectFilters(store.filters(), {ImageAspectFilter::portrait});

    ImageSearchQuery expected;
    expected.filterTags = {"sky", "1girl"};
    expected.filterConceptIDs = {7, 3};
    expected.aspectFilters = {ImageAspectFilter::portrait};
    expected.source = c.modelSource;
    expected.favorite = c.favorite;
    expected.deleteCandidate = c.deleteCandidate;
    expected.rootPaths = {testing::kLibraryRoot};
    expected.sort = c.sort;
    expected.limit = 501;
    expected.offset = 1000;
    EXPECT_EQ(store.results().makeSearchQuery(501, 1000), expected);
  }
}

// The window's in-place rule and the query must agree: a review change applied to a loaded record
// leaves the window as a new search would.
TEST(ImageLibraryStoreSearch, TheQueryKeepsExactlyTheRecordsTheReviewPredicateKeeps) {
  std::vector<ImageRecord> library;
  int number = 0;
  for (const bool favorite : {false, true}) {
    for (const bool deleteCandidate : {false, true}) {
      for (const bool isMissing : {false, true})
        library.push_back(libraryImage(number++, favorite, deleteCandidate, isMissing));
    }
  }
  for (const bool onlyFavorites : {false, true}) {
    for (const bool onlyDeleteCandidates : {false, true}) {
      SCOPED_TRACE(std::string(onlyFavorites ? "favorites" : "all") +
                   (onlyDeleteCandidates ? ", candidates" : ""));
      SearchFixture fixture;
      fixture.harness.service->setRecords(library);
      ImageLibraryStore& store = *fixture.store;
      FiltersModelTestAccess::setOnlyFavorites(store.filters(), onlyFavorites);
      FiltersModelTestAccess::setOnlyDeleteCandidates(store.filters(), onlyDeleteCandidates);
      std::vector<std::string> predicted;
      for (const ImageRecord& record : library) {
        if (store.results().matchesReviewFilters(record.reviewState.favorite,
                                                 record.reviewState.deleteCandidate, record.isMissing)) {
          predicted.push_back(record.file.path);
        }
      }
      std::vector<std::string> answered;
      for (const ImageRecord& record :
           fixture.harness.service->libraryAnswer(store.results().makeSearchQuery(100, 0))) {
        answered.push_back(record.file.path);
      }
      EXPECT_EQ(answered, predicted);
      EXPECT_FALSE(answered.empty());
    }
  }
}

TEST(ImageLibraryStoreSearch, AFirstPageShowsTheLimitAndLearnsFromOneMoreWhetherMoreExist) {
  struct Case {
    int limit;
    int matches;
    std::int64_t askedRows;
    std::size_t shown;
    bool hasMore;
  };
  const std::vector<Case> cases = {
      {0, 5, 2, 1, true},         {-3, 1, 2, 1, false},    {500, 500, 501, 500, false},
      {500, 501, 501, 500, true}, {500, 0, 501, 0, false}, {120, 1000, 121, 120, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.limit) + " of " + std::to_string(c.matches));
    SearchFixture fixture;
    fixture.harness.service->setRecords(libraryImages(0, c.matches));
    const StoreTask<void> task = fixture.refresh(c.limit, false);
    fixture.harness.drainEvents();
    ASSERT_TRUE(task.isFinished());
    const auto calls = fixture.harness.service->calls("searchImages");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].query->limit, c.askedRows);
    EXPECT_EQ(calls[0].query->offset, 0);
    EXPECT_EQ(pathsOf(fixture.store->results().resultWindow().records()),
              imagePaths(0, static_cast<int>(c.shown)));
    EXPECT_EQ(fixture.store->results().resultWindow().hasMoreRecords(), c.hasMore);
    EXPECT_FALSE(fixture.store->results().isLoading());
    EXPECT_FALSE(ResultsModelTestAccess::refreshSearchTask(fixture.store->results()));
  }
}

TEST(ImageLibraryStoreSearch, DeleteCandidatesStayHiddenOutsideTheirFilter) {
  SearchFixture fixture;
  fixture.harness.service->setRecords({libraryImage(0, false, true), libraryImage(1, true, true)});
  fixture.refresh(500, false);
  fixture.harness.drainEvents();
  EXPECT_TRUE(fixture.store->results().resultWindow().records().empty());
  FiltersModelTestAccess::setOnlyDeleteCandidates(fixture.store->filters(), true);
  fixture.refresh(500, false);
  fixture.harness.drainEvents();
  EXPECT_EQ(pathsOf(fixture.store->results().resultWindow().records()), imagePaths(0, 2));
}

// Refresh A starts, refresh B supersedes it; B answers first, then A answers late. Only B's answer
// reaches the window, A's late answer or error changes nothing, and A's search was told to stop.
TEST(ImageLibraryStoreSearch, OnlyTheNewestOfOverlappingRefreshesApplies) {
  for (const bool lateFailure : {false, true}) {
    SCOPED_TRACE(lateFailure ? "A fails late" : "A answers late");
    SearchFixture fixture;
    auto& service = *fixture.harness.service;
    service.setRecords(libraryImages(0, 3));
    service.hold("searchImages");
    ImageLibraryStore& store = *fixture.store;
    int resets = 0;
    QObject::connect(&store.results(), &ResultsModel::searchResultsResetCountChanged, [&] { ++resets; });

    const StoreTask<void> a = fixture.refresh(500, true);
    service.waitForHeld("searchImages", 1);
    FiltersModelTestAccess::setOnlyFavorites(store.filters(), true);
    const StoreTask<void> b = fixture.refresh(500, true);
    service.waitForHeld("searchImages", 2);
    const auto held = service.heldCalls("searchImages");
    ASSERT_EQ(held.size(), 2u);
    EXPECT_TRUE(held[0].stop.stop_requested());
    EXPECT_FALSE(held[1].stop.stop_requested());
    EXPECT_TRUE(store.results().isLoading());

    service.releaseWith(held[1].id, std::vector<ImageRecord>{libraryImage(9, true)});
    fixture.harness.drainEvents();
    ASSERT_TRUE(b.isFinished());
    EXPECT_EQ(pathsOf(store.results().resultWindow().records()), std::vector<std::string>{imagePath(9)});
    EXPECT_FALSE(store.results().isLoading());
    EXPECT_EQ(store.results().searchResultsResetCount(), 1);

    // A's answer arrives after B's: it belongs to a search nobody shows any more.
    if (lateFailure) {
      service.fail(held[0].id, libraryFailure("disk on fire"));
    } else {
      service.releaseWith(held[0].id, libraryImages(0, 3));
    }
    fixture.harness.drainEvents();
    ASSERT_TRUE(a.isFinished());
    EXPECT_EQ(pathsOf(store.results().resultWindow().records()), std::vector<std::string>{imagePath(9)});
    EXPECT_EQ(store.context().errorMessage(), std::nullopt);
    EXPECT_FALSE(store.results().isLoading());
    EXPECT_FALSE(ResultsModelTestAccess::refreshSearchTask(store.results()));
    EXPECT_EQ(store.results().searchResultsResetCount(), 1);
    EXPECT_EQ(resets, 1);
  }
}

TEST(ImageLibraryStoreSearch, AFailedOrCancelledRefreshKeepsTheRecordsAndCountsNoReset) {
  struct Case {
    std::string name;
    bool stopByCaller;
    std::optional<std::string> errorMessage;
  };
  const std::vector<Case> cases = {
      {"failure", false, "disk on fire"},
      {"the caller stops", true, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SearchFixture fixture;
    auto& service = *fixture.harness.service;
    service.setRecords(libraryImages(0, 600));
    fixture.refresh(500, true);
    fixture.harness.drainEvents();
    ASSERT_EQ(fixture.store->results().searchResultsResetCount(), 1);
    ASSERT_TRUE(fixture.store->results().resultWindow().hasMoreRecords());

    service.hold("searchImages");
    const StoreTask<void> second = fixture.refresh(500, true);
    service.waitForHeld("searchImages", 1);
    const auto held = service.heldCalls("searchImages");
    if (c.stopByCaller) {
      second.cancel();
      // The stop reaches the search itself, which ends in a cancellation.
      EXPECT_TRUE(held[0].stop.stop_requested());
      service.release(held[0].id);
    } else {
      service.fail(held[0].id, libraryFailure("disk on fire"));
    }
    fixture.harness.drainEvents();
    ASSERT_TRUE(second.isFinished());
    EXPECT_EQ(fixture.store->results().resultWindow().records().size(), 500u);
    EXPECT_FALSE(fixture.store->results().resultWindow().hasMoreRecords());
    EXPECT_EQ(fixture.store->context().errorMessage(), c.errorMessage);
    EXPECT_FALSE(fixture.store->results().isLoading());
    EXPECT_FALSE(ResultsModelTestAccess::refreshSearchTask(fixture.store->results()));
    EXPECT_EQ(fixture.store->results().searchResultsResetCount(), 1);
  }
}

TEST(ImageLibraryStoreSearch, ASuccessClearsTheErrorAndOnlyAResetRefreshCountsAReset) {
  SearchFixture fixture;
  fixture.harness.service->setRecords(libraryImages(0, 2));
  fixture.store->context().setErrorMessage("an older failure");
  fixture.refresh(500, false);
  fixture.harness.drainEvents();
  EXPECT_EQ(fixture.store->context().errorMessage(), std::nullopt);
  EXPECT_EQ(fixture.store->results().searchResultsResetCount(), 0);
  fixture.refresh(500, true);
  fixture.refresh(500, true);
  fixture.harness.drainEvents();
  // The first of the two was superseded before its answer came.
  EXPECT_EQ(fixture.store->results().searchResultsResetCount(), 1);
}

TEST(ImageLibraryStoreSearch, ARefreshBeforeTheLiveServiceChangesNothing) {
  SearchFixture fixture(testing::notReadyStoreOptions());
  ImageLibraryStore& store = *fixture.store;
  int signalCount = 0;
  for (auto signal : {&ResultsModel::isLoadingChanged, &ResultsModel::isLoadingNextPageChanged}) {
    QObject::connect(&store.results(), signal, [&] { ++signalCount; });
  }
  const int epoch = store.results().resultWindow().loadEpoch();
  const StoreTask<void> task = fixture.refresh(500, true);
  fixture.harness.drainEvents();
  EXPECT_TRUE(task.isFinished());
  EXPECT_EQ(store.results().resultWindow().loadEpoch(), epoch);
  EXPECT_EQ(signalCount, 0);
  EXPECT_EQ(ResultsModelTestAccess::backgroundResultRefreshID(store.results()), 0);
  EXPECT_FALSE(ResultsModelTestAccess::refreshSearchTask(store.results()));
  EXPECT_FALSE(store.results().isLoading());
  EXPECT_EQ(store.results().searchResultsResetCount(), 0);
  EXPECT_TRUE(fixture.harness.service->calls("searchImages").empty());
}

}  // namespace
}  // namespace lorvex
