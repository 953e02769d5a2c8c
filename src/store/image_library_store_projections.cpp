// What the views read from the store: focus and selection, the slideshow's range and position
// text, the sidebar's saved tags; the one signal that tells the views to read them (and the trash
// and suggestions models' projections) again; and the start of flows nobody waits for.
#include <QByteArray>
#include <QMetaObject>
#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "store/image_library_store.h"

namespace lorvex {

namespace {

std::string fileURL(const std::string& path) {
  // Encoded from the bytes, not through QString: a file name that is not UTF-8 keeps its bytes.
  const QByteArray encoded =
      QByteArray(path.data(), static_cast<qsizetype>(path.size())).toPercentEncoding("/");
  return "file://" + encoded.toStdString();
}

}  // namespace

RecordRef ImageLibraryStore::selectedRecord() const {
  creatingThread_.check();
  const auto& primary = selection_->primaryPath();
  if (!primary) return nullptr;
  const auto index = resultWindow_->index(*primary);
  if (!index) return nullptr;
  return resultWindow_->records()[static_cast<std::size_t>(*index)];
}

std::vector<RecordRef> ImageLibraryStore::selectedRecords() const {
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

std::optional<std::string> ImageLibraryStore::selectedRecordFileURL() const {
  const RecordRef record = selectedRecord();
  if (record == nullptr) return std::nullopt;
  return fileURL(record->file.path);
}

std::optional<std::string> ImageLibraryStore::focusPathKeepingSelection(const std::string& path) {
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

bool ImageLibraryStore::canReviewFocusedRecord() const {
  return selectedRecord() != nullptr && !isLoadingNextPage_ && !trash_->isTrashingDeleteCandidates() &&
         !presentation_->isTagAdditionPopoverPresented() &&
         !presentation_->isModelSelectionPopoverPresented();
}

bool ImageLibraryStore::canReviewFocusedRecordInSlideshow() const {
  if (!canReviewFocusedRecord()) return false;
  return !presentation_->isSlideshowPresented() || slideshowVisibleRecordIndices().size() < 2;
}

std::vector<int> ImageLibraryStore::slideshowVisibleRecordIndices() const {
  creatingThread_.check();
  std::vector<int> indices;
  const auto focused = focusedWindowIndex();
  if (!focused) return indices;
  const int count = static_cast<int>(resultWindow_->records().size());
  const int visible = std::min(count, presentation_->slideshowVisibleCount());
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

std::string ImageLibraryStore::slideshowPositionText() const {
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

std::vector<std::string> ImageLibraryStore::visibleSavedFilterTags() const {
  creatingThread_.check();
  const std::vector<std::string>& saved = filters_->savedFilterTags();
  if (presentation_->isFilterTagListExpanded() || saved.size() <= kCollapsedSavedFilterTagCount) return saved;
  return {saved.begin(), saved.begin() + kCollapsedSavedFilterTagCount};
}

void ImageLibraryStore::connectDerivedValueInputs() {
  const auto schedule = [this] { scheduleDerivedValuesChanged(); };
  for (const auto changed : {
           &ImageLibraryStore::needsLiveServicePreparationChanged,
           &ImageLibraryStore::isLoadingNextPageChanged,
       }) {
    connect(this, changed, this, schedule);
  }
  connect(filters_.get(), &FiltersModel::savedFilterTagsChanged, this, schedule);
  connect(resultWindow_.get(), &SearchResultWindow::recordsChanged, this, schedule);
  connect(resultWindow_.get(), &SearchResultWindow::hasMoreRecordsChanged, this, schedule);
  for (const auto changed : {&ResultSelection::primaryPathChanged, &ResultSelection::selectedPathsChanged,
                             &ResultSelection::anchorPathChanged}) {
    connect(selection_.get(), changed, this, schedule);
  }
  for (const auto changed : {
           &ImageLibraryPresentationState::isFilterTagListExpandedChanged,
           &ImageLibraryPresentationState::isTagAdditionPopoverPresentedChanged,
           &ImageLibraryPresentationState::isModelSelectionPopoverPresentedChanged,
           &ImageLibraryPresentationState::isDeleteCandidateTrashReviewPresentedChanged,
           &ImageLibraryPresentationState::isSlideshowPresentedChanged,
           &ImageLibraryPresentationState::slideshowVisibleCountChanged,
       }) {
    connect(presentation_.get(), changed, this, schedule);
  }
}

void ImageLibraryStore::scheduleDerivedValuesChanged() {
  creatingThread_.check();
  if (isDerivedValuesChangeQueued_) return;
  isDerivedValuesChangeQueued_ = true;
  // Queued behind this turn's work: however many inputs one operation changes, the views read
  // the projections once, after every field signal of the turn.
  QMetaObject::invokeMethod(
      this,
      [this] {
        isDerivedValuesChangeQueued_ = false;
        Q_EMIT derivedValuesChanged();
      },
      Qt::QueuedConnection);
}

}  // namespace lorvex
