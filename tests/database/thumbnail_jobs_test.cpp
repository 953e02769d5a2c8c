#include <gtest/gtest.h>

#include <filesystem>

#include "database/internal/row_mappers.h"
#include "database/sqlite_image_repository.h"
#include "database/support/library_rows.h"
#include "database/support/repository_connection.h"
#include "database/support/repository_fixture.h"

namespace lorvex {
namespace {

using testing::insertMediaFile;
using testing::MediaFileRow;
using Priority = ThumbnailJobPriority;

constexpr double kNow = 1'800'000'000.0;

class ThumbnailJobsTest : public testing::RepositoryFixture {
 protected:
  ThumbnailJobsTest() : RepositoryFixture(kNow) {}

  std::string column(const std::string& path, const std::string& name) {
    return testing::mediaFileColumn(repo(), path, name);
  }
  std::string job(const std::string& path, const std::string& name) {
    auto& db = lorvex::testing::connectionOf(repo());
    auto guard = db.lock();
    return db.query("SELECT CAST(thumbnail_jobs." + name +
                        " AS TEXT) FROM thumbnail_jobs JOIN media_files ON media_files.id = media_file_id "
                        "WHERE absolute_path = ?",
                    {path}, [](SQLiteRows& rows) {
                      if (!rows.next()) return std::string("no job");
                      return rows.isNull(0) ? std::string("NULL") : rows.text(0);
                    });
  }
  std::vector<std::string> claimAll(double now) {
    std::vector<std::string> paths;
    while (const auto claimed = repo().claimNextThumbnailJob(now)) paths.push_back(claimed->path);
    return paths;
  }
};

TEST_F(ThumbnailJobsTest, OnlyLiveImagesWithoutAThumbnailGetJobs) {
  insertMediaFile(repo(), {.path = "/p/plain.png"});
  insertMediaFile(repo(), {.path = "/p/missing.png", .missing = true});
  insertMediaFile(repo(), {.path = "/p/has-key.png", .thumbnailKey = "/t/k.jpg"});
  insertMediaFile(repo(), {.path = "/p/no-properties.png", .withImageProperties = false});
  repo().enqueueMissingThumbnailJobs(Priority::background);
  EXPECT_EQ(job("/p/plain.png", "status"), "pending");
  EXPECT_EQ(job("/p/plain.png", "retry_count"), "0");
  for (const char* path : {"/p/missing.png", "/p/has-key.png", "/p/no-properties.png"}) {
    EXPECT_EQ(job(path, "status"), "no job") << path;
  }
}

TEST_F(ThumbnailJobsTest, ClaimsGoByPriorityThenNewestFileThenPath) {
  insertMediaFile(repo(), {.path = "/p/old.png", .modificationTime = 100});
  insertMediaFile(repo(), {.path = "/p/new-b.png", .modificationTime = 200});
  insertMediaFile(repo(), {.path = "/p/new-a.png", .modificationTime = 200});
  insertMediaFile(repo(), {.path = "/p/visible.png", .modificationTime = 50});
  repo().enqueueMissingThumbnailJobs(Priority::background);
  repo().enqueueThumbnailJobs({"/p/./visible.png", "/p/unknown.png"}, Priority::visible);

  const auto first = repo().claimNextThumbnailJob(kNow);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->path, "/p/visible.png");
  EXPECT_EQ(first->priority, Priority::visible);
  EXPECT_EQ(first->fileInfo, (ImageFileInfo{"/p/visible.png", 100, 50}));
  EXPECT_EQ(job("/p/visible.png", "status"), "processing");
  EXPECT_EQ(claimAll(kNow), (std::vector<std::string>{"/p/new-a.png", "/p/new-b.png", "/p/old.png"}));
}

TEST_F(ThumbnailJobsTest, JobsWaitForTheirRetryTimeAndOnlyForTheirFilesVersion) {
  insertMediaFile(repo(), {.path = "/p/a.png"});
  insertMediaFile(repo(), {.path = "/p/changed.png"});
  insertMediaFile(repo(), {.path = "/p/gone.png"});
  repo().enqueueMissingThumbnailJobs(Priority::background);
  exec(
      "UPDATE media_files SET file_size = 5 WHERE absolute_path = '/p/changed.png';"
      "UPDATE media_files SET missing = 1 WHERE absolute_path = '/p/gone.png';");

  const auto claimed = repo().claimNextThumbnailJob(kNow);
  ASSERT_TRUE(claimed);
  EXPECT_EQ(claimed->path, "/p/a.png");
  EXPECT_FALSE(repo().claimNextThumbnailJob(kNow));

  const double retryAt = kNow + thumbnailRetryDelay(claimed->retryCount);
  repo().failThumbnailJob(*claimed, "decode failed", retryAt);
  EXPECT_EQ(job("/p/a.png", "retry_count"), "1");
  EXPECT_EQ(job("/p/a.png", "last_error"), "decode failed");
  EXPECT_FALSE(repo().claimNextThumbnailJob(retryAt - 1));
  const auto retried = repo().claimNextThumbnailJob(retryAt);
  ASSERT_TRUE(retried);
  EXPECT_EQ(retried->retryCount, 1);
  EXPECT_EQ(retried->lastError, "decode failed");
  EXPECT_EQ(retried->nextRetryAt, retryAt);
}

TEST_F(ThumbnailJobsTest, FailedJobsAreListedWithTheirLastErrorInPathOrder) {
  for (const char* path : {"/p/c.png", "/p/a.png", "/p/b.png", "/p/ok.png"})
    insertMediaFile(repo(), {.path = path});
  repo().enqueueMissingThumbnailJobs(Priority::background);
  EXPECT_TRUE(repo().failedThumbnailJobs().empty());
  std::vector<ThumbnailJobRecord> claimed;
  while (const auto job = repo().claimNextThumbnailJob(kNow)) claimed.push_back(*job);
  ASSERT_EQ(claimed.size(), 4u);
  for (const auto& job : claimed) {
    if (job.path == "/p/ok.png") {
      repo().completeThumbnailJob(job, "/t/ok.jpg");
    } else {
      repo().failThumbnailJob(job, "cannot decode " + job.path, kNow + 60);
    }
  }
  // A failed job claimed again still carries its last error until it is completed.
  const auto retried = repo().claimNextThumbnailJob(kNow + 60);
  ASSERT_TRUE(retried);
  repo().completeThumbnailJob(*retried, "/t/k.jpg");

  std::vector<std::pair<std::string, std::optional<std::string>>> listed;
  for (const auto& job : repo().failedThumbnailJobs()) listed.emplace_back(job.path, job.lastError);
  std::vector<std::pair<std::string, std::optional<std::string>>> expected;
  for (const char* path : {"/p/a.png", "/p/b.png", "/p/c.png"}) {
    if (path != retried->path) expected.emplace_back(path, "cannot decode " + std::string(path));
  }
  EXPECT_EQ(listed, expected);
}

TEST_F(ThumbnailJobsTest, EnqueueingKeepsAFailedJobsStateUnlessTheFileChanged) {
  insertMediaFile(repo(), {.path = "/p/a.png"});
  repo().enqueueMissingThumbnailJobs(Priority::background);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto claimed = repo().claimNextThumbnailJob(kNow + 10'000.0 * attempt);
    ASSERT_TRUE(claimed);
    repo().failThumbnailJob(*claimed, "error " + std::to_string(attempt), kNow + 5000);
  }
  repo().enqueueThumbnailJobs({"/p/a.png"}, Priority::visible);
  EXPECT_EQ(job("/p/a.png", "retry_count"), "2");
  EXPECT_EQ(job("/p/a.png", "last_error"), "error 1");
  EXPECT_EQ(job("/p/a.png", "next_retry_at"), "1800005000.0");
  EXPECT_EQ(job("/p/a.png", "priority"), "100");
  repo().enqueueMissingThumbnailJobs(Priority::background);
  EXPECT_EQ(job("/p/a.png", "priority"), "100");  // never lowered

  exec("UPDATE media_files SET modification_time = modification_time + 0.5;");
  repo().enqueueMissingThumbnailJobs(Priority::background);
  EXPECT_EQ(job("/p/a.png", "retry_count"), "0");
  EXPECT_EQ(job("/p/a.png", "last_error"), "NULL");
  EXPECT_EQ(job("/p/a.png", "next_retry_at"), "NULL");
  EXPECT_EQ(job("/p/a.png", "status"), "pending");
}

TEST_F(ThumbnailJobsTest, CompletionStoresTheKeyOnlyForTheClaimedVersion) {
  insertMediaFile(repo(), {.path = "/p/a.png"});
  insertMediaFile(repo(), {.path = "/p/b.png"});
  repo().enqueueMissingThumbnailJobs(Priority::background);
  const auto a = repo().claimNextThumbnailJob(kNow);
  const auto b = repo().claimNextThumbnailJob(kNow);
  ASSERT_TRUE(a && b);
  exec("UPDATE media_files SET modification_time = modification_time + 0.001 WHERE absolute_path = '" +
       b->path + "';");
  repo().completeThumbnailJob(*a, "/cache/Thumbnails/a.jpg");
  repo().completeThumbnailJob(*b, "/cache/Thumbnails/b.jpg");
  EXPECT_EQ(column(a->path, "thumbnail_key"), "/cache/Thumbnails/a.jpg");
  EXPECT_EQ(column(b->path, "thumbnail_key"), "NULL");
  EXPECT_EQ(job(a->path, "id"), "no job");
  EXPECT_EQ(job(b->path, "id"), "no job");
  // The changed file gets a new job from the next enqueue, because it still has no key.
  repo().enqueueMissingThumbnailJobs(Priority::background);
  EXPECT_EQ(job(b->path, "status"), "pending");
  EXPECT_EQ(job(a->path, "status"), "no job");
}

TEST_F(ThumbnailJobsTest, JobsLeftProcessingReturnToPendingWhenTheLibraryOpens) {
  insertMediaFile(repo(), {.path = "/p/a.png"});
  repo().enqueueMissingThumbnailJobs(Priority::background);
  ASSERT_TRUE(repo().claimNextThumbnailJob(kNow));
  EXPECT_FALSE(repo().claimNextThumbnailJob(kNow));
  open();
  const auto claimed = repo().claimNextThumbnailJob(kNow);
  ASSERT_TRUE(claimed);
  EXPECT_EQ(claimed->path, "/p/a.png");
}

TEST_F(ThumbnailJobsTest, KeysAreListedForLiveImagesAndClearedByCacheFileName) {
  insertMediaFile(repo(), {.path = "/p/a.png", .thumbnailKey = "/cache/Thumbnails/abc.jpg"});
  insertMediaFile(repo(), {.path = "/p/b.png", .thumbnailKey = "/cache/Thumbnails/abcd.jpg"});
  insertMediaFile(repo(), {.path = "/p/c.png", .missing = true, .thumbnailKey = "/cache/Thumbnails/c.jpg"});
  insertMediaFile(repo(), {.path = "/p/d.png", .thumbnailKey = "/cache/Thumbnails/abc.jpg"});
  EXPECT_EQ(repo().liveThumbnailKeys(),
            (std::set<std::string>{"/cache/Thumbnails/abc.jpg", "/cache/Thumbnails/abcd.jpg"}));

  statements.clear();
  repo().clearThumbnailKeys({});
  EXPECT_TRUE(statements.empty());

  repo().clearThumbnailKeys({"abc.jpg", "c.jpg"});
  EXPECT_EQ(column("/p/a.png", "thumbnail_key"), "NULL");
  EXPECT_EQ(column("/p/d.png", "thumbnail_key"), "NULL");
  EXPECT_EQ(column("/p/c.png", "thumbnail_key"), "NULL");
  EXPECT_EQ(column("/p/b.png", "thumbnail_key"), "/cache/Thumbnails/abcd.jpg");
}

TEST_F(ThumbnailJobsTest, KeysAreClearedInStatementsOfAtMostFiveHundredIDs) {
  std::vector<std::int64_t> ids;
  for (int i = 0; i < 1001; ++i) {
    ids.push_back(insertMediaFile(repo(), {.path = "/p/" + std::to_string(i), .thumbnailKey = "k"}));
  }
  statements.clear();
  lorvex::testing::connectionOf(repo()).performLockedTransaction(
      [&] { repo().clearThumbnailKeysForMediaFiles(ids); });
  std::size_t updates = 0;
  for (const auto& sql : statements) updates += sql.starts_with("UPDATE image_properties") ? 1 : 0;
  EXPECT_EQ(updates, 3u);
  EXPECT_TRUE(repo().liveThumbnailKeys().empty());
}

}  // namespace
}  // namespace lorvex
