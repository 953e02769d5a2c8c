// Background library sync: folder monitoring, the debounce of change batches, the background pass
// and the monitor recovery loop.
//
// A restart (the folder set changed) stops the monitor, reads the folder roots and the event
// position and starts the new monitor on the utility pool: the stop joins the monitor's thread, the
// position's read looks over the library's rows and the start walks the folders, none of which the
// main thread may wait for. Restarts take a ticket; on the pool a job runs only while its ticket is
// the newest, under a lock that the stops made on the main thread take as well, so the monitor that
// runs at the end is the one of the newest restart, or none after a stop. The decision is applied
// on the main thread when the job is done, unless a later restart or a stop came first.
//
// Elsewhere (the launch, the recovery loop) monitoring is applied on the main thread from inputs
// read on the pool. The monitor's handlers run on its own thread and only post to the store's
// scope; they never wait for the main thread, which may be waiting in stopMonitoring for a handler
// to return.
#include "store/library/background_library_sync.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <mutex>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "store/async/run_blocking.h"
#include "store/async/scope_exit.h"
#include "store/library_failure.h"
#include "store/observed_value.h"

namespace lorvex {

namespace {

constexpr double kMinimumDebounceSeconds = 0.1;
constexpr std::uint64_t kMinimumMonitorRecoveryIntervalNanos = 1'000'000;

// Seconds as a sleep's nanosecond count, saturating: an infinite or huge interval becomes the
// largest count (a sleep that never ends), NaN and anything not above zero become none.
std::int64_t saturatingNanoseconds(double seconds) {
  const double nanoseconds = seconds * 1e9;
  if (!(nanoseconds > 0)) return 0;
  // 2^63 exactly: every double at or above it is out of range of the count.
  if (nanoseconds >= 9'223'372'036'854'775'808.0) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(nanoseconds);
}

std::int64_t saturatingNanoseconds(std::uint64_t nanoseconds) {
  return static_cast<std::int64_t>(std::min<std::uint64_t>(
      nanoseconds, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())));
}

bool isUnderWay(const StoreTask<void>& task) {
  // A flow that ended but left its handle in place has nothing more to do.
  return task && !task.isFinished();
}

// What a restart's job did on the pool.
struct MonitoringRestartResult {
  bool skipped = false;  // a newer restart or a stop came first: nothing was done
  RegisteredFolderMonitoringDecision decision;
  bool started = false;
  std::exception_ptr failure;  // a read or the start failed; the monitor is stopped
};

}  // namespace

BackgroundLibrarySync::BackgroundLibrarySync(StoreContext& context, LibraryDependents& dependents,
                                             BackgroundSyncLibrary& library, QObject* parent)
    : QObject(parent), context_(context), dependents_(dependents), library_(library) {}

BackgroundLibrarySync::~BackgroundLibrarySync() = default;

bool BackgroundLibrarySync::hasFlowUnderWay() const {
  return isUnderWay(backgroundLibrarySyncTask_) || isUnderWay(backgroundLibrarySyncMonitorRecoveryTask_);
}

struct BackgroundLibrarySync::FolderMonitorControl {
  std::mutex mutex;
  // The newest restart's ticket; a stop advances it too, so that no older job starts a monitor.
  std::atomic<std::uint64_t> newestTicket{0};
};

const std::shared_ptr<BackgroundLibrarySync::FolderMonitorControl>&
BackgroundLibrarySync::folderMonitorControl() {
  if (!folderMonitorControl_) folderMonitorControl_ = std::make_shared<FolderMonitorControl>();
  return folderMonitorControl_;
}

FolderChangeHandler BackgroundLibrarySync::folderChangeHandler() {
  return [link = context_.scope().link(), this](const RegisteredFolderChangeBatch& batch) {
    link->post([this, batch] { enqueueFolderChangeBatch(batch); });
  };
}

FolderMonitoringFailureHandler BackgroundLibrarySync::folderMonitoringEndedHandler(std::uint64_t generation) {
  return [link = context_.scope().link(), this, generation](const FolderChangeMonitorError& error) {
    link->post([this, generation, failure = std::make_exception_ptr(error)] {
      folderMonitoringEnded(generation, failure);
    });
  };
}

