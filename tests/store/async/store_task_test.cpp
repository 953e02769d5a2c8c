// Flows started on a scope: joining, cancelling, blocking calls on a pool, exceptions crossing
// back, and an owner destroyed while its calls are still running on the pool.
#include "store/async/store_task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/async/coroutine_scope.h"
#include "store/async/run_blocking.h"
#include "store/async/store_clock.h"
#include "store/async/store_thread_pools.h"
#include "store/event_loop.h"

namespace lorvex {
namespace {

using testing::drainEvents;
using testing::runEventsUntil;

// A call on the pool that waits until the test lets it go.
struct HeldCall {
  std::latch started{1};
  std::latch release{1};
  std::atomic<int> runs{0};
  std::atomic<bool> sawStop{false};
  std::atomic<bool> finished{false};
};

struct LibraryFailure : std::runtime_error {
  LibraryFailure(int code, const std::string& what) : std::runtime_error(what), code(code) {}
  int code;
};

TEST(StoreTask, TwoAwaitersOfOneHandleShareOneRun) {
  testing::application();
  CoroutineScope scope;
  auto call = std::make_shared<HeldCall>();
  StoreTask<int> task = startStoreTask(scope, [&scope, call](std::stop_token stop) -> QCoro::Task<int> {
    auto frame = co_await scope.enter();
    auto fetch = [call] {
      call->runs.fetch_add(1);
      call->started.count_down();
      call->release.wait();
      return 42;
    };
    co_return co_await runBlocking(userInitiatedPool(), stop, fetch);
  });
  std::vector<int> results;
  auto join = [&scope, &results, task]() -> QCoro::Task<void> {
    auto frame = co_await scope.enter();
    results.push_back(co_await task);
  };
  StoreTask<void> first = startStoreTask(scope, [&](std::stop_token) { return join(); });
  StoreTask<void> second = startStoreTask(scope, [&](std::stop_token) { return join(); });
  call->started.wait();
  EXPECT_FALSE(task.isFinished());
  EXPECT_TRUE(results.empty());

  call->release.count_down();
  ASSERT_TRUE(runEventsUntil([&] { return first.isFinished() && second.isFinished(); }));
  EXPECT_EQ(call->runs.load(), 1);
  EXPECT_EQ(results, (std::vector<int>{42, 42}));
  // A caller that joins after the end gets the result at once.
  StoreTask<void> late = startStoreTask(scope, [&](std::stop_token) { return join(); });
  EXPECT_TRUE(late.isFinished());
  EXPECT_EQ(results.size(), 3u);
}

TEST(StoreTask, HandlesCompareByIdentity) {
  testing::application();
  CoroutineScope scope;
  auto body = [](std::stop_token) -> QCoro::Task<int> { co_return 1; };
  StoreTask<int> a = startStoreTask(scope, body);
  StoreTask<int> b = startStoreTask(scope, body);
  StoreTask<int> copyOfA = a;
  EXPECT_EQ(a, copyOfA);
  EXPECT_NE(a, b);
  EXPECT_NE(a.id(), b.id());
  EXPECT_NE(a.id(), 0u);
  EXPECT_EQ(StoreTask<int>(), StoreTask<int>());
  EXPECT_NE(a, StoreTask<int>());
}

TEST(StoreTask, CancellingTheHandleStopsTheHeldCall) {
  testing::application();
  CoroutineScope scope;
  auto call = std::make_shared<HeldCall>();
  bool resumedWithValue = false;
  StoreTask<void> task = startStoreTask(scope, [&](std::stop_token stop) -> QCoro::Task<void> {
    auto frame = co_await scope.enter();
    auto waitForStop = [call](std::stop_token stop) {
      call->started.count_down();
      while (!stop.stop_requested()) std::this_thread::yield();
      call->sawStop = true;
      return true;
    };
    resumedWithValue = co_await runBlocking(userInitiatedPool(), stop, waitForStop);
  });
  call->started.wait();
  EXPECT_FALSE(task.isCancelled());
  task.cancel();
  EXPECT_TRUE(task.isCancelled());
  ASSERT_TRUE(runEventsUntil([&] { return task.isFinished(); }));
  EXPECT_TRUE(call->sawStop.load());
  EXPECT_TRUE(resumedWithValue);
}

TEST(StoreTask, ExceptionsCrossBackAsTheirOwnType) {
  testing::application();
  CoroutineScope scope;
  int caughtInFlow = 0;
  StoreTask<int> failing = startStoreTask(scope, [&](std::stop_token stop) -> QCoro::Task<int> {
    auto frame = co_await scope.enter();
    auto locked = []() -> int { throw LibraryFailure(7, "locked"); };
    auto gone = [] { throw LibraryFailure(9, "gone"); };
    try {
      co_await runBlocking(userInitiatedPool(), stop, locked);
    } catch (const LibraryFailure& failure) {
      caughtInFlow = failure.code;
    }
    co_await runBlocking(userInitiatedPool(), stop, gone);
    co_return 0;
  });
  int caughtByJoiner = 0;
  std::string whatByJoiner;
  StoreTask<void> joiner = startStoreTask(scope, [&](std::stop_token) -> QCoro::Task<void> {
    auto frame = co_await scope.enter();
    try {
      co_await failing;
    } catch (const LibraryFailure& failure) {
      caughtByJoiner = failure.code;
      whatByJoiner = failure.what();
    }
  });
  ASSERT_TRUE(runEventsUntil([&] { return joiner.isFinished(); }));
  EXPECT_EQ(caughtInFlow, 7);
  EXPECT_EQ(caughtByJoiner, 9);
  EXPECT_EQ(whatByJoiner, "gone");
}

TEST(StoreTask, MisuseFailsAtTheAwaitInsteadOfCorruptingAnything) {
  testing::application();
  CoroutineScope scope;
  std::vector<std::string> errors;
  // A coroutine that suspends without entering a scope.
  auto noEntry = [&](std::stop_token stop) -> QCoro::Task<void> {
    auto work = [] { return 1; };
    try {
      co_await runBlocking(userInitiatedPool(), stop, work);
    } catch (const std::logic_error& error) {
      errors.push_back(error.what());
    }
  };
  std::stop_source source;
  noEntry(source.get_token());
  // Awaiting an empty handle.
  auto emptyJoin = [&]() -> QCoro::Task<void> {
    auto frame = co_await scope.enter();
    StoreTask<int> empty;
    try {
      co_await empty;
    } catch (const std::logic_error& error) {
      errors.push_back(error.what());
    }
  };
  emptyJoin();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0].find("enter()"), std::string::npos);
  EXPECT_NE(errors[1].find("empty"), std::string::npos);
}

