#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "database/internal/row_mappers.h"
#include "database/sqlite_image_repository.h"
#include "database/support/faulty_vfs.h"
#include "database/support/repository_connection.h"
#include "database/support/repository_fixture.h"
#include "support/library_file_name.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::libraryFileName;

using Error = SQLiteImageRepositoryV3Error;
using Status = IndexingQueueItemStatus;

class IndexingJobsTest : public testing::RepositoryFixture {
 protected:
  IndexingJobsTest() : RepositoryFixture(1'700'000'000.0) {}

  ImageLibraryIndexingProgress progress(std::int64_t jobID) { return repo().indexingJob(jobID).progress; }
  // The counters a full recount of the queue gives.
  IndexingQueueCounterDeltas recount(std::int64_t jobID) {
    auto& db = lorvex::testing::connectionOf(repo());
    auto guard = db.lock();
    return db.query(
        "SELECT count(*), total(status IN ('indexed', 'failed')), total(status = 'indexed'), "
        "total(status = 'failed' OR failure_message IS NOT NULL) FROM indexing_queue_items WHERE job_id = ?",
        {jobID}, [](SQLiteRows& rows) {
          rows.next();
          return IndexingQueueCounterDeltas{rows.int64(0), rows.int64(1), rows.int64(2), rows.int64(3)};
        });
  }
  IndexingQueueCounterDeltas counters(std::int64_t jobID) {
    const auto p = progress(jobID);
    return {p.totalCount, p.processedCount, p.indexedCount, p.failedCount};
  }
  // How many queue items the job has.
  std::int64_t queued(std::int64_t jobID) {
    auto& db = lorvex::testing::connectionOf(repo());
    auto guard = db.lock();
    return db.query("SELECT COUNT(*) FROM indexing_queue_items WHERE job_id = ?", {jobID}, rows::firstInt64)
        .value_or(-1);
  }
};

TEST_F(IndexingJobsTest, AJobRunsFromStartToSummary) {
  const auto job = repo().startIndexingJob({"/lib/b/", "/lib/./a", "/lib/b", ""});
  EXPECT_EQ(job.rootPaths, (std::vector<std::string>{"/lib/b", "/lib/a"}));
  EXPECT_EQ(job.status, IndexingJobStatus::running);
  EXPECT_EQ(job.progress,
            (ImageLibraryIndexingProgress{ImageLibraryIndexingPhase::indexing, 0, 0, 0, 0, {}}));
  EXPECT_EQ(lorvex::testing::connectionOf(repo()).withLock([&] {
    return lorvex::testing::connectionOf(repo()).query(
        "SELECT group_concat(path, ',') FROM (SELECT path FROM library_roots ORDER BY id)", {},
        rows::firstText);
  }),
            "/lib/b,/lib/a");

  repo().enqueueIndexingQueueItems(job.id, {"/lib/a/old.png", 1, 100.0});
  repo().enqueueIndexingQueueItems(job.id, {"/lib/b/new-2.png", 2, 300.0});
  repo().enqueueIndexingQueueItems(job.id, {"/lib/b/./new-1.png", 3, 300.0});
  EXPECT_EQ(progress(job.id).totalCount, 3);

  // Newest first, equal times by path.
  std::vector<std::string> claimed;
  const auto first = repo().beginNextQueueItem(job.id);
  ASSERT_TRUE(first);
  EXPECT_EQ(*first,
            (IndexingQueueItem{first->id, job.id, "/lib/b/new-1.png", 3, 300.0, Status::processing, {}}));
  EXPECT_EQ(progress(job.id).currentPath, "/lib/b/new-1.png");
  auto after = repo().completeIndexingQueueItem(job.id, first->id, std::nullopt);
  EXPECT_EQ(after, (ImageLibraryIndexingProgress{ImageLibraryIndexingPhase::indexing, 1, 3, 1, 0, {}}));

  const auto second = repo().beginNextQueueItem(job.id);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->path, "/lib/b/new-2.png");
  after = repo().completeIndexingQueueItem(job.id, second->id, "Permission denied");
  EXPECT_EQ(after, (ImageLibraryIndexingProgress{ImageLibraryIndexingPhase::indexing, 2, 3, 2, 1, {}}));
  EXPECT_EQ(repo().indexingQueueItem(second->id, job.id).status, Status::indexed);

