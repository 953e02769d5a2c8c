// Time as the program reads it. Stored dates are wall-clock seconds since 1970 (a double);
// throttles, timeouts and lock-wait measurements use the monotonic clock. Code that depends on time
// takes a Clock& so that tests can drive it with ManualClock instead of sleeping.
//
// Thread safety: SystemClock and ManualClock may be used from any thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace lorvex::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual double now() const = 0;
  // A monotonic reading in nanoseconds; only differences are meaningful.
  virtual std::int64_t monotonicNanoseconds() const = 0;
};

class SystemClock final : public Clock {
 public:
  double now() const override;
  std::int64_t monotonicNanoseconds() const override;
};

// The process-wide real clock.
Clock& systemClock();

// A clock that moves only when told to.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(double now = 1'700'000'000.0, std::int64_t monotonic = 0)
      : now_(now), monotonic_(monotonic) {}

  double now() const override { return now_.load(); }
  std::int64_t monotonicNanoseconds() const override { return monotonic_.load(); }

  void setNow(double seconds) { now_.store(seconds); }
  // Moves both readings forward.
  void advance(double seconds) {
    now_.store(now_.load() + seconds);
    monotonic_.fetch_add(static_cast<std::int64_t>(seconds * 1e9));
  }
  void advanceMonotonic(std::int64_t nanoseconds) { monotonic_.fetch_add(nanoseconds); }

 private:
  std::atomic<double> now_;
  std::atomic<std::int64_t> monotonic_;
};

}  // namespace lorvex::platform
