// Review marks on loaded records: what each operation writes, in one call, all or nothing; the
// window updated in place under the review filters; the gates of each entry point; a failure that
// changes nothing; and the loads in flight stopped and asked for again around the change.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "store/library/library_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "store/review_fixture.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex {
namespace {

using testing::imagePath;
using testing::libraryImage;
using testing::ReviewFixture;

using Operation = std::function<void(ImageLibraryStore&, const std::vector<RecordRef>&)>;

// Images 0 to 3 carry every pair of marks; image 1 has a note.
std::vector<ImageRecord> everyMarkPair() {
  std::vector<ImageRecord> images = {libraryImage(0, false, false), libraryImage(1, true, false),
                                     libraryImage(2, false, true), libraryImage(3, true, true)};
  images[1].reviewState.notes = "kept";
  return images;
}

TEST(ImageLibraryStoreReviewUpdates, EachOperationWritesTheChangedRecordsOnceAndUpdatesTheWindowInPlace) {
  struct Case {
    std::string name;
    Operation operation;
    // The marks (favorite, deleteCandidate) of images 0 to 3 in the library afterwards.
    std::vector<std::pair<bool, bool>> marksAfter;
    std::vector<std::string> written;
    std::vector<int> windowAfter;  // normal results: a delete candidate that was written leaves
  };
  const std::vector<Case> cases = {
      {"mark delete candidates: the marked ones skipped",
       [](ImageLibraryStore& s, const auto& r) { s.review().markDeleteCandidates(r); },
       {{false, true}, {true, true}, {false, true}, {true, true}},
       {imagePath(0), imagePath(1)},
       {2, 3}},
      {"set favorite: the favorites skipped",
       [](ImageLibraryStore& s, const auto& r) { s.review().setFavorite(r, true); },
       {{true, false}, {true, false}, {true, true}, {true, true}},
       {imagePath(0), imagePath(2)},
       {0, 1, 3}},
      {"clear favorite",
       [](ImageLibraryStore& s, const auto& r) { s.review().setFavorite(r, false); },
       {{false, false}, {false, false}, {false, true}, {false, true}},
       {imagePath(1), imagePath(3)},
       {0, 1, 2}},
      {"toggle favorite flips each",
       [](ImageLibraryStore& s, const auto& r) { s.review().toggleFavorite(r); },
       {{true, false}, {false, false}, {true, true}, {false, true}},
       {imagePath(0), imagePath(1), imagePath(2), imagePath(3)},
       {0, 1}},
      {"clear delete candidate",
       [](ImageLibraryStore& s, const auto& r) { s.review().setDeleteCandidate(r, false); },
       {{false, false}, {true, false}, {false, false}, {true, false}},
       {imagePath(2), imagePath(3)},
       {0, 1, 2, 3}},
      {"set delete candidate",
       [](ImageLibraryStore& s, const auto& r) { s.review().setDeleteCandidate(r, true); },
       {{false, true}, {true, true}, {false, true}, {true, true}},
       {imagePath(0), imagePath(1)},
       {2, 3}},
      {"toggle delete candidate flips each",
       [](ImageLibraryStore& s, const auto& r) { s.review().toggleDeleteCandidate(r); },
       {{false, true}, {true, true}, {false, false}, {true, false}},
       {imagePath(0), imagePath(1), imagePath(2), imagePath(3)},
       {2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(everyMarkPair());
    f.store->context().setErrorMessage("an earlier failure");
    // Given in reverse: the writes still come in window order.
    c.operation(*f.store, f.loaded({3, 2, 1, 0}));
    const auto calls = f.harness.service->calls("updateReviewStates");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].paths, c.written);
    EXPECT_EQ(f.callCount("updateReviewState"), 0u);
    for (int number = 0; number < 4; ++number) {
      const ReviewState state = f.libraryState(number);
      EXPECT_EQ(std::make_pair(state.favorite, state.deleteCandidate),
                c.marksAfter[static_cast<std::size_t>(number)])
          << "image " << number;
    }
    EXPECT_EQ(f.libraryState(1).notes, std::optional<std::string>("kept"));
    EXPECT_EQ(f.windowNumbers(), c.windowAfter);
    // A loaded record shows what the library now holds.
    for (int number : c.windowAfter) EXPECT_EQ(f.loaded({number})[0]->reviewState, f.libraryState(number));
    EXPECT_EQ(f.store->context().errorMessage(), std::nullopt);
  }
}

TEST(ImageLibraryStoreReviewUpdates, RecordsNotLoadedOrNotChangedWriteNothing) {
  struct Case {
    std::string name;
    std::vector<int> given;  // image numbers; 7 and 8 are in the library but not loaded
    Operation operation;
    std::vector<std::string> written;  // empty: no call at all
  };
  const std::vector<Case> cases = {
      {"all already favorites",
       {1, 3},
       [](ImageLibraryStore& s, const auto& r) { s.review().setFavorite(r, true); },
       {}},
      {"all already marked",
       {2, 3},
       [](ImageLibraryStore& s, const auto& r) { s.review().markDeleteCandidates(r); },
       {}},
      {"none given", {}, [](ImageLibraryStore& s, const auto& r) { s.review().toggleFavorite(r); }, {}},
      {"none loaded", {7, 8}, [](ImageLibraryStore& s, const auto& r) { s.review().toggleFavorite(r); }, {}},
      {"the loaded ones only",
       {7, 0, 8},
       [](ImageLibraryStore& s, const auto& r) { s.review().toggleFavorite(r); },
       {imagePath(0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto library = everyMarkPair();
    library.push_back(libraryImage(7));
    library.push_back(libraryImage(8));
    ReviewFixture f(library, {0, 1, 2, 3});
    f.store->context().setErrorMessage("an earlier failure");
    std::vector<RecordRef> given;
    for (int number : c.given) given.push_back(makeRecordRef(libraryImage(number)));
    c.operation(*f.store, given);
    const auto calls = f.harness.service->calls("updateReviewStates");
    if (c.written.empty()) {
      EXPECT_TRUE(calls.empty());
      EXPECT_EQ(f.store->context().errorMessage(), std::optional<std::string>("an earlier failure"));
    } else {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].paths, c.written);
    }
    EXPECT_EQ(f.libraryState(7), ReviewState{});
    EXPECT_EQ(f.libraryState(8), ReviewState{});
  }
}

TEST(ImageLibraryStoreReviewUpdates, APathLoadedTwiceIsWrittenAndRecordedForUndoOnce) {
  ReviewFixture f(testing::libraryImages(0, 2));
  const RecordRef image0 = makeRecordRef(libraryImage(0));
  f.store->results().resultWindow().replaceRecords({image0, makeRecordRef(libraryImage(1)), image0}, false,
                                                   0);
  f.store->review().markDeleteCandidates({image0, image0});
  const auto calls = f.harness.service->calls("updateReviewStates");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].paths, std::vector<std::string>{imagePath(0)});
  ASSERT_EQ(f.store->review().deleteCandidateUndoStack().size(), 1u);
  EXPECT_EQ(f.store->review().deleteCandidateUndoStack()[0].records.size(), 1u);
  EXPECT_EQ(f.windowNumbers(), std::vector<int>{1});
}

