#include "store/image_library_store.h"

#include <utility>

#include "store/observed_value.h"

namespace lorvex {

StoreClock& systemStoreClock() {
  // Never destroyed: flows may still read it while the process exits.
  static auto* clock = new SystemStoreClock();
  return *clock;
}

ImageLibraryStore::ImageLibraryStore(
    std::shared_ptr<ImageLibraryServicing> service, std::optional<std::string> errorMessage,
    ProductFeatureAvailability featureAvailability,
    std::shared_ptr<CharacterSuggestionExclusionPersisting> characterSuggestionExclusionStore,
    std::shared_ptr<FilterTagPersisting> filterTagStore,
    std::shared_ptr<ImageLibraryUIPreferencePersisting> preferenceStore,
    std::uint64_t feedbackDismissDelayNanos, LiveServiceFactory liveServiceFactory,
    bool needsLiveServicePreparation, StoreClock& clock, QThreadPool& userInitiatedPool,
    QThreadPool& utilityPool, QObject* parent)
    : QObject(parent),
      context_(std::make_unique<StoreContext>(std::move(service), featureAvailability, clock,
                                              userInitiatedPool, utilityPool)),
      clock_(&context_->clock()),
      userInitiatedPool_(&context_->userInitiatedPool()),
      utilityPool_(&context_->utilityPool()),
      featureAvailability_(context_->featureAvailability()),
      service_(context_->service()),
      scope_(context_->scope()),
      concepts_(std::make_unique<TagConceptsModel>(*context_, conceptDependents_)),
      filters_(std::make_unique<FiltersModel>(*context_, filterDependents_, std::move(filterTagStore))),
      liveServiceFactory_(std::move(liveServiceFactory)),
      characterSuggestionExclusionStore_(std::move(characterSuggestionExclusionStore)),
      selection_(std::make_unique<ResultSelection>()),
      resultWindow_(std::make_unique<SearchResultWindow>()),
      trashReviewBrowser_(std::make_unique<TrashCandidateBrowser>()),
      presentation_(std::make_unique<ImageLibraryPresentationState>(std::move(preferenceStore))),
      review_(std::make_unique<ReviewModel>(*context_, reviewDependents_, feedbackDismissDelayNanos)) {
  characterSuggestionExclusions_ = characterSuggestionExclusionStore_->loadExclusions();
  setErrorMessage(std::move(errorMessage));
  setNeedsLiveServicePreparation(needsLiveServicePreparation);
  // The window never outlives the store, so the handler may hold it plainly.
  resultWindow_->setRecordsChangedHandler(
      [this](const SearchResultWindow::RecordsChange& change) { resultWindowRecordsDidChange(change); });
  resultWindow_->setRetiredRecordsHandler(
      [this](std::vector<RecordRef> records) { releaseRecordsOn(*utilityPool_, std::move(records)); });
  connectDerivedValueInputs();
  wireFeatureModels();
}

ImageLibraryStore::~ImageLibraryStore() {
  abandonFolderMonitorRestarts();
  // The window reports removals while it goes; nothing is left to keep in step by then.
  resultWindow_->setRecordsChangedHandler({});
  resultWindow_->setRetiredRecordsHandler({});
  // Every flow goes before any model or field it uses.
  context_->endFlows();
}

void ImageLibraryStore::resultWindowRecordsDidChange(const SearchResultWindow::RecordsChange& change) {
  creatingThread_.check();
  if (!selection_->reconcile(*resultWindow_, change.fallbackSelectionIndex).has_value()) {
    presentation_->setIsSlideshowPresented(false);
  }
}

void ImageLibraryStore::setSearchResultsResetCount(int value) {
  creatingThread_.check();
  assignObserved(searchResultsResetCount_, std::move(value), this,
                 &ImageLibraryStore::searchResultsResetCountChanged);
}

void ImageLibraryStore::setIsLoading(bool value) {
  creatingThread_.check();
  assignObserved(isLoading_, std::move(value), this, &ImageLibraryStore::isLoadingChanged);
}

void ImageLibraryStore::setIsLoadingNextPage(bool value) {
  creatingThread_.check();
  assignObserved(isLoadingNextPage_, std::move(value), this, &ImageLibraryStore::isLoadingNextPageChanged);
}

void ImageLibraryStore::setIsBackgroundRefreshingResults(bool value) {
  creatingThread_.check();
  assignObserved(isBackgroundRefreshingResults_, std::move(value), this,
                 &ImageLibraryStore::isBackgroundRefreshingResultsChanged);
}

void ImageLibraryStore::setRefreshSearchTask(StoreTask<std::vector<RecordRef>> value) {
  creatingThread_.check();
  assignObserved(refreshSearchTask_, std::move(value), this, &ImageLibraryStore::refreshSearchTaskChanged);
}

void ImageLibraryStore::setLoadMoreTask(StoreTask<bool> value) {
  creatingThread_.check();
  assignObserved(loadMoreTask_, std::move(value), this, &ImageLibraryStore::loadMoreTaskChanged);
}

void ImageLibraryStore::setLoadMoreTaskID(int value) {
  creatingThread_.check();
  assignObserved(loadMoreTaskID_, std::move(value), this, &ImageLibraryStore::loadMoreTaskIDChanged);
}

void ImageLibraryStore::setActiveLoadMoreTaskID(std::optional<int> value) {
  creatingThread_.check();
  assignObserved(activeLoadMoreTaskID_, std::move(value), this,
                 &ImageLibraryStore::activeLoadMoreTaskIDChanged);
}

void ImageLibraryStore::setBackgroundResultRefreshTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(backgroundResultRefreshTask_, std::move(value), this,
                 &ImageLibraryStore::backgroundResultRefreshTaskChanged);
}

