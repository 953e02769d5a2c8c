#include "ui/common/local_image_decode_limiter.h"

#include <gtest/gtest.h>

#include <vector>

namespace lorvex::ui {
namespace {

TEST(LocalImageDecodeLimiterTest, PermitsFollowTheProcessorCount) {
  const struct {
    int processors;
    int permits;
  } cases[] = {{0, 2}, {1, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 3}, {7, 3}, {8, 4}, {9, 4}, {64, 4}};
  for (const auto& c : cases)
    EXPECT_EQ(LocalImageDecodeLimiter::limitForProcessorCount(c.processors), c.permits) << c.processors;
  EXPECT_THROW(LocalImageDecodeLimiter(0), std::invalid_argument);
}

TEST(LocalImageDecodeLimiterTest, WaitersAreServedOldestFirstAndCancelledOnesNever) {
  LocalImageDecodeLimiter limiter(2);
  std::vector<int> granted;
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(limiter.acquirePermit([&granted, i] { granted.push_back(i); }).granted);
  std::vector<LocalImageDecodeLimiter::WaiterId> waiters;
  for (int i = 2; i < 6; ++i) {
    const auto acquisition = limiter.acquirePermit([&granted, i] { granted.push_back(i); });
    EXPECT_FALSE(acquisition.granted);
    waiters.push_back(acquisition.waiterId);
  }
  EXPECT_EQ(limiter.activeCount(), 2);
  EXPECT_EQ(limiter.waiterCount(), 4);

  EXPECT_TRUE(limiter.cancelWaiter(waiters[1]));  // the waiter of request 3
  EXPECT_FALSE(limiter.cancelWaiter(waiters[1]));
  EXPECT_EQ(limiter.waiterCount(), 3);

  limiter.releasePermit();
  limiter.releasePermit();
  EXPECT_EQ(granted, (std::vector<int>{2, 4}));
  EXPECT_EQ(limiter.activeCount(), 2);             // handed over, not returned
  EXPECT_FALSE(limiter.cancelWaiter(waiters[0]));  // already holds its permit

  limiter.releasePermit();
  EXPECT_EQ(granted, (std::vector<int>{2, 4, 5}));
  EXPECT_EQ(limiter.waiterCount(), 0);
  limiter.releasePermit();
  EXPECT_EQ(limiter.activeCount(), 1);
  EXPECT_TRUE(limiter.acquirePermit(nullptr).granted);
  EXPECT_EQ(limiter.activeCount(), 2);
}

}  // namespace
}  // namespace lorvex::ui
