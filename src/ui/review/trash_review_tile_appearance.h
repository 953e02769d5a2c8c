// How a candidate tile of the Trash review looks, without any widget: its fill and border by
// selection, focus and hover (first that applies), the two extra rings, the image it loads, and
// the grid's adaptive columns.
//
// Tile layout (device-independent pixels): a rounded rectangle (radius 8) with 8 of padding; inside,
// a square image area clipped to radius 6 with the selection badge in its top-trailing corner, then
// the file name on one line and the display path on at most two, 8 apart.
//
// Thread safety: pure functions.
#pragma once

#include <optional>
#include <string>

#include "model/image_record.h"

namespace lorvex::ui {

namespace trash_review_tile_metrics {
inline constexpr int kCornerRadius = 8;
inline constexpr int kImageCornerRadius = 6;
inline constexpr int kPadding = 8;
inline constexpr int kSpacing = 8;
inline constexpr int kBadgePadding = 6;
inline constexpr int kHoverRingInset = 4;
inline constexpr int kFocusRingInset = 7;
inline constexpr double kHoverRingWidth = 1.5;
inline constexpr double kFocusRingWidth = 2;
inline constexpr double kHoverRingOpacity = 0.45;
// The longest side an image file is decoded to when the record has no thumbnail yet.
inline constexpr int kImagePixelSize = 512;
// The grid: columns of at least this width, this far apart, inside this much padding.
inline constexpr int kMinimumColumnWidth = 168;
inline constexpr int kGridSpacing = 12;
inline constexpr int kGridPadding = 20;
}  // namespace trash_review_tile_metrics

enum class TrashReviewTileVisualState { selected, focused, hovered, idle };

TrashReviewTileVisualState trashReviewTileVisualState(bool isSelected, bool isFocused, bool isHovering);

// The colours the widget resolves from the palette.
enum class TrashReviewTileColor {
  accent,
  selectedContentBackground,
  keyboardFocusIndicator,
  controlBackground,
  separator
};

struct TrashReviewTilePaint {
  TrashReviewTileColor color = TrashReviewTileColor::controlBackground;
  double opacity = 1;
  friend bool operator==(const TrashReviewTilePaint&, const TrashReviewTilePaint&) = default;
};

struct TrashReviewTileAppearance {
  TrashReviewTilePaint fill;
  TrashReviewTilePaint border;
  double borderWidth = 1;
  bool hasHoverRing = false;  // selected and hovered: accent at 0.45, inset 4
  bool hasFocusRing = false;  // focused, selected or not: focus colour, inset 7

  friend bool operator==(const TrashReviewTileAppearance&, const TrashReviewTileAppearance&) = default;
};

TrashReviewTileAppearance trashReviewTileAppearance(bool isSelected, bool isFocused, bool isHovering);

// The image a tile loads: the thumbnail in full under its own path as key; without one the image
// file itself downsampled, keyed by path, size and modification time so a rewritten file reloads.
struct TrashReviewTileImageRequest {
  std::string path;
  std::string cacheKey;
  std::optional<int> maxPixelSize;
  friend bool operator==(const TrashReviewTileImageRequest&, const TrashReviewTileImageRequest&) = default;
};

TrashReviewTileImageRequest trashReviewTileImageRequest(const ImageRecord& record);

// The grid for a viewport `width` wide: as many columns of at least kMinimumColumnWidth as fit
// (at least one), sharing the width left after padding and spacing.
struct TrashReviewGridLayout {
  int columns = 1;
  int tileWidth = 0;
  friend bool operator==(const TrashReviewGridLayout&, const TrashReviewGridLayout&) = default;
};

TrashReviewGridLayout trashReviewGridLayout(int viewportWidth);

}  // namespace lorvex::ui