void BackgroundLibrarySync::startBackgroundLibrarySync(double debounceSeconds,
                                                       std::uint64_t monitorRecoveryIntervalNanos,
                                                       std::optional<FolderMonitoringInputs> inputs) {
  creatingThread_.check();
  if (isBackgroundSyncRunning()) return;
  setBackgroundLibrarySyncDebounceSeconds(std::isnan(debounceSeconds)
                                              ? kMinimumDebounceSeconds
                                              : std::max(debounceSeconds, kMinimumDebounceSeconds));
  setMonitorRecoveryIntervalNanos(
      std::max(monitorRecoveryIntervalNanos, kMinimumMonitorRecoveryIntervalNanos));
  const FolderMonitoringOutcome outcome = updateFolderMonitoring(std::move(inputs));
  if (!outcome.complete) startMonitorRecovery(outcome.needsFullSync);
}

QCoro::Task<void> BackgroundLibrarySync::restartBackgroundLibrarySync() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (context_.needsLiveServicePreparation()) co_return;
  // Everything of the monitoring that runs now ends here; the monitor itself stops on the pool.
  backgroundLibrarySyncTask_.cancel();
  setBackgroundLibrarySyncTask({});
  backgroundLibrarySyncMonitorRecoveryTask_.cancel();
  setBackgroundLibrarySyncMonitorRecoveryTask({});
  if (monitoringRestart_) monitoringRestart_->stop.request_stop();
  backgroundSyncPlanner_.isMonitoring = false;
  backgroundSyncPlanner_.monitoredRootURLs.clear();
  // An end reported by the stopped monitor is stale from now on; the new one reports as this.
  const std::uint64_t generation = ++folderMonitoringGeneration_;
  const std::shared_ptr<FolderMonitorControl> control = folderMonitorControl();
  const std::uint64_t ticket = ++control->newestTicket;
  monitoringRestart_.emplace();
  monitoringRestart_->generation = generation;
  const std::stop_token stop = monitoringRestart_->stop.get_token();

  // The decision of a store that monitors nothing: it depends on nothing else of the planner.
  auto restart = [service = context_.service(), control, ticket, planner = RegisteredFolderSyncPlanner{},
                  onChange = folderChangeHandler(), onEnded = folderMonitoringEndedHandler(generation)]() {
    MonitoringRestartResult result;
    const std::lock_guard lock(control->mutex);
    if (control->newestTicket.load() != ticket) {
      result.skipped = true;
      return result;
    }
    service->stopMonitoring();
    try {
      const RegisteredFolderRoots roots = service->registeredFolderRoots();
      result.decision = planner.monitoringDecision(roots.registeredPaths, roots.availableRootURLs);
      if (result.decision.kind != RegisteredFolderMonitoringDecision::Kind::start) return result;
      const std::optional<RegisteredFolderEventCheckpoint> checkpoint =
          service->folderEventCheckpoint(result.decision.roots);
      // Without a usable position the changes since the last run cannot be taken up: a full pass
      // comes first, and monitoring starts once it has stored a position.
      if (!checkpoint) return result;
      // A restart or a stop that came while the reads ran wants no monitor of this one.
      if (control->newestTicket.load() != ticket) {
        result.skipped = true;
        return result;
      }
      service->startMonitoring(result.decision.roots, checkpoint->lastEventID, onChange, onEnded);
      result.started = true;
    } catch (...) {
      result.failure = std::current_exception();
    }
    return result;
  };
  // The job runs to its end even when a later restart comes: the lock orders it before that one's.
  const std::stop_token noStop;
  MonitoringRestartResult result;
  try {
    result = co_await runBlocking(context_.utilityPool(), noStop, restart);
  } catch (...) {
    result.failure = std::current_exception();
  }
  // A later restart or a stop took over: what it does stands.
  if (stop.stop_requested()) co_return;
  const std::exception_ptr endedWith = std::move(monitoringRestart_->endedWith);
  monitoringRestart_.reset();
  if (result.skipped) co_return;

  FolderMonitoringOutcome outcome;
  if (result.failure) {
    context_.setErrorMessage(result.failure);
  } else if (result.started) {
    backgroundSyncPlanner_.monitoredRootURLs = result.decision.roots;
    backgroundSyncPlanner_.isMonitoring = true;
    context_.setErrorMessage(std::nullopt);
    outcome = {result.decision.coversAllRegisteredFolders, false};
  } else if (result.decision.kind == RegisteredFolderMonitoringDecision::Kind::start) {
    outcome = {false, true};
  } else {
    context_.setErrorMessage(std::nullopt);
    outcome = {result.decision.coversAllRegisteredFolders, false};
  }
  if (!outcome.complete) startMonitorRecovery(outcome.needsFullSync);
  // The new monitor ended before the restart was applied: it is handled as any monitor's end.
  if (result.started && endedWith) folderMonitoringEnded(generation, endedWith);
  if (backgroundSyncPlanner_.hasPendingBatch) scheduleBackgroundLibrarySync();
}

