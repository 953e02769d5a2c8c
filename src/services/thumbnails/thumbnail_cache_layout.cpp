#include "services/thumbnails/thumbnail_cache_layout.h"

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

bool isThumbnailTemporaryFileName(std::string_view name, std::string_view shard) {
  constexpr std::string_view kTemporaryMarker = ".tmp-";
  constexpr std::size_t kUniqueLength = 6;  // the XXXXXX that mkstemp replaces
  if (!name.starts_with('.')) return false;
  name.remove_prefix(1);
  const std::size_t uniqueStart = name.size() >= kUniqueLength ? name.size() - kUniqueLength : 0;
  if (uniqueStart < kTemporaryMarker.size()) return false;
  for (const char character : name.substr(uniqueStart)) {
    if (!((character >= '0' && character <= '9') || (character >= 'a' && character <= 'z') ||
          (character >= 'A' && character <= 'Z'))) {
      return false;
    }
  }
  if (name.substr(uniqueStart - kTemporaryMarker.size(), kTemporaryMarker.size()) != kTemporaryMarker) {
    return false;
  }
  return isThumbnailFileName(name.substr(0, uniqueStart - kTemporaryMarker.size()), shard);
}

std::string thumbnailFilePath(std::string_view cacheDirectory, std::string_view hash) {
  std::string path(cacheDirectory);
  if (path.empty() || path.back() != '/') path += '/';
  path.append(hash.substr(0, 2)).append("/").append(hash).append(kThumbnailFileExtension);
  return path;
}

}  // namespace lorvex
