#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
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

// A library of `count` indexing jobs of 2,000 bytes each: about one row per page.
void writeJobs(const std::filesystem::path& file, int count) {
  SQLiteImageRepositoryV3 repository(file);
  auto& db = lorvex::testing::connectionOf(repository);
  db.performLockedTransaction([&] {
    for (int i = 0; i < count; ++i) {
      db.execute("INSERT INTO indexing_jobs (root_paths, status, created_at, updated_at) VALUES (?, ?, 0, 0)",
                 {std::string(2000, 'r'), "running"});
    }
  });
}

TEST(ReadErrorTest, AFailedReadSurfacesAsAnErrorNotAnEmptyResult) {
  testing::FaultyVFS vfs;
  testing::TemporaryFolder directory;
  const auto file = directory.file(kLibraryDatabaseFileName);
  writeJobs(file, 400);
  // A new connection has none of the rows' pages in its cache.
  SQLiteImageRepositoryV3 repository(file);
  auto& db = lorvex::testing::connectionOf(repository);
  vfs.failReads(true);
  try {
    auto guard = db.lock();
    const auto total = db.query("SELECT count(*), sum(length(root_paths)) FROM indexing_jobs", {},
                                [](SQLiteRows& rows) { return rows.next() ? rows.int64(1) : -1; });
    ADD_FAILURE() << "read " << total;
  } catch (const Error& error) {
    EXPECT_EQ(error.sqliteResultCode() & 0xff, SQLITE_IOERR);
    EXPECT_EQ(error.message(), "disk I/O error");
  }
  EXPECT_GT(vfs.failedReadCount(), 0);

  vfs.failReads(false);
  auto guard = db.lock();
  EXPECT_EQ(db.query("SELECT sum(length(root_paths)) FROM indexing_jobs", {}, rows::firstInt64OrZero),
            800'000);
}

// Shrinks the file to a quarter of its size the first time SQLite calls the handler, that is while
// the statement runs and after it has read its first pages.
int truncateOnce(void* context) {
  auto* path = static_cast<std::filesystem::path*>(context);
  if (path->empty()) return 0;
  const auto size = std::filesystem::file_size(*path);
  if (::truncate(path->c_str(), static_cast<off_t>(size / 4)) != 0) std::abort();
  path->clear();
  return 0;
}

// Another program (or a user) cutting the library file short while the connection works must
// end in an error the caller can report, never in a signal that kills the process (as it does
// when pages are read through a memory map). Each case runs in a forked child (no thread runs
// here), so that a crash fails the case instead of the whole test program, and the child's
// marker lands in this test's folder.
TEST(ReadErrorTest, ALibraryThatShrinksUnderARunningConnectionIsAnErrorNotACrash) {
  GTEST_FLAG_SET(death_test_style, "fast");
  testing::TemporaryFolder directory;
  const auto file = directory.file(kLibraryDatabaseFileName);
  writeJobs(file, 2000);
  const std::string library = testing::readFile(file);
  const struct {
    const char* name;
    bool truncateBeforeTheStatement;
    std::function<void(SQLiteConnection&)> work;
  } cases[] = {
      {"while a query reads", false,
       [](SQLiteConnection& db) {
         db.query("SELECT sum(length(root_paths)) FROM indexing_jobs", {}, rows::firstInt64OrZero);
       }},
      {"while a transaction writes", false,
       [](SQLiteConnection& db) {
         db.performTransaction(
             [&] { db.execute("UPDATE indexing_jobs SET processed_count = length(root_paths)"); });
       }},
      {"between two statements", true,
       [](SQLiteConnection& db) {
         db.query("SELECT sum(length(root_paths)) FROM indexing_jobs", {}, rows::firstInt64OrZero);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::writeFile(file, library);
    for (const char* left : {"-wal", "-shm", "-damaged"}) std::filesystem::remove(file.string() + left);
    EXPECT_EXIT(
        {
          SQLiteImageRepositoryV3 repository(file);
          auto& db = lorvex::testing::connectionOf(repository);
          auto guard = db.lock();
          if (db.query("PRAGMA mmap_size;", {}, rows::firstInt64OrZero) == 0) {
            std::fprintf(stderr, "pages are not mapped\n");
            std::_Exit(2);
          }
          // A first read brings in the first pages, as an indexer's earlier work would.
          db.query("SELECT count(*) FROM indexing_jobs WHERE id < 10", {}, rows::firstInt64OrZero);
          std::filesystem::path target = file;
          if (c.truncateBeforeTheStatement) {
            truncateOnce(&target);
          } else {
            sqlite3_progress_handler(db.handle(), 20, truncateOnce, &target);
          }
          try {
            c.work(db);
          } catch (const Error& error) {
            std::fprintf(stderr, "reported: %s\n", error.what());
            std::_Exit(0);
          }
          std::fprintf(stderr, "no error\n");
          std::_Exit(1);
        },
        ::testing::ExitedWithCode(0), "reported: database disk image is malformed");
    // A library cut short is damaged: the next start moves it aside.
    EXPECT_TRUE(std::filesystem::exists(directory.file(libraryFileName("-damaged"))));
  }
}

// The guard answers only for the library's own pages: a SIGBUS at any other address still ends the
// process (with the handler found before, or as without one) instead of being swallowed.
TEST(ReadErrorTest, ABusErrorOutsideTheLibraryStillEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "fast");
  testing::TemporaryFolder directory;
  const auto file = directory.file(kLibraryDatabaseFileName);
  writeJobs(file, 10);
  const auto other = directory.file("other");
  testing::writeFile(other, std::string(3 * 4096, 'o'));
  const auto killedBySignal = [](int status) { return WIFSIGNALED(status); };
  EXPECT_EXIT(
      {
        SQLiteImageRepositoryV3 repository(file);  // the guard is installed and the library guarded
        const int descriptor = ::open(other.c_str(), O_RDONLY);
        const auto* mapped = static_cast<const volatile char*>(
            ::mmap(nullptr, 3 * 4096, PROT_READ, MAP_SHARED, descriptor, 0));
        if (::truncate(other.c_str(), 0) != 0) std::_Exit(3);
        std::fprintf(stderr, "read %d\n", mapped[2 * 4096]);
        std::_Exit(0);
      },
      killedBySignal, "");
}

}  // namespace
}  // namespace lorvex
