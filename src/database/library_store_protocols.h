// The library operations the scanner works through, as abstract stores: the indexing job and its
// queue (IndexingJobStore) and the per-image rows a scan reads and writes (ImageIndexingRecordStore).
// SQLiteImageRepositoryV3 provides them in the live program; tests put fakes behind them to make
// a chosen step fail.
//
// Every operation is one unit of work in the database: it either happens whole or throws and
// leaves the library as it was. Paths are absolute and standardized by the implementation. A
// failure throws the implementation's error (SQLiteImageRepositoryV3Error in the live program);
// its what() is the text a failed scan reports.
//
// Thread safety: implementations serialise their own work (the live one holds the connection's
// lock for each call), so any thread may call them; a scan calls them from its one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/image_library_scan_summary.h"
#include "model/image_record.h"
#include "model/indexing_job.h"

namespace lorvex {

class IndexingBatchStore;

class IndexingJobStore {
 public:
  virtual ~IndexingJobStore() = default;

  // Records the roots as library roots and opens a running job over them with zero counts.
  virtual IndexingJobRecord startIndexingJob(const std::vector<std::string>& rootPaths) = 0;
  // The job as stored; throws a not-found error ("indexing job 7") for an unknown id.
  virtual IndexingJobRecord indexingJob(std::int64_t jobID) = 0;
  // The most recently updated running job with its claimed items put back to pending and its
  // counts recomputed; nothing when no job is running.
  virtual std::optional<IndexingJobRecord> resumeInterruptedIndexingJob() = 0;

  // Queues the file for the job, or sends its item back to pending when the size or modification
  // time differs from what was queued; an item with the same size and time stays as it is.
  virtual void enqueueIndexingQueueItems(std::int64_t jobID, const ImageFileInfo& file) = 0;
  // Claims the pending item with the newest modification time (ties by path); nothing when none.
  virtual std::optional<IndexingQueueItem> beginNextQueueItem(std::int64_t jobID) = 0;
  // The first `limit` items in the order beginNextQueueItem claims them, left pending.
  virtual std::vector<IndexingQueueItem> nextPendingQueueItems(std::int64_t jobID, std::size_t limit) = 0;
  // Stores the size and time the item's file has now, leaving its status.
  virtual void updateQueueItemFileInfo(std::int64_t jobID, std::int64_t itemID,
                                       const ImageFileInfo& file) = 0;
  // Finishes the item as indexed, carrying a message when something short of failure went wrong
  // (a thumbnail), and returns the job's progress.
  virtual ImageLibraryIndexingProgress completeIndexingQueueItem(
      std::int64_t jobID, std::int64_t itemID, const std::optional<std::string>& message) = 0;
  // Finishes the item as failed with the message and returns the job's progress.
  virtual ImageLibraryIndexingProgress failIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                             const std::string& message) = 0;
  // Records a path that the walk could not read or cannot store (an unreadable folder, a name
  // that is not UTF-8) as a failed item of the job, so the scan's summary lists it. Recording the
  // same path again replaces the message.
  virtual void recordDiscoveryFailure(std::int64_t jobID, const std::string& path,
                                      const std::string& message) = 0;

  // Completes the job: its counts recomputed from its queue, and its summary with the failures
  // in path order.
  virtual ImageLibraryScanSummary completeIndexingJob(std::int64_t jobID) = 0;

  // The batched forms of this store's per-item operations; nothing when it has none, and the
  // scanner then takes every item on its own.
  virtual IndexingBatchStore* batches() { return nullptr; }
};

// A claimed queue item whose file the library holds unchanged, with the size and time it has now.
struct UnchangedQueueItem {
  std::int64_t itemID = 0;
  ImageFileInfo file;
};

// What queueing one discovered file did.
struct QueuedDiscoveredFile {
  // The job's progress right after the file was queued.
  ImageLibraryIndexingProgress progress;
  // The job's progress right after the file was completed as unchanged; nothing when its item
  // was left as it was or waits in the queue.
  std::optional<ImageLibraryIndexingProgress> completion;
};

