#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "database/internal/row_mappers.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/faulty_vfs.h"
#include "database/support/repository_connection.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

// The rows of table t in the database file alone, without its write-ahead log: what checkpoints
// have copied into the file.
std::int64_t rowsInTheFileAlone(const std::filesystem::path& database, const std::filesystem::path& scratch) {
  std::filesystem::create_directories(scratch);
  const std::filesystem::path copy = scratch / "copy.sqlite";
  std::filesystem::copy_file(database, copy);
  SQLiteConnection reader({}, {}, platform::systemClock());
  reader.open(copy.string(), SQLiteConnection::Access::readOnly);
  return reader.withLock([&] { return reader.query("SELECT count(*) FROM t", {}, rows::firstInt64OrZero); });
}

// A commit that fills the write-ahead log past its checkpoint size leaves the copy into the file to
// the checkpoint connection: the commit ends without writing the file, and the library's writes go
// on while the copy runs. Before, the commit itself copied the pages into the file while it held
// the lock that a waiting click needs.
TEST(WALCheckpointTest, ACommitThatFillsTheLogLeavesItsCheckpointToAnotherConnection) {
  testing::TemporaryFolder folder;
  testing::FaultyVFS vfs;
  const std::filesystem::path file = folder.file(kLibraryDatabaseFileName);
  SQLiteImageRepositoryV3 repository(file, {});
  SQLiteConnection& writer = testing::connectionOf(repository);
  writer.executeScript("CREATE TABLE t (k INTEGER PRIMARY KEY, v BLOB); INSERT INTO t (v) VALUES (0);");
  writer.catchUpCheckpoint();
  ASSERT_EQ(rowsInTheFileAlone(file, folder.path() / "before"), 1);

  vfs.holdDatabaseFileWrites(true);
  // About 1,200 pages of 4 KiB in one commit.
  auto commit = std::async(std::launch::async, [&] {
    writer.performLockedTransaction([&] {
      for (int i = 0; i < 300; ++i) writer.execute("INSERT INTO t (v) VALUES (randomblob(16000))");
    });
  });
  const bool committed = commit.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  EXPECT_TRUE(committed) << "the commit waits for its own checkpoint";
  if (committed) {
    // The copy, asked for by the commit, waits on its own connection; writes go on meanwhile.
    while (vfs.heldWriteCount() == 0) std::this_thread::yield();
    writer.performLockedTransaction([&] { writer.execute("INSERT INTO t (v) VALUES (1)"); });
    EXPECT_EQ(rowsInTheFileAlone(file, folder.path() / "during"), 1);
  }
  vfs.holdDatabaseFileWrites(false);
  commit.get();

  // Catching up copies everything committed so far into the file.
  writer.catchUpCheckpoint();
  EXPECT_EQ(rowsInTheFileAlone(file, folder.path() / "after"), 302);
}

// The indexer truncates the log without the writer's lock while other threads commit: no commit may
// meet the truncation running ("SQL statements in progress"), nor two threads use the statement
// cache at once (the tsan preset reports that); distinct texts make the cache finalize meanwhile.
TEST(WALCheckpointTest, TruncationsBesideCommitsOnOtherThreadsFailNoCommit) {
  testing::TemporaryFolder folder;
  SQLiteImageRepositoryV3 repository(folder.file(kLibraryDatabaseFileName), {});
  SQLiteConnection& writer = testing::connectionOf(repository);
  writer.executeScript("CREATE TABLE t (k INTEGER PRIMARY KEY, v BLOB);");
  std::atomic<bool> truncating = true;
  std::atomic<int> rounds = 0;
  const auto commit = [&] {
    while (truncating && rounds < 10'000) try {
        writer.performLockedTransaction([&] {
          writer.execute("INSERT INTO t (v) VALUES (randomblob(500))");
          writer.query("SELECT count(*) FROM t WHERE k = " + std::to_string(++rounds), {},
                       rows::firstInt64OrZero);
        });
      } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
      }
  };
  std::jthread first(commit), second(commit);
  for (int round = 0; round < 300; ++round)
    EXPECT_TRUE(writer.truncateLog()) << "the truncation found the writer inside a transaction";
  truncating = false;
}

}  // namespace
}  // namespace lorvex