void BackgroundLibrarySync::abandonFolderMonitorRestarts() {
  if (folderMonitorControl_) ++folderMonitorControl_->newestTicket;
}

void BackgroundLibrarySync::stopBackgroundLibrarySync() {
  creatingThread_.check();
  backgroundLibrarySyncTask_.cancel();
  setBackgroundLibrarySyncTask({});
  backgroundLibrarySyncMonitorRecoveryTask_.cancel();
  setBackgroundLibrarySyncMonitorRecoveryTask({});
  if (monitoringRestart_) {
    monitoringRestart_->stop.request_stop();
    monitoringRestart_.reset();
  }
  backgroundSyncPlanner_.isMonitoring = false;
  backgroundSyncPlanner_.monitoredRootURLs.clear();
  stopFolderMonitor();
}

void BackgroundLibrarySync::stopFolderMonitor() {
  ++folderMonitoringGeneration_;
  // No restart's job may start a monitor after this stop; one that runs now is waited for.
  const std::shared_ptr<FolderMonitorControl> control = folderMonitorControl();
  ++control->newestTicket;
  const std::lock_guard lock(control->mutex);
  context_.service()->stopMonitoring();
}

QCoro::Task<std::optional<BackgroundLibrarySync::FolderMonitoringInputs>>
BackgroundLibrarySync::readFolderMonitoringInputs() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  // The decision is taken on a copy of the planner as it stands; the caller decides again on the
  // real one and uses the position only for the same roots.
  auto read = [service = context_.service(), planner = backgroundSyncPlanner_]() {
    FolderMonitoringInputs inputs;
    inputs.roots = service->registeredFolderRoots();
    const RegisteredFolderMonitoringDecision decision =
        planner.monitoringDecision(inputs.roots.registeredPaths, inputs.roots.availableRootURLs);
    if (decision.kind == RegisteredFolderMonitoringDecision::Kind::start) {
      inputs.checkpointRoots = decision.roots;
      inputs.checkpoint = service->folderEventCheckpoint(decision.roots);
    }
    return inputs;
  };
  const std::stop_token noStop;
  try {
    co_return co_await runBlocking(context_.utilityPool(), noStop, read);
  } catch (...) {
    co_return std::nullopt;
  }
}

