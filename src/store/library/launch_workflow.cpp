// The launch: the live library is built away from the main thread and installed, the folder list
// and the first page are shown, an indexing job an earlier run left unfinished is finished, the
// registered folders are caught up with, and background sync and the one thumbnail cache sweep of
// the process start.
//
// Signposts (LORVEX_TRACE): each step is one interval ("LaunchPrepareLibrary", "LaunchFolderList",
// "LaunchFirstPage", "LaunchFolderCounts", "LaunchResume", "LaunchRestoreAccess",
// "LaunchPositionCheck", "LaunchCatchUpScan", "LaunchMonitoringInputs"), begun with "at=" the
// milliseconds since the launch began and ended with "ms=" its own duration.
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/library_error.h"
#include "platform/log.h"
#include "services/library_error_translation.h"
#include "services/unavailable_image_library_service.h"
#include "store/async/run_blocking.h"
#include "store/async/scope_exit.h"
#include "store/library/library_model.h"
#include "store/library_failure.h"

namespace lorvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long a reopening of a damaged library waits for the damaged one's last holder: 5 s at most.
constexpr int kDamagedLibraryReleaseChecks = 100;
constexpr std::int64_t kDamagedLibraryReleaseCheckNanos = 50'000'000;

std::string millisecondsText(SteadyClock::duration duration) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::chrono::duration<double, std::milli>(duration).count());
  return text;
}

// One step of the launch as a signpost interval, alive as long as the object.
class LaunchStep {
 public:
  LaunchStep(std::string_view name, SteadyClock::time_point launchBegan)
      : started_(SteadyClock::now()),
        interval_(name, platform::signpostsEnabled() ? "at=" + millisecondsText(started_ - launchBegan)
                                                     : std::string()) {}
  ~LaunchStep() {
    if (platform::signpostsEnabled()) interval_.end("ms=" + millisecondsText(SteadyClock::now() - started_));
  }
  LaunchStep(const LaunchStep&) = delete;
  LaunchStep& operator=(const LaunchStep&) = delete;

 private:
  SteadyClock::time_point started_;
  platform::SignpostInterval interval_;
};

}  // namespace

void LibraryModel::startLaunchWorkflow() {
  creatingThread_.check();
  if (launchWorkflowTask_) return;
  auto ended = std::make_shared<bool>(false);
  auto workflow = [this, ended](std::stop_token stop) { return runLaunchWorkflow(ended, std::move(stop)); };
  StoreTask<void> task = startStoreTask(context_.scope(), workflow);
  // A run that had nothing to wait for has already ended: keeping its handle would refuse every
  // later start.
  if (!*ended) setLaunchWorkflowTask(std::move(task));
}

QCoro::Task<void> LibraryModel::runLaunchWorkflow(std::shared_ptr<bool> ended, std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  // However the run leaves, a later start must be able to begin another one; only this run's own
  // handle is cleared.
  const ScopeExit endRun(context_.scope().link(), [this, ended, stop] {
    *ended = true;
    if (launchWorkflowTask_.stopToken() == stop) setLaunchWorkflowTask({});
  });
  launchBegan_ = SteadyClock::now();
  {
    const LaunchStep step("LaunchPrepareLibrary", launchBegan_);
    bool opened = co_await prepareLiveServiceIfNeeded();
    if (!opened) opened = co_await openLibraryOnceReleased(stop);
    if (!opened) co_return;
  }
  bool firstPageShown = co_await showLaunchLibrary();
  // Damage is found only where something reads it; the launch that finds it has it repaired rather
  // than showing an empty library until the next one.
  if (metLibraryDamage()) {
    if (!co_await reopenDamagedLibrary(stop)) co_return;
    firstPageShown = co_await showLaunchLibrary();
  }
  bool resumed = false;
  {
    const LaunchStep step("LaunchResume", launchBegan_);
    resumed = co_await resumeInterruptedIndexingIfNeeded();
  }
  // A resumption that failed (a full disk, say) is tried again by the recovery loop however
  // complete monitoring is, and its message stays while it is owed, whatever the steps below clear.
  std::optional<std::string> owedMessage;
  std::optional<ErrorNotice> owedNotice;
  if (backgroundSync_->backgroundPassOwed()) {
    owedMessage = context_.errorMessage();
    owedNotice = context_.errorNotice();
  }
  co_await restoreFolderAccessAndSync(firstPageShown || resumed);
  // The monitoring inputs are read on the pool first, unless other library work made the launch
  // skip its catching up: then it ends without waiting and decides with a direct read.
  BackgroundLibrarySync& sync = *backgroundSync_;
  std::optional<BackgroundLibrarySync::FolderMonitoringInputs> inputs;
  if (!sync.isBackgroundSyncRunning() && !isLibrarySyncInProgress_ &&
      !dependents_.isTrashingDeleteCandidates()) {
    const LaunchStep step("LaunchMonitoringInputs", launchBegan_);
    inputs = co_await sync.readFolderMonitoringInputs();
  }
  sync.startBackgroundLibrarySync(kLaunchBackgroundSyncDebounceSeconds, kLaunchMonitorRecoveryIntervalNanos,
                                  std::move(inputs));
  if (sync.backgroundPassOwed()) {
    if (!context_.errorMessage()) context_.setErrorMessage(std::move(owedMessage), std::move(owedNotice));
    sync.retryBackgroundPassLater();
  }
  startThumbnailCacheMaintenanceIfNeeded();
}

