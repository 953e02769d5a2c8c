#include "store/results/search_result_window.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <iterator>
#include <unordered_map>
#include <utility>

#include "store/compaction.h"

namespace lorvex {

namespace {

template <typename Each>
void forEachRun(const std::vector<int>& positions, Each each) {
  std::size_t start = 0;
  for (std::size_t i = 1; i <= positions.size(); ++i) {
    if (i == positions.size() || positions[i] != positions[i - 1] + 1) {
      each(positions[start], positions[i - 1]);
      start = i;
    }
  }
}

std::size_t runCount(const std::vector<int>& positions) {
  std::size_t runs = 0;
  forEachRun(positions, [&](int, int) { ++runs; });
  return runs;
}

}  // namespace

SearchResultWindow::SearchResultWindow(QObject* parent) : QObject(parent) {}

const std::vector<RecordRef>& SearchResultWindow::records() const {
  creatingThread_.check();
  return records_;
}

void SearchResultWindow::setRecords(std::vector<RecordRef> records) {
  creatingThread_.check();
  // The index may still name paths inside the records being replaced: they stay alive until the
  // next rebuild.
  auto retire = [this] {
    indexKeyOwners_.insert(indexKeyOwners_.end(), std::make_move_iterator(records_.begin()),
                           std::make_move_iterator(records_.end()));
  };
  if (sameRecordLists(records_, records)) {
    retire();
    records_ = std::move(records);
    return;
  }
  Q_EMIT recordsAboutToBeReset();
  retire();
  records_ = std::move(records);
  setHashesFromRecords();
  indexMatchesRecords_ = false;
  forgetLoadedPaths();
  Q_EMIT recordsReset();
  Q_EMIT recordsChanged();
}

bool SearchResultWindow::hasMoreRecords() const {
  creatingThread_.check();
  return hasMoreRecords_;
}

void SearchResultWindow::setHasMoreRecords(bool hasMoreRecords) {
  creatingThread_.check();
  if (hasMoreRecords_ == hasMoreRecords) return;
  hasMoreRecords_ = hasMoreRecords;
  Q_EMIT hasMoreRecordsChanged(hasMoreRecords_);
}

int SearchResultWindow::loadEpoch() const {
  creatingThread_.check();
  return loadEpoch_;
}

void SearchResultWindow::setRecordsChangedHandler(RecordsChangedHandler handler) {
  creatingThread_.check();
  onRecordsChanged_ = std::move(handler);
}

void SearchResultWindow::setRetiredRecordsHandler(RetiredRecordsHandler handler) {
  creatingThread_.check();
  onRecordsRetired_ = std::move(handler);
}

std::optional<int> SearchResultWindow::indexedPosition(std::string_view path) const {
  creatingThread_.check();
  return indexByPath_.find(path);
}

std::optional<int> SearchResultWindow::index(std::string_view path) const {
  creatingThread_.check();
  const auto position = indexByPath_.find(path);
  if (!position || *position < 0 || static_cast<std::size_t>(*position) >= records_.size())
    return std::nullopt;
  if (records_[static_cast<std::size_t>(*position)]->file.path != path) return std::nullopt;
  return position;
}

SearchResultWindow::LoadTicket SearchResultWindow::invalidateLoads() {
  creatingThread_.check();
  return LoadTicket{++loadEpoch_};
}

SearchResultWindow::LoadTicket SearchResultWindow::currentLoadTicket() const {
  creatingThread_.check();
  return LoadTicket{loadEpoch_};
}

void SearchResultWindow::setHashesFromRecords() {
  pathHashes_.resize(records_.size());
  for (std::size_t i = 0; i < records_.size(); ++i)
    pathHashes_[i] = PathIndex::hashOf(records_[i]->file.path);
}

void SearchResultWindow::forgetLoadedPaths() {
  loadedPaths_.clear();
  loadedBeforeAppends_.clear();
  loadedPathsCurrent_ = false;
}

bool SearchResultWindow::holdsEveryPathOf(const PathSet& paths) const {
  creatingThread_.check();
  return loadedPathsCurrent_ &&
         (paths.sharesStorageWith(loadedPaths_) || paths.sharesStorageWith(loadedBeforeAppends_));
}

const PathSet& SearchResultWindow::loadedPaths() const {
  creatingThread_.check();
  if (loadedPathsCurrent_) return loadedPaths_;
  // Every record and its path lie somewhere else in memory: one after another, the waits for them
  // were most of a build. The records are asked for a few steps ahead and their paths'
  // characters a few steps behind that, so the waits overlap; the paths are not hashed again.
  constexpr std::size_t kRecordsAhead = 16;
  constexpr std::size_t kPathsAhead = 8;
  const std::size_t count = records_.size();
  std::size_t characters = 0;
  for (std::size_t index = 0; index < count; ++index) {
    if (index + kRecordsAhead < count) __builtin_prefetch(records_[index + kRecordsAhead].get());
    characters += records_[index]->file.path.size();
  }
  const bool hashed = pathHashes_.size() == count;
  PathSet paths;
  paths.reserve(count, characters);
  for (std::size_t index = 0; index < count; ++index) {
    if (index + kRecordsAhead < count) __builtin_prefetch(records_[index + kRecordsAhead].get());
    if (index + kPathsAhead < count) __builtin_prefetch(records_[index + kPathsAhead]->file.path.data());
    const std::string& path = records_[index]->file.path;
    paths.insert(path, hashed ? static_cast<std::size_t>(pathHashes_[index]) : PathSet::hashOf(path));
  }
  loadedPaths_ = std::move(paths);
  loadedPathsCurrent_ = true;
  return loadedPaths_;
}

void SearchResultWindow::rebuildIndex() {
  creatingThread_.check();
  // Every change of the records but an appended page ends here or in setRecords.
  forgetLoadedPaths();
  indexByPath_.clear(records_.size());
  // The slots are written at random places: fetching a few ahead hides most of the misses.
  constexpr std::size_t kAhead = 16;
  const std::size_t count = records_.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) indexByPath_.prefetch(pathHashes_[i + kAhead]);
    indexByPath_.assign(records_[i]->file.path, pathHashes_[i], static_cast<int>(i));
  }
  if (onRecordsRetired_ && !indexKeyOwners_.empty()) {
    onRecordsRetired_(std::exchange(indexKeyOwners_, {}));
  } else {
    indexKeyOwners_.clear();
  }
  indexMatchesRecords_ = true;
}

