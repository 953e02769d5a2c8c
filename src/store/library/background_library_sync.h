// BackgroundLibrarySync: keeps the library in step with the registered folders while the program
// runs. It monitors the available folders, debounces the batches of changes the monitor reports
// into background passes, leaves out the removals of files the program itself moved to the Trash,
// and, while monitoring is incomplete or a pass failed, runs the recovery loop that tries again. It
// holds the monitoring planner, the intervals, the background busy flag and the handles of the
// debounce and the recovery loop.
//
// The library model owns it: registration, unregistering, reauthorising and the launch restart or
// start monitoring through it. A background pass is library work and goes through
// BackgroundSyncLibrary (the busy flag, the indexing runner, the last scan, the folder list); what
// follows a pass in the results, the suggestions and the thumbnails, and whether files are being
// moved to the Trash, goes through LibraryDependents.
//
// The busy flag is observed: it is stored silently when equal and signalled once, after storing,
// when different. The planner, the intervals and the handles are the sync's own state, which no view
// follows. Only the sync's own flows set its fields; tests arrange them, and reach the task handles,
// through BackgroundLibrarySyncTestAccess.
//
// Thread safety: the creating thread only (the main thread); flows return to it before they touch a
// field. The monitor's handlers run on its own thread and only post to the store's scope.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "services/folders/registered_folder_sync_planner.h"
#include "services/image_library_servicing.h"
#include "store/async/creating_thread.h"
#include "store/async/store_task.h"
#include "store/context/store_context.h"
#include "store/library/background_sync_library.h"
#include "store/library/library_dependents.h"

namespace lorvex {

class BackgroundLibrarySync : public QObject {
  Q_OBJECT

 public:
  // `context`, `dependents` and `library` outlive the sync.
  BackgroundLibrarySync(StoreContext& context, LibraryDependents& dependents, BackgroundSyncLibrary& library,
                        QObject* parent = nullptr);
  ~BackgroundLibrarySync() override;

  bool isBackgroundSyncing() const { return isBackgroundSyncing_; }
  double backgroundLibrarySyncDebounceSeconds() const { return backgroundLibrarySyncDebounceSeconds_; }
  std::uint64_t monitorRecoveryIntervalNanos() const { return monitorRecoveryIntervalNanos_; }
  const RegisteredFolderSyncPlanner& backgroundSyncPlanner() const { return backgroundSyncPlanner_; }

  // The debounce or the recovery loop is under way (a flow that ended but left its handle counts
  // as ended).
  bool hasFlowUnderWay() const;
  // Monitoring runs, its recovery loop does or a restart is under way: starting background sync
  // does nothing then.
  bool isBackgroundSyncRunning() const {
    return backgroundSyncPlanner_.isMonitoring ||
           static_cast<bool>(backgroundLibrarySyncMonitorRecoveryTask_) || monitoringRestart_.has_value();
  }

  // What the monitoring decision reads from the service: the registered roots and, when the
  // decision starts a monitor, the event position of its roots. The flows that can wait read them
  // on the utility pool first: the position's read looks over the library's rows and waits for a
  // running write transaction, which the main thread must not.
  struct FolderMonitoringInputs {
    RegisteredFolderRoots roots;
    std::vector<std::string> checkpointRoots;
    std::optional<RegisteredFolderEventCheckpoint> checkpoint;
  };
  // Nothing when a read failed: the decision then reads again and reports the error itself.
  QCoro::Task<std::optional<FolderMonitoringInputs>> readFolderMonitoringInputs();

  // Monitors the available registered folders and, once their changes have been quiet for
  // `debounceSeconds` (at least 0.1; NaN counts as 0.1), runs one background pass over what
  // changed. While a registered folder is missing, monitoring could not start or it ended on its
  // own, a recovery loop re-evaluates monitoring every `monitorRecoveryIntervalNanos` (at least
  // 1 ms), first running a full pass when the library has no usable event position. Does nothing
  // while monitoring runs or the recovery loop does. Calls the service's monitoring members on this
  // thread. With `inputs` read just before (nothing between them and this call may suspend), the
  // service is not asked again; inputs whose roots differ from the decision's are not used.
  void startBackgroundLibrarySync(double debounceSeconds, std::uint64_t monitorRecoveryIntervalNanos,
                                  std::optional<FolderMonitoringInputs> inputs = std::nullopt);
  // Stops and starts again with the current intervals (the folder set changed) and schedules a pass
  // for changes still pending. Does nothing before the live service is in place. The monitor's stop,
  // the reads the decision needs and the monitor's start run on the utility pool; the decision is
  // applied here when they are done, unless a later restart or a stop came first.
  QCoro::Task<void> restartBackgroundLibrarySync();
  // Cancels the debounce, the recovery loop and a restart under way and stops monitoring. Pending
  // changes and the trashed files to ignore are kept; a pass already running goes on.
  void stopBackgroundLibrarySync();
  // Makes every restart's job that has not started its monitor yet start none. The composition
  // calls it first when it goes, before the flows end.
  void abandonFolderMonitorRestarts();