QCoro::Task<bool> LibraryModel::showLaunchLibrary() {
  auto frame = co_await context_.scope().enter();
  // The first page comes before anything that reads the whole library: counting each folder's
  // images, checking the stored position, resuming and catching up each take a time that grows
  // with the library (most of a second at a million images), and until the page is in the window
  // has nothing to show.
  const bool firstPageShown = co_await showLaunchFirstPage();
  if (metLibraryDamage()) co_return false;
  if (!isLibrarySyncInProgress_ && !dependents_.isTrashingDeleteCandidates()) {
    const LaunchStep step("LaunchFolderCounts", launchBegan_);
    co_await loadRegisteredFolderSummaries();
  }
  co_return firstPageShown;
}

QCoro::Task<bool> LibraryModel::showLaunchFirstPage() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (context_.needsLiveServicePreparation() || isLibrarySyncInProgress_ ||
      dependents_.isTrashingDeleteCandidates())
    co_return false;
  if (!hasLoadedRegisteredFolderSummaries_) {
    const LaunchStep step("LaunchFolderList", launchBegan_);
    const std::uint64_t generation = registeredFolderSummariesGeneration_;
    auto list = [service = context_.service()] { return service->registeredFolderList(); };
    const std::stop_token noStop;
    std::vector<RegisteredFolderSummary> folders;
    try {
      folders = co_await runBlocking(context_.userInitiatedPool(), noStop, list);
    } catch (...) {
      context_.setErrorMessage(std::current_exception());
      co_return false;
    }
    // A summaries load begun meanwhile brings the counts as well, and its list stands.
    if (generation != registeredFolderSummariesGeneration_ || hasLoadedRegisteredFolderSummaries_)
      co_return false;
    // The searches take their roots from the list; the sidebar says it is checking until the
    // counts come.
    setIsLoadingRegisteredFolders(true);
    setRegisteredFolderSummaries(std::move(folders));
    setHasLoadedRegisteredFolderSummaries(true);
  }
  // With nothing registered there is nothing to show: the catching up loads its empty page.
  if (registeredFolderSummaries_.empty()) co_return false;
  const LaunchStep step("LaunchFirstPage", launchBegan_);
  co_await dependents_.reloadResults(kLaunchUpToDateResultLimit);
  co_return !context_.errorMessage().has_value();
}

QCoro::Task<bool> LibraryModel::prepareLiveServiceIfNeeded() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!context_.needsLiveServicePreparation()) co_return true;
  if (isPreparingLibrary_) co_return false;
  setIsPreparingLibrary(true);
  const ScopeExit endPreparing(context_.scope().link(), [this] { setIsPreparingLibrary(false); });
  context_.setErrorMessage(std::nullopt);

  auto [live, failure] = co_await buildLiveService();
  if (failure) {
    holdPreparationFailure(failure);
    co_return false;
  }
  installLiveService(std::move(live));
  co_return true;
}