bool SearchResultWindow::indexIsExact() const {
  return indexMatchesRecords_ && indexByPath_.size() == records_.size();
}

void SearchResultWindow::report(int fallbackSelectionIndex, bool addsRecords, bool replacesRecords) {
  if (onRecordsChanged_)
    onRecordsChanged_(RecordsChange{fallbackSelectionIndex, addsRecords, replacesRecords});
}

void SearchResultWindow::replaceRecords(std::vector<RecordRef> records, bool hasMoreRecords,
                                        int fallbackSelectionIndex) {
  creatingThread_.check();
  setRecords(std::move(records));
  setHasMoreRecords(hasMoreRecords);
  rebuildIndex();
  // New results take their set of paths at once, so that the pages appended to them keep it
  // current and select-all never has to build it.
  loadedPaths();
  report(fallbackSelectionIndex, true, true);
}

SearchResultWindow::AppendOutcome SearchResultWindow::appendPage(const std::vector<RecordRef>& page,
                                                                 bool hasMoreRecords, LoadTicket ticket) {
  creatingThread_.check();
  if (ticket.epoch != loadEpoch_) return {AppendOutcome::Kind::stale, 0};
  // Judged against the index as it was before this page: two records of the page with one new
  // path are both kept. The page's slots are fetched together first, so that a large window's
  // cache misses overlap instead of coming one after another.
  std::vector<std::uint64_t> hashes;
  hashes.reserve(page.size());
  for (const RecordRef& record : page) {
    hashes.push_back(PathIndex::hashOf(record->file.path));
    indexByPath_.prefetch(hashes.back());
  }
  std::vector<std::size_t> kept;
  for (std::size_t i = 0; i < page.size(); ++i) {
    if (!indexByPath_.contains(page[i]->file.path, hashes[i])) kept.push_back(i);
  }
  if (kept.empty() && hasMoreRecords) return {AppendOutcome::Kind::noNewRecords, 0};
  if (!kept.empty()) {
    const int first = static_cast<int>(records_.size());
    const int last = first + static_cast<int>(kept.size()) - 1;
    Q_EMIT recordsAboutToBeInserted(first, last);
    if (loadedPathsCurrent_) {
      // A copy held elsewhere (the selection after select-all) stays known to be loaded; the set
      // it shares is kept only while someone holds it.
      if (!loadedBeforeAppends_.hasSharedStorage()) loadedBeforeAppends_.clear();
      if (loadedPaths_.hasSharedStorage() && !loadedPaths_.sharesStorageWith(loadedBeforeAppends_)) {
        loadedBeforeAppends_ = loadedPaths_;
      }
    }
    for (std::size_t i : kept) {
      records_.push_back(page[i]);
      pathHashes_.push_back(hashes[i]);
    }
    for (int i = first; i <= last; ++i) {
      const auto at = static_cast<std::size_t>(i);
      indexByPath_.assign(records_[at]->file.path, pathHashes_[at], i);
      if (loadedPathsCurrent_) {
        loadedPaths_.insert(records_[at]->file.path, static_cast<std::size_t>(pathHashes_[at]));
      }
    }
    Q_EMIT recordsInserted(first, last);
    Q_EMIT recordsChanged();
  }
  setHasMoreRecords(hasMoreRecords);
  report(0, true);
  return AppendOutcome::appended(static_cast<int>(kept.size()));
}

