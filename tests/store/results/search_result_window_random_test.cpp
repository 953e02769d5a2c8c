// Ten thousand seeded random operations on a result window next to a plain reference model (a
// vector of records and a list of index entries searched from the front), compared after each
// operation: outcomes, records, the index entry of every path, epoch, change reports. A listener
// mirroring the window through its begin/end pairs must equal the records after every operation,
// and an operation that changes nothing must emit nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "store/results/search_result_window.h"
#include "store/store_records.h"

namespace lorvex {
namespace {

using Window = SearchResultWindow;
using testing::record;
using testing::RecordSpec;

struct Reference {
  std::vector<RecordRef> records;
  bool hasMore = false;
  std::vector<std::pair<std::string, int>> index;
  int epoch = 0;
  std::vector<int> reports;

  std::optional<int> rawIndex(const std::string& path) const {
    for (const auto& [p, i] : index)
      if (p == path) return i;
    return std::nullopt;
  }
  std::optional<int> find(const std::string& path) const {
    const auto i = rawIndex(path);
    if (!i || *i < 0 || *i >= static_cast<int>(records.size())) return std::nullopt;
    if (records[static_cast<std::size_t>(*i)]->file.path != path) return std::nullopt;
    return i;
  }
  void enter(const std::string& path, int position) {
    for (auto& [p, i] : index) {
      if (p == path) {
        i = position;
        return;
      }
    }
    index.emplace_back(path, position);
  }
  void rebuild() {
    index.clear();
    for (std::size_t i = 0; i < records.size(); ++i) enter(records[i]->file.path, static_cast<int>(i));
  }

