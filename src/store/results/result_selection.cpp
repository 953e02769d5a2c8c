#include "store/results/result_selection.h"

#include <algorithm>
#include <string>
#include <vector>

#include "store/observed_value.h"
#include "store/results/search_result_window.h"

namespace lorvex {

ResultSelection::ResultSelection(QObject* parent) : QObject(parent) {}

const std::optional<std::string>& ResultSelection::primaryPath() const {
  creatingThread_.check();
  return primaryPath_;
}

void ResultSelection::setPrimaryPath(std::optional<std::string> path) {
  creatingThread_.check();
  assignObserved(primaryPath_, std::move(path), this, &ResultSelection::primaryPathChanged);
}

const PathSet& ResultSelection::selectedPaths() const {
  creatingThread_.check();
  return selectedPaths_;
}

void ResultSelection::setSelectedPaths(PathSet paths) {
  creatingThread_.check();
  assignObserved(selectedPaths_, std::move(paths), this, &ResultSelection::selectedPathsChanged);
}

const std::optional<std::string>& ResultSelection::anchorPath() const {
  creatingThread_.check();
  return anchorPath_;
}

void ResultSelection::setAnchorPath(std::optional<std::string> path) {
  creatingThread_.check();
  assignObserved(anchorPath_, std::move(path), this, &ResultSelection::anchorPathChanged);
}

PathSet ResultSelection::effectiveSelectedPaths() const {
  creatingThread_.check();
  if (!selectedPaths_.empty()) return selectedPaths_;
  if (primaryPath_) return PathSet{*primaryPath_};
  return {};
}

void ResultSelection::selectSingle(const std::optional<std::string>& path) {
  creatingThread_.check();
  setPrimaryPath(path);
  setSelectedPaths(path ? PathSet{*path} : PathSet{});
  setAnchorPath(path);
}

std::optional<bool> ResultSelection::reconcile(const SearchResultWindow& window, int fallbackIndex) {
  creatingThread_.check();
  // A selection of every loaded result, after more pages came: nothing to look up.
  if (primaryPath_ && window.index(*primaryPath_) && (!anchorPath_ || window.index(*anchorPath_)) &&
      window.holdsEveryPathOf(selectedPaths_)) {
    return false;
  }
  // Most changes keep every selected record: the selection is then kept as it is (a copy shares
  // its storage), and only what is gone is erased from it.
  PathSet kept = effectiveSelectedPaths();
  std::vector<std::string> gone;
  for (const std::string_view path : kept) {
    if (!window.index(path)) gone.emplace_back(path);
  }
  for (const std::string& path : gone) kept.erase(path);
  if (primaryPath_ && kept.contains(*primaryPath_)) {
    std::optional<std::string> anchor =
        anchorPath_ && kept.contains(*anchorPath_) ? anchorPath_ : primaryPath_;
    setSelectedPaths(std::move(kept));
    setAnchorPath(std::move(anchor));
    return false;
  }
  const auto& records = window.records();
  if (records.empty()) {
    selectSingle(std::nullopt);
    return std::nullopt;
  }
  if (!kept.empty()) {
    // The focus is gone but other selected records remain: the first of them in display order.
    const auto first = std::find_if(records.begin(), records.end(), [&](const RecordRef& record) {
      return kept.contains(record->file.path);
    });
    if (first != records.end()) {
      const std::string path = (*first)->file.path;
      setPrimaryPath(path);
      setSelectedPaths(std::move(kept));
      setAnchorPath(path);
      return true;
    }
  }
  const int last = static_cast<int>(records.size()) - 1;
  selectSingle(records[static_cast<std::size_t>(std::clamp(fallbackIndex, 0, last))]->file.path);
  return true;
}

ResultSelection::Snapshot ResultSelection::snapshot() const {
  creatingThread_.check();
  return Snapshot{primaryPath_, selectedPaths_, anchorPath_};
}

}  // namespace lorvex