  // A scan that failed left work a full background pass must make up for (the launch's resumption,
  // say): the recovery loop runs that pass before it ends, however complete monitoring is.
  bool backgroundPassOwed() const { return backgroundPassOwed_; }
  void oweBackgroundPass();
  // Owes a full pass and starts the recovery loop for it after its interval, and again after each
  // interval until one succeeds, leaving running monitoring and the failure's message alone
  // meanwhile. A loop already running takes it up at its next check.
  void retryBackgroundPassLater();

  // The program has moved these files to the Trash: while monitoring runs, its report of their
  // removal is the program's own and starts no background pass for them.
  void ignoreTrashedFileRemovals(const std::vector<std::string>& trashedPaths);
  // Files found changed since the library read them, by other means than monitoring: while
  // monitoring runs, a changed-path pass reads them again after the debounce, as it would files
  // monitoring reported.
  void rereadChangedFiles(const std::vector<std::string>& paths);
  // A scan saw the current state of these folders: the trashed files under them need no more
  // ignoring.
  void clearLocallyHandledTrashPaths(const std::vector<std::string>& roots);

 Q_SIGNALS:
  void isBackgroundSyncingChanged();

 private:
  friend struct BackgroundLibrarySyncTestAccess;

  void setIsBackgroundSyncing(bool value);
  void setBackgroundLibrarySyncTask(StoreTask<void> value);
  void setBackgroundLibrarySyncMonitorRecoveryTask(StoreTask<void> value);
  void setBackgroundLibrarySyncDebounceSeconds(double value);
  void setMonitorRecoveryIntervalNanos(std::uint64_t value);
  void setBackgroundSyncPlanner(RegisteredFolderSyncPlanner value);

  // What applying the monitoring decision achieved: `complete` when every registered folder is
  // monitored; `needsFullSync` when monitoring did not start for want of an event position.
  struct FolderMonitoringOutcome {
    bool complete = false;
    bool needsFullSync = false;
  };
  FolderMonitoringOutcome updateFolderMonitoring(std::optional<FolderMonitoringInputs> inputs = std::nullopt);
  // Stops the running monitor and forgets it: its handlers' late calls are ignored from now on.
  void stopFolderMonitor();
  void startMonitorRecovery(bool needsFullSync);
  QCoro::Task<void> runMonitorRecovery(bool needsFullSync, std::stop_token stop);
  // The monitor of `generation` ended on its own: nothing is monitored any more.
  void folderMonitoringEnded(std::uint64_t generation, const std::exception_ptr& failure);
  void enqueueFolderChangeBatch(const RegisteredFolderChangeBatch& batch);
  void scheduleBackgroundLibrarySync();
  QCoro::Task<void> debounceBackgroundLibrarySync(std::int64_t nanoseconds, std::stop_token stop);
  QCoro::Task<void> processPendingBackgroundLibrarySync();
  // One background pass: the changed paths, or every available folder when `requiresFullRescan` or
  // no path is given. True when it completed or only stored the event position.
  QCoro::Task<bool> runBackgroundLibrarySync(std::vector<std::string> changedURLs,
                                             std::optional<std::uint64_t> lastEventID,
                                             bool requiresFullRescan);
  // After a full pass the monitor asked for: monitoring moves to where the registered folders are
  // now, when a folder was renamed or moved.
  QCoro::Task<void> followMovedFolders();

  // Advanced by every monitor start and stop; an end reported by an older monitor is stale.
  std::uint64_t folderMonitoringGeneration_ = 0;

  // Orders the monitor's stops and starts made on the pool by restarts with each other and with the
  // stops made here.
  struct FolderMonitorControl;
  std::shared_ptr<FolderMonitorControl> folderMonitorControl_;
  // The restart under way: its stop source, and the end its new monitor reported before the
  // restart was applied.
  struct MonitoringRestart {
    std::stop_source stop;
    std::uint64_t generation = 0;
    std::exception_ptr endedWith;
  };
  std::optional<MonitoringRestart> monitoringRestart_;
  const std::shared_ptr<FolderMonitorControl>& folderMonitorControl();
  // The handlers of the monitor started as `generation`: they only post to this store's scope.
  FolderChangeHandler folderChangeHandler();
  FolderMonitoringFailureHandler folderMonitoringEndedHandler(std::uint64_t generation);

  CreatingThread creatingThread_;
  StoreContext& context_;
  LibraryDependents& dependents_;
  BackgroundSyncLibrary& library_;

  bool isBackgroundSyncing_{false};
  StoreTask<void> backgroundLibrarySyncTask_;
  StoreTask<void> backgroundLibrarySyncMonitorRecoveryTask_;
  double backgroundLibrarySyncDebounceSeconds_{2.0};
  std::uint64_t monitorRecoveryIntervalNanos_{30'000'000'000};
  RegisteredFolderSyncPlanner backgroundSyncPlanner_;
  // A pass that failed is still owed: the recovery loop runs it before it ends.
  bool backgroundPassOwed_{false};
};

}  // namespace lorvex
