// What the journey benchmark's clock counts as the main thread's handling: each outermost event
// once with the events sent inside it, not the time a nested event loop waits, and CPU time apart
// from waiting. Each rule compares the clock with what the handlers measured of themselves in the
// same run: these are the clock's rules, not speed targets.
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

// What a case's handling measured of itself, to compare the clock with: never a fixed duration, so
// that a loaded machine (sleeps that overrun, a core shared) cannot fail the rules.
struct Measured {
  Milliseconds counted{};   // handling the clock must count, timed inside the handlers
  Milliseconds waited{};    // a nested event loop's wait, which it must not count
  Milliseconds computed{};  // this thread's CPU time spent computing in the handlers
};

using Stopwatch = std::chrono::steady_clock;

Milliseconds threadCPU() {
  timespec time{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
  return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

// Runs `work`, adding its wall time to `into`.
void timed(Milliseconds& into, const std::function<void()>& work) {
  const auto start = Stopwatch::now();
  work();
  into += Stopwatch::now() - start;
}

struct Case {
  const char* name;
  std::function<void(Measured&)> work;
  bool computes;  // its handling is CPU time, not a wait
};

TEST(MainThreadBusyClock, CountsEachOutermostEventsHandlingOnce) {
  MainThreadBusyClock& application = clock();
  Measured measured;
  Worker inner([&measured] { timed(measured.counted, [] { std::this_thread::sleep_for(40ms); }); });
  const Case cases[] = {
      {"a handler that sleeps: busy, but no CPU",
       [](Measured& m) { timed(m.counted, [] { std::this_thread::sleep_for(60ms); }); }, false},
      {"a handler that computes: busy and CPU",
       [](Measured& m) {
         const Milliseconds before = threadCPU();
         timed(m.counted, [] { spinCPU(40ms); });
         m.computed = threadCPU() - before;
       },
       true},
      // Three events sent inside one: their time once, not again with the outer one's.
      {"events sent inside another's handling",
       [&inner](Measured&) {
         for (int i = 0; i < 3; ++i) {
           QEvent event(QEvent::User);
           QCoreApplication::sendEvent(&inner, &event);
         }
       },
       false},
      // A menu's or a dialog's own loop waiting for the person is not handling.
      {"a nested event loop that waits",
       [](Measured& m) {
         timed(m.waited, [] {
           QEventLoop loop;
           QTimer::singleShot(300ms, &loop, &QEventLoop::quit);
           loop.exec();
         });
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    measured = {};
    Worker worker([&] { c.work(measured); });
    application.open();
    const Milliseconds cpuBefore = threadCPU();
    const auto start = Stopwatch::now();
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&worker, &event);
    const Milliseconds sent = Stopwatch::now() - start;
    const Milliseconds sentCPU = threadCPU() - cpuBefore;
    const MainThreadBusyClock::Window& window = application.window();
    const Milliseconds busy = window.busy;
    const Milliseconds cpu = window.cpu;
    EXPECT_EQ(window.events, 1);
    // Everything the handlers did, counted once: never more than the whole send took.
    EXPECT_GE(busy.count(), measured.counted.count());
    EXPECT_LE(busy.count(), sent.count());
    if (measured.waited.count() > 0) {
      EXPECT_LT(2 * busy.count(), measured.waited.count()) << "the wait counted";
    }
    // CPU time of this thread within the send, and for a handler that waits, well below its time.
    EXPECT_LE(cpu.count(), sentCPU.count());
    if (c.computes) {
      EXPECT_GE(cpu.count(), 0.9 * measured.computed.count()) << "the computing not counted as CPU";
    } else {
      EXPECT_LT(2 * cpu.count(), std::max(busy, measured.waited).count()) << "a wait counted as CPU";
    }
    EXPECT_EQ(window.longestEvent, "User for QObject \"worker\"") << "the event and its receiver";
  }
}

}  // namespace
}  // namespace lorvex::bench
