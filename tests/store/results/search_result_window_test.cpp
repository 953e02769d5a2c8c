// The result window's operations one edge case at a time: outcomes, the records and index they
// leave, the epoch, the change reports and the signals.
#include "store/results/search_result_window.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/store_records.h"

namespace lorvex {
namespace {

using testing::pathsOf;
using testing::record;
using testing::records;
using testing::RecordSpec;
using testing::WindowListener;
using Outcome = SearchResultWindow::AppendOutcome;
using Merge = SearchResultWindow::LeadingMergeOutcome;

// The store's review filter: missing records never show; with the favourite filter on only
// favourites; delete candidates exactly when the delete-candidate filter is on.
SearchResultWindow::VisibilityPredicate reviewFilter(bool onlyFavorites, bool onlyDeleteCandidates) {
  return [=](bool favorite, bool deleteCandidate, bool isMissing) {
    if (isMissing) return false;
    if (onlyFavorites && !favorite) return false;
    return deleteCandidate == onlyDeleteCandidates;
  };
}

struct Fixture {
  SearchResultWindow window;
  std::vector<int> reports;
  Fixture() {
    window.setRecordsChangedHandler(
        [this](const auto& change) { reports.push_back(change.fallbackSelectionIndex); });
  }
  void load(const std::vector<std::string>& paths, bool hasMore = false) {
    window.replaceRecords(records(paths), hasMore, 0);
    reports.clear();
  }
};

// Records a replacement retires go to the handler once the index no longer names their paths,
// and only then: the index reads a path through its record until it is rebuilt.
TEST(SearchResultWindow, RetiredRecordsReachTheHandlerAfterTheRebuild) {
  Fixture f;
  std::vector<std::vector<RecordRef>> retired;
  f.window.setRetiredRecordsHandler(
      [&](std::vector<RecordRef> records) { retired.push_back(std::move(records)); });
  f.load({"a", "b"});
  ASSERT_TRUE(retired.empty());  // nothing was shown before
  const std::vector<RecordRef> first = f.window.records();

  // Assigned without a rebuild: still index keys, not handed over.
  f.window.setRecords(records({"c"}));
  EXPECT_TRUE(retired.empty());
  f.window.replaceRecords(records({"d", "e"}), false, 0);
  ASSERT_EQ(retired.size(), 1u);
  // The records of both replaced lists, the very objects that were shown.
  ASSERT_EQ(retired[0].size(), 3u);
  EXPECT_EQ(retired[0][0], first[0]);
  EXPECT_EQ(retired[0][1], first[1]);
  EXPECT_EQ(retired[0][2]->file.path, "c");
  EXPECT_EQ(f.window.index("d"), 0);
  EXPECT_EQ(f.window.index("a"), std::nullopt);
}

TEST(SearchResultWindow, IndexVerifiesEveryPositionAgainstTheRecords) {
  struct Case {
    const char* name;
    std::vector<std::string> assigned;  // records assigned after the index was built over a, b, c
    std::string path;
    std::optional<int> expected;
  };
  const Case cases[] = {
      {"loaded", {"a", "b", "c"}, "b", 1},
      {"not loaded", {"a", "b", "c"}, "z", std::nullopt},
      {"indexed position beyond the end", {"a"}, "c", std::nullopt},
      {"indexed position now holds another path", {"c", "b", "a"}, "a", std::nullopt},
      {"indexed position still holds the path", {"x", "b", "y"}, "b", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.load({"a", "b", "c"});
    f.window.setRecords(records(c.assigned));
    EXPECT_EQ(f.window.index(c.path), c.expected);
  }
}

TEST(SearchResultWindow, AppendPageOutcomes) {
  struct Case {
    const char* name;
    std::vector<std::string> page;
    bool pageHasMore;
    Outcome expected;
    std::vector<std::string> records;
    bool hasMore;
    std::vector<int> reports;
    int hasMoreSignals;
    int recordsSignals;
  };
  const Case cases[] = {
      {"all loaded, more reported",
       {"a", "b"},
       true,
       {Outcome::Kind::noNewRecords, 0},
       {"a", "b"},
       true,
       {},
       0,
       0},
      {"all loaded, no more", {"a", "b"}, false, Outcome::appended(0), {"a", "b"}, false, {0}, 1, 0},
      {"new records after loaded ones",
       {"b", "c", "d"},
       true,
       Outcome::appended(2),
       {"a", "b", "c", "d"},
       true,
       {0},
       0,
       1},
      {"empty page, more reported", {}, true, {Outcome::Kind::noNewRecords, 0}, {"a", "b"}, true, {}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.load({"a", "b"}, true);
    WindowListener listener(f.window);
    EXPECT_EQ(f.window.appendPage(records(c.page), c.pageHasMore, f.window.currentLoadTicket()), c.expected);
    EXPECT_EQ(pathsOf(f.window.records()), c.records);
    EXPECT_EQ(f.window.hasMoreRecords(), c.hasMore);
    EXPECT_EQ(f.reports, c.reports);
    EXPECT_EQ(listener.hasMoreChanged, c.hasMoreSignals);
    EXPECT_EQ(listener.recordsChanged, c.recordsSignals);
    EXPECT_EQ(f.window.loadEpoch(), 0);
    for (std::size_t i = 0; i < c.records.size(); ++i)
      EXPECT_EQ(f.window.index(c.records[i]), static_cast<int>(i));
  }
}

TEST(SearchResultWindow, EveryEpochAdvancingOperationMakesOlderTicketsStale) {
  struct Case {
    const char* name;
    std::function<void(SearchResultWindow&)> operation;
    int epochAfter;
  };
  const auto visible = reviewFilter(false, false);
  const Case cases[] = {
      {"invalidateLoads", [](auto& w) { w.invalidateLoads(); }, 1},
      {"removeRecords", [](auto& w) { w.removeRecords({"b"}, 0); }, 1},
      {"removeRecords with an empty set", [](auto& w) { w.removeRecords({}, 0); }, 1},
      {"applyRecordUpdates",
       [&](auto& w) {
         w.applyRecordUpdates({{"b", testing::review(true, false)}}, visible);
       },
       1},
      {"applyRecordUpdate", [&](auto& w) { w.applyRecordUpdate(record("z"), 0, visible); }, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.load({"a", "b", "c"}, true);
    const auto ticket = f.window.currentLoadTicket();
    c.operation(f.window);
    EXPECT_EQ(f.window.loadEpoch(), c.epochAfter);
    const auto before = f.window.records();
    f.reports.clear();
    WindowListener listener(f.window);
    EXPECT_EQ(f.window.appendPage(records({"n1", "n2"}), false, ticket), (Outcome{Outcome::Kind::stale, 0}));
    EXPECT_EQ(f.window.mergeLeadingPage(records({"m1", "a"}), ticket), (Merge{Merge::Kind::stale, 0}));
    EXPECT_TRUE(sameRecords(f.window.records(), before));
    EXPECT_TRUE(f.window.hasMoreRecords());
    EXPECT_TRUE(f.reports.empty());
    EXPECT_EQ(listener.total(), 0);
    // The current ticket still applies.
    EXPECT_EQ(f.window.appendPage(records({"n1"}), true, f.window.currentLoadTicket()), Outcome::appended(1));
  }
}

TEST(SearchResultWindow, MergeLeadingPageOutcomes) {
  struct Case {
    const char* name;
    std::vector<std::string> page;
    Merge expected;
    std::vector<std::string> records;
    std::vector<int> reports;
  };
  const Case cases[] = {
      {"empty page", {}, {Merge::Kind::unchanged, 0}, {"a", "b", "c"}, {}},
      {"first record already loaded", {"a", "x", "y"}, {Merge::Kind::unchanged, 0}, {"a", "b", "c"}, {}},
      {"no record shared", {"x", "y"}, {Merge::Kind::noOverlap, 0}, {"a", "b", "c"}, {}},
      {"three new in front",
       {"x", "y", "z", "a", "b"},
       Merge::inserted(3),
       {"x", "y", "z", "a", "b", "c"},
       {3}},
      // Presence in the index decides, not the position: records after the first shared one are
      // ignored even where they differ.
      {"overlap further down", {"x", "c", "q"}, Merge::inserted(1), {"x", "a", "b", "c"}, {1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.load({"a", "b", "c"}, true);
    WindowListener listener(f.window);
    EXPECT_EQ(f.window.mergeLeadingPage(records(c.page), f.window.currentLoadTicket()), c.expected);
    EXPECT_EQ(pathsOf(f.window.records()), c.records);
    EXPECT_EQ(f.reports, c.reports);
    EXPECT_EQ(f.window.loadEpoch(), 0);
    EXPECT_TRUE(f.window.hasMoreRecords());
    EXPECT_TRUE(sameRecords(listener.mirror, f.window.records()));
    EXPECT_EQ(listener.total() == 0, c.reports.empty());
    for (std::size_t i = 0; i < c.records.size(); ++i)
      EXPECT_EQ(f.window.index(c.records[i]), static_cast<int>(i));
  }
}

TEST(SearchResultWindow, RemoveRecords) {
  struct Case {
    const char* name;
    PathSet paths;
    std::vector<std::string> records;
    std::vector<int> reports;
    bool emits;
  };
  const Case cases[] = {
      {"empty set: invalidates, reports nothing", {}, {"a", "b", "c", "d"}, {}, false},
      {"paths not loaded: reports, nothing removed", {"z"}, {"a", "b", "c", "d"}, {5}, false},
      {"scattered paths", {"a", "c", "z"}, {"b", "d"}, {5}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.load({"a", "b", "c", "d"});
    WindowListener listener(f.window);
    f.window.removeRecords(c.paths, 5);
    EXPECT_EQ(f.window.loadEpoch(), 1);
    EXPECT_EQ(pathsOf(f.window.records()), c.records);
    EXPECT_EQ(f.reports, c.reports);
    EXPECT_EQ(listener.total() > 0, c.emits);
    EXPECT_TRUE(sameRecords(listener.mirror, f.window.records()));
    for (std::size_t i = 0; i < c.records.size(); ++i)
      EXPECT_EQ(f.window.index(c.records[i]), static_cast<int>(i));
    EXPECT_FALSE(f.window.index("a") && c.paths.contains("a"));
  }
}

TEST(SearchResultWindow, ApplyRecordUpdatesFollowsTheReviewFilters) {
  struct Case {
    const char* name;
    bool onlyFavorites;
    bool onlyDeleteCandidates;
    std::vector<RecordSpec> loaded;
    PathMap<ReviewState> states;
    std::vector<std::string> records;
    std::vector<int> reports;
  };
  const ReviewState marked = testing::review(false, true);
  const ReviewState unmarked{};
  const ReviewState favorite = testing::review(true, false);
  const Case cases[] = {
      {"marking with the filter off removes",
       false,
       false,
       {{"a"}, {"b"}, {"c"}},
       {{"b", marked}},
       {"a", "c"},
       {1}},
      {"marking with the filter on keeps",
       false,
       true,
       {{"a", false, true}, {"b", false, true}},
       {{"b", marked}},
       {"a", "b"},
       {1}},
      {"unmarking with the filter on removes",
       false,
       true,
       {{"a", false, true}, {"b", false, true}},
       {{"a", unmarked}},
       {"b"},
       {0}},
      {"favourite filter drops an unfavourited record",
       true,
       false,
       {{"a", true}, {"b", true}},
       {{"b", unmarked}, {"a", favorite}},
       {"a"},
       {0}},
      {"a missing record never stays",
       false,
       false,
       {{"a"}, {"b", false, false, true}},
       {{"b", favorite}},
       {"a"},
       {1}},
      {"no loaded record has an entry", false, false, {{"a"}, {"b"}}, {{"z", marked}}, {"a", "b"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    std::vector<RecordRef> loaded;
    for (const auto& spec : c.loaded) loaded.push_back(record(spec));
    f.window.replaceRecords(loaded, false, 0);
    f.reports.clear();
    WindowListener listener(f.window);
    f.window.applyRecordUpdates(c.states, reviewFilter(c.onlyFavorites, c.onlyDeleteCandidates));
    EXPECT_EQ(f.window.loadEpoch(), 1);
    EXPECT_EQ(pathsOf(f.window.records()), c.records);
    EXPECT_EQ(f.reports, c.reports);
    for (const auto& kept : f.window.records()) {
      const auto state = c.states.find(kept->file.path);
      if (state != c.states.end()) {
        EXPECT_EQ(kept->reviewState, state->second) << kept->file.path;
      }
    }
    EXPECT_TRUE(sameRecords(listener.mirror, f.window.records()));
    EXPECT_EQ(listener.total() == 0, c.reports.empty());
  }
}

TEST(SearchResultWindow, ApplyRecordUpdatePutsARecordBackClamped) {
  struct Case {
    const char* name;
    RecordSpec record;
    int index;
    std::vector<std::string> records;
    std::vector<int> reports;
  };
  const Case cases[] = {
      {"not loaded, visible, inside", {"x"}, 1, {"a", "x", "b", "c"}, {1}},
      {"not loaded, negative index: front", {"x"}, -4, {"x", "a", "b", "c"}, {-4}},
      {"not loaded, past the end: appended", {"x"}, 99, {"a", "b", "c", "x"}, {99}},
      {"not loaded, not visible: nothing", {"x", false, true}, 0, {"a", "b", "c"}, {}},
      {"loaded, visible: replaced in place", {"b", true}, 0, {"a", "b", "c"}, {0}},
      {"loaded, not visible: removed", {"b", false, true}, 2, {"a", "c"}, {2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.load({"a", "b", "c"});
    WindowListener listener(f.window);
    const RecordRef given = record(c.record);
    f.window.applyRecordUpdate(given, c.index, reviewFilter(false, false));
    EXPECT_EQ(f.window.loadEpoch(), 1);
    EXPECT_EQ(pathsOf(f.window.records()), c.records);
    EXPECT_EQ(f.reports, c.reports);
    if (const auto at = f.window.index(c.record.path)) {
      EXPECT_EQ(f.window.records()[*at], given);
    }
    EXPECT_TRUE(sameRecords(listener.mirror, f.window.records()));
    for (std::size_t i = 0; i < c.records.size(); ++i)
      EXPECT_EQ(f.window.index(c.records[i]), static_cast<int>(i));
  }
}

TEST(SearchResultWindow, PuttingRecordsBackAtOnceReportsOnceWithTheSmallestIndex) {
  struct Case {
    const char* name;
    std::vector<std::pair<RecordSpec, int>> entries;
    std::vector<std::string> records;
    std::vector<int> reports;
    int structural;  // begin/end pairs and row updates the listener hears
  };
  // Twenty records put back between the twenty loaded ones: too many ranges, one reset.
  std::vector<std::pair<RecordSpec, int>> interleaved;
  std::vector<std::string> interleavedResult;
  for (int i = 0; i < 20; ++i) {
    interleaved.push_back({{"n" + std::to_string(i)}, 2 * i + 1});
    interleavedResult.push_back("l" + std::to_string(i));
    interleavedResult.push_back("n" + std::to_string(i));
  }
  const Case cases[] = {
      {"side by side, given out of order", {{{"y"}, 2}, {{"x"}, 1}}, {"a", "x", "y", "b", "c", "d"}, {1}, 1},
      {"put back, replaced and removed",
       {{{"b", false, true}, 5}, {{"x"}, 0}, {{"c", true}, 3}},
       {"x", "a", "c", "d"},
       {0},
       3},
      {"a hidden record first does not set the fallback",
       {{{"y", false, true}, 0}, {{"x"}, 3}},
       {"a", "b", "c", "x", "d"},
       {3},
       1},
      {"one index twice: the later entry goes in front",
       {{{"x"}, 1}, {{"y"}, 1}},
       {"a", "y", "x", "b", "c", "d"},
       {1},
       1},
      {"only replaced", {{{"d", true}, 9}, {{"a", true}, 7}}, {"a", "b", "c", "d"}, {7}, 2},
      {"nothing visible: nothing", {{{"x", false, true}, 2}}, {"a", "b", "c", "d"}, {}, 0},
      {"scattered", interleaved, interleavedResult, {1}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    if (c.records.size() == 40) {
      std::vector<std::string> loaded;
      for (int i = 0; i < 20; ++i) loaded.push_back("l" + std::to_string(i));
      f.load(loaded);
    } else {
      f.load({"a", "b", "c", "d"});
    }
    WindowListener listener(f.window);
    std::vector<std::pair<RecordRef, int>> entries;
    for (const auto& [spec, at] : c.entries) entries.emplace_back(record(spec), at);
    f.window.applyRecordUpdatesAtIndices(entries, reviewFilter(false, false));
    EXPECT_EQ(pathsOf(f.window.records()), c.records);
    EXPECT_EQ(f.reports, c.reports);
    EXPECT_EQ(f.window.loadEpoch(), 1);
    EXPECT_EQ(listener.recordsChanged, c.reports.empty() ? 0 : 1);
    EXPECT_EQ(listener.structural, c.structural);
    EXPECT_FALSE(listener.pairMismatch);
    EXPECT_TRUE(sameRecords(listener.mirror, f.window.records()));
    for (const auto& [given, at] : entries) {
      if (const auto position = f.window.index(given->file.path)) {
        EXPECT_EQ(f.window.records()[*position], given);
      }
    }
    for (std::size_t i = 0; i < c.records.size(); ++i)
      EXPECT_EQ(f.window.index(c.records[i]), static_cast<int>(i));
  }
}

TEST(SearchResultWindow, ReplacingWithAnEqualListNotifiesNoRecordsObserverButReports) {
  Fixture f;
  f.load({"a", "b"}, true);
  WindowListener listener(f.window);
  f.window.replaceRecords(records({"a", "b"}), true, 7);
  EXPECT_EQ(listener.total(), 0);
  EXPECT_EQ(f.reports, (std::vector<int>{7}));
  f.window.replaceRecords(records({"b", "a"}), false, 1);
  EXPECT_EQ(listener.recordsChanged, 1);
  EXPECT_EQ(listener.hasMoreChanged, 1);
  EXPECT_EQ(f.window.index("a"), 1);
  EXPECT_EQ(f.window.loadEpoch(), 0);
}

TEST(SearchResultWindow, DuplicatePathsOfOnePageAreBothAppendedAndTheIndexNamesTheLater) {
  Fixture f;
  f.load({"a"});
  EXPECT_EQ(f.window.appendPage(records({"n", "b", "n"}), false, f.window.currentLoadTicket()),
            Outcome::appended(3));
  EXPECT_EQ(pathsOf(f.window.records()), (std::vector<std::string>{"a", "n", "b", "n"}));
  EXPECT_EQ(f.window.indexedPosition("n"), 3);
  EXPECT_EQ(f.window.index("n"), 3);
  // Both copies follow an update, and a removal takes both.
  f.window.applyRecordUpdates({{"n", testing::review(true, false)}}, reviewFilter(false, false));
  EXPECT_TRUE(f.window.records()[1]->reviewState.favorite);
  EXPECT_TRUE(f.window.records()[3]->reviewState.favorite);
  EXPECT_EQ(f.reports.back(), 1);
  f.window.removeRecords({"n"}, 0);
  EXPECT_EQ(pathsOf(f.window.records()), (std::vector<std::string>{"a", "b"}));
}

TEST(SearchResultWindow, ThumbnailPathsChangeOnlyRecordsThatNeedIt) {
  Fixture f;
  f.window.replaceRecords(
      {record(RecordSpec{.path = "a"}), record(RecordSpec{.path = "b", .thumbnailPath = "/t/b.jpg"})}, false,
      0);
  f.reports.clear();
  WindowListener listener(f.window);
  f.window.updateThumbnailPaths({{"b", "/t/b.jpg"}, {"z", "/t/z.jpg"}});
  EXPECT_EQ(listener.total(), 0);
  const RecordRef before = f.window.records()[0];
  f.window.updateThumbnailPaths({{"a", "/t/a.jpg"}, {"b", "/t/b2.jpg"}});
  EXPECT_EQ(f.window.records()[0]->thumbnailPath, "/t/a.jpg");
  EXPECT_EQ(f.window.records()[1]->thumbnailPath, "/t/b2.jpg");
  EXPECT_FALSE(before->thumbnailPath.has_value());  // the old record object is untouched
  EXPECT_EQ(listener.recordsChanged, 1);
  EXPECT_TRUE(sameRecords(listener.mirror, f.window.records()));
  EXPECT_TRUE(f.reports.empty());
  EXPECT_EQ(f.window.loadEpoch(), 0);
  EXPECT_EQ(f.window.index("a"), 0);
}

TEST(SearchResultWindow, ManyScatteredRemovalsAreReportedAsOneListOfPositions) {
  Fixture f;
  std::vector<std::string> paths;
  PathSet removed;
  for (int i = 0; i < 200; ++i) {
    paths.push_back("p" + std::to_string(i));
    if (i % 3 == 0) removed.insert(paths.back());
  }
  f.load(paths);
  WindowListener listener(f.window);
  std::vector<int> reported;
  QObject::connect(&f.window, &SearchResultWindow::recordsRemovedAt,
                   [&](const std::vector<int>& p) { reported = p; });
  f.window.removeRecords(removed, 0);
  EXPECT_EQ(listener.structural, 1);
  ASSERT_EQ(reported.size(), removed.size());
  EXPECT_EQ(reported.front(), 0);
  EXPECT_EQ(reported.back(), 198);
  EXPECT_FALSE(listener.pairMismatch);
  EXPECT_TRUE(sameRecords(listener.mirror, f.window.records()));
  EXPECT_EQ(f.window.records().size(), 200u - removed.size());
}

}  // namespace
}  // namespace lorvex
