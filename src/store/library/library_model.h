// LibraryModel: the library as the registered folders make it up: the launch that installs the live
// library and catches up with the folders, registering, unregistering and reauthorising folders,
// the scans a person asks for, the runner every scan goes through with its live progress, and the
// sidebar's folder list. It holds their state: the registered folders and their counts, the busy
// flags, the indexing progress and the last scan. It owns background sync (backgroundSync()), which
// its registration, unregistering, reauthorising and launch flows restart or start.
//
// Every observed field has a getter and a change signal; it is stored silently when equal and
// signalled once, after storing, when different. The registration's roots, the cache sweep's handle
// and flag, and the indexing-time refresh throttle are the model's own state, which no view
// follows. Only the model's own flows set its fields; tests arrange them, and reach the task handles
// and generations, through LibraryModelTestAccess.
//
// What its flows ask of the results, the suggestions, the thumbnails and the Trash goes through
// LibraryDependents, which the composition supplies; it also wires what other features hear from
// the library.
//
// Thread safety: the creating thread only (the main thread); flows return to it before they touch
// a field.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "model/image_library_scan_summary.h"
#include "model/indexing_job.h"
#include "model/library_open_failure.h"
#include "model/library_recovery_notice.h"
#include "model/registered_folder.h"
#include "model/scan_diagnostic_context.h"
#include "services/image_library_servicing.h"
#include "store/async/creating_thread.h"
#include "store/async/scope_exit.h"
#include "store/async/store_task.h"
#include "store/context/store_context.h"
#include "store/library/background_library_sync.h"
#include "store/library/library_dependents.h"

namespace lorvex {

// Builds the live service graph; may throw, may be called from any thread.
using LiveServiceFactory = std::function<std::shared_ptr<ImageLibraryServicing>()>;

class LibraryModel : public QObject {
  Q_OBJECT

 public:
  // The time before any refresh was made: year 1, so "seconds since" is always large.
  static constexpr double kDistantPast = -62'135'596'800.0;

  // `context` and `dependents` outlive the model. `liveServiceFactory` builds the live library the
  // launch installs while the context still needs its preparation.
  LibraryModel(StoreContext& context, LibraryDependents& dependents, LiveServiceFactory liveServiceFactory,
               QObject* parent = nullptr);
  ~LibraryModel() override;

  // The store this model belongs to: its scope is where a view starts flows that use the model.
  StoreContext& context() const { return context_; }
  const LiveServiceFactory& liveServiceFactory() const { return liveServiceFactory_; }
  // Folder monitoring, the background passes and their recovery loop.
  BackgroundLibrarySync& backgroundSync() const { return *backgroundSync_; }

  const std::vector<RegisteredFolderSummary>& registeredFolderSummaries() const {
    return registeredFolderSummaries_;
  }
  bool isLoadingRegisteredFolders() const { return isLoadingRegisteredFolders_; }
  bool hasLoadedRegisteredFolderSummaries() const { return hasLoadedRegisteredFolderSummaries_; }
  const std::optional<ImageLibraryScanDiagnosticContext>& lastScanDiagnosticContext() const {
    return lastScanDiagnosticContext_;
  }
  const std::optional<ImageLibraryScanSummary>& lastScanSummary() const { return lastScanSummary_; }
  const std::optional<ImageLibraryIndexingProgress>& indexingProgress() const { return indexingProgress_; }
  bool isPreparingLibrary() const { return isPreparingLibrary_; }
  bool isIndexing() const { return isIndexing_; }
  bool isLibrarySyncInProgress() const { return isLibrarySyncInProgress_; }
  const std::vector<std::string>& activeFolderRegistrationRootPaths() const {
    return activeFolderRegistrationRootPaths_;
  }
  bool didStartThumbnailCacheMaintenance() const { return didStartThumbnailCacheMaintenance_; }
  int lastIndexingResultRefreshIndexedCount() const { return lastIndexingResultRefreshIndexedCount_; }
  double lastIndexingResultRefreshAt() const { return lastIndexingResultRefreshAt_; }
  // What preparing the library did with the file it found (a damaged one rebuilt, or one of another
  // kind set aside), from the live service once it is installed; shown until the process ends.
  const std::optional<LibraryRecoveryNotice>& libraryRecoveryNotice() const { return libraryRecoveryNotice_; }
  // Why preparing the library failed, while no library is open: the window says so in place of the
  // library. Cleared once a later attempt opens it.
  const std::optional<LibraryOpenFailure>& libraryOpenFailure() const { return libraryOpenFailure_; }
  // Whether the sidebar and the empty results say the folder list is being checked: while it
  // loads, and, with no folder known, while the launch has yet to read it (the live library still
  // to be prepared, or the launch under way). The first-run welcome shows only once the list is
  // known to be empty, or once a launch ended without reading it.
  bool isCheckingRegisteredFolders() const;