void ImageLibraryStore::setBackgroundResultRefreshID(int value) {
  creatingThread_.check();
  assignObserved(backgroundResultRefreshID_, std::move(value), this,
                 &ImageLibraryStore::backgroundResultRefreshIDChanged);
}

void ImageLibraryStore::setActiveBackgroundResultRefreshMode(BackgroundResultRefreshMode value) {
  creatingThread_.check();
  assignObserved(activeBackgroundResultRefreshMode_, std::move(value), this,
                 &ImageLibraryStore::activeBackgroundResultRefreshModeChanged);
}

void ImageLibraryStore::setNeedsFullWindowResultRefresh(bool value) {
  creatingThread_.check();
  assignObserved(needsFullWindowResultRefresh_, std::move(value), this,
                 &ImageLibraryStore::needsFullWindowResultRefreshChanged);
}

void ImageLibraryStore::setBackgroundThumbnailGenerationTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(backgroundThumbnailGenerationTask_, std::move(value), this,
                 &ImageLibraryStore::backgroundThumbnailGenerationTaskChanged);
}

void ImageLibraryStore::setLastIndexingResultRefreshIndexedCount(int value) {
  creatingThread_.check();
  assignObserved(lastIndexingResultRefreshIndexedCount_, std::move(value), this,
                 &ImageLibraryStore::lastIndexingResultRefreshIndexedCountChanged);
}

void ImageLibraryStore::setLastIndexingResultRefreshAt(double value) {
  creatingThread_.check();
  assignObserved(lastIndexingResultRefreshAt_, std::move(value), this,
                 &ImageLibraryStore::lastIndexingResultRefreshAtChanged);
}

void ImageLibraryStore::setTagSuggestions(std::vector<TagSuggestion> value) {
  creatingThread_.check();
  assignObserved(tagSuggestions_, std::move(value), this, &ImageLibraryStore::tagSuggestionsChanged);
}

void ImageLibraryStore::setTagConceptSuggestions(std::vector<TagConcept> value) {
  creatingThread_.check();
  assignObserved(tagConceptSuggestions_, std::move(value), this,
                 &ImageLibraryStore::tagConceptSuggestionsChanged);
}

void ImageLibraryStore::setIsTagSuggestionLoading(bool value) {
  creatingThread_.check();
  assignObserved(isTagSuggestionLoading_, std::move(value), this,
                 &ImageLibraryStore::isTagSuggestionLoadingChanged);
}

void ImageLibraryStore::setModelSuggestions(std::vector<ModelSuggestion> value) {
  creatingThread_.check();
  assignObserved(modelSuggestions_, std::move(value), this, &ImageLibraryStore::modelSuggestionsChanged);
}

void ImageLibraryStore::setIsModelSuggestionLoading(bool value) {
  creatingThread_.check();
  assignObserved(isModelSuggestionLoading_, std::move(value), this,
                 &ImageLibraryStore::isModelSuggestionLoadingChanged);
}

void ImageLibraryStore::setCharacterSuggestions(std::vector<CharacterSuggestion> value) {
  creatingThread_.check();
  assignObserved(characterSuggestions_, std::move(value), this,
                 &ImageLibraryStore::characterSuggestionsChanged);
}

