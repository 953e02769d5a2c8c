#include "platform/clock.h"

#include <time.h>

namespace lorvex::platform {

double SystemClock::now() const {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::int64_t SystemClock::monotonicNanoseconds() const {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

Clock& systemClock() {
  static SystemClock clock;
  return clock;
}

}  // namespace lorvex::platform