  const auto third = repo().beginNextQueueItem(job.id);
  ASSERT_TRUE(third);
  repo().completeIndexingQueueItem(job.id, third->id, "PNG metadata could not be parsed");
  EXPECT_FALSE(repo().beginNextQueueItem(job.id));

  // A failed status written by another version, without a message.
  exec("INSERT INTO indexing_queue_items (job_id, path, status, created_at, updated_at) VALUES (" +
       std::to_string(job.id) + ", '/lib/a/0.png', 'failed', 0, 0);");

  clock.advance(5);
  const auto summary = repo().completeIndexingJob(job.id);
  EXPECT_EQ(summary.scannedFileCount, 4);
  EXPECT_EQ(summary.indexedImageCount, 3);
  EXPECT_EQ(summary.failedFileCount, 3);
  EXPECT_EQ(summary.failures,
            (std::vector<ImageLibraryScanFailure>{
                ImageLibraryScanFailure::classified("/lib/a/0.png", "Unknown indexing failure"),
                ImageLibraryScanFailure::classified("/lib/a/old.png", "PNG metadata could not be parsed"),
                ImageLibraryScanFailure::classified("/lib/b/new-2.png", "Permission denied"),
            }));
  EXPECT_EQ(summary.failures[2].kind, ImageLibraryScanFailure::Kind::permission);
  EXPECT_EQ(repo().indexingJob(job.id).status, IndexingJobStatus::completed);
  EXPECT_FALSE(repo().latestIndexingJobID());
  // The planner's statistics were refreshed after the run.
  EXPECT_EQ(lorvex::testing::connectionOf(repo()).withLock([&] {
    return lorvex::testing::connectionOf(repo()).query(
        "SELECT count(*) FROM sqlite_master WHERE name = 'sqlite_stat1'", {}, rows::firstInt64OrZero);
  }),
            1);
}

TEST_F(IndexingJobsTest, EnqueueingAgainKeepsUnchangedItemsAndResetsChangedOnes) {
  const auto job = repo().startIndexingJob({"/lib"});
  repo().enqueueIndexingQueueItems(job.id, {"/lib/a.png", 10, 5.25});
  const auto item = repo().beginNextQueueItem(job.id);
  repo().completeIndexingQueueItem(job.id, item->id, "broken");
  const auto finished = repo().indexingQueueItem(item->id, job.id);

  clock.advance(1);
  repo().enqueueIndexingQueueItems(job.id, {"/lib/a.png", 10, 5.25});
  EXPECT_EQ(repo().indexingQueueItem(item->id, job.id), finished);
  EXPECT_EQ(counters(job.id), (IndexingQueueCounterDeltas{1, 1, 1, 1}));

  repo().enqueueIndexingQueueItems(job.id, {"/lib/a.png", 10, 5.2500001});
  EXPECT_EQ(repo().indexingQueueItem(item->id, job.id),
            (IndexingQueueItem{item->id, job.id, "/lib/a.png", 10, 5.2500001, Status::pending, {}}));
  EXPECT_EQ(counters(job.id), (IndexingQueueCounterDeltas{1, 0, 0, 0}));

  // A stored size that was never recorded always counts as changed.
  exec("UPDATE indexing_queue_items SET file_size = NULL, status = 'indexed';");
  repo().enqueueIndexingQueueItems(job.id, {"/lib/a.png", 10, 5.2500001});
  EXPECT_EQ(repo().indexingQueueItem(item->id, job.id).status, Status::pending);
  EXPECT_EQ(repo().indexingQueueItem(item->id, job.id).fileSize, 10);
}

