// Indexing jobs and their queue, one item at a time; the batched forms are in
// indexing_queue_batches.cpp.
#include "database/internal/indexing_jobs.h"

#include <algorithm>
#include <string>

#include "database/internal/row_mappers.h"
#include "database/internal/scan_bookkeeping.h"
#include "database/internal/sql_paths.h"
#include "model/text/paths.h"
#include "platform/log.h"

namespace lorvex {

using Error = SQLiteImageRepositoryV3Error;

namespace {

constexpr char kRootPathSeparator = '\x1F';
constexpr const char* kRunning = "running";
constexpr const char* kCompleted = "completed";
constexpr const char* kPending = "pending";
constexpr const char* kProcessing = "processing";
constexpr const char* kIndexed = "indexed";
constexpr const char* kFailed = "failed";

std::string joinedRootPaths(const std::vector<std::string>& roots) {
  std::string joined;
  for (const auto& root : roots) {
    if (!joined.empty()) joined += kRootPathSeparator;
    joined += root;
  }
  return joined;
}

std::vector<std::string> splitRootPaths(std::string_view joined) {
  std::vector<std::string> roots;
  std::size_t start = 0;
  while (start <= joined.size()) {
    const std::size_t end = std::min(joined.find(kRootPathSeparator, start), joined.size());
    if (end > start) roots.emplace_back(joined.substr(start, end - start));
    start = end + 1;
  }
  return roots;
}

IndexingJobRecord decodeIndexingJobRow(SQLiteRows& row) {
  IndexingJobRecord job;
  job.id = row.int64(0);
  job.rootPaths = splitRootPaths(row.text(1));
  job.status = row.text(2) == kCompleted ? IndexingJobStatus::completed : IndexingJobStatus::running;
  job.progress.phase = ImageLibraryIndexingPhase::indexing;
  job.progress.totalCount = row.int64(3);
  job.progress.processedCount = row.int64(4);
  job.progress.indexedCount = row.int64(5);
  job.progress.failedCount = row.int64(6);
  job.progress.currentPath = row.optionalText(7);
  return job;
}

bool isFinished(IndexingQueueItemStatus status) {
  return status == IndexingQueueItemStatus::indexed || status == IndexingQueueItemStatus::failed;
}

bool countsAsFailed(const IndexingQueueItem& item) {
  return item.status == IndexingQueueItemStatus::failed || item.failureMessage.has_value();
}

IndexingQueueCounterDeltas minus(const IndexingQueueCounterDeltas& a, const IndexingQueueCounterDeltas& b) {
  return {a.total - b.total, a.processed - b.processed, a.indexed - b.indexed, a.failed - b.failed};
}

}  // namespace

IndexingQueueItem IndexingJobs::decodeQueueItemRow(SQLiteRows& row) {
  IndexingQueueItem item;
  item.id = row.int64(0);
  item.jobID = row.int64(1);
  item.path = row.text(2);
  item.fileSize = row.optionalInt64(3);
  item.modificationDate = row.optionalReal(4);
  item.status = fromRawValue<IndexingQueueItemStatus>(row.text(5)).value_or(IndexingQueueItemStatus::pending);
  item.failureMessage = row.optionalText(6);
  return item;
}

std::optional<IndexingQueueItem> IndexingJobs::firstQueueItem(SQLiteRows& rows) {
  if (!rows.next()) return std::nullopt;
  return decodeQueueItemRow(rows);
}

IndexingQueueCounterDeltas IndexingJobs::queueItemCounterDeltas(IndexingQueueItemStatus status,
                                                                bool hasFailureMessage) {
  return {
      0,
      isFinished(status) ? 1 : 0,
      status == IndexingQueueItemStatus::indexed ? 1 : 0,
      status == IndexingQueueItemStatus::failed || hasFailureMessage ? 1 : 0,
  };
}

IndexingJobRecord IndexingJobs::startIndexingJob(const std::vector<std::string>& rootPaths) {
  const auto roots = sql::standardizedUniquePaths(rootPaths);
  auto guard = connection_.lock();
  const double now = connection_.now();
  const std::int64_t jobID = connection_.performTransaction([&] {
    for (const auto& root : roots) upsertLibraryRoot(root, now);
    connection_.execute(
        "INSERT INTO indexing_jobs (root_paths, status, total_count, processed_count, indexed_count, "
        "failed_count, "
        "current_path, created_at, updated_at, completed_at) VALUES (?, ?, 0, 0, 0, 0, NULL, ?, ?, NULL)",
        {joinedRootPaths(roots), kRunning, now, now});
    return connection_.lastInsertRowID();
  });
  return indexingJob(jobID);
}

void IndexingJobs::upsertLibraryRoot(const std::string& path, double now) {
  const std::string standardized = text::standardizedPath(path);
  connection_.execute(
      "INSERT INTO library_roots (path, created_at, updated_at) VALUES (?, ?, ?) "
      "ON CONFLICT(path) DO UPDATE SET updated_at = excluded.updated_at",
      {standardized, now, now});
  connection_.query("SELECT id FROM library_roots WHERE path = ?", {standardized},
                    rows::requiredFirstInt64("library root ", standardized));
}

IndexingJobRecord IndexingJobs::indexingJob(std::int64_t jobID) {
  auto guard = connection_.lock();
  return connection_.query(
      "SELECT id, root_paths, status, total_count, processed_count, indexed_count, failed_count, "
      "current_path "
      "FROM indexing_jobs WHERE id = ?",
      {jobID}, [&](SQLiteRows& rows) {
        if (!rows.next()) throw Error::recordNotFound("indexing job " + std::to_string(jobID));
        return decodeIndexingJobRow(rows);
      });
}

std::optional<IndexingJobRecord> IndexingJobs::latestIndexingJobID() {
  auto guard = connection_.lock();
  const auto id = connection_.query(
      "SELECT id FROM indexing_jobs WHERE status = ? ORDER BY updated_at DESC, id DESC LIMIT 1", {kRunning},
      rows::firstInt64);
  if (!id) return std::nullopt;
  return indexingJob(*id);
}

std::optional<IndexingJobRecord> IndexingJobs::resumeInterruptedIndexingJob() {
  auto guard = connection_.lock();
  const auto job = latestIndexingJobID();
  if (!job) return std::nullopt;
  connection_.execute(
      "UPDATE indexing_queue_items SET status = ?, updated_at = ? WHERE job_id = ? AND status = ?",
      {kPending, connection_.now(), job->id, kProcessing});
  refreshIndexingJobCounters(job->id, std::nullopt);
  IndexingJobRecord resumed = indexingJob(job->id);
  // The truncation takes the lock for its own part only.
  guard.unlock();
  checkpointWAL();
  return resumed;
}

void IndexingJobs::refreshIndexingJobCounters(std::int64_t jobID,
                                              const std::optional<std::string>& currentPath) {
  const auto counts = connection_.query(
      "SELECT COUNT(*), SUM(CASE WHEN status IN (?, ?) THEN 1 ELSE 0 END), "
      "SUM(CASE WHEN status = ? THEN 1 ELSE 0 END), "
      "SUM(CASE WHEN status = ? OR failure_message IS NOT NULL THEN 1 ELSE 0 END) "
      "FROM indexing_queue_items WHERE job_id = ?",
      {kIndexed, kFailed, kIndexed, kFailed, jobID}, [](SQLiteRows& rows) {
        IndexingQueueCounterDeltas counts;
        if (rows.next()) counts = {rows.int64(0), rows.int64(1), rows.int64(2), rows.int64(3)};
        return counts;
      });
  connection_.execute(
      "UPDATE indexing_jobs SET total_count = ?, processed_count = ?, indexed_count = ?, failed_count = ?, "
      "current_path = ?, updated_at = ? WHERE id = ?",
      {counts.total, counts.processed, counts.indexed, counts.failed, currentPath, connection_.now(), jobID});
}

void IndexingJobs::applyIndexingJobCounterDeltas(std::int64_t jobID, const IndexingQueueCounterDeltas& deltas,
                                                 const std::optional<std::string>& currentPath) {
  connection_.execute(
      "UPDATE indexing_jobs SET total_count = max(0, total_count + ?), processed_count = max(0, "
      "processed_count + ?), "
      "indexed_count = max(0, indexed_count + ?), failed_count = max(0, failed_count + ?), current_path = ?, "
      "updated_at = ? WHERE id = ?",
      {deltas.total, deltas.processed, deltas.indexed, deltas.failed, currentPath, connection_.now(), jobID});
}

std::optional<IndexingQueueItem> IndexingJobs::queueItemForPath(std::int64_t jobID, const std::string& path) {
  return connection_.query(std::string(kQueueItemColumns) + "WHERE job_id = ? AND path = ?", {jobID, path},
                           firstQueueItem);
}

void IndexingJobs::enqueueIndexingQueueItems(std::int64_t jobID, const ImageFileInfo& file) {
  auto guard = connection_.lock();
  const double now = connection_.now();
  const std::string path = text::standardizedPath(file.path);
  const auto existing = queueItemForPath(jobID, path);
  if (existing && existing->fileSize == file.fileSize &&
      existing->modificationDate == file.modificationDate) {
    return;  // unchanged: a finished item stays finished
  }
  connection_.performTransaction([&] {
    if (!existing) {
      connection_.execute(
          "INSERT INTO indexing_queue_items (job_id, path, file_size, modification_time, status, "
          "failure_message, "
          "created_at, updated_at) VALUES (?, ?, ?, ?, ?, NULL, ?, ?)",
          {jobID, path, file.fileSize, file.modificationDate, kPending, now, now});
      applyIndexingJobCounterDeltas(jobID, {1, 0, 0, 0}, std::nullopt);
      return;
    }
    connection_.execute(
        "UPDATE indexing_queue_items SET file_size = ?, modification_time = ?, status = ?, failure_message = "
        "NULL, "
        "updated_at = ? WHERE id = ? AND job_id = ?",
        {file.fileSize, file.modificationDate, kPending, now, existing->id, jobID});
    const auto old = queueItemCounterDeltas(existing->status, existing->failureMessage.has_value());
    applyIndexingJobCounterDeltas(jobID, {0, -old.processed, -old.indexed, -old.failed}, std::nullopt);
  });
}

std::optional<IndexingQueueItem> IndexingJobs::beginNextQueueItem(std::int64_t jobID) {
  auto guard = connection_.lock();
  const auto next = connection_.query(
      std::string(kQueueItemColumns) +
          "INDEXED BY idx_indexing_queue_items_status_mtime WHERE job_id = ? AND status = ? "
          "ORDER BY modification_time DESC, path ASC LIMIT 1",
      {jobID, kPending}, firstQueueItem);
  if (!next) return std::nullopt;
  connection_.performTransaction([&] {
    connection_.execute(
        "UPDATE indexing_queue_items SET status = ?, updated_at = ? WHERE id = ? AND job_id = ?",
        {kProcessing, connection_.now(), next->id, jobID});
    applyIndexingJobCounterDeltas(jobID, {}, next->path);
  });
  const auto claimed =
      connection_.query(std::string(kQueueItemColumns) + "WHERE id = ?", {next->id}, firstQueueItem);
  if (!claimed) throw Error::recordNotFound("indexing queue item " + std::to_string(next->id));
  return claimed;
}

IndexingQueueItem IndexingJobs::indexingQueueItem(std::int64_t itemID, std::int64_t jobID) {
  auto guard = connection_.lock();
  auto item = connection_.query(std::string(kQueueItemColumns) + "WHERE id = ? AND job_id = ?",
                                {itemID, jobID}, firstQueueItem);
  if (!item) {
    throw Error::recordNotFound("indexing queue item " + std::to_string(itemID) + " in job " +
                                std::to_string(jobID));
  }
  return *item;
}

ImageLibraryIndexingProgress IndexingJobs::completeIndexingQueueItem(
    std::int64_t jobID, std::int64_t itemID, const std::optional<std::string>& failureMessage) {
  auto guard = connection_.lock();
  const IndexingQueueItem old = indexingQueueItem(itemID, jobID);
  connection_.performTransaction([&] {
    connection_.execute(
        "UPDATE indexing_queue_items SET status = ?, failure_message = ?, updated_at = ? WHERE id = ? AND "
        "job_id = ?",
        {kIndexed, failureMessage, connection_.now(), itemID, jobID});
    const auto before = queueItemCounterDeltas(old.status, old.failureMessage.has_value());
    applyIndexingJobCounterDeltas(
        jobID,
        {0, 1 - before.processed, old.status == IndexingQueueItemStatus::indexed ? 0 : 1,
         (failureMessage ? 1 : 0) - (countsAsFailed(old) ? 1 : 0)},
        std::nullopt);
  });
  const auto job = indexingJob(jobID);
  guard.unlock();
  if (isCheckpointDue(job.progress.processedCount)) checkpointWAL();
  return job.progress;
}

std::vector<IndexingQueueItem> IndexingJobs::pendingItems(std::int64_t jobID, std::size_t limit) {
  static const std::string sql = std::string(kQueueItemColumns) +
                                 "INDEXED BY idx_indexing_queue_items_status_mtime WHERE job_id = ? AND "
                                 "status = ? ORDER BY modification_time DESC, path ASC LIMIT ?";
  return connection_.query(sql, {jobID, kPending, static_cast<std::int64_t>(limit)}, [](SQLiteRows& rows) {
    std::vector<IndexingQueueItem> items;
    while (rows.next()) items.push_back(decodeQueueItemRow(rows));
    return items;
  });
}

std::vector<IndexingQueueItem> IndexingJobs::nextPendingQueueItems(std::int64_t jobID, std::size_t limit) {
  auto guard = connection_.lock();
  return pendingItems(jobID, limit);
}

void IndexingJobs::updateQueueItemFileInfo(std::int64_t jobID, std::int64_t itemID,
                                           const ImageFileInfo& file) {
  auto guard = connection_.lock();
  connection_.execute(
      "UPDATE indexing_queue_items\n"
      "SET file_size = ?, modification_time = ?, updated_at = ?\n"
      "WHERE id = ? AND job_id = ?",
      {file.fileSize, file.modificationDate, connection_.now(), itemID, jobID});
}

ImageLibraryIndexingProgress IndexingJobs::failIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                                 const std::string& message) {
  auto guard = connection_.lock();
  const IndexingQueueItem stored = indexingQueueItem(itemID, jobID);
  connection_.performTransaction([&] {
    connection_.execute(
        "UPDATE indexing_queue_items\n"
        "SET status = ?, failure_message = ?, updated_at = ?\n"
        "WHERE id = ? AND job_id = ?",
        {kFailed, message, connection_.now(), itemID, jobID});
    applyIndexingJobCounterDeltas(
        jobID,
        minus(queueItemCounterDeltas(IndexingQueueItemStatus::failed, true),
              queueItemCounterDeltas(stored.status, stored.failureMessage.has_value())),
        std::nullopt);
  });
  const ImageLibraryIndexingProgress progress = indexingJob(jobID).progress;
  guard.unlock();
  if (isCheckpointDue(progress.processedCount)) checkpointWAL();
  return progress;
}

