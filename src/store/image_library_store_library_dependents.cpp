// What the library model asks of the features the store still holds: the results, the tag
// suggestions, the thumbnails and the Trash.
#include <optional>
#include <string>

#include "store/image_library_store.h"

namespace lorvex {

QCoro::Task<void> ImageLibraryStore::LibraryDependentsOfStore::reloadResults() {
  return store_.refreshResults(kFirstPageLimit, false);
}

QCoro::Task<void> ImageLibraryStore::LibraryDependentsOfStore::reloadResults(int limit) {
  return store_.refreshResults(limit, false);
}

QCoro::Task<void> ImageLibraryStore::LibraryDependentsOfStore::refreshResultWindowAfterSync() {
  return store_.refreshResultWindowAfterSync();
}

QCoro::Task<void> ImageLibraryStore::LibraryDependentsOfStore::reloadTagSuggestions() {
  const std::optional<std::string> noSearchText;
  return store_.suggestions_->loadTagSuggestions(noSearchText);
}

void ImageLibraryStore::LibraryDependentsOfStore::startThumbnailGeneration() {
  store_.startBackgroundThumbnailGeneration();
}

bool ImageLibraryStore::LibraryDependentsOfStore::refreshResultsDuringIndexing() {
  const auto mode = store_.needsFullWindowResultRefresh_ ? BackgroundResultRefreshMode::fullWindow
                                                         : BackgroundResultRefreshMode::leadingPage;
  if (!store_.scheduleBackgroundResultRefresh(mode)) return false;
  store_.setNeedsFullWindowResultRefresh(false);
  return true;
}

bool ImageLibraryStore::LibraryDependentsOfStore::isTrashingDeleteCandidates() const {
  return store_.trash_->isTrashingDeleteCandidates();
}

}  // namespace lorvex
