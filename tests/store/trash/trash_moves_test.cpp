// Moving delete candidates to the Trash: every guard refuses without a trace, the library's
// outcome (all moved, some failed, none, a refusal) is folded back into the results, the review,
// its selection, the undo history and the sidebar; a second confirmation while a move runs is
// refused; a search stopped by the move is started again.
#include <gtest/gtest.h>

#include <any>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "services/image_library_service_error.h"
#include "store/filters/filters_model_test_access.h"
#include "store/library/background_library_sync_test_access.h"
#include "store/library/library_model_test_access.h"
#include "store/review/review_model_test_access.h"
#include "store/search_flows.h"
#include "store/store_records.h"
#include "store/support/store_harness.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex {
namespace {

using testing::imagePath;
using testing::libraryFailure;
using testing::libraryImage;
using testing::pathsOf;
using testing::StartedFlow;
using testing::startFlow;
using testing::startValueFlow;

std::vector<std::string> paths(const std::vector<int>& numbers) {
  std::vector<std::string> result;
  for (int number : numbers) result.push_back(imagePath(number));
  return result;
}
PathSet pathSet(const std::vector<int>& numbers) {
  const auto list = paths(numbers);
  return PathSet(list.begin(), list.end());
}

// Images 0 … imageCount - 1 under /lib, `candidates` of them marked; the results show the
// candidates (or the others), the review is open on the candidates, one undo action is kept.
struct TrashFixture {
  explicit TrashFixture(const std::vector<int>& candidates, int imageCount = 10,
                        bool resultsShowCandidates = true)
      : store(harness.makeStore()) {
    std::vector<ImageRecord> images;
    for (int number = 0; number < imageCount; ++number) {
      const bool marked = std::find(candidates.begin(), candidates.end(), number) != candidates.end();
      images.push_back(libraryImage(number, false, marked));
    }
    harness.service->setRecords(images);
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {testing::kLibraryRoot});
    FiltersModelTestAccess::setOnlyDeleteCandidates(store->filters(), resultsShowCandidates);
    ImageLibraryStore* self = store.get();
    startFlow(*store, [self](std::stop_token) { return self->results().refreshResults(500, true); });
    startFlow(*store, [self](std::stop_token) { return self->trash().presentDeleteCandidateTrashReview(); });
    harness.drainEvents();
    ReviewModelTestAccess::setDeleteCandidateUndoStack(
        store->review(), {DeleteCandidateUndoAction{.records = {{imagePath(0), false, 0}},
                                                    .selectedPath = std::nullopt,
                                                    .selectedPaths = {},
                                                    .selectionAnchorPath = std::nullopt}});
  }

  StartedFlow<bool> move(std::vector<RecordRef> records) {
    ImageLibraryStore* self = store.get();
    return startValueFlow<bool>(*store, [self, records](std::stop_token) {
      return self->trash().moveDeleteCandidatesToTrash(records);
    });
  }
  // The result of a move run to its end.
  bool moved(std::vector<RecordRef> records) {
    const StartedFlow<bool> flow = move(std::move(records));
    harness.drainEvents();
    return flow.result();
  }
  StartedFlow<bool> moveLoaded() {
    ImageLibraryStore* self = store.get();
    return startValueFlow<bool>(
        *store, [self](std::stop_token) { return self->trash().moveLoadedTrashReviewCandidatesToTrash(); });
  }
  // The review's loaded records with these numbers, in the order given.
  std::vector<RecordRef> reviewed(const std::vector<int>& numbers) const {
    std::vector<RecordRef> result;
    for (const std::string& path : paths(numbers)) {
      for (const auto& record : store->trash().trashReviewBrowser().records()) {
        if (record->file.path == path) result.push_back(record);
      }
    }
    return result;
  }
  std::size_t calls(const char* name) const { return harness.service->calls(name).size(); }
  // The library's folder is registered and watched, so that background passes run over it.
  void answerFolderMonitoring() {
    const std::vector<std::string> roots{testing::kLibraryRoot};
    harness.service->setAnswer("registeredFolderRoots", [roots](auto&) {
      return std::any(RegisteredFolderRoots{roots, roots});
    });
    harness.service->setAnswer("folderEventCheckpoint", [roots](auto&) {
      return std::any(std::optional(RegisteredFolderEventCheckpoint{roots, 1}));
    });
    harness.service->setAnswer("restoreFolderAccess", [roots](auto&) { return std::any(roots); });
  }

  testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
};

TEST(ImageLibraryStoreTrashMoves, ARefusedMoveChangesNothing) {
  struct Case {
    const char* name;
    std::function<void(TrashFixture&)> setUp;
    std::function<std::vector<RecordRef>(TrashFixture&)> records;
  };
  const auto candidates = [](TrashFixture& f) { return f.reviewed({2, 3}); };
  const auto nothing = [](TrashFixture&) {};
  const std::vector<Case> cases = {
      {"no record is a candidate", nothing,
       [](TrashFixture&) {
         return testing::records({imagePath(0), imagePath(1)});
       }},
      {"every candidate is missing", nothing,
       [](TrashFixture&) {
         return std::vector<RecordRef>{testing::record(
             testing::RecordSpec{.path = imagePath(2), .deleteCandidate = true, .isMissing = true})};
       }},
      {"no records", nothing, [](TrashFixture&) { return std::vector<RecordRef>{}; }},
      {"the review is closed",
       [](TrashFixture& f) { f.store->presentation().setIsDeleteCandidateTrashReviewPresented(false); },
       candidates},
      {"the review is reloading",
       [](TrashFixture& f) { f.store->trash().trashReviewBrowser().setIsReloading(true); }, candidates},
      {"the review is loading more",
       [](TrashFixture& f) { f.store->trash().trashReviewBrowser().setIsLoadingMore(true); }, candidates},
      {"the live service is missing",
       [](TrashFixture& f) { f.store->context().setNeedsLiveServicePreparation(true); }, candidates},
      {"the library is being prepared",
       [](TrashFixture& f) { LibraryModelTestAccess::setIsPreparingLibrary(f.store->library(), true); },
       candidates},
      {"indexing", [](TrashFixture& f) { LibraryModelTestAccess::setIsIndexing(f.store->library(), true); },
       candidates},
      {"another move runs",
       [](TrashFixture& f) { TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store->trash(), true); },
       candidates},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrashFixture f({2, 3, 5});
    const ImageTrashSummary earlier{.requestedCount = 9, .trashedPaths = {}, .failures = {}};
    TrashModelTestAccess::setLastTrashSummary(f.store->trash(), earlier);
    f.store->context().setErrorMessage("earlier");
    f.store->trash().trashReviewBrowser().setSelectedPaths(pathSet({2}));
    c.setUp(f);
    const StartedFlow<bool> move = f.move(c.records(f));
    f.harness.drainEvents();
    ASSERT_TRUE(move.isFinished());
    EXPECT_FALSE(move.result());
    EXPECT_EQ(f.calls("moveDeleteCandidatesToTrash"), 0u);
    EXPECT_EQ(f.store->trash().lastTrashSummary(), earlier);
    EXPECT_EQ(f.store->context().errorMessage(), "earlier");
    EXPECT_EQ(pathsOf(f.store->results().resultWindow().records()), paths({2, 3, 5}));
    EXPECT_EQ(pathsOf(f.store->trash().trashReviewBrowser().records()), paths({2, 3, 5}));
    EXPECT_EQ(f.store->trash().trashReviewBrowser().selectedPaths(), pathSet({2}));
    EXPECT_EQ(f.store->review().deleteCandidateUndoStack().size(), 1u);
  }
}

