// The grid's clicks and arrow keys, select-all, stepping through the results (loading further
// pages on the way) and the slideshow's open, close and play. Every write goes through the
// selection's setters, so observers hear only of real changes.
#include <algorithm>
#include <utility>

#include "store/results/results_model.h"

namespace lorvex {

std::optional<int> ResultsModel::focusedWindowIndex() const {
  const auto& primary = selection_->primaryPath();
  if (!primary) return std::nullopt;
  return resultWindow_->index(*primary);
}

const std::string& ResultsModel::windowPath(int index) const {
  return resultWindow_->records()[static_cast<std::size_t>(index)]->file.path;
}

PathSet ResultsModel::windowPathRange(int first, int last) const {
  if (first > last) std::swap(first, last);
  const auto& records = resultWindow_->records();
  // The whole window is the set the window keeps: a copy of it shares its storage.
  if (first == 0 && static_cast<std::size_t>(last) + 1 == records.size()) return resultWindow_->loadedPaths();
  const auto& hashes = resultWindow_->pathHashes();
  const bool hashed = hashes.size() == records.size();
  PathSet paths;
  paths.reserve(static_cast<std::size_t>(last - first) + 1);
  for (auto index = static_cast<std::size_t>(first); index <= static_cast<std::size_t>(last); ++index) {
    const std::string& path = records[index]->file.path;
    paths.insert(path, hashed ? static_cast<std::size_t>(hashes[index]) : PathSet::hashOf(path));
  }
  return paths;
}

bool ResultsModel::clearSelectionIfWindowIsEmpty() {
  if (!resultWindow_->records().empty()) return false;
  selection_->selectSingle(std::nullopt);
  return true;
}

void ResultsModel::toggleSelection(const std::string& path) {
  creatingThread_.check();
  PathSet selected = selection_->effectiveSelectedPaths();
  if (selected.contains(path) && selected.size() >= 2) {
    selected.erase(path);
    if (selection_->primaryPath() == path) {
      // The focus leaves with the path: the first remaining selected record takes it.
      const std::optional<std::string> focus = firstWindowPath(selected);
      selection_->setPrimaryPath(focus);
      selection_->setSelectedPaths(std::move(selected));
      selection_->setAnchorPath(focus);
    } else {
      selection_->setSelectedPaths(std::move(selected));
      selection_->setAnchorPath(selection_->primaryPath());
    }
    return;
  }
  // Adding, or a click on the only selected record, which stays selected.
  selected.insert(path);
  selection_->setPrimaryPath(path);
  selection_->setSelectedPaths(std::move(selected));
  selection_->setAnchorPath(path);
}

void ResultsModel::extendSelection(const std::string& toPath) {
  creatingThread_.check();
  if (clearSelectionIfWindowIsEmpty()) return;
  const auto target = resultWindow_->index(toPath);
  if (!target) return;
  std::string anchor = selection_->anchorPath().value_or(selection_->primaryPath().value_or(windowPath(0)));
  const auto anchorIndex = resultWindow_->index(anchor);
  if (!anchorIndex) {
    // The anchor's record is gone; a range from nowhere would be a guess.
    selection_->selectSingle(toPath);
    return;
  }
  selection_->setSelectedPaths(windowPathRange(*anchorIndex, *target));
  selection_->setPrimaryPath(toPath);
  selection_->setAnchorPath(std::move(anchor));
}

void ResultsModel::selectAllResults() {
  creatingThread_.check();
  if (clearSelectionIfWindowIsEmpty()) return;
  selection_->setSelectedPaths(windowPathRange(0, static_cast<int>(resultWindow_->records().size()) - 1));
  const std::string focus = focusedWindowIndex() ? *selection_->primaryPath() : windowPath(0);
  selection_->setPrimaryPath(focus);
  selection_->setAnchorPath(focus);
}

void ResultsModel::moveFocus(int offset, bool wrapping) {
  creatingThread_.check();
  if (clearSelectionIfWindowIsEmpty()) return;
  const int count = static_cast<int>(resultWindow_->records().size());
  const auto focused = focusedWindowIndex();
  if (!focused) {
    selection_->selectSingle(windowPath(0));
    return;
  }
  // In 64 bits: a large offset from a large position must not overflow before it is reduced.
  const std::int64_t target = static_cast<std::int64_t>(*focused) + offset;
  std::int64_t index = 0;
  if (wrapping) {
    index = target % count;
    if (index < 0) index += count;
  } else {
    index = std::clamp<std::int64_t>(target, 0, count - 1);
  }
  selection_->selectSingle(windowPath(static_cast<int>(index)));
}

bool ResultsModel::focusMoveNeedsNextPage(int offset) const {
  creatingThread_.check();
  if (!resultWindow_->hasMoreRecords()) return false;
  const auto focused = focusedWindowIndex();
  if (!focused) return false;
  return static_cast<std::int64_t>(*focused) + offset >=
         static_cast<std::int64_t>(resultWindow_->records().size());
}

QCoro::Task<bool> ResultsModel::advanceFocusLoadingMore(std::optional<std::string> fromPath,
                                                        std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (clearSelectionIfWindowIsEmpty()) co_return false;
  if (fromPath && selection_->primaryPath() != fromPath) co_return false;
  if (focusMoveNeedsNextPage(1)) {
    const bool appended = co_await loadNextPage();
    if (!appended && resultWindow_->hasMoreRecords()) co_return false;
  }
  // The user may have moved on, or the window emptied, while the page loaded.
  if (stop.stop_requested()) co_return false;
  if (fromPath && selection_->primaryPath() != fromPath) co_return false;
  if (clearSelectionIfWindowIsEmpty()) co_return false;
  moveFocus(1, true);
  co_return true;
}

std::optional<std::string> ResultsModel::firstWindowPath(const PathSet& paths) const {
  creatingThread_.check();
  if (paths.empty()) return std::nullopt;
  for (const auto& record : resultWindow_->records()) {
    if (paths.contains(record->file.path)) return record->file.path;
  }
  return std::nullopt;
}

int ResultsModel::gridTargetIndex(int from, GridMoveDirection direction, int columns) const {
  creatingThread_.check();
  const int count = static_cast<int>(resultWindow_->records().size());
  const int step = std::max(columns, 1);
  switch (direction) {
    case GridMoveDirection::left:
      return std::max(from - 1, 0);
    case GridMoveDirection::right:
      return std::min(from + 1, count - 1);
    case GridMoveDirection::up:
      return std::max(from - step, 0);
    case GridMoveDirection::down:
      return std::min(from + step, count - 1);
  }
  return from;
}

void ResultsModel::moveFocusInGrid(GridMoveDirection direction, int columns) {
  creatingThread_.check();
  if (clearSelectionIfWindowIsEmpty()) return;
  const auto focused = focusedWindowIndex();
  selection_->selectSingle(windowPath(focused ? gridTargetIndex(*focused, direction, columns) : 0));
}

void ResultsModel::extendSelectionInGrid(GridMoveDirection direction, int columns) {
  creatingThread_.check();
  if (clearSelectionIfWindowIsEmpty()) return;
  const auto focused = focusedWindowIndex();
  if (!focused) {
    selection_->selectSingle(windowPath(0));
    return;
  }
  const int target = gridTargetIndex(*focused, direction, columns);
  // Unlike a click, a stale anchor falls back to the focus: the keyboard always has one.
  std::optional<int> anchorIndex;
  if (const auto& anchor = selection_->anchorPath()) anchorIndex = resultWindow_->index(*anchor);
  const int from = anchorIndex.value_or(*focused);
  const std::string anchor = windowPath(from);
  selection_->setSelectedPaths(windowPathRange(from, target));
  selection_->setPrimaryPath(windowPath(target));
  selection_->setAnchorPath(anchor);
}

void ResultsModel::startSlideshow() {
  creatingThread_.check();
  if (resultWindow_->records().empty()) {
    presentation_.setIsSlideshowPresented(false);
    presentation_.setIsSlideshowPlaying(false);
    selection_->selectSingle(std::nullopt);
    return;
  }
  if (!focusedWindowIndex()) selection_->selectSingle(windowPath(0));
  presentation_.setIsSlideshowPresented(true);
  presentation_.setIsSlideshowPlaying(presentation_.isSlideshowPresented());
}

void ResultsModel::dismissSlideshow() {
  creatingThread_.check();
  presentation_.setIsSlideshowPresented(false);
}

void ResultsModel::toggleSlideshowPlayback() {
  creatingThread_.check();
  if (!presentation_.isSlideshowPresented()) return;
  presentation_.setIsSlideshowPlaying(!presentation_.isSlideshowPlaying());
}

}  // namespace lorvex
