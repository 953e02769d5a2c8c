// The shape of an image as search filters it: the stored aspect class (derived from the width and
// height of the generation metadata, not from the pixels) and the filters the user chooses.
//
// Thread safety: constant tables and pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "model/raw_value.h"

namespace lorvex {

// Stored per image as its integer raw value.
enum class ImageAspectClass { unknown, portrait, landscape, square };

enum class ImageAspectFilter { portrait, landscape, square };

template <>
struct RawValueTable<ImageAspectClass> {
  using Raw = std::int64_t;
  static constexpr std::array<std::pair<ImageAspectClass, Raw>, 4> entries{{
      {ImageAspectClass::unknown, 0},
      {ImageAspectClass::portrait, 1},
      {ImageAspectClass::landscape, 2},
      {ImageAspectClass::square, 3},
  }};
};

template <>
struct RawValueTable<ImageAspectFilter> {
  using Raw = std::string_view;
  static constexpr std::array<std::pair<ImageAspectFilter, Raw>, 3> entries{{
      {ImageAspectFilter::portrait, "portrait"},
      {ImageAspectFilter::landscape, "landscape"},
      {ImageAspectFilter::square, "square"},
  }};
};

// portrait when width < height, landscape when greater, square when equal; unknown when either
// is absent.
ImageAspectClass aspectClassForDimensions(std::optional<std::int64_t> width,
                                          std::optional<std::int64_t> height);

// The class a filter selects (never unknown).
ImageAspectClass aspectClassForFilter(ImageAspectFilter filter);

// The classes the filters select, without duplicates and ascending by raw value.
std::vector<ImageAspectClass> aspectClassesForFilters(std::span<const ImageAspectFilter> filters);

}  // namespace lorvex
