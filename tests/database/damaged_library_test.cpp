// A library whose header and first pages are sound but whose middle pages are junk opens; the
// damage shows only when a statement reaches those pages. These tests prove that the first such
// failure leaves a mark beside the file, that the next open then refuses the file untouched so
// start-up can move it aside, and that errors which are not damage leave no mark.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "database/internal/row_mappers.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/faulty_vfs.h"
#include "database/support/file_contents.h"
#include "database/support/repository_connection.h"
#include "support/library_file_name.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::libraryFileName;

using Error = SQLiteImageRepositoryV3Error;
namespace fs = std::filesystem;

constexpr int kJobs = 600;
constexpr std::size_t kDamageBytes = 64 * 1024;

// A library of about 1.3 MB: one indexing job per page-sized row, so every middle page holds rows.
void writeLibrary(const fs::path& file) {
  SQLiteImageRepositoryV3 repository(file);
  auto& db = lorvex::testing::connectionOf(repository);
  db.performLockedTransaction([&] {
    for (int i = 0; i < kJobs; ++i) {
      db.execute("INSERT INTO indexing_jobs (root_paths, status, created_at, updated_at) VALUES (?, ?, 0, 0)",
                 {std::string(2000, static_cast<char>('a' + i % 26)), "running"});
    }
  });
}

// Overwrites 64 KiB in the middle of the file (on page boundaries) with junk; the header and the
// schema pages stay as they were.
void damageMiddlePages(const fs::path& file) {
  std::string bytes = testing::readFile(file);
  ASSERT_GT(bytes.size(), 4 * kDamageBytes);
  const std::size_t start = (bytes.size() / 2) / 4096 * 4096;
  std::uint32_t state = 2463534242u;
  for (std::size_t i = start; i < start + kDamageBytes; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    bytes[i] = static_cast<char>(state);
  }
  testing::writeFile(file, bytes);
}

Error expectError(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "no error";
  return Error::openFailed("");
}

std::string contentsOrAbsent(const fs::path& file) {
  return fs::exists(file) ? testing::readFile(file) : std::string("<absent>");
}

class DamagedLibraryTest : public ::testing::Test {
 protected:
  testing::TemporaryFolder directory;
  fs::path file = directory.file(kLibraryDatabaseFileName);
  fs::path marker = directory.file(libraryFileName("-damaged"));
};

