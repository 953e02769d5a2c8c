#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "database/internal/row_mappers.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "platform/log.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using Error = SQLiteImageRepositoryV3Error;

// A clock whose monotonic reading moves by a fixed step at every reading, so that every locked
// entry sees a wait of exactly that step.
class SteppingClock final : public platform::Clock {
 public:
  double now() const override { return 1'700'000'000.0; }
  std::int64_t monotonicNanoseconds() const override { return reading_.fetch_add(step.load()); }
  std::atomic<std::int64_t> step{0};

 private:
  mutable std::atomic<std::int64_t> reading_{0};
};

class SignpostCollector {
 public:
  SignpostCollector() {
    previous_ = platform::setSignpostSink([this](const platform::SignpostRecord& record) {
      std::lock_guard guard(mutex_);
      records_.push_back(record);
    });
  }
  ~SignpostCollector() { platform::setSignpostSink(previous_); }
  std::vector<platform::SignpostRecord> take() {
    std::lock_guard guard(mutex_);
    return std::exchange(records_, {});
  }

 private:
  platform::SignpostSink previous_;
  std::mutex mutex_;
  std::vector<platform::SignpostRecord> records_;
};

class LockingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SQLiteImageRepositoryV3Options options;
    options.clock = &clock;
    options.searchProgressObserver = [this] {
      ++progressCalls;
      if (stopOnProgress) stop.request_stop();
    };
    repository = std::make_unique<SQLiteImageRepositoryV3>(directory.file(kLibraryDatabaseFileName), options);
    db().executeScript("CREATE TABLE t (k INTEGER PRIMARY KEY, v);");
  }
  SQLiteConnection& db() { return lorvex::testing::connectionOf(*repository); }
  std::int64_t count() {
    auto guard = db().lock();
    return db().query("SELECT count(*) FROM t", {}, rows::firstInt64OrZero);
  }

  testing::TemporaryFolder directory;
  SteppingClock clock;
  std::stop_source stop;
  std::atomic<int> progressCalls{0};
  bool stopOnProgress = false;
  std::unique_ptr<SQLiteImageRepositoryV3> repository;
};

TEST_F(LockingTest, OnlyWaitsAboveOneMillisecondAreReported) {
  SignpostCollector signposts;
  clock.step = 1'000'000;
  EXPECT_EQ(count(), 0);
  EXPECT_TRUE(signposts.take().empty());

  clock.step = 1'000'001;
  EXPECT_EQ(count(), 0);
  const auto records = signposts.take();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].kind, platform::SignpostRecord::Kind::event);
  EXPECT_EQ(records[0].name, "LockWait");
  EXPECT_EQ(records[0].message, "waitMs=1.000001");

  clock.step = 2'500'000'000;
  db().executeScript("SELECT 1;");
  EXPECT_EQ(signposts.take().at(0).message, "waitMs=2500.000000");
}

TEST_F(LockingTest, ATransactionCommitsItsBody) {
  db().performLockedTransaction([&] {
    db().execute("INSERT INTO t (k) VALUES (1)");
    db().execute("INSERT INTO t (k) VALUES (2)");
  });
  EXPECT_EQ(count(), 2);
  auto guard = db().lock();
  const auto result = db().performTransaction([&] {
    db().execute("INSERT INTO t (k) VALUES (3)");
    return db().lastInsertRowID();
  });
  EXPECT_EQ(result, 3);
}

TEST_F(LockingTest, AFailingBodyLeavesNoPartialChangeAndItsOwnErrorReachesTheCaller) {
  db().executeScript("INSERT INTO t (k) VALUES (1);");
  try {
    db().performLockedTransaction([&] {
      db().execute("INSERT INTO t (k) VALUES (2)");
      db().execute("INSERT INTO t (k) VALUES (1)");
    });
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(error, Error::stepFailed("UNIQUE constraint failed: t.k"));
  }
  EXPECT_EQ(count(), 1);

  EXPECT_THROW(db().performLockedTransaction([&] {
    db().execute("INSERT INTO t (k) VALUES (5)");
    throw std::runtime_error("body");
  }),
               std::runtime_error);
  EXPECT_EQ(count(), 1);
  // The connection is out of the transaction: the next one works.
  db().performLockedTransaction([&] { db().execute("INSERT INTO t (k) VALUES (6)"); });
  EXPECT_EQ(count(), 2);
}

