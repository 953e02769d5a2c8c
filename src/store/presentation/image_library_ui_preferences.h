// The three UI preferences that survive restarts (library section expanded, slideshow images at a
// time, slideshow interval), the rules that keep them in range, and the interface of the stores
// that keep them.
//
// Thread safety: the value and the functions are plain; each store says its own.
#pragma once

#include <cstdint>

namespace lorvex {

struct ImageLibraryUIPreferences {
  bool isLibrarySectionExpanded = true;
  int slideshowVisibleCount = 1;
  double slideshowIntervalSeconds = 3.0;

  friend bool operator==(const ImageLibraryUIPreferences&, const ImageLibraryUIPreferences&) = default;
};

inline constexpr ImageLibraryUIPreferences kDefaultUIPreferences{};

inline constexpr int kMinimumSlideshowVisibleCount = 1;
inline constexpr int kMaximumSlideshowVisibleCount = 6;

// 1 ... 6.
int clampedSlideshowVisibleCount(std::int64_t count);
// The nearest multiple of 0.5 s (halves away from zero), at least 0.5 and at most 60; 3.0 for a
// value that is not finite.
double normalizedSlideshowIntervalSeconds(double seconds);

class ImageLibraryUIPreferencePersisting {
 public:
  virtual ~ImageLibraryUIPreferencePersisting() = default;
  virtual ImageLibraryUIPreferences load() = 0;
  virtual void save(const ImageLibraryUIPreferences& preferences) = 0;
};

}  // namespace lorvex
