// The main-thread stall monitor: which events it logs and what it says about them, through the
// monitoring application itself (each test runs in a process of its own, so it can make one).
#include "app/main_thread_stall_monitor.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "store/async/coroutine_scope.h"
#include "store/async/run_blocking.h"
#include "store/async/store_task.h"
#include "store/async/store_thread_pools.h"

namespace lorvex::app {
namespace {

using namespace std::chrono_literals;

constexpr auto kThreshold = 100ms;
constexpr auto kSlow = 250ms;

char programName[] = "main_thread_stall_monitor_test";
char* programArguments[] = {programName, nullptr};
int programArgumentCount = 1;

class CapturedStalls {
 public:
  CapturedStalls() {
    previous_ =
        platform::setLogSink([this](platform::LogLevel, std::string_view category, std::string_view message) {
          if (category == "MainThreadStall") lines.emplace_back(message);
        });
  }
  ~CapturedStalls() { platform::setLogSink(previous_); }

  std::vector<std::string> lines;

 private:
  platform::LogSink previous_;
};

// However long a loaded machine takes: a state that never comes hangs the test.
void runUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Takes `busy` in its key handler: an input event that costs what the test says.
class KeyWidget : public QWidget {
 public:
  std::chrono::milliseconds busy{0};
  bool pressed = false;

 protected:
  void keyPressEvent(QKeyEvent*) override {
    std::this_thread::sleep_for(busy);
    pressed = true;
  }
};

// A store coroutine whose step after its blocking call costs `busy`.
QCoro::Task<void> indexStepAfterRead(CoroutineScope& scope, std::stop_token stop,
                                     std::chrono::milliseconds busy, bool& done) {
  auto frame = co_await scope.enter();
  auto readRows = [] { return 1; };
  co_await runBlocking(userInitiatedPool(), stop, readRows);
  std::this_thread::sleep_for(busy);
  done = true;
}

TEST(MainThreadStallMonitor, LogsEachEventSlowerThanTheThresholdWithWhatItWas) {
  StallMonitoringApplication application(programArgumentCount, programArguments, kThreshold);
  CapturedStalls stalls;
  KeyWidget keys;
  keys.setObjectName("stall.keys");
  QObject context;
  context.setObjectName("stall.context");
  CoroutineScope scope;

  struct Case {
    std::string what;
    // Starts the event; the flag turns true once it was handled.
    std::function<void(std::chrono::milliseconds, bool&)> start;
    std::vector<std::string> named;  // in the logged line of a slow one
  };
  const std::vector<Case> cases = {
      {"timer",
       [&](std::chrono::milliseconds busy, bool& done) {
         auto* timer = new QTimer(&context);
         timer->setObjectName("stall.timer");
         timer->setSingleShot(true);
         QObject::connect(timer, &QTimer::timeout, timer, [timer, busy, &done] {
           std::this_thread::sleep_for(busy);
           done = true;
           timer->deleteLater();
         });
         timer->start(0);
       },
       {"handling Timer for QTimer \"stall.timer\""}},
      {"posted call",
       [&](std::chrono::milliseconds busy, bool& done) {
         QMetaObject::invokeMethod(
             &context,
             [busy, &done] {
               std::this_thread::sleep_for(busy);
               done = true;
             },
             Qt::QueuedConnection);
       },
       {"handling MetaCall for QObject \"stall.context\""}},
      {"input",
       [&](std::chrono::milliseconds busy, bool& done) {
         keys.busy = busy;
         keys.pressed = false;
         QCoreApplication::postEvent(&keys, new QKeyEvent(QEvent::KeyPress, Qt::Key_F, Qt::NoModifier, "f"));
         QTimer::singleShot(0, &context, [&keys, &done] { done = keys.pressed; });
       },
       {"handling KeyPress for QWidget \"stall.keys\""}},
      {"coroutine step",
       [&](std::chrono::milliseconds busy, bool& done) {
         startStoreTask(scope, [&scope, busy, &done](std::stop_token stop) {
           return indexStepAfterRead(scope, stop, busy, done);
         });
       },
       {"handling MetaCall for", "coroutine step after", "indexStepAfterRead"}},
  };
  for (const Case& c : cases) {
    for (const auto busy : {kSlow, 0ms}) {
      SCOPED_TRACE(c.what + (busy > 0ms ? " (slow)" : " (quick)"));
      stalls.lines.clear();
      bool done = false;
      c.start(busy, done);
      runUntil([&] { return done; });
      ASSERT_TRUE(done);
      QCoreApplication::processEvents();
      if (busy == 0ms) {
        EXPECT_TRUE(stalls.lines.empty()) << stalls.lines.front();
        continue;
      }
      ASSERT_EQ(stalls.lines.size(), 1u);
      const std::string& line = stalls.lines.front();
      EXPECT_TRUE(line.starts_with("main thread busy ")) << line;
      const long long milliseconds = std::stoll(line.substr(std::string("main thread busy ").size()));
      EXPECT_GE(milliseconds, kSlow.count()) << line;
      for (const std::string& part : c.named) EXPECT_NE(line.find(part), std::string::npos) << line;
    }
  }
}

TEST(MainThreadStallMonitor, TimeWaitingInANestedLoopIsNotHandling) {
  StallMonitoringApplication application(programArgumentCount, programArguments, kThreshold);
  CapturedStalls stalls;
  QObject context;
  bool done = false;
  // As a context menu's exec() does: the handler waits for the person in a loop of its own.
  QMetaObject::invokeMethod(
      &context,
      [&done] {
        QEventLoop menu;
        QTimer::singleShot(kSlow, &menu, &QEventLoop::quit);
        menu.exec();
        done = true;
      },
      Qt::QueuedConnection);
  runUntil([&] { return done; });
  ASSERT_TRUE(done);
  EXPECT_TRUE(stalls.lines.empty()) << stalls.lines.front();
}

TEST(MainThreadStallMonitor, OnlyAWholeNumberOfMillisecondsTurnsItOn) {
  struct Case {
    const char* value;
    std::optional<std::chrono::milliseconds> threshold;
  };
  const Case cases[] = {{"16", 16ms},
                        {"0", 0ms},
                        {"86400000", 86'400'000ms},
                        {"", std::nullopt},
                        {"-5", std::nullopt},
                        {"16ms", std::nullopt},
                        {" 16", std::nullopt},
                        {"1e3", std::nullopt},
                        {"86400001", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(parseStallThreshold(c.value), c.threshold) << '"' << c.value << '"';

  // Off, the program's application is the plain one: nothing stands between Qt and the handlers.
  for (const char* value : {static_cast<const char*>(nullptr), "soon", "16"}) {
    SCOPED_TRACE(value != nullptr ? value : "(unset)");
    if (value != nullptr) {
      setenv(kStallThresholdVariable, value, 1);
    } else {
      unsetenv(kStallThresholdVariable);
    }
    const std::unique_ptr<QApplication> application =
        makeLorvexQApplication(programArgumentCount, programArguments);
    EXPECT_EQ(dynamic_cast<StallMonitoringApplication*>(application.get()) != nullptr,
              value != nullptr && std::string(value) == "16");
  }
  unsetenv(kStallThresholdVariable);
}

}  // namespace
}  // namespace lorvex::app