TEST_F(IndexingJobsTest, CompletingAgainMovesOnlyTheFailureCount) {
  const auto job = repo().startIndexingJob({"/lib"});
  repo().enqueueIndexingQueueItems(job.id, {"/lib/a.png", 1, 1});
  const auto item = repo().beginNextQueueItem(job.id);
  EXPECT_EQ(repo().completeIndexingQueueItem(job.id, item->id, "bad").failedCount, 1);
  const auto again = repo().completeIndexingQueueItem(job.id, item->id, std::nullopt);
  EXPECT_EQ(again, (ImageLibraryIndexingProgress{ImageLibraryIndexingPhase::indexing, 1, 1, 1, 0, {}}));
}

TEST_F(IndexingJobsTest, CountersNeverGoBelowZero) {
  const auto job = repo().startIndexingJob({"/lib"});
  repo().enqueueIndexingQueueItems(job.id, {"/lib/a.png", 1, 1});
  const auto item = repo().beginNextQueueItem(job.id);
  repo().completeIndexingQueueItem(job.id, item->id, "bad");
  exec("UPDATE indexing_jobs SET processed_count = 0, indexed_count = 0, failed_count = 0;");
  repo().enqueueIndexingQueueItems(job.id, {"/lib/a.png", 2, 1});
  EXPECT_EQ(counters(job.id), (IndexingQueueCounterDeltas{1, 0, 0, 0}));
}

TEST_F(IndexingJobsTest, CountersEqualARecountAfterAnyMixOfOperations) {
  const auto job = repo().startIndexingJob({"/lib"});
  std::mt19937 random(7);
  for (int step = 0; step < 300; ++step) {
    const int operation = static_cast<int>(random() % 3);
    const std::string path = "/lib/" + std::to_string(random() % 20) + ".png";
    if (operation == 0) {
      repo().enqueueIndexingQueueItems(job.id, {path, static_cast<std::int64_t>(random() % 2), 1.0});
    } else if (const auto item = repo().beginNextQueueItem(job.id)) {
      const bool fails = random() % 3 == 0;
      repo().completeIndexingQueueItem(job.id, item->id,
                                       fails ? std::optional<std::string>("x") : std::nullopt);
    }
    ASSERT_EQ(counters(job.id), recount(job.id)) << "after step " << step;
  }
}

TEST_F(IndexingJobsTest, AnInterruptedJobIsResumedWithItsItemsBackInTheQueue) {
  EXPECT_FALSE(repo().resumeInterruptedIndexingJob());

  const auto older = repo().startIndexingJob({"/old"});
  const auto job = repo().startIndexingJob({"/lib"});
  exec("UPDATE indexing_jobs SET updated_at = 5;");  // equal times: the larger id is the latest
  repo().enqueueIndexingQueueItems(job.id, {"/lib/a.png", 1, 2});
  repo().enqueueIndexingQueueItems(job.id, {"/lib/b.png", 1, 1});
  const auto a = repo().beginNextQueueItem(job.id);
  repo().completeIndexingQueueItem(job.id, a->id, std::nullopt);
  const auto b = repo().beginNextQueueItem(job.id);
  exec("UPDATE indexing_jobs SET updated_at = 5, total_count = 99;");
  ASSERT_EQ(b->path, "/lib/b.png");

  open();  // the process ended while b was being processed
  const auto resumed = repo().resumeInterruptedIndexingJob();
  ASSERT_TRUE(resumed);
  EXPECT_EQ(resumed->id, job.id);
  EXPECT_NE(resumed->id, older.id);
  EXPECT_EQ(resumed->progress,
            (ImageLibraryIndexingProgress{ImageLibraryIndexingPhase::indexing, 1, 2, 1, 0, {}}));
  EXPECT_EQ(repo().beginNextQueueItem(job.id)->path, "/lib/b.png");
}