QCoro::Task<std::pair<std::shared_ptr<ImageLibraryServicing>, std::exception_ptr>>
LibraryModel::buildLiveService() {
  auto frame = co_await context_.scope().enter();
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
  try {
    co_return std::pair(co_await runBlocking(context_.userInitiatedPool(), noStop, build),
                        std::exception_ptr());
  } catch (...) {
    co_return std::pair(std::shared_ptr<ImageLibraryServicing>(), std::current_exception());
  }
}

void LibraryModel::installLiveService(std::shared_ptr<ImageLibraryServicing> live) {
  setLibraryRecoveryNotice(live->libraryRecoveryNotice());
  context_.setService(std::move(live));
  context_.setNeedsLiveServicePreparation(false);
  setIsPreparingLibrary(false);
  setLibraryOpenFailure(std::nullopt);
}

void LibraryModel::holdPreparationFailure(const std::exception_ptr& failure) {
  // Every later call of the service reports the same failure, and nothing waits for a preparation
  // that will not come (unless the launch waits for another process to let go of the library).
  context_.setService(std::make_shared<UnavailableImageLibraryService>(failure));
  context_.setNeedsLiveServicePreparation(false);
  setIsPreparingLibrary(false);
  context_.setErrorMessage(failure);
  const ErrorNotice notice = errorNotice(failure);
  setLibraryOpenFailure(LibraryOpenFailure{
      notice, libraryFolder_, waitsWhileLibraryInUse_ && notice.kind == ErrorNoticeKind::libraryInUse});
}

QCoro::Task<bool> LibraryModel::openLibraryOnceReleased(std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  while (libraryOpenFailure_ && libraryOpenFailure_->opensWhenReleased) {
    // A timer on the main thread between attempts; each attempt runs on the pool, and one that
    // meets the other process still there fails at once without touching the library.
    if (!co_await context_.clock().sleep(kLibraryReleasePollNanos, stop)) co_return false;
    auto [live, failure] = co_await buildLiveService();
    if (!failure) {
      context_.setErrorMessage(std::nullopt);
      installLiveService(std::move(live));
      co_return true;
    }
    if (errorNotice(failure).kind != ErrorNoticeKind::libraryInUse) holdPreparationFailure(failure);
  }
  co_return false;
}

bool LibraryModel::metLibraryDamage() const {
  const std::optional<ErrorNotice>& notice = context_.errorNotice();
  return notice && notice->kind == ErrorNoticeKind::libraryDamaged &&
         !context_.needsLiveServicePreparation() && !libraryOpenFailure_;
}

QCoro::Task<bool> LibraryModel::reopenDamagedLibrary(std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  platform::logInfo("LibraryPreparation", "The launch met a damaged library; opening it again to repair it");
  // The library's lock goes with the last holder of the damaged service: a read still running on
  // the pool lets go of it within moments. Opening it again meanwhile would find it in use.
  std::weak_ptr<ImageLibraryServicing> damaged = context_.service();
  context_.setService(std::make_shared<UnavailableImageLibraryService>());
  context_.setNeedsLiveServicePreparation(true);
  for (int wait = 0; !damaged.expired() && wait < kDamagedLibraryReleaseChecks; ++wait) {
    if (!co_await context_.clock().sleep(kDamagedLibraryReleaseCheckNanos, stop)) co_return false;
  }
  if (co_await prepareLiveServiceIfNeeded()) co_return true;
  co_return co_await openLibraryOnceReleased(stop);
}

