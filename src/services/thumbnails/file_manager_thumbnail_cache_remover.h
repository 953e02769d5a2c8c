// ThumbnailCacheRemoving over the cache folder's two-level layout (thumbnail_cache_layout.h).
//
// Thread safety: no mutable state; any thread. Two sweeps at once may count each other's
// removals as failures, never remove a referenced file.
#pragma once

#include "services/thumbnails/thumbnail_cache_removing.h"

namespace lorvex {

class FileManagerThumbnailCacheRemover final : public ThumbnailCacheRemoving {
 public:
  // `cacheDirectory`: the "Thumbnails" folder of the library (standardised here).
  explicit FileManagerThumbnailCacheRemover(std::string cacheDirectory);

  const std::string& cacheDirectory() const { return cacheDirectory_; }

  // Throws platform::FileError ("Unable to remove thumbnail: …").
  void removeThumbnail(const std::string& path) const override;
  // Shards and files are visited in name order; throws platform::FileError when the cache folder
  // exists but cannot be listed. Temporary files a killed thumbnail write left behind
  // (".<hash>.jpg.tmp-XXXXXX") older than `cutoff` are removed too, outside the counts.
  ThumbnailCacheSweepSummary sweepCache(const std::unordered_set<std::string>& referencedKeys,
                                        double cutoff) const override;

 private:
  std::string cacheDirectory_;
};

}  // namespace lorvex
