// What the review model asks of the features the store still holds: the results and the selection
// it changes, the presentation's slideshow flags, the filters' verdict, result loading and the
// Trash.
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "store/async/signal_wait.h"
#include "store/image_library_store.h"

namespace lorvex {

SearchResultWindow& ImageLibraryStore::ReviewDependentsOfStore::resultWindow() {
  return *store_.resultWindow_;
}

ResultSelection& ImageLibraryStore::ReviewDependentsOfStore::selection() {
  return *store_.selection_;
}

ImageLibraryPresentationState& ImageLibraryStore::ReviewDependentsOfStore::presentation() {
  return *store_.presentation_;
}

void ImageLibraryStore::ReviewDependentsOfStore::resultWindowRecordsDidChange(
    const SearchResultWindow::RecordsChange& change) {
  store_.results_->resultWindowRecordsDidChange(change);
}

bool ImageLibraryStore::ReviewDependentsOfStore::matchesReviewFilters(bool favorite, bool deleteCandidate,
                                                                      bool isMissing) const {
  return store_.results_->matchesReviewFilters(favorite, deleteCandidate, isMissing);
}

bool ImageLibraryStore::ReviewDependentsOfStore::onlyDeleteCandidates() const {
  return store_.filters_->onlyDeleteCandidates();
}

StoppedResultLoading ImageLibraryStore::ReviewDependentsOfStore::cancelResultLoading() {
  return store_.results_->cancelResultLoading();
}

void ImageLibraryStore::ReviewDependentsOfStore::restartResultLoading(const StoppedResultLoading& stopped) {
  store_.results_->restartResultLoading(stopped);
}

bool ImageLibraryStore::ReviewDependentsOfStore::isLoadingNextPage() const {
  return store_.results_->isLoadingNextPage();
}

bool ImageLibraryStore::ReviewDependentsOfStore::isTrashingDeleteCandidates() const {
  return store_.trash_->isTrashingDeleteCandidates();
}

QCoro::Task<void> ImageLibraryStore::ReviewDependentsOfStore::waitUntilNoPageLoadOrTrashMove(
    std::stop_token stop) {
  ImageLibraryStore& store = store_;
  auto frame = co_await store.scope_.enter();
  ResultsModel& results = *store.results_;
  TrashModel& trash = *store.trash_;
  while ((results.isLoadingNextPage() || trash.isTrashingDeleteCandidates()) && !stop.stop_requested()) {
    if (results.isLoadingNextPage()) {
      co_await nextEmission(&results, &ResultsModel::isLoadingNextPageChanged, stop);
    } else {
      co_await nextEmission(&trash, &TrashModel::isTrashingDeleteCandidatesChanged, stop);
    }
  }
}

RecordRef ImageLibraryStore::ReviewDependentsOfStore::selectedRecord() const {
  return store_.results_->selectedRecord();
}

std::vector<RecordRef> ImageLibraryStore::ReviewDependentsOfStore::selectedRecords() const {
  return store_.results_->selectedRecords();
}

bool ImageLibraryStore::ReviewDependentsOfStore::canReviewFocusedRecord() const {
  return store_.canReviewFocusedRecord();
}

std::vector<int> ImageLibraryStore::ReviewDependentsOfStore::slideshowVisibleRecordIndices() const {
  return store_.results_->slideshowVisibleRecordIndices();
}

std::optional<std::string> ImageLibraryStore::ReviewDependentsOfStore::firstWindowPath(
    const PathSet& paths) const {
  return store_.results_->firstWindowPath(paths);
}

bool ImageLibraryStore::ReviewDependentsOfStore::focusMoveNeedsNextPage(int offset) const {
  return store_.results_->focusMoveNeedsNextPage(offset);
}

void ImageLibraryStore::ReviewDependentsOfStore::moveFocus(int offset, bool wrapping) {
  store_.results_->moveFocus(offset, wrapping);
}

QCoro::Task<bool> ImageLibraryStore::ReviewDependentsOfStore::loadNextPage(std::stop_token stop) {
  return store_.results_->loadNextPage(std::move(stop));
}

}  // namespace lorvex
