#include "ui/common/image_tile_presentation.h"

#include "model/text/numbers.h"

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

}  // namespace lorvex::ui
