// The library database seen through the stores the scanner works with: every operation is the
// repository's own, except those the scanner needs beyond them (storing a queue item's current
// size and time, finishing an item as failed, recording a walk failure, looking at the next
// pending item, keeping an unreadable folder's images, the batched forms of the per-item
// operations), which issue their statements here under the repository's connection lock.
//
// Thread safety: any thread; the repository's recursive lock serialises every call.
#pragma once

#include "database/library_store_protocols.h"

namespace lorvex {

class SQLiteImageRepositoryV3;

class SQLiteLibraryIndexingStore final : public IndexingJobStore,
                                         public ImageIndexingRecordStore,
                                         public IndexingBatchStore {
 public:
  explicit SQLiteLibraryIndexingStore(SQLiteImageRepositoryV3& repository) : repository_(repository) {}

  // IndexingJobStore
  IndexingJobRecord startIndexingJob(const std::vector<std::string>& rootPaths) override;
  IndexingJobRecord indexingJob(std::int64_t jobID) override;
  std::optional<IndexingJobRecord> resumeInterruptedIndexingJob() override;
  void enqueueIndexingQueueItems(std::int64_t jobID, const ImageFileInfo& file) override;
  std::optional<IndexingQueueItem> beginNextQueueItem(std::int64_t jobID) override;
  std::vector<IndexingQueueItem> nextPendingQueueItems(std::int64_t jobID, std::size_t limit) override;
  void updateQueueItemFileInfo(std::int64_t jobID, std::int64_t itemID, const ImageFileInfo& file) override;
  ImageLibraryIndexingProgress completeIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                         const std::optional<std::string>& message) override;
  // In one transaction: the item becomes "failed" with the message and the job's counts move by
  // the difference between what the item counted before and what it counts now. Every 500th
  // processed item truncates the write-ahead log.
  ImageLibraryIndexingProgress failIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                     const std::string& message) override;
  void recordDiscoveryFailure(std::int64_t jobID, const std::string& path,
                              const std::string& message) override;
  ImageLibraryScanSummary completeIndexingJob(std::int64_t jobID) override;
  IndexingBatchStore* batches() override { return this; }

  // IndexingBatchStore: statements over at most kBatchStatementSize ids or paths each.
  static constexpr std::size_t kBatchStatementSize = 400;
  std::vector<QueuedDiscoveredFile> enqueueIndexingQueueItemBatch(std::int64_t jobID,
                                                                  const std::vector<ImageFileInfo>& files,
                                                                  const UnchangedFileTest& isUnchanged) override;
  std::vector<IndexingQueueItem> beginNextQueueItems(std::int64_t jobID, std::size_t limit) override;
  std::vector<std::optional<IndexedImageFileState>> indexedFileStates(
      const std::vector<std::string>& paths) override;
  std::vector<ImageLibraryIndexingProgress> completeUnchangedQueueItems(
      std::int64_t jobID, const std::vector<UnchangedQueueItem>& items) override;

  // ImageIndexingRecordStore
  std::optional<IndexedImageFileState> indexedFileState(std::string_view path) override;
  void markObserved(const ImageFileInfo& file, std::int64_t jobID) override;
  void markSeenAfterFailure(std::string_view path, std::int64_t jobID) override;
  void markSeenUnder(std::string_view path, std::int64_t jobID) override;
  void upsertRecord(const ImageRecord& record, std::int64_t jobID) override;
  std::vector<std::string> relocationCandidatePaths(std::string_view contentSHA256,
                                                    std::string_view path) override;
  void markMissing(const std::vector<std::string>& paths) override;
  void markMissingIfNotSeen(std::int64_t jobID, const std::vector<std::string>& paths) override;

 private:
  SQLiteImageRepositoryV3& repository_;
};

}  // namespace lorvex
