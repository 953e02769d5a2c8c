// Delete-candidate undo: the bounded stack, records put back at their places with the selection
// and the slideshow as they were, an undo into filters that now exclude them, the three ways a
// restore can end (written, refused, incomplete), the restore's place off the main thread with the
// marks that wait for it and the undo it does not offer twice, and a store that goes while a
// restore runs.
#include <gtest/gtest.h>

#include <any>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "store/filters/filters_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "store/review_fixture.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex {
namespace {

using testing::imagePath;
using testing::libraryImage;
using testing::libraryImages;
using testing::ReviewFixture;

std::vector<std::size_t> stackWeights(const ImageLibraryStore& store) {
  std::vector<std::size_t> weights;
  for (const auto& action : store.review().deleteCandidateUndoStack()) weights.push_back(action.weight());
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
        f.store->results().selection().selectSingle(std::nullopt);
      }
      f.store->review().markDeleteCandidates(f.loaded(numbers));
    }
    EXPECT_EQ(stackWeights(*f.store), c.weightsAfter);
    ASSERT_TRUE(f.store->review().deleteCandidateFeedback().has_value());
    EXPECT_EQ(f.store->review().deleteCandidateFeedback()->allowsUndo, c.lastAllowsUndo);
    EXPECT_EQ(f.store->review().canUndoDeleteCandidateAction(), !c.weightsAfter.empty());
    if (c.markings.size() == 21) {
      // The first marking is the one gone.
      EXPECT_EQ(f.store->review().deleteCandidateUndoStack().front().records[0].path, imagePath(1));
    }
  }
}

