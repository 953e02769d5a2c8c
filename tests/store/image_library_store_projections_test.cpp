// What the views read from the store: whether the focused record may be reviewed, the sidebar's
// tags and the tag panel's order, the Trash review's permissions and reasons; the coalesced signal
// that tells them to read again (the results' projections included); flows started for nobody.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "offline_store.h"
#include "platform/log.h"
#include "store/filters/filters_model_test_access.h"
#include "store/library/library_model_test_access.h"
#include "store/presentation/transient_image_library_ui_preference_store.h"
#include "store/results/results_model_test_access.h"
#include "store/suggestions/suggestions_model_test_access.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex {
namespace {

using testing::OfflineStore;
using testing::OfflineStoreSetup;
using testing::pathsOf;
using testing::record;
using testing::RecordSpec;

TEST(ImageLibraryStoreProjections, ReviewingTheFocusedRecordNeedsAQuietStore) {
  struct Case {
    const char* name;
    std::function<void(OfflineStore&)> arrange;
    bool canReview;
    bool canReviewInSlideshow;
  };
  const std::vector<Case> cases = {
      {"a loaded focus", [](OfflineStore&) {}, true, true},
      {"no focus", [](OfflineStore& f) { f.store.results().selection().selectSingle(std::nullopt); }, false,
       false},
      {"focus not loaded", [](OfflineStore& f) { f.store.results().selection().selectSingle("/gone"); },
       false, false},
      {"page loading",
       [](OfflineStore& f) { ResultsModelTestAccess::setIsLoadingNextPage(f.store.results(), true); }, false,
       false},
      {"trashing",
       [](OfflineStore& f) { TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store.trash(), true); },
       false, false},
      {"tag popover", [](OfflineStore& f) { f.store.presentation().setIsTagAdditionPopoverPresented(true); },
       false, false},
      {"model popover",
       [](OfflineStore& f) { f.store.presentation().setIsModelSelectionPopoverPresented(true); }, false,
       false},
      {"slideshow of one",
       [](OfflineStore& f) {
         f.store.presentation().setSlideshowVisibleCount(1);
         f.store.presentation().setIsSlideshowPresented(true);
       },
       true, true},
      {"slideshow of three",
       [](OfflineStore& f) {
         f.store.presentation().setSlideshowVisibleCount(3);
         f.store.presentation().setIsSlideshowPresented(true);
       },
       true, false},
      {"three at a time, slideshow closed",
       [](OfflineStore& f) { f.store.presentation().setSlideshowVisibleCount(3); }, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f;
    f.load(OfflineStore::numberedPaths(5));
    f.store.results().selection().selectSingle("/r1");
    c.arrange(f);
    EXPECT_EQ(f.store.projections().canReviewFocusedRecord(), c.canReview);
    EXPECT_EQ(f.store.projections().canReviewFocusedRecordInSlideshow(), c.canReviewInSlideshow);
  }
}

TEST(ImageLibraryStoreProjections, TheCollapsedSidebarListsFiveSavedTags) {
  struct Case {
    int savedCount;
    bool expanded;
    int shown;
  };
  for (const auto& c : std::vector<Case>{{6, false, 5}, {5, false, 5}, {6, true, 6}, {0, false, 0}}) {
    SCOPED_TRACE(std::to_string(c.savedCount) + (c.expanded ? " expanded" : " collapsed"));
    std::vector<std::string> tags;
    for (int i = 0; i < c.savedCount; ++i) tags.push_back("tag" + std::to_string(i));
    OfflineStore f(OfflineStoreSetup{.filterTags = tags});
    f.store.presentation().setIsFilterTagListExpanded(c.expanded);
    EXPECT_EQ(f.store.projections().visibleSavedFilterTags(),
              std::vector<std::string>(tags.begin(), tags.begin() + c.shown));
  }
}

TEST(ImageLibraryStoreProjections, TagRowsOrderByCountThenNameThenKind) {
  // Rows are written "tag:Name" or "concept#id:Name".
  const auto label = [](const TagFilterSuggestion& row) {
    if (const auto* tag = std::get_if<TagSuggestion>(&row.value)) return "tag:" + tag->value;
    const auto& tagConcept = std::get<TagConcept>(row.value);
    return "concept#" + std::to_string(tagConcept.id) + ":" + tagConcept.displayName;
  };
  struct Case {
    const char* name;
    std::vector<TagSuggestion> tags;
    std::vector<TagConcept> concepts;
    bool conceptsEnabled;
    std::vector<std::string> rows;
  };
  const std::vector<Case> cases = {
      {"count first", {{"cat", 12}}, {{1, "Animals", 5}}, true, {"tag:cat", "concept#1:Animals"}},
      {"a larger concept first", {{"cat", 2}}, {{1, "Animals", 5}}, true, {"concept#1:Animals", "tag:cat"}},
      {"same count: name ignoring case",
       {{"beta", 3}, {"Alpha", 3}, {"gamma", 3}},
       {},
       true,
       {"tag:Alpha", "tag:beta", "tag:gamma"}},
      {"same count and name: the raw tag first",
       {{"Cat", 5}},
       {{9, "cat", 5}},
       true,
       {"tag:Cat", "concept#9:cat"}},
      {"two concepts alike: the smaller id first",
       {},
       {{7, "Dog", 4}, {3, "Dog", 4}},
       true,
       {"concept#3:Dog", "concept#7:Dog"}},
      {"raw tags differing only in case keep their order",
       {{"dog", 4}, {"Dog", 4}},
       {},
       true,
       {"tag:dog", "tag:Dog"}},
      {"concepts switched off", {{"cat", 1}}, {{1, "Animals", 5}}, false, {"tag:cat"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f(OfflineStoreSetup{.isTagConceptEnabled = c.conceptsEnabled});
    SuggestionsModelTestAccess::setTagSuggestions(f.store.suggestions(), c.tags);
    SuggestionsModelTestAccess::setTagConceptSuggestions(f.store.suggestions(), c.concepts);
    std::vector<std::string> rows;
    for (const auto& row : f.store.suggestions().tagFilterSuggestions()) rows.push_back(label(row));
    EXPECT_EQ(rows, c.rows);
  }
}

StoreTask<bool> runningTask() {
  return StoreTask<bool>(std::make_shared<detail::StoreTaskState<bool>>());
}

TEST(ImageLibraryStoreProjections, TrashReviewPermissionsAndReasons) {
  using Reason = DeleteCandidateTrashDisabledReason;
  // /c1, /c2 are trashable; /m is a missing candidate; /n is not a candidate.
  const std::vector<RecordRef> browserRecords = {
      record(RecordSpec{.path = "/c1", .deleteCandidate = true}),
      record(RecordSpec{.path = "/n"}),
      record(RecordSpec{.path = "/m", .deleteCandidate = true, .isMissing = true}),
      record(RecordSpec{.path = "/c2", .deleteCandidate = true}),
  };
  struct Case {
    const char* name;
    std::function<void(OfflineStore&)> arrange;
    std::vector<std::string> selectedRecords;
    int trashableCount;
    DeleteCandidateTrashBlockers blockers;
    std::optional<Reason> selectedReason;
    std::optional<Reason> loadedReason;
  };
  const std::vector<Case> cases = {
      {"nothing ticked", [](OfflineStore&) {}, {}, 2, {}, Reason::noSelection, std::nullopt},
      {"ticked in browser order, untrashable left out",
       [](OfflineStore& f) {
         f.store.trash().trashReviewBrowser().setSelectedPaths({"/c2", "/n", "/m", "/c1"});
       },
       {"/c1", "/c2"},
       2,
       {},
       std::nullopt,
       std::nullopt},
      {"only untrashable ticked",
       [](OfflineStore& f) {
         f.store.trash().trashReviewBrowser().setSelectedPaths({"/n", "/m"});
       },
       {},
       2,
       {},
       Reason::noSelection,
       std::nullopt},
      {"the last candidate unmarked",
       [](OfflineStore& f) {
         f.store.trash().trashReviewBrowser().setRecords({record(RecordSpec{.path = "/c1"})});
       },
       {},
       0,
       {},
       Reason::noCandidates,
       Reason::noCandidates},
      {"indexing",
       [](OfflineStore& f) {
         f.store.trash().trashReviewBrowser().setSelectedPaths({"/c1"});
         LibraryModelTestAccess::setIsIndexing(f.store.library(), true);
       },
       {"/c1"},
       2,
       {.indexing = true},
       Reason::indexingInProgress,
       Reason::indexingInProgress},
      {"trashing during indexing",
       [](OfflineStore& f) {
         LibraryModelTestAccess::setIsIndexing(f.store.library(), true);
         TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store.trash(), true);
       },
       {},
       2,
       {.trashing = true, .indexing = true},
       Reason::trashingInProgress,
       Reason::trashingInProgress},
      {"a confirmed move waiting for the scan",
       [](OfflineStore& f) {
         TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store.trash(), true);
         TrashModelTestAccess::setIsWaitingForLibrarySync(f.store.trash(), true);
       },
       {},
       2,
       {.trashing = true, .waitingForScan = true},
       Reason::moveWaitingForScan,
       Reason::moveWaitingForScan},
      {"library not prepared",
       [](OfflineStore& f) {
         f.store.context().setNeedsLiveServicePreparation(true);
         LibraryModelTestAccess::setIsIndexing(f.store.library(), true);
       },
       {},
       2,
       {.notPrepared = true, .indexing = true},
       Reason::libraryNotIndexedYet,
       Reason::libraryNotIndexedYet},
      {"library preparing",
       [](OfflineStore& f) { LibraryModelTestAccess::setIsPreparingLibrary(f.store.library(), true); },
       {},
       2,
       {.notPrepared = true},
       Reason::libraryNotIndexedYet,
       Reason::libraryNotIndexedYet},
      {"reloading",
       [](OfflineStore& f) { f.store.trash().trashReviewBrowser().setIsReloading(true); },
       {},
       2,
       {.loading = true},
       Reason::loadingCandidates,
       Reason::loadingCandidates},
      {"loading more",
       [](OfflineStore& f) { f.store.trash().trashReviewBrowser().setIsLoadingMore(true); },
       {},
       2,
       {.loading = true},
       Reason::loadingCandidates,
       Reason::loadingCandidates},
      {"a page task kept",
       [](OfflineStore& f) { TrashModelTestAccess::setLoadMoreTask(f.store.trash(), runningTask()); },
       {},
       2,
       {.loading = true},
       Reason::loadingCandidates,
       Reason::loadingCandidates},
      {"review not shown, something ticked",
       [](OfflineStore& f) {
         f.store.trash().trashReviewBrowser().setSelectedPaths({"/c1"});
         f.store.presentation().setIsDeleteCandidateTrashReviewPresented(false);
       },
       {"/c1"},
       2,
       {},
       std::nullopt,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f;
    f.store.presentation().setIsDeleteCandidateTrashReviewPresented(true);
    f.store.trash().trashReviewBrowser().setRecords(browserRecords);
    c.arrange(f);
    EXPECT_EQ(pathsOf(f.store.trash().selectedTrashReviewRecords()), c.selectedRecords);
    EXPECT_EQ(f.store.trash().trashableLoadedTrashReviewRecordCount(), c.trashableCount);
    EXPECT_EQ(f.store.trash().trashBlockers(), c.blockers);
    EXPECT_EQ(f.store.trash().trashSelectedDisabledReason(), c.selectedReason);
    EXPECT_EQ(f.store.trash().trashLoadedDisabledReason(), c.loadedReason);
    const bool free = f.store.presentation().isDeleteCandidateTrashReviewPresented() &&
                      c.blockers == DeleteCandidateTrashBlockers{};
    EXPECT_EQ(f.store.trash().isLibraryReadyForTrash(),
              !c.blockers.trashing && !c.blockers.notPrepared && !c.blockers.indexing);
    EXPECT_EQ(f.store.trash().isTrashReviewLoading(), c.blockers.loading);
    EXPECT_EQ(f.store.trash().canTrashSelectedTrashReviewRecords(), free && !c.selectedRecords.empty());
    EXPECT_EQ(f.store.trash().canTrashLoadedTrashReviewRecords(), free && c.trashableCount != 0);
    EXPECT_EQ(f.store.trash().canTrash(browserRecords), free);
    EXPECT_FALSE(f.store.trash().canTrash({}));
  }
}

TEST(ImageLibraryStoreProjections, OnlyFailuresStillUntrashedAreOfferedForRetry) {
  OfflineStore f;
  f.store.presentation().setIsDeleteCandidateTrashReviewPresented(true);
  f.store.trash().trashReviewBrowser().setRecords({
      record(RecordSpec{.path = "/later-trashed", .deleteCandidate = true}),
      record(RecordSpec{.path = "/failed-b", .deleteCandidate = true}),
      record(RecordSpec{.path = "/failed-missing", .deleteCandidate = true, .isMissing = true}),
      record(RecordSpec{.path = "/failed-a", .deleteCandidate = true}),
      record(RecordSpec{.path = "/fine", .deleteCandidate = true}),
  });
  EXPECT_TRUE(f.store.trash().retryableFailedTrashRecords().empty());
  EXPECT_FALSE(f.store.trash().canRetryFailedTrash());

  ImageTrashSummary summary;
  summary.trashedPaths = {"/later-trashed", "/other"};
  for (const char* path : {"/failed-a", "/later-trashed", "/failed-missing", "/failed-b", "/not-loaded"}) {
    summary.failures.push_back(ImageTrashFailure{.path = path, .message = "failed", .notice = std::nullopt});
  }
  TrashModelTestAccess::setLastTrashSummary(f.store.trash(), summary);
  EXPECT_EQ(pathsOf(f.store.trash().retryableFailedTrashRecords()),
            (std::vector<std::string>{"/failed-b", "/failed-a"}));
  EXPECT_TRUE(f.store.trash().canRetryFailedTrash());
  LibraryModelTestAccess::setIsIndexing(f.store.library(), true);
  EXPECT_FALSE(f.store.trash().canRetryFailedTrash());
}

// ---- The derived-values signal ----

struct DerivedSignalCount {
  explicit DerivedSignalCount(ImageLibraryStore& store) {
    QObject::connect(&store.projections(), &StoreProjections::derivedValuesChanged, [this] { ++count; });
  }
  int count = 0;
};

TEST(ImageLibraryStoreProjections, EachInputChangeSignalsOnceAfterTheTurn) {
  struct Case {
    const char* name;
    std::function<void(OfflineStore&)> change;
    int emissions;
  };
  const std::vector<Case> cases = {
      {"window records", [](OfflineStore& f) { f.load({"/x"}); }, 1},
      {"window has more", [](OfflineStore& f) { f.store.results().resultWindow().setHasMoreRecords(true); },
       1},
      {"focus", [](OfflineStore& f) { f.store.results().selection().setPrimaryPath("/r1"); }, 1},
      {"selected paths",
       [](OfflineStore& f) {
         f.store.results().selection().setSelectedPaths({"/r0", "/r1"});
       },
       1},
      {"anchor", [](OfflineStore& f) { f.store.results().selection().setAnchorPath("/r1"); }, 1},
      {"browser records",
       [](OfflineStore& f) { f.store.trash().trashReviewBrowser().setRecords(testing::records({"/t"})); }, 1},
      {"browser ticks",
       [](OfflineStore& f) { f.store.trash().trashReviewBrowser().setSelectedPaths({"/t"}); }, 1},
      {"browser reloading",
       [](OfflineStore& f) { f.store.trash().trashReviewBrowser().setIsReloading(true); }, 1},
      {"browser loading more",
       [](OfflineStore& f) { f.store.trash().trashReviewBrowser().setIsLoadingMore(true); }, 1},
      {"tag list expanded", [](OfflineStore& f) { f.store.presentation().setIsFilterTagListExpanded(true); },
       1},
      {"tag popover", [](OfflineStore& f) { f.store.presentation().setIsTagAdditionPopoverPresented(true); },
       1},
      {"model popover",
       [](OfflineStore& f) { f.store.presentation().setIsModelSelectionPopoverPresented(true); }, 1},
      {"trash review shown",
       [](OfflineStore& f) { f.store.presentation().setIsDeleteCandidateTrashReviewPresented(true); }, 1},
      {"slideshow shown", [](OfflineStore& f) { f.store.presentation().setIsSlideshowPresented(true); }, 1},
      {"slideshow count", [](OfflineStore& f) { f.store.presentation().setSlideshowVisibleCount(3); }, 1},
      {"trash summary",
       [](OfflineStore& f) {
         TrashModelTestAccess::setLastTrashSummary(f.store.trash(), ImageTrashSummary{});
       },
       1},
      {"saved tags",
       [](OfflineStore& f) { FiltersModelTestAccess::setSavedFilterTags(f.store.filters(), {"a"}); }, 1},
      {"tag suggestions",
       [](OfflineStore& f) {
         SuggestionsModelTestAccess::setTagSuggestions(f.store.suggestions(), {{"a", 1}});
       },
       1},
      {"concept suggestions",
       [](OfflineStore& f) {
         SuggestionsModelTestAccess::setTagConceptSuggestions(f.store.suggestions(), {{1, "A", 1}});
       },
       1},
      {"preparation needed", [](OfflineStore& f) { f.store.context().setNeedsLiveServicePreparation(true); },
       1},
      {"preparing",
       [](OfflineStore& f) { LibraryModelTestAccess::setIsPreparingLibrary(f.store.library(), true); }, 1},
      {"indexing", [](OfflineStore& f) { LibraryModelTestAccess::setIsIndexing(f.store.library(), true); },
       1},
      {"trashing",
       [](OfflineStore& f) { TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store.trash(), true); },
       1},
      {"page loading",
       [](OfflineStore& f) { ResultsModelTestAccess::setIsLoadingNextPage(f.store.results(), true); }, 1},
      {"trash review page task",
       [](OfflineStore& f) { TrashModelTestAccess::setLoadMoreTask(f.store.trash(), runningTask()); }, 1},
      {"everything at once",
       [](OfflineStore& f) {
         f.load({"/x", "/y"}, true);
         f.store.results().selection().selectSingle("/y");
         LibraryModelTestAccess::setIsIndexing(f.store.library(), true);
         TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store.trash(), true);
         f.store.presentation().setIsSlideshowPresented(true);
         f.store.trash().trashReviewBrowser().setIsReloading(true);
         SuggestionsModelTestAccess::setTagSuggestions(f.store.suggestions(), {{"a", 1}});
       },
       1},
      {"equal values",
       [](OfflineStore& f) {
         LibraryModelTestAccess::setIsIndexing(f.store.library(), false);
         f.store.results().selection().setPrimaryPath("/r0");
         f.store.presentation().setSlideshowVisibleCount(1);
         f.load({"/r0", "/r1"});
       },
       0},
      {"no input of a projection",
       [](OfflineStore& f) {
         ResultsModelTestAccess::setSearchResultsResetCount(f.store.results(), 4);
         ResultsModelTestAccess::setIsLoading(f.store.results(), true);
         f.store.presentation().setIsLibrarySectionExpanded(false);
         f.store.presentation().setSlideshowIntervalSeconds(10);
       },
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f;
    f.load({"/r0", "/r1"});
    testing::drainEvents();
    DerivedSignalCount derived(f.store);
    c.change(f);
    EXPECT_EQ(derived.count, 0) << "emitted before the turn ended";
    testing::drainEvents();
    EXPECT_EQ(derived.count, c.emissions);
  }
}

TEST(ImageLibraryStoreProjections, TheDerivedSignalFollowsTheTurnsFieldSignals) {
  OfflineStore f;
  std::vector<std::string> order;
  QObject::connect(&f.store.library(), &LibraryModel::isIndexingChanged,
                   [&] { order.push_back("indexing"); });
  QObject::connect(&f.store.projections(), &StoreProjections::derivedValuesChanged, [&] {
    order.push_back(std::string("derived, ready ") +
                    (f.store.trash().isLibraryReadyForTrash() ? "yes" : "no"));
    // A change made in answer is announced in a later turn, not lost and not looping in this one.
    if (order.size() < 4)
      LibraryModelTestAccess::setIsIndexing(f.store.library(), !f.store.library().isIndexing());
  });
  LibraryModelTestAccess::setIsIndexing(f.store.library(), true);
  testing::drainEvents();
  EXPECT_EQ(order,
            (std::vector<std::string>{"indexing", "derived, ready no", "indexing", "derived, ready yes"}));
}

TEST(ImageLibraryStoreProjections, ADestroyedStoreSendsNoQueuedSignal) {
  auto f = std::make_unique<OfflineStore>();
  int count = 0;
  QObject::connect(&f->store.projections(), &StoreProjections::derivedValuesChanged, [&] { ++count; });
  LibraryModelTestAccess::setIsIndexing(f->store.library(), true);
  f.reset();
  testing::drainEvents();
  EXPECT_EQ(count, 0);
}

// ---- Flows nobody waits for ----

// Sleeps on the store's fake clock inside the store's scope, then counts itself done.
QCoro::Task<void> sleepThenCount(ImageLibraryStore& store, std::shared_ptr<int> finished) {
  auto frame = co_await store.context().scope().enter();
  const bool slept = co_await store.context().clock().sleep(1'000);
  if (slept) ++*finished;
}

TEST(ImageLibraryStoreProjections, ADetachedFlowOutlivesTheObjectThatStartedIt) {
  OfflineStore f;
  auto finished = std::make_shared<int>(0);
  StoreTask<void> task;
  {
    auto widget = std::make_unique<QObject>();
    // What a view does on a click: start the store's work and forget it.
    auto onClick = [&f, &task, finished] {
      task = f.store.context().startDetached(
          [&store = f.store, finished] { return sleepThenCount(store, finished); });
    };
    QObject::connect(widget.get(), &QObject::objectNameChanged, onClick);
    widget->setObjectName("clicked");
  }
  ASSERT_TRUE(task);
  EXPECT_FALSE(task.isFinished());
  f.clock.advance(1'000);
  testing::drainEvents();
  EXPECT_TRUE(task.isFinished());
  EXPECT_EQ(*finished, 1);
}

TEST(ImageLibraryStoreProjections, ADetachedFlowEndsWithTheStore) {
  auto f = std::make_unique<OfflineStore>();
  auto finished = std::make_shared<int>(0);
  StoreTask<void> task = f->store.context().startDetached(
      [&store = f->store, finished] { return sleepThenCount(store, finished); });
  ASSERT_GT(finished.use_count(), 1);  // held by the work and its suspended coroutine
  ASSERT_FALSE(task.isFinished());
  f.reset();
  testing::drainEvents();
  EXPECT_TRUE(task.isCancelled());
  EXPECT_EQ(*finished, 0);
  EXPECT_EQ(finished.use_count(), 1) << "the flow's frames were not freed";
}

TEST(ImageLibraryStoreProjections, ADetachedFlowsErrorIsLogged) {
  OfflineStore f;
  std::vector<std::string> logged;
  const platform::LogSink previous =
      platform::setLogSink([&logged](platform::LogLevel level, std::string_view, std::string_view message) {
        if (level == platform::LogLevel::error) logged.emplace_back(message);
      });
  auto failing = [&store = f.store]() -> QCoro::Task<void> {
    auto frame = co_await store.context().scope().enter();
    co_await store.context().clock().sleep(10);
    throw std::runtime_error("disk gone");
  };
  StoreTask<void> task = f.store.context().startDetached(failing);
  f.clock.advance(10);
  testing::drainEvents();
  platform::setLogSink(previous);
  EXPECT_TRUE(task.isFinished());
  EXPECT_EQ(logged, (std::vector<std::string>{"a detached store flow failed: disk gone"}));
}

}  // namespace
}  // namespace lorvex
