// What a result tile shows, worked out from its record without any widget: which file the image
// area decodes and how large, under which memory-cache key, the review badges in its corner, the
// selection look, and what assistive technology reads.
//
// Tile layout (all in device-independent pixels): the tile is a rounded rectangle (radius 8) with
// 6 of padding; inside, a square image area clipped to radius 6, then 6 of spacing and the file
// name on one line. A selected tile is tinted with the accent colour at 0.16 and ringed with a
// 2-wide accent stroke; an unselected one keeps a clear ring of the same width, so selecting
// never moves anything.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/image_record.h"
#include "model/review_state.h"
#include "ui/common/app_localization.h"

namespace lorvex::ui {

namespace image_tile_metrics {
inline constexpr double kCornerRadius = 8;
inline constexpr double kImageCornerRadius = 6;
inline constexpr double kSelectionRingWidth = 2;
inline constexpr double kPadding = 6;
inline constexpr double kNameSpacing = 6;
inline constexpr double kSelectedBackgroundOpacity = 0.16;
inline constexpr double kBadgeInset = 6;    // from the image's top-trailing corner
inline constexpr double kBadgePadding = 4;  // inside the capsule
inline constexpr double kBadgeSpacing = 4;  // between two marks
// The longest side an image file is downsampled to when the record has no thumbnail yet.
inline constexpr int kImagePixelSize = 320;
}  // namespace image_tile_metrics

// The memory-cache key of a record's tile image: the thumbnail path when there is one; else the
// path, U+001F, the file size and U+001F, and the modification time in the shortest digits that
// read back exactly, so a file changed in place gets a new key.
std::string tileImageCacheKey(const ImageRecord& record);

// One mark in the badge capsule.
struct ReviewBadge {
  enum class Tint { yellow, orange };
  std::string symbol;  // a symbol name for the icon lookup
  Tint tint = Tint::yellow;
  friend bool operator==(const ReviewBadge&, const ReviewBadge&) = default;
};

// The marks of a review state in display order: the star before the trash can. Empty when the
// image carries neither mark; then no capsule is drawn at all.
std::vector<ReviewBadge> reviewBadges(const ReviewState& state);

// What a tile's image area decodes: file, pixel size and cache key.
struct ImageTileImageSource {
  std::string imagePath;                 // the thumbnail when present, else the image itself
  std::optional<int> imageMaxPixelSize;  // nothing: decode in full (a thumbnail is already small)
  std::string imageCacheKey;
  friend bool operator==(const ImageTileImageSource&, const ImageTileImageSource&) = default;
};
ImageTileImageSource imageTileImageSource(const ImageRecord& record);

// The accessibility value: pair(pair(selection, favourite), delete candidate), each text and
// each pair through the localization table.
std::string imageTileAccessibleValue(const ReviewState& state, bool isSelected,
                                     const AppLocalization& localizer);

}  // namespace lorvex::ui