TEST(ImageLibraryStoreDeleteCandidateUndo, UndoPutsTheRecordsBackInPlaceWithTheSelection) {
  ReviewFixture f(libraryImages(0, 10));
  f.select(4, {2, 4, 6}, 2);
  f.store->review().markDeleteCandidates(f.store->results().selectedRecords());
  ASSERT_EQ(f.windowNumbers(), (std::vector<int>{0, 1, 3, 5, 7, 8, 9}));
  ASSERT_TRUE(f.store->review().canUndoDeleteCandidateAction());
  f.store->context().setErrorMessage("an earlier failure");

  f.store->review().undoLastDeleteCandidateAction();
  f.harness.drainEvents();
  EXPECT_EQ(f.windowNumbers(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  for (int number : {2, 4, 6}) {
    EXPECT_FALSE(f.libraryState(number).deleteCandidate);
    EXPECT_FALSE(f.loaded({number})[0]->reviewState.deleteCandidate);
  }
  EXPECT_EQ(f.store->results().selection().primaryPath(), imagePath(4));
  EXPECT_EQ(f.store->results().selection().selectedPaths(),
            (PathSet{imagePath(2), imagePath(4), imagePath(6)}));
  EXPECT_EQ(f.store->results().selection().anchorPath(), imagePath(2));
  EXPECT_EQ(f.harness.service->calls("restoreDeleteCandidateStates")[0].paths,
            (std::vector<std::string>{imagePath(2), imagePath(4), imagePath(6)}));
  EXPECT_TRUE(f.store->review().deleteCandidateUndoStack().empty());
  EXPECT_FALSE(f.store->review().canUndoDeleteCandidateAction());
  EXPECT_FALSE(f.store->review().deleteCandidateFeedback().has_value());
  EXPECT_EQ(f.store->context().errorMessage(), std::nullopt);
}

TEST(ImageLibraryStoreDeleteCandidateUndo, UndoIntoFiltersThatNowExcludeTheRecordsLeavesThemOut) {
  auto library = libraryImages(0, 10);
  library.push_back(libraryImage(20, false, true));
  library.push_back(libraryImage(21, false, true));
  ReviewFixture f(library, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  f.select(4, {2, 4, 6});
  f.store->review().markDeleteCandidates(f.store->results().selectedRecords());
  // The delete-candidate filter goes on and its search runs.
  FiltersModelTestAccess::setOnlyDeleteCandidates(f.store->filters(), true);
  ImageLibraryStore* self = f.store.get();
  testing::startFlow(
      *f.store, [self](std::stop_token stop) { return self->results().refreshResults(500, true, stop); });
  f.harness.drainEvents();
  ASSERT_EQ(f.windowNumbers(), (std::vector<int>{2, 4, 6, 20, 21}));
  f.store->results().selection().selectSingle(imagePath(21));

  f.store->review().undoLastDeleteCandidateAction();
  f.harness.drainEvents();
  for (int number : {2, 4, 6}) EXPECT_FALSE(f.libraryState(number).deleteCandidate);
  EXPECT_EQ(f.windowNumbers(), (std::vector<int>{20, 21}));
  EXPECT_EQ(f.store->results().selection().primaryPath(), imagePath(21));
  EXPECT_EQ(f.store->results().selection().selectedPaths(), PathSet{imagePath(21)});
  EXPECT_EQ(f.store->context().errorMessage(), std::nullopt);
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
    f.store->results().selection().selectSingle(imagePath(0));
    f.store->presentation().setSlideshowVisibleCount(1);
    f.store->presentation().setIsSlideshowPresented(true);
    f.store->presentation().setIsSlideshowPlaying(c.playing);
    f.store->review().toggleFocusedRecordDeleteCandidate();
    // The window emptied: the slideshow closed and nothing is selected.
    ASSERT_FALSE(f.store->presentation().isSlideshowPresented());
    ASSERT_EQ(f.store->results().selection().primaryPath(), std::nullopt);
    if (c.favoritesFilterSince) FiltersModelTestAccess::setOnlyFavorites(f.store->filters(), true);

    f.store->review().undoLastDeleteCandidateAction();
    f.harness.drainEvents();
    EXPECT_EQ(f.store->presentation().isSlideshowPresented(), c.presentedAfter);
    EXPECT_EQ(f.store->presentation().isSlideshowPlaying(), c.playingAfter);
    EXPECT_EQ(f.store->results().selection().primaryPath(),
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
      {"a page loading", true,
       [](ImageLibraryStore& s) { ResultsModelTestAccess::setIsLoadingNextPage(s.results(), true); }},
      {"a move to the Trash running", true,
       [](ImageLibraryStore& s) { TrashModelTestAccess::setIsTrashingDeleteCandidates(s.trash(), true); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(libraryImages(0, 3));
    if (c.marks) f.store->review().markDeleteCandidates(f.loaded({1}));
    c.block(*f.store);
    f.store->context().setErrorMessage("an earlier failure");
    const auto stack = f.store->review().deleteCandidateUndoStack();
    const auto window = f.windowNumbers();
    f.store->review().undoLastDeleteCandidateAction();
    f.harness.drainEvents();
    EXPECT_EQ(f.callCount("restoreDeleteCandidateStates"), 0u);
    EXPECT_EQ(f.store->review().deleteCandidateUndoStack(), stack);
    EXPECT_EQ(f.windowNumbers(), window);
    EXPECT_EQ(f.store->context().errorMessage(), std::optional<std::string>("an earlier failure"));
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
    f.store->review().markDeleteCandidates(f.store->results().selectedRecords());
    const auto stack = f.store->review().deleteCandidateUndoStack();
    const auto selection = f.store->results().selection().snapshot();
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
    f.store->review().undoLastDeleteCandidateAction();
    f.harness.drainEvents();
    EXPECT_EQ(f.windowNumbers(), c.windowAfter);
    EXPECT_EQ(f.store->review().deleteCandidateUndoStack(), c.pushedBack ? stack : decltype(stack){});
    EXPECT_EQ(f.store->review().canUndoDeleteCandidateAction(), c.pushedBack);
    ASSERT_TRUE(f.store->context().errorMessage().has_value());
    EXPECT_NE(f.store->context().errorMessage()->find(c.message), std::string::npos)
        << *f.store->context().errorMessage();
    // A refused restore leaves the selection and the banner alone.
    if (c.pushedBack) {
      EXPECT_EQ(f.store->results().selection().snapshot(), selection);
      EXPECT_TRUE(f.store->review().deleteCandidateFeedback().has_value());
    } else {
      EXPECT_EQ(*f.store->context().errorMessage(), c.message);
      EXPECT_FALSE(f.store->review().deleteCandidateFeedback().has_value());
    }
  }
}

// The review writes the library was asked for, in order: "mark 2 4" (updateReviewStates) or
// "restore 4" (restoreDeleteCandidateStates).
std::vector<std::string> reviewWrites(const ReviewFixture& f) {
  std::vector<std::string> writes;
  for (const testing::ServiceCall& call : f.harness.service->calls()) {
    std::string write;
    if (call.name == "updateReviewStates") write = "mark";
    if (call.name == "restoreDeleteCandidateStates") write = "restore";
    if (write.empty()) continue;
    for (const std::string& path : call.paths) write += " " + std::to_string(ReviewFixture::numberOf(path));
    writes.push_back(write);
  }
  return writes;
}

TEST(ImageLibraryStoreDeleteCandidateUndo, TheRestoreRunsOffTheCallingThreadAndNothingChangesUntilItReturns) {
  ReviewFixture f(libraryImages(0, 6));
  f.select(2, {2, 4});
  f.store->review().markDeleteCandidates(f.store->results().selectedRecords());
  const auto stack = f.store->review().deleteCandidateUndoStack();
  const auto window = f.windowNumbers();
  std::mutex mutex;
  std::optional<std::thread::id> restoringThread;
  f.harness.service->setAnswer("restoreDeleteCandidateStates", [&](const testing::ServiceCall& call) {
    std::lock_guard lock(mutex);
    restoringThread = std::this_thread::get_id();
    std::vector<ImageRecord> records;
    for (const std::string& path : call.paths) records.push_back(libraryImage(ReviewFixture::numberOf(path)));
    return std::any(records);
  });

  f.store->review().undoLastDeleteCandidateAction();
  EXPECT_TRUE(f.store->review().deleteCandidateRestoreTask());
  EXPECT_EQ(f.store->review().deleteCandidateUndoStack(), stack);
  // Its action is still on the stack, but no second undo is offered for it.
  EXPECT_FALSE(f.store->review().canUndoDeleteCandidateAction());
  EXPECT_EQ(f.windowNumbers(), window);
  EXPECT_TRUE(f.store->review().deleteCandidateFeedback().has_value());

  ASSERT_TRUE(f.harness.drainEvents());
  {
    std::lock_guard lock(mutex);
    ASSERT_TRUE(restoringThread.has_value());
    EXPECT_NE(*restoringThread, std::this_thread::get_id());
  }
  EXPECT_FALSE(f.store->review().deleteCandidateRestoreTask());
  EXPECT_EQ(f.windowNumbers(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_TRUE(f.store->review().deleteCandidateUndoStack().empty());
  EXPECT_FALSE(f.store->review().canUndoDeleteCandidateAction());
  EXPECT_EQ(f.store->results().selection().primaryPath(), imagePath(2));
}

TEST(ImageLibraryStoreDeleteCandidateUndo, MarksAskedForWhileARestoreRunsFollowItInOrderAndUndoIsIgnored) {
  struct Case {
    std::string name;
    std::vector<std::vector<int>> markings;  // made before the undo, each focused on its first image
    std::function<void(ReviewFixture&)> rightAfterUndo;
    std::vector<int> windowAfter;
    std::vector<int> candidatesAfter;
    std::vector<int> favoritesAfter;
    std::vector<std::vector<int>> stackAfter;
    std::vector<std::string> writes;
  };
  const std::vector<Case> cases = {
      {"the focused record's mark again: the undo focused it",
       {{4}},
       [](ReviewFixture& f) { f.store->review().toggleFocusedRecordDeleteCandidate(); },
       {0, 1, 2, 3, 5, 6, 7},
       {4},
       {},
       {{4}},
       {"mark 4", "restore 4", "mark 4"}},
      {"the focused record's favourite: written over the restored mark",
       {{4}},
       [](ReviewFixture& f) { f.store->review().toggleFocusedRecordFavorite(); },
       {0, 1, 2, 3, 4, 5, 6, 7},
       {},
       {4},
       {},
       {"mark 4", "restore 4", "mark 4"}},
      {"another marking: pushed after the undone action was popped",
       {{2}, {4}},
       [](ReviewFixture& f) { f.store->review().markDeleteCandidates(f.loaded({6})); },
       {0, 1, 3, 4, 5, 7},
       {2, 6},
       {},
       {{2}, {6}},
       {"mark 2", "mark 4", "restore 4", "mark 6"}},
      {"a second undo (a double-click on Undo): ignored, the older action stays",
       {{2}, {4}},
       [](ReviewFixture& f) { f.store->review().undoLastDeleteCandidateAction(); },
       {0, 1, 3, 4, 5, 6, 7},
       {2},
       {},
       {{2}},
       {"mark 2", "mark 4", "restore 4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(libraryImages(0, 8));
    for (const std::vector<int>& marking : c.markings) {
      f.select(marking[0], marking);
      f.store->review().markDeleteCandidates(f.store->results().selectedRecords());
    }
    f.store->review().undoLastDeleteCandidateAction();
    c.rightAfterUndo(f);
    ASSERT_TRUE(f.harness.drainEvents());

    EXPECT_EQ(reviewWrites(f), c.writes);
    EXPECT_EQ(f.windowNumbers(), c.windowAfter);
    std::vector<int> candidates;
    std::vector<int> favorites;
    for (int number = 0; number < 8; ++number) {
      if (f.libraryState(number).deleteCandidate) candidates.push_back(number);
      if (f.libraryState(number).favorite) favorites.push_back(number);
    }
    EXPECT_EQ(candidates, c.candidatesAfter);
    EXPECT_EQ(favorites, c.favoritesAfter);
    for (const RecordRef& record : f.store->results().resultWindow().records())
      EXPECT_EQ(record->reviewState, f.libraryState(ReviewFixture::numberOf(record->file.path)));
    std::vector<std::vector<int>> stack;
    for (const DeleteCandidateUndoAction& action : f.store->review().deleteCandidateUndoStack()) {
      stack.emplace_back();
      for (const DeleteCandidateUndoRecord& record : action.records)
        stack.back().push_back(ReviewFixture::numberOf(record.path));
    }
    EXPECT_EQ(stack, c.stackAfter);
    EXPECT_FALSE(f.store->context().errorMessage().has_value());
  }
}

TEST(ImageLibraryStoreDeleteCandidateUndo, AStoreDestroyedWhileItsRestoreRunsAppliesAndRunsNothingMore) {
  ReviewFixture f(libraryImages(0, 6));
  f.select(2, {2});
  f.store->review().markDeleteCandidates(f.store->results().selectedRecords());
  f.harness.service->hold("restoreDeleteCandidateStates");
  f.store->review().undoLastDeleteCandidateAction();
  ASSERT_TRUE(f.harness.service->waitForHeld("restoreDeleteCandidateStates"));
  // Waits for the restore, and goes with the store.
  f.store->review().toggleFavorite(f.loaded({0}));

  f.store.reset();
  f.harness.service->releaseAll();
  ASSERT_TRUE(f.harness.drainEvents());
  // The library keeps what the restore wrote; the waiting mark was never written.
  EXPECT_FALSE(f.libraryState(2).deleteCandidate);
  EXPECT_EQ(reviewWrites(f), (std::vector<std::string>{"mark 2", "restore 2"}));
}

}  // namespace
}  // namespace lorvex
