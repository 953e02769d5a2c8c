// A library whose files stop taking writes while it is open (made immutable, as "chattr +i" does):
// a refused write tells the system's reason, and closing it ends cleanly, its write-ahead log left
// for the next open, instead of with SIGBUS inside SQLite's checkpoint at close. Skipped where the
// process may not make a file immutable (it needs CAP_LINUX_IMMUTABLE and a file system that has
// the flag).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "database/internal/row_mappers.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "platform/log.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using Error = SQLiteImageRepositoryV3Error;

constexpr const char* kLibraryFiles[] = {"", "-wal", "-shm"};

// Sets or clears the immutable flag of `path`; the errno when that cannot be done.
int setImmutable(const std::string& path, bool immutable) {
  const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return errno;
  int flags = 0;
  int result = ::ioctl(file, FS_IOC_GETFLAGS, &flags);
  if (result == 0) {
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    result = ::ioctl(file, FS_IOC_SETFLAGS, &flags);
  }
  const int error = result == 0 ? 0 : errno;
  ::close(file);
  return error;
}

void addJob(SQLiteConnection& db, int number) {
  db.performLockedTransaction([&] {
    db.execute("INSERT INTO indexing_jobs (root_paths, status, created_at, updated_at) VALUES (?, ?, 0, 0)",
               {"/photos/" + std::to_string(number), "running"});
  });
}

class UnwritableLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string probe = folder.writeFile("probe");
    if (const int error = setImmutable(probe, true); error != 0)
      GTEST_SKIP() << "a file cannot be made immutable here: " << std::strerror(error);
    setImmutable(probe, false);
  }
  // The files must take changes again for the folder to go.
  void TearDown() override {
    for (const char* suffix : kLibraryFiles) setImmutable(file.string() + suffix, false);
  }

  testing::TemporaryFolder folder;
  std::filesystem::path file = folder.file(kLibraryDatabaseFileName);
};

TEST_F(UnwritableLibraryTest, AWriteTheLogRefusesTellsTheSystemsReason) {
  SQLiteImageRepositoryV3 repository(file);
  auto& db = lorvex::testing::connectionOf(repository);
  addJob(db, 1);
  ASSERT_EQ(setImmutable(file.string() + "-wal", true), 0);
  try {
    addJob(db, 2);
    ADD_FAILURE() << "the write went through";
  } catch (const Error& error) {
    EXPECT_EQ(error.sqliteResultCode() & 0xff, SQLITE_IOERR) << error.localizedDescription();
    EXPECT_EQ(error.systemErrorNumber(), EPERM) << error.localizedDescription();
  }
}

TEST_F(UnwritableLibraryTest, ClosingALibraryMadeImmutableKeepsItsLogAndSaysWhy) {
  GTEST_FLAG_SET(death_test_style, "fast");
  // In a forked child (no thread runs here yet), so that a crash fails the test instead of ending
  // the test program.
  EXPECT_EXIT(
      {
        platform::setLogSink([](platform::LogLevel, std::string_view category, std::string_view message) {
          std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(category.size()), category.data(),
                       static_cast<int>(message.size()), message.data());
        });
        {
          SQLiteImageRepositoryV3 repository(file);
          addJob(lorvex::testing::connectionOf(repository), 1);
          for (const char* suffix : kLibraryFiles) {
            if (setImmutable(file.string() + suffix, true) != 0) std::_Exit(2);
          }
        }
        std::fprintf(stderr, "closed\n");
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0),
      "Database: The library was closed without a checkpoint[^\n]* cannot be written \\(Operation not "
      "permitted \\(EPERM\\)\\)\nclosed");
  // Nothing is lost: the next open applies the log.
  for (const char* suffix : kLibraryFiles) ASSERT_EQ(setImmutable(file.string() + suffix, false), 0);
  EXPECT_TRUE(std::filesystem::exists(file.string() + "-wal"));
  SQLiteImageRepositoryV3 reopened(file);
  auto& db = lorvex::testing::connectionOf(reopened);
  auto guard = db.lock();
  EXPECT_EQ(db.query("SELECT count(*) FROM indexing_jobs WHERE root_paths = '/photos/1'", {},
                     rows::firstInt64OrZero),
            1);
}

}  // namespace
}  // namespace lorvex
