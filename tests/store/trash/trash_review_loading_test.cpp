// The Trash review's list: its query, the first page on opening, the pages a tile near the end asks
// for (one load at a time, joined), a page that makes no progress, failures, and loads that a
// dismissal or a newer reload overtakes.
#include <gtest/gtest.h>

#include <any>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "store/filters/filters_model_test_access.h"
#include "store/library/library_model_test_access.h"
#include "store/search_flows.h"
#include "store/store_records.h"
#include "store/support/store_harness.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex {
namespace {

using testing::imagePath;
using testing::imagePaths;
using testing::libraryFailure;
using testing::libraryImage;
using testing::pathsOf;
using testing::StartedFlow;
using testing::startFlow;
using testing::startValueFlow;

// Images first .. first + count - 1, each a delete candidate.
std::vector<ImageRecord> candidates(int first, int count) {
  std::vector<ImageRecord> images;
  for (int number = first; number < first + count; ++number)
    images.push_back(libraryImage(number, false, true));
  return images;
}

struct ReviewFixture {
  explicit ReviewFixture(int candidateCount, testing::StoreOptions options = {})
      : store(harness.makeStore(std::move(options))) {
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {testing::kLibraryRoot});
    harness.service->setRecords(candidates(0, candidateCount));
  }

  StoreTask<void> present() {
    ImageLibraryStore* self = store.get();
    return startFlow(*store,
                     [self](std::stop_token) { return self->trash().presentDeleteCandidateTrashReview(); });
  }
  StoreTask<void> reload() {
    ImageLibraryStore* self = store.get();
    return startFlow(*store,
                     [self](std::stop_token) { return self->trash().reloadDeleteCandidateTrashReview(); });
  }
  StoreTask<void> tileShown(std::optional<std::string> path) {
    ImageLibraryStore* self = store.get();
    return startFlow(*store, [self, path](std::stop_token) {
      return self->trash().loadMoreDeleteCandidateTrashReviewIfNeeded(path);
    });
  }
  StartedFlow<bool> loadMore() {
    ImageLibraryStore* self = store.get();
    return startValueFlow<bool>(
        *store, [self](std::stop_token) { return self->trash().loadMoreDeleteCandidateTrashReview(); });
  }
  // Opens the review and lets its first page arrive.
  void open() {
    present();
    harness.drainEvents();
  }
  std::vector<std::int64_t> searchOffsets() const {
    std::vector<std::int64_t> offsets;
    for (const auto& call : harness.service->calls("searchImages")) offsets.push_back(call.query->offset);
    return offsets;
  }
  const TrashCandidateBrowser& browser() const { return store->trash().trashReviewBrowser(); }
  bool idle() const {
    return !browser().isReloading() && !browser().isLoadingMore() &&
           !TrashModelTestAccess::loadMoreTask(store->trash());
  }

  testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
};

TEST(ImageLibraryStoreTrashReviewLoading, TheQueryIgnoresTheResultFiltersButFollowsTheSortAndTheFolders) {
  ReviewFixture f(3);
  FiltersModelTestAccess::setOnlyFavorites(f.store->filters(), true);
  FiltersModelTestAccess::setSelectedFilterTags(f.store->filters(), {"cat"});
  FiltersModelTestAccess::setSelectedTagConcepts(
      f.store->filters(), {TagConcept{.id = 4, .displayName = "animals", .imageCount = 1}});
  FiltersModelTestAccess::setSelectedAspectFilters(f.store->filters(), {ImageAspectFilter::portrait});
  f.store->filters().setSelectedModelSource("model");
  FiltersModelTestAccess::setSearchSort(f.store->filters(), ImageSearchSort::fileNameDescending);
  f.open();
  ImageSearchQuery expected;
  expected.deleteCandidate = true;
  expected.rootPaths = {testing::kLibraryRoot};
  expected.includeMissing = false;
  expected.sort = ImageSearchSort::fileNameDescending;
  expected.limit = 501;
  expected.offset = 0;
  const auto calls = f.harness.service->calls("searchImages");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(*calls[0].query, expected);
  EXPECT_EQ(pathsOf(f.browser().records()),
            (std::vector<std::string>{imagePath(2), imagePath(1), imagePath(0)}));

  // No registered folder at all: nothing is listed, rather than every candidate of the library.
  ReviewFixture none(3);
  LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(none.store->library(), {});
  LibraryModelTestAccess::setHasLoadedRegisteredFolderSummaries(none.store->library(), true);
  none.open();
  EXPECT_TRUE(none.browser().records().empty());
  EXPECT_TRUE(none.store->presentation().isDeleteCandidateTrashReviewPresented());
}

