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

class LibraryModel::BackgroundSyncLibraryOfModel final : public BackgroundSyncLibrary {
 public:
  explicit BackgroundSyncLibraryOfModel(LibraryModel& model) : model_(model) {}

  bool isLibrarySyncInProgress() const override { return model_.isLibrarySyncInProgress_; }
  void setIsLibrarySyncInProgress(bool value) override { model_.setIsLibrarySyncInProgress(value); }
  QCoro::Task<std::optional<ImageLibraryScanSummary>> runIndexingOperation(
      IndexingOperation operation) override {
    return model_.runIndexingOperation(IndexingPriority::utility, std::move(operation));
  }
  void recordScan(ImageLibraryScanSummary summary, ImageLibraryScanDiagnosticContext context) override {
    model_.setLastScanSummary(std::move(summary));
    model_.setLastScanDiagnosticContext(std::move(context));
  }
  QCoro::Task<void> loadRegisteredFolderSummaries() override {
    return model_.loadRegisteredFolderSummaries();
  }

 private:
  LibraryModel& model_;
};

LibraryModel::LibraryModel(StoreContext& context, LibraryDependents& dependents,
                           LiveServiceFactory liveServiceFactory, QObject* parent)
    : QObject(parent),
      context_(context),
      dependents_(dependents),
      liveServiceFactory_(std::move(liveServiceFactory)),
      backgroundSyncLibrary_(std::make_unique<BackgroundSyncLibraryOfModel>(*this)),
      backgroundSync_(std::make_unique<BackgroundLibrarySync>(context, dependents, *backgroundSyncLibrary_)) {
  // One signal for the views, sent only when the answer changes.
  const auto follow = [this] {
    const bool checking = isCheckingRegisteredFolders();
    if (checking == wasCheckingRegisteredFolders_) return;
    wasCheckingRegisteredFolders_ = checking;
    emit isCheckingRegisteredFoldersChanged();
  };
  for (const auto signal :
       {&LibraryModel::isLoadingRegisteredFoldersChanged,
        &LibraryModel::hasLoadedRegisteredFolderSummariesChanged,
        &LibraryModel::registeredFolderSummariesChanged, &LibraryModel::launchWorkflowTaskChanged}) {
    connect(this, signal, this, follow);
  }
  connect(&context_, &StoreContext::needsLiveServicePreparationChanged, this, follow);
  wasCheckingRegisteredFolders_ = isCheckingRegisteredFolders();
}

LibraryModel::~LibraryModel() = default;

bool LibraryModel::isCheckingRegisteredFolders() const {
  if (isLoadingRegisteredFolders_) return true;
  return !hasLoadedRegisteredFolderSummaries_ && registeredFolderSummaries_.empty() &&
         (context_.needsLiveServicePreparation() || isUnderWay(launchWorkflowTask_));
}

bool LibraryModel::hasFlowUnderWay() const {
  return backgroundSync_->hasFlowUnderWay() || isUnderWay(launchWorkflowTask_) ||
         isUnderWay(thumbnailCacheMaintenanceTask_);
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

void LibraryModel::setIsIndexing(bool value) {
  creatingThread_.check();
  assignObserved(isIndexing_, std::move(value), this, &LibraryModel::isIndexingChanged);
}

void LibraryModel::setIsLibrarySyncInProgress(bool value) {
  creatingThread_.check();
  assignObserved(isLibrarySyncInProgress_, std::move(value), this,
                 &LibraryModel::isLibrarySyncInProgressChanged);
}

void LibraryModel::setActiveFolderRegistrationRootPaths(std::vector<std::string> value) {
  creatingThread_.check();
  activeFolderRegistrationRootPaths_ = std::move(value);
}

void LibraryModel::setLaunchWorkflowTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(launchWorkflowTask_, std::move(value), this, &LibraryModel::launchWorkflowTaskChanged);
}

void LibraryModel::setThumbnailCacheMaintenanceTask(StoreTask<void> value) {
  creatingThread_.check();
  thumbnailCacheMaintenanceTask_ = std::move(value);
}

void LibraryModel::setDidStartThumbnailCacheMaintenance(bool value) {
  creatingThread_.check();
  didStartThumbnailCacheMaintenance_ = value;
}

void LibraryModel::setLastIndexingResultRefreshIndexedCount(int value) {
  creatingThread_.check();
  lastIndexingResultRefreshIndexedCount_ = value;
}

void LibraryModel::setLastIndexingResultRefreshAt(double value) {
  creatingThread_.check();
  lastIndexingResultRefreshAt_ = value;
}

void LibraryModel::setLibraryRecoveryNotice(std::optional<LibraryRecoveryNotice> value) {
  creatingThread_.check();
  assignObserved(libraryRecoveryNotice_, std::move(value), this, &LibraryModel::libraryRecoveryNoticeChanged);
}

void LibraryModel::setLibraryOpenFailure(std::optional<LibraryOpenFailure> value) {
  creatingThread_.check();
  assignObserved(libraryOpenFailure_, std::move(value), this, &LibraryModel::libraryOpenFailureChanged);
}

}  // namespace lorvex
