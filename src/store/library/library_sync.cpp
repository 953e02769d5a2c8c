// Bringing the library up to date on the user's request: every registered folder, or one folder
// from its sidebar row. Neither touches folder monitoring. Also the scan path the registration
// shares with them.
#include <exception>
#include <stop_token>
#include <utility>

#include "store/async/run_blocking.h"
#include "store/library/library_model.h"

namespace lorvex {

QCoro::Task<bool> LibraryModel::syncRegisteredFolders() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (isLibrarySyncInProgress_ || dependents_.isTrashingDeleteCandidates()) co_return false;
  const auto libraryWork = beginRequestedScan();

  const auto service = context_.service();
  auto restore = [service] { return service->restoreFolderAccess(); };
  const std::stop_token noStop;
  std::vector<std::string> roots;
  std::exception_ptr failure;
  try {
    roots = co_await runBlocking(context_.userInitiatedPool(), noStop, restore);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    context_.setErrorMessage(failure);
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
    // Whatever the failure count: the failed files were looked at and are in the summary.
    service->storeFolderEventID(roots, checkpoint);
    return summary;
  };
  const auto outcome =
      co_await runRequestedScan(operation, roots, ImageLibraryScanDiagnosticSource::manualSync);
  if (outcome.failure) context_.setErrorMessage(outcome.failure);
  co_return outcome.recorded;
}

QCoro::Task<bool> LibraryModel::syncRegisteredFolder(std::string path) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (isLibrarySyncInProgress_ || dependents_.isTrashingDeleteCandidates()) co_return false;
  const auto libraryWork = beginRequestedScan();

  const auto service = context_.service();
  // The path as the sidebar passed it: the trashed files were recorded under the same spelling.
  const std::vector<std::string> roots{path};
  const std::uint64_t checkpoint = service->currentFolderEventID();
  const IndexingOperation operation = [service, path, roots, checkpoint](
                                          const ImageLibraryServicing::ProgressHandler& progress,
                                          std::stop_token stop) -> std::optional<ImageLibraryScanSummary> {
    ImageLibraryScanSummary summary = service->syncRegisteredFolder(path, progress, stop);
    service->storeFolderEventID(roots, checkpoint);
    return summary;
  };
  const auto outcome =
      co_await runRequestedScan(operation, roots, ImageLibraryScanDiagnosticSource::singleFolderSync);
  if (outcome.failure) {
    // The folder may have become unavailable: the sidebar shows its new state. The reload clears
    // the error message when it succeeds, so the failure is shown after it.
    co_await loadRegisteredFolderSummaries();
    context_.setErrorMessage(outcome.failure);
  }
  co_return outcome.recorded;
}

ScopeExit<std::function<void()>> LibraryModel::beginRequestedScan() {
  setIsLibrarySyncInProgress(true);
  setIsIndexing(true);
  return ScopeExit<std::function<void()>>(context_.scope().link(), [this] {
    setIsIndexing(false);
    setIsLibrarySyncInProgress(false);
  });
}

QCoro::Task<LibraryModel::RequestedScanOutcome> LibraryModel::runRequestedScan(
    IndexingOperation operation, std::vector<std::string> roots, ImageLibraryScanDiagnosticSource source) {
  auto frame = co_await context_.scope().enter();
  const IndexingPriority priority = IndexingPriority::userInitiated;
  RequestedScanOutcome outcome;
  std::optional<ImageLibraryScanSummary> summary;
  try {
    summary = co_await runIndexingOperation(priority, operation);
  } catch (...) {
    outcome.failure = std::current_exception();
  }
  if (!summary) co_return outcome;

  // The scan saw the current state of these folders, so the changes of files the program trashed
  // there need no more ignoring.
  backgroundSync_->clearLocallyHandledTrashPaths(roots);
  setLastScanSummary(std::move(summary));
  setLastScanDiagnosticContext(ImageLibraryScanDiagnosticContext{.source = source,
                                                                 .rootPaths = std::move(roots),
                                                                 .changedPathCount = std::nullopt,
                                                                 .completedAt = context_.clock().now()});
  outcome.recorded = true;
  co_await reloadAfterScan();
  dependents_.startThumbnailGeneration();
  co_return outcome;
}

QCoro::Task<void> LibraryModel::reloadAfterScan() {
  auto frame = co_await context_.scope().enter();
  co_await loadRegisteredFolderSummaries();
  co_await dependents_.reloadResults();
  co_await dependents_.reloadTagSuggestions();
}

}  // namespace lorvex