  // The library folder the live-service factory opens, for a failure to name, and whether a launch
  // that finds it held by another process waits for it to let go (the window does; a tool reports
  // it at once). Set once by the composition, before the launch.
  void setLibraryLocation(std::string folder, bool waitsWhileInUse) {
    libraryFolder_ = std::move(folder);
    waitsWhileLibraryInUse_ = waitsWhileInUse;
  }

  // One of the model's flows is under way: a launch run, the thumbnail cache sweep, a debounced
  // background pass or the monitor recovery loop (a flow that ended but left its handle counts as
  // ended).
  bool hasFlowUnderWay() const;

  // ---- Folder summaries ----

  // Reloads the sidebar's folder list from the service, on the utility pool. Does nothing before
  // the live service is installed. A success replaces the list and clears the error message; a
  // failure shows its text and keeps the last good list. Of overlapping loads only the one started
  // last applies its outcome and ends the loading flag: an older load finishing late would put
  // stale counts back.
  QCoro::Task<void> loadRegisteredFolderSummaries();

  // ---- Indexing runner and indexing-time refresh ----

  // The pool a scan runs on: user-initiated for the scans a person asked for (registration, the
  // syncs, the resumption at launch), utility for background passes.
  enum class IndexingPriority { userInitiated, utility };

  // A scan run off the main thread: it reports its progress through the handler (on its own
  // thread, as often as it likes) and returns its summary, or nothing when there was nothing to
  // record. The stop token is requested only when the store goes away; the store never stops a
  // scan otherwise.
  using IndexingOperation = std::function<std::optional<ImageLibraryScanSummary>(
      const ImageLibraryServicing::ProgressHandler& progress, std::stop_token stop)>;

  // Runs `operation` on the priority's pool. Every progress value it reports reaches
  // `indexingProgress` on the main thread, in the order reported, and then the indexing-time
  // refresh throttle; the scan never waits for the main thread. When the operation has returned
  // or thrown and all its progress has been applied, `indexingProgress` is cleared and then its
  // summary is returned or its error rethrown. Starts by resetting the throttle (count 0, time
  // now).
  QCoro::Task<std::optional<ImageLibraryScanSummary>> runIndexingOperation(IndexingPriority priority,
                                                                           IndexingOperation operation);

  // The result refresh throttle during a scan. Only `indexing` progress whose indexedCount is
  // above `lastIndexingResultRefreshIndexedCount` counts; it schedules a background refresh once
  // 100 more images were indexed or 2.0 s passed since the last refresh: the whole window when
  // `needsFullWindowResultRefresh` is set, else the leading page. Only a refresh that started is
  // recorded (the flag cleared, the count and the time kept); otherwise the next value tries again.
  //
  // `lastIndexingResultRefreshAt` holds the store clock's monotonic time in seconds, not a date: a
  // wall clock set back must not hold refreshes back for as long.
  void refreshResultsForIndexingProgress(const ImageLibraryIndexingProgress& progress);

  // ---- Folder registration ----

  // Registers the folders chosen in the folder picker (paths, as chosen) and indexes them with a
  // full scan, with live progress; while it runs, searches include the new folders. Dropped
  // silently when the list is empty or other library work or a trash operation runs. Afterwards
  // the scan is recorded for the diagnostics, the sidebar, results and tag suggestions reload,
  // thumbnails start and monitoring restarts for the new folder set. A failure shows its text;
  // when the service had registered the folders before the failure, the sidebar and monitoring
  // still follow them. The busy flags are lowered on every path.
  QCoro::Task<void> registerFolders(std::vector<std::string> folderURLs);