TEST_F(IndexingJobsTest, FinishingAJobDropsTheQueuesOfTheJobsFinishedBeforeIt) {
  const auto jobWithTwoFiles = [&] {
    const auto job = repo().startIndexingJob({"/photos"});
    repo().enqueueIndexingQueueItems(job.id, {"/photos/a.png", 1, 1});
    repo().enqueueIndexingQueueItems(job.id, {"/photos/b.png", 2, 2});
    return job.id;
  };
  const std::int64_t first = jobWithTwoFiles();
  const std::int64_t interrupted = jobWithTwoFiles();
  const std::int64_t second = jobWithTwoFiles();
  repo().completeIndexingJob(first);
  EXPECT_EQ(queued(first), 2);
  const auto summary = repo().completeIndexingJob(second);
  EXPECT_EQ(summary.scannedFileCount, 2);
  EXPECT_EQ(queued(first), 0);
  EXPECT_EQ(queued(second), 2);
  EXPECT_EQ(queued(interrupted), 2);         // still running: resumable
  EXPECT_EQ(progress(first).totalCount, 2);  // the finished job itself stays
}

TEST_F(IndexingJobsTest, AJobWalkingAllOfAnOlderRunningJobsRootsClosesIt) {
  struct Case {
    std::vector<std::string> olderRoots;
    std::vector<std::string> walkedRoots;
    bool closed;
  };
  const Case cases[] = {
      {{"/lib"}, {"/lib"}, true},
      {{"/lib/a", "/lib/b/c"}, {"/lib"}, true},
      {{"/lib/a", "/other"}, {"/lib"}, false},  // one root is outside the walk
      {{"/lib"}, {"/lib/a"}, false},            // the walk covers part of it only
      {{"/library"}, {"/lib"}, false},          // a sibling that shares the prefix
      {{"/x", "/lib/./a/"}, {"/x/", "/lib"}, true},
      {{"/lib"}, {}, false},  // a walk of nothing covers nothing
  };
  for (const auto& c : cases) {
    const auto older = repo().startIndexingJob(c.olderRoots);
    const auto finished = repo().startIndexingJob(c.olderRoots);
    repo().completeIndexingJob(finished.id);
    const auto job = repo().startIndexingJob({"/anything"});
    const auto newer = repo().startIndexingJob(c.olderRoots);
    repo().closeIndexingJobsCoveredBy(job.id, c.walkedRoots);
    EXPECT_EQ(repo().indexingJob(older.id).status,
              c.closed ? IndexingJobStatus::completed : IndexingJobStatus::running)
        << c.olderRoots.front() << " walked " << c.walkedRoots.size();
    EXPECT_EQ(repo().indexingJob(job.id).status, IndexingJobStatus::running);
    EXPECT_EQ(repo().indexingJob(newer.id).status, IndexingJobStatus::running);  // only older jobs
    for (const auto id : {older.id, job.id, newer.id}) {
      if (repo().indexingJob(id).status == IndexingJobStatus::running) repo().completeIndexingJob(id);
    }
  }
}

TEST_F(IndexingJobsTest, AClosedJobsQueueGoesWithTheNextCompletionAndItIsNeverResumed) {
  const auto abandoned = repo().startIndexingJob({"/photos/a"});
  repo().enqueueIndexingQueueItems(abandoned.id, {"/photos/a/1.png", 1, 1});
  const auto killed = repo().startIndexingJob({"/photos"});
  repo().enqueueIndexingQueueItems(killed.id, {"/photos/a/1.png", 1, 1});
  repo().enqueueIndexingQueueItems(killed.id, {"/photos/2.png", 1, 1});
  ASSERT_TRUE(repo().beginNextQueueItem(killed.id));

  open();  // the run was killed; the launch resumes the latest job, which walks /photos
  const auto resumed = repo().resumeInterruptedIndexingJob();
  ASSERT_TRUE(resumed);
  ASSERT_EQ(resumed->id, killed.id);
  repo().closeIndexingJobsCoveredBy(resumed->id, resumed->rootPaths);
  EXPECT_EQ(repo().latestIndexingJobID()->id, killed.id);
  EXPECT_EQ(queued(abandoned.id), 1);  // until a job completes
  repo().completeIndexingJob(killed.id);

  EXPECT_EQ(queued(abandoned.id), 0);
  EXPECT_EQ(queued(killed.id), 2);
  EXPECT_FALSE(repo().latestIndexingJobID());
  EXPECT_FALSE(repo().resumeInterruptedIndexingJob());
}