TEST_F(DamagedLibraryTest, DamageMetAfterOpenMarksTheLibraryAndTheNextOpenRefusesItUntouched) {
  const struct {
    const char* name;
    std::function<void(SQLiteConnection&)> meetDamage;
    const char* message;
  } cases[] = {
      {"a query",
       [](SQLiteConnection& db) {
         auto guard = db.lock();
         db.query("SELECT sum(length(root_paths)) FROM indexing_jobs", {}, rows::firstInt64OrZero);
       },
       "database disk image is malformed"},
      {"a write transaction",
       [](SQLiteConnection& db) {
         db.performLockedTransaction([&] { db.execute("UPDATE indexing_jobs SET status = 'completed'"); });
       },
       "database disk image is malformed"},
      {"a script", [](SQLiteConnection& db) { db.executeScript("DELETE FROM indexing_jobs;"); },
       "database disk image is malformed"},
      {"a write with its own failure text",
       [](SQLiteConnection& db) {
         auto guard = db.lock();
         db.executeTagConceptWrite("UPDATE indexing_jobs SET processed_count = ?", {1});
       },
       "SQLite tag concept write failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TemporaryFolder folder;
    const auto path = folder.file(kLibraryDatabaseFileName);
    writeLibrary(path);
    damageMiddlePages(path);
    {
      SQLiteImageRepositoryV3 repository(path);  // the header and the schema are sound
      EXPECT_FALSE(fs::exists(folder.file(libraryFileName("-damaged"))));
      const Error error = expectError([&] { c.meetDamage(lorvex::testing::connectionOf(repository)); });
      EXPECT_EQ(error.sqliteResultCode() & 0xff, SQLITE_CORRUPT);
      EXPECT_EQ(error.message(), c.message);
      EXPECT_TRUE(fs::is_regular_file(folder.file(libraryFileName("-damaged"))));
      // The failing call reported its error; the connection goes on answering what it can.
      auto& db = lorvex::testing::connectionOf(repository);
      auto guard = db.lock();
      EXPECT_EQ(db.query("PRAGMA user_version;", {}, rows::firstInt64OrZero), 4);
    }
    const std::string main = testing::readFile(path);
    const std::string wal = contentsOrAbsent(folder.file(libraryFileName("-wal")));

    EXPECT_EQ(expectError([&] { SQLiteImageRepositoryV3 again(path); }), Error::incompatibleSchemaVersion(4));
    EXPECT_EQ(testing::readFile(path), main);
    EXPECT_EQ(contentsOrAbsent(folder.file(libraryFileName("-wal"))), wal);

    SQLiteImageRepositoryV3::moveAsidePreV4Database(path, 4, "100");
    EXPECT_FALSE(fs::exists(folder.file(libraryFileName("-damaged"))));
    EXPECT_EQ(testing::readFile(folder.file(libraryFileName(".pre-v4-v4-100"))), main);
    EXPECT_EQ(contentsOrAbsent(folder.file(libraryFileName(".pre-v4-v4-100-wal"))), wal);

    SQLiteImageRepositoryV3 fresh(path);
    auto& db = lorvex::testing::connectionOf(fresh);
    auto guard = db.lock();
    EXPECT_EQ(db.query("SELECT count(*) FROM indexing_jobs", {}, rows::firstInt64OrZero), 0);
  }
}

TEST_F(DamagedLibraryTest, ErrorsThatAreNotDamageLeaveNoMark) {
  writeLibrary(file);
  SQLiteImageRepositoryV3 repository(file);
  auto& db = lorvex::testing::connectionOf(repository);
  const struct {
    const char* name;
    std::function<void()> fail;
  } cases[] = {
      {"a constraint",
       [&] {
         auto guard = db.lock();
         db.execute(
             "INSERT INTO indexing_jobs (id, root_paths, status, created_at, updated_at) VALUES (1, '', "
             "'running', 0, 0)");
       }},
      {"an unknown table",
       [&] {
         auto guard = db.lock();
         db.query("SELECT * FROM no_such_table", {}, rows::exists);
       }},
      {"a failing script", [&] { db.executeScript("PRAGMA nonsense = ; SELECT;"); }},
      {"a disk that fails to read",
       [&] {
         testing::FaultyVFS vfs;
         SQLiteImageRepositoryV3 other(file);
         auto& otherDB = lorvex::testing::connectionOf(other);
         vfs.failReads(true);
         auto guard = otherDB.lock();
         otherDB.query("SELECT sum(length(root_paths)) FROM indexing_jobs", {}, rows::firstInt64OrZero);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectError(c.fail);
    EXPECT_FALSE(fs::exists(marker));
  }
  EXPECT_NO_THROW(SQLiteImageRepositoryV3{file});
}

TEST_F(DamagedLibraryTest, DamageFoundWhileOpeningIsReportedAtOnceWithoutAMark) {
  // Start-up moves such a file aside right away; a mark would outlive the move.
  writeLibrary(file);
  std::string bytes = testing::readFile(file);
  for (std::size_t i = 100; i < 4096; ++i) bytes[i] = static_cast<char>(0xA5);
  testing::writeFile(file, bytes);
  EXPECT_EQ(expectError([&] { SQLiteImageRepositoryV3 repository(file); }).kind(),
            Error::Kind::incompatibleSchemaVersion);
  EXPECT_FALSE(fs::exists(marker));
}

TEST_F(DamagedLibraryTest, AMarkLeftAloneByAnInterruptedMoveCostsOnlyAnEmptyMove) {
  testing::writeFile(marker, "database disk image is malformed\n");
  EXPECT_EQ(expectError([&] { SQLiteImageRepositoryV3 repository(file); }),
            Error::incompatibleSchemaVersion(4));
  SQLiteImageRepositoryV3::moveAsidePreV4Database(file, 4, "7");
  EXPECT_TRUE(testing::folderListing(directory.path()).empty());
  EXPECT_NO_THROW(SQLiteImageRepositoryV3{file});
}

TEST_F(DamagedLibraryTest, AMarkThatCannotBeRemovedFailsTheMoveInsteadOfMarkingTheNewLibrary) {
  writeLibrary(file);
  fs::create_directory(marker);
  testing::writeFile(marker / "inside", "x");
  EXPECT_THROW(SQLiteImageRepositoryV3::moveAsidePreV4Database(file, 4, "7"), fs::filesystem_error);
  EXPECT_TRUE(fs::exists(directory.file(libraryFileName(".pre-v4-v4-7"))));
}

}  // namespace
}  // namespace lorvex
