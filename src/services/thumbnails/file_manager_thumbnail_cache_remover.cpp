#include "services/thumbnails/file_manager_thumbnail_cache_remover.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "model/text/paths.h"
#include "platform/file_attributes.h"
#include "platform/regular_file.h"
#include "services/thumbnails/thumbnail_cache_layout.h"

namespace lorvex {
namespace {

struct FolderListing {
  int descriptor = -1;              // open while the listing is used, for fstatat
  std::vector<std::string> names;   // visible entries, in name order
  std::vector<std::string> hidden;  // hidden entries (no "." or ".."), in name order

  FolderListing() = default;
  FolderListing(FolderListing&& other) noexcept
      : descriptor(std::exchange(other.descriptor, -1)),
        names(std::move(other.names)),
        hidden(std::move(other.hidden)) {}
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;
  FolderListing& operator=(FolderListing&&) = delete;
  ~FolderListing() {
    if (descriptor >= 0) ::close(descriptor);
  }
};

// The entries of a folder, visible and hidden apart (hidden names are never thumbnails, only
// the generator's temporary files), or the errno value of the failure.
std::optional<FolderListing> listFolder(const std::string& path, int& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return std::nullopt;
  }
  // fdopendir takes the descriptor over; keep our own copy for fstatat.
  const int listingFD = ::dup(fd);
  DIR* folder = listingFD >= 0 ? ::fdopendir(listingFD) : nullptr;
  if (folder == nullptr) {
    error = errno;
    if (listingFD >= 0) ::close(listingFD);
    ::close(fd);
    return std::nullopt;
  }
  std::optional<FolderListing> listing(std::in_place);
  listing->descriptor = fd;
  errno = 0;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view name = entry->d_name;
    if (name[0] != '.') {
      listing->names.emplace_back(name);
    } else if (name != "." && name != "..") {
      listing->hidden.emplace_back(name);
    }
    errno = 0;
  }
  const int readError = errno;
  ::closedir(folder);
  if (readError != 0) {
    error = readError;
    return std::nullopt;
  }
  std::sort(listing->names.begin(), listing->names.end());
  std::sort(listing->hidden.begin(), listing->hidden.end());
  return listing;
}

std::optional<struct stat> entryStatus(int folderFD, const std::string& name) {
  struct stat info {};
  if (::fstatat(folderFD, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return info;
}

}  // namespace

FileManagerThumbnailCacheRemover::FileManagerThumbnailCacheRemover(std::string cacheDirectory)
    : cacheDirectory_(text::standardizedPath(cacheDirectory)) {}

void FileManagerThumbnailCacheRemover::removeThumbnail(const std::string& path) const {
  if (path.empty()) return;
  const std::string standardized = text::standardizedPath(path);
  std::string prefix = cacheDirectory_;
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  if (!standardized.starts_with(prefix)) return;  // never remove anything outside the cache
  const auto attributes = platform::readFileAttributes(standardized);
  if (!attributes || attributes->kind == platform::FileKind::directory) return;
  if (::unlink(standardized.c_str()) != 0) platform::throwFileError("Unable to remove thumbnail", errno);
}

ThumbnailCacheSweepSummary FileManagerThumbnailCacheRemover::sweepCache(
    const std::unordered_set<std::string>& referencedKeys, double cutoff) const {
  ThumbnailCacheSweepSummary summary;
  if (!platform::fileExists(cacheDirectory_)) return summary;

  std::unordered_set<std::string> referencedNames;
  for (const auto& key : referencedKeys) referencedNames.emplace(text::lastPathComponent(key));

  int error = 0;
  const auto cache = listFolder(cacheDirectory_, error);
  if (!cache) platform::throwFileError("Unable to list the thumbnail cache", error);

  for (const std::string& shard : cache->names) {
    if (!isThumbnailShardName(shard)) continue;
    const auto shardStatus = entryStatus(cache->descriptor, shard);
    if (!shardStatus || !S_ISDIR(shardStatus->st_mode)) continue;
    const std::string shardPath = cacheDirectory_ + "/" + shard;
    const auto files = listFolder(shardPath, error);
    if (!files) {
      summary.failedRemovalCount += 1;
      continue;
    }
    for (const std::string& name : files->names) {
      if (!isThumbnailFileName(name, shard)) continue;
      summary.scannedFileCount += 1;
      if (referencedNames.contains(name)) continue;
      const auto status = entryStatus(files->descriptor, name);
      if (!status || !S_ISREG(status->st_mode)) {
        summary.keptRecentFileCount += 1;
        continue;
      }
      if (platform::modificationTimeSeconds(status->st_mtim) < cutoff) {
        if (::unlinkat(files->descriptor, name.c_str(), 0) == 0) {
          summary.removedThumbnailPaths.push_back(shardPath + "/" + name);
        } else {
          summary.failedRemovalCount += 1;
        }
      } else {
        summary.keptRecentFileCount += 1;
      }
    }
    // A thumbnail write killed midway leaves its temporary file behind; nothing refers to it and
    // nothing else removes it. A recent one may still be being written, so the same cut-off holds.
    // These are not thumbnails: they are neither counted nor reported as removed thumbnails.
    for (const std::string& name : files->hidden) {
      if (!isThumbnailTemporaryFileName(name, shard)) continue;
      const auto status = entryStatus(files->descriptor, name);
      if (!status || !S_ISREG(status->st_mode)) continue;
      if (platform::modificationTimeSeconds(status->st_mtim) >= cutoff) continue;
      if (::unlinkat(files->descriptor, name.c_str(), 0) != 0 && errno != ENOENT) {
        summary.failedRemovalCount += 1;
      }
    }
  }
  return summary;
}

}  // namespace lorvex