BackgroundLibrarySync::FolderMonitoringOutcome BackgroundLibrarySync::updateFolderMonitoring(
    std::optional<FolderMonitoringInputs> inputs) {
  creatingThread_.check();
  RegisteredFolderRoots roots;
  try {
    roots = inputs ? std::move(inputs->roots) : context_.service()->registeredFolderRoots();
  } catch (...) {
    context_.setErrorMessage(std::current_exception());
    return {};
  }
  const RegisteredFolderMonitoringDecision decision =
      backgroundSyncPlanner_.monitoringDecision(roots.registeredPaths, roots.availableRootURLs);
  switch (decision.kind) {
    case RegisteredFolderMonitoringDecision::Kind::stop:
      if (backgroundSyncPlanner_.isMonitoring) stopFolderMonitor();
      backgroundSyncPlanner_.isMonitoring = false;
      backgroundSyncPlanner_.monitoredRootURLs.clear();
      context_.setErrorMessage(std::nullopt);
      return {decision.coversAllRegisteredFolders, false};
    case RegisteredFolderMonitoringDecision::Kind::keep:
      backgroundSyncPlanner_.isMonitoring = true;
      context_.setErrorMessage(std::nullopt);
      return {decision.coversAllRegisteredFolders, false};
    case RegisteredFolderMonitoringDecision::Kind::start:
      break;
  }

  std::optional<RegisteredFolderEventCheckpoint> checkpoint;
  try {
    checkpoint = inputs && inputs->checkpointRoots == decision.roots
                     ? std::move(inputs->checkpoint)
                     : context_.service()->folderEventCheckpoint(decision.roots);
  } catch (...) {
    context_.setErrorMessage(std::current_exception());
    return {};
  }
  // Without a usable position the changes since the last run cannot be taken up: a full pass
  // comes first, and monitoring starts once it has stored a position.
  if (!checkpoint) return {false, true};

  const std::uint64_t generation = ++folderMonitoringGeneration_;
  try {
    context_.service()->startMonitoring(decision.roots, checkpoint->lastEventID, folderChangeHandler(),
                                        folderMonitoringEndedHandler(generation));
  } catch (...) {
    context_.setErrorMessage(std::current_exception());
    return {};
  }
  backgroundSyncPlanner_.monitoredRootURLs = decision.roots;
  backgroundSyncPlanner_.isMonitoring = true;
  context_.setErrorMessage(std::nullopt);
  return {decision.coversAllRegisteredFolders, false};
}

void BackgroundLibrarySync::folderMonitoringEnded(std::uint64_t generation,
                                                  const std::exception_ptr& failure) {
  creatingThread_.check();
  // The monitor a restart has just started, before the restart is applied: the end waits for it.
  if (monitoringRestart_ && monitoringRestart_->generation == generation) {
    monitoringRestart_->endedWith = failure;
    return;
  }
  // A monitor stopped or replaced since is not the one that ended.
  if (generation != folderMonitoringGeneration_ || !backgroundSyncPlanner_.isMonitoring) return;
  // Releases what the ended monitor still holds; no handler of it runs any more.
  stopFolderMonitor();
  backgroundSyncPlanner_.isMonitoring = false;
  backgroundSyncPlanner_.monitoredRootURLs.clear();
  // The error itself, not its text: the window tells its kind (the watch limit, with its advice).
  context_.setErrorMessage(failure);
  startMonitorRecovery(false);
}

void BackgroundLibrarySync::startMonitorRecovery(bool needsFullSync) {
  creatingThread_.check();
  if (backgroundLibrarySyncMonitorRecoveryTask_) return;
  auto recover = [this, needsFullSync](std::stop_token stop) {
    return runMonitorRecovery(needsFullSync, std::move(stop));
  };
  StoreTask<void> task = startStoreTask(context_.scope(), recover);
  // A loop that ended before its first suspension (monitoring became complete at once) leaves no
  // handle behind.
  if (!task.isFinished()) setBackgroundLibrarySyncMonitorRecoveryTask(std::move(task));
}

