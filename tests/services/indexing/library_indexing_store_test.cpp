// The repository as the scanner's indexing store, in what the scanner needs beyond the per-item
// queue operations: a failed item's counters, walk failures recorded as failed items, and keeping
// an unreadable folder's images seen.

#include <gtest/gtest.h>

#include "services/indexing/scanner_test_library.h"

namespace lorvex {
namespace {

using testing::ScannerTestLibrary;

ImageLibraryIndexingProgress counts(std::int64_t total, std::int64_t processed, std::int64_t indexed,
                                    std::int64_t failed) {
  ImageLibraryIndexingProgress progress;
  progress.phase = ImageLibraryIndexingPhase::indexing;
  progress.totalCount = total;
  progress.processedCount = processed;
  progress.indexedCount = indexed;
  progress.failedCount = failed;
  return progress;
}

TEST(LibraryIndexingStoreTest, AFailedItemCountsOnceWhateverItCountedBefore) {
  ScannerTestLibrary library;
  auto& store = library.store;
  const auto job = store.startIndexingJob({"/photos"});
  store.enqueueIndexingQueueItems(job.id, {"/photos/a.png", 10, 100});
  store.enqueueIndexingQueueItems(job.id, {"/photos/b.png", 10, 200});

  const auto first = store.beginNextQueueItem(job.id);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(store.failIndexingQueueItem(job.id, first->id, "invalidSignature"), counts(2, 1, 0, 1));
  const auto second = store.beginNextQueueItem(job.id);
  ASSERT_TRUE(second.has_value());
  store.completeIndexingQueueItem(job.id, second->id, std::string("Unable to write thumbnail: x"));
  // An item indexed with a message already counts as failed: failing it moves it out of indexed.
  EXPECT_EQ(store.failIndexingQueueItem(job.id, second->id, "disk full"), counts(2, 2, 0, 2));

  const auto stored = library.repository->indexingQueueItem(second->id, job.id);
  EXPECT_EQ(stored.status, IndexingQueueItemStatus::failed);
  EXPECT_EQ(stored.failureMessage, "disk full");
  const auto summary = store.completeIndexingJob(job.id);
  EXPECT_EQ(summary.failedFileCount, 2);
  EXPECT_EQ(summary.scannedFileCount, 2);
}

TEST(LibraryIndexingStoreTest, AWalkFailureIsAFailedItemUntilThePathReadsAgain) {
  ScannerTestLibrary library;
  auto& store = library.store;
  const auto job = store.startIndexingJob({"/photos"});
  store.recordDiscoveryFailure(job.id, "/photos/locked", "Unable to read folder: Permission denied");
  store.recordDiscoveryFailure(job.id, "/photos/locked", "Unable to read folder: Permission denied");
  EXPECT_EQ(store.indexingJob(job.id).progress, counts(1, 1, 0, 1));

  // The same path queued as a readable file goes back to pending, its failure taken off.
  store.enqueueIndexingQueueItems(job.id, {"/photos/locked", 5, 300});
  EXPECT_EQ(store.indexingJob(job.id).progress, counts(1, 0, 0, 0));
  const auto item = store.beginNextQueueItem(job.id);
  ASSERT_TRUE(item.has_value());
  EXPECT_EQ(item->path, "/photos/locked");
  EXPECT_EQ(item->failureMessage, std::nullopt);

  const auto other = store.startIndexingJob({"/photos"});
  store.recordDiscoveryFailure(other.id, "/photos/b\xEF\xBF\xBD.png", "The file name is not valid UTF-8");
  const auto summary = store.completeIndexingJob(other.id);
  ASSERT_EQ(summary.failures.size(), 1u);
  EXPECT_EQ(summary.failures[0].message, "The file name is not valid UTF-8");
}

TEST(LibraryIndexingStoreTest, MarkSeenUnderKeepsAFoldersPresentImagesOnly) {
  ScannerTestLibrary library;
  const std::string inside = library.writePNG("a/x.png", "x");
  const std::string deeper = library.writePNG("a/sub/y.png", "y");
  const std::string sibling = library.writePNG("ab/z.png", "z");
  library.scanner().scan({library.root()}, {}, {});

  auto& store = library.store;
  const auto job = store.startIndexingJob({library.root()});
  store.markSeenUnder(library.photo("a"), job.id);
  store.markMissingIfNotSeen(job.id, {library.root()});
  EXPECT_EQ(library.storedMissing(inside), false);
  EXPECT_EQ(library.storedMissing(deeper), false);
  EXPECT_EQ(library.storedMissing(sibling), true);

  // A missing image stays missing.
  const auto next = store.startIndexingJob({library.root()});
  store.markSeenUnder(library.photo("ab"), next.id);
  store.markMissingIfNotSeen(next.id, {library.photo("ab")});
  EXPECT_EQ(library.storedMissing(sibling), true);
}

TEST(LibraryIndexingStoreTest, NextPendingItemsComeInClaimOrderWithoutBeingClaimed) {
  ScannerTestLibrary library;
  auto& store = library.store;
  const auto job = store.startIndexingJob({"/photos"});
  store.enqueueIndexingQueueItems(job.id, {"/photos/old.png", 1, 100});
  store.enqueueIndexingQueueItems(job.id, {"/photos/b.png", 1, 300});
  store.enqueueIndexingQueueItems(job.id, {"/photos/a.png", 1, 300});
  const auto paths = [&] {
    std::vector<std::string> result;
    for (const auto& item : store.nextPendingQueueItems(job.id, 2)) result.push_back(item.path);
    return result;
  };
  EXPECT_EQ(paths(), (std::vector<std::string>{"/photos/a.png", "/photos/b.png"}));
  EXPECT_EQ(paths(), (std::vector<std::string>{"/photos/a.png", "/photos/b.png"}));
  EXPECT_EQ(store.beginNextQueueItem(job.id)->path, "/photos/a.png");
  EXPECT_EQ(paths(), (std::vector<std::string>{"/photos/b.png", "/photos/old.png"}));
}

TEST(LibraryIndexingStoreTest, TheQueueItemKeepsTheFileInfoOfItsProcessing) {
  ScannerTestLibrary library;
  auto& store = library.store;
  const auto job = store.startIndexingJob({"/photos"});
  store.enqueueIndexingQueueItems(job.id, {"/photos/a.png", 10, 100});
  const auto item = store.beginNextQueueItem(job.id);
  ASSERT_TRUE(item.has_value());
  store.updateQueueItemFileInfo(job.id, item->id, {"/photos/a.png", 12, 150.5});
  const auto stored = library.repository->indexingQueueItem(item->id, job.id);
  EXPECT_EQ(stored.fileSize, 12);
  EXPECT_EQ(stored.modificationDate, 150.5);
  EXPECT_EQ(stored.status, IndexingQueueItemStatus::processing);
}

}  // namespace
}  // namespace lorvex
