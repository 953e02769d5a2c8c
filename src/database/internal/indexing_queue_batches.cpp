// The batched forms of the queue's per-item operations, for scans that find most files
// unchanged: each has the effect of the per-item calls it stands for, in far fewer transactions.
#include <algorithm>
#include <unordered_map>

#include "database/internal/indexing_jobs.h"
#include "database/internal/scan_bookkeeping.h"
#include "database/internal/sql_paths.h"
#include "model/text/paths.h"

namespace lorvex {

namespace {

constexpr const char* kPending = "pending";
constexpr const char* kIndexed = "indexed";
// New queue items written by one statement, at most.
constexpr std::size_t kQueueInsertRows = 128;

}  // namespace

std::vector<QueuedDiscoveredFile> IndexingJobs::enqueueIndexingQueueItemBatch(
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

  connection_.letWaitingLockUsersFirst();
  auto guard = connection_.lock();
  bool checkpointDue = false;
  auto queued = connection_.performTransaction([&] {
    // The job's items of these paths as stored; kept up to date below, so that a path given twice
    // sees what its first occurrence did.
    std::unordered_map<std::string, IndexingQueueItem> items;
    sql::forEachInListSlice(
        paths, kBatchStatementSize, [&](const std::string& list, const SQLiteV3Bindings& bindings) {
          connection_.query(std::string(kQueueItemColumns) + "WHERE job_id = ? AND path IN " + list,
                            sql::prefixedBindings({jobID}, bindings), [&](SQLiteRows& rows) {
                              while (rows.next()) {
                                IndexingQueueItem item = decodeQueueItemRow(rows);
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
    const auto stored = files_.storedFiles(candidates);
    std::vector<bool> completes(standardized.size(), false);
    for (std::size_t i = 0; i < standardized.size(); ++i) {
      const ImageFileInfo& file = standardized[i];
      if (occurrences[file.path] != 1 || !becomesPending(file)) continue;
      std::optional<IndexedImageFileState> state;
      if (const auto row = stored.find(file.path); row != stored.end()) {
        state = IndexedImageFileState{{file.path, row->second.fileSize, row->second.modificationTime},
                                      row->second.projectionRevision,
                                      row->second.missing};
      }
      completes[i] = isUnchanged(state, file);
    }

    // The counts each single enqueue and completion would leave, in order; written once at the end.
    ImageLibraryIndexingProgress running = indexingJob(jobID).progress;
    const auto move = [](std::int64_t& count, std::int64_t delta) {
      count = std::max<std::int64_t>(0, count + delta);
    };
    const double now = connection_.now();
    bool jobChanged = false;
    std::vector<QueuedDiscoveredFile> results(standardized.size());
    struct NewItem {
      const ImageFileInfo* file;
      const char* status;
    };
    std::vector<NewItem> newItems;
    for (std::size_t i = 0; i < standardized.size(); ++i) {
      const ImageFileInfo& file = standardized[i];
      const char* status = completes[i] ? kIndexed : kPending;
      const auto found = items.find(file.path);
      if (found == items.end() && occurrences[file.path] == 1) {
        // Nothing later in the batch looks this item up: it is inserted with the others below.
        newItems.push_back({&file, status});
        move(running.totalCount, 1);
      } else if (found == items.end()) {
        connection_.execute(
            "INSERT INTO indexing_queue_items (job_id, path, file_size, modification_time, status, "
            "failure_message, created_at, updated_at) VALUES (?, ?, ?, ?, ?, NULL, ?, ?)",
            {jobID, file.path, file.fileSize, file.modificationDate, status, now, now});
        items.emplace(file.path, IndexingQueueItem{connection_.lastInsertRowID(), jobID, file.path,
                                                   file.fileSize, file.modificationDate,
                                                   IndexingQueueItemStatus::pending, std::nullopt});
        move(running.totalCount, 1);
      } else if (IndexingQueueItem& item = found->second; becomesPending(file)) {
        connection_.execute(
            "UPDATE indexing_queue_items SET file_size = ?, modification_time = ?, status = ?, "
            "failure_message = NULL, updated_at = ? WHERE id = ? AND job_id = ?",
            {file.fileSize, file.modificationDate, status, now, item.id, jobID});
        const auto old = queueItemCounterDeltas(item.status, item.failureMessage.has_value());
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

    // A statement per file was most of a rescan's time: the new items go in with a few
    // statements of many rows each (of three lengths, so that they stay prepared).
    for (std::size_t at = 0; at < newItems.size();) {
      const std::size_t rows = newItems.size() - at >= kQueueInsertRows       ? kQueueInsertRows
                               : newItems.size() - at >= kQueueInsertRows / 8 ? kQueueInsertRows / 8
                                                                              : 1;
      std::string sql =
          "INSERT INTO indexing_queue_items (job_id, path, file_size, modification_time, status, "
          "failure_message, "
          "created_at, updated_at) VALUES ";
      SQLiteV3Bindings bindings;
      bindings.reserve(rows * 7);
      for (std::size_t row = 0; row < rows; ++row) {
        const NewItem& item = newItems[at + row];
        sql += row == 0 ? "(?, ?, ?, ?, ?, NULL, ?, ?)" : ", (?, ?, ?, ?, ?, NULL, ?, ?)";
        bindings.emplace_back(jobID);
        bindings.push_back(SQLiteV3Binding::borrowedText(item.file->path));
        bindings.emplace_back(item.file->fileSize);
        bindings.emplace_back(item.file->modificationDate);
        bindings.emplace_back(item.status);
        bindings.emplace_back(now);
        bindings.emplace_back(now);
      }
      connection_.execute(sql, bindings);
      at += rows;
    }

    // Then the completions, in file order, each from a pending item.
    std::vector<std::pair<StoredMediaFile, const ImageFileInfo*>> observed;
    for (std::size_t i = 0; i < standardized.size(); ++i) {
      if (!completes[i]) continue;
      move(running.processedCount, 1);
      move(running.indexedCount, 1);
      results[i].completion = running;
      checkpointDue = checkpointDue || isCheckpointDue(running.processedCount);
      if (const auto row = stored.find(standardized[i].path); row != stored.end())
        observed.emplace_back(row->second, &standardized[i]);
    }
    files_.observeStoredFiles(jobID, observed);

    if (jobChanged) {
      connection_.execute(
          "UPDATE indexing_jobs SET total_count = ?, processed_count = ?, indexed_count = ?, "
          "failed_count = ?, current_path = NULL, updated_at = ? WHERE id = ?",
          {running.totalCount, running.processedCount, running.indexedCount, running.failedCount, now,
           jobID});
    }
    return results;
  });
  if (checkpointDue) {
    // A write that waits goes before the checkpoint, which can take as long as a batch.
    guard.unlock();
    connection_.letWaitingLockUsersFirst();
    checkpointWAL();
  }
  return queued;
}

std::vector<IndexingQueueItem> IndexingJobs::beginNextQueueItems(std::int64_t jobID, std::size_t limit) {
  if (limit == 0) return {};
  connection_.letWaitingLockUsersFirst();
  auto guard = connection_.lock();
  return connection_.performTransaction([&] {
    std::vector<IndexingQueueItem> items = pendingItems(jobID, limit);
    if (items.empty()) return items;
    const double now = connection_.now();
    std::vector<std::int64_t> ids;
    ids.reserve(items.size());
    for (auto& item : items) {
      ids.push_back(item.id);
      item.status = IndexingQueueItemStatus::processing;
    }
    // "+job_id" keeps the planner on the ids: without statistics (a new library) it judged the
    // job's index the narrower way in, and read every item of the job for each statement.
    sql::forEachInListSlice(
        ids, kBatchStatementSize, [&](const std::string& list, const SQLiteV3Bindings& bindings) {
          connection_.execute(
              "UPDATE indexing_queue_items SET status = ?, updated_at = ? WHERE +job_id = ? AND id IN " +
                  list,
              sql::prefixedBindings({"processing", now, jobID}, bindings));
        });
    // The job shows the file it works on, as a single claim does.
    connection_.execute("UPDATE indexing_jobs SET current_path = ?, updated_at = ? WHERE id = ?",
                        {items.front().path, now, jobID});
    return items;
  });
}

IndexingJobs::QueueCompletions::QueueCompletions(IndexingJobs& jobs, std::int64_t jobID,
                                                 const std::vector<std::int64_t>& itemIDs)
    : jobs_(jobs), jobID_(jobID) {
  // By the ids, as beginNextQueueItems claims them ("+job_id": not through the job's index).
  sql::forEachInListSlice(
      itemIDs, kBatchStatementSize, [&](const std::string& list, const SQLiteV3Bindings& bindings) {
        jobs_.connection_.query(
            "SELECT id, status, failure_message IS NOT NULL FROM indexing_queue_items WHERE +job_id = ? AND "
            "id IN " +
                list,
            sql::prefixedBindings({jobID}, bindings), [&](SQLiteRows& rows) {
              while (rows.next()) {
                const auto status = fromRawValue<IndexingQueueItemStatus>(rows.text(1))
                                        .value_or(IndexingQueueItemStatus::pending);
                before_[rows.int64(0)] = {queueItemCounterDeltas(status, rows.int64(2) != 0),
                                          status == IndexingQueueItemStatus::indexed};
              }
              return 0;
            });
      });
  for (const std::int64_t itemID : itemIDs) {
    if (!before_.contains(itemID)) {
      throw SQLiteImageRepositoryV3Error::recordNotFound("indexing queue item " + std::to_string(itemID) +
                                                         " in job " + std::to_string(jobID));
    }
  }
  running_ = jobs_.indexingJob(jobID).progress;
  running_.currentPath.reset();
}

void IndexingJobs::QueueCompletions::complete(std::int64_t itemID,
                                              const std::optional<std::string>& message) {
  Before& was = before_.at(itemID);
  if (message) {
    // After the ones before it: an item given twice ends as its last completion says.
    writeItems();
    jobs_.connection_.execute(
        "UPDATE indexing_queue_items SET status = ?, failure_message = ?, updated_at = ? WHERE id = ? AND "
        "job_id = ?",
        {kIndexed, message, jobs_.connection_.now(), itemID, jobID_});
  } else {
    unwritten_.push_back(itemID);
  }
  running_.processedCount = std::max<std::int64_t>(0, running_.processedCount + 1 - was.counted.processed);
  running_.indexedCount = std::max<std::int64_t>(0, running_.indexedCount + (was.indexed ? 0 : 1));
  running_.failedCount =
      std::max<std::int64_t>(0, running_.failedCount + (message ? 1 : 0) - was.counted.failed);
  // What the item counts now, for an item given twice.
  was = {queueItemCounterDeltas(IndexingQueueItemStatus::indexed, message.has_value()), true};
  changed_ = true;
}

void IndexingJobs::QueueCompletions::writeItems() {
  if (unwritten_.empty()) return;
  const double now = jobs_.connection_.now();
  sql::forEachInListSlice(
      std::exchange(unwritten_, {}), kBatchStatementSize,
      [&](const std::string& list, const SQLiteV3Bindings& bindings) {
        jobs_.connection_.execute(
            "UPDATE indexing_queue_items SET status = ?, failure_message = NULL, updated_at = ? WHERE "
            "+job_id = ? AND id IN " +
                list,
            sql::prefixedBindings({kIndexed, now, jobID_}, bindings));
      });
}

void IndexingJobs::QueueCompletions::write() {
  writeItems();
  if (!changed_) return;
  jobs_.connection_.execute(
      "UPDATE indexing_jobs SET processed_count = ?, indexed_count = ?, failed_count = ?, current_path = "
      "NULL, updated_at = ? WHERE id = ?",
      {running_.processedCount, running_.indexedCount, running_.failedCount, jobs_.connection_.now(),
       jobID_});
}

std::vector<ImageLibraryIndexingProgress> IndexingJobs::completeUnchangedQueueItems(
    std::int64_t jobID, const std::vector<UnchangedQueueItem>& items) {
  if (items.empty()) return {};
  connection_.letWaitingLockUsersFirst();
  auto guard = connection_.lock();
  std::vector<ImageLibraryIndexingProgress> progress = connection_.performTransaction([&] {
    std::vector<std::int64_t> itemIDs;
    for (const auto& item : items) itemIDs.push_back(item.itemID);
    QueueCompletions completions(*this, jobID, itemIDs);

    // Each item completed as a single completion would, in order, up to the checkpoint.
    std::vector<ImageLibraryIndexingProgress> finished;
    for (const auto& item : items) {
      completions.complete(item.itemID, std::nullopt);
      finished.push_back(completions.progress());
      if (isCheckpointDue(finished.back().processedCount)) break;
    }

    std::vector<std::string> paths;
    for (std::size_t i = 0; i < finished.size(); ++i)
      paths.push_back(text::standardizedPath(items[i].file.path));
    const auto stored = files_.storedFiles(paths);
    std::vector<std::pair<StoredMediaFile, const ImageFileInfo*>> observed;
    for (std::size_t i = 0; i < finished.size(); ++i) {
      const auto row = stored.find(paths[i]);
      if (row != stored.end()) observed.emplace_back(row->second, &items[i].file);
    }
    files_.observeStoredFiles(jobID, observed);
    completions.write();
    return finished;
  });
  if (isCheckpointDue(progress.back().processedCount)) {
    guard.unlock();
    connection_.letWaitingLockUsersFirst();
    checkpointWAL();
  }
  return progress;
}

}  // namespace lorvex