TEST(ImageLibraryStoreReviewUpdates, EachEntryPointIsGatedAsItsCallerIs) {
  enum Entry { focusedFavorite, focusedDeleteCandidate, contextMenuToggle, entryCount };
  struct Case {
    std::string name;
    std::function<void(ReviewFixture&)> setUp;
    std::array<bool, entryCount> changes;
  };
  const std::vector<Case> cases = {
      {"nothing in the way", [](ReviewFixture&) {}, {true, true, true}},
      {"a page loading",
       [](ReviewFixture& f) { ResultsModelTestAccess::setIsLoadingNextPage(f.store->results(), true); },
       {false, false, false}},
      {"the slideshow showing two",
       [](ReviewFixture& f) {
         f.store->presentation().setSlideshowVisibleCount(2);
         f.store->presentation().setIsSlideshowPresented(true);
       },
       {false, false, false}},
      {"the slideshow showing one",
       [](ReviewFixture& f) {
         f.store->presentation().setSlideshowVisibleCount(1);
         f.store->presentation().setIsSlideshowPresented(true);
       },
       {true, true, true}},
      {"a move to the Trash running",
       [](ReviewFixture& f) { TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store->trash(), true); },
       {false, false, true}},
      {"the tag popover open",
       [](ReviewFixture& f) { f.store->presentation().setIsTagAdditionPopoverPresented(true); },
       {false, false, true}},
      {"the model popover open",
       [](ReviewFixture& f) { f.store->presentation().setIsModelSelectionPopoverPresented(true); },
       {false, false, true}},
      {"the focus not loaded",
       [](ReviewFixture& f) { f.store->results().selection().selectSingle(imagePath(9)); },
       {false, false, true}},
  };
  for (const Case& c : cases) {
    for (int entry = 0; entry < entryCount; ++entry) {
      SCOPED_TRACE(c.name + ", entry " + std::to_string(entry));
      ReviewFixture f(testing::libraryImages(0, 5));
      f.store->results().selection().selectSingle(imagePath(2));
      c.setUp(f);
      ASSERT_EQ(f.store->review().canApplyReviewUpdate(), c.changes[contextMenuToggle]);
      switch (entry) {
        case focusedFavorite:
          f.store->review().toggleFocusedRecordFavorite();
          break;
        case focusedDeleteCandidate:
          f.store->review().toggleFocusedRecordDeleteCandidate();
          break;
        default:
          f.store->review().toggleFavorite(f.loaded({2}));
      }
      EXPECT_EQ(f.callCount("updateReviewStates"), c.changes[static_cast<std::size_t>(entry)] ? 1u : 0u);
      EXPECT_EQ(f.libraryState(2) != ReviewState{}, c.changes[static_cast<std::size_t>(entry)]);
    }
  }
}