  // ---- Manual and single-folder sync ----

  // Scans every available registered folder; true when the scan ran to its end and was recorded.
  // False at once while other library work or a trash operation runs; false without a message when
  // no folder is available (the sidebar, results and tag suggestions still reload). A failure shows
  // its text and keeps the last recorded scan. The stored event position is the one read before
  // the scan, whatever files failed. Monitoring is left as it is.
  QCoro::Task<bool> syncRegisteredFolders();
  // The same for the one registered folder at `path` (as the sidebar row has it). A failure (the
  // folder unregistered or unavailable) reloads the sidebar, then shows its text.
  QCoro::Task<bool> syncRegisteredFolder(std::string path);

  // ---- Unregistering and reauthorising folders ----

  // Removes the registered folder at `path`; refused silently while other library work or a
  // trash operation runs. On success the sidebar and results reload and monitoring restarts for
  // the folders left; a failure shows its text and refreshes nothing. Raises no busy flag.
  QCoro::Task<void> unregisterFolder(std::string path);
  // Renews the access to the registered folder at `path` with the folder `url` the user picked
  // again (the service refuses another folder). Never refused. On success as unregisterFolder,
  // and then the error message is cleared.
  QCoro::Task<void> reauthorizeFolder(std::string url, std::string path);

  // ---- Launch workflow ----

  // What the launch hands background sync: the quiet time before a batch of folder changes is
  // passed, and how often monitoring is retried while it is incomplete.
  static constexpr double kLaunchBackgroundSyncDebounceSeconds = 2.0;
  static constexpr std::uint64_t kLaunchMonitorRecoveryIntervalNanos = 30'000'000'000;
  // Records the launch asks for: after a resumed scan or with no folder registered, a full first
  // page; with the folders already up to date, the screenful the window shows first.
  static constexpr int kLaunchResumedResultLimit = 500;
  static constexpr int kLaunchUpToDateResultLimit = 120;
  // The thumbnail cache sweep spares files touched within this many seconds before it starts.
  static constexpr double kThumbnailCacheSweepAgeSeconds = 600.0;
  // While another process holds the library, how often the launch tries to open it again.
  static constexpr std::int64_t kLibraryReleasePollNanos = 1'000'000'000;

  // Makes the library usable; the main window calls it each time it is shown and it returns at
  // once. Unless a run is under way, a run builds and installs the live service (once per store),
  // shows the folder list and the first screenful before anything that reads the whole library,
  // loads the folders' counts, finishes a scan an earlier run left unfinished, restores the
  // registered folders' access and brings the library up to date with them, starts background
  // sync and starts one thumbnail cache sweep per store. A failed preparation installs an
  // unavailable service holding the failure, shows its text and sets `libraryOpenFailure`; it ends
  // the run unless another process holds the library and the composition asked to wait for it
  // (setLibraryLocation): then the run tries again, off the main
  // thread, every kLibraryReleasePollNanos until it opens (and goes on as a normal launch) or fails
  // otherwise. Damage the first page or the folder counts meet in a library that opened is
  // repaired in the same run: the library is opened again (which repairs it, or sets the file aside
  // and builds a new one) and both are read anew. `launchWorkflowTask` holds the run while it goes.
  void startLaunchWorkflow();
  // Builds the live service on the user-initiated pool and installs it (the launch then loads the
  // folder list, the first page and the sidebar's counts). True when the launch may go on: nothing
  // was left to prepare, or it was prepared now. False while another preparation runs, and after a
  // failure (shown, and held by the unavailable service installed in its place; the store no
  // longer waits for preparation).
  QCoro::Task<bool> prepareLiveServiceIfNeeded();
  // Finishes the indexing job an earlier run left unfinished, with live progress, and stores the
  // event position read before it for the job's folders. True when a job was resumed (then
  // recorded and followed by the reloads); false when none was left, when other library work or a
  // trash operation runs, or on a failure (shown).
  QCoro::Task<bool> resumeInterruptedIndexingIfNeeded();
  // Restores the registered folders' access and catches up with them: with nothing registered the
  // sidebar, a full first page and the tag suggestions reload; without a stored event position
  // every folder is synced; with one, the tag suggestions load and the first page unless
  // `pageIsCurrent` (the changes made meanwhile come from monitoring, which starts from that
  // position). Skipped while other library work or a trash operation runs; a failure is shown.
  QCoro::Task<void> restoreFolderAccessAndSync(bool pageIsCurrent = false);
  // Starts the one thumbnail cache sweep of this store on the utility pool, once the live service
  // is in place; later calls do nothing. Its outcome is not shown.
  void startThumbnailCacheMaintenanceIfNeeded();