QCoro::Task<void> BackgroundLibrarySync::runMonitorRecovery(bool needsFullSync, std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (stop.stop_requested()) co_return;
  enum class Step { sleep, pass, check };
  bool pendingFullSync = needsFullSync || backgroundPassOwed_;
  Step step = needsFullSync ? Step::pass : Step::sleep;
  for (;;) {
    switch (step) {
      case Step::sleep: {
        // Read at every sleep: a restart may have changed it.
        const std::int64_t interval = saturatingNanoseconds(monitorRecoveryIntervalNanos_);
        const bool slept = co_await context_.clock().sleep(interval, stop);
        if (!slept) co_return;
        step = pendingFullSync ? Step::pass : Step::check;
        break;
      }
      case Step::pass: {
        // No paths and no position: a full pass, storing the current position when no file failed.
        const std::vector<std::string> noChangedURLs;
        const std::optional<std::uint64_t> noEventID;
        const bool noFullRescanRequest = false;
        backgroundPassOwed_ = false;
        co_await runBackgroundLibrarySync(noChangedURLs, noEventID, noFullRescanRequest);
        step = Step::check;
        break;
      }
      case Step::check: {
        if (stop.stop_requested()) co_return;
        // Running monitoring stays as it is while a failed pass is owed, and so does its message.
        if (backgroundPassOwed_ && backgroundSyncPlanner_.isMonitoring) {
          pendingFullSync = true;
          step = Step::sleep;
          break;
        }
        std::optional<FolderMonitoringInputs> inputs = co_await readFolderMonitoringInputs();
        if (stop.stop_requested()) co_return;
        const FolderMonitoringOutcome outcome = updateFolderMonitoring(std::move(inputs));
        if (outcome.complete && !backgroundPassOwed_) {
          if (backgroundLibrarySyncMonitorRecoveryTask_.stopToken() == stop)
            setBackgroundLibrarySyncMonitorRecoveryTask({});
          co_return;
        }
        if (stop.stop_requested()) co_return;
        const bool previousFullSync =
            std::exchange(pendingFullSync, outcome.needsFullSync || backgroundPassOwed_);
        // One full pass at once when the position went missing; afterwards at most one per interval.
        step = outcome.needsFullSync && !previousFullSync ? Step::pass : Step::sleep;
        break;
      }
    }
  }
}

void BackgroundLibrarySync::oweBackgroundPass() {
  creatingThread_.check();
  backgroundPassOwed_ = true;
}

void BackgroundLibrarySync::retryBackgroundPassLater() {
  creatingThread_.check();
  backgroundPassOwed_ = true;
  // A loop already running (the failed pass may be its own) takes it up at its next check.
  startMonitorRecovery(false);
}

void BackgroundLibrarySync::enqueueFolderChangeBatch(const RegisteredFolderChangeBatch& batch) {
  creatingThread_.check();
  backgroundSyncPlanner_.enqueue(batch);
  scheduleBackgroundLibrarySync();
}

void BackgroundLibrarySync::scheduleBackgroundLibrarySync() {
  creatingThread_.check();
  backgroundLibrarySyncTask_.cancel();
  // At least one nanosecond: the debounce always suspends before it processes anything, so its
  // handle is in place by then.
  const std::int64_t delay =
      std::max<std::int64_t>(saturatingNanoseconds(backgroundLibrarySyncDebounceSeconds_), 1);
  auto debounce = [this, delay](std::stop_token stop) {
    return debounceBackgroundLibrarySync(delay, std::move(stop));
  };
  setBackgroundLibrarySyncTask(startStoreTask(context_.scope(), debounce));
}

QCoro::Task<void> BackgroundLibrarySync::debounceBackgroundLibrarySync(std::int64_t nanoseconds,
                                                                       std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const bool slept = co_await context_.clock().sleep(nanoseconds, stop);
  if (!slept || stop.stop_requested()) co_return;
  co_await processPendingBackgroundLibrarySync();
}

QCoro::Task<void> BackgroundLibrarySync::processPendingBackgroundLibrarySync() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  setBackgroundLibrarySyncTask({});
  if (!backgroundSyncPlanner_.hasPendingBatch) co_return;
  std::optional<RegisteredFolderChangeBatch> batch;
  batch = backgroundSyncPlanner_.takePendingBatch();
  if (!batch) co_return;
  // Other library work runs: the batch waits for another quiet period instead of being lost.
  if (library_.isLibrarySyncInProgress() || dependents_.isTrashingDeleteCandidates()) {
    enqueueFolderChangeBatch(*batch);
    co_return;
  }
  std::optional<RegisteredFolderChangeBatch> remaining = batch;
  if (!backgroundSyncPlanner_.locallyHandledTrashPaths.empty()) {
    remaining = backgroundSyncPlanner_.removingLocallyHandledChanges(*batch);
  }
  if (!remaining) co_return;
  const std::vector<std::string> changedURLs = std::move(remaining->changedURLs);
  const std::optional<std::uint64_t> lastEventID = remaining->lastEventID;
  const bool requiresFullRescan = remaining->requiresFullRescan;
  co_await runBackgroundLibrarySync(changedURLs, lastEventID, requiresFullRescan);
  // Batches that arrived during the pass.
  if (backgroundSyncPlanner_.hasPendingBatch) scheduleBackgroundLibrarySync();
}

