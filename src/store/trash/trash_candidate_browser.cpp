#include "store/trash/trash_candidate_browser.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "store/observed_value.h"

namespace lorvex {

namespace {

PathSet pathsOf(const std::vector<RecordRef>& records) {
  PathSet paths;
  paths.reserve(records.size());
  for (const RecordRef& record : records) paths.insert(record->file.path);
  return paths;
}

}  // namespace

TrashCandidateBrowser::TrashCandidateBrowser(QObject* parent) : QObject(parent) {}

const std::vector<RecordRef>& TrashCandidateBrowser::records() const {
  creatingThread_.check();
  return records_;
}

void TrashCandidateBrowser::setRecords(std::vector<RecordRef> records) {
  creatingThread_.check();
  if (sameRecords(records_, records)) {
    records_ = std::move(records);
    return;
  }
  records_ = std::move(records);
  Q_EMIT recordsChanged();
}

const PathSet& TrashCandidateBrowser::selectedPaths() const {
  creatingThread_.check();
  return selectedPaths_;
}

void TrashCandidateBrowser::setSelectedPaths(PathSet paths) {
  creatingThread_.check();
  assignObserved(selectedPaths_, std::move(paths), this, &TrashCandidateBrowser::selectedPathsChanged);
}

bool TrashCandidateBrowser::hasMoreRecords() const {
  creatingThread_.check();
  return hasMoreRecords_;
}

void TrashCandidateBrowser::setHasMoreRecords(bool hasMoreRecords) {
  creatingThread_.check();
  assignObserved(hasMoreRecords_, hasMoreRecords, this, &TrashCandidateBrowser::hasMoreRecordsChanged);
}

bool TrashCandidateBrowser::isReloading() const {
  creatingThread_.check();
  return isReloading_;
}

void TrashCandidateBrowser::setIsReloading(bool isReloading) {
  creatingThread_.check();
  assignObserved(isReloading_, isReloading, this, &TrashCandidateBrowser::isReloadingChanged);
}

bool TrashCandidateBrowser::isLoadingMore() const {
  creatingThread_.check();
  return isLoadingMore_;
}

void TrashCandidateBrowser::setIsLoadingMore(bool isLoadingMore) {
  creatingThread_.check();
  assignObserved(isLoadingMore_, isLoadingMore, this, &TrashCandidateBrowser::isLoadingMoreChanged);
}

int TrashCandidateBrowser::loadEpoch() const {
  creatingThread_.check();
  return loadEpoch_;
}

bool TrashCandidateBrowser::isTrashable(const ImageRecord& record) {
  return record.reviewState.deleteCandidate && !record.isMissing;
}

TrashCandidateBrowser::LoadTicket TrashCandidateBrowser::beginReload() {
  creatingThread_.check();
  cancelLoading();
  setIsReloading(true);
  setHasMoreRecords(false);
  return LoadTicket{loadEpoch_};
}

TrashCandidateBrowser::LoadTicket TrashCandidateBrowser::beginLoadMore() {
  creatingThread_.check();
  relocatedDuringLoad_.clear();
  setIsLoadingMore(true);
  return LoadTicket{loadEpoch_};
}

bool TrashCandidateBrowser::finishReload(std::vector<RecordRef> records, bool hasMoreRecords,
                                         LoadTicket ticket) {
  creatingThread_.check();
  if (ticket.epoch != loadEpoch_) return false;
  setRecords(followRelocatedDuringLoad(std::move(records)));
  setHasMoreRecords(hasMoreRecords);
  pruneSelection();
  setIsReloading(false);
  return true;
}

TrashCandidateBrowser::LoadMoreOutcome TrashCandidateBrowser::finishLoadMore(
    const std::vector<RecordRef>& records, bool hasMoreRecords, LoadTicket ticket) {
  creatingThread_.check();
  if (ticket.epoch != loadEpoch_) return LoadMoreOutcome::stale;
  // A page that overlaps the loaded list (the list shifted underneath) adds only its new records.
  const PathSet loaded = pathsOf(records_);
  std::vector<RecordRef> fresh;
  for (const RecordRef& record : followRelocatedDuringLoad(records)) {
    if (!loaded.contains(record->file.path)) fresh.push_back(record);
  }
  if (fresh.empty() && hasMoreRecords) {
    setIsLoadingMore(false);
    return LoadMoreOutcome::noProgress;
  }
  records_.insert(records_.end(), fresh.begin(), fresh.end());
  Q_EMIT recordsChanged();
  setHasMoreRecords(hasMoreRecords);
  pruneSelection();
  setIsLoadingMore(false);
  return LoadMoreOutcome::applied;
}

void TrashCandidateBrowser::toggleSelection(const std::string& path) {
  creatingThread_.check();
  const bool loaded = std::any_of(records_.begin(), records_.end(),
                                  [&](const RecordRef& record) { return record->file.path == path; });
  if (!loaded) return;
  if (!selectedPaths_.erase(path)) selectedPaths_.insert(path);
  Q_EMIT selectedPathsChanged();
}

void TrashCandidateBrowser::selectAllRecords() {
  creatingThread_.check();
  PathSet paths;
  for (const RecordRef& record : records_) {
    if (isTrashable(*record)) paths.insert(record->file.path);
  }
  setSelectedPaths(std::move(paths));
}

void TrashCandidateBrowser::cancelLoading() {
  creatingThread_.check();
  ++loadEpoch_;
  relocatedDuringLoad_.clear();
  setIsReloading(false);
  setIsLoadingMore(false);
}

void TrashCandidateBrowser::removeRecords(const PathSet& paths) {
  creatingThread_.check();
  cancelLoading();
  if (paths.empty()) return;
  std::erase_if(records_, [&](const RecordRef& record) { return paths.contains(record->file.path); });
  Q_EMIT recordsChanged();
  pruneSelection();
}

void TrashCandidateBrowser::selectLoadedPaths(const PathSet& paths) {
  creatingThread_.check();
  if (paths.empty()) return;
  const PathSet loaded = pathsOf(records_);
  PathSet kept;
  for (const std::string_view path : paths) {
    if (loaded.contains(path)) kept.insert(path);
  }
  if (kept.empty()) {
    pruneSelection();
  } else {
    setSelectedPaths(std::move(kept));
  }
}

void TrashCandidateBrowser::pruneSelection() {
  creatingThread_.check();
  PathSet trashable;
  for (const RecordRef& record : records_) {
    if (isTrashable(*record)) trashable.insert(record->file.path);
  }
  PathSet kept;
  for (const std::string_view path : selectedPaths_) {
    if (trashable.contains(path)) kept.insert(path);
  }
  setSelectedPaths(std::move(kept));
}

std::optional<std::vector<RecordRef>> TrashCandidateBrowser::followed(const std::vector<RecordRef>& records,
                                                                      const RelocatedPaths& relocated,
                                                                      const PathSet& selected,
                                                                      PathSet* followedSelection) {
  PathSet destinations;
  for (const RecordRef& record : records) {
    if (const auto to = relocated.destination(record->file.path)) destinations.insert(*to);
  }
  if (destinations.empty()) return std::nullopt;
  std::vector<RecordRef> kept;
  kept.reserve(records.size());
  PathSet listed;
  for (const RecordRef& record : records) {
    const std::string& path = record->file.path;
    const std::optional<std::string_view> to = relocated.destination(path);
    // A record that stayed where a moved one now is describes a file that is no longer there.
    if (!to && destinations.contains(path)) continue;
    RecordRef moved = to ? relocatedRecord(*record, *to) : record;
    if (!listed.insert(moved->file.path)) continue;
    if (followedSelection != nullptr && selected.contains(path)) followedSelection->insert(moved->file.path);
    kept.push_back(std::move(moved));
  }
  return kept;
}

void TrashCandidateBrowser::followRelocatedRecords(const std::vector<RecordRelocation>& relocations) {
  creatingThread_.check();
  if (relocations.empty()) return;
  if (isReloading_ || isLoadingMore_) relocatedDuringLoad_.push_back(relocations);
  PathSet selected;
  std::optional<std::vector<RecordRef>> kept =
      followed(records_, RelocatedPaths(relocations), selectedPaths_, &selected);
  if (!kept) return;
  setRecords(std::move(*kept));
  setSelectedPaths(std::move(selected));
}

std::vector<RecordRef> TrashCandidateBrowser::followRelocatedDuringLoad(std::vector<RecordRef> records) {
  for (const std::vector<RecordRelocation>& relocations : std::exchange(relocatedDuringLoad_, {})) {
    if (auto kept = followed(records, RelocatedPaths(relocations))) records = std::move(*kept);
  }
  return records;
}

RecordRef TrashCandidateBrowser::relocatedRecord(const ImageRecord& record, std::string_view path) {
  ImageRecord moved = record;
  moved.file.path = std::string(path);
  moved.thumbnailPath.reset();
  return makeRecordRef(std::move(moved));
}

}  // namespace lorvex
