// The indexing store's batched operations against the per-item ones they stand for: claiming
// order, states over more paths than one statement takes, counters from any earlier state of an
// item, and the write-ahead log checkpoint after every 500th processed item.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "services/scanner_test_library.h"
#include "services/sqlite_library_indexing_store.h"

namespace lorvex {
namespace {

using testing::ScannerTestLibrary;

std::vector<std::string> paths(const std::vector<IndexingQueueItem>& items) {
  std::vector<std::string> result;
  for (const auto& item : items) result.push_back(item.path);
  return result;
}

// Queues the same files, with ties in time, for a new job.
std::int64_t jobWithFiles(SQLiteLibraryIndexingStore& store, int count) {
  const auto job = store.startIndexingJob({"/photos"});
  for (int i = 0; i < count; ++i) {
    store.enqueueIndexingQueueItems(
        job.id,
        {"/photos/" + std::to_string(i % 7) + "-" + std::to_string(i) + ".png", 10 + i, 1000.0 + i % 4});
  }
  return job.id;
}

TEST(SQLiteLibraryIndexingBatchesTest, ABurstIsClaimedInTheOrderOfSingleClaims) {
  ScannerTestLibrary library;
  auto& store = library.store;
  const std::int64_t single = jobWithFiles(store, 30);
  std::vector<IndexingQueueItem> oneByOne;
  while (auto item = store.beginNextQueueItem(single)) oneByOne.push_back(*item);

  const std::int64_t batched = jobWithFiles(store, 30);
  auto claimed = store.beginNextQueueItems(batched, 11);
  ASSERT_EQ(claimed.size(), 11u);
  EXPECT_EQ(store.indexingJob(batched).progress.currentPath, claimed.front().path);
  const auto rest = store.beginNextQueueItems(batched, 100);
  claimed.insert(claimed.end(), rest.begin(), rest.end());
  EXPECT_EQ(paths(claimed), paths(oneByOne));
  EXPECT_TRUE(store.beginNextQueueItems(batched, 5).empty());
  for (const auto& item : claimed) {
    EXPECT_EQ(item.status, IndexingQueueItemStatus::processing);
    EXPECT_EQ(library.repository->indexingQueueItem(item.id, batched), item);
  }
}

TEST(SQLiteLibraryIndexingBatchesTest, StatesComeInTheOrderAskedAcrossStatements) {
  ScannerTestLibrary library;
  std::vector<std::string> stored;
  for (int i = 0; i < 5; ++i) stored.push_back(library.writePNG("s" + std::to_string(i) + ".png"));
  library.scanner().scan({library.root()}, {});

  std::vector<std::string> asked;
  for (int i = 0; i < 900; ++i) {
    asked.push_back(i % 200 == 7 ? stored[static_cast<std::size_t>(i / 200)]
                                 : library.photo("none-" + std::to_string(i)));
  }
  asked.push_back(stored[4] + "/");  // not standardized as stored: found all the same
  asked.push_back(stored[0]);
  const auto states = library.store.indexedFileStates(asked);
  ASSERT_EQ(states.size(), asked.size());
  int found = 0;
  for (std::size_t i = 0; i < asked.size(); ++i) {
    EXPECT_EQ(states[i], library.store.indexedFileState(asked[i])) << asked[i];
    found += states[i].has_value() ? 1 : 0;
  }
  EXPECT_EQ(found, 7);
}

TEST(SQLiteLibraryIndexingBatchesTest, CompletingTogetherCountsAsCompletingOneAfterAnother) {
  // Items in every state a completion can find them in, completed singly in one job and together
  // in another: the same progress after each.
  ScannerTestLibrary library;
  auto& store = library.store;
  std::vector<std::vector<ImageLibraryIndexingProgress>> results;
  for (const bool together : {false, true}) {
    const std::int64_t job = jobWithFiles(store, 8);
    std::vector<IndexingQueueItem> items;
    while (auto item = store.beginNextQueueItem(job)) items.push_back(*item);
    store.completeIndexingQueueItem(job, items[1].id, std::nullopt);
    store.completeIndexingQueueItem(job, items[2].id, std::string("Unable to write thumbnail: x"));
    store.failIndexingQueueItem(job, items[3].id, "disk full");
    std::vector<ImageLibraryIndexingProgress> progress;
    if (together) {
      std::vector<UnchangedQueueItem> unchanged;
      for (const auto& item : items)
        unchanged.push_back({item.id, {item.path, *item.fileSize, *item.modificationDate}});
      progress = store.completeUnchangedQueueItems(job, unchanged);
    } else {
      for (const auto& item : items)
        progress.push_back(store.completeIndexingQueueItem(job, item.id, std::nullopt));
    }
    EXPECT_EQ(progress.back(), store.indexingJob(job).progress);
    results.push_back(progress);
  }
  EXPECT_EQ(results[0], results[1]);
}

TEST(SQLiteLibraryIndexingBatchesTest, ABatchEndsAtEvery500thProcessedItemWithTheLogCheckpointed) {
  ScannerTestLibrary library;
  auto& store = library.store;
  const std::filesystem::path wal = library.libraryFolder.path() / "LorvexV3.sqlite-wal";
  const std::int64_t job = jobWithFiles(store, 1100);
  std::vector<UnchangedQueueItem> unchanged;
  for (const auto& item : store.beginNextQueueItems(job, 1100)) {
    unchanged.push_back({item.id, {item.path, *item.fileSize, *item.modificationDate}});
  }
  ASSERT_EQ(unchanged.size(), 1100u);

  // An item that is not the job's: nothing of the batch is written.
  auto foreign = unchanged;
  foreign.insert(foreign.begin() + 3, UnchangedQueueItem{999'999, {"/photos/x.png", 1, 1}});
  EXPECT_THROW(store.completeUnchangedQueueItems(job, foreign), SQLiteImageRepositoryV3Error);
  EXPECT_EQ(store.indexingJob(job).progress.processedCount, 0);

  std::size_t done = 0;
  std::vector<std::size_t> batches;
  while (done < unchanged.size()) {
    const std::vector<UnchangedQueueItem> rest(unchanged.begin() + static_cast<std::ptrdiff_t>(done),
                                               unchanged.end());
    const auto progress = store.completeUnchangedQueueItems(job, rest);
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 0; i < progress.size(); ++i) {
      EXPECT_EQ(progress[i].processedCount, static_cast<std::int64_t>(done + i + 1));
      EXPECT_EQ(progress[i].indexedCount, static_cast<std::int64_t>(done + i + 1));
      EXPECT_EQ(progress[i].totalCount, 1100);
    }
    done += progress.size();
    batches.push_back(progress.size());
    if (done % 500 == 0) {
      EXPECT_EQ(std::filesystem::file_size(wal), 0u) << "after " << done;
    } else {
      EXPECT_GT(std::filesystem::file_size(wal), 0u) << "after " << done;
    }
  }
  EXPECT_EQ(batches, (std::vector<std::size_t>{500, 500, 100}));
  EXPECT_EQ(library.count("SELECT COUNT(*) FROM indexing_queue_items WHERE status = 'indexed'"), 1100);
}

}  // namespace
}  // namespace lorvex