void ImageLibraryStore::setCharacterSuggestionExclusionCandidates(std::vector<CharacterSuggestion> value) {
  creatingThread_.check();
  assignObserved(characterSuggestionExclusionCandidates_, std::move(value), this,
                 &ImageLibraryStore::characterSuggestionExclusionCandidatesChanged);
}

void ImageLibraryStore::setCharacterSuggestionExclusions(std::vector<std::string> value) {
  creatingThread_.check();
  assignObserved(characterSuggestionExclusions_, std::move(value), this,
                 &ImageLibraryStore::characterSuggestionExclusionsChanged);
}

void ImageLibraryStore::setTagSuggestionGeneration(int value) {
  creatingThread_.check();
  assignObserved(tagSuggestionGeneration_, std::move(value), this,
                 &ImageLibraryStore::tagSuggestionGenerationChanged);
}

void ImageLibraryStore::setActiveTagSuggestionSearchText(std::optional<std::string> value) {
  creatingThread_.check();
  assignObserved(activeTagSuggestionSearchText_, std::move(value), this,
                 &ImageLibraryStore::activeTagSuggestionSearchTextChanged);
}

void ImageLibraryStore::setModelSuggestionGeneration(int value) {
  creatingThread_.check();
  assignObserved(modelSuggestionGeneration_, std::move(value), this,
                 &ImageLibraryStore::modelSuggestionGenerationChanged);
}

void ImageLibraryStore::setCharacterSuggestionGeneration(int value) {
  creatingThread_.check();
  assignObserved(characterSuggestionGeneration_, std::move(value), this,
                 &ImageLibraryStore::characterSuggestionGenerationChanged);
}

void ImageLibraryStore::setRegisteredFolderSummaries(std::vector<RegisteredFolderSummary> value) {
  creatingThread_.check();
  assignObserved(registeredFolderSummaries_, std::move(value), this,
                 &ImageLibraryStore::registeredFolderSummariesChanged);
}

void ImageLibraryStore::setIsLoadingRegisteredFolders(bool value) {
  creatingThread_.check();
  assignObserved(isLoadingRegisteredFolders_, std::move(value), this,
                 &ImageLibraryStore::isLoadingRegisteredFoldersChanged);
}

void ImageLibraryStore::setHasLoadedRegisteredFolderSummaries(bool value) {
  creatingThread_.check();
  assignObserved(hasLoadedRegisteredFolderSummaries_, std::move(value), this,
                 &ImageLibraryStore::hasLoadedRegisteredFolderSummariesChanged);
}

void ImageLibraryStore::setLastScanDiagnosticContext(std::optional<ImageLibraryScanDiagnosticContext> value) {
  creatingThread_.check();
  assignObserved(lastScanDiagnosticContext_, std::move(value), this,
                 &ImageLibraryStore::lastScanDiagnosticContextChanged);
}

void ImageLibraryStore::setLastScanSummary(std::optional<ImageLibraryScanSummary> value) {
  creatingThread_.check();
  assignObserved(lastScanSummary_, std::move(value), this, &ImageLibraryStore::lastScanSummaryChanged);
}

void ImageLibraryStore::setIndexingProgress(std::optional<ImageLibraryIndexingProgress> value) {
  creatingThread_.check();
  assignObserved(indexingProgress_, std::move(value), this, &ImageLibraryStore::indexingProgressChanged);
}

void ImageLibraryStore::setIsPreparingLibrary(bool value) {
  creatingThread_.check();
  assignObserved(isPreparingLibrary_, std::move(value), this, &ImageLibraryStore::isPreparingLibraryChanged);
}

void ImageLibraryStore::setIsBackgroundSyncing(bool value) {
  creatingThread_.check();
  assignObserved(isBackgroundSyncing_, std::move(value), this,
                 &ImageLibraryStore::isBackgroundSyncingChanged);
}

void ImageLibraryStore::setIsIndexing(bool value) {
  creatingThread_.check();
  assignObserved(isIndexing_, std::move(value), this, &ImageLibraryStore::isIndexingChanged);
}

void ImageLibraryStore::setIsLibrarySyncInProgress(bool value) {
  creatingThread_.check();
  assignObserved(isLibrarySyncInProgress_, std::move(value), this,
                 &ImageLibraryStore::isLibrarySyncInProgressChanged);
}

