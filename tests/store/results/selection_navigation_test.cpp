// The grid's clicks and arrow keys, select-all, stepping through the results with pages loading on
// the way, and opening, closing and pausing the slideshow.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/library_error.h"
#include "store/library/library_model_test_access.h"
#include "store/offline_store.h"

namespace lorvex {
namespace {

using testing::OfflineStore;
using Snapshot = ResultSelection::Snapshot;
using Direction = ResultsModel::GridMoveDirection;

Snapshot alone(const std::string& path) {
  return {path, {path}, path};
}
const Snapshot kCleared{std::nullopt, {}, std::nullopt};

// Runs one operation on a window of `recordCount` numbered records from a given selection.
struct SelectionCase {
  const char* name;
  int recordCount;
  Snapshot before;
  std::function<void(ImageLibraryStore&)> operation;
  Snapshot after;
};

void runSelectionCases(const std::vector<SelectionCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f;
    f.load(OfflineStore::numberedPaths(c.recordCount));
    f.select(c.before.primaryPath, c.before.selectedPaths, c.before.anchorPath);
    c.operation(f.store);
    EXPECT_EQ(f.selection(), c.after);
  }
}

auto toggle(const std::string& path) {
  return [path](ImageLibraryStore& store) { store.results().toggleSelection(path); };
}
auto extend(const std::string& path) {
  return [path](ImageLibraryStore& store) { store.results().extendSelection(path); };
}
auto move(int offset, bool wrapping) {
  return [offset, wrapping](ImageLibraryStore& store) { store.results().moveFocus(offset, wrapping); };
}
void selectAll(ImageLibraryStore& store) {
  store.results().selectAllResults();
}

TEST(ImageLibraryStoreSelection, CommandClickTogglesAndMovesTheFocus) {
  runSelectionCases({
      {"an unselected tile beside a lone focus",
       5,
       {"/r1", {}, "/r1"},
       toggle("/r3"),
       {"/r3", {"/r1", "/r3"}, "/r3"}},
      {"the focused tile of a multi-selection",
       5,
       {"/r3", {"/r4", "/r3", "/r2"}, "/r4"},
       toggle("/r3"),
       {"/r2", {"/r2", "/r4"}, "/r2"}},
      {"another selected tile",
       5,
       {"/r3", {"/r1", "/r3", "/r4"}, "/r1"},
       toggle("/r4"),
       {"/r3", {"/r1", "/r3"}, "/r3"}},
      {"the only selected tile stays", 5, alone("/r2"), toggle("/r2"), alone("/r2")},
      {"the focus leaves and no loaded tile remains",
       5,
       {"/r2", {"/r2", "/gone"}, "/r2"},
       toggle("/r2"),
       {std::nullopt, {"/gone"}, std::nullopt}},
      {"nothing selected", 5, kCleared, toggle("/r2"), alone("/r2")},
      {"a path that is not loaded is added all the same",
       5,
       {"/r1", {}, "/r1"},
       toggle("/gone"),
       {"/gone", {"/r1", "/gone"}, "/gone"}},
  });
}

TEST(ImageLibraryStoreSelection, ShiftClickSelectsARange) {
  runSelectionCases({
      {"no anchor and no focus: from the first record",
       5,
       kCleared,
       extend("/r2"),
       {"/r2", {"/r0", "/r1", "/r2"}, "/r0"}},
      {"from the anchor, backwards",
       5,
       {"/r4", {"/r4"}, "/r3"},
       extend("/r1"),
       {"/r1", {"/r1", "/r2", "/r3"}, "/r3"}},
      {"no anchor: from the focus",
       5,
       {"/r1", {}, std::nullopt},
       extend("/r3"),
       {"/r3", {"/r1", "/r2", "/r3"}, "/r1"}},
      {"a path that is not loaded changes nothing",
       5,
       {"/r1", {"/r1", "/r2"}, "/r1"},
       extend("/gone"),
       {"/r1", {"/r1", "/r2"}, "/r1"}},
      {"a stale anchor: the clicked record alone", 5, {"/r1", {"/r1"}, "/gone"}, extend("/r3"), alone("/r3")},
      {"an empty window clears", 0, {"/r1", {"/r1"}, "/r1"}, extend("/r1"), kCleared},
  });
}

TEST(ImageLibraryStoreSelection, SelectAllKeepsALoadedFocus) {
  const PathSet all = {"/r0", "/r1", "/r2"};
  runSelectionCases({
      {"loaded focus", 3, {"/r2", {}, "/r0"}, selectAll, {"/r2", all, "/r2"}},
      {"focus not loaded", 3, {"/gone", {"/gone"}, "/gone"}, selectAll, {"/r0", all, "/r0"}},
      {"nothing focused", 3, kCleared, selectAll, {"/r0", all, "/r0"}},
      {"an empty window clears", 0, {"/gone", {"/gone"}, "/gone"}, selectAll, kCleared},
  });
}

TEST(ImageLibraryStoreSelection, SelectAllOutlivesAppendedPagesAndLosesWhatIsRemoved) {
  // Select-all shares the window's set of paths; pages appended after it leave the selection as
  // it was (not the new records), and a removal still takes the removed record out of it.
  OfflineStore f;
  f.load(OfflineStore::numberedPaths(4), true);
  f.store.results().selection().selectSingle("/r1");
  f.store.results().selectAllResults();
  int selectionChanges = 0;
  QObject::connect(&f.store.results().selection(), &ResultSelection::selectedPathsChanged,
                   [&] { ++selectionChanges; });
  const PathSet all = {"/r0", "/r1", "/r2", "/r3"};
  auto& window = f.store.results().resultWindow();
  for (int page = 0; page < 3; ++page) {
    window.appendPage(testing::records({"/p" + std::to_string(page)}), true, window.currentLoadTicket());
    EXPECT_EQ(f.selection(), (Snapshot{"/r1", all, "/r1"})) << page;
  }
  EXPECT_EQ(selectionChanges, 0);

  window.removeRecords(PathSet{"/r2"}, 0);
  EXPECT_EQ(f.selection(), (Snapshot{"/r1", {"/r0", "/r1", "/r3"}, "/r1"}));
  window.removeRecords(PathSet{"/r1"}, 0);
  EXPECT_EQ(f.selection(), (Snapshot{"/r0", {"/r0", "/r3"}, "/r0"}));
}

TEST(ImageLibraryStoreSelection, MoveFocusWrapsOrClamps) {
  runSelectionCases({
      {"+1 wrapping from the last", 5, alone("/r4"), move(1, true), alone("/r0")},
      {"-1 clamped at the first", 5, alone("/r0"), move(-1, false), alone("/r0")},
      {"-3 wrapping from position 1", 5, alone("/r1"), move(-3, true), alone("/r3")},
      {"+10 clamped", 5, alone("/r1"), move(10, false), alone("/r4")},
      {"-11 wrapping", 5, alone("/r1"), move(-11, true), alone("/r0")},
      {"the multi-selection is dropped",
       5,
       {"/r1", {"/r0", "/r1", "/r2"}, "/r0"},
       move(1, false),
       alone("/r2")},
      {"nothing focused: the first", 5, kCleared, move(3, true), alone("/r0")},
      {"focus not loaded: the first", 5, alone("/gone"), move(3, true), alone("/r0")},
      {"an empty window clears", 0, alone("/gone"), move(1, true), kCleared},
  });
}

TEST(ImageLibraryStoreSelection, ArrowKeysStopAtTheGridsEnds) {
  // Seven records in rows of `columns`.
  struct Case {
    int from;
    Direction direction;
    int columns;
    int target;
  };
  const std::vector<Case> cases = {
      {5, Direction::down, 4, 6}, {1, Direction::down, 4, 5},  {2, Direction::up, 4, 0},
      {5, Direction::up, 4, 1},   {6, Direction::right, 4, 6}, {3, Direction::right, 4, 4},
      {0, Direction::left, 4, 0}, {4, Direction::left, 4, 3},  {2, Direction::down, 0, 3},
      {2, Direction::up, -2, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("from " + std::to_string(c.from) + " direction " +
                 std::to_string(static_cast<int>(c.direction)) + " columns " + std::to_string(c.columns));
    OfflineStore f;
    f.load(OfflineStore::numberedPaths(7));
    EXPECT_EQ(f.store.results().gridTargetIndex(c.from, c.direction, c.columns), c.target);
    const std::string from = "/r" + std::to_string(c.from);
    f.select(from, {"/r0", from}, "/r0");
    f.store.results().moveFocusInGrid(c.direction, c.columns);
    EXPECT_EQ(f.selection(), alone("/r" + std::to_string(c.target)));
  }
  runSelectionCases({
      {"no loaded focus: the first", 7, alone("/gone"),
       [](ImageLibraryStore& store) { store.results().moveFocusInGrid(Direction::down, 4); }, alone("/r0")},
      {"an empty window clears", 0, alone("/gone"),
       [](ImageLibraryStore& store) { store.results().moveFocusInGrid(Direction::down, 4); }, kCleared},
  });
}

TEST(ImageLibraryStoreSelection, ShiftArrowGrowsAndShrinksFromTheClickedRecord) {
  OfflineStore f;
  f.load(OfflineStore::numberedPaths(7));
  f.store.results().selection().selectSingle("/r1");  // the click
  struct Step {
    Direction direction;
    Snapshot after;
  };
  const std::vector<Step> steps = {
      {Direction::right, {"/r2", {"/r1", "/r2"}, "/r1"}},
      {Direction::down, {"/r6", {"/r1", "/r2", "/r3", "/r4", "/r5", "/r6"}, "/r1"}},
      {Direction::up, {"/r2", {"/r1", "/r2"}, "/r1"}},
      {Direction::left, alone("/r1")},
      {Direction::left, {"/r0", {"/r0", "/r1"}, "/r1"}},
      {Direction::left, {"/r0", {"/r0", "/r1"}, "/r1"}},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    f.store.results().extendSelectionInGrid(steps[i].direction, 4);
    EXPECT_EQ(f.selection(), steps[i].after);
  }

  const auto right = [](ImageLibraryStore& store) {
    store.results().extendSelectionInGrid(Direction::right, 4);
  };
  runSelectionCases({
      {"a stale anchor falls back to the focus",
       7,
       {"/r3", {"/r3"}, "/gone"},
       right,
       {"/r4", {"/r3", "/r4"}, "/r3"}},
      {"no loaded focus: the first alone", 7, {"/gone", {"/r3"}, "/r3"}, right, alone("/r0")},
      {"an empty window clears", 0, alone("/r3"), right, kCleared},
  });
}

TEST(ImageLibraryStoreSelection, AForwardStepNeedsAPageOnlyPastTheLoadedEnd) {
  struct Case {
    bool hasMore;
    std::optional<std::string> focus;
    int offset;
    bool needsPage;
  };
  const std::vector<Case> cases = {
      {true, "/r4", 1, true},   {true, "/r3", 1, false},        {true, "/r2", 3, true},
      {false, "/r4", 1, false}, {true, std::nullopt, 1, false}, {true, "/gone", 1, false},
      {true, "/r4", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.focus.value_or("no focus") + " + " + std::to_string(c.offset) +
                 (c.hasMore ? " with more" : ""));
    OfflineStore f;
    f.load(OfflineStore::numberedPaths(5), c.hasMore);
    f.store.results().selection().selectSingle(c.focus);
    EXPECT_EQ(f.store.results().focusMoveNeedsNextPage(c.offset), c.needsPage);
  }
}

TEST(ImageLibraryStoreSelection, FirstWindowPathFollowsWindowOrder) {
  OfflineStore f;
  f.load(OfflineStore::numberedPaths(5));
  EXPECT_EQ(f.store.results().firstWindowPath({"/r3", "/gone", "/r1"}), "/r1");
  EXPECT_EQ(f.store.results().firstWindowPath({"/gone"}), std::nullopt);
  EXPECT_EQ(f.store.results().firstWindowPath({}), std::nullopt);
}

// What the next-page load does when it is asked: the window it leaves and what it reports.
enum class PageOutcome { appended, failedWithMore, listEnded };

TEST(ImageLibraryStoreSelection, SteppingForwardLoadsTheNextPageWhenNeeded) {
  struct Case {
    const char* name;
    bool hasMore;
    std::optional<std::string> focus;
    std::optional<std::string> fromPath;
    PageOutcome outcome;
    // Runs while the page is on its way.
    std::function<void(OfflineStore&, StoreTask<void>&)> duringLoad;
    int loads;
    bool moved;
    Snapshot after;
  };
  const auto nothing = [](OfflineStore&, StoreTask<void>&) {};
  const std::vector<Case> cases = {
      {"inside the loaded records", true, "/r2", "/r2", PageOutcome::appended, nothing, 0, true,
       alone("/r3")},
      {"the last loaded record: the page first", true, "/r4", "/r4", PageOutcome::appended, nothing, 1, true,
       alone("/r5")},
      {"the page failed while more are reported", true, "/r4", "/r4", PageOutcome::failedWithMore, nothing, 1,
       false, alone("/r4")},
      {"no page came and the list ended: wraps", true, "/r4", "/r4", PageOutcome::listEnded, nothing, 1, true,
       alone("/r0")},
      {"the end of a complete list wraps", false, "/r4", "/r4", PageOutcome::appended, nothing, 0, true,
       alone("/r0")},
      {"without a from-path", false, "/r1", std::nullopt, PageOutcome::appended, nothing, 0, true,
       alone("/r2")},
      {"the user moved on before", true, "/r3", "/r4", PageOutcome::appended, nothing, 0, false,
       alone("/r3")},
      {"the user moved on during the load", true, "/r4", "/r4", PageOutcome::appended,
       [](OfflineStore& f, StoreTask<void>&) { f.store.results().selection().selectSingle("/r1"); }, 1, false,
       alone("/r1")},
      {"the caller stopped during the load", true, "/r4", "/r4", PageOutcome::appended,
       [](OfflineStore&, StoreTask<void>& step) { step.cancel(); }, 1, false, alone("/r4")},
      {"the window emptied during the load", true, "/r4", std::nullopt, PageOutcome::listEnded,
       [](OfflineStore& f, StoreTask<void>&) { f.load({}); }, 1, false, kCleared},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f;
    f.load(OfflineStore::numberedPaths(5), c.hasMore);
    f.store.results().selection().selectSingle(c.focus);
    // The library behind the window: /r0 … /r7, newest first, under a root being registered.
    std::vector<ImageRecord> library;
    for (int i = 0; i < 8; ++i) {
      ImageRecord record;
      record.file.path = "/r" + std::to_string(i);
      record.file.modificationDate = 1'000.0 - i;
      library.push_back(record);
    }
    f.harness.service->setRecords(library);
    f.harness.service->hold("searchImages");
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(f.store.library(), {"/"});
    StoreTask<void> step;
    bool moved = false;
    // The caller's flow, as the preview overlay keeps one: cancelling it stops the step.
    step = startStoreTask(f.store.context().scope(),
                          [&f, &moved, from = c.fromPath](std::stop_token stop) -> QCoro::Task<void> {
                            auto frame = co_await f.store.context().scope().enter();
                            moved = co_await f.store.results().advanceFocusLoadingMore(from, stop);
                          });
    if (c.loads > 0) {
      ASSERT_TRUE(f.harness.service->waitForHeld("searchImages"));
      const auto page = f.harness.service->heldCalls("searchImages").front();
      EXPECT_EQ(page.query->offset, 5);
      c.duringLoad(f, step);
      switch (c.outcome) {
        case PageOutcome::appended:
          f.harness.service->release(page.id);
          break;
        case PageOutcome::failedWithMore:
          f.harness.service->fail(
              page.id, std::make_exception_ptr(LibraryError(LibraryError::Kind::database, "busy")));
          break;
        case PageOutcome::listEnded:
          f.harness.service->releaseWith(page.id, std::vector<ImageRecord>{});
          break;
      }
    }
    ASSERT_TRUE(testing::runEventsUntil([&] { return step.isFinished(); }));
    EXPECT_EQ(f.harness.service->calls("searchImages").size(), static_cast<std::size_t>(c.loads));
    EXPECT_EQ(moved, c.moved);
    EXPECT_EQ(f.selection(), c.after);
  }
}

TEST(ImageLibraryStoreSelection, SteppingInAnEmptyWindowClearsTheSelection) {
  OfflineStore f;
  f.store.results().selection().selectSingle("/gone");
  bool moved = true;
  StoreTask<void> step = startStoreTask(f.store.context().scope(), [&](std::stop_token) -> QCoro::Task<void> {
    auto frame = co_await f.store.context().scope().enter();
    const std::optional<std::string> from;
    moved = co_await f.store.results().advanceFocusLoadingMore(from);
  });
  ASSERT_TRUE(testing::runEventsUntil([&] { return step.isFinished(); }));
  EXPECT_FALSE(moved);
  EXPECT_EQ(f.selection(), kCleared);
}

TEST(ImageLibraryStoreSelection, TheSlideshowOpensClosesAndPauses) {
  struct Case {
    const char* name;
    int recordCount;
    Snapshot before;
    bool presentedBefore;
    bool playingBefore;
    std::function<void(ImageLibraryStore&)> operation;
    Snapshot after;
    bool presented;
    bool playing;
  };
  const auto start = [](ImageLibraryStore& store) { store.results().startSlideshow(); };
  const auto dismiss = [](ImageLibraryStore& store) { store.results().dismissSlideshow(); };
  const auto togglePlayback = [](ImageLibraryStore& store) { store.results().toggleSlideshowPlayback(); };
  const std::vector<Case> cases = {
      {"start with nothing focused", 3, kCleared, false, false, start, alone("/r0"), true, true},
      {"start from the focus",
       3,
       {"/r2", {"/r1", "/r2"}, "/r1"},
       false,
       false,
       start,
       {"/r2", {"/r1", "/r2"}, "/r1"},
       true,
       true},
      {"start from an unloaded focus", 3, alone("/gone"), false, false, start, alone("/r0"), true, true},
      {"start while paused plays", 3, alone("/r1"), true, false, start, alone("/r1"), true, true},
      {"start on an empty window closes", 0, alone("/gone"), true, true, start, kCleared, false, false},
      {"dismiss stops playback", 3, alone("/r1"), true, true, dismiss, alone("/r1"), false, false},
      {"pause", 3, alone("/r1"), true, true, togglePlayback, alone("/r1"), true, false},
      {"play", 3, alone("/r1"), true, false, togglePlayback, alone("/r1"), true, true},
      {"play while closed does nothing", 3, alone("/r1"), false, false, togglePlayback, alone("/r1"), false,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f;
    f.load(OfflineStore::numberedPaths(c.recordCount));
    f.select(c.before.primaryPath, c.before.selectedPaths, c.before.anchorPath);
    f.store.presentation().setIsSlideshowPresented(c.presentedBefore);
    f.store.presentation().setIsSlideshowPlaying(c.playingBefore);
    c.operation(f.store);
    EXPECT_EQ(f.selection(), c.after);
    EXPECT_EQ(f.store.presentation().isSlideshowPresented(), c.presented);
    EXPECT_EQ(f.store.presentation().isSlideshowPlaying(), c.playing);
  }
}

}  // namespace
}  // namespace lorvex