TEST_F(LockingTest, AFailingCommitIsRolledBackAndReportedWithTheCommitsError) {
  db().executeScript(
      "CREATE TABLE parent (id INTEGER PRIMARY KEY);"
      "CREATE TABLE child (parent_id REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED);");
  try {
    db().performLockedTransaction([&] {
      db().execute("INSERT INTO t (k) VALUES (1)");
      db().execute("INSERT INTO child (parent_id) VALUES (42)");
    });
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(error, Error::stepFailed("FOREIGN KEY constraint failed"));
  }
  EXPECT_EQ(count(), 0);
  auto guard = db().lock();
  EXPECT_EQ(db().query("SELECT count(*) FROM child", {}, rows::firstInt64OrZero), 0);
}

TEST_F(LockingTest, TransactionsDoNotNest) {
  auto guard = db().lock();
  EXPECT_THROW(db().performTransaction([&] { db().performTransaction([] {}); }), Error);
  EXPECT_NO_THROW(db().performTransaction([&] { db().execute("INSERT INTO t (k) VALUES (1)"); }));
}

TEST_F(LockingTest, ASeriesOfTransactionsLetsAWaitingUserOfTheLockGoFirst) {
  std::mutex mutex;
  std::vector<std::string> order;
  const auto record = [&](const char* who) {
    const std::lock_guard guard(mutex);
    order.push_back(who);
  };
  auto series = db().lock();
  std::thread waiter([&] { db().withLock([&] { record("waiter"); }); });
  while (db().lockWaiterCount() == 0) std::this_thread::yield();

  // The series ends one transaction and begins the next at once.
  series.unlock();
  db().letWaitingLockUsersFirst();
  db().withLock([&] { record("series"); });
  waiter.join();
  EXPECT_EQ(order, (std::vector<std::string>{"waiter", "series"}));
}

TEST_F(LockingTest, ASearchCancelledWhileWaitingNeverTakesTheLock) {
  std::latch holding(1);
  std::latch release(1);
  std::thread holder([&] {
    auto guard = db().lock();
    holding.count_down();
    release.wait();
  });
  holding.wait();

  std::atomic<bool> bodyRan{false};
  std::thread searcher([&] {
    EXPECT_THROW(db().performCancellableSearch(stop.get_token(), [&] { bodyRan = true; }),
                 SearchCancelledError);
  });
  stop.request_stop();
  searcher.join();  // returns while the holder still has the lock
  release.count_down();
  holder.join();
  EXPECT_FALSE(bodyRan);
  EXPECT_EQ(count(), 0);
}

TEST_F(LockingTest, ASearchCancelledWhileItsStatementRunsIsInterrupted) {
  stopOnProgress = true;
  const auto endless = [&] {
    return db().query(
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c", {},
        rows::firstInt64OrZero);
  };
  EXPECT_THROW(db().performCancellableSearch(stop.get_token(), endless), SearchCancelledError);
  EXPECT_GT(progressCalls.load(), 0);

  // No handler is left behind: the next operations run to their end.
  const int callsAfterSearch = progressCalls.load();
  db().performLockedTransaction([&] { db().execute("INSERT INTO t (k) VALUES (1)"); });
  EXPECT_EQ(count(), 1);
  EXPECT_EQ(progressCalls.load(), callsAfterSearch);
  std::stop_source fresh;
  stopOnProgress = false;
  EXPECT_EQ(db().performCancellableSearch(fresh.get_token(), [&] { return count(); }), 1);
}

TEST_F(LockingTest, ASearchErrorIsTheErrorUnlessTheSearchWasCancelled) {
  std::stop_source fresh;
  EXPECT_THROW(
      db().performCancellableSearch(fresh.get_token(), [&] { db().execute("SELECT * FROM nowhere"); }),
      Error);
  EXPECT_THROW(db().performCancellableSearch(fresh.get_token(),
                                             [&] {
                                               fresh.request_stop();
                                               db().execute("SELECT * FROM nowhere");
                                             }),
               SearchCancelledError);
}

}  // namespace
}  // namespace lorvex
