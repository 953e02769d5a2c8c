// Bringing the library up to date on the user's request: every registered folder, or one folder
// from its sidebar row. Neither touches folder monitoring.
#include <exception>
#include <stop_token>
#include <utility>

#include "store/async/run_blocking.h"
#include "store/async/scope_exit.h"
#include "store/image_library_store.h"
#include "store/library_failure.h"

namespace lorvex {

QCoro::Task<bool> ImageLibraryStore::syncRegisteredFolders() {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (isLibrarySyncInProgress_ || isTrashingDeleteCandidates_) co_return false;
  setIsLibrarySyncInProgress(true);
  setIsIndexing(true);
  const ScopeExit finish(scope_.link(), [this] {
    setIsIndexing(false);
    setIsLibrarySyncInProgress(false);
  });

  const auto service = service_;
  auto restore = [service] { return service->restoreFolderAccess(); };
  const std::stop_token noStop;
  std::vector<std::string> roots;
  std::exception_ptr failure;
  try {
    roots = co_await runBlocking(*userInitiatedPool_, noStop, restore);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    setErrorMessage(failureDescription(failure, "The registered folders could not be opened."));
    co_return false;
  }
  if (roots.empty()) {
    // Nothing to scan is no failure: the sidebar still shows each folder's state.
    co_await reloadAfterScan();
    co_return false;
  }

  const std::uint64_t checkpoint = service->currentFolderEventID();
  const IndexingOperation operation = [service, roots, checkpoint](
                                          const ImageLibraryServicing::ProgressHandler& progress,
                                          std::stop_token stop) -> std::optional<ImageLibraryScanSummary> {
    ImageLibraryScanSummary summary = service->scanLibrary(roots, progress, stop);
    service->storeFolderEventID(roots, checkpoint);
    return summary;
  };
  const IndexingPriority priority = IndexingPriority::userInitiated;
  std::optional<ImageLibraryScanSummary> summary;
  try {
    summary = co_await runIndexingOperation(priority, operation);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    setErrorMessage(failureDescription(failure, "The registered folders could not be synced."));
    co_return false;
  }
  if (!summary) co_return false;

  recordFinishedScan(roots, std::move(*summary),
                     ImageLibraryScanDiagnosticContext{.source = ImageLibraryScanDiagnosticSource::manualSync,
                                                       .rootPaths = roots,
                                                       .changedPathCount = std::nullopt,
                                                       .completedAt = clock_->now()});
  co_await reloadAfterScan();
  startBackgroundThumbnailGeneration();
  co_return true;
}

QCoro::Task<bool> ImageLibraryStore::syncRegisteredFolder(std::string path) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (isLibrarySyncInProgress_ || isTrashingDeleteCandidates_) co_return false;
  setIsLibrarySyncInProgress(true);
  setIsIndexing(true);
  const ScopeExit finish(scope_.link(), [this] {
    setIsIndexing(false);
    setIsLibrarySyncInProgress(false);
  });

  const auto service = service_;
  const std::vector<std::string> roots{path};
  const std::uint64_t checkpoint = service->currentFolderEventID();
  const IndexingOperation operation = [service, path, roots, checkpoint](
                                          const ImageLibraryServicing::ProgressHandler& progress,
                                          std::stop_token stop) -> std::optional<ImageLibraryScanSummary> {
    ImageLibraryScanSummary summary = service->syncRegisteredFolder(path, progress, stop);
    service->storeFolderEventID(roots, checkpoint);
    return summary;
  };
  const IndexingPriority priority = IndexingPriority::userInitiated;
  std::optional<ImageLibraryScanSummary> summary;
  std::exception_ptr failure;
  try {
    summary = co_await runIndexingOperation(priority, operation);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    // The folder may have become unavailable: the sidebar shows its new state. The reload clears
    // the error message when it succeeds, so the failure is shown after it.
    co_await loadRegisteredFolderSummaries();
    setErrorMessage(failureDescription(failure, "The folder could not be synced."));
    co_return false;
  }
  if (!summary) co_return false;

  // The path as the sidebar passed it: the trashed files were recorded under the same spelling.
  recordFinishedScan(roots, std::move(*summary),
                     ImageLibraryScanDiagnosticContext{.source = ImageLibraryScanDiagnosticSource::singleFolderSync,
                                                       .rootPaths = roots,
                                                       .changedPathCount = std::nullopt,
                                                       .completedAt = clock_->now()});
  co_await reloadAfterScan();
  startBackgroundThumbnailGeneration();
  co_return true;
}

void ImageLibraryStore::recordFinishedScan(const std::vector<std::string>& scannedRoots, ImageLibraryScanSummary summary,
                                           ImageLibraryScanDiagnosticContext context) {
  // The scan saw the current state of these folders, so the changes of files the program trashed
  // there need no more ignoring.
  auto planner = backgroundSyncPlanner_;
  planner.clearLocallyHandledTrashPaths(scannedRoots);
  setBackgroundSyncPlanner(std::move(planner));
  setLastScanSummary(std::move(summary));
  setLastScanDiagnosticContext(std::move(context));
}

QCoro::Task<void> ImageLibraryStore::reloadAfterScan() {
  auto frame = co_await scope_.enter();
  co_await loadRegisteredFolderSummaries();
  co_await refreshResults(kFirstPageLimit, false);
  const std::optional<std::string> allTags;
  co_await loadTagSuggestions(allTags);
}

}  // namespace lorvex