TEST(ImageLibraryStoreTrashReviewLoading, OpeningWaitsForTheLibraryAndAReloadNeedsAnOpenReview) {
  struct Case {
    const char* name;
    bool needsPreparation;
    bool preparing;
    bool reloadOnly;  // reload without presenting
    bool presented;
  };
  const std::vector<Case> cases = {
      {"ready", false, false, false, true},
      {"the live service is still missing", true, false, false, false},
      {"the library is being prepared", false, true, false, false},
      {"a reload of a closed review", false, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::StoreOptions options;
    options.needsLiveServicePreparation = c.needsPreparation;
    ReviewFixture f(3, options);
    LibraryModelTestAccess::setIsPreparingLibrary(f.store->library(), c.preparing);
    c.reloadOnly ? f.reload() : f.present();
    f.harness.drainEvents();
    EXPECT_EQ(f.store->presentation().isDeleteCandidateTrashReviewPresented(), c.presented);
    EXPECT_EQ(f.harness.service->calls("searchImages").size(), c.presented ? 1u : 0u);
    EXPECT_EQ(f.browser().records().size(), c.presented ? 3u : 0u);
    EXPECT_TRUE(f.idle());
  }
}

TEST(ImageLibraryStoreTrashReviewLoading, ATileNearTheLoadedEndLoadsTheNextPage) {
  struct Case {
    const char* name;
    int candidates;
    int keepLoaded;  // the first page cut back to this many, more reported (0: as loaded)
    std::optional<std::string> tile;
    std::vector<std::int64_t> offsets;
    std::size_t loadedAfter;
    bool hasMoreAfter;
  };
  const std::vector<Case> cases = {
      {"600: the tile at 475 loads nothing", 600, 0, imagePath(475), {0}, 500, true},
      {"600: the tile at 476 loads the last 100", 600, 0, imagePath(476), {0, 500}, 600, false},
      {"600: the last tile", 600, 0, imagePath(499), {0, 500}, 600, false},
      {"no record: whenever more exist", 600, 0, std::nullopt, {0, 500}, 600, false},
      {"a record no longer listed", 600, 0, imagePath(550), {0}, 500, true},
      {"nothing more to load", 500, 0, imagePath(499), {0}, 500, false},
      {"fewer than 24 loaded: any tile", 600, 10, imagePath(0), {0, 10}, 510, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(c.candidates);
    f.open();
    if (c.keepLoaded > 0) {
      std::vector<RecordRef> kept(f.browser().records().begin(),
                                  f.browser().records().begin() + c.keepLoaded);
      f.store->trash().trashReviewBrowser().setRecords(kept);
    }
    f.tileShown(c.tile);
    f.harness.drainEvents();
    EXPECT_EQ(f.searchOffsets(), c.offsets);
    for (const auto& call : f.harness.service->calls("searchImages")) EXPECT_EQ(call.query->limit, 501);
    EXPECT_EQ(pathsOf(f.browser().records()), imagePaths(0, static_cast<int>(c.loadedAfter)));
    EXPECT_EQ(f.browser().hasMoreRecords(), c.hasMoreAfter);
    EXPECT_TRUE(f.idle());
  }
}

TEST(ImageLibraryStoreTrashReviewLoading, OnlyRecordsStillTrashableAreListedAndCounted) {
  struct Case {
    const char* name;
    std::function<void(ImageRecord&)> change;  // applied to the answer's record at 250
    std::size_t listed;
    bool hasMore;
  };
  const std::vector<Case> cases = {
      {"501 candidates", [](ImageRecord&) {}, 500, true},
      {"one came back missing", [](ImageRecord& record) { record.isMissing = true; }, 500, false},
      {"one is no longer marked", [](ImageRecord& record) { record.reviewState.deleteCandidate = false; },
       500, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(600);
    // The library changed between the query and its answer.
    f.harness.service->setAnswer("searchImages", [&](const testing::ServiceCall& call) {
      std::vector<ImageRecord> answer = f.harness.service->libraryAnswer(*call.query);
      c.change(answer[250]);
      return std::any(answer);
    });
    f.open();
    EXPECT_EQ(f.browser().records().size(), c.listed);
    EXPECT_EQ(f.browser().hasMoreRecords(), c.hasMore);
    for (const auto& record : f.browser().records()) EXPECT_TRUE(TrashCandidateBrowser::isTrashable(*record));
  }
}

TEST(ImageLibraryStoreTrashReviewLoading, TwoTilesShareOneLoadThatTheDisabledReasonsSee) {
  ReviewFixture f(600);
  f.open();
  auto& service = *f.harness.service;
  int taskSignals = 0;
  QObject::connect(&f.store->trash(), &TrashModel::deleteCandidateTrashReviewLoadMoreTaskChanged,
                   [&] { ++taskSignals; });
  service.hold("searchImages");
  const StartedFlow<bool> first = f.loadMore();
  const StartedFlow<bool> second = f.loadMore();
  ASSERT_TRUE(service.waitForHeld("searchImages", 1));
  f.harness.drainEvents();
  EXPECT_EQ(service.heldCalls("searchImages").size(), 1u);
  EXPECT_TRUE(f.browser().isLoadingMore());
  EXPECT_TRUE(f.store->trash().isTrashReviewLoading());
  EXPECT_EQ(f.store->trash().trashLoadedDisabledReason(),
            DeleteCandidateTrashDisabledReason::loadingCandidates);
  service.releaseAll();
  f.harness.drainEvents();
  ASSERT_TRUE(first.isFinished());
  ASSERT_TRUE(second.isFinished());
  EXPECT_TRUE(first.result());
  EXPECT_TRUE(second.result());
  EXPECT_EQ(f.searchOffsets(), (std::vector<std::int64_t>{0, 500}));
  EXPECT_EQ(f.browser().records().size(), 600u);
  EXPECT_TRUE(f.idle());
  EXPECT_EQ(taskSignals, 2);  // stored, then let go
  EXPECT_EQ(f.store->trash().trashLoadedDisabledReason(), std::nullopt);
}

TEST(ImageLibraryStoreTrashReviewLoading, APageOfLoadedRecordsReloadsFromTheStartOnce) {
  ReviewFixture f(600);
  f.open();
  // The list shifted underneath: the page at 500 holds only records already listed.
  f.harness.service->setAnswer("searchImages", [&](const testing::ServiceCall& call) {
    ImageSearchQuery query = *call.query;
    if (query.offset == 500) query.offset = 0;
    return std::any(f.harness.service->libraryAnswer(query));
  });
  const StartedFlow<bool> load = f.loadMore();
  f.harness.drainEvents();
  ASSERT_TRUE(load.isFinished());
  EXPECT_FALSE(load.result());
  EXPECT_EQ(f.searchOffsets(), (std::vector<std::int64_t>{0, 500, 0}));
  EXPECT_EQ(f.browser().records().size(), 500u);
  EXPECT_TRUE(f.browser().hasMoreRecords());
  EXPECT_TRUE(f.idle());
}

TEST(ImageLibraryStoreTrashReviewLoading, FailuresKeepTheListAndShowTheirText) {
  struct Case {
    const char* name;
    bool reload;  // else a load-more
    bool hasMoreAfter;
  };
  // A failed reload stops paging (its offsets may belong to a list that is gone); a failed page
  // keeps it, so the next tile asks again.
  const std::vector<Case> cases = {{"reload", true, false}, {"load-more", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(600);
    f.open();
    f.harness.service->hold("searchImages");
    c.reload ? f.reload() : f.tileShown(std::nullopt);
    ASSERT_TRUE(f.harness.service->waitForHeld("searchImages"));
    f.harness.service->fail(f.harness.service->heldCalls("searchImages").front().id,
                            libraryFailure("disk gone"));
    f.harness.drainEvents();
    EXPECT_EQ(f.store->context().errorMessage(), "disk gone");
    EXPECT_EQ(pathsOf(f.browser().records()), imagePaths(0, 500));
    EXPECT_EQ(f.browser().hasMoreRecords(), c.hasMoreAfter);
    EXPECT_TRUE(f.idle());
    // The next success clears the message.
    f.harness.service->answerImmediately("searchImages");
    c.reload ? f.reload() : f.tileShown(imagePath(499));
    f.harness.drainEvents();
    EXPECT_EQ(f.store->context().errorMessage(), std::nullopt);
    EXPECT_EQ(f.browser().records().size(), c.reload ? 500u : 600u);
    EXPECT_EQ(f.searchOffsets().back(), c.reload ? 0 : 500);
  }
}

TEST(ImageLibraryStoreTrashReviewLoading, ALoadOvertakenByADismissalOrANewerReloadIsDropped) {
  struct Case {
    const char* name;
    bool loadMore;  // else the first page, on opening
    std::function<void(ReviewFixture&)> overtake;
    bool presented;
    std::size_t listed;
  };
  const auto dismiss = [](ReviewFixture& f) { f.store->trash().dismissDeleteCandidateTrashReview(); };
  const auto reload = [](ReviewFixture& f) {
    // The newer reload finds fewer candidates and answers at once.
    f.harness.service->setRecords(candidates(0, 7));
    f.harness.service->answerImmediately("searchImages");
    f.reload();
    f.harness.drainEvents();
  };
  const std::vector<Case> cases = {
      {"dismissed while opening", false, dismiss, false, 0},
      {"dismissed during a load-more", true, dismiss, false, 0},
      {"reloaded while opening", false, reload, true, 7},
      {"reloaded during a load-more", true, reload, true, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(600);
    if (c.loadMore) f.open();
    f.store->context().setErrorMessage("earlier");
    f.harness.service->hold("searchImages");
    c.loadMore ? f.tileShown(std::nullopt) : f.present();
    ASSERT_TRUE(f.harness.service->waitForHeld("searchImages"));
    const auto held = f.harness.service->heldCalls("searchImages").front();
    c.overtake(f);
    f.harness.service->release(held.id);
    f.harness.drainEvents();
    EXPECT_EQ(f.store->presentation().isDeleteCandidateTrashReviewPresented(), c.presented);
    EXPECT_EQ(f.browser().records().size(), c.listed);
    EXPECT_FALSE(f.browser().hasMoreRecords());
    EXPECT_TRUE(f.browser().selectedPaths().empty());
    EXPECT_TRUE(f.idle());
    // A dismissal leaves the message alone; a reload that applied cleared it.
    EXPECT_EQ(f.store->context().errorMessage(),
              c.presented ? std::nullopt : std::optional<std::string>("earlier"));
  }
}

}  // namespace
}  // namespace lorvex
