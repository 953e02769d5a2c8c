// Progress sent from a pool thread reaches the store's thread complete and in order, the end
// marker after every value, and nothing once the consumer is gone.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "store/async/coroutine_scope.h"
#include "store/async/progress_channel.h"
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