SearchResultWindow::LeadingMergeOutcome SearchResultWindow::mergeLeadingPage(
    const std::vector<RecordRef>& page, LoadTicket ticket) {
  creatingThread_.check();
  if (ticket.epoch != loadEpoch_) return {LeadingMergeOutcome::Kind::stale, 0};
  const auto overlap = std::find_if(page.begin(), page.end(), [this](const RecordRef& record) {
    return indexByPath_.contains(record->file.path);
  });
  if (page.empty() || overlap == page.begin()) return {LeadingMergeOutcome::Kind::unchanged, 0};
  if (overlap == page.end()) return {LeadingMergeOutcome::Kind::noOverlap, 0};
  const int count = static_cast<int>(overlap - page.begin());
  Q_EMIT recordsAboutToBeInserted(0, count - 1);
  records_.insert(records_.begin(), page.begin(), overlap);
  std::vector<std::uint64_t> hashes;
  for (auto record = page.begin(); record != overlap; ++record)
    hashes.push_back(PathIndex::hashOf((*record)->file.path));
  pathHashes_.insert(pathHashes_.begin(), hashes.begin(), hashes.end());
  rebuildIndex();
  Q_EMIT recordsInserted(0, count - 1);
  Q_EMIT recordsChanged();
  report(count, true);
  return LeadingMergeOutcome::inserted(count);
}

namespace {

// Positions (ascending) of the loaded records whose path is among `paths`.
template <typename Paths>
std::vector<int> loadedPositions(const std::vector<RecordRef>& records, const PathIndex& index,
                                 bool indexIsExact, const Paths& paths) {
  std::vector<int> positions;
  if (indexIsExact && paths.size() < records.size()) {
    // One position per path: looked up, not searched for.
    for (const auto& entry : paths) {
      const std::string_view path = [&]() -> std::string_view {
        if constexpr (requires { entry.first; }) {
          return entry.first;
        } else {
          return entry;
        }
      }();
      if (const auto position = index.find(path)) positions.push_back(*position);
    }
    std::sort(positions.begin(), positions.end());
  } else {
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (paths.contains(records[i]->file.path)) positions.push_back(static_cast<int>(i));
    }
  }
  return positions;
}

}  // namespace

