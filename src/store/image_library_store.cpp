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
      concepts_(std::make_unique<TagConceptsModel>(*context_, conceptDependents_)),
      filters_(std::make_unique<FiltersModel>(*context_, filterDependents_, std::move(filterTagStore))),
      library_(std::make_unique<LibraryModel>(*context_, libraryDependents_, std::move(liveServiceFactory))),
      suggestions_(
          std::make_unique<SuggestionsModel>(*context_, std::move(characterSuggestionExclusionStore))),
      presentation_(std::make_unique<ImageLibraryPresentationState>(std::move(preferenceStore))),
      results_(std::make_unique<ResultsModel>(*context_, *filters_, *presentation_, resultsDependents_)),
      review_(std::make_unique<ReviewModel>(*context_, *results_, *presentation_, *filters_,
                                            reviewDependents_, feedbackDismissDelayNanos)),
      trash_(std::make_unique<TrashModel>(*context_, trashDependents_, *presentation_)),
      projections_(
          std::make_unique<StoreProjections>(*context_, *filters_, *results_, *trash_, *presentation_)) {
  context_->setErrorMessage(std::move(errorMessage));
  context_->setNeedsLiveServicePreparation(needsLiveServicePreparation);
  wireFeatureModels();
}

ImageLibraryStore::~ImageLibraryStore() {
  library_->backgroundSync().abandonFolderMonitorRestarts();
  // Every flow goes before any model or field it uses.
  context_->endFlows();
}

}  // namespace lorvex