TEST_F(IndexingJobsTest, TheWALIsTruncatedEveryFiveHundredProcessedItems) {
  const auto job = repo().startIndexingJob({"/lib"});
  for (int i = 0; i < 500; ++i) repo().enqueueIndexingQueueItems(job.id, {"/lib/" + std::to_string(i), 1, 1});
  const auto wal = directory.file(libraryFileName("-wal"));
  for (int i = 1; i <= 500; ++i) {
    const auto item = repo().beginNextQueueItem(job.id);
    const auto progress = repo().completeIndexingQueueItem(job.id, item->id, std::nullopt);
    ASSERT_EQ(progress.processedCount, i);
    if (i == 499) {
      EXPECT_GT(std::filesystem::file_size(wal), 0u);
    }
  }
  EXPECT_EQ(std::filesystem::file_size(wal), 0u);
}

TEST_F(IndexingJobsTest, ClaimsAndCompletionsFindTheirItemsByIdInANewLibrary) {
  // A new library has no planner statistics: there the job's index looked narrower than a list of
  // ids, and every statement read the whole queue of the job.
  const auto job = repo().startIndexingJob({"/lib"});
  for (int i = 0; i < 20; ++i)
    repo().enqueueIndexingQueueItems(job.id, {"/lib/" + std::to_string(i) + ".png", i, 100.0 + i});
  statements.clear();
  const auto claimed = repo().beginNextQueueItems(job.id, 10);
  ASSERT_EQ(claimed.size(), 10u);
  std::vector<UnchangedQueueItem> unchanged;
  for (const auto& item : claimed) unchanged.push_back({item.id, {item.path, 0, 0}});
  ASSERT_EQ(repo().completeUnchangedQueueItems(job.id, unchanged).size(), 10u);

  auto& db = lorvex::testing::connectionOf(repo());
  auto guard = db.lock();
  ASSERT_EQ(db.query("SELECT COUNT(*) FROM sqlite_master WHERE name = 'sqlite_stat1'", {}, rows::firstInt64),
            0);
  int checked = 0;
  for (const std::string& sql : statements) {
    if (sql.find("indexing_queue_items") == std::string::npos || sql.find(" id IN (") == std::string::npos)
      continue;
    ++checked;
    const std::string plan = db.query("EXPLAIN QUERY PLAN " + sql, {}, [](SQLiteRows& rows) {
      std::string text;
      while (rows.next()) text += rows.text(3) + "\n";
      return text;
    });
    EXPECT_NE(plan.find("INTEGER PRIMARY KEY"), std::string::npos) << sql << "\n" << plan;
  }
  EXPECT_EQ(checked, 3);  // the claim, the completions' read of the items and their write
}

TEST_F(IndexingJobsTest, StoredTextsReadBackAsTheirCasesOrTheFallbacks) {
  const auto job = repo().startIndexingJob({});
  EXPECT_TRUE(job.rootPaths.empty());
  repo().enqueueIndexingQueueItems(job.id, {"/a.png", 1, 1});
  exec(
      "UPDATE indexing_jobs SET status = 'Completed', root_paths = char(31) || '/x' || char(31) || char(31);"
      "UPDATE indexing_queue_items SET status = 'done';");
  const auto read = repo().indexingJob(job.id);
  EXPECT_EQ(read.status, IndexingJobStatus::running);
  EXPECT_EQ(read.rootPaths, std::vector<std::string>{"/x"});
  EXPECT_EQ(repo().beginNextQueueItem(job.id), std::nullopt);  // "done" is not "pending" in SQL
  EXPECT_EQ(lorvex::testing::connectionOf(repo()).withLock([&] {
    return lorvex::testing::connectionOf(repo()).query("SELECT id FROM indexing_queue_items", {},
                                                       rows::firstInt64OrZero);
  }),
            1);
  EXPECT_EQ(repo().indexingQueueItem(1, job.id).status, Status::pending);
}