// Everything a destroyed owner's coroutines could still do: continue after a held pool call
// (directly and three coroutines deep), wake from a sleep, continue after joining another flow.
TEST(StoreTask, AnOwnerDestroyedWhileItsCallIsHeldResumesNothing) {
  testing::application();
  auto call = std::make_shared<HeldCall>();
  auto resumed = std::make_shared<std::atomic<int>>(0);
  FakeStoreClock clock;
  StoreTask<int> held;
  {
    struct Owner {
      std::vector<std::string> log;  // what the coroutines would touch after resuming
      CoroutineScope scope;          // last: destroyed first, while `log` still exists
    };
    auto owner = std::make_unique<Owner>();
    Owner* self = owner.get();

    auto inner = [self, call](std::stop_token stop) -> QCoro::Task<int> {
      auto frame = co_await self->scope.enter();
      auto buffer = std::make_unique<std::string>(4096, 'x');  // freed only if the frame is
      auto held = [call] {
        call->started.count_down();
        call->release.wait();
        call->finished = true;
        return 1;
      };
      const int value = co_await runBlocking(userInitiatedPool(), stop, held);
      self->log.push_back("inner resumed " + *buffer);
      co_return value;
    };
    auto middle = [self, inner](std::stop_token stop) -> QCoro::Task<int> {
      auto frame = co_await self->scope.enter();
      const int value = co_await inner(stop);
      self->log.push_back("middle resumed");
      co_return value + 1;
    };
    held = startStoreTask(self->scope, [self, middle, resumed](std::stop_token stop) -> QCoro::Task<int> {
      auto frame = co_await self->scope.enter();
      const int value = co_await middle(stop);
      resumed->fetch_add(1);
      self->log.push_back("outer resumed");
      co_return value;
    });
    startStoreTask(self->scope, [self, &clock, resumed](std::stop_token stop) -> QCoro::Task<void> {
      auto frame = co_await self->scope.enter();
      co_await clock.sleep(1'000'000'000, stop);
      resumed->fetch_add(1);
      self->log.push_back("sleeper resumed");
    });
    startStoreTask(self->scope, [self, held, resumed](std::stop_token) -> QCoro::Task<void> {
      auto frame = co_await self->scope.enter();
      co_await held;
      resumed->fetch_add(1);
      self->log.push_back("joiner resumed");
    });
    // A coroutine whose task object nobody keeps.
    [](Owner* self, FakeStoreClock& clock, std::shared_ptr<std::atomic<int>> resumed) -> QCoro::Task<void> {
      auto frame = co_await self->scope.enter();
      co_await clock.sleep(2'000'000'000);
      resumed->fetch_add(1);
    }(self, clock, resumed);

    call->started.wait();
    EXPECT_EQ(clock.pendingSleeperCount(), 2u);
    owner.reset();
  }
  EXPECT_TRUE(held.isCancelled());
  EXPECT_FALSE(held.isFinished());
  // Nothing waited for the pool: the call is still held.
  EXPECT_FALSE(call->finished.load());
  call->release.count_down();
  userInitiatedPool().waitForDone();
  EXPECT_TRUE(call->finished.load());
  clock.advance(5'000'000'000);
  drainEvents();
  EXPECT_EQ(resumed->load(), 0);
  EXPECT_FALSE(held.isFinished());
  EXPECT_EQ(clock.pendingSleeperCount(), 0u);
}

}  // namespace
}  // namespace lorvex
