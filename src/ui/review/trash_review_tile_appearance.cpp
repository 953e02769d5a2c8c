#include "ui/review/trash_review_tile_appearance.h"

#include <algorithm>

#include "ui/common/image_tile_presentation.h"

namespace lorvex::ui {

TrashReviewTileVisualState trashReviewTileVisualState(bool isSelected, bool isFocused, bool isHovering) {
  if (isSelected) return TrashReviewTileVisualState::selected;
  if (isFocused) return TrashReviewTileVisualState::focused;
  if (isHovering) return TrashReviewTileVisualState::hovered;
  return TrashReviewTileVisualState::idle;
}

TrashReviewTileAppearance trashReviewTileAppearance(bool isSelected, bool isFocused, bool isHovering) {
  using Color = TrashReviewTileColor;
  TrashReviewTileAppearance appearance;
  switch (trashReviewTileVisualState(isSelected, isFocused, isHovering)) {
    case TrashReviewTileVisualState::selected:
      appearance.fill = {Color::accent, 0.10};
      appearance.border = {Color::accent, 1};
      appearance.borderWidth = 2;
      break;
    case TrashReviewTileVisualState::focused:
      appearance.fill = {Color::selectedContentBackground, 0.08};
      appearance.border = {Color::keyboardFocusIndicator, 1};
      appearance.borderWidth = 2;
      break;
    case TrashReviewTileVisualState::hovered:
      appearance.fill = {Color::selectedContentBackground, 0.08};
      appearance.border = {Color::accent, 0.55};
      appearance.borderWidth = 1.5;
      break;
    case TrashReviewTileVisualState::idle:
      appearance.fill = {Color::controlBackground, 1};
      appearance.border = {Color::separator, 1};
      appearance.borderWidth = 1;
      break;
  }
  appearance.hasHoverRing = isSelected && isHovering;
  appearance.hasFocusRing = isFocused;
  return appearance;
}

TrashReviewTileImageRequest trashReviewTileImageRequest(const ImageRecord& record) {
  TrashReviewTileImageRequest request;
  request.path = record.thumbnailPath.value_or(record.file.path);
  // The results grid keys its images the same way; the loader adds the decode size to the key.
  request.cacheKey = tileImageCacheKey(record);
  if (!record.thumbnailPath) request.maxPixelSize = trash_review_tile_metrics::kImagePixelSize;
  return request;
}

TrashReviewGridLayout trashReviewGridLayout(int viewportWidth) {
  using namespace trash_review_tile_metrics;
  const int available = std::max(0, viewportWidth - 2 * kGridPadding);
  const int columns = std::max(1, (available + kGridSpacing) / (kMinimumColumnWidth + kGridSpacing));
  const int tileWidth = std::max(kMinimumColumnWidth, (available - (columns - 1) * kGridSpacing) / columns);
  return TrashReviewGridLayout{columns, tileWidth};
}

}  // namespace lorvex::ui
