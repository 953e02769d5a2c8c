// The repository's batched queue operations against the per-item ones they stand for: queueing
// discovered files, claiming order, states over more paths than one statement takes, counters
// from any earlier state of an item, and the write-ahead log checkpoint after every 500th
// processed item.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/internal/row_mappers.h"
#include "database/support/repository_connection.h"
#include "services/indexing/scanner_test_library.h"

namespace lorvex {
namespace {

using testing::ScannerTestLibrary;

std::vector<std::string> paths(const std::vector<IndexingQueueItem>& items) {
  std::vector<std::string> result;
  for (const auto& item : items) result.push_back(item.path);
  return result;
}

// Queues the same files, with ties in time, for a new job.
std::int64_t jobWithFiles(SQLiteImageRepositoryV3& store, int count) {
  const auto job = store.startIndexingJob({"/photos"});
  for (int i = 0; i < count; ++i) {
    store.enqueueIndexingQueueItems(
        job.id,
        {"/photos/" + std::to_string(i % 7) + "-" + std::to_string(i) + ".png", 10 + i, 1000.0 + i % 4});
  }
  return job.id;
}

// The rows a queueing batch can touch, as text with the photo folder's path taken out: the newest
// job's queue, every job's counts, and the files.
std::vector<std::string> queueingRows(ScannerTestLibrary& library) {
  std::vector<std::string> rows;
  lorvex::testing::connectionOf(*library.repository).withLock([&] {
    const auto collect = [&](const std::string& sql, int columns) {
      lorvex::testing::connectionOf(*library.repository).query(sql, {}, [&](SQLiteRows& result) {
        while (result.next()) {
          std::string row;
          for (int column = 0; column < columns; ++column)
            row += "|" + (result.isNull(column) ? std::string("null") : result.text(column));
          for (std::size_t at = row.find(library.root()); at != std::string::npos;
               at = row.find(library.root()))
            row.replace(at, library.root().size(), "<root>");
          rows.push_back(row);
        }
        return 0;
      });
    };
    collect(
        "SELECT path, status, failure_message, file_size, printf('%.6f', modification_time) FROM "
        "indexing_queue_items WHERE job_id = (SELECT MAX(id) FROM indexing_jobs) ORDER BY path",
        5);
    collect(
        "SELECT total_count, processed_count, indexed_count, failed_count, current_path FROM indexing_jobs "
        "ORDER BY id",
        5);
    collect(
        "SELECT absolute_path, file_size, printf('%.6f', modification_time), missing, content_sha256, "
        "last_seen_indexing_job_id FROM media_files ORDER BY absolute_path",
        6);
    collect(
        "SELECT m.absolute_path, p.thumbnail_key FROM image_properties p JOIN media_files m ON m.id = "
        "p.media_file_id ORDER BY m.absolute_path",
        2);
  });
  return rows;
}

bool sameSizeAndNearTime(const std::optional<IndexedImageFileState>& stored, const ImageFileInfo& file) {
  return stored && stored->fileInfo.fileSize == file.fileSize &&
         std::abs(stored->fileInfo.modificationDate - file.modificationDate) < 0.001;
}

TEST(LibraryIndexingBatchesTest, QueueingTogetherCountsAsQueueingAndCompletingOneAfterAnother) {
  struct Run {
    std::vector<ImageLibraryIndexingProgress> progress;
    std::vector<std::optional<ImageLibraryIndexingProgress>> completions;
    std::vector<std::string> rows;
  };
  std::vector<Run> runs;
  for (const bool together : {false, true}) {
    SCOPED_TRACE(together ? "together" : "one after another");
    ScannerTestLibrary library;
    auto& store = library.store;
    double time = 1'700'000'000.25;
    for (const char* name : {"a", "b", "c", "d", "f", "g", "h"})
      library.writePNG(std::string(name) + ".png", "a cat", time += 10);
    library.scanner().scan({library.root()}, {}, {});
    lorvex::testing::connectionOf(*library.repository).withLock([&] {
      auto& connection = lorvex::testing::connectionOf(*library.repository);
      connection.execute("UPDATE media_files SET missing = 1 WHERE absolute_path = ?",
                         {library.photo("g.png")});
      connection.execute("UPDATE image_properties SET thumbnail_key = 'key-' || media_file_id");
    });
    const auto stored = [&](const std::string& name) { return *store.indexedFileState(library.photo(name)); };
    const auto file = [&](const std::string& name) { return stored(name).fileInfo; };

    // A job whose queue already holds items in every state a file can meet.
    const auto job = store.startIndexingJob({library.root()});
    for (const char* name : {"b.png", "c.png"}) store.enqueueIndexingQueueItems(job.id, file(name));
    const auto claimed = store.beginNextQueueItems(job.id, 2);
    ASSERT_EQ(claimed.size(), 2u);
    store.completeIndexingQueueItem(job.id, claimed[0].id, std::nullopt);
    store.failIndexingQueueItem(job.id, claimed[1].id, "disk full");
    store.recordDiscoveryFailure(job.id, library.photo("d.png"), "Permission denied");

    ImageFileInfo changedC = file("c.png");
    changedC.modificationDate += 5;
    ImageFileInfo nearH = file("h.png");
    nearH.modificationDate += 0.0004;
    ImageFileInfo otherF = file("f.png");
    otherF.path = library.photo("sub/../f.png");  // not standardized: the same item
    otherF.fileSize += 1;
    const std::vector<ImageFileInfo> files{
        file("a.png"),                         // new to the job, held unchanged: completed
        file("b.png"),                         // queued as it is: left alone
        changedC,                              // changed since queued and since stored: pending
        file("d.png"),                         // after a walk failure, held unchanged: completed
        {library.photo("e.png"), 10, 1000.0},  // not in the library: pending
        file("f.png"),                         // given twice: queued twice, completed by neither
        file("g.png"),                         // stored as missing: completed, present again
        otherF,
        nearH,  // within the tolerance: completed, loses its thumbnail key
    };

    Run run;
    if (together) {
      for (auto& answer : store.enqueueIndexingQueueItemBatch(job.id, files, sameSizeAndNearTime)) {
        run.progress.push_back(answer.progress);
        run.completions.push_back(answer.completion);
      }
    } else {
      const std::vector<bool> completes{true, false, false, true, false, false, true, false, true};
      for (const auto& each : files) {
        store.enqueueIndexingQueueItems(job.id, each);
        run.progress.push_back(store.indexingJob(job.id).progress);
      }
      for (std::size_t i = 0; i < files.size(); ++i) {
        if (!completes[i]) {
          run.completions.emplace_back();
          continue;
        }
        const auto item = lorvex::testing::connectionOf(*library.repository).withLock([&] {
          return lorvex::testing::connectionOf(*library.repository)
              .query("SELECT id FROM indexing_queue_items WHERE job_id = ? AND path = ?",
                     {job.id, files[i].path}, rows::firstInt64);
        });
        store.markObserved(files[i], job.id);
        run.completions.emplace_back(store.completeIndexingQueueItem(job.id, *item, std::nullopt));
      }
    }
    run.rows = queueingRows(library);
    runs.push_back(std::move(run));
  }
  EXPECT_EQ(runs[0].progress, runs[1].progress);
  EXPECT_EQ(runs[0].completions, runs[1].completions);
  EXPECT_EQ(runs[0].rows, runs[1].rows);
}

TEST(LibraryIndexingBatchesTest, AQueueingBatchThatFailsQueuesNothing) {
  ScannerTestLibrary library;
  auto& store = library.store;
  const auto job = store.startIndexingJob({"/photos"});
  const std::vector<ImageFileInfo> files{{"/photos/a.png", 1, 1}, {"/photos/b.png", 2, 2}};
  const auto before = queueingRows(library);
  EXPECT_THROW(store.enqueueIndexingQueueItemBatch(job.id + 1, files, sameSizeAndNearTime),
               SQLiteImageRepositoryV3Error);
  EXPECT_THROW(store.enqueueIndexingQueueItemBatch(
                   job.id, files,
                   [](const std::optional<IndexedImageFileState>&, const ImageFileInfo&) -> bool {
                     throw std::runtime_error("no answer");
                   }),
               std::runtime_error);
  EXPECT_EQ(queueingRows(library), before);
}

TEST(LibraryIndexingBatchesTest, ABurstIsClaimedInTheOrderOfSingleClaims) {
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

TEST(LibraryIndexingBatchesTest, StatesComeInTheOrderAskedAcrossStatements) {
  ScannerTestLibrary library;
  std::vector<std::string> stored;
  for (int i = 0; i < 5; ++i) stored.push_back(library.writePNG("s" + std::to_string(i) + ".png"));
  library.scanner().scan({library.root()}, {}, {});

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

TEST(LibraryIndexingBatchesTest, CompletingTogetherCountsAsCompletingOneAfterAnother) {
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

TEST(LibraryIndexingBatchesTest, ABatchEndsAtEvery500thProcessedItemWithTheLogCheckpointed) {
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
