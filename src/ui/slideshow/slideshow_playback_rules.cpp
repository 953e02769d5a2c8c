#include "ui/slideshow/slideshow_playback_rules.h"

#include <algorithm>
#include <cmath>

namespace lorvex::ui {

std::string_view slideshowControlIdentifier(SlideshowControlFocus control) {
  switch (control) {
    case SlideshowControlFocus::previous:
      return "slideshow.previous";
    case SlideshowControlFocus::next:
      return "slideshow.next";
    case SlideshowControlFocus::playback:
      return "slideshow.playback";
    case SlideshowControlFocus::visibleCount:
      return "slideshow.visibleCount";
    case SlideshowControlFocus::interval:
      return "slideshow.interval";
    case SlideshowControlFocus::favorite:
      return "slideshow.favorite";
    case SlideshowControlFocus::deleteCandidate:
      return "slideshow.deleteCandidate";
    case SlideshowControlFocus::close:
      return "slideshow.close";
  }
  return "slideshow.close";
}

double normalizeInterval(double seconds) {
  if (!std::isfinite(seconds)) return kDefaultSlideshowIntervalSeconds;
  // std::round rounds halves away from zero.
  const double stepped = std::round(seconds * 2.0) / 2.0;
  return std::clamp(stepped, kMinimumSlideshowIntervalSeconds, kMaximumSlideshowIntervalSeconds);
}

int slideshowVisibleCountToWrite(int requested) {
  return std::clamp(requested, kMinimumSlideshowVisibleCount, kMaximumSlideshowVisibleCount);
}

bool areSlideshowControlsPinned(bool isPointerOverControls,
                                std::optional<SlideshowControlFocus> focusedControl,
                                std::optional<SlideshowControlFocus> accessibilityFocusedControl) {
  return isPointerOverControls || focusedControl.has_value() || accessibilityFocusedControl.has_value();
}

bool maySlideshowAutoAdvance(bool isPresented, bool isPlaying, std::size_t recordCount, bool controlsPinned) {
  return isPresented && isPlaying && recordCount >= 2 && !controlsPinned;
}

std::int64_t slideshowAutoAdvanceDelayNanoseconds(double intervalSeconds) {
  return static_cast<std::int64_t>(std::llround(normalizeInterval(intervalSeconds) * 1e9));
}

}  // namespace lorvex::ui
