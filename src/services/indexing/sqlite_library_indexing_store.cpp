#include "services/indexing/sqlite_library_indexing_store.h"

#include <algorithm>
#include <unordered_map>

#include "database/sql_paths.h"
#include "database/sqlite_image_repository.h"
#include "model/text/paths.h"
#include "platform/log.h"

namespace lorvex {

namespace {

constexpr const char* kFailed = "failed";
constexpr const char* kPending = "pending";
constexpr const char* kIndexed = "indexed";

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

// The first `limit` pending items of the job in claiming order.
std::vector<IndexingQueueItem> pendingItems(SQLiteConnection& connection, std::int64_t jobID,
                                            std::size_t limit) {
  static const std::string sql = std::string(SQLiteImageRepositoryV3::kQueueItemColumns) +
                                 "INDEXED BY idx_indexing_queue_items_status_mtime WHERE job_id = ? AND "
                                 "status = ? ORDER BY modification_time DESC, path ASC LIMIT ?";
  return connection.query(sql, {jobID, kPending, static_cast<std::int64_t>(limit)}, [](SQLiteRows& rows) {
    std::vector<IndexingQueueItem> items;
    while (rows.next()) items.push_back(SQLiteImageRepositoryV3::decodeQueueItemRow(rows));
    return items;
  });
}

// Calls `run` with an IN list of placeholders and its bindings for each slice of at most
// kBatchStatementSize values.
template <typename Value, typename Run>
void forEachSlice(const std::vector<Value>& values, const Run& run) {
  constexpr std::size_t size = SQLiteLibraryIndexingStore::kBatchStatementSize;
  for (std::size_t start = 0; start < values.size(); start += size) {
    const std::size_t end = std::min(values.size(), start + size);
    SQLiteV3Bindings bindings;
    bindings.reserve(end - start);
    for (std::size_t i = start; i < end; ++i) bindings.emplace_back(values[i]);
    run(sql::inListPlaceholders(end - start), std::move(bindings));
  }
}

SQLiteV3Bindings prefixed(SQLiteV3Bindings leading, const SQLiteV3Bindings& rest) {
  leading.insert(leading.end(), rest.begin(), rest.end());
  return leading;
}

struct StoredFile {
  std::int64_t id = 0;
  std::int64_t fileSize = 0;
  double modificationTime = 0;
  std::int64_t projectionRevision = 0;
};

// The library's rows of the standardized paths, by path.
std::unordered_map<std::string, StoredFile> storedFiles(SQLiteConnection& connection,
                                                        const std::vector<std::string>& paths) {
  std::unordered_map<std::string, StoredFile> stored;
  forEachSlice(paths, [&](const std::string& list, SQLiteV3Bindings bindings) {
    connection.query(
        "SELECT absolute_path, id, file_size, modification_time, projection_revision FROM media_files WHERE "
        "absolute_path IN " +
            list,
        bindings, [&](SQLiteRows& rows) {
          while (rows.next()) {
            stored[rows.text(0)] = {rows.int64(1), rows.int64(2), rows.real(3), rows.int64(4)};
          }
          return 0;
        });
  });
  return stored;
}

// markObserved of each file whose row is given, for the job; the caller holds a transaction.
// Most files kept their stored size and time exactly, and only their presence and the job that
// saw them change. One whose time moved within the tolerance loses its thumbnail and content
// hash, as a single observation does.
void observeStoredFiles(SQLiteConnection& connection, std::int64_t jobID,
                        const std::vector<std::pair<StoredFile, const ImageFileInfo*>>& files) {
  std::vector<std::int64_t> same;
  std::vector<std::pair<std::int64_t, const ImageFileInfo*>> moved;
  for (const auto& [row, file] : files) {
    if (row.fileSize == file->fileSize && row.modificationTime == file->modificationDate) {
      same.push_back(row.id);
    } else {
      moved.emplace_back(row.id, file);
    }
  }
  // Setting `missing` rewrites the browse indexes' entries even when it keeps its value: only
  // the rows that were missing get it.
  forEachSlice(same, [&](const std::string& list, const SQLiteV3Bindings& bindings) {
    connection.execute("UPDATE media_files SET last_seen_indexing_job_id = ? WHERE id IN " + list,
                       prefixed({jobID}, bindings));
    connection.execute("UPDATE media_files SET missing = 0 WHERE missing <> 0 AND id IN " + list, bindings);
  });
  for (const auto& [id, file] : moved) {
    connection.execute("UPDATE image_properties SET thumbnail_key = NULL WHERE media_file_id = ?", {id});
    connection.execute(
        "UPDATE media_files SET content_sha256 = NULL, file_size = ?, modification_time = ?, missing = 0, "
        "last_seen_indexing_job_id = ? WHERE id = ?",
        {file->fileSize, file->modificationDate, jobID, id});
  }
}

bool isCheckpointDue(std::int64_t processedCount) {
  return processedCount > 0 && processedCount % SQLiteImageRepositoryV3::kCheckpointInterval == 0;
}

void checkpointWAL(SQLiteConnection& connection) {
  try {
    connection.executeScript("PRAGMA wal_checkpoint(TRUNCATE);");
  } catch (const std::exception& error) {
    platform::logDebug("IndexingPerformance", std::string("WAL checkpoint failed: ") + error.what());
  }
}

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
  return pendingItems(connection, jobID, limit);
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
  if (isCheckpointDue(progress.processedCount)) checkpointWAL(connection);
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

std::vector<QueuedDiscoveredFile> SQLiteLibraryIndexingStore::enqueueIndexingQueueItemBatch(
    std::int64_t jobID, const std::vector<ImageFileInfo>& files, const UnchangedFileTest& isUnchanged) {
  if (files.empty()) return {};
  std::vector<ImageFileInfo> standardized;
  standardized.reserve(files.size());
  std::unordered_map<std::string, int> occurrences;
  for (const auto& file : files) {
    standardized.push_back({text::standardizedPath(file.path), file.fileSize, file.modificationDate});
    occurrences[standardized.back().path] += 1;
  }
  std::vector<std::string> paths;
  paths.reserve(occurrences.size());
  for (const auto& [path, count] : occurrences) paths.push_back(path);

  SQLiteConnection& connection = repository_.connection();
  auto guard = connection.lock();
  bool checkpointDue = false;
  auto queued = connection.performTransaction([&] {
    // The job's items of these paths as stored; kept up to date below, so that a path given twice
    // sees what its first occurrence did.
    std::unordered_map<std::string, IndexingQueueItem> items;
    forEachSlice(paths, [&](const std::string& list, const SQLiteV3Bindings& bindings) {
      connection.query(
          std::string(SQLiteImageRepositoryV3::kQueueItemColumns) + "WHERE job_id = ? AND path IN " + list,
          prefixed({jobID}, bindings), [&](SQLiteRows& rows) {
            while (rows.next()) {
              IndexingQueueItem item = SQLiteImageRepositoryV3::decodeQueueItemRow(rows);
              items.insert_or_assign(item.path, std::move(item));
            }
            return 0;
          });
    });
    const auto becomesPending = [&](const ImageFileInfo& file) {
      const auto found = items.find(file.path);
      return found == items.end() || found->second.fileSize != file.fileSize ||
             found->second.modificationDate != file.modificationDate;
    };

    // Which of the files that will wait in the queue the library holds unchanged: those are
    // completed at once. Their item is written finished, instead of pending and then finished.
    std::vector<std::string> candidates;
    for (const auto& file : standardized) {
      if (occurrences[file.path] == 1 && becomesPending(file)) candidates.push_back(file.path);
    }
    const auto stored = storedFiles(connection, candidates);
    std::vector<bool> completes(standardized.size(), false);
    for (std::size_t i = 0; i < standardized.size(); ++i) {
      const ImageFileInfo& file = standardized[i];
      if (occurrences[file.path] != 1 || !becomesPending(file)) continue;
      std::optional<IndexedImageFileState> state;
      if (const auto row = stored.find(file.path); row != stored.end()) {
        state = IndexedImageFileState{{file.path, row->second.fileSize, row->second.modificationTime},
                                      row->second.projectionRevision};
      }
      completes[i] = isUnchanged(state, file);
    }

    // The counts each single enqueue and completion would leave, in order; written once at the end.
    ImageLibraryIndexingProgress running = repository_.indexingJob(jobID).progress;
    const auto move = [](std::int64_t& count, std::int64_t delta) {
      count = std::max<std::int64_t>(0, count + delta);
    };
    const double now = connection.now();
    bool jobChanged = false;
    std::vector<QueuedDiscoveredFile> results(standardized.size());
    for (std::size_t i = 0; i < standardized.size(); ++i) {
      const ImageFileInfo& file = standardized[i];
      const char* status = completes[i] ? kIndexed : kPending;
      const auto found = items.find(file.path);
      if (found == items.end()) {
        connection.execute(
            "INSERT INTO indexing_queue_items (job_id, path, file_size, modification_time, status, "
            "failure_message, created_at, updated_at) VALUES (?, ?, ?, ?, ?, NULL, ?, ?)",
            {jobID, file.path, file.fileSize, file.modificationDate, status, now, now});
        items.emplace(file.path, IndexingQueueItem{connection.lastInsertRowID(), jobID, file.path,
                                                   file.fileSize, file.modificationDate,
                                                   IndexingQueueItemStatus::pending, std::nullopt});
        move(running.totalCount, 1);
      } else if (IndexingQueueItem& item = found->second; becomesPending(file)) {
        connection.execute(
            "UPDATE indexing_queue_items SET file_size = ?, modification_time = ?, status = ?, "
            "failure_message = NULL, updated_at = ? WHERE id = ? AND job_id = ?",
            {file.fileSize, file.modificationDate, status, now, item.id, jobID});
        const auto old =
            SQLiteImageRepositoryV3::queueItemCounterDeltas(item.status, item.failureMessage.has_value());
        move(running.processedCount, -old.processed);
        move(running.indexedCount, -old.indexed);
        move(running.failedCount, -old.failed);
        item.fileSize = file.fileSize;
        item.modificationDate = file.modificationDate;
        item.status = IndexingQueueItemStatus::pending;
        item.failureMessage.reset();
      } else {
        // An item with the same size and time stays as it is, and so does the job.
        results[i].progress = running;
        continue;
      }
      running.currentPath.reset();
      jobChanged = true;
      results[i].progress = running;
    }

    // Then the completions, in file order, each from a pending item.
    std::vector<std::pair<StoredFile, const ImageFileInfo*>> observed;
    for (std::size_t i = 0; i < standardized.size(); ++i) {
      if (!completes[i]) continue;
      move(running.processedCount, 1);
      move(running.indexedCount, 1);
      results[i].completion = running;
      checkpointDue = checkpointDue || isCheckpointDue(running.processedCount);
      if (const auto row = stored.find(standardized[i].path); row != stored.end())
        observed.emplace_back(row->second, &standardized[i]);
    }
    observeStoredFiles(connection, jobID, observed);

    if (jobChanged) {
      connection.execute(
          "UPDATE indexing_jobs SET total_count = ?, processed_count = ?, indexed_count = ?, "
          "failed_count = ?, current_path = NULL, updated_at = ? WHERE id = ?",
          {running.totalCount, running.processedCount, running.indexedCount, running.failedCount, now,
           jobID});
    }
    return results;
  });
  if (checkpointDue) checkpointWAL(connection);
  return queued;
}

std::vector<IndexingQueueItem> SQLiteLibraryIndexingStore::beginNextQueueItems(std::int64_t jobID,
                                                                               std::size_t limit) {
  if (limit == 0) return {};
  SQLiteConnection& connection = repository_.connection();
  auto guard = connection.lock();
  return connection.performTransaction([&] {
    std::vector<IndexingQueueItem> items = pendingItems(connection, jobID, limit);
    if (items.empty()) return items;
    const double now = connection.now();
    std::vector<std::int64_t> ids;
    ids.reserve(items.size());
    for (auto& item : items) {
      ids.push_back(item.id);
      item.status = IndexingQueueItemStatus::processing;
    }
    forEachSlice(ids, [&](const std::string& list, const SQLiteV3Bindings& bindings) {
      connection.execute(
          "UPDATE indexing_queue_items SET status = ?, updated_at = ? WHERE job_id = ? AND id IN " + list,
          prefixed({"processing", now, jobID}, bindings));
    });
    // The job shows the file it works on, as a single claim does.
    connection.execute("UPDATE indexing_jobs SET current_path = ?, updated_at = ? WHERE id = ?",
                       {items.front().path, now, jobID});
    return items;
  });
}

std::vector<std::optional<IndexedImageFileState>> SQLiteLibraryIndexingStore::indexedFileStates(
    const std::vector<std::string>& paths) {
  std::vector<std::string> standardized;
  standardized.reserve(paths.size());
  for (const auto& path : paths) standardized.push_back(text::standardizedPath(path));
  SQLiteConnection& connection = repository_.connection();
  auto guard = connection.lock();
  std::unordered_map<std::string, IndexedImageFileState> found;
  forEachSlice(standardized, [&](const std::string& list, const SQLiteV3Bindings& bindings) {
    connection.query(
        "SELECT absolute_path, file_size, modification_time, projection_revision FROM media_files "
        "WHERE absolute_path IN " +
            list,
        bindings, [&](SQLiteRows& rows) {
          while (rows.next()) {
            IndexedImageFileState state{ImageFileInfo{rows.text(0), rows.int64(1), rows.real(2)},
                                        rows.int64(3)};
            found.emplace(state.fileInfo.path, std::move(state));
          }
          return 0;
        });
  });
  std::vector<std::optional<IndexedImageFileState>> states;
  states.reserve(paths.size());
  for (const auto& path : standardized) {
    const auto it = found.find(path);
    states.push_back(it == found.end() ? std::nullopt : std::optional(it->second));
  }
  return states;
}

std::vector<ImageLibraryIndexingProgress> SQLiteLibraryIndexingStore::completeUnchangedQueueItems(
    std::int64_t jobID, const std::vector<UnchangedQueueItem>& items) {
  if (items.empty()) return {};
  SQLiteConnection& connection = repository_.connection();
  auto guard = connection.lock();
  std::vector<ImageLibraryIndexingProgress> progress = connection.performTransaction([&] {
    std::vector<std::int64_t> itemIDs;
    for (const auto& item : items) itemIDs.push_back(item.itemID);
    struct Before {
      IndexingQueueCounterDeltas counted;
      bool indexed = false;
    };
    std::unordered_map<std::int64_t, Before> before;
    forEachSlice(itemIDs, [&](const std::string& list, const SQLiteV3Bindings& bindings) {
      connection.query(
          "SELECT id, status, failure_message IS NOT NULL FROM indexing_queue_items WHERE job_id = ? AND id "
          "IN " +
              list,
          prefixed({jobID}, bindings), [&](SQLiteRows& rows) {
            while (rows.next()) {
              const auto status = fromRawValue<IndexingQueueItemStatus>(rows.text(1))
                                      .value_or(IndexingQueueItemStatus::pending);
              before[rows.int64(0)] = {
                  SQLiteImageRepositoryV3::queueItemCounterDeltas(status, rows.int64(2) != 0),
                  status == IndexingQueueItemStatus::indexed};
            }
            return 0;
          });
    });

    // The counts each single completion would leave, in order, up to the checkpoint.
    ImageLibraryIndexingProgress running = repository_.indexingJob(jobID).progress;
    running.currentPath.reset();
    std::vector<ImageLibraryIndexingProgress> finished;
    std::vector<std::int64_t> finishedIDs;
    for (const auto& item : items) {
      const auto old = before.find(item.itemID);
      if (old == before.end()) {
        throw SQLiteImageRepositoryV3Error::recordNotFound(
            "indexing queue item " + std::to_string(item.itemID) + " in job " + std::to_string(jobID));
      }
      const Before& was = old->second;
      running.processedCount = std::max<std::int64_t>(0, running.processedCount + 1 - was.counted.processed);
      running.indexedCount = std::max<std::int64_t>(0, running.indexedCount + (was.indexed ? 0 : 1));
      running.failedCount = std::max<std::int64_t>(0, running.failedCount - was.counted.failed);
      finished.push_back(running);
      finishedIDs.push_back(item.itemID);
      if (isCheckpointDue(running.processedCount)) break;
    }

    std::vector<std::string> paths;
    for (std::size_t i = 0; i < finished.size(); ++i)
      paths.push_back(text::standardizedPath(items[i].file.path));
    const auto stored = storedFiles(connection, paths);
    std::vector<std::pair<StoredFile, const ImageFileInfo*>> observed;
    for (std::size_t i = 0; i < finished.size(); ++i) {
      const auto row = stored.find(paths[i]);
      if (row != stored.end()) observed.emplace_back(row->second, &items[i].file);
    }
    observeStoredFiles(connection, jobID, observed);

    const double now = connection.now();
    forEachSlice(finishedIDs, [&](const std::string& list, const SQLiteV3Bindings& bindings) {
      connection.execute(
          "UPDATE indexing_queue_items SET status = ?, failure_message = NULL, updated_at = ? WHERE job_id = "
          "? "
          "AND id IN " +
              list,
          prefixed({kIndexed, now, jobID}, bindings));
    });
    const ImageLibraryIndexingProgress& last = finished.back();
    connection.execute(
        "UPDATE indexing_jobs SET processed_count = ?, indexed_count = ?, failed_count = ?, current_path = "
        "?, "
        "updated_at = ? WHERE id = ?",
        {last.processedCount, last.indexedCount, last.failedCount, SQLiteV3Binding::null(), now, jobID});
    return finished;
  });
  if (isCheckpointDue(progress.back().processedCount)) checkpointWAL(connection);
  return progress;
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
