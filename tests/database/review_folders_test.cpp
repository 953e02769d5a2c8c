// Folder image counts and the per-folder file-system event checkpoints.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "database/internal/sql_paths.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/database_inspection.h"
#include "database/support/library_rows.h"
#include "database/support/recording_options.h"
#include "database/support/repository_connection.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::insertMediaFile;

class ReviewFoldersTest : public ::testing::Test {
 protected:
  void addFile(const std::string& path, bool missing = false, bool deleteCandidate = false) {
    insertMediaFile(repository, {.path = path, .missing = missing});
    if (deleteCandidate) repository.updateReviewState(path, {false, true, std::nullopt});
  }

  // The counts as the plain substring predicate gives them, for comparison with the range form.
  RegisteredFolderImageCounts substringCounts(const std::string& folder) {
    auto guard = lorvex::testing::connectionOf(repository).lock();
    return lorvex::testing::connectionOf(repository)
        .query(
            "SELECT SUM(CASE WHEN media_files.missing = 0 THEN 1 ELSE 0 END), SUM(CASE WHEN "
            "media_files.missing "
            "= 1 "
            "AND COALESCE(review_states.delete_candidate, 0) = 0 THEN 1 ELSE 0 END) FROM media_files LEFT "
            "JOIN "
            "review_states ON review_states.media_file_id = media_files.id WHERE " +
                sql::pathPrefixPredicate("media_files.absolute_path", 1),
            sql::pathPrefixBindings({folder}), [&](SQLiteRows& rows) {
              rows.next();
              return RegisteredFolderImageCounts{folder, rows.int64(0), rows.int64(1)};
            });
  }

  std::string checkpointRow(const std::string& root) {
    auto guard = lorvex::testing::connectionOf(repository).lock();
    return lorvex::testing::connectionOf(repository)
        .query(
            "SELECT last_event_id, typeof(last_event_id), last_fallback_reason, last_fallback_at, updated_at "
            "FROM "
            "registered_folder_fsevent_states WHERE root_path = ?",
            {root}, [](SQLiteRows& rows) {
              if (!rows.next()) return std::string("<no row>");
              std::string row;
              for (int column = 0; column < 5; ++column) {
                row +=
                    (column > 0 ? "|" : "") + (rows.isNull(column) ? std::string("NULL") : rows.text(column));
              }
              return row;
            });
  }

  void storeRawCheckpoint(const std::string& root, const std::string& valueSQL) {
    lorvex::testing::connectionOf(repository)
        .executeScript(
            "INSERT OR REPLACE INTO registered_folder_fsevent_states (root_path, last_event_id, updated_at) "
            "VALUES ('" +
            root + "', " + valueSQL + ", 0);");
  }

  testing::TemporaryFolder directory;
  platform::ManualClock clock{1'800'000'000.0};
  std::vector<std::string> statements;
  SQLiteImageRepositoryV3 repository{directory.file(kLibraryDatabaseFileName),
                                     testing::recordingOptions(clock, statements)};
};

TEST_F(ReviewFoldersTest, CountsLiveAndMissingFilesAtOrUnderEachFolder) {
  addFile("/a/b/live.png");
  addFile("/a/b/deep/live.png");
  addFile("/a/b/missing.png", true);
  addFile("/a/b/missing-candidate.png", true, true);
  addFile("/a/b/live-candidate.png", false, true);
  addFile("/a/bc/x.png");       // a sibling folder whose name begins with "b"
  addFile("/a/b-x.png", true);  // '-' sorts before '/'
  addFile("/a/b.png");          // '.' sorts before '/'
  addFile("/a/b0/x.png");       // '0' is the byte after '/'
  addFile("/a/b");              // a file named exactly like the folder counts as at it
  addFile("/z/\xC3\xA9.png");   // bytes above ASCII

  const auto counts = repository.folderImageCounts({"/a/b", "/a/b/", "/a/./bc", "", "/nothing", "/a", "/"});
  const std::vector<RegisteredFolderImageCounts> expected = {
      {"/a/b", 4, 1}, {"/a/bc", 1, 0}, {"/nothing", 0, 0}, {"/a", 7, 2}, {"/", 8, 2},
  };
  EXPECT_EQ(counts, expected);
  EXPECT_TRUE(repository.folderImageCounts({}).empty());
  EXPECT_TRUE(repository.folderImageCounts({""}).empty());

  // The range that an index can walk agrees with the plain predicate on every folder.
  for (const std::string folder :
       {"/", "/a", "/a/b", "/a/bc", "/a/b0", "/a/b-x.png", "/a/b/deep", "/z", "/z/\xC3\xA9.png", "/y"}) {
    EXPECT_EQ(repository.folderImageCounts({folder}).at(0), substringCounts(folder)) << folder;
  }
}

TEST_F(ReviewFoldersTest, FolderCountsSeekTheIndexInsteadOfScanningTheLibrary) {
  statements.clear();
  repository.folderImageCounts({"/a/b"});
  ASSERT_EQ(statements.size(), 1u);
  auto guard = lorvex::testing::connectionOf(repository).lock();
  const std::string plan = lorvex::testing::connectionOf(repository)
                               .query("EXPLAIN QUERY PLAN " + statements.front(),
                                      sql::pathRangeBindings("/a/b"), [](SQLiteRows& rows) {
                                        std::string text;
                                        while (rows.next()) text += rows.text(3) + "\n";
                                        return text;
                                      });
  EXPECT_EQ(plan.find("SCAN media_files"), std::string::npos) << plan;
  EXPECT_NE(plan.find("INDEX"), std::string::npos) << plan;
}

TEST_F(ReviewFoldersTest, EventCheckpointsRoundTripAsDecimalText) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (const std::uint64_t id :
       {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{9'223'372'036'854'775'807ULL},
        std::uint64_t{9'223'372'036'854'775'808ULL}, kMax}) {
    repository.saveLastFSEventID({"/roots/one/", "/roots/./two", "/roots/one"}, id);
    const auto checkpoint = repository.lastFSEventID({"/roots/two", "/roots/one"});
    ASSERT_TRUE(checkpoint.has_value()) << id;
    EXPECT_EQ(checkpoint->rootPaths, (std::vector<std::string>{"/roots/two", "/roots/one"}));
    EXPECT_EQ(checkpoint->lastEventID, id);
    EXPECT_EQ(checkpointRow("/roots/one"), std::to_string(id) + "|text|NULL|NULL|1800000000.0");
  }
  EXPECT_EQ(testing::scalar(lorvex::testing::connectionOf(repository),
                            "SELECT count(*) FROM registered_folder_fsevent_states"),
            2);
}

