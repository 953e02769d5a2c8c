// The selection by path: effective selection, single selection, and reconciling with new records,
// with the heard each step sends.
#include "store/results/result_selection.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "store/results/search_result_window.h"
#include "store/store_records.h"

namespace lorvex {
namespace {

using testing::records;
using Path = std::optional<std::string>;

struct Signals {
  int primary = 0;
  int selected = 0;
  int anchor = 0;
  friend bool operator==(const Signals&, const Signals&) = default;
};

struct Observed {
  ResultSelection selection;
  Signals heard;
  Observed(Path primary, PathSet selected, Path anchor) {
    selection.setPrimaryPath(std::move(primary));
    selection.setSelectedPaths(std::move(selected));
    selection.setAnchorPath(std::move(anchor));
    QObject::connect(&selection, &ResultSelection::primaryPathChanged, [this] { ++heard.primary; });
    QObject::connect(&selection, &ResultSelection::selectedPathsChanged, [this] { ++heard.selected; });
    QObject::connect(&selection, &ResultSelection::anchorPathChanged, [this] { ++heard.anchor; });
  }
};

TEST(ResultSelection, EffectiveSelectedPaths) {
  struct Case {
    const char* name;
    Path primary;
    PathSet selected;
    PathSet expected;
  };
  const Case cases[] = {
      {"nothing", std::nullopt, {}, {}},
      {"only a focused path", "a", {}, {"a"}},
      {"a selection wins over the focus", "a", {"b", "c"}, {"b", "c"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Observed o(c.primary, c.selected, std::nullopt);
    EXPECT_EQ(o.selection.effectiveSelectedPaths(), c.expected);
  }
}

TEST(ResultSelection, SelectSingleAndEqualWritesSignalOnlyChanges) {
  Observed o("a", {"a", "b"}, "b");
  o.selection.selectSingle("a");
  EXPECT_EQ(o.selection.snapshot(), (ResultSelection::Snapshot{"a", {"a"}, "a"}));
  EXPECT_EQ(o.heard, (Signals{0, 1, 1}));
  o.selection.selectSingle("a");
  o.selection.setPrimaryPath("a");
  o.selection.setSelectedPaths({"a"});
  o.selection.setAnchorPath("a");
  EXPECT_EQ(o.heard, (Signals{0, 1, 1}));
  o.selection.selectSingle(std::nullopt);
  EXPECT_EQ(o.selection.snapshot(), (ResultSelection::Snapshot{std::nullopt, {}, std::nullopt}));
  EXPECT_EQ(o.heard, (Signals{1, 2, 2}));
}

TEST(ResultSelection, ReconcileWithNewRecords) {
  struct Case {
    const char* name;
    ResultSelection::Snapshot before;
    std::vector<std::string> records;
    int fallback;
    std::optional<bool> result;
    ResultSelection::Snapshot after;
    Signals heard;
  };
  const Case cases[] = {
      {"empty list clears",
       {"a", {"a", "b"}, "b"},
       {},
       0,
       std::nullopt,
       {std::nullopt, {}, std::nullopt},
       {1, 1, 1}},
      {"empty list with nothing selected",
       {std::nullopt, {}, std::nullopt},
       {},
       3,
       std::nullopt,
       {std::nullopt, {}, std::nullopt},
       {0, 0, 0}},
      {"focus survives, gone paths dropped, anchor kept",
       {"b", {"a", "b", "c"}, "c"},
       {"b", "c", "d"},
       0,
       false,
       {"b", {"b", "c"}, "c"},
       {0, 1, 0}},
      {"focus survives, anchor gone moves to the focus",
       {"b", {"a", "b"}, "a"},
       {"b", "c"},
       0,
       false,
       {"b", {"b"}, "b"},
       {0, 1, 1}},
      {"focus survives alone without a selection",
       {"b", {}, std::nullopt},
       {"a", "b"},
       0,
       false,
       {"b", {"b"}, "b"},
       {0, 1, 1}},
      {"focus gone: first survivor in list order",
       {"x", {"x", "c", "a"}, "x"},
       {"b", "c", "a"},
       0,
       true,
       {"c", {"c", "a"}, "c"},
       {1, 1, 1}},
      {"selection without the focus counts as a lost focus",
       {"a", {"c", "b"}, "a"},
       {"a", "b", "c"},
       0,
       true,
       {"b", {"b", "c"}, "b"},
       {1, 0, 1}},
      {"nothing survives: fallback index",
       {"x", {"x"}, "x"},
       {"a", "b", "c"},
       1,
       true,
       {"b", {"b"}, "b"},
       {1, 1, 1}},
      {"negative fallback: first",
       {"x", {"x"}, "x"},
       {"a", "b", "c"},
       -5,
       true,
       {"a", {"a"}, "a"},
       {1, 1, 1}},
      {"fallback one past the end: last",
       {std::nullopt, {}, std::nullopt},
       {"a", "b", "c"},
       3,
       true,
       {"c", {"c"}, "c"},
       {1, 1, 1}},
      {"nothing changes: nobody hears",
       {"a", {"a", "b"}, "b"},
       {"a", "b", "c"},
       0,
       false,
       {"a", {"a", "b"}, "b"},
       {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SearchResultWindow window;
    window.replaceRecords(records(c.records), false, 0);
    Observed o(c.before.primaryPath, c.before.selectedPaths, c.before.anchorPath);
    EXPECT_EQ(o.selection.reconcile(window, c.fallback), c.result);
    EXPECT_EQ(o.selection.snapshot(), c.after);
    EXPECT_EQ(o.heard, c.heard);
  }
}

TEST(ResultSelection, ReconcileFollowsTheWindowAcrossItsChanges) {
  SearchResultWindow window;
  ResultSelection selection;
  std::vector<std::optional<bool>> results;
  window.setRecordsChangedHandler([&](const auto& change) {
    results.push_back(selection.reconcile(window, change.fallbackSelectionIndex));
  });
  window.replaceRecords(records({"a", "b", "c", "d"}), true, 0);
  selection.selectSingle("c");
  window.appendPage(records({"e", "f"}), false, window.currentLoadTicket());
  EXPECT_EQ(selection.primaryPath(), "c");
  window.removeRecords({"c"}, 2);
  EXPECT_EQ(selection.primaryPath(), "d");  // the record now at the fallback position
  window.removeRecords({"a", "b", "d", "e", "f"}, 0);
  EXPECT_EQ(selection.primaryPath(), std::nullopt);
  EXPECT_EQ(results, (std::vector<std::optional<bool>>{true, false, true, std::nullopt}));
}

}  // namespace
}  // namespace lorvex