void SearchResultWindow::replaceAt(std::size_t position, RecordRef record) {
  RecordRef old = std::exchange(records_[position], std::move(record));
  // The index's key may live in the old record: point it at the new one before the old one goes.
  indexByPath_.repoint(records_[position]->file.path);
}

void SearchResultWindow::reportUpdatedRuns(const std::vector<int>& positions) {
  forEachRun(positions, [this](int first, int last) { Q_EMIT recordsUpdated(first, last); });
}

void SearchResultWindow::reportRemovedRuns(const std::vector<int>& positions) {
  std::vector<std::pair<int, int>> runs;
  forEachRun(positions, [&](int first, int last) { runs.emplace_back(first, last); });
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    Q_EMIT recordsAboutToBeRemoved(run->first, run->second);
    Q_EMIT recordsRemoved(run->first, run->second);
  }
}

void SearchResultWindow::removeAt(const std::vector<int>& positions) {
  if (positions.empty()) return;
  const bool asPositionList = runCount(positions) > kMaxReportedRemovalRanges;
  if (asPositionList) Q_EMIT recordsAboutToBeRemovedAt(positions);
  removePositions(records_, positions);
  removePositions(pathHashes_, positions);
  rebuildIndex();
  if (asPositionList) {
    Q_EMIT recordsRemovedAt(positions);
  } else {
    reportRemovedRuns(positions);
  }
  Q_EMIT recordsChanged();
}

void SearchResultWindow::removeRecords(const PathSet& paths, int fallbackSelectionIndex) {
  creatingThread_.check();
  ++loadEpoch_;
  if (paths.empty()) return;
  const std::vector<int> positions = loadedPositions(records_, indexByPath_, indexIsExact(), paths);
  if (!positions.empty()) {
    removeAt(positions);
  } else if (!indexMatchesRecords_) {
    rebuildIndex();
  }
  report(fallbackSelectionIndex);
}

void SearchResultWindow::applyRecordUpdates(const PathMap<ReviewState>& reviewStates,
                                            const VisibilityPredicate& isVisible) {
  creatingThread_.check();
  ++loadEpoch_;
  const std::vector<int> positions = loadedPositions(records_, indexByPath_, indexIsExact(), reviewStates);
  if (positions.empty()) {
    if (!indexMatchesRecords_) rebuildIndex();
    return;
  }
  const int firstAffected = positions.front();
  std::vector<int> updated;
  std::vector<int> removed;
  for (int position : positions) {
    const ImageRecord& record = *records_[static_cast<std::size_t>(position)];
    const ReviewState& state = reviewStates.find(record.file.path)->second;
    if (isVisible(state.favorite, state.deleteCandidate, record.isMissing)) {
      ImageRecord changed = record;
      changed.reviewState = state;
      replaceAt(static_cast<std::size_t>(position), makeRecordRef(std::move(changed)));
      updated.push_back(position);
    } else {
      removed.push_back(position);
    }
  }
  // Updated rows are reported at their places, before the removal moves them.
  reportUpdatedRuns(updated);
  if (!removed.empty()) {
    removeAt(removed);
  } else {
    if (!indexMatchesRecords_) rebuildIndex();
    Q_EMIT recordsChanged();
  }
  report(firstAffected);
}

void SearchResultWindow::applyRecordUpdate(RecordRef record, int index,
                                           const VisibilityPredicate& isVisible) {
  creatingThread_.check();
  ++loadEpoch_;
  const auto loaded = this->index(record->file.path);
  const bool visible =
      isVisible(record->reviewState.favorite, record->reviewState.deleteCandidate, record->isMissing);
  if (!loaded && !visible) return;
  if (!loaded) {
    const int at = std::clamp(index, 0, static_cast<int>(records_.size()));
    Q_EMIT recordsAboutToBeInserted(at, at);
    pathHashes_.insert(pathHashes_.begin() + at, PathIndex::hashOf(record->file.path));
    records_.insert(records_.begin() + at, std::move(record));
    rebuildIndex();
    Q_EMIT recordsInserted(at, at);
    Q_EMIT recordsChanged();
  } else if (visible) {
    replaceAt(static_cast<std::size_t>(*loaded), std::move(record));
    Q_EMIT recordsUpdated(*loaded, *loaded);
    Q_EMIT recordsChanged();
  } else {
    removeAt({*loaded});
  }
  report(index);
}

