// What an image view asks to show, normalised so that two views asking for the same thing make
// equal requests and share decoded images through the memory cache.
//
// Thread safety: value types and pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lorvex::ui {

// The pixel size grid tiles downsample an image file to when no thumbnail file exists.
inline constexpr int kTileImageMaxPixelSize = 320;

struct LocalImageLoadRequest {
  std::optional<std::string> path;
  std::optional<std::string> previewPath;  // shown while `path` loads; never equal to `path`
  std::optional<std::string> imageCacheKey;
  std::optional<std::string> previewCacheKey;
  std::optional<int> imageMaxPixelSize;  // present only when above 0 (a downsampled decode)

  bool operator==(const LocalImageLoadRequest&) const = default;
};

// The request of a view's fields: a preview equal to the path is dropped; a pixel size of 0 or
// below means a full decode; the image key defaults to the path and, for a downsampled decode,
// ends with U+001F "maxPixelSize=" and the size, so a thumbnail never answers for the full image;
// the preview key defaults to the preview path and carries no size (a preview is decoded in full).
LocalImageLoadRequest makeLocalImageLoadRequest(std::optional<std::string> path,
                                                std::optional<std::string> previewPath,
                                                std::optional<std::string> imageCacheKey,
                                                std::optional<std::string> previewCacheKey,
                                                std::optional<int> imageMaxPixelSize);

// The cache key of an image file as one version of it: the path, U+001F, the file size in
// decimal, U+001F and the modification time in seconds since 1970 as text::formatDouble writes it.
// A changed file keeps its path but gets a new key, so a stale decode is never shown for it.
std::string localImageFileCacheKey(std::string_view path, std::int64_t fileSize, double modificationDate);

}  // namespace lorvex::ui