// Whether what the library holds for a file (nothing when the file is not in it) shows the file
// unchanged, so that it needs no indexing.
using UnchangedFileTest =
    std::function<bool(const std::optional<IndexedImageFileState>& stored, const ImageFileInfo& file)>;

// Batched forms of the per-item operations, for scans that find most files unchanged: each has
// exactly the effect of the per-item calls it stands for, made one after another, in far fewer
// transactions. Same thread safety and errors as the per-item operations.
class IndexingBatchStore {
 public:
  virtual ~IndexingBatchStore() = default;

  // For each file in order, enqueueIndexingQueueItems; then, in file order, each file whose item
  // became pending and that `isUnchanged` accepts with the library's state of its path (the path
  // standardized) is marked observed and completed without a message, as completeUnchangedQueueItems
  // does. A path given twice is queued twice and completed by neither. One transaction, after
  // which the write-ahead log is checkpointed when a completion brought the job's processed count
  // to a multiple of the checkpoint interval. One answer per file; throws with none of the files
  // queued.
  virtual std::vector<QueuedDiscoveredFile> enqueueIndexingQueueItemBatch(
      std::int64_t jobID, const std::vector<ImageFileInfo>& files, const UnchangedFileTest& isUnchanged) = 0;
  // Claims up to `limit` pending items, as that many beginNextQueueItem calls would claim them
  // (newest modification time first, ties by path), in one transaction; fewer when fewer wait.
  virtual std::vector<IndexingQueueItem> beginNextQueueItems(std::int64_t jobID, std::size_t limit) = 0;
  // indexedFileState of each path, in the order given.
  virtual std::vector<std::optional<IndexedImageFileState>> indexedFileStates(
      const std::vector<std::string>& paths) = 0;
  // For each item in order, markObserved(file) and then completeIndexingQueueItem without a
  // message, in one transaction. The transaction ends after the item whose completion brings the
  // job's processed count to a multiple of the write-ahead log's checkpoint interval; the log is
  // checkpointed then, as after a single completion, and the items after that one are left for
  // the next call. Returns the job's progress after each item it finished (a prefix of `items`,
  // never empty unless `items` is). Throws with none of this call's items finished.
  virtual std::vector<ImageLibraryIndexingProgress> completeUnchangedQueueItems(
      std::int64_t jobID, const std::vector<UnchangedQueueItem>& items) = 0;
};

class ImageIndexingRecordStore {
 public:
  virtual ~ImageIndexingRecordStore() = default;

  // What the library holds for the file, missing or not; nothing when it is not in the library.
  virtual std::optional<IndexedImageFileState> indexedFileState(std::string_view path) = 0;
  // The file was seen by the job as it is and is present.
  virtual void markObserved(const ImageFileInfo& file, std::int64_t jobID) = 0;
  // A file that failed to index stays present and counts as seen by the job.
  virtual void markSeenAfterFailure(std::string_view path, std::int64_t jobID) = 0;
  // Every present file at or under the path counts as seen by the job: a folder that could not
  // be read keeps its images as they were instead of losing them to the missing marking.
  virtual void markSeenUnder(std::string_view path, std::int64_t jobID) = 0;
  // Writes the whole projection of one image for the job.
  virtual void upsertRecord(const ImageRecord& record, std::int64_t jobID) = 0;
  // Present files with this content, other than `path`, in ascending path order.
  virtual std::vector<std::string> relocationCandidatePaths(std::string_view contentSHA256,
                                                            std::string_view path) = 0;
  // Every present file at or under each path becomes missing.
  virtual void markMissing(const std::vector<std::string>& paths) = 0;
  // Every file at or under the paths that the job did not see becomes missing; no paths, nothing.
  virtual void markMissingIfNotSeen(std::int64_t jobID, const std::vector<std::string>& paths) = 0;
};

}  // namespace lorvex
