// The launch: the live library is built away from the main thread and installed, an indexing job
// an earlier run left unfinished is finished, the registered folders are caught up with, and
// background sync and the one thumbnail cache sweep of the process start.
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "model/library_error.h"
#include "services/indexing/scan_error_message.h"
#include "services/unavailable_image_library_service.h"
#include "store/async/run_blocking.h"
#include "store/async/scope_exit.h"
#include "store/image_library_store.h"

namespace lorvex {

void ImageLibraryStore::startLaunchWorkflow() {
  creatingThread_.check();
  if (launchWorkflowTask_) return;
  auto ended = std::make_shared<bool>(false);
  auto workflow = [this, ended](std::stop_token stop) { return runLaunchWorkflow(ended, std::move(stop)); };
  StoreTask<void> task = startStoreTask(scope_, workflow);
  // A run that had nothing to wait for has already ended: keeping its handle would refuse every
  // later start.
  if (!*ended) setLaunchWorkflowTask(std::move(task));
}

QCoro::Task<void> ImageLibraryStore::runLaunchWorkflow(std::shared_ptr<bool> ended, std::stop_token stop) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  // However the run leaves, a later start must be able to begin another one; only this run's own
  // handle is cleared.
  const ScopeExit endRun(scope_.link(), [this, ended, stop] {
    *ended = true;
    if (launchWorkflowTask_.stopToken() == stop) setLaunchWorkflowTask({});
  });
  if (!co_await prepareLiveServiceIfNeeded()) co_return;
  co_await resumeInterruptedIndexingIfNeeded();
  co_await restoreFolderAccessAndSync();
  // The monitoring inputs are read on the pool first, unless other library work made the launch
  // skip its catching up: then it ends without waiting and decides with a direct read.
  std::optional<FolderMonitoringInputs> inputs;
  if (!isBackgroundSyncRunning() && !isLibrarySyncInProgress_ && !isTrashingDeleteCandidates_) {
    inputs = co_await readFolderMonitoringInputs();
  }
  startBackgroundLibrarySync(kLaunchBackgroundSyncDebounceSeconds, kLaunchMonitorRecoveryIntervalNanos,
                             std::move(inputs));
  startThumbnailCacheMaintenanceIfNeeded();
}

QCoro::Task<bool> ImageLibraryStore::prepareLiveServiceIfNeeded() {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (!needsLiveServicePreparation_) co_return true;
  if (isPreparingLibrary_) co_return false;
  setIsPreparingLibrary(true);
  const ScopeExit endPreparing(scope_.link(), [this] { setIsPreparingLibrary(false); });
  setErrorMessage(std::nullopt);

  // The job owns its copy of the factory and whatever it builds: the store may be gone before it
  // returns, and the graph is then released on the pool.
  auto build = [factory = liveServiceFactory_]() -> std::shared_ptr<ImageLibraryServicing> {
    auto live = factory();
    if (live == nullptr) {
      throw LibraryError(LibraryError::Kind::configuration, "The library could not be prepared.");
    }
    return live;
  };
  // Building the graph is not interrupted: it is short, and a half-built graph is of no use.
  const std::stop_token noStop;
  std::shared_ptr<ImageLibraryServicing> live;
  std::exception_ptr failure;
  try {
    live = co_await runBlocking(*userInitiatedPool_, noStop, build);
  } catch (...) {
    failure = std::current_exception();
  }

  if (failure) {
    // Every later call of the service reports the same failure, and nothing waits for a
    // preparation that will not come.
    setService(std::make_shared<UnavailableImageLibraryService>(failure));
    setNeedsLiveServicePreparation(false);
    setIsPreparingLibrary(false);
    setErrorMessage(failure);
    co_return false;
  }
  setLibraryRecoveryNotice(live->libraryRecoveryNotice());
  setService(std::move(live));
  setNeedsLiveServicePreparation(false);
  setIsPreparingLibrary(false);
  co_await loadRegisteredFolderSummaries();
  co_return true;
}

