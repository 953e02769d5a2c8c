// The store as the composition of its feature models: how each model's reactions reach the others.
// Every cross-feature reaction is wired here, so this file is where to look for "what else happens
// when ...".
#include <utility>
#include <vector>

#include "store/image_library_store.h"

namespace lorvex {

void ImageLibraryStore::wireFeatureModels() {
  // Concepts → filters: a stored concept shows its new name in the filter selection at once.
  connect(concepts_.get(), &TagConceptsModel::tagConceptStored, filters_.get(),
          &FiltersModel::showStoredTagConceptInSelection);

  // Concepts → suggestions and results, asked and awaited: ConceptDependents below.
  // Filters → results and presentation, asked and awaited: FilterDependentsOfStore below.

  // ---- Library ----
  // Library → results, suggestions, thumbnails and Trash, asked and awaited: LibraryDependentsOfStore
  // (image_library_store_library_dependents.cpp). The Trash moves read the library's busy flag and
  // tell it which removals are their own through TrashDependentsOfStore below. Signal-only:
  // Library → projections: preparing the library and indexing change what the Trash review allows.
  for (const auto changed : {&LibraryModel::isPreparingLibraryChanged, &LibraryModel::isIndexingChanged}) {
    connect(library_.get(), changed, projections_.get(), &StoreProjections::scheduleDerivedValuesChanged);
  }

  // ---- Results ----
  // Results → filters: every first-page search records its character text in the search history.
  connect(results_.get(), &ResultsModel::searchStarted, filters_.get(), &FiltersModel::recordCharacterSearch);
  // Results → library state, asked: ResultsDependentsOfStore (image_library_store_results_dependents.cpp).

  // ---- Review ----
  // Trash → review: a move to the Trash starting or ending turns undo off or back on.
  connect(trash_.get(), &TrashModel::isTrashingDeleteCandidatesChanged, review_.get(),
          &ReviewModel::recomputeCanUndoDeleteCandidateAction);
  // Review → results, presentation and filters: read and changed through those models directly.
  // Review → Trash and the focused-record projection, asked: ReviewDependentsOfStore
  // (image_library_store_review_dependents.cpp).

  // ---- Trash ----
  // Trash → projections: the review's list, its loading, the move's flag and outcome are inputs of
  // what the views read (the trash model's projections and canReviewFocusedRecord).
  const auto schedule = [projections = projections_.get()] { projections->scheduleDerivedValuesChanged(); };
  for (const auto changed :
       {&TrashModel::lastTrashSummaryChanged, &TrashModel::isTrashingDeleteCandidatesChanged,
        &TrashModel::deleteCandidateTrashReviewLoadMoreTaskChanged}) {
    connect(trash_.get(), changed, projections_.get(), schedule);
  }
  for (const auto changed :
       {&TrashCandidateBrowser::recordsChanged, &TrashCandidateBrowser::selectedPathsChanged,
        &TrashCandidateBrowser::isReloadingChanged, &TrashCandidateBrowser::isLoadingMoreChanged}) {
    connect(&trash_->trashReviewBrowser(), changed, projections_.get(), schedule);
  }
  // Trash → library, results, monitoring, undo, feedback and sidebar, asked and awaited:
  // TrashDependentsOfStore (image_library_store_trash_dependents.cpp).

  // Suggestions → concepts: a tag suggestion load without text read the whole concept list, which
  // becomes the concepts model's list.
  connect(
      suggestions_.get(), &SuggestionsModel::tagConceptListLoaded, concepts_.get(),
      [concepts = concepts_.get()](const std::vector<TagConcept>& list) { concepts->setTagConcepts(list); });
  // Suggestions → projections: the tag and concept suggestions are the tag addition panel's rows.
  for (const auto changed :
       {&SuggestionsModel::tagSuggestionsChanged, &SuggestionsModel::tagConceptSuggestionsChanged}) {
    connect(suggestions_.get(), changed, projections_.get(), schedule);
  }
}

// ---- What a concept change asks of the suggestions and the results ----

TagConceptSuggestionClaim ImageLibraryStore::ConceptDependents::claimTagConceptSuggestions() {
  return store_.suggestions_->claimTagConceptSuggestions();
}

void ImageLibraryStore::ConceptDependents::applyClaimedTagConceptSuggestions(
    const TagConceptSuggestionClaim& claim, std::vector<TagConcept> suggestions) {
  store_.suggestions_->applyClaimedTagConceptSuggestions(claim, std::move(suggestions));
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