namespace {

// Counts at positions 0..size-1 with prefix sums and their inverse in logarithmic time.
class CountTree {
 public:
  explicit CountTree(const std::vector<int>& counts) : tree_(counts.size() + 1, 0) {
    for (std::size_t i = 1; i < tree_.size(); ++i) {
      tree_[i] += counts[i - 1];
      const std::size_t parent = i + (i & (~i + 1));
      if (parent < tree_.size()) tree_[parent] += tree_[i];
    }
  }
  void add(std::size_t position, int delta) {
    for (std::size_t i = position + 1; i < tree_.size(); i += i & (~i + 1)) tree_[i] += delta;
  }
  int sumBefore(std::size_t position) const {
    int sum = 0;
    for (std::size_t i = position; i > 0; i -= i & (~i + 1)) sum += tree_[i];
    return sum;
  }
  // The largest g whose counts before it sum to at most `target` (size when all of them do).
  std::size_t lastStartAtMost(int target) const {
    std::size_t position = 0;
    for (std::size_t step = std::bit_floor(tree_.size() - 1); step > 0; step >>= 1) {
      if (position + step < tree_.size() && tree_[position + step] <= target) {
        position += step;
        target -= tree_[position];
      }
    }
    return position;
  }

 private:
  std::vector<int> tree_;
};

// Where a run of one-by-one record updates would leave each record, worked out without moving
// any: the loaded records keep their positions (removed or replaced), and each record put back is
// placed in the gap before a loaded record (gap g: before record g; gap n: at the end), in order
// within its gap. A tree over the gaps and loaded records counts the live ones, so a position in
// the list as it would be at that moment is found in logarithmic time.
class RestorePlan {
 public:
  explicit RestorePlan(std::size_t loadedCount)
      : removed(loadedCount, false),
        live_(static_cast<int>(loadedCount)),
        tree_(initialCounts(loadedCount)) {}

  struct Item {
    bool loaded = true;  // a record loaded before; otherwise one put back
    int id = 0;          // its position before, or its entry in `restored`
  };
  struct Restored {
    RecordRef record;
    int gap = 0;
    bool live = true;
  };
  struct Gap {
    std::vector<int> restored;  // in list order, removed ones included
    int live = 0;
  };

  // Puts the record where position `at` (clamped) of the list as it is now would be.
  Item insert(RecordRef record, int at) {
    const int position = std::clamp(at, 0, live_);
    const auto gapIndex = std::min(tree_.lastStartAtMost(position), removed.size());
    const int before = prefixBefore(gapIndex);
    Gap& gap = gaps[static_cast<int>(gapIndex)];
    // After the (position - before)th live record of the gap. Records put back in ascending order
    // mostly land at the end of their gap, which takes no search.
    const int liveBefore = position - before;
    std::size_t slot = 0;
    if (liveBefore == gap.live) {
      slot = gap.restored.size();
    } else {
      int seen = 0;
      while (seen < liveBefore || !restored[static_cast<std::size_t>(gap.restored[slot])].live) {
        if (restored[static_cast<std::size_t>(gap.restored[slot])].live) ++seen;
        ++slot;
      }
    }
    const int id = static_cast<int>(restored.size());
    restored.push_back({std::move(record), static_cast<int>(gapIndex), true});
    gap.restored.insert(gap.restored.begin() + static_cast<std::ptrdiff_t>(slot), id);
    ++gap.live;
    tree_.add(gapIndex, 1);
    ++live_;
    return {false, id};
  }