QCoro::Task<bool> ImageLibraryStore::resumeInterruptedIndexingIfNeeded() {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (isLibrarySyncInProgress_ || isTrashingDeleteCandidates_) co_return false;
  const auto libraryWork = beginRequestedScan();

  const auto service = service_;
  // Read before the job goes on: changes made to its folders while it runs come again from
  // monitoring, which starts from this position.
  const std::uint64_t eventID = service->currentFolderEventID();
  auto readRoots = [service] { return service->interruptedIndexingRootURLs().value_or(std::vector<std::string>{}); };
  const std::stop_token noStop;
  std::vector<std::string> roots;
  try {
    roots = co_await runBlocking(*utilityPool_, noStop, readRoots);
  } catch (...) {
    setErrorMessage(std::current_exception());
    co_return false;
  }

  const IndexingOperation operation = [service, roots, eventID](const ImageLibraryServicing::ProgressHandler& progress,
                                                                std::stop_token stop) {
    std::optional<ImageLibraryScanSummary> summary = service->resumeInterruptedIndexing(progress, std::move(stop));
    if (summary && !roots.empty()) service->storeFolderEventID(roots, eventID);
    return summary;
  };
  const auto outcome = co_await runRequestedScan(operation, roots, ImageLibraryScanDiagnosticSource::resumeInterrupted);
  if (outcome.failure) setErrorMessage(outcome.failure);
  co_return outcome.recorded;
}

QCoro::Task<void> ImageLibraryStore::restoreFolderAccessAndSync() {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (isLibrarySyncInProgress_ || isTrashingDeleteCandidates_) co_return;

  const auto service = service_;
  auto restore = [service] { return service->restoreFolderAccess(); };
  const std::stop_token noStop;
  std::vector<std::string> roots;
  try {
    roots = co_await runBlocking(*userInitiatedPool_, noStop, restore);
  } catch (...) {
    setErrorMessage(std::current_exception());
    co_return;
  }
  if (roots.empty()) {
    // Nothing registered: no scan, a full first page of whatever the library holds.
    co_await reloadAfterScan();
    co_return;
  }

  auto readCheckpoint = [service, roots] { return service->folderEventCheckpoint(roots); };
  std::optional<RegisteredFolderEventCheckpoint> checkpoint;
  try {
    checkpoint = co_await runBlocking(*utilityPool_, noStop, readCheckpoint);
  } catch (...) {
    setErrorMessage(std::current_exception());
    co_return;
  }
  if (!checkpoint) {
    co_await syncRegisteredFolders();
    co_return;
  }
  // Up to date as of the stored position; what changed since arrives through monitoring.
  co_await loadRegisteredFolderSummaries();
  co_await refreshResults(kLaunchUpToDateResultLimit, false);
  const std::optional<std::string> allTags;
  co_await loadTagSuggestions(allTags);
  startBackgroundThumbnailGeneration();
}

void ImageLibraryStore::startThumbnailCacheMaintenanceIfNeeded() {
  creatingThread_.check();
  if (needsLiveServicePreparation_ || didStartThumbnailCacheMaintenance_) return;
  setDidStartThumbnailCacheMaintenance(true);
  const double cutoff = clock_->now() - kThumbnailCacheSweepAgeSeconds;
  auto sweep = [this, service = service_, cutoff](std::stop_token stop) {
    return sweepThumbnailCache(service, cutoff, std::move(stop));
  };
  StoreTask<void> task = startStoreTask(scope_, sweep);
  if (!task.isFinished()) setThumbnailCacheMaintenanceTask(std::move(task));
}

QCoro::Task<void> ImageLibraryStore::sweepThumbnailCache(std::shared_ptr<ImageLibraryServicing> service, double cutoff,
                                                         std::stop_token stop) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  auto sweep = [service, cutoff] { service->sweepThumbnailCache(cutoff); };
  // The sweep runs to its end once begun; the store going away only drops its outcome.
  const std::stop_token noStop;
  try {
    co_await runBlocking(*utilityPool_, noStop, sweep);
  } catch (...) {
    // Housekeeping: unreferenced files stay until the next launch sweeps them. Nothing to tell.
  }
  if (thumbnailCacheMaintenanceTask_.stopToken() == stop) setThumbnailCacheMaintenanceTask({});
}

}  // namespace lorvex
