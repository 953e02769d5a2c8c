#include "services/thumbnail_cache_layout.h"

namespace lorvex {
namespace {

bool isLowercaseHex(std::string_view text) {
  for (const char character : text) {
    if (!((character >= '0' && character <= '9') || (character >= 'a' && character <= 'f'))) return false;
  }
  return true;
}

}  // namespace

bool isThumbnailShardName(std::string_view name) {
  return name.size() == 2 && isLowercaseHex(name);
}

bool isThumbnailFileName(std::string_view name, std::string_view shard) {
  if (!name.ends_with(kThumbnailFileExtension)) return false;
  const std::string_view hash = name.substr(0, name.size() - kThumbnailFileExtension.size());
  return hash.size() == 64 && hash.starts_with(shard) && isLowercaseHex(hash);
}

std::string thumbnailFilePath(std::string_view cacheDirectory, std::string_view hash) {
  std::string path(cacheDirectory);
  if (path.empty() || path.back() != '/') path += '/';
  path.append(hash.substr(0, 2)).append("/").append(hash).append(kThumbnailFileExtension);
  return path;
}

}  // namespace lorvex
