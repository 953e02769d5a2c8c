// What the slideshow's floating bar shows, rebuilt from the models on every change: the position
// counter, each button's title (its tooltip and accessible name), symbol, active look and whether
// it can act, and the texts of the image-count and interval groups.
//
// The review buttons follow the focused record (none counts as neither favourite nor delete
// candidate) and can act only while the projections let the focused record be reviewed in the
// slideshow, which they do not while two or more images are shown.
//
// Thread safety: plain values and pure functions; slideshowControlsState reads the models on their
// thread.
#pragma once

#include <optional>
#include <string>

#include "model/review_state.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/slideshow/slideshow_playback_rules.h"

namespace lorvex::ui {

// The state of the models the bar reads.
struct SlideshowControlsState {
  std::string positionText;
  bool isPlaying = false;
  std::optional<ReviewState> focusedReviewState;  // nothing without a focused record
  bool canReviewFocusedRecord = false;
  int visibleCount = 1;
  double intervalSeconds = kDefaultSlideshowIntervalSeconds;

  friend bool operator==(const SlideshowControlsState&, const SlideshowControlsState&) = default;
};

SlideshowControlsState slideshowControlsState(const ResultsModel& results,
                                              const ImageLibraryPresentationState& presentation,
                                              const StoreProjections& projections);

struct SlideshowButtonPresentation {
  SlideshowControlFocus control = SlideshowControlFocus::close;
  std::string title;
  std::string symbol;  // a symbol name of the icon set
  bool isActive = false;
  bool isEnabled = true;

  friend bool operator==(const SlideshowButtonPresentation&, const SlideshowButtonPresentation&) = default;
};

struct SlideshowValueGroupPresentation {
  std::string label;
  std::string value;         // also the stepper's accessible value
  std::string controlTitle;  // the stepper's tooltip and accessible name

  friend bool operator==(const SlideshowValueGroupPresentation&,
                         const SlideshowValueGroupPresentation&) = default;
};

struct SlideshowFloatingControlsPresentation {
  std::string positionText;  // shown as the results give it, never looked up
  SlideshowButtonPresentation previous;
  SlideshowButtonPresentation next;
  SlideshowButtonPresentation playback;
  SlideshowValueGroupPresentation visibleCount;
  SlideshowValueGroupPresentation interval;
  SlideshowButtonPresentation favorite;
  SlideshowButtonPresentation deleteCandidate;
  SlideshowButtonPresentation close;

  friend bool operator==(const SlideshowFloatingControlsPresentation&,
                         const SlideshowFloatingControlsPresentation&) = default;
};

SlideshowFloatingControlsPresentation makeSlideshowFloatingControlsPresentation(
    const SlideshowControlsState& state, const AppLocalization& localization);

}  // namespace lorvex::ui
