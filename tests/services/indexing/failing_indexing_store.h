// The real library stores with a fault switch: chosen operations throw on a chosen call, the way
// a full disk or a lost database would, so a test can stop a scan at an exact step.
#pragma once

#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "database/library_store_protocols.h"

namespace lorvex::testing {

class FailingIndexingStore final : public IndexingJobStore,
                                   public ImageIndexingRecordStore,
                                   public IndexingBatchStore {
 public:
  struct Fault {
    int failOnCall = 0;  // 1 = the first call; 0 = never
    int calls = 0;
    bool keepFailing = false;  // after the first failure, every later call fails too
    bool tripped() {
      ++calls;
      if (failOnCall > 0 && (calls == failOnCall || (keepFailing && calls > failOnCall))) return true;
      return false;
    }
  };

  FailingIndexingStore(IndexingJobStore& jobs, ImageIndexingRecordStore& records)
      : jobs_(jobs), records_(records) {}

  Fault beginNext;
  Fault complete;
  Fault fail;
  Fault markMissingIfNotSeenFault;
  Fault enqueue;
  // Off: the wrapper offers no batched operations, and the scanner takes every item on its own.
  bool forwardsBatches = false;
  Fault enqueueBatch;
  Fault beginBatch;
  Fault statesBatch;
  Fault completeUnchanged;
  Fault projectBatch;
  // Runs once, before the first batch of projections is handed on: what changes a file between its
  // reading and its writing.
  std::function<void()> beforeFirstProjectBatch;
  // How many items each batch of projections wrote.
  std::vector<std::size_t> projectedPerBatch;

  static void raise() { throw std::runtime_error("disk I/O error"); }

  IndexingJobRecord startIndexingJob(const std::vector<std::string>& roots) override {
    return jobs_.startIndexingJob(roots);
  }
  IndexingJobRecord indexingJob(std::int64_t jobID) override { return jobs_.indexingJob(jobID); }
  std::optional<IndexingJobRecord> resumeInterruptedIndexingJob() override {
    return jobs_.resumeInterruptedIndexingJob();
  }
  void enqueueIndexingQueueItems(std::int64_t jobID, const ImageFileInfo& file) override {
    if (enqueue.tripped()) raise();
    jobs_.enqueueIndexingQueueItems(jobID, file);
  }
  std::optional<IndexingQueueItem> beginNextQueueItem(std::int64_t jobID) override {
    if (beginNext.tripped()) raise();
    return jobs_.beginNextQueueItem(jobID);
  }
  std::vector<IndexingQueueItem> nextPendingQueueItems(std::int64_t jobID, std::size_t limit) override {
    return jobs_.nextPendingQueueItems(jobID, limit);
  }
  void updateQueueItemFileInfo(std::int64_t jobID, std::int64_t itemID, const ImageFileInfo& file) override {
    jobs_.updateQueueItemFileInfo(jobID, itemID, file);
  }
  ImageLibraryIndexingProgress completeIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                         const std::optional<std::string>& message) override {
    if (complete.tripped()) raise();
    return jobs_.completeIndexingQueueItem(jobID, itemID, message);
  }
  ImageLibraryIndexingProgress failIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                     const std::string& message) override {
    if (fail.tripped()) raise();
    return jobs_.failIndexingQueueItem(jobID, itemID, message);
  }
  void recordDiscoveryFailure(std::int64_t jobID, const std::string& path,
                              const std::string& message) override {
    jobs_.recordDiscoveryFailure(jobID, path, message);
  }
  void closeIndexingJobsCoveredBy(std::int64_t jobID, const std::vector<std::string>& rootPaths) override {
    jobs_.closeIndexingJobsCoveredBy(jobID, rootPaths);
  }
  ImageLibraryScanSummary completeIndexingJob(std::int64_t jobID) override {
    return jobs_.completeIndexingJob(jobID);
  }
  IndexingBatchStore* batches() override { return forwardsBatches ? this : nullptr; }

  std::vector<QueuedDiscoveredFile> enqueueIndexingQueueItemBatch(
      std::int64_t jobID, const std::vector<ImageFileInfo>& files,
      const UnchangedFileTest& isUnchanged) override {
    if (enqueueBatch.tripped()) raise();
    return jobs_.batches()->enqueueIndexingQueueItemBatch(jobID, files, isUnchanged);
  }
  std::vector<IndexingQueueItem> beginNextQueueItems(std::int64_t jobID, std::size_t limit) override {
    if (beginBatch.tripped()) raise();
    return jobs_.batches()->beginNextQueueItems(jobID, limit);
  }
  std::vector<std::optional<IndexedImageFileState>> indexedFileStates(
      const std::vector<std::string>& paths) override {
    if (statesBatch.tripped()) raise();
    return jobs_.batches()->indexedFileStates(paths);
  }
  std::vector<ImageLibraryIndexingProgress> completeUnchangedQueueItems(
      std::int64_t jobID, const std::vector<UnchangedQueueItem>& items) override {
    if (completeUnchanged.tripped()) raise();
    return jobs_.batches()->completeUnchangedQueueItems(jobID, items);
  }
  std::vector<ImageLibraryIndexingProgress> projectQueueItems(
      std::int64_t jobID, const std::vector<QueueItemProjection>& items,
      const FileStillAsReadTest& isStillAsRead) override {
    if (projectBatch.tripped()) raise();
    if (beforeFirstProjectBatch) std::exchange(beforeFirstProjectBatch, {})();
    auto finished = jobs_.batches()->projectQueueItems(jobID, items, isStillAsRead);
    projectedPerBatch.push_back(finished.size());
    return finished;
  }

  std::optional<IndexedImageFileState> indexedFileState(std::string_view path) override {
    return records_.indexedFileState(path);
  }
  void markObserved(const ImageFileInfo& file, std::int64_t jobID, const ContentRelocation& moved) override {
    records_.markObserved(file, jobID, moved);
  }
  void markSeenAfterFailure(std::string_view path, std::int64_t jobID) override {
    records_.markSeenAfterFailure(path, jobID);
  }
  void markSeenUnder(std::string_view path, std::int64_t jobID) override {
    records_.markSeenUnder(path, jobID);
  }
  void upsertRecord(const ImageRecord& record, std::optional<std::int64_t> jobID,
                    const ContentRelocation& moved) override {
    records_.upsertRecord(record, jobID, moved);
  }
  std::vector<ContentPlace> contentPlaces(std::string_view hash, std::string_view path) override {
    return records_.contentPlaces(hash, path);
  }
  void markContentChanged(std::string_view path) override { records_.markContentChanged(path); }
  void markMissing(const std::vector<std::string>& paths) override { records_.markMissing(paths); }
  void markMissingIfNotSeen(std::int64_t jobID, const std::vector<std::string>& paths) override {
    if (markMissingIfNotSeenFault.tripped()) raise();
    records_.markMissingIfNotSeen(jobID, paths);
  }

 private:
  IndexingJobStore& jobs_;
  ImageIndexingRecordStore& records_;
};

}  // namespace lorvex::testing
