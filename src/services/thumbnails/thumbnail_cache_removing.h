// Removing cached thumbnails: one at a time when its image is trashed, and in a sweep of the
// files no live image refers to any more.
//
// Thread safety: implementations may be called from any thread.
#pragma once

#include <string>
#include <unordered_set>

#include "model/thumbnail_job.h"

namespace lorvex {

class ThumbnailCacheRemoving {
 public:
  virtual ~ThumbnailCacheRemoving() = default;

  // Removes the thumbnail file at `path`. An empty path, a path outside the cache folder (after
  // "." and ".." are resolved), a missing file or a folder is left alone without an error.
  // Throws when the removal itself fails.
  virtual void removeThumbnail(const std::string& path) const = 0;

  // Removes every cache file that none of `referencedKeys` names (by file name) and that was
  // last modified strictly before `cutoff` (seconds since 1970). Problems with single files or
  // shard folders are counted, not thrown; throws only when the cache folder cannot be listed.
  virtual ThumbnailCacheSweepSummary sweepCache(const std::unordered_set<std::string>& referencedKeys,
                                                double cutoff) const = 0;
};

}  // namespace lorvex
