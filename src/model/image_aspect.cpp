#include "model/image_aspect.h"

#include <algorithm>

namespace lorvex {

ImageAspectClass aspectClassForDimensions(std::optional<std::int64_t> width,
                                          std::optional<std::int64_t> height) {
  if (!width || !height) return ImageAspectClass::unknown;
  if (*width < *height) return ImageAspectClass::portrait;
  if (*width > *height) return ImageAspectClass::landscape;
  return ImageAspectClass::square;
}

ImageAspectClass aspectClassForFilter(ImageAspectFilter filter) {
  switch (filter) {
    case ImageAspectFilter::portrait:
      return ImageAspectClass::portrait;
    case ImageAspectFilter::landscape:
      return ImageAspectClass::landscape;
    case ImageAspectFilter::square:
      return ImageAspectClass::square;
  }
  return ImageAspectClass::unknown;
}

std::vector<ImageAspectClass> aspectClassesForFilters(std::span<const ImageAspectFilter> filters) {
  std::vector<ImageAspectClass> classes;
  classes.reserve(filters.size());
  for (ImageAspectFilter filter : filters) classes.push_back(aspectClassForFilter(filter));
  std::ranges::sort(classes, {}, [](ImageAspectClass c) { return rawValue(c); });
  classes.erase(std::unique(classes.begin(), classes.end()), classes.end());
  return classes;
}

}  // namespace lorvex
