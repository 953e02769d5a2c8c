// The per-user inotify watch limit, simulated: this test program puts its own inotify_add_watch in
// front of the C library's, so the monitor sees ENOSPC after a chosen number of watches.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <future>
#include <mutex>

#include "platform/clock.h"
#include "platform/log.h"
#include "services/folders/inotify_folder_change_monitor.h"
#include "support/temporary_folder.h"

namespace {
std::atomic<int> remainingWatches{-1};  // -1: no limit
}  // namespace

extern "C" int inotify_add_watch(int fd, const char* path, std::uint32_t mask) {
  int remaining = remainingWatches.load();
  while (remaining >= 0) {
    if (remaining == 0) {
      errno = ENOSPC;
      return -1;
    }
    if (remainingWatches.compare_exchange_weak(remaining, remaining - 1)) break;
  }
  return static_cast<int>(::syscall(SYS_inotify_add_watch, fd, path, mask));
}

namespace lorvex {
namespace {

using lorvex::testing::TemporaryFolder;
using namespace std::chrono_literals;

class InotifyWatchLimitTest : public ::testing::Test {
 protected:
  InotifyWatchLimitTest() {
    previousLog_ =
        platform::setLogSink([this](platform::LogLevel, std::string_view, std::string_view message) {
          std::lock_guard lock(mutex_);
          logLines_.emplace_back(message);
        });
  }
  ~InotifyWatchLimitTest() override {
    remainingWatches.store(-1);
    platform::setLogSink(previousLog_);
  }

  std::mutex mutex_;
  std::vector<std::string> logLines_;
  platform::LogSink previousLog_;
};

TEST_F(InotifyWatchLimitTest, LimitAtARootFailsTheStartAndKeepsTheRunningMonitor) {
  TemporaryFolder first;
  TemporaryFolder second;
  platform::ManualClock clock;
  InotifyFolderChangeMonitor::Options options;
  options.clock = &clock;
  InotifyFolderChangeMonitor monitor(options);
  std::vector<RegisteredFolderChangeBatch> delivered;  // written only during catchUp
  monitor.start({first.path().string()}, std::nullopt,
                [&](const RegisteredFolderChangeBatch& batch) { delivered.push_back(batch); }, {});
  ASSERT_TRUE(monitor.waitUntilWatching(5s));

  remainingWatches.store(0);
  try {
    monitor.start({second.path().string()}, std::nullopt, [](const RegisteredFolderChangeBatch&) {}, {});
    FAIL() << "expected the start to fail";
  } catch (const FolderChangeMonitorError& error) {
    EXPECT_EQ(error.code(), FolderChangeMonitorError::Code::watchLimitReached);
    EXPECT_NE(error.localizedDescription().find("fs.inotify.max_user_watches"), std::string::npos);
  }
  remainingWatches.store(-1);

  first.writeFile("still-watched.png");
  ASSERT_TRUE(monitor.catchUp());
  clock.advance(std::chrono::duration<double>(options.latency).count());
  ASSERT_TRUE(monitor.catchUp());
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].changedURLs, std::vector<std::string>{first / "still-watched.png"});
}

TEST_F(InotifyWatchLimitTest, LimitBelowTheRootEndsMonitoringAndReportsIt) {
  TemporaryFolder root;
  root.makeFolder("a/b/c");
  std::promise<FolderChangeMonitorError::Code> failed;
  InotifyFolderChangeMonitor monitor;
  remainingWatches.store(3);  // the root at start, then the root and "a" again on the monitor thread
  monitor.start(
      {root.path().string()}, std::nullopt, [](const RegisteredFolderChangeBatch&) {},
      [&](const FolderChangeMonitorError& error) { failed.set_value(error.code()); });
  auto future = failed.get_future();
  // However long a loaded machine takes: a monitor that never reports hangs the test.
  EXPECT_EQ(future.get(), FolderChangeMonitorError::Code::watchLimitReached);
  EXPECT_FALSE(monitor.waitUntilWatching(1s));
  std::lock_guard lock(mutex_);
  ASSERT_EQ(logLines_.size(), 1u);
  EXPECT_NE(logLines_[0].find("fs.inotify.max_user_watches"), std::string::npos);
}

}  // namespace
}  // namespace lorvex
