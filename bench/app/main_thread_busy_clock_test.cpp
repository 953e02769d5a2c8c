// What the journey benchmark's clock counts as the main thread's handling: each outermost event
// once with the events sent inside it, not the time a nested event loop waits, and CPU time apart
// from waiting. The margins are wide: these are the clock's rules, not speed targets.
#include "main_thread_busy_clock.h"

#include <gtest/gtest.h>
#include <time.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <thread>

#include "ui/support/ui_test_environment.h"

namespace lorvex::bench {
namespace {

using namespace std::chrono_literals;
using Milliseconds = std::chrono::duration<double, std::milli>;

MainThreadBusyClock& clock() {
  static MainThreadBusyClock* application = [] {
    ui::testing::isolateHomeForProcess();
    static int argc = 1;
    static char name[] = "main_thread_busy_clock_test";
    static char* argv[] = {name, nullptr};
    return new MainThreadBusyClock(argc, argv, std::chrono::hours(1));
  }();
  return *application;
}

// Runs `work` when it receives an event.
class Worker final : public QObject {
 public:
  explicit Worker(std::function<void()> work) : work_(std::move(work)) { setObjectName("worker"); }
  bool event(QEvent* event) override {
    if (event->type() != QEvent::User) return QObject::event(event);
    work_();
    return true;
  }

 private:
  std::function<void()> work_;
};

void spinCPU(std::chrono::milliseconds cpu) {
  const auto now = [] {
    timespec time{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
  };
  const auto until = now() + cpu;
  while (now() < until) {
  }
}

struct Case {
  const char* name;
  std::function<void()> work;
  double busyAtLeast;  // ms
  double busyBelow;
  double cpuAtLeast;
  double cpuBelow;
};

TEST(MainThreadBusyClock, CountsEachOutermostEventsHandlingOnce) {
  MainThreadBusyClock& application = clock();
  Worker inner([] { std::this_thread::sleep_for(40ms); });
  const Case cases[] = {
      {"a handler that sleeps: busy, but no CPU", [] { std::this_thread::sleep_for(60ms); }, 60, 1e9, 0, 30},
      {"a handler that computes: busy and CPU", [] { spinCPU(40ms); }, 40, 1e9, 40, 1e9},
      // Three events sent inside one: their 120 ms once, not again with the outer one's.
      {"events sent inside another's handling",
       [&inner] {
         for (int i = 0; i < 3; ++i) {
           QEvent event(QEvent::User);
           QCoreApplication::sendEvent(&inner, &event);
         }
       },
       120, 240, 0, 1e9},
      // A menu's or a dialog's own loop waiting for the person is not handling.
      {"a nested event loop that waits",
       [] {
         QEventLoop loop;
         QTimer::singleShot(300ms, &loop, &QEventLoop::quit);
         loop.exec();
       },
       0, 150, 0, 1e9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Worker worker(c.work);
    application.open();
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&worker, &event);
    const MainThreadBusyClock::Window& window = application.window();
    const double busy = Milliseconds(window.busy).count();
    const double cpu = Milliseconds(window.cpu).count();
    EXPECT_EQ(window.events, 1);
    EXPECT_GE(busy, c.busyAtLeast);
    EXPECT_LT(busy, c.busyBelow);
    EXPECT_GE(cpu, c.cpuAtLeast);
    EXPECT_LT(cpu, c.cpuBelow);
    // The dispatcher's own steps around a wait (from its "about to block" to its "awake") cost a
    // few milliseconds of CPU under the sanitizers, and that time is not handling.
    EXPECT_LE(cpu, busy + 5);
    EXPECT_EQ(window.longestEvent, "User for QObject \"worker\"") << "the event and its receiver";
  }
}

}  // namespace
}  // namespace lorvex::bench