QCoro::Task<bool> BackgroundLibrarySync::runBackgroundLibrarySync(std::vector<std::string> changedURLs,
                                                                  std::optional<std::uint64_t> lastEventID,
                                                                  bool requiresFullRescan) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (context_.needsLiveServicePreparation() || library_.isLibrarySyncInProgress() ||
      dependents_.isTrashingDeleteCandidates())
    co_return false;
  // Both flags are lowered however the pass ends, exceptions and a destroyed frame included.
  library_.setIsLibrarySyncInProgress(true);
  setIsBackgroundSyncing(true);
  const ScopeExit lowerBusyFlags(context_.scope().link(), [this] {
    setIsBackgroundSyncing(false);
    library_.setIsLibrarySyncInProgress(false);
  });
  // The service in use now, even if another is installed while the pass runs.
  const std::shared_ptr<ImageLibraryServicing> service = context_.service();
  // Nothing cancels these calls; the scan stops only when the store goes.
  const std::stop_token noStop;

  std::vector<std::string> roots;
  try {
    auto restore = [service] { return service->restoreFolderAccess(); };
    roots = co_await runBlocking(context_.utilityPool(), noStop, restore);
  } catch (...) {
    context_.setErrorMessage(std::current_exception());
    co_return false;
  }
  if (roots.empty()) {
    co_await library_.loadRegisteredFolderSummaries();
    co_return false;
  }

  // Only the position moves: the changes were all the program's own.
  if (changedURLs.empty() && !requiresFullRescan && lastEventID) {
    try {
      auto store = [service, roots, eventID = *lastEventID] { service->storeFolderEventID(roots, eventID); };
      co_await runBlocking(context_.utilityPool(), noStop, store);
    } catch (...) {
      context_.setErrorMessage(std::current_exception());
      co_return false;
    }
    co_return true;
  }

  const bool isFullPass = requiresFullRescan || changedURLs.empty();
  std::optional<std::uint64_t> eventID = lastEventID;
  if (!eventID && isFullPass) eventID = service->currentFolderEventID();
  const auto changedPathCount = static_cast<std::int64_t>(changedURLs.size());
  // A pass with failed files leaves the position where it was, so those changes are reported again
  // the next time monitoring starts.
  BackgroundSyncLibrary::IndexingOperation operation =
      [service, roots, changedURLs = std::move(changedURLs), isFullPass, eventID](
          const ImageLibraryServicing::ProgressHandler& progress,
          std::stop_token stop) -> std::optional<ImageLibraryScanSummary> {
    ImageLibraryScanSummary summary = isFullPass
                                          ? service->scanLibrary(roots, progress, stop)
                                          : service->scanChangedPaths(changedURLs, roots, progress, stop);
    if (eventID && summary.failedFileCount == 0) service->storeFolderEventID(roots, *eventID);
    return summary;
  };
  std::optional<ImageLibraryScanSummary> summary;
  try {
    summary = co_await library_.runIndexingOperation(operation);
  } catch (...) {
    context_.setErrorMessage(std::current_exception());
    if (!isCancellation(std::current_exception())) retryBackgroundPassLater();
    co_return false;
  }
  if (!summary) co_return false;

  ImageLibraryScanDiagnosticContext context;
  context.source = isFullPass ? ImageLibraryScanDiagnosticSource::backgroundFullScan
                              : ImageLibraryScanDiagnosticSource::backgroundChangedPaths;
  context.rootPaths = roots;
  if (!isFullPass) context.changedPathCount = changedPathCount;
  context.completedAt = context_.clock().now();
  library_.recordScan(std::move(*summary), std::move(context));

  co_await library_.loadRegisteredFolderSummaries();
  co_await dependents_.refreshResultWindowAfterSync();
  co_await dependents_.reloadTagSuggestions();
  dependents_.startThumbnailGeneration();
  // A registered folder renamed or moved is lost to its monitor, which asks for this full pass;
  // the pass's restore found the folder under its new path, and monitoring follows it there.
  if (requiresFullRescan) co_await followMovedFolders();
  co_return true;
}

