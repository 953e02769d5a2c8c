#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "database/internal/row_mappers.h"
#include "database/sqlite_image_repository.h"
#include "database/support/faulty_vfs.h"
#include "database/support/repository_connection.h"
#include "database/support/temporary_directory.h"

namespace lorvex {
namespace {

using Error = SQLiteImageRepositoryV3Error;

TEST(ReadErrorTest, AFailedReadSurfacesAsAnErrorNotAnEmptyResult) {
  testing::FaultyVFS vfs;
  testing::TemporaryDirectory directory;
  const auto file = directory.file("LorvexV3.sqlite");
  {
    SQLiteImageRepositoryV3 repository(file);
    auto& db = lorvex::testing::connectionOf(repository);
    db.performLockedTransaction([&] {
      for (int i = 0; i < 400; ++i) {
        db.execute(
            "INSERT INTO indexing_jobs (root_paths, status, created_at, updated_at) VALUES (?, ?, 0, 0)",
            {std::string(2000, 'r'), "running"});
      }
    });
  }
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

}  // namespace
}  // namespace lorvex
