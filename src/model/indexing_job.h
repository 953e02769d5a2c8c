// A persistent indexing job, the files queued for it and the progress a scan reports, so that an
// interrupted scan can be resumed at the next launch. The status texts are the values stored in
// the job and queue tables.
//
// Thread safety: plain values and constant tables; a value may be copied to and read on any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/raw_value.h"

namespace lorvex {

enum class IndexingJobStatus { running, completed };

// pending -> processing -> indexed; a failed item ends "indexed" carrying a failure message, and
// readers count "failed or carrying a message" as failed.
enum class IndexingQueueItemStatus { pending, processing, indexed, failed };

enum class ImageLibraryIndexingPhase { discovering, indexing };

template <>
struct RawValueTable<IndexingJobStatus> {
  using Raw = std::string_view;
  static constexpr std::array<std::pair<IndexingJobStatus, Raw>, 2> entries{{
      {IndexingJobStatus::running, "running"},
      {IndexingJobStatus::completed, "completed"},
  }};
};

template <>
struct RawValueTable<IndexingQueueItemStatus> {
  using Raw = std::string_view;
  static constexpr std::array<std::pair<IndexingQueueItemStatus, Raw>, 4> entries{{
      {IndexingQueueItemStatus::pending, "pending"},
      {IndexingQueueItemStatus::processing, "processing"},
      {IndexingQueueItemStatus::indexed, "indexed"},
      {IndexingQueueItemStatus::failed, "failed"},
  }};
};

template <>
struct RawValueTable<ImageLibraryIndexingPhase> {
  using Raw = std::string_view;
  static constexpr std::array<std::pair<ImageLibraryIndexingPhase, Raw>, 2> entries{{
      {ImageLibraryIndexingPhase::discovering, "discovering"},
      {ImageLibraryIndexingPhase::indexing, "indexing"},
  }};
};

struct ImageLibraryIndexingProgress {
  ImageLibraryIndexingPhase phase = ImageLibraryIndexingPhase::discovering;
  std::int64_t processedCount = 0;
  std::int64_t totalCount = 0;
  std::int64_t indexedCount = 0;
  std::int64_t failedCount = 0;
  std::optional<std::string> currentPath;  // absent between files

  friend bool operator==(const ImageLibraryIndexingProgress&, const ImageLibraryIndexingProgress&) = default;
};

struct IndexingJobRecord {
  std::int64_t id = 0;
  std::vector<std::string> rootPaths;
  IndexingJobStatus status = IndexingJobStatus::running;
  ImageLibraryIndexingProgress progress;

  friend bool operator==(const IndexingJobRecord&, const IndexingJobRecord&) = default;
};

struct IndexingQueueItem {
  std::int64_t id = 0;
  std::int64_t jobID = 0;
  std::string path;
  std::optional<std::int64_t> fileSize;    // as seen when queued; absent when not recorded
  std::optional<double> modificationDate;  // seconds since 1970; absent when not recorded
  IndexingQueueItemStatus status = IndexingQueueItemStatus::pending;
  std::optional<std::string> failureMessage;  // absent when the item did not fail

  friend bool operator==(const IndexingQueueItem&, const IndexingQueueItem&) = default;
};

}  // namespace lorvex
