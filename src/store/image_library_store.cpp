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
      library_(std::make_unique<LibraryModel>(*context_, libraryDependents_, std::move(liveServiceFactory))),
      suggestions_(
          std::make_unique<SuggestionsModel>(*context_, std::move(characterSuggestionExclusionStore))),
      feedbackDismissDelayNanos_(feedbackDismissDelayNanos),
      selection_(std::make_unique<ResultSelection>()),
      resultWindow_(std::make_unique<SearchResultWindow>()),
      presentation_(std::make_unique<ImageLibraryPresentationState>(std::move(preferenceStore))),
      trash_(std::make_unique<TrashModel>(*context_, trashDependents_, *presentation_)) {
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
  library_->abandonFolderMonitorRestarts();
  // The window reports removals while it goes; nothing is left to keep in step by then.
  resultWindow_->setRecordsChangedHandler({});
  resultWindow_->setRetiredRecordsHandler({});
  // Every flow goes before any model or field it uses.
  context_->endFlows();
}

std::size_t ImageLibraryStore::deleteCandidateUndoStackEntryCount() const {
  creatingThread_.check();
  std::size_t count = 0;
  for (const auto& action : deleteCandidateUndoStack_) count += action.weight();
  return count;
}

void ImageLibraryStore::resultWindowRecordsDidChange(const SearchResultWindow::RecordsChange& change) {
  creatingThread_.check();
  if (!selection_->reconcile(*resultWindow_, change.fallbackSelectionIndex).has_value()) {
    presentation_->setIsSlideshowPresented(false);
  }
}

void ImageLibraryStore::recomputeCanUndoDeleteCandidateAction() {
  setCanUndoDeleteCandidateAction(!deleteCandidateUndoStack_.empty() &&
                                  !trash_->isTrashingDeleteCandidates());
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

void ImageLibraryStore::setCanUndoDeleteCandidateAction(bool value) {
  creatingThread_.check();
  assignObserved(canUndoDeleteCandidateAction_, std::move(value), this,
                 &ImageLibraryStore::canUndoDeleteCandidateActionChanged);
}

void ImageLibraryStore::setDeleteCandidateFeedback(std::optional<DeleteCandidateFeedback> value) {
  creatingThread_.check();
  assignObserved(deleteCandidateFeedback_, std::move(value), this,
                 &ImageLibraryStore::deleteCandidateFeedbackChanged);
}

void ImageLibraryStore::setDeleteCandidateFeedbackDismissTask(StoreTask<void> value) {
  creatingThread_.check();
  assignObserved(deleteCandidateFeedbackDismissTask_, std::move(value), this,
                 &ImageLibraryStore::deleteCandidateFeedbackDismissTaskChanged);
}

void ImageLibraryStore::setDeleteCandidateFeedbackDismissGeneration(int value) {
  creatingThread_.check();
  assignObserved(deleteCandidateFeedbackDismissGeneration_, std::move(value), this,
                 &ImageLibraryStore::deleteCandidateFeedbackDismissGenerationChanged);
}

void ImageLibraryStore::setDeleteCandidateUndoStack(std::vector<DeleteCandidateUndoAction> value) {
  creatingThread_.check();
  deleteCandidateUndoStack_ = std::move(value);
  Q_EMIT deleteCandidateUndoStackChanged();
  recomputeCanUndoDeleteCandidateAction();
}

void ImageLibraryStore::setService(std::shared_ptr<ImageLibraryServicing> value) {
  context_->setService(std::move(value));
}

void ImageLibraryStore::setNeedsLiveServicePreparation(bool value) {
  context_->setNeedsLiveServicePreparation(value);
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

}  // namespace lorvex
