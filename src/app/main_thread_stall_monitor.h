// The main thread's stall monitor. With LORVEX_STALL_MS=N in the environment the program's
// QApplication is a StallMonitoringApplication: its notify() times every event the main thread
// handles (timers, posted calls, input, paints, …) and logs, under the category "MainThreadStall",
// each one whose handling took longer than N ms: how long, the event type, the receiver's class and
// objectName (for a receiver without a name, also its nearest named ancestor), and the store
// coroutine step resumed while it ran, when there was one. Events handled inside another event's
// handling (a sendEvent, a layout pass) are logged on their own too, with their nesting depth.
// The time the thread spends waiting in a nested event loop (a context menu, a dialog) while it
// handles an event is not handling, and is not counted.
//
// Without the variable (or with a value that is not a whole number of milliseconds) the program
// makes a plain QApplication: no notify override, no event filter, nothing to pay.
//
// Thread safety: the application object is the GUI thread's; events of other threads pass through
// notify() untimed.
#pragma once

#include <QApplication>
#include <chrono>
#include <memory>
#include <optional>
#include <string_view>

namespace lorvex::app {

inline constexpr const char* kStallThresholdVariable = "LORVEX_STALL_MS";

// The threshold a value of LORVEX_STALL_MS asks for: decimal digits only, at most a day; absent
// for anything else (the monitor stays off).
std::optional<std::chrono::milliseconds> parseStallThreshold(std::string_view value);

class StallMonitoringApplication : public QApplication {
 public:
  StallMonitoringApplication(int& argc, char** argv, std::chrono::milliseconds threshold);
  ~StallMonitoringApplication() override;

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  using Clock = std::chrono::steady_clock;

  std::chrono::milliseconds threshold_;
  int depth_ = 0;
  // Time spent blocked in the main thread's event dispatcher, summed; a nested loop's wait is
  // taken out of the events around it.
  Clock::duration blocked_{};
  std::optional<Clock::time_point> blockedSince_;
};

// The program's QApplication: the monitoring one when LORVEX_STALL_MS holds a threshold (the
// monitor says so once in the log), else a plain one.
std::unique_ptr<QApplication> makeLorvexQApplication(int& argc, char** argv);

}  // namespace lorvex::app
