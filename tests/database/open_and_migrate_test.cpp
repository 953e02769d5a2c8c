#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/database_inspection.h"
#include "database/support/file_contents.h"
#include "support/library_file_name.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::libraryFileName;

using Error = SQLiteImageRepositoryV3Error;
namespace fs = std::filesystem;

// Writes a database file with the raw C API, as an older program or another tool would have.
void makeRawDatabase(const fs::path& file, const std::string& script) {
  sqlite3* database = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &database), SQLITE_OK);
  char* message = nullptr;
  const int result = sqlite3_exec(database, script.c_str(), nullptr, nullptr, &message);
  EXPECT_EQ(result, SQLITE_OK) << (message != nullptr ? message : "");
  sqlite3_free(message);
  sqlite3_close(database);
}

Error openExpectingError(const fs::path& file) {
  try {
    SQLiteImageRepositoryV3 repository(file);
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "the open succeeded";
  return Error::openFailed("");
}

class OpenAndMigrateTest : public ::testing::Test {
 protected:
  testing::TemporaryFolder directory;
  fs::path file = directory.file(kLibraryDatabaseFileName);
};

TEST_F(OpenAndMigrateTest, ANewerVersionIsRefusedWithoutTouchingTheFile) {
  makeRawDatabase(file, "CREATE TABLE t (a); PRAGMA user_version = 5;");
  const std::string before = testing::readFile(file);

  EXPECT_EQ(openExpectingError(file), Error::newerSchemaVersion(5));
  EXPECT_EQ(testing::readFile(file), before);
  EXPECT_EQ(testing::folderListing(directory.path()), std::set<std::string>{libraryFileName()});
}

TEST_F(OpenAndMigrateTest, IncompatibleLayoutsAreReportedWithTheVersionTheyCarry) {
  const struct {
    const char* name;
    std::string script;
    std::int64_t reportedVersion;
  } cases[] = {
      {"version 3", "CREATE TABLE t (a); PRAGMA user_version = 3;", 3},
      {"version 1", "PRAGMA user_version = 1;", 1},
      {"negative version", "PRAGMA user_version = -1;", -1},
      {"legacy column", "CREATE TABLE library_roots (id INTEGER PRIMARY KEY, path TEXT, bookmark_data BLOB);",
       4},
      {"legacy table", "CREATE TABLE saved_filter_items (id INTEGER);", 4},
      {"missing required column",
       "CREATE TABLE media_files (id INTEGER PRIMARY KEY, root_id, absolute_path, modification_time, "
       "content_sha256, projection_revision, basename_normalized, missing);",
       4},
      {"table the indexes cannot cover", "CREATE TABLE models (id INTEGER PRIMARY KEY, raw_source TEXT);", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TemporaryFolder folder;
    const auto path = folder.file(kLibraryDatabaseFileName);
    makeRawDatabase(path, c.script);
    EXPECT_EQ(openExpectingError(path), Error::incompatibleSchemaVersion(c.reportedVersion));
    // No connection stays open: the file can be moved and a fresh library created in its place.
    SQLiteImageRepositoryV3::moveAsidePreV4Database(path, c.reportedVersion, "100");
    EXPECT_NO_THROW(SQLiteImageRepositoryV3{path});
    EXPECT_TRUE(
        fs::exists(folder.file(libraryFileName(".pre-v4-v" + std::to_string(c.reportedVersion) + "-100"))));
  }
}

TEST_F(OpenAndMigrateTest, AFileThatIsNotADatabaseIsReportedLikeAnIncompatibleLayout) {
  testing::writeFile(file, std::string(4096, 'x'));
  EXPECT_EQ(openExpectingError(file), Error::incompatibleSchemaVersion(0));
  EXPECT_EQ(testing::readFile(file), std::string(4096, 'x'));
}

TEST_F(OpenAndMigrateTest, ACorruptDatabaseIsReportedLikeAnIncompatibleLayout) {
  makeRawDatabase(file, "PRAGMA page_size = 4096; CREATE TABLE t (a); PRAGMA user_version = 4;");
  // Damage the page of sqlite_master behind the header so that reading the schema fails.
  std::string bytes = testing::readFile(file);
  ASSERT_GE(bytes.size(), 4096u);
  for (std::size_t i = 100; i < 4096; ++i) bytes[i] = static_cast<char>(0xA5);
  testing::writeFile(file, bytes);

  const Error error = openExpectingError(file);
  EXPECT_EQ(error.kind(), Error::Kind::incompatibleSchemaVersion);
}

TEST_F(OpenAndMigrateTest, AnUnopenableFileIsAnOpenFailure) {
  const auto path = directory.file("no-such-folder") / kLibraryDatabaseFileName;
  const Error error = openExpectingError(path);
  EXPECT_EQ(error.kind(), Error::Kind::openFailed);
  EXPECT_EQ(error.message(), "unable to open database file");
}

TEST_F(OpenAndMigrateTest, MoveAsideTakesTheFileAndItsCompanionsToTheFirstFreeName) {
  testing::writeFile(file, "main");
  testing::writeFile(directory.file(libraryFileName("-wal")), "wal");
  testing::writeFile(directory.file(libraryFileName("-shm")), "shm");
  // The base name is taken through its "-wal" only, and ".1" through the main file.
  testing::writeFile(directory.file(libraryFileName(".pre-v4-v2-1700000000-wal")), "old");
  testing::writeFile(directory.file(libraryFileName(".pre-v4-v2-1700000000.1")), "old");

  SQLiteImageRepositoryV3::moveAsidePreV4Database(file, 2,
                                                  SQLiteImageRepositoryV3::moveAsideStamp(1700000000.9));

  EXPECT_EQ(testing::folderListing(directory.path()),
            (std::set<std::string>{
                libraryFileName(".pre-v4-v2-1700000000-wal"), libraryFileName(".pre-v4-v2-1700000000.1"),
                libraryFileName(".pre-v4-v2-1700000000.2"), libraryFileName(".pre-v4-v2-1700000000.2-wal"),
                libraryFileName(".pre-v4-v2-1700000000.2-shm")}));
  EXPECT_EQ(testing::readFile(directory.file(libraryFileName(".pre-v4-v2-1700000000.2-wal"))), "wal");
}

TEST_F(OpenAndMigrateTest, MoveAsideWithOnlyTheMainFileMovesOnlyIt) {
  testing::writeFile(file, "main");
  SQLiteImageRepositoryV3::moveAsidePreV4Database(file, 4, "7");
  EXPECT_EQ(testing::folderListing(directory.path()), std::set<std::string>{libraryFileName(".pre-v4-v4-7")});
}

TEST_F(OpenAndMigrateTest, AFailedMoveStopsAndKeepsWhatWasMoved) {
  testing::writeFile(file, "main");
  testing::writeFile(directory.file(libraryFileName("-wal")), "wal");
  testing::writeFile(directory.file(libraryFileName("-shm")), "shm");
  auto mover = DatabaseFileMover::system();
  const auto realMove = mover.move;
  std::vector<std::string> attempted;
  mover.move = [&](const fs::path& from, const fs::path& to) {
    attempted.push_back(from.filename().string());
    if (from.filename() == libraryFileName("-wal")) {
      throw fs::filesystem_error("refused", from, to, std::make_error_code(std::errc::permission_denied));
    }
    realMove(from, to);
  };
  EXPECT_THROW(SQLiteImageRepositoryV3::moveAsidePreV4Database(file, 3, "9", mover), fs::filesystem_error);
  EXPECT_EQ(attempted, (std::vector<std::string>{libraryFileName(), libraryFileName("-wal")}));
  EXPECT_EQ(testing::folderListing(directory.path()),
            (std::set<std::string>{libraryFileName(".pre-v4-v3-9"), libraryFileName("-wal"),
                                   libraryFileName("-shm")}));
}

TEST_F(OpenAndMigrateTest, TheSystemMoverNeverReplacesAnExistingFile) {
  testing::writeFile(file, "main");
  const auto target = directory.file("taken");
  testing::writeFile(target, "earlier copy");
  const auto mover = DatabaseFileMover::system();
  EXPECT_TRUE(mover.exists(target));
  EXPECT_FALSE(mover.exists(directory.file("free")));
  EXPECT_THROW(mover.move(file, target), fs::filesystem_error);
  EXPECT_EQ(testing::readFile(target), "earlier copy");
  EXPECT_EQ(testing::readFile(file), "main");
}

}  // namespace
}  // namespace lorvex
