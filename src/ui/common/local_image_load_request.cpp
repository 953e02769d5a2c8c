#include "ui/common/local_image_load_request.h"

#include <utility>

#include "model/text/numbers.h"

namespace lorvex::ui {
namespace {
constexpr char kKeySeparator = '\x1F';
}

LocalImageLoadRequest makeLocalImageLoadRequest(std::optional<std::string> path,
                                                std::optional<std::string> previewPath,
                                                std::optional<std::string> imageCacheKey,
                                                std::optional<std::string> previewCacheKey,
                                                std::optional<int> imageMaxPixelSize) {
  LocalImageLoadRequest request;
  if (previewPath && previewPath != path) request.previewPath = std::move(previewPath);
  if (imageMaxPixelSize && *imageMaxPixelSize > 0) request.imageMaxPixelSize = imageMaxPixelSize;
  if (path) {
    std::string key = imageCacheKey ? std::move(*imageCacheKey) : *path;
    if (request.imageMaxPixelSize) {
      key += kKeySeparator;
      key += "maxPixelSize=";
      key += std::to_string(*request.imageMaxPixelSize);
    }
    request.imageCacheKey = std::move(key);
  }
  if (request.previewPath)
    request.previewCacheKey = previewCacheKey ? std::move(previewCacheKey) : request.previewPath;
  request.path = std::move(path);
  return request;
}

std::string localImageFileCacheKey(std::string_view path, std::int64_t fileSize, double modificationDate) {
  std::string key(path);
  key += kKeySeparator;
  key += std::to_string(fileSize);
  key += kKeySeparator;
  key += text::formatDouble(modificationDate);
  return key;
}

}  // namespace lorvex::ui
