// The Trash review's list: reloads and further pages under the load epoch, ticking and pruning,
// removal after moving to the Trash, with the heard each step sends.
#include "store/trash/trash_candidate_browser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/store_records.h"

namespace lorvex {
namespace {

using testing::pathsOf;
using testing::record;
using testing::RecordSpec;
using Outcome = TrashCandidateBrowser::LoadMoreOutcome;

RecordRef candidate(const std::string& path) {
  return record(RecordSpec{.path = path, .deleteCandidate = true});
}

std::vector<RecordRef> candidates(const std::vector<std::string>& paths) {
  std::vector<RecordRef> result;
  for (const auto& path : paths) result.push_back(candidate(path));
  return result;
}

struct Signals {
  int records = 0;
  int selected = 0;
  int hasMore = 0;
  int reloading = 0;
  int loadingMore = 0;
  friend bool operator==(const Signals&, const Signals&) = default;
};

struct Observed {
  TrashCandidateBrowser browser;
  Signals heard;
  // Loaded with `paths` (all candidates) and the given selection, heard counted from then on.
  Observed(const std::vector<std::string>& paths, PathSet selected, bool hasMore = true) {
    browser.finishReload(candidates(paths), hasMore, browser.beginReload());
    browser.setSelectedPaths(std::move(selected));
    QObject::connect(&browser, &TrashCandidateBrowser::recordsChanged, [this] { ++heard.records; });
    QObject::connect(&browser, &TrashCandidateBrowser::selectedPathsChanged, [this] { ++heard.selected; });
    QObject::connect(&browser, &TrashCandidateBrowser::hasMoreRecordsChanged, [this] { ++heard.hasMore; });
    QObject::connect(&browser, &TrashCandidateBrowser::isReloadingChanged, [this] { ++heard.reloading; });
    QObject::connect(&browser, &TrashCandidateBrowser::isLoadingMoreChanged, [this] { ++heard.loadingMore; });
  }
};

TEST(TrashCandidateBrowser, AReloadMakesAPendingFurtherPageStale) {
  Observed o({"a", "b"}, {});
  o.browser.setIsLoadingMore(true);
  const TrashCandidateBrowser::LoadTicket pageTicket{o.browser.loadEpoch()};
  const auto reloadTicket = o.browser.beginReload();
  EXPECT_FALSE(o.browser.isLoadingMore());
  EXPECT_TRUE(o.browser.isReloading());
  EXPECT_FALSE(o.browser.hasMoreRecords());
  EXPECT_EQ(o.browser.finishLoadMore(candidates({"c"}), true, pageTicket), Outcome::stale);
  EXPECT_EQ(pathsOf(o.browser.records()), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(o.browser.finishReload(candidates({"x", "y"}), true, reloadTicket));
  EXPECT_EQ(pathsOf(o.browser.records()), (std::vector<std::string>{"x", "y"}));
  EXPECT_FALSE(o.browser.isReloading());
  EXPECT_TRUE(o.browser.hasMoreRecords());
}

TEST(TrashCandidateBrowser, AStaleReloadLeavesTheNewerReloadRunning) {
  Observed o({"a"}, {});
  const auto older = o.browser.beginReload();
  const auto newer = o.browser.beginReload();
  EXPECT_NE(older, newer);
  EXPECT_FALSE(o.browser.finishReload(candidates({"old"}), false, older));
  EXPECT_TRUE(o.browser.isReloading());
  EXPECT_EQ(pathsOf(o.browser.records()), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(o.browser.finishReload(candidates({"new"}), false, newer));
  EXPECT_FALSE(o.browser.isReloading());
}

TEST(TrashCandidateBrowser, CancellingAndRemoving) {
  struct Case {
    const char* name;
    PathSet removed;
    std::vector<std::string> records;
    PathSet selected;
    Signals heard;
  };
  const Case cases[] = {
      {"empty set still cancels loading", {}, {"a", "b", "c"}, {"a", "c"}, {0, 0, 0, 1, 1}},
      {"removes and prunes the selection", {"a", "z"}, {"b", "c"}, {"c"}, {1, 1, 0, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Observed o({"a", "b", "c"}, {"a", "c"});
    o.browser.setIsReloading(true);
    o.browser.setIsLoadingMore(true);
    o.heard = {};
    const int epoch = o.browser.loadEpoch();
    o.browser.removeRecords(c.removed);
    EXPECT_EQ(o.browser.loadEpoch(), epoch + 1);
    EXPECT_FALSE(o.browser.isReloading());
    EXPECT_FALSE(o.browser.isLoadingMore());
    EXPECT_EQ(pathsOf(o.browser.records()), c.records);
    EXPECT_EQ(o.browser.selectedPaths(), c.selected);
    EXPECT_EQ(o.heard, c.heard);
  }
}

TEST(TrashCandidateBrowser, AReloadKeepsOnlyLoadedTrashablePathsSelected) {
  Observed o({"a", "b", "c"}, {"a", "b", "c"});
  const auto ticket = o.browser.beginReload();
  EXPECT_EQ(o.browser.selectedPaths().size(), 3u);  // kept until the reload finishes
  o.browser.finishReload({candidate("a"), record(RecordSpec{.path = "b"}),
                          record(RecordSpec{.path = "d", .deleteCandidate = true, .isMissing = true})},
                         false, ticket);
  EXPECT_EQ(o.browser.selectedPaths(), (PathSet{"a"}));
}

TEST(TrashCandidateBrowser, FurtherPages) {
  struct Case {
    const char* name;
    std::vector<std::string> page;
    bool pageHasMore;
    Outcome expected;
    std::vector<std::string> records;
    bool hasMore;
    Signals heard;
  };
  const Case cases[] = {
      {"all loaded, more reported: no progress",
       {"a", "b"},
       true,
       Outcome::noProgress,
       {"a", "b"},
       true,
       {0, 0, 0, 0, 1}},
      {"all loaded, no more: applied",
       {"a", "b"},
       false,
       Outcome::applied,
       {"a", "b"},
       false,
       {1, 0, 1, 0, 1}},
      {"overlapping page adds only new records",
       {"b", "c", "d"},
       true,
       Outcome::applied,
       {"a", "b", "c", "d"},
       true,
       {1, 0, 0, 0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Observed o({"a", "b"}, {});
    o.browser.setIsLoadingMore(true);
    o.heard = {};
    EXPECT_EQ(o.browser.finishLoadMore(candidates(c.page), c.pageHasMore, {o.browser.loadEpoch()}),
              c.expected);
    EXPECT_EQ(pathsOf(o.browser.records()), c.records);
    EXPECT_EQ(o.browser.hasMoreRecords(), c.hasMore);
    EXPECT_FALSE(o.browser.isLoadingMore());
    EXPECT_EQ(o.heard, c.heard);
  }
}

TEST(TrashCandidateBrowser, TickingAndSelectingAll) {
  TrashCandidateBrowser browser;
  browser.finishReload(
      {candidate("a"), record(RecordSpec{.path = "kept"}),
       record(RecordSpec{.path = "missing", .deleteCandidate = true, .isMissing = true}), candidate("b")},
      false, browser.beginReload());
  int heard = 0;
  QObject::connect(&browser, &TrashCandidateBrowser::selectedPathsChanged, [&] { ++heard; });
  browser.toggleSelection("not-loaded");
  EXPECT_TRUE(browser.selectedPaths().empty());
  EXPECT_EQ(heard, 0);
  browser.toggleSelection("kept");  // loaded but not trashable: ticked until the next pruning
  EXPECT_EQ(browser.selectedPaths(), (PathSet{"kept"}));
  browser.toggleSelection("a");
  browser.toggleSelection("a");
  EXPECT_EQ(heard, 3);
  browser.pruneSelection();
  EXPECT_TRUE(browser.selectedPaths().empty());
  browser.selectAllRecords();
  EXPECT_EQ(browser.selectedPaths(), (PathSet{"a", "b"}));
  browser.selectAllRecords();
  EXPECT_EQ(heard, 5);
}

TEST(TrashCandidateBrowser, ReselectingLoadedPaths) {
  struct Case {
    const char* name;
    PathSet paths;
    PathSet selected;
  };
  const Case cases[] = {
      {"empty set: nothing happens", {}, {"a", "gone"}},
      {"loaded paths become the selection", {"b", "z"}, {"b"}},
      {"none loaded: the selection is pruned instead of cleared", {"z"}, {"a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Observed o({"a", "b"}, {"a", "gone"});
    o.browser.selectLoadedPaths(c.paths);
    EXPECT_EQ(o.browser.selectedPaths(), c.selected);
  }
}

// An answer on its way when a scan relocated records was perhaps read before the scan wrote them:
// it is listed where the scan found them. One asked for after the relocation already has them
// there, and a new file at a vacated name is listed as it is.
TEST(TrashCandidateBrowser, AnAnswerOnItsWayIsListedWhereAScanFoundItsRecords) {
  const std::vector<RecordRelocation> bToMoved{{"b", "moved-b"}};
  const struct {
    const char* name;
    bool reload;                  // else a further page after "a"
    bool relocatedBeforeTheLoad;  // else while it is on its way
    std::vector<std::string> answer;
    std::vector<std::string> listed;
  } cases[] = {
      {"page on its way", false, false, {"b", "c"}, {"a", "moved-b", "c"}},
      {"reload asked for after the scan", true, true, {"a", "b", "c", "moved-b"}, {"a", "b", "c", "moved-b"}},
      {"page asked for after the scan", false, true, {"b", "c", "moved-b"}, {"a", "b", "c", "moved-b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Observed o({"a"}, {});
    if (c.relocatedBeforeTheLoad) o.browser.followRelocatedRecords(bToMoved);
    const auto ticket = c.reload ? o.browser.beginReload() : o.browser.beginLoadMore();
    if (!c.relocatedBeforeTheLoad) o.browser.followRelocatedRecords(bToMoved);
    if (c.reload) {
      EXPECT_TRUE(o.browser.finishReload(candidates(c.answer), false, ticket));
    } else {
      EXPECT_EQ(o.browser.finishLoadMore(candidates(c.answer), false, ticket), Outcome::applied);
    }
    EXPECT_EQ(pathsOf(o.browser.records()), c.listed);
  }
}

}  // namespace
}  // namespace lorvex
