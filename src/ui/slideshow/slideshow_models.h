// The feature models the slideshow reads and changes: the view and its floating bar. The results
// give the shown records, the focus and playback; the review steps and marks; the presentation
// holds the count, the interval and the flags; the projections say whether the focused record may
// be reviewed; the context runs the steps and times the controls.
//
// Thread safety: the models' thread (the main thread).
#pragma once

#include "store/feature_models.h"

namespace lorvex::ui {

struct SlideshowModels {
  ResultsModel& results;
  ReviewModel& review;
  ImageLibraryPresentationState& presentation;
  StoreProjections& projections;
  StoreContext& context;
};

}  // namespace lorvex::ui
