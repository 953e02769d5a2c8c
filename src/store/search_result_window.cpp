#include "store/search_result_window.h"

#include "store/compaction.h"

#include <algorithm>
#include <iterator>
#include <utility>

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

std::optional<int> SearchResultWindow::indexedPosition(std::string_view path) const {
  creatingThread_.check();
  return indexByPath_.find(path);
}

std::optional<int> SearchResultWindow::index(std::string_view path) const {
  creatingThread_.check();
  const auto position = indexByPath_.find(path);
  if (!position || *position < 0 || static_cast<std::size_t>(*position) >= records_.size()) return std::nullopt;
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
  for (std::size_t i = 0; i < records_.size(); ++i) pathHashes_[i] = PathIndex::hashOf(records_[i]->file.path);
}

void SearchResultWindow::rebuildIndex() {
  creatingThread_.check();
  indexByPath_.clear(records_.size());
  // The slots are written at random places: fetching a few ahead hides most of the misses.
  constexpr std::size_t kAhead = 16;
  const std::size_t count = records_.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) indexByPath_.prefetch(pathHashes_[i + kAhead]);
    indexByPath_.assign(records_[i]->file.path, pathHashes_[i], static_cast<int>(i));
  }
  indexKeyOwners_.clear();
  indexMatchesRecords_ = true;
}

bool SearchResultWindow::indexIsExact() const {
  return indexMatchesRecords_ && indexByPath_.size() == records_.size();
}

void SearchResultWindow::report(int fallbackSelectionIndex) {
  if (onRecordsChanged_) onRecordsChanged_(RecordsChange{fallbackSelectionIndex});
}

void SearchResultWindow::replaceRecords(std::vector<RecordRef> records, bool hasMoreRecords,
                                        int fallbackSelectionIndex) {
  creatingThread_.check();
  setRecords(std::move(records));
  setHasMoreRecords(hasMoreRecords);
  rebuildIndex();
  report(fallbackSelectionIndex);
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
    for (std::size_t i : kept) {
      records_.push_back(page[i]);
      pathHashes_.push_back(hashes[i]);
    }
    for (int i = first; i <= last; ++i) {
      const auto at = static_cast<std::size_t>(i);
      indexByPath_.assign(records_[at]->file.path, pathHashes_[at], i);
    }
    Q_EMIT recordsInserted(first, last);
    Q_EMIT recordsChanged();
  }
  setHasMoreRecords(hasMoreRecords);
  report(0);
  return AppendOutcome::appended(static_cast<int>(kept.size()));
}

SearchResultWindow::LeadingMergeOutcome SearchResultWindow::mergeLeadingPage(const std::vector<RecordRef>& page,
                                                                             LoadTicket ticket) {
  creatingThread_.check();
  if (ticket.epoch != loadEpoch_) return {LeadingMergeOutcome::Kind::stale, 0};
  const auto overlap = std::find_if(page.begin(), page.end(),
                                    [this](const RecordRef& record) { return indexByPath_.contains(record->file.path); });
  if (page.empty() || overlap == page.begin()) return {LeadingMergeOutcome::Kind::unchanged, 0};
  if (overlap == page.end()) return {LeadingMergeOutcome::Kind::noOverlap, 0};
  const int count = static_cast<int>(overlap - page.begin());
  Q_EMIT recordsAboutToBeInserted(0, count - 1);
  records_.insert(records_.begin(), page.begin(), overlap);
  std::vector<std::uint64_t> hashes;
  for (auto record = page.begin(); record != overlap; ++record) hashes.push_back(PathIndex::hashOf((*record)->file.path));
  pathHashes_.insert(pathHashes_.begin(), hashes.begin(), hashes.end());
  rebuildIndex();
  Q_EMIT recordsInserted(0, count - 1);
  Q_EMIT recordsChanged();
  report(count);
  return LeadingMergeOutcome::inserted(count);
}

namespace {

// Positions (ascending) of the loaded records whose path is among `paths`.
template <typename Paths>
std::vector<int> loadedPositions(const std::vector<RecordRef>& records, const PathIndex& index, bool indexIsExact,
                                 const Paths& paths) {
  std::vector<int> positions;
  if (indexIsExact && paths.size() < records.size()) {
    // One position per path: looked up, not searched for.
    for (const auto& entry : paths) {
      const std::string& path = [&]() -> const std::string& {
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
    std::vector<std::pair<int, int>> runs;
    forEachRun(positions, [&](int first, int last) { runs.emplace_back(first, last); });
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
      Q_EMIT recordsAboutToBeRemoved(run->first, run->second);
      Q_EMIT recordsRemoved(run->first, run->second);
    }
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

void SearchResultWindow::applyRecordUpdate(RecordRef record, int index, const VisibilityPredicate& isVisible) {
  creatingThread_.check();
  ++loadEpoch_;
  const auto loaded = this->index(record->file.path);
  const bool visible = isVisible(record->reviewState.favorite, record->reviewState.deleteCandidate, record->isMissing);
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
