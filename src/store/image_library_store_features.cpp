// The store as the composition of its feature models: how each model's reactions reach the others.
// Every cross-feature reaction is wired here, so this file is where to look for "what else happens
// when ...".
#include <utility>
#include <vector>

#include "store/image_library_store.h"

namespace lorvex {

void ImageLibraryStore::wireFeatureModels() {
  // The context's service, error line and preparation flag, under the store's signals their
  // observers know.
  connect(context_.get(), &StoreContext::serviceChanged, this, &ImageLibraryStore::serviceChanged);
  connect(context_.get(), &StoreContext::errorMessageChanged, this, &ImageLibraryStore::errorMessageChanged);
  connect(context_.get(), &StoreContext::needsLiveServicePreparationChanged, this,
          &ImageLibraryStore::needsLiveServicePreparationChanged);

  // Concepts → filters: a stored concept shows its new name in the filter selection at once.
  connect(concepts_.get(), &TagConceptsModel::tagConceptStored, filters_.get(),
          &FiltersModel::showStoredTagConceptInSelection);

  // Concepts → suggestions and results, asked and awaited: ConceptDependents below.
  // Filters → results and presentation, asked and awaited: FilterDependentsOfStore below.

  // ---- Library ----
  // Library → results, suggestions, thumbnails and Trash, asked and awaited: LibraryDependentsOfStore
  // (image_library_store_library_dependents.cpp). The Trash moves read the library's busy flag and
  // tell it which removals are their own through its public operations. Signal-only:
  // Library → projections: preparing the library and indexing change what the Trash review allows.
  for (const auto changed : {&LibraryModel::isPreparingLibraryChanged, &LibraryModel::isIndexingChanged}) {
    connect(library_.get(), changed, this, [this] { scheduleDerivedValuesChanged(); });
  }

  // Filters → concepts: a tag suggestion load without text read the whole concept list and sets it
  // (concepts_->setTagConcepts in loadTagSuggestions), while the filters still live in the store.

  // Results → filters: every first-page search records its character text in the search history.
  connect(results_.get(), &ResultsModel::searchStarted, filters_.get(), &FiltersModel::recordCharacterSearch);
  // Results → library state, asked: ResultsDependentsOfStore (image_library_store_results_dependents.cpp).
  // ---- Review ----
  // Trash → review: a move to the Trash starting or ending turns undo off or back on.
  connect(this, &ImageLibraryStore::isTrashingDeleteCandidatesChanged, review_.get(),
          &ReviewModel::recomputeCanUndoDeleteCandidateAction);
  // Review → results, selection, presentation, filters and Trash, asked and awaited:
  // ReviewDependentsOfStore (image_library_store_review_dependents.cpp).
}

// ---- What a concept change asks of the suggestions and the results ----

TagConceptSuggestionClaim ImageLibraryStore::ConceptDependents::claimTagConceptSuggestions() {
  store_.setTagSuggestionGeneration(store_.tagSuggestionGeneration_ + 1);
  store_.setIsTagSuggestionLoading(false);
  return TagConceptSuggestionClaim{store_.tagSuggestionGeneration_, store_.activeTagSuggestionSearchText_};
}

void ImageLibraryStore::ConceptDependents::applyClaimedTagConceptSuggestions(
    const TagConceptSuggestionClaim& claim, std::vector<TagConcept> suggestions) {
  if (store_.tagSuggestionGeneration_ != claim.generation) return;
  store_.setTagConceptSuggestions(std::move(suggestions));
  store_.setIsTagSuggestionLoading(false);
}

QCoro::Task<void> ImageLibraryStore::ConceptDependents::refreshResultsAfterTagConceptChange() {
  return store_.results_->refreshResults(ResultsModel::kFirstPageLimit, true);
}

// ---- What a filter change asks of the results and the presentation ----

QCoro::Task<void> ImageLibraryStore::FilterDependentsOfStore::refreshResultsAfterFilterChange() {
  return store_.results_->refreshResults(ResultsModel::kFirstPageLimit, true);
}

bool ImageLibraryStore::FilterDependentsOfStore::isDeleteCandidateReviewPresented() const {
  return store_.presentation_->isDeleteCandidateReviewPresented();
}

void ImageLibraryStore::FilterDependentsOfStore::closeDeleteCandidateReview() {
  store_.presentation_->setIsDeleteCandidateReviewPresented(false);
}

}  // namespace lorvex
