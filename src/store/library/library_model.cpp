#include "store/library/library_model.h"

#include <utility>

#include "store/observed_value.h"

namespace lorvex {

namespace {

template <typename T>
bool isUnderWay(const StoreTask<T>& task) {
  // A flow that ended but left its handle in place has nothing more to do.
  return task && !task.isFinished();
}

}  // namespace

LibraryModel::LibraryModel(StoreContext& context, LibraryDependents& dependents,
                           LiveServiceFactory liveServiceFactory, QObject* parent)
    : QObject(parent),
      context_(context),
      dependents_(dependents),
      liveServiceFactory_(std::move(liveServiceFactory)) {}

LibraryModel::~LibraryModel() = default;

bool LibraryModel::hasFlowUnderWay() const {
  return isUnderWay(backgroundLibrarySyncTask_) || isUnderWay(backgroundLibrarySyncMonitorRecoveryTask_) ||
         isUnderWay(launchWorkflowTask_) || isUnderWay(thumbnailCacheMaintenanceTask_);
}

void LibraryModel::ignoreTrashedFileRemovals(const std::vector<std::string>& trashedPaths) {
  creatingThread_.check();
  // The monitor reports these removals like anyone else's; they are the program's own.
  updateBackgroundSyncPlanner([&](RegisteredFolderSyncPlanner& planner) {
    if (!planner.isMonitoring) return;
    planner.locallyHandledTrashPaths.insert(trashedPaths.begin(), trashedPaths.end());
  });
}

void LibraryModel::setRegisteredFolderSummaries(std::vector<RegisteredFolderSummary> value) {
  creatingThread_.check();
  assignObserved(registeredFolderSummaries_, std::move(value), this,
                 &LibraryModel::registeredFolderSummariesChanged);
}

void LibraryModel::setIsLoadingRegisteredFolders(bool value) {
  creatingThread_.check();
  assignObserved(isLoadingRegisteredFolders_, std::move(value), this,
                 &LibraryModel::isLoadingRegisteredFoldersChanged);
}

void LibraryModel::setHasLoadedRegisteredFolderSummaries(bool value) {
  creatingThread_.check();
  assignObserved(hasLoadedRegisteredFolderSummaries_, std::move(value), this,
                 &LibraryModel::hasLoadedRegisteredFolderSummariesChanged);
}

void LibraryModel::setLastScanDiagnosticContext(std::optional<ImageLibraryScanDiagnosticContext> value) {
  creatingThread_.check();
  assignObserved(lastScanDiagnosticContext_, std::move(value), this,
                 &LibraryModel::lastScanDiagnosticContextChanged);
}

void LibraryModel::setLastScanSummary(std::optional<ImageLibraryScanSummary> value) {
  creatingThread_.check();
  assignObserved(lastScanSummary_, std::move(value), this, &LibraryModel::lastScanSummaryChanged);
}

void LibraryModel::setIndexingProgress(std::optional<ImageLibraryIndexingProgress> value) {
  creatingThread_.check();
  assignObserved(indexingProgress_, std::move(value), this, &LibraryModel::indexingProgressChanged);
}

void LibraryModel::setIsPreparingLibrary(bool value) {
  creatingThread_.check();
  assignObserved(isPreparingLibrary_, std::move(value), this, &LibraryModel::isPreparingLibraryChanged);
}

void LibraryModel::setIsBackgroundSyncing(bool value) {
  creatingThread_.check();
  assignObserved(isBackgroundSyncing_, std::move(value), this, &LibraryModel::isBackgroundSyncingChanged);
}

void LibraryModel::setIsIndexing(bool value) {
  creatingThread_.check();
  assignObserved(isIndexing_, std::move(value), this, &LibraryModel::isIndexingChanged);
}

void LibraryModel::setIsLibrarySyncInProgress(bool value) {
  creatingThread_.check();
  assignObserved(isLibrarySyncInProgress_, std::move(value), this,
                 &LibraryModel::isLibrarySyncInProgressChanged);
}

void LibraryModel::setBackgroundLibrarySyncTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(backgroundLibrarySyncTask_, std::move(value), this,
                 &LibraryModel::backgroundLibrarySyncTaskChanged);
}

void LibraryModel::setBackgroundLibrarySyncMonitorRecoveryTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(backgroundLibrarySyncMonitorRecoveryTask_, std::move(value), this,
                 &LibraryModel::backgroundLibrarySyncMonitorRecoveryTaskChanged);
}

void LibraryModel::setBackgroundLibrarySyncDebounceSeconds(double value) {
  creatingThread_.check();
  assignObserved(backgroundLibrarySyncDebounceSeconds_, std::move(value), this,
                 &LibraryModel::backgroundLibrarySyncDebounceSecondsChanged);
}

void LibraryModel::setMonitorRecoveryIntervalNanos(std::uint64_t value) {
  creatingThread_.check();
  assignObserved(monitorRecoveryIntervalNanos_, std::move(value), this,
                 &LibraryModel::monitorRecoveryIntervalNanosChanged);
}

void LibraryModel::setBackgroundSyncPlanner(RegisteredFolderSyncPlanner value) {
  creatingThread_.check();
  backgroundSyncPlanner_ = std::move(value);
  Q_EMIT backgroundSyncPlannerChanged();
}

void LibraryModel::setActiveFolderRegistrationRootPaths(std::vector<std::string> value) {
  creatingThread_.check();
  assignObserved(activeFolderRegistrationRootPaths_, std::move(value), this,
                 &LibraryModel::activeFolderRegistrationRootPathsChanged);
}

void LibraryModel::setLaunchWorkflowTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(launchWorkflowTask_, std::move(value), this, &LibraryModel::launchWorkflowTaskChanged);
}

void LibraryModel::setThumbnailCacheMaintenanceTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(thumbnailCacheMaintenanceTask_, std::move(value), this,
                 &LibraryModel::thumbnailCacheMaintenanceTaskChanged);
}

void LibraryModel::setDidStartThumbnailCacheMaintenance(bool value) {
  creatingThread_.check();
  assignObserved(didStartThumbnailCacheMaintenance_, std::move(value), this,
                 &LibraryModel::didStartThumbnailCacheMaintenanceChanged);
}

void LibraryModel::setLastIndexingResultRefreshIndexedCount(int value) {
  creatingThread_.check();
  assignObserved(lastIndexingResultRefreshIndexedCount_, std::move(value), this,
                 &LibraryModel::lastIndexingResultRefreshIndexedCountChanged);
}

void LibraryModel::setLastIndexingResultRefreshAt(double value) {
  creatingThread_.check();
  assignObserved(lastIndexingResultRefreshAt_, std::move(value), this,
                 &LibraryModel::lastIndexingResultRefreshAtChanged);
}

void LibraryModel::setLibraryRecoveryNotice(std::optional<LibraryRecoveryNotice> value) {
  creatingThread_.check();
  assignObserved(libraryRecoveryNotice_, std::move(value), this, &LibraryModel::libraryRecoveryNoticeChanged);
}

}  // namespace lorvex
