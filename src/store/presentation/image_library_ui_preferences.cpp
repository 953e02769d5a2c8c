#include "store/presentation/image_library_ui_preferences.h"

#include <algorithm>
#include <cmath>

namespace lorvex {

int clampedSlideshowVisibleCount(std::int64_t count) {
  return static_cast<int>(
      std::clamp<std::int64_t>(count, kMinimumSlideshowVisibleCount, kMaximumSlideshowVisibleCount));
}

double normalizedSlideshowIntervalSeconds(double seconds) {
  if (!std::isfinite(seconds)) return 3.0;
  const double halves = std::round(seconds * 2) / 2;  // std::round: halves away from zero
  if (halves < 0.5) return 0.5;
  if (halves >= 60) return 60.0;
  return halves;
}

}  // namespace lorvex
