// What the trash model asks of the state the store still holds: the search roots and the sort the
// review lists candidates by, the library's readiness, the results the trashed images leave,
// folder monitoring, the delete-candidate undo history and banner, and the sidebar's folder list.
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "store/async/scope_exit.h"
#include "store/async/signal_wait.h"
#include "store/image_library_store.h"
#include "store/results/record_search.h"
#include "store/results/stopped_result_loading.h"

namespace lorvex {

TrashReviewQueryScope ImageLibraryStore::TrashDependentsOfStore::trashReviewQueryScope() const {
  return TrashReviewQueryScope{store_.searchRootPaths(), store_.filters_->searchSort()};
}

QCoro::Task<TrashDependents::FetchedRecords> ImageLibraryStore::TrashDependentsOfStore::fetchRecords(
    ImageSearchQuery query, std::stop_token stop) {
  auto frame = co_await store_.context_->scope().enter();
  lorvex::FetchedRecords fetched = co_await lorvex::fetchRecords(*store_.context_, std::move(query), stop);
  co_return TrashDependents::FetchedRecords{std::move(fetched.records), fetched.failure};
}

bool ImageLibraryStore::TrashDependentsOfStore::isLibraryUnprepared() const {
  return store_.context().needsLiveServicePreparation() || store_.library_->isPreparingLibrary();
}

bool ImageLibraryStore::TrashDependentsOfStore::isLibraryIndexing() const {
  return store_.library_->isIndexing();
}

bool ImageLibraryStore::TrashDependentsOfStore::isLibrarySyncInProgress() const {
  return store_.library_->isLibrarySyncInProgress();
}

QCoro::Task<void> ImageLibraryStore::TrashDependentsOfStore::waitForLibrarySyncToEnd(std::stop_token stop) {
  auto frame = co_await store_.context_->scope().enter();
  store_.creatingThread_.check();
  LibraryModel* library = store_.library_.get();
  while (library->isLibrarySyncInProgress() && !stop.stop_requested()) {
    co_await nextEmission(library, &LibraryModel::isLibrarySyncInProgressChanged, stop);
  }
}

std::optional<int> ImageLibraryStore::TrashDependentsOfStore::resultIndex(const std::string& path) const {
  return store_.results_->resultWindow().index(path);
}

void ImageLibraryStore::TrashDependentsOfStore::removeTrashedRecordsFromResults(const PathSet& trashed,
                                                                                int fallbackSelectionIndex) {
  store_.creatingThread_.check();
  // A page requested before the move still holds the trashed records; it must not bring them
  // back. What was stopped starts again once they are gone.
  ResultsModel* results = store_.results_.get();
  const StoppedResultLoading stopped = results->cancelResultLoading();
  const ScopeExit restart(store_.context_->scope().link(),
                          [results, stopped] { results->restartResultLoading(stopped); });
  store_.results_->resultWindow().removeRecords(trashed, fallbackSelectionIndex);
}

void ImageLibraryStore::TrashDependentsOfStore::ignoreTrashedPathsInFolderMonitoring(
    const std::vector<std::string>& trashedPaths) {
  store_.library_->backgroundSync().ignoreTrashedFileRemovals(trashedPaths);
}

void ImageLibraryStore::TrashDependentsOfStore::rereadChangedFiles(const std::vector<std::string>& paths) {
  store_.library_->backgroundSync().rereadChangedFiles(paths);
}

void ImageLibraryStore::TrashDependentsOfStore::clearDeleteCandidateUndoStack() {
  store_.review_->clearDeleteCandidateUndoStack();
}

void ImageLibraryStore::TrashDependentsOfStore::dismissDeleteCandidateFeedback() {
  store_.review_->dismissDeleteCandidateFeedback();
}

QCoro::Task<void> ImageLibraryStore::TrashDependentsOfStore::reloadFolderSummaries() {
  return store_.library_->loadRegisteredFolderSummaries();
}

}  // namespace lorvex
