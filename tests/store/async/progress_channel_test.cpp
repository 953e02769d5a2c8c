// Progress sent from a pool thread reaches the store's thread complete and in order, the end
// marker after every value, and nothing once the consumer is gone.
#include "store/async/progress_channel.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

#include "store/async/coroutine_scope.h"
#include "store/async/store_thread_pools.h"
#include "store/event_loop.h"

namespace lorvex {
namespace {

TEST(ProgressChannel, ValuesFromAPoolThreadArriveInOrderWithTheEndLast) {
  testing::application();
  CoroutineScope scope;
  constexpr std::int64_t kCount = 200'000;
  std::vector<std::int64_t> received;
  received.reserve(kCount);
  int ends = 0;
  std::int64_t receivedAtEnd = -1;
  auto channel = ProgressChannel<std::int64_t>::create(
      scope, [&](std::int64_t value) { received.push_back(value); },
      [&] {
        ++ends;
        receivedAtEnd = static_cast<std::int64_t>(received.size());
      });
  utilityPool().start([channel] {
    for (std::int64_t i = 0; i < kCount; ++i) channel->send(i);
    channel->finish();
    channel->send(-1);  // after the end: dropped
    channel->finish();
  });
  ASSERT_TRUE(testing::runEventsUntil([&] { return ends > 0; }));
  utilityPool().waitForDone();
  testing::drainEvents();
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(receivedAtEnd, kCount);
  ASSERT_EQ(received.size(), static_cast<std::size_t>(kCount));
  for (std::int64_t i = 0; i < kCount; ++i) {
    if (received[static_cast<std::size_t>(i)] != i) {
      ADD_FAILURE() << "value " << i << " arrived as " << received[static_cast<std::size_t>(i)];
      break;
    }
  }
}

// After a delivery the channel waits for its batch interval before it looks again; the end must
// not wait with it. A producer that finishes and then reports its result through the same event
// loop (as a scan job does) has every value and the end delivered before that result, and values
// sent while a batch waits are delivered in order.
TEST(ProgressChannel, TheEndOvertakesAWaitingBatch) {
  testing::application();
  CoroutineScope scope;
  std::vector<int> received;
  int ends = 0;
  std::vector<int> receivedWhenResultArrived;
  int endsWhenResultArrived = -1;
  auto channel = ProgressChannel<int>::create(
      scope, [&](int value) { received.push_back(value); }, [&] { ++ends; });
  channel->send(1);
  ASSERT_TRUE(testing::runEventsUntil([&] { return received.size() == 1; }));
  // The batch timer is armed now: these wait for it, or for the end.
  channel->send(2);
  channel->send(3);
  channel->finish();
  bool resultArrived = false;
  scope.link()->post([&] {
    resultArrived = true;
    receivedWhenResultArrived = received;
    endsWhenResultArrived = ends;
  });
  ASSERT_TRUE(testing::runEventsUntil([&] { return resultArrived; }));
  EXPECT_EQ(receivedWhenResultArrived, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(endsWhenResultArrived, 1);
  // The timer's late look finds nothing more to deliver.
  QEventLoop wait;
  QTimer::singleShot(3 * ProgressChannel<int>::kBatchInterval, &wait, &QEventLoop::quit);
  wait.exec();
  EXPECT_EQ(received, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ends, 1);
}

TEST(ProgressChannel, NothingArrivesOnceTheConsumerIsGone) {
  testing::application();
  auto scope = std::make_unique<CoroutineScope>();
  auto delivered = std::make_shared<int>(0);
  auto channel = ProgressChannel<int>::create(
      *scope, [delivered](int) { ++*delivered; }, [delivered] { ++*delivered; });
  channel->send(1);
  scope.reset();
  channel->send(2);
  channel->finish();
  testing::drainEvents();
  EXPECT_EQ(*delivered, 0);
}

}  // namespace
}  // namespace lorvex