 Q_SIGNALS:
  void registeredFolderSummariesChanged();
  void isLoadingRegisteredFoldersChanged();
  void hasLoadedRegisteredFolderSummariesChanged();
  void lastScanDiagnosticContextChanged();
  void lastScanSummaryChanged();
  void indexingProgressChanged();
  void isPreparingLibraryChanged();
  void isIndexingChanged();
  void isLibrarySyncInProgressChanged();
  void launchWorkflowTaskChanged();
  void libraryRecoveryNoticeChanged();
  void libraryOpenFailureChanged();
  void isCheckingRegisteredFoldersChanged();

 private:
  friend struct LibraryModelTestAccess;

  void setRegisteredFolderSummaries(std::vector<RegisteredFolderSummary> value);
  void setIsLoadingRegisteredFolders(bool value);
  void setHasLoadedRegisteredFolderSummaries(bool value);
  void setLastScanDiagnosticContext(std::optional<ImageLibraryScanDiagnosticContext> value);
  void setLastScanSummary(std::optional<ImageLibraryScanSummary> value);
  void setIndexingProgress(std::optional<ImageLibraryIndexingProgress> value);
  void setIsPreparingLibrary(bool value);
  void setIsIndexing(bool value);
  void setIsLibrarySyncInProgress(bool value);
  void setActiveFolderRegistrationRootPaths(std::vector<std::string> value);
  void setLaunchWorkflowTask(StoreTask<void> value);
  void setThumbnailCacheMaintenanceTask(StoreTask<void> value);
  void setDidStartThumbnailCacheMaintenance(bool value);
  void setLastIndexingResultRefreshIndexedCount(int value);
  void setLastIndexingResultRefreshAt(double value);
  void setLibraryRecoveryNotice(std::optional<LibraryRecoveryNotice> value);
  void setLibraryOpenFailure(std::optional<LibraryOpenFailure> value);

  // ---- Indexing runner and indexing-time refresh: private ----

  // The store clock's monotonic reading in seconds, the unit of `lastIndexingResultRefreshAt`.
  double indexingRefreshClockSeconds() const;

  // Requested when the model is destroyed: a scan still running stops after the file in hand (its
  // job resumes at the next launch) instead of running on for a store that is gone.
  struct StopOnDestruction {
    std::stop_source source;
    StopOnDestruction() = default;
    StopOnDestruction(const StopOnDestruction&) = delete;
    StopOnDestruction& operator=(const StopOnDestruction&) = delete;
    ~StopOnDestruction() { source.request_stop(); }
  };
  StopOnDestruction indexingStop_;

  // ---- Folder registration: private ----

  // ---- Manual and single-folder sync: private ----

  // Raises the flags of a scan a person asked for (`isLibrarySyncInProgress`, `isIndexing`); the
  // guard lowers them when the workflow leaves by any path.
  ScopeExit<std::function<void()>> beginRequestedScan();
  struct RequestedScanOutcome {
    bool recorded = false;       // a summary came back and was recorded
    std::exception_ptr failure;  // the operation's error, not shown yet
  };
  // Runs a scan a person asked for on the user-initiated pool. With a summary: forgets the trashed
  // files under `roots` whose next change monitoring was to ignore (the scan saw them gone),
  // records the summary and the diagnostic context (`source`, `roots`, now), reloads and starts
  // thumbnail generation.
  QCoro::Task<RequestedScanOutcome> runRequestedScan(IndexingOperation operation,
                                                     std::vector<std::string> roots,
                                                     ImageLibraryScanDiagnosticSource source);
  // After a scan or a folder set change: the sidebar, the first page and the tag suggestions, in
  // that order.
  QCoro::Task<void> reloadAfterScan();

  // ---- Unregistering and reauthorising folders: private ----

