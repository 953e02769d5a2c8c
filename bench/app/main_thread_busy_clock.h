// The journey benchmark's QApplication: the program's stall monitor (it logs each main-thread event
// handled in more than its threshold, with what it was) that also adds up, for a window of time the
// benchmark opens and closes around each input, how long the main thread spent handling events, and
// which single event took longest. Only outermost events count (the events handled inside another's
// handling are part of it), and, as in the stall monitor, the time spent waiting in a nested event
// loop (a menu, a dialog) is not handling. Beside that wall time, the main thread's CPU time in the
// same handling tells waiting (for the library's writer, or for a core on a busy machine) from work.
//
// Thread safety: GUI thread only; events of other threads pass through untimed.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "app/main_thread_stall_monitor.h"

namespace lorvex::bench {

class MainThreadBusyClock final : public app::StallMonitoringApplication {
 public:
  using Clock = std::chrono::steady_clock;

  struct Window {
    Clock::duration busy{};     // handling, summed
    Clock::duration cpu{};      // the main thread's CPU time in it: busy less waits (a lock, the scheduler)
    Clock::duration longest{};  // the longest single event
    std::string longestEvent;   // what it was: the event type and its receiver
    int events = 0;
  };

  MainThreadBusyClock(int& argc, char** argv, std::chrono::milliseconds stallThreshold);

  bool notify(QObject* receiver, QEvent* event) override;

  // Starts a new window (the one open is dropped).
  void open() { window_ = Window{}; }
  // The window opened last, up to now.
  const Window& window() const { return window_; }

 private:
  int depth_ = 0;
  Clock::duration blocked_{};
  std::optional<Clock::time_point> blockedSince_;
  Window window_;
};

}  // namespace lorvex::bench