TEST_F(ReviewFoldersTest, TheOldestCheckpointOfAllRootsIsWhereReplayStarts) {
  repository.saveLastFSEventID({"/r/a"}, 120);
  repository.saveLastFSEventID({"/r/b"}, 95);
  EXPECT_EQ(repository.lastFSEventID({"/r/a", "/r/b"}),
            (RegisteredFolderEventCheckpoint{{"/r/a", "/r/b"}, 95}));
  EXPECT_EQ(repository.lastFSEventID({"/r/a", "/r/b", "/r/never"}), std::nullopt);
  EXPECT_EQ(repository.lastFSEventID({}), std::nullopt);
  EXPECT_EQ(repository.lastFSEventID({""}), std::nullopt);

  // A save clears a recorded fallback and moves the time.
  lorvex::testing::connectionOf(repository)
      .executeScript(
          "UPDATE registered_folder_fsevent_states SET last_fallback_reason = 'overflow', last_fallback_at = "
          "5;");
  clock.advance(3);
  repository.saveLastFSEventID({"/r/a"}, 7);
  EXPECT_EQ(checkpointRow("/r/a"), "7|text|NULL|NULL|1800000003.0");
  EXPECT_EQ(checkpointRow("/r/b"), "95|text|overflow|5.0|1800000000.0");

  // Unreadable stored values make the whole checkpoint unusable.
  for (const std::string stored : {"NULL", "''", "'-1'", "'abc'", "' 5'", "'18446744073709551616'"}) {
    storeRawCheckpoint("/r/b", stored);
    EXPECT_EQ(repository.lastFSEventID({"/r/a", "/r/b"}), std::nullopt) << stored;
  }
  storeRawCheckpoint("/r/b", "'+3'");
  EXPECT_EQ(repository.lastFSEventID({"/r/a", "/r/b"}),
            (RegisteredFolderEventCheckpoint{{"/r/a", "/r/b"}, 3}));
}

TEST_F(ReviewFoldersTest, StoredEventIDsDecodeOnlyFromUnsignedDecimalText) {
  const struct {
    std::optional<std::string> stored;
    std::optional<std::uint64_t> expected;
  } cases[] = {
      {std::nullopt, std::nullopt},
      {"", std::nullopt},
      {"0", 0},
      {"007", 7},
      {"+42", 42},
      {"18446744073709551615", std::numeric_limits<std::uint64_t>::max()},
      {"18446744073709551616", std::nullopt},
      {"-1", std::nullopt},
      {"-0", std::nullopt},
      {"+", std::nullopt},
      {"++1", std::nullopt},
      {"+-1", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"1e3", std::nullopt},
      {"0x10", std::nullopt},
      {"12.0", std::nullopt},
      {"\xD9\xA3", std::nullopt},  // ARABIC-INDIC DIGIT THREE
      {std::string("1\0"
                   "2",
                   3),
       std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SQLiteImageRepositoryV3::decodeStoredEventID(c.stored), c.expected)
        << ::testing::PrintToString(c.stored);
  }
}

TEST_F(ReviewFoldersTest, AFailedSaveKeepsEveryRootsCheckpoint) {
  repository.saveLastFSEventID({"/r/a", "/r/b"}, 10);
  lorvex::testing::connectionOf(repository)
      .executeScript(
          "CREATE TEMP TRIGGER fail_b BEFORE UPDATE ON registered_folder_fsevent_states WHEN OLD.root_path = "
          "'/r/b' "
          "BEGIN SELECT RAISE(ABORT, 'injected'); END;");
  EXPECT_THROW(repository.saveLastFSEventID({"/r/a", "/r/b"}, 20), SQLiteImageRepositoryV3Error);
  EXPECT_EQ(repository.lastFSEventID({"/r/a"})->lastEventID, 10u);
  EXPECT_EQ(repository.lastFSEventID({"/r/b"})->lastEventID, 10u);
}

}  // namespace
}  // namespace lorvex
