// The models refuse to be used from a thread other than the one that created them (in builds with
// assertions): a call from a pool thread stops the program instead of racing with the main thread.
#include "store/async/creating_thread.h"

#include <gtest/gtest.h>

#include <thread>

#include "store/results/search_result_window.h"

namespace lorvex {
namespace {

TEST(CreatingThread, KnowsItsThread) {
  CreatingThread creatingThread;
  EXPECT_TRUE(creatingThread.isCurrent());
  bool elsewhere = true;
  std::thread([&] { elsewhere = creatingThread.isCurrent(); }).join();
  EXPECT_FALSE(elsewhere);
}

#ifndef NDEBUG
TEST(CreatingThreadDeathTest, AModelUsedFromAnotherThreadStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  SearchResultWindow window;
  EXPECT_DEATH(std::thread([&] { (void)window.records(); }).join(), "thread that created it");
  EXPECT_DEATH(std::thread([&] { window.invalidateLoads(); }).join(), "thread that created it");
}
#endif

}  // namespace
}  // namespace lorvex
