// Sleeps on the fake clock wake in deadline order with the clock at their deadline; a stop ends a
// sleep at once on either clock.
#include "store/async/store_clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "store/async/coroutine_scope.h"
#include "store/async/store_task.h"
#include "store/event_loop.h"

namespace lorvex {
namespace {

struct Wake {
  std::string label;
  bool fully;
  std::int64_t monotonic;
  friend bool operator==(const Wake&, const Wake&) = default;
};

QCoro::Task<void> sleeper(CoroutineScope& scope, StoreClock& clock, std::string label,
                          std::int64_t nanoseconds, std::stop_token stop, std::vector<Wake>& wakes) {
  auto frame = co_await scope.enter();
  const bool fully = co_await clock.sleep(nanoseconds, stop);
  wakes.push_back({label, fully, clock.monotonicNanoseconds()});
}

TEST(FakeStoreClock, SleepsWakeInDeadlineOrderWithTiesInTheOrderTheyBegan) {
  testing::application();
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::int64_t>> sleeps;  // label, nanoseconds, in start order
    std::vector<std::int64_t> advances;
    std::vector<Wake> expected;
  };
  const Case cases[] = {
      {"one advance past all",
       {{"c", 300}, {"a", 100}, {"b", 200}},
       {1000},
       {{"a", true, 100}, {"b", true, 200}, {"c", true, 300}}},
      {"ties keep their start order",
       {{"x", 50}, {"y", 50}, {"z", 50}},
       {50},
       {{"x", true, 50}, {"y", true, 50}, {"z", true, 50}}},
      {"an advance short of a deadline wakes nothing", {{"a", 100}}, {99}, {}},
      {"steps reach a deadline exactly",
       {{"a", 100}, {"b", 150}},
       {60, 40, 49, 1},
       {{"a", true, 100}, {"b", true, 150}}},
      {"a zero sleep does not suspend", {{"now", 0}}, {}, {{"now", true, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CoroutineScope scope;
    FakeStoreClock clock(1'700'000'000.0, 0);
    std::vector<Wake> wakes;
    std::vector<QCoro::Task<void>> tasks;
    for (const auto& [label, nanoseconds] : c.sleeps)
      tasks.push_back(sleeper(scope, clock, label, nanoseconds, {}, wakes));
    for (std::int64_t step : c.advances) clock.advance(step);
    EXPECT_EQ(wakes, c.expected);
  }
}

TEST(FakeStoreClock, AdvanceMovesWallTimeWithTheMonotonicReading) {
  FakeStoreClock clock(1000.0, 5);
  clock.advance(2'500'000'000);
  EXPECT_DOUBLE_EQ(clock.now(), 1002.5);
  EXPECT_EQ(clock.monotonicNanoseconds(), 2'500'000'005);
}

TEST(FakeStoreClock, ASleeperThatSleepsAgainWithinTheSpanWakesInTheSameAdvance) {
  testing::application();
  CoroutineScope scope;
  FakeStoreClock clock(0, 0);
  std::vector<std::int64_t> wakes;
  auto task = startStoreTask(scope, [&](std::stop_token stop) -> QCoro::Task<void> {
    auto frame = co_await scope.enter();
    for (int i = 0; i < 3; ++i) {
      co_await clock.sleep(10, stop);
      wakes.push_back(clock.monotonicNanoseconds());
    }
  });
  clock.advance(25);
  EXPECT_EQ(wakes, (std::vector<std::int64_t>{10, 20}));
  clock.advance(5);
  EXPECT_EQ(wakes, (std::vector<std::int64_t>{10, 20, 30}));
  EXPECT_TRUE(task.isFinished());
}

TEST(FakeStoreClock, ASleepOfTheLargestCountOutlastsAnyAdvance) {
  testing::application();
  CoroutineScope scope;
  FakeStoreClock clock(0, 1'000'000'000);
  std::vector<Wake> wakes;
  std::stop_source stop;
  auto task =
      sleeper(scope, clock, "forever", std::numeric_limits<std::int64_t>::max(), stop.get_token(), wakes);
  clock.advance(100LL * 365 * 24 * 3600 * 1'000'000'000);
  EXPECT_TRUE(wakes.empty());
  EXPECT_EQ(clock.pendingSleeperCount(), 1u);
  stop.request_stop();
  ASSERT_TRUE(testing::runEventsUntil([&] { return !wakes.empty(); }));
  EXPECT_FALSE(wakes.front().fully);
}

TEST(StoreClock, AStopEndsASleepAtOnce) {
  testing::application();
  FakeStoreClock fake;
  SystemStoreClock system;
  struct Case {
    const char* name;
    StoreClock* clock;
    std::int64_t nanoseconds;
  };
  // A hundred days: far longer than one timer can wait, so the system clock chains its timers. The
  // largest count puts the deadline past the largest reading of a clock that has run a while.
  constexpr std::int64_t kForever = std::numeric_limits<std::int64_t>::max();
  FakeStoreClock runningFake(0, 1'000'000'000);
  const Case cases[] = {{"fake clock", &fake, 10'000'000'000},
                        {"system clock", &system, 100LL * 24 * 3600 * 1'000'000'000},
                        {"fake clock, largest count", &runningFake, kForever},
                        {"system clock, largest count", &system, kForever}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CoroutineScope scope;
    std::vector<Wake> wakes;
    std::stop_source stop;
    auto task = sleeper(scope, *c.clock, "s", c.nanoseconds, stop.get_token(), wakes);
    const std::int64_t before = c.clock->monotonicNanoseconds();
    testing::drainEvents();
    EXPECT_TRUE(wakes.empty());
    stop.request_stop();
    ASSERT_TRUE(testing::runEventsUntil([&] { return !wakes.empty(); }));
    EXPECT_FALSE(wakes.front().fully);
    EXPECT_LT(wakes.front().monotonic - before, c.nanoseconds);
  }
  EXPECT_EQ(fake.pendingSleeperCount(), 0u);
  // A stop requested before the sleep begins ends it without suspending.
  CoroutineScope scope;
  std::vector<Wake> wakes;
  std::stop_source stopped;
  stopped.request_stop();
  auto task = sleeper(scope, fake, "late", 1'000, stopped.get_token(), wakes);
  ASSERT_EQ(wakes.size(), 1u);
  EXPECT_FALSE(wakes.front().fully);
}

TEST(SystemStoreClock, AShortSleepEndsFully) {
  testing::application();
  CoroutineScope scope;
  SystemStoreClock clock;
  std::vector<Wake> wakes;
  const std::int64_t before = clock.monotonicNanoseconds();
  auto task = sleeper(scope, clock, "short", 1'000'000, {}, wakes);
  ASSERT_TRUE(testing::runEventsUntil([&] { return !wakes.empty(); }));
  EXPECT_TRUE(wakes.front().fully);
  EXPECT_GE(wakes.front().monotonic - before, 1'000'000);
}

}  // namespace
}  // namespace lorvex
