// Indexing jobs and their queue: the durable record of a scan, so that a run interrupted by a quit
// or a crash can be resumed and its progress shown. A scan runs as a job: start it, enqueue every
// discovered file, claim and complete items one by one (or in batches), complete the job. A failed
// item keeps the status "indexed" with a failure message, or "failed"; counts treat either as
// failed. Unknown ids throw recordNotFound ("indexing job 7", "indexing queue item 17 in job 3").
//
// Every this many processed items the write-ahead log is truncated, so a long scan does not grow
// it without bound.
//
// Thread safety: every operation takes the connection's lock for its whole unit of work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "database/library_store_protocols.h"
#include "database/sqlite_image_repository.h"
#include "model/image_library_scan_summary.h"
#include "model/indexing_job.h"

namespace lorvex {

class ScanBookkeeping;

class IndexingJobs {
 public:
  static constexpr std::int64_t kCheckpointInterval = 500;
  // The batched operations bind at most this many ids or paths per statement.
  static constexpr std::size_t kBatchStatementSize = 400;

  IndexingJobs(SQLiteConnection& connection, ScanBookkeeping& files)
      : connection_(connection), files_(files) {}

  static IndexingQueueCounterDeltas queueItemCounterDeltas(IndexingQueueItemStatus status,
                                                           bool hasFailureMessage);
  IndexingJobRecord startIndexingJob(const std::vector<std::string>& rootPaths);
  IndexingJobRecord indexingJob(std::int64_t jobID);
  std::optional<IndexingJobRecord> latestIndexingJobID();
  std::optional<IndexingJobRecord> resumeInterruptedIndexingJob();
  void enqueueIndexingQueueItems(std::int64_t jobID, const ImageFileInfo& file);
  std::optional<IndexingQueueItem> beginNextQueueItem(std::int64_t jobID);
  std::vector<IndexingQueueItem> nextPendingQueueItems(std::int64_t jobID, std::size_t limit);
  void updateQueueItemFileInfo(std::int64_t jobID, std::int64_t itemID, const ImageFileInfo& file);
  ImageLibraryIndexingProgress completeIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                         const std::optional<std::string>& failureMessage);
  ImageLibraryIndexingProgress failIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                     const std::string& message);
  void recordDiscoveryFailure(std::int64_t jobID, const std::string& path, const std::string& message);
  IndexingQueueItem indexingQueueItem(std::int64_t itemID, std::int64_t jobID);
  void closeIndexingJobsCoveredBy(std::int64_t jobID, const std::vector<std::string>& rootPaths);
  ImageLibraryScanSummary completeIndexingJob(std::int64_t jobID);

  // indexing_queue_batches.cpp
  std::vector<QueuedDiscoveredFile> enqueueIndexingQueueItemBatch(std::int64_t jobID,
                                                                  const std::vector<ImageFileInfo>& files,
                                                                  const UnchangedFileTest& isUnchanged);
  std::vector<IndexingQueueItem> beginNextQueueItems(std::int64_t jobID, std::size_t limit);
  std::vector<ImageLibraryIndexingProgress> completeUnchangedQueueItems(
      std::int64_t jobID, const std::vector<UnchangedQueueItem>& items);

  // The parts of an item's completion that a caller batching completions inside its own locked
  // transaction puts together (indexing_queue_batches.cpp). QueueCompletions reads what the items
  // counted before, steps the job's counts as each single completion would, and writes the items
  // and the job's counts.
  class QueueCompletions {
   public:
    // Throws recordNotFound for an item id that is not the job's (before anything is written).
    QueueCompletions(IndexingJobs& jobs, std::int64_t jobID, const std::vector<std::int64_t>& itemIDs);
    // Marks the item indexed with the message and moves the job's counts (in memory) as
    // completeIndexingQueueItem moves them. An item without a message is written by write(),
    // together with the others: one statement per item cost twice as much.
    void complete(std::int64_t itemID, const std::optional<std::string>& message);
    // Writes the completed items not written yet and the job's counts as the completions so far
    // left them; nothing when there were none.
    void write();
    // The job's progress after the completions so far.
    const ImageLibraryIndexingProgress& progress() const { return running_; }

   private:
    struct Before {
      IndexingQueueCounterDeltas counted;
      bool indexed = false;
    };
    IndexingJobs& jobs_;
    std::int64_t jobID_;
    std::unordered_map<std::int64_t, Before> before_;
    ImageLibraryIndexingProgress running_;
    bool changed_ = false;
    // Completed without a message and not written yet, in completion order.
    std::vector<std::int64_t> unwritten_;
    void writeItems();
  };
  // Truncates the write-ahead log; a failure is logged, never thrown.
  void checkpointWAL();
  static bool isCheckpointDue(std::int64_t processedCount) {
    return processedCount > 0 && processedCount % kCheckpointInterval == 0;
  }

 private:
  // The start of a SELECT of whole queue items, and the decoding of one of its rows.
  static constexpr std::string_view kQueueItemColumns =
      "SELECT id, job_id, path, file_size, modification_time, status, failure_message FROM "
      "indexing_queue_items ";
  static IndexingQueueItem decodeQueueItemRow(SQLiteRows& row);
  static std::optional<IndexingQueueItem> firstQueueItem(SQLiteRows& rows);

  void refreshIndexingJobCounters(std::int64_t jobID, const std::optional<std::string>& currentPath);
  void applyIndexingJobCounterDeltas(std::int64_t jobID, const IndexingQueueCounterDeltas& deltas,
                                     const std::optional<std::string>& currentPath);
  std::optional<IndexingQueueItem> queueItemForPath(std::int64_t jobID, const std::string& path);
  std::vector<IndexingQueueItem> pendingItems(std::int64_t jobID, std::size_t limit);
  void upsertLibraryRoot(const std::string& path, double now);

  SQLiteConnection& connection_;
  ScanBookkeeping& files_;
};

}  // namespace lorvex