  void replaceRecords(std::vector<RecordRef> list, bool more, int fallback) {
    records = std::move(list);
    hasMore = more;
    rebuild();
    reports.push_back(fallback);
  }
  Window::AppendOutcome appendPage(const std::vector<RecordRef>& page, bool more, int ticket) {
    if (ticket != epoch) return {Window::AppendOutcome::Kind::stale, 0};
    std::vector<RecordRef> kept;
    for (const auto& r : page)
      if (!rawIndex(r->file.path)) kept.push_back(r);
    if (kept.empty() && more) return {Window::AppendOutcome::Kind::noNewRecords, 0};
    for (const auto& r : kept) {
      records.push_back(r);
      enter(r->file.path, static_cast<int>(records.size()) - 1);
    }
    hasMore = more;
    reports.push_back(0);
    return Window::AppendOutcome::appended(static_cast<int>(kept.size()));
  }
  Window::LeadingMergeOutcome mergeLeadingPage(const std::vector<RecordRef>& page, int ticket) {
    if (ticket != epoch) return {Window::LeadingMergeOutcome::Kind::stale, 0};
    std::size_t k = 0;
    while (k < page.size() && !rawIndex(page[k]->file.path)) ++k;
    if (page.empty() || k == 0) return {Window::LeadingMergeOutcome::Kind::unchanged, 0};
    if (k == page.size()) return {Window::LeadingMergeOutcome::Kind::noOverlap, 0};
    records.insert(records.begin(), page.begin(), page.begin() + static_cast<std::ptrdiff_t>(k));
    rebuild();
    reports.push_back(static_cast<int>(k));
    return Window::LeadingMergeOutcome::inserted(static_cast<int>(k));
  }
  void removeRecords(const PathSet& paths, int fallback) {
    ++epoch;
    if (paths.empty()) return;
    std::erase_if(records, [&](const RecordRef& r) { return paths.contains(r->file.path); });
    rebuild();
    reports.push_back(fallback);
  }
  void applyRecordUpdates(const PathMap<ReviewState>& states, const Window::VisibilityPredicate& visible) {
    ++epoch;
    std::optional<int> first;
    for (std::size_t i = 0; i < records.size() && !first; ++i)
      if (states.contains(records[i]->file.path)) first = static_cast<int>(i);
    for (std::size_t i = records.size(); i-- > 0;) {
      const auto state = states.find(records[i]->file.path);
      if (state == states.end()) continue;
      if (visible(state->second.favorite, state->second.deleteCandidate, records[i]->isMissing)) {
        ImageRecord changed = *records[i];
        changed.reviewState = state->second;
        records[i] = makeRecordRef(changed);
      } else {
        records.erase(records.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    rebuild();
    if (first) reports.push_back(*first);
  }
  void applyRecordUpdate(const RecordRef& r, int at, const Window::VisibilityPredicate& visible) {
    ++epoch;
    const auto loaded = find(r->file.path);
    const bool isVisible = visible(r->reviewState.favorite, r->reviewState.deleteCandidate, r->isMissing);
    if (!loaded && !isVisible) return;
    if (!loaded) {
      records.insert(records.begin() + std::clamp(at, 0, static_cast<int>(records.size())), r);
      rebuild();
    } else if (isVisible) {
      records[static_cast<std::size_t>(*loaded)] = r;
    } else {
      records.erase(records.begin() + *loaded);
      rebuild();
    }
    reports.push_back(at);
  }
  void updateThumbnailPaths(const std::vector<ThumbnailPathUpdate>& updates) {
    for (const auto& u : updates) {
      const auto at = find(u.path);
      if (!at || records[static_cast<std::size_t>(*at)]->thumbnailPath == u.thumbnailPath) continue;
      ImageRecord changed = *records[static_cast<std::size_t>(*at)];
      changed.thumbnailPath = u.thumbnailPath;
      records[static_cast<std::size_t>(*at)] = makeRecordRef(changed);
    }
  }
};

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : random_(seed) {}

  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool chance(int percent) { return below(100) < percent; }

  std::string path() { return "/library/img" + std::to_string(below(kPaths)) + ".png"; }
  RecordRef newRecord() {
    return record(
        RecordSpec{.path = path(),
                   .favorite = chance(30),
                   .deleteCandidate = chance(20),
                   .isMissing = chance(5),
                   .thumbnailPath = chance(50) ? std::optional<std::string>("/t/" + std::to_string(below(3)))
                                               : std::nullopt,
                   .prompt = chance(50) ? "a" : "b"});
  }
  std::vector<RecordRef> page(int maxSize) {
    std::vector<RecordRef> page;
    const int size = below(maxSize + 1);
    for (int i = 0; i < size; ++i) page.push_back(newRecord());
    return page;
  }
  // A page made of records already loaded (equal copies), perhaps with new ones around.
  std::vector<RecordRef> overlappingPage(const std::vector<RecordRef>& loaded) {
    std::vector<RecordRef> page;
    const int lead = below(4);
    for (int i = 0; i < lead; ++i) page.push_back(newRecord());
    if (!loaded.empty()) {
      const int start = below(static_cast<int>(loaded.size()));
      for (int i = start; i < std::min<int>(start + below(6), static_cast<int>(loaded.size())); ++i)
        page.push_back(makeRecordRef(*loaded[static_cast<std::size_t>(i)]));
    }
    return page;
  }
  PathSet paths(const std::vector<RecordRef>& loaded) {
    PathSet set;
    const int count = below(6);
    for (int i = 0; i < count; ++i) {
      if (!loaded.empty() && chance(70)) {
        set.insert(loaded[static_cast<std::size_t>(below(static_cast<int>(loaded.size())))]->file.path);
      } else {
        set.insert(path());
      }
    }
    return set;
  }
  ReviewState reviewState() { return testing::review(chance(40), chance(30)); }
  Window::VisibilityPredicate filter() {
    const bool onlyFavorites = chance(25);
    const bool onlyDeleteCandidates = chance(25);
    return [=](bool favorite, bool deleteCandidate, bool isMissing) {
      if (isMissing) return false;
      if (onlyFavorites && !favorite) return false;
      return deleteCandidate == onlyDeleteCandidates;
    };
  }

  static constexpr int kPaths = 120;

 private:
  std::mt19937_64 random_;
};

TEST(SearchResultWindowRandom, TenThousandOperationsMatchTheReference) {
  constexpr int kOperations = 10'000;
  Generator g(20'261'207);
  Window window;
  Reference reference;
  std::vector<int> reports;
  window.setRecordsChangedHandler(
      [&](const auto& change) { reports.push_back(change.fallbackSelectionIndex); });
  testing::WindowListener listener(window);
  // How often each outcome came up: the run must reach every branch to mean anything.
  std::map<std::string, int> seen;
  auto count = [&](const std::string& what) { ++seen[what]; };
  std::vector<std::pair<PathSet, PathSet>> heldLoadedPaths;  // (a copy taken, what it held)
  int copiesKnownLoaded = 0;

  for (int step = 0; step < kOperations; ++step) {
    const auto before = reference.records;
    const bool hasMoreBefore = reference.hasMore;
    bool touchesInPlace = false;  // replaces a loaded record in place: observers hear of it even if equal
    std::string name;
    listener.resetCounts();
    // Tickets: mostly current, sometimes from an earlier epoch.
    const int ticket = g.chance(85) ? reference.epoch : reference.epoch - 1 - g.below(3);
    switch (g.below(10)) {
      case 0: {
        name = "replaceRecords";
        auto list = g.chance(20) ? std::vector<RecordRef>() : g.page(40);
        if (g.chance(15)) {  // an equal list of fresh copies
          list.clear();
          for (const auto& r : reference.records) list.push_back(makeRecordRef(*r));
        }
        const bool more = g.chance(50);
        const int fallback = g.below(10) - 2;
        reference.replaceRecords(list, more, fallback);
        window.replaceRecords(list, more, fallback);
        break;
      }
      case 1:
      case 2: {
        name = "appendPage";
        const auto page = g.chance(50) ? g.page(12) : g.overlappingPage(reference.records);
        const bool more = g.chance(60);
        const auto outcome = window.appendPage(page, more, Window::LoadTicket{ticket});
        ASSERT_EQ(outcome, reference.appendPage(page, more, ticket)) << step;
        count("append " + std::to_string(static_cast<int>(outcome.kind)) +
              (outcome.count == 0 ? " empty" : ""));
        break;
      }
      case 3: {
        name = "mergeLeadingPage";
        const auto page = g.chance(30) ? g.page(8) : g.overlappingPage(reference.records);
        const auto outcome = window.mergeLeadingPage(page, Window::LoadTicket{ticket});
        ASSERT_EQ(outcome, reference.mergeLeadingPage(page, ticket)) << step;
        count("merge " + std::to_string(static_cast<int>(outcome.kind)));
        break;
      }
      case 4: {
        name = "removeRecords";
        const auto paths = g.chance(10) ? PathSet() : g.paths(reference.records);
        const int fallback = g.below(8) - 1;
        reference.removeRecords(paths, fallback);
        window.removeRecords(paths, fallback);
        break;
      }
      case 5:
      case 6: {
        name = "applyRecordUpdates";
        PathMap<ReviewState> states;
        for (const auto& path : g.paths(reference.records)) states.emplace(path, g.reviewState());
        const auto filter = g.filter();
        for (const auto& r : reference.records) touchesInPlace |= states.contains(r->file.path);
        reference.applyRecordUpdates(states, filter);
        window.applyRecordUpdates(states, filter);
        break;
      }
      case 7: {
        name = "applyRecordUpdate";
        RecordRef r = g.newRecord();
        if (!reference.records.empty() && g.chance(50)) {
          ImageRecord changed =
              *reference
                   .records[static_cast<std::size_t>(g.below(static_cast<int>(reference.records.size())))];
          changed.reviewState = g.reviewState();
          r = makeRecordRef(changed);
        }
        const int at = g.below(static_cast<int>(reference.records.size()) + 6) - 3;
        const auto filter = g.filter();
        touchesInPlace = reference.find(r->file.path).has_value();
        reference.applyRecordUpdate(r, at, filter);
        window.applyRecordUpdate(r, at, filter);
        break;
      }
      case 8: {
        name = "updateThumbnailPaths";
        std::vector<ThumbnailPathUpdate> updates;
        for (const auto& path : g.paths(reference.records))
          updates.push_back({std::string(path), "/t/" + std::to_string(g.below(3))});
        reference.updateThumbnailPaths(updates);
        window.updateThumbnailPaths(updates);
        break;
      }
      default: {
        name = "invalidateLoads";
        ++reference.epoch;
        ASSERT_EQ(window.invalidateLoads().epoch, reference.epoch);
        break;
      }
    }
    SCOPED_TRACE("step " + std::to_string(step) + ": " + name);
    ASSERT_TRUE(sameRecords(window.records(), reference.records));
    ASSERT_EQ(window.hasMoreRecords(), reference.hasMore);
    ASSERT_EQ(window.loadEpoch(), reference.epoch);
    ASSERT_EQ(reports, reference.reports);
    for (int p = 0; p < Generator::kPaths; ++p) {
      const std::string path = "/library/img" + std::to_string(p) + ".png";
      ASSERT_EQ(window.indexedPosition(path), reference.rawIndex(path)) << path;
      ASSERT_EQ(window.index(path), reference.find(path)) << path;
    }
    // The set of loaded paths select-all takes, kept through appended pages: asked for at some
    // steps only, so that it is also followed while current (and copies of it stay as they were).
    // A held copy the window vouches for is wholly loaded.
    for (const auto& [held, expected] : heldLoadedPaths) {
      if (!window.holdsEveryPathOf(held)) continue;
      ++copiesKnownLoaded;
      for (const std::string_view path : held)
        ASSERT_TRUE(reference.find(std::string(path)).has_value()) << path;
    }
    if (step % 3 == 0) {
      PathSet loaded;
      for (const RecordRef& record : reference.records) loaded.insert(record->file.path);
      ASSERT_EQ(window.loadedPaths(), loaded);
      heldLoadedPaths.emplace_back(window.loadedPaths(), loaded);
      if (heldLoadedPaths.size() > 3) heldLoadedPaths.erase(heldLoadedPaths.begin());
      for (const auto& [held, expected] : heldLoadedPaths) ASSERT_EQ(held, expected);
    }
    ASSERT_TRUE(sameRecords(listener.mirror, window.records()));
    ASSERT_FALSE(listener.pairMismatch);
    ASSERT_FALSE(listener.pairOpen);
    const bool changed = !sameRecords(before, reference.records);
    if (!changed && reference.hasMore == hasMoreBefore && !touchesInPlace) {
      ASSERT_EQ(listener.total(), 0);
    }
    if (changed) {
      ASSERT_GE(listener.recordsChanged, 1);
    }
    ASSERT_EQ(listener.hasMoreChanged, reference.hasMore != hasMoreBefore ? 1 : 0);
    std::vector<std::string> paths = testing::pathsOf(window.records());
    std::sort(paths.begin(), paths.end());
    if (std::adjacent_find(paths.begin(), paths.end()) != paths.end()) count("duplicate paths loaded");
    if (listener.structural > 0 && listener.recordsChanged == 0) count("structural without recordsChanged");
  }
  for (const char* what : {"append 0", "append 0 empty", "append 1 empty", "append 2 empty", "merge 0",
                           "merge 1", "merge 2", "merge 3", "duplicate paths loaded"})
    EXPECT_GT(seen[what], 0) << what;
  EXPECT_EQ(seen["structural without recordsChanged"], 0);
  EXPECT_GT(copiesKnownLoaded, 0);
}

// Putting many records back in one call leaves what the one-by-one calls in ascending order of
// saved index leave: records, hasMoreRecords, the index entry of every path. The batch reports once,
// with the smallest saved index that changed something, and a listener following its begin/end
// pairs ends equal to the records. Windows with a path loaded twice, entries naming one path twice,
// indexes left stale by setRecords and batches large enough to be reported as a reset all come up.
TEST(SearchResultWindowRandom, PuttingRecordsBackAtOnceMatchesOneByOne) {
  constexpr int kTrials = 3'000;
  Generator g(7'2026);
  std::map<std::string, int> seen;
  for (int trial = 0; trial < kTrials; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    Window batch;
    Window oneByOne;
    std::vector<int> batchReports;
    std::vector<int> oneByOneReports;
    batch.setRecordsChangedHandler(
        [&](const auto& change) { batchReports.push_back(change.fallbackSelectionIndex); });
    oneByOne.setRecordsChangedHandler(
        [&](const auto& change) { oneByOneReports.push_back(change.fallbackSelectionIndex); });
    const auto loaded = g.page(g.chance(20) ? 100 : 40);
    const bool more = g.chance(50);
    if (g.chance(15)) {
      // The batch works from an index setRecords left stale; the one-by-one calls from a rebuilt one.
      batch.replaceRecords(g.page(10), more, 0);
      oneByOne.replaceRecords(g.page(10), more, 0);
      batch.setRecords(loaded);
      oneByOne.setRecords(loaded);
      oneByOne.rebuildIndex();
      ++seen["stale index"];
    } else {
      batch.replaceRecords(loaded, more, 0);
      oneByOne.replaceRecords(loaded, more, 0);
    }
    batchReports.clear();
    oneByOneReports.clear();
    testing::WindowListener listener(batch);

    std::vector<std::pair<RecordRef, int>> entries;
    const int count = g.chance(10) ? g.below(120) : g.below(12);
    const int size = static_cast<int>(loaded.size());
    for (int i = 0; i < count; ++i) {
      RecordRef r = g.newRecord();
      if (!loaded.empty() && g.chance(40)) {
        ImageRecord changed = *loaded[static_cast<std::size_t>(g.below(size))];
        changed.reviewState = g.reviewState();
        r = makeRecordRef(changed);
      }
      entries.emplace_back(r, g.below(size + 8) - 3);
    }
    const auto filter = g.filter();
    const int epochBefore = batch.loadEpoch();

    batch.applyRecordUpdatesAtIndices(entries, filter);
    auto ordered = entries;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.second < b.second; });
    for (const auto& [r, at] : ordered) oneByOne.applyRecordUpdate(r, at, filter);

    ASSERT_TRUE(sameRecords(batch.records(), oneByOne.records()));
    ASSERT_EQ(batch.hasMoreRecords(), oneByOne.hasMoreRecords());
    ASSERT_EQ(batch.loadEpoch(), epochBefore + 1);
    for (int p = 0; p < Generator::kPaths; ++p) {
      const std::string path = "/library/img" + std::to_string(p) + ".png";
      ASSERT_EQ(batch.indexedPosition(path), oneByOne.indexedPosition(path)) << path;
      ASSERT_EQ(batch.index(path), oneByOne.index(path)) << path;
    }
    ASSERT_TRUE(sameRecords(listener.mirror, batch.records()));
    ASSERT_FALSE(listener.pairMismatch);
    ASSERT_FALSE(listener.pairOpen);
    ASSERT_EQ(listener.hasMoreChanged, 0);
    if (oneByOneReports.empty()) {
      ASSERT_TRUE(batchReports.empty());
      ASSERT_EQ(listener.total(), 0);
      ++seen["nothing to do"];
    } else {
      // The one-by-one reports come in ascending order: the first is the smallest.
      ASSERT_EQ(batchReports, std::vector<int>{oneByOneReports.front()});
      ASSERT_EQ(listener.recordsChanged, 1);
    }
    if (listener.structural == 1 && batch.records().size() != loaded.size()) ++seen["one range"];
    if (listener.structural > 1 && batch.records().size() != loaded.size()) ++seen["several ranges"];
    if (listener.structural > 0 && batch.records().size() == loaded.size())
      ++seen["sizes equal after a change"];
    std::map<std::string, int> paths;
    for (const auto& [r, at] : entries) ++paths[r->file.path];
    for (const auto& [path, n] : paths)
      if (n > 1) ++seen["entries naming one path twice"];
    for (const auto& [path, n] : [&] {
           std::map<std::string, int> counts;
           for (const auto& r : loaded) ++counts[r->file.path];
           return counts;
         }())
      if (n > 1) ++seen["a path loaded twice"];
    if (oneByOneReports.size() > SearchResultWindow::kMaxReportedRemovalRanges * 2) ++seen["large batch"];
  }
  for (const char* what :
       {"stale index", "nothing to do", "one range", "several ranges", "sizes equal after a change",
        "entries naming one path twice", "a path loaded twice", "large batch"})
    EXPECT_GT(seen[what], 0) << what;
}

}  // namespace
}  // namespace lorvex
