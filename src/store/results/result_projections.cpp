// What the views read of the results: the focused and selected records, the focused file's URL,
// focusing a path within the selection, and the slideshow's range and position text.
#include <QByteArray>
#include <algorithm>
#include <string>
#include <utility>

#include "store/results/results_model.h"

namespace lorvex {

namespace {

std::string fileURL(const std::string& path) {
  // Encoded from the bytes, not through QString: a file name that is not UTF-8 keeps its bytes.
  const QByteArray encoded =
      QByteArray(path.data(), static_cast<qsizetype>(path.size())).toPercentEncoding("/");
  return "file://" + encoded.toStdString();
}

}  // namespace

RecordRef ResultsModel::selectedRecord() const {
  creatingThread_.check();
  const auto& primary = selection_->primaryPath();
  if (!primary) return nullptr;
  const auto index = resultWindow_->index(*primary);
  if (!index) return nullptr;
  return resultWindow_->records()[static_cast<std::size_t>(*index)];
}

std::vector<RecordRef> ResultsModel::selectedRecords() const {
  creatingThread_.check();
  // Looked up in the path index rather than by walking the window: a selection is small, a window
  // may hold a hundred thousand records.
  std::vector<int> positions;
  for (const auto& path : selection_->effectiveSelectedPaths()) {
    if (const auto index = resultWindow_->index(path)) positions.push_back(*index);
  }
  std::sort(positions.begin(), positions.end());
  std::vector<RecordRef> result;
  result.reserve(positions.size());
  for (const int position : positions)
    result.push_back(resultWindow_->records()[static_cast<std::size_t>(position)]);
  return result;
}

std::optional<std::string> ResultsModel::selectedRecordFileURL() const {
  const RecordRef record = selectedRecord();
  if (record == nullptr) return std::nullopt;
  return fileURL(record->file.path);
}

std::optional<std::string> ResultsModel::focusPathKeepingSelection(const std::string& path) {
  creatingThread_.check();
  if (!resultWindow_->index(path)) return std::nullopt;
  PathSet selected = selection_->effectiveSelectedPaths();
  if (!selected.contains(path)) {
    selection_->setPrimaryPath(path);
    selection_->setSelectedPaths(PathSet{path});
    selection_->setAnchorPath(path);
    return selectedRecordFileURL();
  }
  const auto& anchor = selection_->anchorPath();
  const auto& primary = selection_->primaryPath();
  std::string newAnchor = path;
  if (anchor && selected.contains(*anchor)) {
    newAnchor = *anchor;
  } else if (primary && selected.contains(*primary)) {
    newAnchor = *primary;
  }
  selection_->setPrimaryPath(path);
  selection_->setSelectedPaths(std::move(selected));
  selection_->setAnchorPath(std::move(newAnchor));
  return selectedRecordFileURL();
}

std::vector<int> ResultsModel::slideshowVisibleRecordIndices() const {
  creatingThread_.check();
  std::vector<int> indices;
  const auto focused = focusedWindowIndex();
  if (!focused) return indices;
  const int count = static_cast<int>(resultWindow_->records().size());
  const int visible = std::min(count, presentation_.slideshowVisibleCount());
  const bool hasMore = resultWindow_->hasMoreRecords();
  for (int k = 0; k < visible; ++k) {
    const int index = *focused + k;
    if (index < count) {
      indices.push_back(index);
    } else if (!hasMore) {
      // The list is complete: the range continues from its start.
      indices.push_back(index % count);
    }
    // With more to load, positions past the loaded end stay empty until their page arrives.
  }
  return indices;
}

std::string ResultsModel::slideshowPositionText() const {
  creatingThread_.check();
  const std::size_t count = resultWindow_->records().size();
  const auto focused = focusedWindowIndex();
  if (!focused) return count == 0 ? std::string("0 / 0") : "1 / " + std::to_string(count);
  const std::string total = std::to_string(count) + (resultWindow_->hasMoreRecords() ? "+" : "");
  const std::vector<int> indices = slideshowVisibleRecordIndices();
  if (indices.size() >= 2) {
    return std::to_string(indices.front() + 1) + "-" + std::to_string(indices.back() + 1) + " / " + total;
  }
  return std::to_string(*focused + 1) + " / " + total;
}

}  // namespace lorvex
