// The names of the store's context and feature models, for a header that only passes them by
// reference; the source that calls them includes their own headers.
#pragma once

namespace lorvex {
class FiltersModel;
class ImageLibraryPresentationState;
class LibraryModel;
class ResultsModel;
class ReviewModel;
class StoreContext;
class StoreProjections;
class SuggestionsModel;
class TagConceptsModel;
class TrashModel;
}  // namespace lorvex
