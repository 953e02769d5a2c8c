// What the library model asks of the features the store still holds: the results, the tag
// suggestions, the thumbnails and the Trash.
#include <optional>
#include <string>

#include "store/image_library_store.h"

namespace lorvex {

QCoro::Task<void> ImageLibraryStore::LibraryDependentsOfStore::reloadResults() {
  return store_.results_->refreshResults(ResultsModel::kFirstPageLimit, false);
}

QCoro::Task<void> ImageLibraryStore::LibraryDependentsOfStore::reloadResults(int limit) {
  return store_.results_->refreshResults(limit, false);
}

QCoro::Task<void> ImageLibraryStore::LibraryDependentsOfStore::refreshResultWindowAfterSync() {
  return store_.results_->refreshResultWindowAfterSync();
}

QCoro::Task<void> ImageLibraryStore::LibraryDependentsOfStore::reloadTagSuggestions() {
  const std::optional<std::string> noSearchText;
  return store_.suggestions_->loadTagSuggestions(noSearchText);
}

void ImageLibraryStore::LibraryDependentsOfStore::startThumbnailGeneration() {
  store_.results_->startBackgroundThumbnailGeneration();
}

void ImageLibraryStore::LibraryDependentsOfStore::followRelocatedRecords(
    const std::vector<RecordRelocation>& relocations) {
  store_.results_->followRelocatedRecords(relocations);
  store_.review_->followRelocatedRecords(relocations);
  store_.trash_->followRelocatedRecords(relocations);
}

bool ImageLibraryStore::LibraryDependentsOfStore::refreshResultsDuringIndexing() {
  return store_.results_->scheduleIndexingResultRefresh();
}

bool ImageLibraryStore::LibraryDependentsOfStore::isTrashingDeleteCandidates() const {
  return store_.trash_->isTrashingDeleteCandidates();
}

}  // namespace lorvex
