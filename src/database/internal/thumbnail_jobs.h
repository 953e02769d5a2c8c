// Thumbnail jobs and thumbnail references: the durable queue of thumbnail work and the keys of the
// cached thumbnail files that the cache sweep checks. One job per live image without a thumbnail
// key, for the file version (size, modification time) it was made for. Claimed jobs become
// "processing"; completion stores the key only if the file is still exactly that version, and
// deletes the job. Claims live only inside one process: jobs left "processing" return to "pending"
// when the library is opened.
//
// Thread safety: every public operation takes the connection's lock, except
// clearThumbnailKeysForMediaFiles, which runs inside the caller's locked transaction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "model/thumbnail_job.h"

namespace lorvex {

class ThumbnailJobs {
 public:
  // Ids per statement when keys are cleared.
  static constexpr std::size_t kClearKeysChunk = 500;

  explicit ThumbnailJobs(SQLiteConnection& connection) : connection_(connection) {}

  void enqueueMissingThumbnailJobs(ThumbnailJobPriority priority);
  void enqueueThumbnailJobs(const std::vector<std::string>& paths, ThumbnailJobPriority priority);
  std::optional<ThumbnailJobRecord> claimNextThumbnailJob(double now);
  void completeThumbnailJob(const ThumbnailJobRecord& job, std::string_view thumbnailKey);
  void failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message, double nextRetryAt);
  void dropThumbnailJob(const ThumbnailJobRecord& job);
  std::vector<ThumbnailJobRecord> failedThumbnailJobs();
  std::set<std::string> liveThumbnailKeys();
  void clearThumbnailKeys(const std::set<std::string>& cacheFileNames);
  void clearThumbnailKeysForMediaFiles(const std::vector<std::int64_t>& mediaFileIDs);
  // Jobs a previous process left claimed go back to pending; run once when the library opens.
  void returnInterruptedThumbnailJobsToPending();

 private:
  void upsertThumbnailJobs(const std::optional<std::string>& path, ThumbnailJobPriority priority, double now);

  SQLiteConnection& connection_;
};

}  // namespace lorvex