TEST(ImageLibraryStoreTrashMoves, TheOutcomeReachesTheListsTheSelectionTheUndoHistoryAndTheSidebar) {
  const std::string changed = "on-disk file changed";
  const std::vector<std::string> all = paths({2, 3, 5, 7});
  struct Case {
    const char* name;
    std::vector<RecordRef> (*records)(TrashFixture&);
    std::vector<int> requested;               // the paths the library is asked to move
    std::optional<ImageTrashSummary> answer;  // nothing: the library refuses with "refused"
    bool result;
    std::vector<int> left;  // in the results and in the review
    std::vector<int> selected;
    std::size_t undoDepth;
    std::size_t sidebarReloads;
    std::optional<std::string> error;
    ImageTrashSummary kept;
  };
  const auto loaded = [](TrashFixture& f) { return f.reviewed({2, 3, 5, 7}); };
  const auto twice = [](TrashFixture& f) { return f.reviewed({3, 3, 2, 3}); };
  const std::string fixed(TrashModel::kTrashFailureMessage);
  const ImageTrashSummary allMoved{4, all, {}};
  // 3 was moved but its bookkeeping failed: listed in both, not offered again.
  const ImageTrashSummary partly{
      4,
      paths({2, 3}),
      {{imagePath(3), "index", ImageTrashFailureReason::underlyingError, std::nullopt},
       {imagePath(5), changed, ImageTrashFailureReason::fileChangedSinceReview, std::nullopt}}};
  const ImageTrashSummary noneMoved{
      4, {}, {{imagePath(5), changed, ImageTrashFailureReason::fileChangedSinceReview, std::nullopt}}};
  const ImageTrashSummary nothing{4, {}, {}};
  const auto refusal = [](const std::vector<std::string>& requested) {
    ImageTrashSummary summary{static_cast<std::int64_t>(requested.size()), {}, {}};
    // Each path carries what the refusal tells a window.
    for (const auto& path : requested) {
      summary.failures.push_back({path, "refused", ImageTrashFailureReason::underlyingError,
                                  ErrorNotice{ErrorNoticeKind::libraryDatabase, {}}});
    }
    return summary;
  };
  const std::vector<Case> cases = {
      {"all moved", loaded, {2, 3, 5, 7}, allMoved, true, {}, {}, 0, 1, std::nullopt, allMoved},
      {"some moved, some failed", loaded, {2, 3, 5, 7}, partly, false, {5, 7}, {5}, 0, 1, fixed, partly},
      {"only failures", loaded, {2, 3, 5, 7}, noneMoved, false, {2, 3, 5, 7}, {5}, 1, 0, fixed, noneMoved},
      {"nothing moved, nothing failed",
       loaded,
       {2, 3, 5, 7},
       nothing,
       true,
       {2, 3, 5, 7},
       {2},
       1,
       0,
       std::nullopt,
       nothing},
      {"the library refused",
       loaded,
       {2, 3, 5, 7},
       std::nullopt,
       false,
       {2, 3, 5, 7},
       {2, 3, 5, 7},
       1,
       0,
       "refused",
       refusal(all)},
      {"the library refused repeated records",
       twice,
       {3, 2},
       std::nullopt,
       false,
       {2, 3, 5, 7},
       {2, 3},
       1,
       0,
       "refused",
       refusal(paths({3, 2}))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrashFixture f({2, 3, 5, 7});
    f.store->context().setErrorMessage("earlier");
    f.store->trash().trashReviewBrowser().setSelectedPaths(pathSet({2}));
    const std::optional<ImageTrashSummary> answer = c.answer;
    f.harness.service->setAnswer("moveDeleteCandidatesToTrash", [answer](const testing::ServiceCall&) {
      if (!answer) std::rethrow_exception(libraryFailure("refused"));
      return std::any(*answer);
    });
    const std::size_t sidebarBefore = f.calls("registeredFolderSummaries");
    const StartedFlow<bool> move = f.move(c.records(f));
    f.harness.drainEvents();
    ASSERT_TRUE(move.isFinished());
    EXPECT_EQ(move.result(), c.result);
    const auto call = f.harness.service->calls("moveDeleteCandidatesToTrash");
    ASSERT_EQ(call.size(), 1u);
    EXPECT_EQ(call[0].paths, paths(c.requested));
    EXPECT_EQ(f.store->trash().lastTrashSummary(), c.kept);
    EXPECT_EQ(pathsOf(f.store->results().resultWindow().records()), paths(c.left));
    EXPECT_EQ(pathsOf(f.store->trash().trashReviewBrowser().records()), paths(c.left));
    EXPECT_EQ(f.store->trash().trashReviewBrowser().selectedPaths(), pathSet(c.selected));
    EXPECT_EQ(f.store->review().deleteCandidateUndoStack().size(), c.undoDepth);
    EXPECT_EQ(f.store->review().canUndoDeleteCandidateAction(), c.undoDepth > 0);
    EXPECT_EQ(f.calls("registeredFolderSummaries") - sidebarBefore, c.sidebarReloads);
    EXPECT_EQ(f.store->context().errorMessage(), c.error);
    if (c.error == fixed) {
      EXPECT_EQ(f.store->context().errorNotice(), (ErrorNotice{ErrorNoticeKind::trashSomeFailed, {}}));
    }
    EXPECT_FALSE(f.store->trash().isTrashingDeleteCandidates());
    // The review is not refilled: it had no more candidates.
    EXPECT_EQ(f.calls("searchImages"), 2u);
  }
}

TEST(ImageLibraryStoreTrashMoves, TheResultSelectionFallsBackToTheFirstTrashedPosition) {
  struct Case {
    const char* name;
    bool resultsShowCandidates;
    std::vector<int> trashed;
    int focusBefore;
    int focusAfter;
  };
  // Results of the candidates: 2, 3, 5, 7; of the others: 0, 1, 4, 6, 8, 9.
  const std::vector<Case> cases = {
      {"the focus was trashed: the first trashed position", true, {7, 3}, 7, 5},
      {"the last records were trashed: the new last one", true, {5, 7}, 7, 3},
      {"the focus stays when it was not trashed", true, {5}, 2, 2},
      {"no trashed record was shown", false, {3, 5}, 4, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrashFixture f({2, 3, 5, 7}, 10, c.resultsShowCandidates);
    f.store->results().selection().selectSingle(imagePath(c.focusBefore));
    const StartedFlow<bool> move = f.move(f.reviewed(c.trashed));
    f.harness.drainEvents();
    ASSERT_TRUE(move.isFinished());
    EXPECT_TRUE(move.result());
    EXPECT_EQ(f.store->results().selection().primaryPath(), imagePath(c.focusAfter));
  }
}

TEST(ImageLibraryStoreTrashMoves, OnlyARunningMonitorIsToldToIgnoreTheTrashedFiles) {
  for (const bool monitoring : {true, false}) {
    SCOPED_TRACE(monitoring);
    TrashFixture f({2, 3, 5});
    RegisteredFolderSyncPlanner planner;
    planner.isMonitoring = monitoring;
    planner.locallyHandledTrashPaths = {"/earlier.png"};
    BackgroundLibrarySyncTestAccess::setBackgroundSyncPlanner(f.store->library().backgroundSync(), planner);
    const StartedFlow<bool> move = f.moveLoaded();
    f.harness.drainEvents();
    ASSERT_TRUE(move.result());
    std::unordered_set<std::string> expected = {"/earlier.png"};
    if (monitoring) expected.insert({imagePath(2), imagePath(3), imagePath(5)});
    EXPECT_EQ(f.store->library().backgroundSync().backgroundSyncPlanner().locallyHandledTrashPaths, expected);
  }
}

TEST(ImageLibraryStoreTrashMoves, AReviewEmptiedByAFullMoveLoadsItsNextCandidates) {
  struct Case {
    const char* name;
    int candidates;
    bool failOne;
    std::size_t listedAfter;
    std::size_t reviewSearches;
  };
  const std::vector<Case> cases = {
      {"more existed: the first page again", 600, false, 100, 2},
      {"nothing more existed", 400, false, 0, 1},
      {"a failure keeps what is left", 600, true, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> numbers;
    for (int i = 0; i < c.candidates; ++i) numbers.push_back(i);
    TrashFixture f(numbers, c.candidates, false);
    if (c.failOne) {
      f.harness.service->setAnswer("moveDeleteCandidatesToTrash", [](const testing::ServiceCall& call) {
        ImageTrashSummary summary{static_cast<std::int64_t>(call.paths.size()), call.paths, {}};
        summary.trashedPaths.pop_back();
        summary.failures.push_back(
            {call.paths.back(), "busy", ImageTrashFailureReason::underlyingError, std::nullopt});
        return std::any(summary);
      });
    }
    const std::size_t searchesBefore = f.calls("searchImages");
    const StartedFlow<bool> move = f.moveLoaded();
    f.harness.drainEvents();
    ASSERT_TRUE(move.isFinished());
    EXPECT_EQ(move.result(), !c.failOne);
    EXPECT_EQ(f.store->trash().trashReviewBrowser().records().size(), c.listedAfter);
    EXPECT_EQ(f.calls("searchImages") - searchesBefore, c.reviewSearches - 1);
  }
}

TEST(ImageLibraryStoreTrashMoves, ASecondConfirmationWhileAMoveRunsIsRefused) {
  TrashFixture f({2, 3, 5});
  auto& service = *f.harness.service;
  ReviewModelTestAccess::setDeleteCandidateFeedback(f.store->review(),
                                                    DeleteCandidateFeedback{.affectedCount = 2});
  TrashModelTestAccess::setLastTrashSummary(
      f.store->trash(), ImageTrashSummary{.requestedCount = 9, .trashedPaths = {}, .failures = {}});
  service.hold("moveDeleteCandidatesToTrash");
  const StartedFlow<bool> first = f.move(f.reviewed({2}));
  ASSERT_TRUE(service.waitForHeld("moveDeleteCandidatesToTrash"));
  EXPECT_TRUE(f.store->trash().isTrashingDeleteCandidates());
  EXPECT_FALSE(f.store->review().canUndoDeleteCandidateAction());
  EXPECT_FALSE(f.store->trash().canStartDeleteCandidateTrash());
  EXPECT_EQ(f.store->trash().trashLoadedDisabledReason(),
            DeleteCandidateTrashDisabledReason::trashingInProgress);
  EXPECT_EQ(f.store->review().deleteCandidateFeedback(), std::nullopt);
  EXPECT_EQ(f.store->trash().lastTrashSummary(), std::nullopt);

  const StartedFlow<bool> second = f.moveLoaded();
  f.harness.drainEvents();
  ASSERT_TRUE(second.isFinished());
  EXPECT_FALSE(second.result());
  EXPECT_FALSE(first.isFinished());
  EXPECT_EQ(f.calls("moveDeleteCandidatesToTrash"), 1u);

  service.releaseAll();
  f.harness.drainEvents();
  ASSERT_TRUE(first.isFinished());
  EXPECT_TRUE(first.result());
  EXPECT_FALSE(f.store->trash().isTrashingDeleteCandidates());
  EXPECT_EQ(pathsOf(f.store->trash().trashReviewBrowser().records()), paths({3, 5}));
  EXPECT_TRUE(f.store->trash().canStartDeleteCandidateTrash());
}

// The library is handed each file as the list it came from showed it; a retry, as the failed move
// was handed it, even once a reload of the review shows the file as the library indexed it since.
TEST(ImageLibraryStoreTrashMoves, TheLibraryIsHandedEachFileAsItWasReviewed) {
  ImageRecord replaced = libraryImage(3, false, true);
  replaced.file.fileSize += 500;
  replaced.file.modificationDate += 0.5;
  // Refused as changed, then reloaded: the review shows the new content, a new candidate.
  const auto reviewedAgainAfterAReload = [](TrashFixture& f) {
    f.harness.service->setAnswer("moveDeleteCandidatesToTrash", [](const testing::ServiceCall& call) {
      return std::any(ImageTrashSummary{
          1,
          {},
          {{call.paths[0], "changed", ImageTrashFailureReason::fileChangedSinceReview, std::nullopt}}});
    });
    EXPECT_FALSE(f.moved(f.reviewed({3})));
    startFlow(*f.store, [self = f.store.get()](std::stop_token) {
      return self->trash().reloadDeleteCandidateTrashReview();
    });
    f.harness.drainEvents();
    return f.reviewed({3});
  };
  const struct {
    const char* name;
    std::function<std::vector<RecordRef>(TrashFixture&)> records;  // after the results were refreshed
    ImageFileInfo handed;
  } cases[] = {
      {"from the review", [](TrashFixture& f) { return f.reviewed({3}); }, libraryImage(3).file},
      {"from the grid", [](TrashFixture& f) { return f.store->results().resultWindow().records(); },
       replaced.file},
      {"the review's record after a refusal and a reload", reviewedAgainAfterAReload, replaced.file},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrashFixture f({3});
    f.harness.service->setRecords({replaced});
    startFlow(*f.store,
              [self = f.store.get()](std::stop_token) { return self->results().refreshResults(500, true); });
    f.harness.drainEvents();
    const std::vector<RecordRef> records = c.records(f);
    f.harness.service->setAnswer("moveDeleteCandidatesToTrash", {});
    EXPECT_TRUE(f.moved(records));
    const std::vector<ImageFileInfo> handed =
        f.harness.service->calls("moveDeleteCandidatesToTrash").back().files;
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(std::pair(handed[0].fileSize, handed[0].modificationDate),
              std::pair(c.handed.fileSize, c.handed.modificationDate));
  }
}

// A retry is offered for what the platform or the library refused, while the review still lists
// the file as it was handed to the move; a file refused as changed would be refused again, and one
// the review lists with other content since a reload is a new candidate.
TEST(ImageLibraryStoreTrashMoves, ARetryIsOfferedOnlyForFailuresItCanMend) {
  ImageRecord replaced = libraryImage(3, false, true);
  replaced.file.fileSize += 500;
  const struct {
    const char* name;
    ImageTrashFailureReason reason;
    std::optional<ImageRecord> reloaded;  // the review reloaded with this record of image 3
    bool offered;
  } cases[] = {
      {"refused by the volume", ImageTrashFailureReason::underlyingError, std::nullopt, true},
      {"refused by the volume, reloaded unchanged", ImageTrashFailureReason::underlyingError,
       libraryImage(3, false, true), true},
      {"refused by the volume, reloaded with other content", ImageTrashFailureReason::underlyingError,
       replaced, false},
      {"changed since the review", ImageTrashFailureReason::fileChangedSinceReview, std::nullopt, false},
      {"changed, reloaded with its new content", ImageTrashFailureReason::fileChangedSinceReview, replaced,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrashFixture f({3, 5});
    f.harness.service->setAnswer("moveDeleteCandidatesToTrash", [&c](const testing::ServiceCall& call) {
      return std::any(ImageTrashSummary{1, {}, {{call.paths[0], "failed", c.reason, std::nullopt}}});
    });
    ASSERT_FALSE(f.moved(f.reviewed({3})));
    if (c.reloaded) {
      f.harness.service->setRecords({*c.reloaded, libraryImage(5, false, true)});
      startFlow(*f.store, [self = f.store.get()](std::stop_token) {
        return self->trash().reloadDeleteCandidateTrashReview();
      });
      f.harness.drainEvents();
    }
    EXPECT_EQ(pathsOf(f.store->trash().retryableFailedTrashRecords()), c.offered ? paths({3}) : paths({}));
    EXPECT_EQ(f.store->trash().canRetryFailedTrash(), c.offered);
  }
}

// A background pass sets no indexing flag, and may be indexing the very files the move checks.
TEST(ImageLibraryStoreTrashMoves, AMoveWaitsForTheBackgroundPassUnderWayAndNoPassStartsUntilItEnds) {
  TrashFixture f({2, 3, 5});
  auto& service = *f.harness.service;
  f.answerFolderMonitoring();
  const auto changeAndDebounce = [&](int image) {
    ASSERT_TRUE(service.deliverFolderChanges({{imagePath(image)}, 7, false}));
    f.harness.drainEvents();
    f.harness.clock.advance(2'000'000'000);
    f.harness.drainEvents();
  };
  f.store->library().backgroundSync().startBackgroundLibrarySync(2.0, 30'000'000'000);
  service.hold("scanChangedPaths");
  service.hold("moveDeleteCandidatesToTrash");
  changeAndDebounce(2);
  ASSERT_TRUE(f.store->library().backgroundSync().isBackgroundSyncing());

  const StartedFlow<bool> move = f.move(f.reviewed({2, 3}));
  f.harness.drainEvents();
  EXPECT_TRUE(f.store->trash().isTrashingDeleteCandidates());
  EXPECT_EQ(f.calls("moveDeleteCandidatesToTrash"), 0u);
  service.answerImmediately("scanChangedPaths");
  service.release(service.heldCalls("scanChangedPaths").front().id);
  f.harness.drainEvents();
  EXPECT_EQ(service.heldCalls("moveDeleteCandidatesToTrash").size(), 1u);
  changeAndDebounce(5);  // reported while the move runs: waits for it
  EXPECT_EQ(f.calls("scanChangedPaths"), 1u);

  service.releaseAll();
  f.harness.drainEvents();
  EXPECT_TRUE(move.result());
  f.harness.clock.advance(2'000'000'000);
  f.harness.drainEvents();
  EXPECT_EQ(f.calls("scanChangedPaths"), 2u);
}

TEST(ImageLibraryStoreTrashMoves, ASearchTheMoveStoppedRunsAgainAndItsLateAnswerIsDropped) {
  TrashFixture f({2, 3, 5});
  auto& service = *f.harness.service;
  service.hold("searchImages");
  ImageLibraryStore* self = f.store.get();
  startFlow(*f.store, [self](std::stop_token) { return self->results().refreshResults(120, false); });
  ASSERT_TRUE(service.waitForHeld("searchImages"));
  const auto stale = service.heldCalls("searchImages").front();
  const int resetsBefore = f.store->results().searchResultsResetCount();
  const StartedFlow<bool> move = f.move(f.reviewed({2}));
  ASSERT_TRUE(service.waitForHeld("searchImages", 2));
  const auto again = service.heldCalls("searchImages").back();
  EXPECT_EQ(again.query->limit, stale.query->limit);
  EXPECT_EQ(again.query->offset, 0);
  // The late answer of the stopped search still holds the trashed record.
  service.releaseWith(stale.id,
                      std::vector<ImageRecord>{libraryImage(2, false, true), libraryImage(3, false, true)});
  f.harness.drainEvents();
  EXPECT_EQ(pathsOf(f.store->results().resultWindow().records()), paths({3, 5}));
  service.release(again.id);
  f.harness.drainEvents();
  ASSERT_TRUE(move.result());
  EXPECT_EQ(pathsOf(f.store->results().resultWindow().records()), paths({3, 5}));
  EXPECT_EQ(f.store->results().searchResultsResetCount(), resetsBefore);
  EXPECT_FALSE(f.store->results().isLoading());
}

// The review open while its images are renamed from outside: it lists them where the scan found
// them, ticked as they were (one moved over a listed image takes its place), and the move takes
// them from there as they were reviewed, also when it was asked for while that scan ran.
TEST(ImageLibraryStoreTrashMoves, TheOpenReviewAndItsMoveFollowTheRecordsAScanRelocated) {
  const auto moved = [](int number) { return "/lib/moved" + imagePath(number).substr(4); };
  const struct {
    const char* name;
    bool moveDuringScan;
    std::vector<RecordRelocation> relocations;
    std::vector<std::string> listed;
    std::vector<int> reviewedAs;  // the images whose reviewed files the listed records keep
    std::string selected;         // image 3, ticked before the scan
  } cases[] = {
      {"folder renamed",
       false,
       {{imagePath(3), moved(3)}, {imagePath(5), moved(5)}},
       {imagePath(2), moved(3), moved(5)},
       {2, 3, 5},
       moved(3)},
      {"folder renamed, move asked for meanwhile",
       true,
       {{imagePath(3), moved(3)}, {imagePath(5), moved(5)}},
       {imagePath(2), moved(3), moved(5)},
       {2, 3, 5},
       moved(3)},
      {"image 3 moved over image 2",
       false,
       {{imagePath(3), imagePath(2)}},
       {imagePath(2), imagePath(5)},
       {3, 5},
       imagePath(2)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrashFixture f({2, 3, 5});
    auto& service = *f.harness.service;
    f.answerFolderMonitoring();
    f.store->library().backgroundSync().startBackgroundLibrarySync(2.0, 30'000'000'000);
    f.store->trash().trashReviewBrowser().setSelectedPaths(pathSet({3}));
    service.hold("scanChangedPaths");
    service.hold("moveDeleteCandidatesToTrash");  // the review is looked at before anything leaves it
    ASSERT_TRUE(service.deliverFolderChanges({{imagePath(3)}, 7, false}));
    f.harness.drainEvents();
    f.harness.clock.advance(2'000'000'000);
    ASSERT_TRUE(service.waitForHeld("scanChangedPaths"));
    std::optional<StartedFlow<bool>> move;
    if (c.moveDuringScan) move = f.moveLoaded();
    f.harness.drainEvents();
    service.answerImmediately("scanChangedPaths");
    service.releaseWith(service.heldCalls("scanChangedPaths").front().id,
                        ImageLibraryScanSummary{0, 0, 0, {}, c.relocations});
    f.harness.drainEvents();
    EXPECT_EQ(pathsOf(f.store->trash().trashReviewBrowser().records()), c.listed);
    EXPECT_EQ(f.store->trash().trashReviewBrowser().selectedPaths(), PathSet{c.selected});
    service.answerImmediately("moveDeleteCandidatesToTrash");
    service.releaseAll();
    if (!move) move = f.moveLoaded();
    f.harness.drainEvents();
    ASSERT_TRUE(move->isFinished());
    EXPECT_TRUE(move->result());
    const auto call = service.calls("moveDeleteCandidatesToTrash");
    ASSERT_EQ(call.size(), 1u);
    EXPECT_EQ(call[0].paths, c.listed);
    for (std::size_t i = 0; i < call[0].files.size() && i < c.reviewedAs.size(); ++i)
      EXPECT_EQ(call[0].files[i].fileSize, libraryImage(c.reviewedAs[i]).file.fileSize);
  }
}

// Relocations that meet the review's reload on its way (its answer read before the scan wrote
// them) or a move that failed: the reload lists the files where the scan found them, and the
// failure's row and retry take the file from there, as it was reviewed.
TEST(ImageLibraryStoreTrashMoves, ARelocationReachesAReloadOnItsWayAndAFailedMovesRetry) {
  const std::string moved3 = "/lib/moved" + imagePath(3).substr(4);
  const auto reloadOnItsWay = [](TrashFixture& f) {
    f.harness.service->hold("searchImages");
    startFlow(*f.store, [self = f.store.get()](std::stop_token) {
      return self->trash().reloadDeleteCandidateTrashReview();
    });
    ASSERT_TRUE(f.harness.service->waitForHeld("searchImages"));
  };
  const auto failedMove = [](ImageTrashFailureReason reason) {
    return [reason](TrashFixture& f) {
      f.harness.service->setAnswer("moveDeleteCandidatesToTrash", [reason](const testing::ServiceCall& call) {
        return std::any(
            ImageTrashSummary{2, {call.paths[0]}, {{call.paths[1], "failed", reason, std::nullopt}}});
      });
      ASSERT_FALSE(f.moved(f.reviewed({2, 3})));
    };
  };
  const struct {
    const char* name;
    std::function<void(TrashFixture&)> underWay;
    std::vector<std::string> listed;
    std::vector<std::string> retried;
    std::optional<std::string> failureNames;
  } cases[] = {
      {"a reload on its way", reloadOnItsWay, {imagePath(2), moved3, imagePath(5)}, {}, std::nullopt},
      {"a move that failed for image 3",
       failedMove(ImageTrashFailureReason::underlyingError),
       {moved3, imagePath(5)},
       {moved3},
       moved3},
      {"a move that refused image 3 as changed",
       failedMove(ImageTrashFailureReason::fileChangedSinceReview),
       {moved3, imagePath(5)},
       {},
       imagePath(3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrashFixture f({2, 3, 5});
    c.underWay(f);
    f.store->trash().followRelocatedRecords({{imagePath(3), moved3}});
    f.harness.service->releaseAll();
    f.harness.drainEvents();
    EXPECT_EQ(pathsOf(f.store->trash().trashReviewBrowser().records()), c.listed);
    const std::vector<RecordRef> retried = f.store->trash().retryableFailedTrashRecords();
    EXPECT_EQ(pathsOf(retried), c.retried);
    if (!retried.empty()) {
      EXPECT_EQ(retried[0]->file.fileSize, libraryImage(3).file.fileSize);
    }
    if (!c.failureNames) continue;
    ASSERT_TRUE(f.store->trash().lastTrashSummary());
    EXPECT_EQ(f.store->trash().lastTrashSummary()->failures.at(0).path, *c.failureNames);
    EXPECT_EQ(f.store->trash().lastTrashSummary()->trashedPaths, paths({2}));
  }
}

// A move the library refuses because of one image: that image's row says why, and every other row
// says it was held back by another image, without naming it.
TEST(ImageLibraryStoreTrashMoves, EachRowOfAMoveRefusedForOneImageNamesItsOwnFile) {
  TrashFixture f({2, 3, 5});
  const ImageLibraryServiceError refusal = ImageLibraryServiceError::trashTargetAlreadyMissing(imagePath(3));
  f.harness.service->setAnswer("moveDeleteCandidatesToTrash",
                               [&](const testing::ServiceCall&) -> std::any { throw refusal; });
  EXPECT_FALSE(f.moved(f.reviewed({2, 3, 5})));
  const std::string text = refusal.localizedDescription();
  const auto heldBack = [&](int number) {
    return ImageTrashFailure{imagePath(number), "not moved: the move was refused for another image: " + text,
                             ImageTrashFailureReason::underlyingError,
                             ErrorNotice{ErrorNoticeKind::trashHeldBack, {}}};
  };
  const ImageTrashFailure own{imagePath(3), text, ImageTrashFailureReason::underlyingError,
                              ErrorNotice{ErrorNoticeKind::trashAlreadyMissing, {imagePath(3)}}};
  EXPECT_EQ(f.store->trash().lastTrashSummary(), (ImageTrashSummary{3, {}, {heldBack(2), own, heldBack(5)}}));
  EXPECT_EQ(f.store->context().errorMessage(), text);
  EXPECT_EQ(f.store->trash().trashReviewBrowser().selectedPaths(), pathSet({2, 3, 5}));
}

}  // namespace
}  // namespace lorvex