  void remove(Item item) {
    if (item.loaded) {
      removed[static_cast<std::size_t>(item.id)] = true;
      tree_.add(static_cast<std::size_t>(item.id), -1);
    } else {
      Restored& entry = restored[static_cast<std::size_t>(item.id)];
      entry.live = false;
      --gaps[entry.gap].live;
      tree_.add(static_cast<std::size_t>(entry.gap), -1);
    }
    --live_;
  }

  // Whether `a` comes before `b` in the list.
  bool before(Item a, Item b) const {
    const auto key = [this](Item item) -> std::pair<int, int> {
      if (item.loaded) return {item.id, INT_MAX};
      const int gap = restored[static_cast<std::size_t>(item.id)].gap;
      const auto& order = gaps.at(gap).restored;
      return {gap, static_cast<int>(std::find(order.begin(), order.end(), item.id) - order.begin())};
    };
    return key(a) < key(b);
  }

  std::vector<bool> removed;                    // by position before
  std::unordered_map<int, RecordRef> replaced;  // by position before
  std::vector<Restored> restored;
  std::unordered_map<int, Gap> gaps;

 private:
  static std::vector<int> initialCounts(std::size_t loadedCount) {
    std::vector<int> counts(loadedCount + 1, 1);
    counts.back() = 0;
    return counts;
  }
  // Live records before gap g's records put back: the loaded ones before it and every earlier gap's.
  int prefixBefore(std::size_t gap) const { return tree_.sumBefore(gap); }

  int live_;
  CountTree tree_;
};

}  // namespace

