#include "services/sqlite_library_indexing_store.h"

#include "database/sql_paths.h"
#include "database/sqlite_image_repository.h"
#include "model/text/paths.h"
#include "platform/log.h"

namespace lorvex {

namespace {

constexpr const char* kFailed = "failed";

IndexingQueueCounterDeltas minus(const IndexingQueueCounterDeltas& a, const IndexingQueueCounterDeltas& b) {
  return {a.total - b.total, a.processed - b.processed, a.indexed - b.indexed, a.failed - b.failed};
}

// The job's counts move by `deltas` and its current path is cleared; the caller holds a
// transaction.
void applyCounterDeltas(SQLiteConnection& connection, std::int64_t jobID,
                        const IndexingQueueCounterDeltas& deltas) {
  connection.execute(
      "UPDATE indexing_jobs\n"
      "SET total_count = max(0, total_count + ?),\n"
      "    processed_count = max(0, processed_count + ?),\n"
      "    indexed_count = max(0, indexed_count + ?),\n"
      "    failed_count = max(0, failed_count + ?),\n"
      "    current_path = ?,\n"
      "    updated_at = ?\n"
      "WHERE id = ?",
      {deltas.total, deltas.processed, deltas.indexed, deltas.failed, SQLiteV3Binding::null(),
       connection.now(), jobID});
}

const IndexingQueueCounterDeltas kFailedDeltas =
    SQLiteImageRepositoryV3::queueItemCounterDeltas(IndexingQueueItemStatus::failed, true);

}  // namespace

IndexingJobRecord SQLiteLibraryIndexingStore::startIndexingJob(const std::vector<std::string>& rootPaths) {
  return repository_.startIndexingJob(rootPaths);
}

IndexingJobRecord SQLiteLibraryIndexingStore::indexingJob(std::int64_t jobID) {
  return repository_.indexingJob(jobID);
}

std::optional<IndexingJobRecord> SQLiteLibraryIndexingStore::resumeInterruptedIndexingJob() {
  return repository_.resumeInterruptedIndexingJob();
}

void SQLiteLibraryIndexingStore::enqueueIndexingQueueItems(std::int64_t jobID, const ImageFileInfo& file) {
  repository_.enqueueIndexingQueueItems(jobID, file);
}

std::optional<IndexingQueueItem> SQLiteLibraryIndexingStore::beginNextQueueItem(std::int64_t jobID) {
  return repository_.beginNextQueueItem(jobID);
}

std::vector<IndexingQueueItem> SQLiteLibraryIndexingStore::nextPendingQueueItems(std::int64_t jobID,
                                                                                 std::size_t limit) {
  SQLiteConnection& connection = repository_.connection();
  auto guard = connection.lock();
  return connection.query(
      "SELECT id, job_id, path, file_size, modification_time, failure_message FROM indexing_queue_items "
      "INDEXED BY idx_indexing_queue_items_status_mtime WHERE job_id = ? AND status = ? "
      "ORDER BY modification_time DESC, path ASC LIMIT ?",
      {jobID, "pending", static_cast<std::int64_t>(limit)}, [](SQLiteRows& rows) {
        std::vector<IndexingQueueItem> items;
        while (rows.next()) {
          IndexingQueueItem item;
          item.id = rows.int64(0);
          item.jobID = rows.int64(1);
          item.path = rows.text(2);
          item.fileSize = rows.optionalInt64(3);
          item.modificationDate = rows.optionalReal(4);
          item.status = IndexingQueueItemStatus::pending;
          item.failureMessage = rows.optionalText(5);
          items.push_back(std::move(item));
        }
        return items;
      });
}

void SQLiteLibraryIndexingStore::updateQueueItemFileInfo(std::int64_t jobID, std::int64_t itemID,
                                                         const ImageFileInfo& file) {
  SQLiteConnection& connection = repository_.connection();
  auto guard = connection.lock();
  connection.execute(
      "UPDATE indexing_queue_items\n"
      "SET file_size = ?, modification_time = ?, updated_at = ?\n"
      "WHERE id = ? AND job_id = ?",
      {file.fileSize, file.modificationDate, connection.now(), itemID, jobID});
}

ImageLibraryIndexingProgress SQLiteLibraryIndexingStore::completeIndexingQueueItem(
    std::int64_t jobID, std::int64_t itemID, const std::optional<std::string>& message) {
  return repository_.completeIndexingQueueItem(jobID, itemID, message);
}

ImageLibraryIndexingProgress SQLiteLibraryIndexingStore::failIndexingQueueItem(std::int64_t jobID,
                                                                               std::int64_t itemID,
                                                                               const std::string& message) {
  SQLiteConnection& connection = repository_.connection();
  auto guard = connection.lock();
  const IndexingQueueItem stored = repository_.indexingQueueItem(itemID, jobID);
  connection.performTransaction([&] {
    connection.execute(
        "UPDATE indexing_queue_items\n"
        "SET status = ?, failure_message = ?, updated_at = ?\n"
        "WHERE id = ? AND job_id = ?",
        {kFailed, message, connection.now(), itemID, jobID});
    applyCounterDeltas(connection, jobID,
                       minus(kFailedDeltas, SQLiteImageRepositoryV3::queueItemCounterDeltas(
                                                stored.status, stored.failureMessage.has_value())));
  });
  const ImageLibraryIndexingProgress progress = repository_.indexingJob(jobID).progress;
  if (progress.processedCount >= 1 &&
      progress.processedCount % SQLiteImageRepositoryV3::kCheckpointInterval == 0) {
    try {
      connection.executeScript("PRAGMA wal_checkpoint(TRUNCATE);");
    } catch (const std::exception& error) {
      platform::logDebug("IndexingPerformance", std::string("WAL checkpoint failed: ") + error.what());
    }
  }
  return progress;
}

void SQLiteLibraryIndexingStore::recordDiscoveryFailure(std::int64_t jobID, const std::string& path,
                                                        const std::string& message) {
  SQLiteConnection& connection = repository_.connection();
  const std::string standardized = text::standardizedPath(path);
  auto guard = connection.lock();
  connection.performTransaction([&] {
    const auto existing = connection.query(
        "SELECT id, status, failure_message FROM indexing_queue_items WHERE job_id = ? AND path = ?",
        {jobID, standardized}, [](SQLiteRows& rows) -> std::optional<IndexingQueueItem> {
          if (!rows.next()) return std::nullopt;
          IndexingQueueItem item;
          item.id = rows.int64(0);
          item.status =
              fromRawValue<IndexingQueueItemStatus>(rows.text(1)).value_or(IndexingQueueItemStatus::pending);
          item.failureMessage = rows.optionalText(2);
          return item;
        });
    const double now = connection.now();
    if (!existing) {
      connection.execute(
          "INSERT INTO indexing_queue_items (job_id, path, file_size, modification_time, status, "
          "failure_message, "
          "created_at, updated_at) VALUES (?, ?, NULL, NULL, ?, ?, ?, ?)",
          {jobID, standardized, kFailed, message, now, now});
      applyCounterDeltas(connection, jobID,
                         {1, kFailedDeltas.processed, kFailedDeltas.indexed, kFailedDeltas.failed});
      return;
    }
    // No size or time: once the path reads again, the next enqueue sends it back to pending.
    connection.execute(
        "UPDATE indexing_queue_items SET file_size = NULL, modification_time = NULL, status = ?, "
        "failure_message = ?, updated_at = ? WHERE id = ?",
        {kFailed, message, now, existing->id});
    applyCounterDeltas(connection, jobID,
                       minus(kFailedDeltas, SQLiteImageRepositoryV3::queueItemCounterDeltas(
                                                existing->status, existing->failureMessage.has_value())));
  });
}

ImageLibraryScanSummary SQLiteLibraryIndexingStore::completeIndexingJob(std::int64_t jobID) {
  return repository_.completeIndexingJob(jobID);
}

std::optional<IndexedImageFileState> SQLiteLibraryIndexingStore::indexedFileState(std::string_view path) {
  return repository_.indexedFileState(path);
}

void SQLiteLibraryIndexingStore::markObserved(const ImageFileInfo& file, std::int64_t jobID) {
  repository_.markObserved(file, jobID);
}

void SQLiteLibraryIndexingStore::markSeenAfterFailure(std::string_view path, std::int64_t jobID) {
  repository_.markSeenAfterFailure(path, jobID);
}

void SQLiteLibraryIndexingStore::markSeenUnder(std::string_view path, std::int64_t jobID) {
  const std::string standardized = text::standardizedPath(path);
  if (standardized.empty()) return;
  const std::string prefix = sql::folderPrefix(standardized);
  SQLiteConnection& connection = repository_.connection();
  auto guard = connection.lock();
  connection.execute(
      "UPDATE media_files SET last_seen_indexing_job_id = ? WHERE missing = 0 AND (absolute_path = ? OR "
      "substr(absolute_path, 1, length(?)) = ?)",
      {jobID, standardized, prefix, prefix});
}

void SQLiteLibraryIndexingStore::upsertRecord(const ImageRecord& record, std::int64_t jobID) {
  repository_.upsertRecord(record, jobID);
}

std::vector<std::string> SQLiteLibraryIndexingStore::relocationCandidatePaths(std::string_view contentSHA256,
                                                                              std::string_view path) {
  return repository_.relocationCandidatePaths(contentSHA256, path);
}

void SQLiteLibraryIndexingStore::markMissing(const std::vector<std::string>& paths) {
  repository_.markMissing(paths);
}

void SQLiteLibraryIndexingStore::markMissingIfNotSeen(std::int64_t jobID,
                                                      const std::vector<std::string>& paths) {
  repository_.markMissingIfNotSeen(jobID, paths);
}

}  // namespace lorvex
