// StoreClock: time as the store's flows read it, injectable so that tests drive debounces,
// throttles and retries without sleeping. Wall time is for stored dates and "seconds since"
// comparisons; monotonic time and sleeps are for everything that waits.
//
// sleep(ns, stop) is awaitable and gives true when the whole time has passed, false when stop was
// requested first; then it ends at once (on the next turn of the event loop), without waiting for
// its deadline.
//
// SystemStoreClock sleeps on QTimer; a long sleep is a chain of timers of at most one day each, so
// no interval ever overflows a timer's int milliseconds. A deadline past the largest monotonic
// reading is that reading: a sleep of the largest count lasts for ever instead of overflowing. FakeStoreClock
// moves only when advanced, and then resumes the sleepers that fall due, in deadline order (equal deadlines
// in the order the sleeps began), each with the clock reading its own deadline.
//
// Thread safety: the clocks' readings may be taken on any thread; sleep, advance and the sleepers
// belong to the store's thread; stop may be requested from any thread.
#pragma once

#include <QPointer>
#include <QTimer>
#include <coroutine>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include "store/async/coroutine_scope.h"

namespace lorvex {

class StoreClock;

namespace detail {

// One suspended sleep; shared by the awaiting frame, the clock's queue or timer and a pending stop.
struct ClockSleeper {
  std::coroutine_handle<> handle;
  std::shared_ptr<ScopeLink> link;
  std::int64_t deadline = 0;  // monotonic nanoseconds
  std::uint64_t sequence = 0;
  bool finished = false;  // resumed, stopped or its frame is gone
  bool sleptFully = false;
  QPointer<QTimer> timer;

  // Ends the sleep and resumes its frame, unless it has ended already or its scope is gone.
  void wake(bool fully);
};

}  // namespace detail

class [[nodiscard]] ClockSleep {
 public:
  ClockSleep(StoreClock& clock, std::int64_t nanoseconds, std::stop_token stop)
      : clock_(&clock), nanoseconds_(nanoseconds), stop_(std::move(stop)) {}
  ClockSleep(ClockSleep&&) = default;
  ~ClockSleep();

  bool await_ready() const noexcept { return nanoseconds_ <= 0 || stop_.stop_requested(); }
  void await_suspend(std::coroutine_handle<> handle);
  bool await_resume() const;

 private:
  struct StopWaker {
    std::shared_ptr<detail::ClockSleeper> sleeper;
    void operator()() const;
  };

  StoreClock* clock_;
  std::int64_t nanoseconds_;
  std::stop_token stop_;
  std::shared_ptr<detail::ClockSleeper> sleeper_;
  std::unique_ptr<std::stop_callback<StopWaker>> onStop_;  // movable until it suspends
};

class StoreClock {
 public:
  virtual ~StoreClock() = default;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual double now() const = 0;
  // Nanoseconds of a monotonic clock; only differences mean anything.
  virtual std::int64_t monotonicNanoseconds() const = 0;

  ClockSleep sleep(std::int64_t nanoseconds, const std::stop_token& stop) {
    return ClockSleep(*this, nanoseconds, stop);
  }
  ClockSleep sleep(std::int64_t nanoseconds) { return ClockSleep(*this, nanoseconds, std::stop_token()); }
  // A stop token made inside the co_await expression would be destroyed twice (GCC 12): name it.
  ClockSleep sleep(std::int64_t nanoseconds, std::stop_token&& stop) = delete;

 protected:
  friend class ClockSleep;
  // Arms a sleeper whose deadline is set; the clock wakes it (fully) when the deadline passes.
  virtual void schedule(const std::shared_ptr<detail::ClockSleeper>& sleeper) = 0;
};

class SystemStoreClock final : public StoreClock {
 public:
  double now() const override;
  std::int64_t monotonicNanoseconds() const override;

 protected:
  void schedule(const std::shared_ptr<detail::ClockSleeper>& sleeper) override;
};

class FakeStoreClock final : public StoreClock {
 public:
  explicit FakeStoreClock(double now = 1'700'000'000.0, std::int64_t monotonic = 0)
      : now_(now), monotonic_(monotonic) {}

  double now() const override { return now_; }
  std::int64_t monotonicNanoseconds() const override { return monotonic_; }

  // Moves both readings forward by `nanoseconds`, waking every sleeper whose deadline falls within,
  // in deadline order (ties in the order the sleeps began). A woken coroutine that sleeps again
  // within the advanced span is woken in the same call.
  void advance(std::int64_t nanoseconds);
  // Sets the wall reading alone, as a person or a time service setting the system clock does; the
  // monotonic reading and the sleepers are not touched.
  void setWallTime(double now) { now_ = now; }
  // Sleeps still waiting for their deadline.
  std::size_t pendingSleeperCount() const;

 protected:
  void schedule(const std::shared_ptr<detail::ClockSleeper>& sleeper) override;

 private:
  double now_;
  std::int64_t monotonic_;
  std::uint64_t nextSequence_ = 0;
  std::vector<std::shared_ptr<detail::ClockSleeper>> sleepers_;
};

}  // namespace lorvex