void SearchResultWindow::applyRecordUpdatesAtIndices(
    std::vector<std::pair<RecordRef, int>> recordsAtSavedIndex, const VisibilityPredicate& isVisible) {
  creatingThread_.check();
  ++loadEpoch_;
  std::stable_sort(recordsAtSavedIndex.begin(), recordsAtSavedIndex.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });
  using Item = RestorePlan::Item;
  // The live records of each path named, in no particular order.
  PathMap<std::vector<Item>> occurrences;
  if (indexIsExact()) {
    // Every loaded path once: the index finds it.
    for (const auto& [record, savedIndex] : recordsAtSavedIndex) {
      const auto [entry, added] = occurrences.try_emplace(record->file.path);
      if (!added) continue;
      if (const auto position = indexByPath_.find(record->file.path))
        entry->second.push_back({true, *position});
    }
  } else {
    for (const auto& [record, savedIndex] : recordsAtSavedIndex) occurrences.try_emplace(record->file.path);
    for (std::size_t i = 0; i < records_.size(); ++i) {
      const auto entry = occurrences.find(records_[i]->file.path);
      if (entry != occurrences.end()) entry->second.push_back({true, static_cast<int>(i)});
    }
  }

  RestorePlan plan(records_.size());
  std::optional<int> fallbackSelectionIndex;
  for (auto& [record, savedIndex] : recordsAtSavedIndex) {
    const bool visible =
        isVisible(record->reviewState.favorite, record->reviewState.deleteCandidate, record->isMissing);
    std::vector<Item>& live = occurrences.find(record->file.path)->second;
    if (live.empty() && !visible) continue;
    if (!fallbackSelectionIndex) fallbackSelectionIndex = savedIndex;  // the entries are in ascending order
    if (live.empty()) {
      live.push_back(plan.insert(std::move(record), savedIndex));
      continue;
    }
    // A path loaded twice: the one-by-one update finds its last position.
    const auto last = std::max_element(live.begin(), live.end(),
                                       [&](const Item& a, const Item& b) { return plan.before(a, b); });
    if (!visible) {
      plan.remove(*last);
      live.erase(last);
    } else if (last->loaded) {
      plan.replaced[last->id] = std::move(record);
    } else {
      plan.restored[static_cast<std::size_t>(last->id)].record = std::move(record);
    }
  }
  if (!fallbackSelectionIndex) {
    if (!indexMatchesRecords_) rebuildIndex();
    return;
  }

  // The list afterwards, with the positions (before) removed and the positions (after) put back
  // and replaced.
  std::vector<int> removedPositions;
  std::vector<int> insertedPositions;
  std::vector<int> updatedPositions;
  std::vector<RecordRef> next;
  std::vector<std::uint64_t> nextHashes;
  next.reserve(plan.restored.size() + records_.size());
  nextHashes.reserve(next.capacity());
  const auto emitGap = [&](int gap) {
    const auto found = plan.gaps.find(gap);
    if (found == plan.gaps.end()) return;
    for (int id : found->second.restored) {
      RestorePlan::Restored& restored = plan.restored[static_cast<std::size_t>(id)];
      if (!restored.live) continue;
      insertedPositions.push_back(static_cast<int>(next.size()));
      nextHashes.push_back(PathIndex::hashOf(restored.record->file.path));
      next.push_back(std::move(restored.record));
    }
  };
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (!plan.gaps.empty()) emitGap(static_cast<int>(i));
    if (plan.removed[i]) {
      removedPositions.push_back(static_cast<int>(i));
      continue;
    }
    const auto replacement =
        plan.replaced.empty() ? plan.replaced.end() : plan.replaced.find(static_cast<int>(i));
    if (replacement != plan.replaced.end()) {
      updatedPositions.push_back(static_cast<int>(next.size()));
      next.push_back(std::move(replacement->second));
    } else {
      next.push_back(records_[i]);
    }
    nextHashes.push_back(pathHashes_[i]);
  }
  emitGap(static_cast<int>(records_.size()));

  if (removedPositions.empty() && insertedPositions.empty()) {
    // Only replacements: in place, the index keeps its positions.
    for (int updated : updatedPositions) {
      replaceAt(static_cast<std::size_t>(updated), std::move(next[static_cast<std::size_t>(updated)]));
    }
    reportUpdatedRuns(updatedPositions);
    if (!indexMatchesRecords_) rebuildIndex();
    Q_EMIT recordsChanged();
    report(*fallbackSelectionIndex);
    return;
  }

  const bool asReset = runCount(removedPositions) + runCount(insertedPositions) > kMaxReportedRemovalRanges;
  if (asReset) Q_EMIT recordsAboutToBeReset();
  // The index's keys live in the old records: they stay alive until the rebuild is done.
  std::vector<RecordRef> previous = std::exchange(records_, std::move(next));
  pathHashes_ = std::move(nextHashes);
  rebuildIndex();
  previous.clear();
  if (asReset) {
    Q_EMIT recordsReset();
  } else {
    // Removed ranges last first, at their places before; then the ranges put back first first, at
    // their places after (each lies after the ones before it); then the replaced rows.
    reportRemovedRuns(removedPositions);
    forEachRun(insertedPositions, [this](int first, int last) {
      Q_EMIT recordsAboutToBeInserted(first, last);
      Q_EMIT recordsInserted(first, last);
    });
    reportUpdatedRuns(updatedPositions);
  }
  Q_EMIT recordsChanged();
  report(*fallbackSelectionIndex);
}

void SearchResultWindow::updateThumbnailPaths(const std::vector<ThumbnailPathUpdate>& updates) {
  creatingThread_.check();
  bool changed = false;
  for (const ThumbnailPathUpdate& update : updates) {
    const auto position = index(update.path);
    if (!position) continue;
    const ImageRecord& record = *records_[static_cast<std::size_t>(*position)];
    if (record.thumbnailPath == update.thumbnailPath) continue;
    ImageRecord withThumbnail = record;
    withThumbnail.thumbnailPath = update.thumbnailPath;
    replaceAt(static_cast<std::size_t>(*position), makeRecordRef(std::move(withThumbnail)));
    Q_EMIT recordsUpdated(*position, *position);
    changed = true;
  }
  if (changed) Q_EMIT recordsChanged();
}

}  // namespace lorvex