TEST_F(IndexingJobsTest, UnknownIdsAreNotFound) {
  const auto expectNotFound = [](auto&& operation, const std::string& what) {
    try {
      operation();
      ADD_FAILURE() << what;
    } catch (const Error& error) {
      EXPECT_EQ(error, Error::recordNotFound(what));
    }
  };
  expectNotFound([&] { repo().indexingJob(7); }, "indexing job 7");
  expectNotFound([&] { repo().indexingQueueItem(17, 3); }, "indexing queue item 17 in job 3");
  expectNotFound([&] { repo().completeIndexingQueueItem(3, 17, std::nullopt); },
                 "indexing queue item 17 in job 3");
}

// A job's completion ends with upkeep of the file (the log's checkpoint, the planner's statistics),
// each long enough for a click to feel: a write that waits for the lock meanwhile goes before it.
TEST(IndexingJobCompletionTest, AWriteThatWaitsGoesBeforeTheUpkeepThatFollowsTheJob) {
  testing::TemporaryFolder folder;
  testing::FaultyVFS vfs;  // counts the writes into the database file: only checkpoints make them
  SQLiteConnection* writer = nullptr;
  std::atomic<bool> armed{false};
  std::thread waiter;
  int checkpointWritesBefore = -1;
  int checkpointWritesSeenByTheWrite = -1;
  SQLiteImageRepositoryV3Options options;
  options.statementObserver = [&](std::string_view sql) {
    // The completion's last statement: the write waits from here on.
    if (!sql.starts_with("DELETE FROM indexing_queue_items") || !armed.exchange(false)) return;
    checkpointWritesBefore = vfs.databaseFileWriteCount();
    waiter = std::thread(
        [&] { writer->withLock([&] { checkpointWritesSeenByTheWrite = vfs.databaseFileWriteCount(); }); });
    while (writer->lockWaiterCount() == 0) std::this_thread::yield();
  };
  SQLiteImageRepositoryV3 repository(folder.file(libraryFileName()), options);
  writer = &lorvex::testing::connectionOf(repository);
  const auto job = repository.startIndexingJob({"/lib"});
  repository.enqueueIndexingQueueItems(job.id, {"/lib/a.png", 1, 1});
  const auto item = repository.beginNextQueueItem(job.id);
  repository.completeIndexingQueueItem(job.id, item->id, std::nullopt);

  armed = true;
  const auto summary = repository.completeIndexingJob(job.id);
  waiter.join();
  EXPECT_EQ(summary.indexedImageCount, 1);
  EXPECT_EQ(checkpointWritesSeenByTheWrite, checkpointWritesBefore) << "the write waited for the checkpoint";
  EXPECT_GT(vfs.databaseFileWriteCount(), checkpointWritesBefore) << "the checkpoint ran after the write";
}

TEST(QueueItemCounterDeltasTest, OneFinishedItemsContribution) {
  const struct {
    Status status;
    bool message;
    IndexingQueueCounterDeltas expected;
  } cases[] = {
      {Status::pending, false, {0, 0, 0, 0}}, {Status::processing, true, {0, 0, 0, 1}},
      {Status::indexed, false, {0, 1, 1, 0}}, {Status::indexed, true, {0, 1, 1, 1}},
      {Status::failed, false, {0, 1, 0, 1}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SQLiteImageRepositoryV3::queueItemCounterDeltas(c.status, c.message), c.expected)
        << rawValue(c.status) << " " << c.message;
  }
}

}  // namespace
}  // namespace lorvex
