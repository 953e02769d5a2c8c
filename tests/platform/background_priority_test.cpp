#include "platform/background_priority.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace lorvex::platform {
namespace {

struct Seen {
  std::thread::id thread;
  int nice = 0;
  int workerNice = 0;  // of a thread the work started
};

Seen look() {
  Seen seen{std::this_thread::get_id(), currentThreadNice(), 0};
  std::thread([&] { seen.workerNice = currentThreadNice(); }).join();
  return seen;
}

// The work runs on a thread of its own below the caller's priority, as do the threads it starts;
// its result or its exception comes back; the caller keeps its own priority.
TEST(BackgroundPriority, WorkAndItsThreadsRunBelowTheCallerWhoseOwnPriorityStays) {
  const int callerNice = currentThreadNice();
  ASSERT_LT(callerNice, kBackgroundNice) << "the test must start above the background priority";
  const struct {
    const char* kind;
    bool throws;
  } cases[] = {{"returns a value", false}, {"throws", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    Seen seen;
    auto work = [&] {
      seen = look();
      if (c.throws) throw std::runtime_error("failed");
      return 42;
    };
    if (c.throws) {
      EXPECT_THROW(runAtBackgroundPriority(work), std::runtime_error);
    } else {
      EXPECT_EQ(runAtBackgroundPriority(work), 42);
    }
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    EXPECT_EQ(seen.nice, kBackgroundNice);
    EXPECT_EQ(seen.workerNice, kBackgroundNice);
    EXPECT_EQ(currentThreadNice(), callerNice);
  }
  bool ran = false;
  auto noResult = [&] { ran = currentThreadNice() == kBackgroundNice; };
  runAtBackgroundPriority(noResult);
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace lorvex::platform
