#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <utility>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/library_rows.h"
#include "database/support/recording_options.h"
#include "database/support/repository_connection.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::insertMediaFile;

class ScanBookkeepingTest : public ::testing::Test {
 protected:
  SQLiteImageRepositoryV3& repo() { return repository; }
  std::string column(const std::string& path, const std::string& name) {
    return testing::mediaFileColumn(repository, path, name);
  }

  testing::TemporaryFolder directory;
  SQLiteImageRepositoryV3 repository{directory.file(kLibraryDatabaseFileName)};
};

TEST_F(ScanBookkeepingTest, IndexedFileStateReadsWhatIsStoredMissingOrNot) {
  insertMediaFile(repo(), {.path = "/p/a.png",
                           .fileSize = 7,
                           .modificationTime = 12.5,
                           .missing = true,
                           .projectionRevision = 0});
  EXPECT_EQ(repo().indexedFileState("/p/./a.png"), (IndexedImageFileState{{"/p/a.png", 7, 12.5}, 0, true}));
  EXPECT_EQ(repo().indexedFileState("/p/b.png"), std::nullopt);
}

TEST_F(ScanBookkeepingTest, ReprojectionIsNeededForLiveFilesOfAnotherRevisionOnly) {
  insertMediaFile(repo(), {.path = "/old/missing.png", .missing = true, .projectionRevision = 0});
  insertMediaFile(repo(), {.path = "/new/a.png", .projectionRevision = 1});
  insertMediaFile(repo(), {.path = "/stale/a.png", .projectionRevision = 0});
  const struct {
    std::vector<std::string> paths;
    bool expected;
  } cases[] = {
      {{}, false},       {{""}, false},       {{"/old"}, false},
      {{"/new"}, false}, {{"/stale/"}, true}, {{"/new", "/stale"}, true},
      {{"/sta"}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(repo().hasFilesNeedingReprojection(c.paths), c.expected) << ::testing::PrintToString(c.paths);
  }
}

TEST(ScanBookkeeping, TheRevisionCheckReadsOnlyFilesOfAnotherRevision) {
  testing::TemporaryFolder directory;
  platform::ManualClock clock{1'800'000'000.0};
  std::vector<std::string> statements;
  SQLiteImageRepositoryV3 repository{directory.file(kLibraryDatabaseFileName),
                                     testing::recordingOptions(clock, statements)};
  for (int i = 0; i < 50; ++i) insertMediaFile(repository, {.path = "/p/" + std::to_string(i) + ".png"});
  statements.clear();
  EXPECT_FALSE(repository.hasFilesNeedingReprojection({"/p"}));
  ASSERT_EQ(statements.size(), 1u);

  auto& connection = testing::connectionOf(repository);
  auto guard = connection.lock();
  const std::string plan = connection.query("EXPLAIN QUERY PLAN " + statements.front(),
                                            {1, 1, "/p", "/p/", "/p/"}, [](SQLiteRows& rows) {
                                              std::string text;
                                              while (rows.next()) text += rows.text(3) + "\n";
                                              return text;
                                            });
  EXPECT_EQ(plan.find("SCAN"), std::string::npos) << plan;
  EXPECT_NE(plan.find("idx_media_files_projection_revision (projection_revision<?)"), std::string::npos)
      << plan;
  EXPECT_NE(plan.find("idx_media_files_projection_revision (projection_revision>?)"), std::string::npos)
      << plan;
}

TEST_F(ScanBookkeepingTest, ObservingAnUnchangedFileKeepsItsKeyAndHash) {
  insertMediaFile(repo(), {.path = "/p/a.png",
                           .fileSize = 10,
                           .modificationTime = 1700000000.123456,
                           .missing = true,
                           .contentSHA256 = "aa",
                           .thumbnailKey = "/t/a.jpg"});
  repo().markObserved({"/p/a.png", 10, 1700000000.123456}, 9);
  EXPECT_EQ(column("/p/a.png", "content_sha256"), "aa");
  EXPECT_EQ(column("/p/a.png", "thumbnail_key"), "/t/a.jpg");
  EXPECT_EQ(column("/p/a.png", "missing"), "0");
  EXPECT_EQ(column("/p/a.png", "last_seen_indexing_job_id"), "9");

  // A modification time that differs in the last fraction of a second is a change.
  repo().markObserved({"/p/a.png", 10, 1700000000.1234562}, 10);
  EXPECT_EQ(column("/p/a.png", "content_sha256"), "NULL");
  EXPECT_EQ(column("/p/a.png", "thumbnail_key"), "NULL");
  EXPECT_EQ(repo().indexedFileState("/p/a.png")->fileInfo.modificationDate, 1700000000.1234562);

  EXPECT_NO_THROW(repo().markObserved({"/p/none.png", 1, 1}, 10));
}

TEST_F(ScanBookkeepingTest, AFileThatFailedCountsAsSeenAndProjected) {
  insertMediaFile(repo(), {.path = "/p/a.png", .missing = true, .projectionRevision = 0});
  repo().markSeenAfterFailure("/p/a.png/", 4);
  EXPECT_EQ(column("/p/a.png", "missing"), "0");
  EXPECT_EQ(column("/p/a.png", "last_seen_indexing_job_id"), "4");
  EXPECT_EQ(column("/p/a.png", "projection_revision"), "1");
}

// Where a file with some content may have come from: present copies, and missing records that a
// file did not take over since they were last seen (nor the program trashed), from any scan.
TEST_F(ScanBookkeepingTest, ContentPlacesAreCopiesAndMissingRecordsNoFileTookOver) {
  insertMediaFile(repo(), {.path = "/x/live.png", .contentSHA256 = "h"});
  insertMediaFile(repo(), {.path = "/x/self.png", .contentSHA256 = "h"});
  insertMediaFile(repo(), {.path = "/x/other.png", .missing = true, .contentSHA256 = "g"});
  insertMediaFile(repo(),
                  {.path = "/y/long ago.png", .missing = true, .contentSHA256 = "h", .lastSeenJobID = 1});
  auto& db = testing::connectionOf(repo());
  // Last seen by job 7: taken over then, or taken over when job 5 had seen it and seen again since.
  for (const auto& [path, seenWhenTakenOver] :
       {std::pair{"/x/taken over.png", 7}, {"/x/seen again.png", 5}}) {
    const std::int64_t id =
        insertMediaFile(repo(), {.path = path, .missing = true, .contentSHA256 = "h", .lastSeenJobID = 7});
    db.execute("INSERT INTO relocated_media_files VALUES (?, ?)", {id, seenWhenTakenOver});
  }
  db.execute("INSERT INTO trashed_media_files VALUES (?, 0)",
             {insertMediaFile(repo(), {.path = "/x/trashed.png", .missing = true, .contentSHA256 = "h"})});
  EXPECT_EQ(repo().contentPlaces("h", "/x/self.png"),
            (std::vector<ContentPlace>{
                {"/x/live.png", false}, {"/x/seen again.png", true}, {"/y/long ago.png", true}}));
}

TEST_F(ScanBookkeepingTest, FilesUnderTheRootsThatTheJobDidNotSeeBecomeMissing) {
  insertMediaFile(repo(), {.path = "/x/a/1.png", .lastSeenJobID = 3});
  insertMediaFile(repo(), {.path = "/x/a/b/2.png", .lastSeenJobID = 2});
  insertMediaFile(repo(), {.path = "/x/a/never.png"});
  insertMediaFile(repo(), {.path = "/x/ab.png", .lastSeenJobID = 2});
  insertMediaFile(repo(), {.path = "/y/c.png"});
  repo().markMissingIfNotSeen(3, {"/x/a", "/y/"});
  EXPECT_EQ(column("/x/a/1.png", "missing"), "0");
  EXPECT_EQ(column("/x/a/b/2.png", "missing"), "1");
  EXPECT_EQ(column("/x/a/never.png", "missing"), "1");
  EXPECT_EQ(column("/x/ab.png", "missing"), "0");
  EXPECT_EQ(column("/y/c.png", "missing"), "1");
  repo().markMissingIfNotSeen(3, {});  // nothing to mark
}

TEST_F(ScanBookkeepingTest, FolderListsLongerThanOneStatementMayBindAreChunked) {
  insertMediaFile(repo(), {.path = "/x/a/1.png", .projectionRevision = 1, .lastSeenJobID = 3});
  insertMediaFile(repo(), {.path = "/x/b/2.png", .projectionRevision = 0, .lastSeenJobID = 2});
  insertMediaFile(repo(), {.path = "/x/c/3.png", .projectionRevision = 1, .lastSeenJobID = 2});
  // No statement of the library binds more than one list of 400 values and a few scalars.
  sqlite3_limit(lorvex::testing::connectionOf(repo()).handle(), SQLITE_LIMIT_VARIABLE_NUMBER, 405);
  std::vector<std::string> folders;
  for (int i = 0; i < 1000; ++i) folders.push_back("/nowhere/" + std::to_string(i));
  folders.push_back("/x/b");
  EXPECT_TRUE(repo().hasFilesNeedingReprojection(folders));
  folders.back() = "/x/a";
  EXPECT_FALSE(repo().hasFilesNeedingReprojection(folders));
  folders.push_back("/x/b");
  repo().markMissingIfNotSeen(3, folders);
  EXPECT_EQ(column("/x/a/1.png", "missing"), "0");
  EXPECT_EQ(column("/x/b/2.png", "missing"), "1");
  EXPECT_EQ(column("/x/c/3.png", "missing"), "0");
}

TEST_F(ScanBookkeepingTest, RemovedFoldersKeepThumbnailKeysTrashedFilesLoseThem) {
  insertMediaFile(repo(), {.path = "/r/a.png", .thumbnailKey = "/t/a.jpg"});
  insertMediaFile(repo(), {.path = "/r/sub/b.png", .thumbnailKey = "/t/b.jpg"});
  insertMediaFile(repo(), {.path = "/rx.png", .thumbnailKey = "/t/rx.jpg"});
  insertMediaFile(repo(), {.path = "/t/c.png", .thumbnailKey = "/t/c.jpg"});
  insertMediaFile(repo(), {.path = "/t/already.png", .missing = true, .thumbnailKey = "/t/already.jpg"});

  repo().markMissing({"/r", ""});
  EXPECT_EQ(column("/r/a.png", "missing"), "1");
  EXPECT_EQ(column("/r/sub/b.png", "missing"), "1");
  EXPECT_EQ(column("/r/a.png", "thumbnail_key"), "/t/a.jpg");
  EXPECT_EQ(column("/rx.png", "missing"), "0");

  repo().markTrashedPathsMissing({"/t/c.png", "/t/already.png", "/rx.png/"});
  EXPECT_EQ(column("/t/c.png", "missing"), "1");
  EXPECT_EQ(column("/t/c.png", "thumbnail_key"), "NULL");
  EXPECT_EQ(column("/rx.png", "thumbnail_key"), "NULL");
  EXPECT_EQ(column("/t/already.png", "thumbnail_key"), "/t/already.jpg");  // not selected: already missing
}

TEST(OwningRootPathTest, TheLongestOwningRootWins) {
  const std::vector<std::string> roots{"/p", "/p/q", "/s/", "/s"};
  const struct {
    const char* path;
    std::optional<std::string> owner;
  } cases[] = {
      {"/p/q/r.png", "/p/q"}, {"/p/qr.png", "/p"},       {"/p", "/p"},
      {"/s/x.png", "/s"},     {"/pq.png", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SQLiteImageRepositoryV3::owningRootPath(c.path, roots), c.owner) << c.path;
  }
}

}  // namespace
}  // namespace lorvex