  // A blocking service call that changes the registered folder set.
  using FolderSetChange = std::function<void()>;
  // Runs `change` on the user-initiated pool. A failure shows its text and gives false; success
  // reloads the sidebar and the first page, restarts monitoring and gives true.
  QCoro::Task<bool> applyFolderSetChange(FolderSetChange change);

  // ---- Launch workflow: private ----

  // The body of a launch run; `ended` is set as it leaves, so a run that never suspended is not
  // kept as running.
  QCoro::Task<void> runLaunchWorkflow(std::shared_ptr<bool> ended, std::stop_token stop);
  // The launch's first page, before anything that reads the whole library: the folder list without
  // its counts (installed unless summaries are loaded, with the loading flag raised until the
  // counts come), then the first screenful. True when that page was loaded; false with nothing
  // registered, while other library work runs, or on a failure (shown).
  QCoro::Task<bool> showLaunchFirstPage();
  // The first page, then (unless it met damage) the sidebar's counts; true when the page was loaded.
  QCoro::Task<bool> showLaunchLibrary();
  // Runs the live-service factory on the user-initiated pool: the service, or the failure.
  QCoro::Task<std::pair<std::shared_ptr<ImageLibraryServicing>, std::exception_ptr>> buildLiveService();
  // Installs a live service the factory built, with what its preparation did to the library file.
  void installLiveService(std::shared_ptr<ImageLibraryServicing> live);
  // After a failed preparation: the unavailable service holding `failure`, its text, and the
  // window's account of it.
  void holdPreparationFailure(const std::exception_ptr& failure);
  // While another process holds the library: tries again every kLibraryReleasePollNanos until the
  // library opens (true) or the failure is another (false), or `stop` is requested.
  QCoro::Task<bool> openLibraryOnceReleased(std::stop_token stop);
  // The launch met a damaged library file (shown as such).
  bool metLibraryDamage() const;
  // Lets go of the damaged library and prepares it again; true when it opened.
  QCoro::Task<bool> reopenDamagedLibrary(std::stop_token stop);
  QCoro::Task<void> sweepThumbnailCache(std::shared_ptr<ImageLibraryServicing> service, double cutoff,
                                        std::stop_token stop);

  // Advanced by every folder summaries load that starts; a load applies only while it is current.
  std::uint64_t registeredFolderSummariesGeneration_ = 0;

  CreatingThread creatingThread_;
  StoreContext& context_;
  LibraryDependents& dependents_;
  const LiveServiceFactory liveServiceFactory_;

  std::vector<RegisteredFolderSummary> registeredFolderSummaries_;
  bool isLoadingRegisteredFolders_{false};
  bool hasLoadedRegisteredFolderSummaries_{false};
  bool wasCheckingRegisteredFolders_{false};  // what isCheckingRegisteredFolders last told
  std::optional<ImageLibraryScanDiagnosticContext> lastScanDiagnosticContext_;
  std::optional<ImageLibraryScanSummary> lastScanSummary_;
  std::optional<ImageLibraryIndexingProgress> indexingProgress_;
  bool isPreparingLibrary_{false};
  bool isIndexing_{false};
  bool isLibrarySyncInProgress_{false};
  std::vector<std::string> activeFolderRegistrationRootPaths_;
  StoreTask<void> launchWorkflowTask_;
  // When the running launch began: its trace gives each step's start from here.
  std::chrono::steady_clock::time_point launchBegan_;
  StoreTask<void> thumbnailCacheMaintenanceTask_;
  bool didStartThumbnailCacheMaintenance_{false};
  int lastIndexingResultRefreshIndexedCount_{0};
  double lastIndexingResultRefreshAt_{kDistantPast};
  std::optional<LibraryRecoveryNotice> libraryRecoveryNotice_;
  std::optional<LibraryOpenFailure> libraryOpenFailure_;
  std::string libraryFolder_;
  bool waitsWhileLibraryInUse_ = false;

  // What background sync reads and sets of this model (library_model.cpp); declared before the
  // sync, which uses it until it goes.
  class BackgroundSyncLibraryOfModel;
  const std::unique_ptr<BackgroundSyncLibraryOfModel> backgroundSyncLibrary_;
  const std::unique_ptr<BackgroundLibrarySync> backgroundSync_;
};

}  // namespace lorvex
