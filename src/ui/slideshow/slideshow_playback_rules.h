// The slideshow's small rules: its focusable controls and their identifiers, how an interval or an
// image count the user asks for is brought into range, when the floating controls must stay up,
// and when auto-advance may count down and step.
//
// Thread safety: constants and pure functions, callable from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "model/enum_cases.h"

namespace lorvex::ui {

// The floating bar's focusable controls, left to right.
enum class SlideshowControlFocus {
  previous,
  next,
  playback,
  visibleCount,
  interval,
  favorite,
  deleteCandidate,
  close
};

inline constexpr std::array<SlideshowControlFocus, 8> kAllSlideshowControlFocuses = {
    SlideshowControlFocus::previous,        SlideshowControlFocus::next,     SlideshowControlFocus::playback,
    SlideshowControlFocus::visibleCount,    SlideshowControlFocus::interval, SlideshowControlFocus::favorite,
    SlideshowControlFocus::deleteCandidate, SlideshowControlFocus::close,
};
static_assert(holdsEveryCaseInOrder(kAllSlideshowControlFocuses));

namespace accessibility_id {
inline constexpr std::string_view kSlideshowWindow = "slideshow.window";
inline constexpr std::string_view kSlideshowView = "slideshow.view";
inline constexpr std::string_view kSlideshowControls = "slideshow.controls";
inline constexpr std::string_view kSlideshowPosition = "slideshow.position";
}  // namespace accessibility_id

// "slideshow." and the control's name ("slideshow.visibleCount").
std::string_view slideshowControlIdentifier(SlideshowControlFocus control);

inline constexpr double kMinimumSlideshowIntervalSeconds = 0.5;
inline constexpr double kMaximumSlideshowIntervalSeconds = 60.0;
inline constexpr double kSlideshowIntervalStepSeconds = 0.5;
inline constexpr double kDefaultSlideshowIntervalSeconds = 3.0;
inline constexpr int kMinimumSlideshowVisibleCount = 1;
inline constexpr int kMaximumSlideshowVisibleCount = 6;

// An interval as stored: not finite gives 3.0; otherwise the nearest multiple of 0.5 (halves away
// from zero), kept within 0.5 ... 60.
double normalizeInterval(double seconds);

// The count a stepper or key asks for, as written: kept within 1 ... 6. The store writes it even
// when it equals the current count (the preference is saved) and tells observers only of a change.
int slideshowVisibleCountToWrite(int requested);

// The controls stay up and auto-advance waits while the pointer is over them or one of them has
// keyboard or accessibility focus.
bool areSlideshowControlsPinned(bool isPointerOverControls,
                                std::optional<SlideshowControlFocus> focusedControl,
                                std::optional<SlideshowControlFocus> accessibilityFocusedControl);

// Auto-advance may count down (and, when the countdown ends, step) only while the slideshow is
// shown and playing, there are at least two records to move between, and the controls are not
// pinned.
bool maySlideshowAutoAdvance(bool isPresented, bool isPlaying, std::size_t recordCount, bool controlsPinned);

// The countdown of one auto-advance step: the interval in whole nanoseconds, rounded.
std::int64_t slideshowAutoAdvanceDelayNanoseconds(double intervalSeconds);

// The quiet time after which the floating controls hide.
inline constexpr std::int64_t kSlideshowControlsHideDelayNanoseconds = 2'000'000'000;

}  // namespace lorvex::ui