QCoro::Task<void> BackgroundLibrarySync::followMovedFolders() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  // A restart or the recovery loop decides on its own; without monitoring there is nothing to move.
  const auto isUpToSomeoneElse = [this] {
    return !backgroundSyncPlanner_.isMonitoring || monitoringRestart_.has_value() ||
           static_cast<bool>(backgroundLibrarySyncMonitorRecoveryTask_);
  };
  if (isUpToSomeoneElse()) co_return;
  std::optional<FolderMonitoringInputs> inputs = co_await readFolderMonitoringInputs();
  // A failed read is tried again by the next full pass.
  if (!inputs || isUpToSomeoneElse()) co_return;
  const RegisteredFolderMonitoringDecision decision = backgroundSyncPlanner_.monitoringDecision(
      inputs->roots.registeredPaths, inputs->roots.availableRootURLs);
  // Monitoring that still covers the folders stays as it is, and so does the error line.
  if (decision.kind == RegisteredFolderMonitoringDecision::Kind::keep) co_return;
  const FolderMonitoringOutcome outcome = updateFolderMonitoring(std::move(inputs));
  if (!outcome.complete) startMonitorRecovery(outcome.needsFullSync);
}

void BackgroundLibrarySync::rereadChangedFiles(const std::vector<std::string>& paths) {
  creatingThread_.check();
  // Without monitoring, the next full scan reads them: the library knows them as changed.
  if (paths.empty() || !backgroundSyncPlanner_.isMonitoring) return;
  enqueueFolderChangeBatch(RegisteredFolderChangeBatch{paths, std::nullopt, false});
}

void BackgroundLibrarySync::ignoreTrashedFileRemovals(const std::vector<std::string>& trashedPaths) {
  creatingThread_.check();
  // The monitor reports these removals like anyone else's; they are the program's own.
  if (!backgroundSyncPlanner_.isMonitoring) return;
  backgroundSyncPlanner_.locallyHandledTrashPaths.insert(trashedPaths.begin(), trashedPaths.end());
}

void BackgroundLibrarySync::clearLocallyHandledTrashPaths(const std::vector<std::string>& roots) {
  creatingThread_.check();
  backgroundSyncPlanner_.clearLocallyHandledTrashPaths(roots);
}

void BackgroundLibrarySync::setIsBackgroundSyncing(bool value) {
  creatingThread_.check();
  assignObserved(isBackgroundSyncing_, std::move(value), this,
                 &BackgroundLibrarySync::isBackgroundSyncingChanged);
}

void BackgroundLibrarySync::setBackgroundLibrarySyncTask(StoreTask<void> value) {
  creatingThread_.check();
  backgroundLibrarySyncTask_ = std::move(value);
}

void BackgroundLibrarySync::setBackgroundLibrarySyncMonitorRecoveryTask(StoreTask<void> value) {
  creatingThread_.check();
  backgroundLibrarySyncMonitorRecoveryTask_ = std::move(value);
}

void BackgroundLibrarySync::setBackgroundLibrarySyncDebounceSeconds(double value) {
  creatingThread_.check();
  backgroundLibrarySyncDebounceSeconds_ = value;
}

void BackgroundLibrarySync::setMonitorRecoveryIntervalNanos(std::uint64_t value) {
  creatingThread_.check();
  monitorRecoveryIntervalNanos_ = value;
}

void BackgroundLibrarySync::setBackgroundSyncPlanner(RegisteredFolderSyncPlanner value) {
  creatingThread_.check();
  backgroundSyncPlanner_ = std::move(value);
}

}  // namespace lorvex
