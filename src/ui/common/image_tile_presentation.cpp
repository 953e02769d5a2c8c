#include "ui/common/image_tile_presentation.h"

#include "model/text/numbers.h"
#include "model/text/paths.h"
#include "ui/common/accessibility_identifiers.h"

namespace lorvex::ui {

std::string tileImageCacheKey(const ImageRecord& record) {
  if (record.thumbnailPath) return *record.thumbnailPath;
  std::string key = record.file.path;
  key += '\x1F';
  key += std::to_string(record.file.fileSize);
  key += '\x1F';
  key += text::formatDouble(record.file.modificationDate);
  return key;
}

ImageTileDisplayModel makeImageTileDisplayModel(const ImageRecord& record) {
  return ImageTileDisplayModel{record.file.path, record.thumbnailPath, tileImageCacheKey(record),
                               record.reviewState};
}

std::vector<ReviewBadge> reviewBadges(const ReviewState& state) {
  std::vector<ReviewBadge> badges;
  if (state.favorite) badges.push_back({"star.fill", ReviewBadge::Tint::yellow});
  if (state.deleteCandidate) badges.push_back({"trash.fill", ReviewBadge::Tint::orange});
  return badges;
}

std::string imageTileAccessibleValue(const ReviewState& state, bool isSelected,
                                     const AppLocalization& localizer) {
  using Key = AppLocalizationKey;
  const auto pair = [&](std::string first, std::string second) {
    return localizer.lookup(Key::commonAccessibilityPair, {std::move(first), std::move(second)});
  };
  const std::string selection = localizer.lookup(isSelected ? Key::resultTileAccessibilitySelected
                                                            : Key::resultTileAccessibilityUnselected);
  const std::string favorite = localizer.lookup(state.favorite ? Key::resultTileAccessibilityFavorite
                                                               : Key::resultTileAccessibilityNotFavorite);
  const std::string deleteCandidate =
      localizer.lookup(state.deleteCandidate ? Key::resultTileAccessibilityDeleteCandidate
                                             : Key::resultTileAccessibilityNotDeleteCandidate);
  return pair(pair(selection, favorite), deleteCandidate);
}

ImageTileImageSource imageTileImageSource(const ImageRecord& record) {
  ImageTileImageSource source;
  source.imagePath = record.thumbnailPath.value_or(record.file.path);
  if (!record.thumbnailPath) source.imageMaxPixelSize = image_tile_metrics::kImagePixelSize;
  source.imageCacheKey = tileImageCacheKey(record);
  return source;
}

ImageTilePresentation makeImageTilePresentation(const ImageTileDisplayModel& tile, bool isSelected,
                                                const AppLocalization& localizer) {
  ImageTilePresentation presentation;
  presentation.imagePath = tile.thumbnailPath.value_or(tile.path);
  if (!tile.thumbnailPath) presentation.imageMaxPixelSize = image_tile_metrics::kImagePixelSize;
  presentation.imageCacheKey = tile.imageCacheKey;
  presentation.badges = reviewBadges(tile.reviewState);
  presentation.fileName = std::string(text::lastPathComponent(tile.path));
  presentation.isSelected = isSelected;
  presentation.accessibleName = presentation.fileName;
  presentation.accessibleValue = imageTileAccessibleValue(tile.reviewState, isSelected, localizer);
  presentation.identifier = resultTileAccessibilityIdentifier(tile.path);
  return presentation;
}

}  // namespace lorvex::ui