QCoro::Task<bool> LibraryModel::resumeInterruptedIndexingIfNeeded() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (isLibrarySyncInProgress_ || dependents_.isTrashingDeleteCandidates()) co_return false;
  const auto libraryWork = beginRequestedScan();

  const auto service = context_.service();
  // Read before the job goes on: changes made to its folders while it runs come again from
  // monitoring, which starts from this position.
  const std::uint64_t eventID = service->currentFolderEventID();
  auto readRoots = [service] {
    return service->interruptedIndexingRootURLs().value_or(std::vector<std::string>{});
  };
  const std::stop_token noStop;
  std::vector<std::string> roots;
  try {
    roots = co_await runBlocking(context_.utilityPool(), noStop, readRoots);
  } catch (...) {
    context_.setErrorMessage(std::current_exception());
    co_return false;
  }

  const IndexingOperation operation = [service, roots, eventID](
                                          const ImageLibraryServicing::ProgressHandler& progress,
                                          std::stop_token stop) {
    std::optional<ImageLibraryScanSummary> summary =
        service->resumeInterruptedIndexing(progress, std::move(stop));
    if (summary && !roots.empty()) service->storeFolderEventID(roots, eventID);
    return summary;
  };
  const auto outcome =
      co_await runRequestedScan(operation, roots, ImageLibraryScanDiagnosticSource::resumeInterrupted);
  if (outcome.failure) {
    context_.setErrorMessage(outcome.failure);
    // The job stays unfinished; a later background pass over the folders takes it up.
    if (!isCancellation(outcome.failure)) backgroundSync_->oweBackgroundPass();
  }
  co_return outcome.recorded;
}

QCoro::Task<void> LibraryModel::restoreFolderAccessAndSync(bool pageIsCurrent) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (isLibrarySyncInProgress_ || dependents_.isTrashingDeleteCandidates()) co_return;

  const auto service = context_.service();
  auto restore = [service] { return service->restoreFolderAccess(); };
  const std::stop_token noStop;
  std::vector<std::string> roots;
  try {
    const LaunchStep step("LaunchRestoreAccess", launchBegan_);
    roots = co_await runBlocking(context_.userInitiatedPool(), noStop, restore);
  } catch (...) {
    context_.setErrorMessage(std::current_exception());
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
    const LaunchStep step("LaunchPositionCheck", launchBegan_);
    checkpoint = co_await runBlocking(context_.utilityPool(), noStop, readCheckpoint);
  } catch (...) {
    context_.setErrorMessage(std::current_exception());
    co_return;
  }
  if (!checkpoint) {
    const LaunchStep step("LaunchCatchUpScan", launchBegan_);
    co_await syncRegisteredFolders();
    co_return;
  }
  // Up to date as of the stored position; what changed since arrives through monitoring. The
  // sidebar's counts were loaded after the first page.
  if (!pageIsCurrent) co_await dependents_.reloadResults(kLaunchUpToDateResultLimit);
  co_await dependents_.reloadTagSuggestions();
  dependents_.startThumbnailGeneration();
}

void LibraryModel::startThumbnailCacheMaintenanceIfNeeded() {
  creatingThread_.check();
  if (context_.needsLiveServicePreparation() || didStartThumbnailCacheMaintenance_) return;
  setDidStartThumbnailCacheMaintenance(true);
  const double cutoff = context_.clock().now() - kThumbnailCacheSweepAgeSeconds;
  auto sweep = [this, service = context_.service(), cutoff](std::stop_token stop) {
    return sweepThumbnailCache(service, cutoff, std::move(stop));
  };
  StoreTask<void> task = startStoreTask(context_.scope(), sweep);
  if (!task.isFinished()) setThumbnailCacheMaintenanceTask(std::move(task));
}

QCoro::Task<void> LibraryModel::sweepThumbnailCache(std::shared_ptr<ImageLibraryServicing> service,
                                                    double cutoff, std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  auto sweep = [service, cutoff] { service->sweepThumbnailCache(cutoff); };
  // The sweep runs to its end once begun; the store going away only drops its outcome.
  const std::stop_token noStop;
  try {
    co_await runBlocking(context_.utilityPool(), noStop, sweep);
  } catch (...) {
    // Housekeeping: unreferenced files stay until the next launch sweeps them. Nothing to tell.
  }
  if (thumbnailCacheMaintenanceTask_.stopToken() == stop) setThumbnailCacheMaintenanceTask({});
}

}  // namespace lorvex