void IndexingJobs::recordDiscoveryFailure(std::int64_t jobID, const std::string& path,
                                          const std::string& message) {
  const std::string standardized = text::standardizedPath(path);
  const IndexingQueueCounterDeltas failed = queueItemCounterDeltas(IndexingQueueItemStatus::failed, true);
  auto guard = connection_.lock();
  connection_.performTransaction([&] {
    const auto existing = connection_.query(
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
    const double now = connection_.now();
    if (!existing) {
      connection_.execute(
          "INSERT INTO indexing_queue_items (job_id, path, file_size, modification_time, status, "
          "failure_message, "
          "created_at, updated_at) VALUES (?, ?, NULL, NULL, ?, ?, ?, ?)",
          {jobID, standardized, kFailed, message, now, now});
      applyIndexingJobCounterDeltas(jobID, {1, failed.processed, failed.indexed, failed.failed},
                                    std::nullopt);
      return;
    }
    // No size or time: once the path reads again, the next enqueue sends it back to pending.
    connection_.execute(
        "UPDATE indexing_queue_items SET file_size = NULL, modification_time = NULL, status = ?, "
        "failure_message = ?, updated_at = ? WHERE id = ?",
        {kFailed, message, now, existing->id});
    applyIndexingJobCounterDeltas(
        jobID, minus(failed, queueItemCounterDeltas(existing->status, existing->failureMessage.has_value())),
        std::nullopt);
  });
}

void IndexingJobs::closeIndexingJobsCoveredBy(std::int64_t jobID, const std::vector<std::string>& rootPaths) {
  const auto roots = sql::standardizedUniquePaths(rootPaths);
  if (roots.empty()) return;
  auto guard = connection_.lock();
  // A job a killed run left behind is never resumed once a newer job is running, and its queue
  // would stay for ever.
  const auto covered = connection_.query(
      "SELECT id, root_paths FROM indexing_jobs WHERE status = ? AND id < ? ORDER BY id", {kRunning, jobID},
      [&](SQLiteRows& rows) {
        std::vector<std::int64_t> ids;
        while (rows.next()) {
          const auto jobRoots = splitRootPaths(rows.text(1));
          const bool isCovered = std::all_of(jobRoots.begin(), jobRoots.end(), [&](const std::string& root) {
            return ScanBookkeeping::owningRootPath(root, roots).has_value();
          });
          if (isCovered) ids.push_back(rows.int64(0));
        }
        return ids;
      });
  if (covered.empty()) return;
  const double now = connection_.now();
  sql::forEachInListSlice(covered, kBatchStatementSize, [&](const std::string& list, SQLiteV3Bindings ids) {
    connection_.execute(
        "UPDATE indexing_jobs SET status = ?, current_path = NULL, updated_at = ?, completed_at = ? WHERE id "
        "IN " +
            list,
        sql::prefixedBindings({kCompleted, now, now}, ids));
  });
  for (const std::int64_t id : covered) {
    platform::logInfo("IndexingPerformance", "Closed interrupted indexing job " + std::to_string(id) +
                                                 ": indexing job " + std::to_string(jobID) +
                                                 " covers its roots");
  }
}

ImageLibraryScanSummary IndexingJobs::completeIndexingJob(std::int64_t jobID) {
  auto guard = connection_.lock();
  refreshIndexingJobCounters(jobID, std::nullopt);
  const double now = connection_.now();
  connection_.execute("UPDATE indexing_jobs SET status = ?, updated_at = ?, completed_at = ? WHERE id = ?",
                      {kCompleted, now, now, jobID});
  const auto job = indexingJob(jobID);
  auto failures = connection_.query(
      "SELECT path, COALESCE(failure_message, 'Unknown indexing failure') FROM indexing_queue_items "
      "WHERE job_id = ? AND (status = ? OR failure_message IS NOT NULL) ORDER BY path ASC",
      {jobID, kFailed}, [](SQLiteRows& rows) {
        std::vector<ImageLibraryScanFailure> failures;
        while (rows.next()) {
          failures.push_back(ImageLibraryScanFailure::classified(
              rows.text(0), rows.optionalText(1).value_or("Unknown indexing failure")));
        }
        return failures;
      });
  // The queues of the jobs finished before this one are of no further use: without this, every
  // full scan would leave one row per file behind for ever (tens of megabytes a scan in a large
  // library). The latest finished job keeps its queue. A failure here never fails the job.
  try {
    connection_.execute(
        "DELETE FROM indexing_queue_items WHERE job_id IN "
        "(SELECT id FROM indexing_jobs WHERE status = ? AND id <> ?)",
        {kCompleted, jobID});
  } catch (const Error& error) {
    platform::logDebug("IndexingPerformance",
                       "Removing finished jobs' queues failed: " + error.localizedDescription());
  }
  // The job is complete: the checkpoint and the statistics below are upkeep of the file, each
  // long enough to be felt by a write that waits for the lock meanwhile, so such a write goes
  // before each of them.
  guard.unlock();
  connection_.letWaitingLockUsersFirst();
  checkpointWAL();
  connection_.letWaitingLockUsersFirst();
  // The planner needs fresh statistics once a scan has changed the tables; a failure here never
  // fails the job.
  try {
    // Statistics from a sample of each index (SQLite's advice for "optimize"): a full ANALYZE of a
    // large library's tables holds the lock for seconds.
    connection_.executeScript("PRAGMA analysis_limit = 1000; PRAGMA optimize;");
  } catch (const Error& error) {
    platform::logDebug("IndexingPerformance", "PRAGMA optimize failed: " + error.localizedDescription());
  }

  ImageLibraryScanSummary summary;
  summary.scannedFileCount = job.progress.totalCount;
  summary.indexedImageCount = job.progress.indexedCount;
  summary.failedFileCount = static_cast<std::int64_t>(failures.size());
  summary.failures = std::move(failures);
  return summary;
}

void IndexingJobs::checkpointWAL() {
  try {
    // What the log holds is copied beside the writes first, without the lock: the truncation then
    // has only the pages written since to copy while it holds it. Callers release the lock first.
    if (!connection_.truncateLog()) platform::logDebug("IndexingPerformance", "WAL checkpoint was busy");
  } catch (const std::exception& error) {
    platform::logDebug("IndexingPerformance", std::string("WAL checkpoint failed: ") + error.what());
  }
}

}  // namespace lorvex
