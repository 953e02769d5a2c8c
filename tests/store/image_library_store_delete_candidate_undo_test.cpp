// Delete-candidate undo: the bounded stack, records put back at their places with the selection
// and the slideshow as they were, an undo into filters that now exclude them, and the three ways a
// restore can end (written, refused, incomplete).
#include <gtest/gtest.h>

#include <any>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "review_fixture.h"
#include "store/filters/filters_model_test_access.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex {
namespace {

using testing::imagePath;
using testing::libraryImage;
using testing::libraryImages;
using testing::ReviewFixture;

std::vector<std::size_t> stackWeights(const ImageLibraryStore& store) {
  std::vector<std::size_t> weights;
  for (const auto& action : store.deleteCandidateUndoStack()) weights.push_back(action.weight());
  return weights;
}

TEST(ImageLibraryStoreDeleteCandidateUndo, TheStackKeepsTheNewestWithinTwentyActionsAndAWeightOf5000) {
  struct Marking {
    int count;     // records marked, the next ones of the window
    int selected;  // of them selected (with a focus and an anchor); 0: nothing selected
  };
  struct Case {
    std::string name;
    std::vector<Marking> markings;
    std::vector<std::size_t> weightsAfter;
    bool lastAllowsUndo;
  };
  const std::vector<Marking> twentyOneSingles(21, Marking{1, 0});
  const std::vector<Case> cases = {
      {"the 21st drops the oldest", twentyOneSingles, std::vector<std::size_t>(20, 1), true},
      {"3000 then 2500 drops the older", {{3000, 0}, {2500, 0}}, {2500}, true},
      {"a weight of 5000 is kept", {{2500, 2498}}, {5000}, true},
      {"a weight of 5001 has no undo and leaves the stack", {{1, 0}, {2500, 2499}}, {1}, false},
      {"5000 after 1 drops the 1", {{1, 0}, {2500, 2498}}, {5000}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(libraryImages(0, 5600));
    int next = 0;
    for (const Marking& marking : c.markings) {
      std::vector<int> numbers;
      for (int i = 0; i < marking.count; ++i) numbers.push_back(next++);
      if (marking.selected > 0) {
        f.select(numbers[0], std::vector<int>(numbers.begin(), numbers.begin() + marking.selected));
      } else {
        f.store->selection().selectSingle(std::nullopt);
      }
      f.store->markDeleteCandidates(f.loaded(numbers));
    }
    EXPECT_EQ(stackWeights(*f.store), c.weightsAfter);
    ASSERT_TRUE(f.store->deleteCandidateFeedback().has_value());
    EXPECT_EQ(f.store->deleteCandidateFeedback()->allowsUndo, c.lastAllowsUndo);
    EXPECT_EQ(f.store->canUndoDeleteCandidateAction(), !c.weightsAfter.empty());
    if (c.markings.size() == 21) {
      // The first marking is the one gone.
      EXPECT_EQ(f.store->deleteCandidateUndoStack().front().records[0].path, imagePath(1));
    }
  }
}

TEST(ImageLibraryStoreDeleteCandidateUndo, UndoPutsTheRecordsBackInPlaceWithTheSelection) {
  ReviewFixture f(libraryImages(0, 10));
  f.select(4, {2, 4, 6}, 2);
  f.store->markDeleteCandidates(f.store->selectedRecords());
  ASSERT_EQ(f.windowNumbers(), (std::vector<int>{0, 1, 3, 5, 7, 8, 9}));
  ASSERT_TRUE(f.store->canUndoDeleteCandidateAction());
  f.store->setErrorMessage("an earlier failure");

  f.store->undoLastDeleteCandidateAction();
  EXPECT_EQ(f.windowNumbers(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  for (int number : {2, 4, 6}) {
    EXPECT_FALSE(f.libraryState(number).deleteCandidate);
    EXPECT_FALSE(f.loaded({number})[0]->reviewState.deleteCandidate);
  }
  EXPECT_EQ(f.store->selection().primaryPath(), imagePath(4));
  EXPECT_EQ(f.store->selection().selectedPaths(), (PathSet{imagePath(2), imagePath(4), imagePath(6)}));
  EXPECT_EQ(f.store->selection().anchorPath(), imagePath(2));
  EXPECT_EQ(f.harness.service->calls("restoreDeleteCandidateStates")[0].paths,
            (std::vector<std::string>{imagePath(2), imagePath(4), imagePath(6)}));
  EXPECT_TRUE(f.store->deleteCandidateUndoStack().empty());
  EXPECT_FALSE(f.store->canUndoDeleteCandidateAction());
  EXPECT_FALSE(f.store->deleteCandidateFeedback().has_value());
  EXPECT_EQ(f.store->errorMessage(), std::nullopt);
}

TEST(ImageLibraryStoreDeleteCandidateUndo, UndoIntoFiltersThatNowExcludeTheRecordsLeavesThemOut) {
  auto library = libraryImages(0, 10);
  library.push_back(libraryImage(20, false, true));
  library.push_back(libraryImage(21, false, true));
  ReviewFixture f(library, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  f.select(4, {2, 4, 6});
  f.store->markDeleteCandidates(f.store->selectedRecords());
  // The delete-candidate filter goes on and its search runs.
  FiltersModelTestAccess::setOnlyDeleteCandidates(f.store->filters(), true);
  ImageLibraryStore* self = f.store.get();
  testing::startFlow(*f.store,
                     [self](std::stop_token stop) { return self->refreshResults(500, true, stop); });
  f.harness.drainEvents();
  ASSERT_EQ(f.windowNumbers(), (std::vector<int>{2, 4, 6, 20, 21}));
  f.store->selection().selectSingle(imagePath(21));

  f.store->undoLastDeleteCandidateAction();
  for (int number : {2, 4, 6}) EXPECT_FALSE(f.libraryState(number).deleteCandidate);
  EXPECT_EQ(f.windowNumbers(), (std::vector<int>{20, 21}));
  EXPECT_EQ(f.store->selection().primaryPath(), imagePath(21));
  EXPECT_EQ(f.store->selection().selectedPaths(), PathSet{imagePath(21)});
  EXPECT_EQ(f.store->errorMessage(), std::nullopt);
}

TEST(ImageLibraryStoreDeleteCandidateUndo, UndoReopensTheSlideshowOnlyOnAFocusAndResumesOnlyWhatPlayed) {
  struct Case {
    std::string name;
    bool playing;
    bool favoritesFilterSince;  // the record cannot come back, nothing ends up focused
    bool presentedAfter;
    bool playingAfter;
  };
  const std::vector<Case> cases = {
      {"was playing", true, false, true, true},
      {"was paused", false, false, true, false},
      {"nothing focused after", true, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(libraryImages(0, 1));
    f.store->selection().selectSingle(imagePath(0));
    f.store->presentation().setSlideshowVisibleCount(1);
    f.store->presentation().setIsSlideshowPresented(true);
    f.store->presentation().setIsSlideshowPlaying(c.playing);
    f.store->toggleFocusedRecordDeleteCandidate();
    // The window emptied: the slideshow closed and nothing is selected.
    ASSERT_FALSE(f.store->presentation().isSlideshowPresented());
    ASSERT_EQ(f.store->selection().primaryPath(), std::nullopt);
    if (c.favoritesFilterSince) FiltersModelTestAccess::setOnlyFavorites(f.store->filters(), true);

    f.store->undoLastDeleteCandidateAction();
    EXPECT_EQ(f.store->presentation().isSlideshowPresented(), c.presentedAfter);
    EXPECT_EQ(f.store->presentation().isSlideshowPlaying(), c.playingAfter);
    EXPECT_EQ(f.store->selection().primaryPath(),
              c.presentedAfter ? std::optional<std::string>(imagePath(0)) : std::nullopt);
  }
}

TEST(ImageLibraryStoreDeleteCandidateUndo, UndoDoesNothingWhileBlockedOrWithAnEmptyStack) {
  struct Case {
    std::string name;
    bool marks;
    std::function<void(ImageLibraryStore&)> block;
  };
  const std::vector<Case> cases = {
      {"empty stack", false, [](ImageLibraryStore&) {}},
      {"a page loading", true, [](ImageLibraryStore& s) { s.setIsLoadingNextPage(true); }},
      {"a move to the Trash running", true,
       [](ImageLibraryStore& s) { TrashModelTestAccess::setIsTrashingDeleteCandidates(s.trash(), true); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(libraryImages(0, 3));
    if (c.marks) f.store->markDeleteCandidates(f.loaded({1}));
    c.block(*f.store);
    f.store->setErrorMessage("an earlier failure");
    const auto stack = f.store->deleteCandidateUndoStack();
    const auto window = f.windowNumbers();
    f.store->undoLastDeleteCandidateAction();
    EXPECT_EQ(f.callCount("restoreDeleteCandidateStates"), 0u);
    EXPECT_EQ(f.store->deleteCandidateUndoStack(), stack);
    EXPECT_EQ(f.windowNumbers(), window);
    EXPECT_EQ(f.store->errorMessage(), std::optional<std::string>("an earlier failure"));
  }
}

TEST(ImageLibraryStoreDeleteCandidateUndo, ARefusedRestoreStaysOnTheStackAnIncompleteOneIsAppliedAndSpent) {
  struct Case {
    std::string name;
    std::optional<std::vector<int>> answered;  // nothing: the restore throws
    std::vector<int> windowAfter;
    bool pushedBack;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"refused", std::nullopt, {0, 1, 3, 5, 7}, true, "restore refused"},
      // Image 6 goes back to its old place, which is past the end now that 4 is not there.
      {"one missing",
       std::vector<int>{6, 2},
       {0, 1, 2, 3, 5, 7, 6},
       false,
       "Delete-candidate undo did not return indexed record: " + imagePath(4)},
      {"two missing: the first by place",
       std::vector<int>{6},
       {0, 1, 3, 5, 7, 6},
       false,
       "Delete-candidate undo did not return indexed record: " + imagePath(2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(libraryImages(0, 8));
    f.select(4, {2, 4, 6});
    f.store->markDeleteCandidates(f.store->selectedRecords());
    const auto stack = f.store->deleteCandidateUndoStack();
    const auto selection = f.store->selection().snapshot();
    if (c.answered.has_value()) {
      // The restore writes every mark but answers only some records.
      const std::vector<int> answered = *c.answered;
      f.harness.service->setAnswer("restoreDeleteCandidateStates", [answered](const testing::ServiceCall&) {
        std::vector<ImageRecord> records;
        for (int number : answered) records.push_back(libraryImage(number));
        return std::any(records);
      });
    } else {
      f.failCall("restoreDeleteCandidateStates", "restore refused");
    }
    f.store->undoLastDeleteCandidateAction();
    EXPECT_EQ(f.windowNumbers(), c.windowAfter);
    EXPECT_EQ(f.store->deleteCandidateUndoStack(), c.pushedBack ? stack : decltype(stack){});
    EXPECT_EQ(f.store->canUndoDeleteCandidateAction(), c.pushedBack);
    ASSERT_TRUE(f.store->errorMessage().has_value());
    EXPECT_NE(f.store->errorMessage()->find(c.message), std::string::npos) << *f.store->errorMessage();
    // A refused restore leaves the selection and the banner alone.
    if (c.pushedBack) {
      EXPECT_EQ(f.store->selection().snapshot(), selection);
      EXPECT_TRUE(f.store->deleteCandidateFeedback().has_value());
    } else {
      EXPECT_EQ(*f.store->errorMessage(), c.message);
      EXPECT_FALSE(f.store->deleteCandidateFeedback().has_value());
    }
  }
}

}  // namespace
}  // namespace lorvex
