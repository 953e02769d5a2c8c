// Queued thumbnail generation: the job record the library keeps per image file, its priority, the
// retry delay after a failure, and the summaries of a generation run and of a cache sweep.
//
// Thread safety: plain values, constant tables and pure functions; the shared empty summaries are
// built once, thread-safely, on first use.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/image_record.h"
#include "model/raw_value.h"

namespace lorvex {

// Jobs are taken in descending priority; `visible` marks a thumbnail wanted for an image on screen.
enum class ThumbnailJobPriority { background, visible };

template <>
struct RawValueTable<ThumbnailJobPriority> {
  using Raw = std::int64_t;
  static constexpr std::array<std::pair<ThumbnailJobPriority, Raw>, 2> entries{{
      {ThumbnailJobPriority::background, 0},
      {ThumbnailJobPriority::visible, 100},
  }};
};

// One queued job, identified by its id (one job per image file).
struct ThumbnailJobRecord {
  std::int64_t id = 0;
  std::int64_t mediaFileID = 0;
  std::string path;
  ImageFileInfo fileInfo;  // as the library holds it when the job is read
  ThumbnailJobPriority priority = ThumbnailJobPriority::background;
  std::int64_t retryCount = 0;
  std::optional<std::string> lastError;
  std::optional<double> nextRetryAt;  // seconds since 1970; absent when the job may run now

  friend bool operator==(const ThumbnailJobRecord&, const ThumbnailJobRecord&) = default;
};

// Seconds to wait before retrying a job that has failed `retryCount` times before this failure:
// 60, 120, 240, 480, 960, then 1920 for every later attempt. The job store sets no retry limit.
double thumbnailRetryDelay(std::int64_t retryCount);

struct ThumbnailPathUpdate {
  std::string path;           // the image
  std::string thumbnailPath;  // its new thumbnail file

  friend bool operator==(const ThumbnailPathUpdate&, const ThumbnailPathUpdate&) = default;
};

struct ThumbnailJobRunSummary {
  std::int64_t attemptedCount = 0;
  std::int64_t succeededCount = 0;
  std::int64_t failedCount = 0;
  std::vector<ThumbnailPathUpdate> succeededThumbnails;

  // All counts 0, no thumbnails: what a run asked to take fewer than one job returns.
  static const ThumbnailJobRunSummary& empty();

  friend bool operator==(const ThumbnailJobRunSummary&, const ThumbnailJobRunSummary&) = default;
};

struct ThumbnailCacheSweepSummary {
  std::int64_t scannedFileCount = 0;
  std::vector<std::string> removedThumbnailPaths;  // unreferenced files removed
  std::int64_t keptRecentFileCount = 0;            // unreferenced but newer than the cut-off
  std::int64_t failedRemovalCount = 0;

  // All counts 0, no paths: the sweep of a missing cache folder, and where a sweep starts.
  static const ThumbnailCacheSweepSummary& empty();

  friend bool operator==(const ThumbnailCacheSweepSummary&, const ThumbnailCacheSweepSummary&) = default;
};

}  // namespace lorvex