void ImageLibraryStore::setBackgroundLibrarySyncTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(backgroundLibrarySyncTask_, std::move(value), this,
                 &ImageLibraryStore::backgroundLibrarySyncTaskChanged);
}

void ImageLibraryStore::setBackgroundLibrarySyncMonitorRecoveryTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(backgroundLibrarySyncMonitorRecoveryTask_, std::move(value), this,
                 &ImageLibraryStore::backgroundLibrarySyncMonitorRecoveryTaskChanged);
}

void ImageLibraryStore::setBackgroundLibrarySyncDebounceSeconds(double value) {
  creatingThread_.check();
  assignObserved(backgroundLibrarySyncDebounceSeconds_, std::move(value), this,
                 &ImageLibraryStore::backgroundLibrarySyncDebounceSecondsChanged);
}

void ImageLibraryStore::setMonitorRecoveryIntervalNanos(std::uint64_t value) {
  creatingThread_.check();
  assignObserved(monitorRecoveryIntervalNanos_, std::move(value), this,
                 &ImageLibraryStore::monitorRecoveryIntervalNanosChanged);
}

void ImageLibraryStore::setBackgroundSyncPlanner(RegisteredFolderSyncPlanner value) {
  creatingThread_.check();
  backgroundSyncPlanner_ = std::move(value);
  Q_EMIT backgroundSyncPlannerChanged();
}

void ImageLibraryStore::setActiveFolderRegistrationRootPaths(std::vector<std::string> value) {
  creatingThread_.check();
  assignObserved(activeFolderRegistrationRootPaths_, std::move(value), this,
                 &ImageLibraryStore::activeFolderRegistrationRootPathsChanged);
}

void ImageLibraryStore::setLaunchWorkflowTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(launchWorkflowTask_, std::move(value), this, &ImageLibraryStore::launchWorkflowTaskChanged);
}

void ImageLibraryStore::setThumbnailCacheMaintenanceTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(thumbnailCacheMaintenanceTask_, std::move(value), this,
                 &ImageLibraryStore::thumbnailCacheMaintenanceTaskChanged);
}

void ImageLibraryStore::setDidStartThumbnailCacheMaintenance(bool value) {
  creatingThread_.check();
  assignObserved(didStartThumbnailCacheMaintenance_, std::move(value), this,
                 &ImageLibraryStore::didStartThumbnailCacheMaintenanceChanged);
}

void ImageLibraryStore::setLastTrashSummary(std::optional<ImageTrashSummary> value) {
  creatingThread_.check();
  assignObserved(lastTrashSummary_, std::move(value), this, &ImageLibraryStore::lastTrashSummaryChanged);
}

void ImageLibraryStore::setIsTrashingDeleteCandidates(bool value) {
  creatingThread_.check();
  assignObserved(isTrashingDeleteCandidates_, value, this,
                 &ImageLibraryStore::isTrashingDeleteCandidatesChanged);
}

void ImageLibraryStore::setDeleteCandidateTrashReviewLoadMoreTask(StoreTask<bool> value) {
  creatingThread_.check();
  assignObserved(deleteCandidateTrashReviewLoadMoreTask_, std::move(value), this,
                 &ImageLibraryStore::deleteCandidateTrashReviewLoadMoreTaskChanged);
}

void ImageLibraryStore::setService(std::shared_ptr<ImageLibraryServicing> value) {
  context_->setService(std::move(value));
}

void ImageLibraryStore::setNeedsLiveServicePreparation(bool value) {
  creatingThread_.check();
  assignObserved(needsLiveServicePreparation_, std::move(value), this,
                 &ImageLibraryStore::needsLiveServicePreparationChanged);
}

void ImageLibraryStore::setErrorMessage(std::optional<std::string> value) {
  context_->setErrorMessage(std::move(value));
}

void ImageLibraryStore::setErrorMessage(std::optional<std::string> value, std::optional<ErrorNotice> notice) {
  context_->setErrorMessage(std::move(value), std::move(notice));
}

void ImageLibraryStore::setErrorMessage(const std::exception_ptr& failure) {
  context_->setErrorMessage(failure);
}

void ImageLibraryStore::setLibraryRecoveryNotice(std::optional<LibraryRecoveryNotice> value) {
  creatingThread_.check();
  assignObserved(libraryRecoveryNotice_, std::move(value), this,
                 &ImageLibraryStore::libraryRecoveryNoticeChanged);
}

}  // namespace lorvex
