// The feature models the results grid reads and changes, passed by the composition to the grid and
// by the grid view on to the tiles' list.
//
// Thread safety: the models' thread (the main thread).
#pragma once

#include "store/feature_models.h"

namespace lorvex::ui {

// The feature models the grid reads and changes. The gate reads the context, the library and the
// presentation; keys and clicks change the results and the review; the context menu reads the
// concepts too.
struct ResultsGridListModels {
  ResultsModel& results;
  LibraryModel& library;
  ReviewModel& review;
  TagConceptsModel& concepts;
  ImageLibraryPresentationState& presentation;
  StoreProjections& projections;
  StoreContext& context;
};

}  // namespace lorvex::ui
