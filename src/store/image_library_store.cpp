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
      characterSuggestionExclusionStore_(std::move(characterSuggestionExclusionStore)),
      trashReviewBrowser_(std::make_unique<TrashCandidateBrowser>()),
      presentation_(std::make_unique<ImageLibraryPresentationState>(std::move(preferenceStore))),
      results_(std::make_unique<ResultsModel>(*context_, *filters_, *presentation_, resultsDependents_)),
      resultWindow_(&results_->resultWindow()),
      selection_(&results_->selection()),
      review_(std::make_unique<ReviewModel>(*context_, reviewDependents_, feedbackDismissDelayNanos)) {
  characterSuggestionExclusions_ = characterSuggestionExclusionStore_->loadExclusions();
  setErrorMessage(std::move(errorMessage));
  setNeedsLiveServicePreparation(needsLiveServicePreparation);
  connectDerivedValueInputs();
  wireFeatureModels();
}

ImageLibraryStore::~ImageLibraryStore() {
  library_->abandonFolderMonitorRestarts();
  // Every flow goes before any model or field it uses.
  context_->endFlows();
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