TEST(ImageLibraryStoreReviewUpdates, MarkingTheFocusedRecordMovesTheSelectionAsTheWindowDecides) {
  ReviewFixture f(testing::libraryImages(0, 5));
  f.store->results().selection().selectSingle(imagePath(2));
  f.store->review().toggleFocusedRecordDeleteCandidate();
  EXPECT_EQ(f.windowNumbers(), (std::vector<int>{0, 1, 3, 4}));
  EXPECT_EQ(f.store->results().selection().primaryPath(), imagePath(3));
  EXPECT_TRUE(f.libraryState(2).deleteCandidate);
}

TEST(ImageLibraryStoreReviewUpdates, AFailedWriteChangesNothingAndShowsItsText) {
  struct Case {
    std::string name;
    Operation operation;
    bool dismissesBanner;
  };
  const std::vector<Case> cases = {
      {"delete candidates", [](ImageLibraryStore& s, const auto& r) { s.review().markDeleteCandidates(r); },
       true},
      {"favorites", [](ImageLibraryStore& s, const auto& r) { s.review().setFavorite(r, true); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Image 12 is loaded but not in the library: the third of five writes fails.
    auto library = testing::libraryImages(10, 6);
    library.erase(library.begin() + 2);
    ReviewFixture f(library);
    f.store->results().resultWindow().replaceRecords(
        {makeRecordRef(libraryImage(10)), makeRecordRef(libraryImage(11)), makeRecordRef(libraryImage(12)),
         makeRecordRef(libraryImage(13)), makeRecordRef(libraryImage(14)), makeRecordRef(libraryImage(15))},
        false, 0);
    // A banner and an undo action from an earlier marking.
    f.store->review().markDeleteCandidates(f.loaded({15}));
    ASSERT_TRUE(f.store->review().deleteCandidateFeedback().has_value());
    const auto stack = f.store->review().deleteCandidateUndoStack();
    const auto window = f.store->results().resultWindow().records();

    c.operation(*f.store, f.loaded({10, 11, 12, 13, 14}));
    for (int number : {10, 11, 13, 14}) EXPECT_EQ(f.libraryState(number), ReviewState{}) << number;
    EXPECT_TRUE(sameRecords(f.store->results().resultWindow().records(), window));
    EXPECT_EQ(f.store->review().deleteCandidateUndoStack(), stack);
    EXPECT_EQ(f.store->review().deleteCandidateFeedback().has_value(), !c.dismissesBanner);
    ASSERT_TRUE(f.store->context().errorMessage().has_value());
    EXPECT_NE(f.store->context().errorMessage()->find(imagePath(12)), std::string::npos)
        << *f.store->context().errorMessage();
  }
}

TEST(ImageLibraryStoreReviewUpdates, AMarkStopsAFirstPageOrRefreshInFlightAndAsksForItAgain) {
  struct Case {
    std::string name;
    bool postSyncRefresh;  // else a first-page search of 120 without scroll reset
  };
  for (const Case& c : std::vector<Case>{{"first page", false}, {"post-sync refresh", true}}) {
    SCOPED_TRACE(c.name);
    testing::StoreHarness harness;
    auto store = harness.makeStore();
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {testing::kLibraryRoot});
    harness.service->setRecords(testing::libraryImages(0, 300));
    ImageLibraryStore* self = store.get();
    testing::startFlow(
        *store, [self](std::stop_token stop) { return self->results().refreshResults(30, false, stop); });
    harness.drainEvents();
    harness.service->hold("searchImages");
    if (c.postSyncRefresh) {
      testing::startFlow(*store, [self](std::stop_token stop) {
        return self->results().refreshResultWindowAfterSync(stop);
      });
    } else {
      testing::startFlow(
          *store, [self](std::stop_token stop) { return self->results().refreshResults(120, false, stop); });
    }
    ASSERT_TRUE(harness.service->waitForHeld("searchImages", 1));
    const testing::ServiceCall stale = harness.service->heldCalls("searchImages")[0];

    const auto first = store->results().resultWindow().records()[0];
    store->review().markDeleteCandidates({first});
    harness.service->releaseWith(stale.id, testing::libraryImages(5000, 600));
    harness.drainEvents();
    const auto again = harness.service->heldCalls("searchImages");
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].query, stale.query);
    harness.service->answerImmediately("searchImages");
    harness.service->releaseAll();
    harness.drainEvents();
    // The fresh answer: image 0 is a candidate now and stays out.
    const int shown = c.postSyncRefresh ? 299 : 120;
    EXPECT_EQ(testing::pathsOf(store->results().resultWindow().records()), testing::imagePaths(1, shown));
  }
}

}  // namespace
}  // namespace lorvex
