#include "store/async/store_clock.h"

#include <algorithm>
#include <limits>

#include "platform/clock.h"

namespace lorvex {

namespace {

// The longest single timer of a chained sleep: far below the int milliseconds a QTimer takes.
constexpr std::int64_t kLongestTimerMilliseconds = 24LL * 60 * 60 * 1000;

int timerMilliseconds(std::int64_t remainingNanoseconds) {
  // Rounded up, never early; written without adding, so that a remaining time near the largest
  // count cannot overflow.
  const std::int64_t milliseconds =
      remainingNanoseconds / 1'000'000 + (remainingNanoseconds % 1'000'000 > 0 ? 1 : 0);
  return static_cast<int>(std::clamp<std::int64_t>(milliseconds, 1, kLongestTimerMilliseconds));
}

// A deadline `nanoseconds` after `from`: a sleep meant to last "for ever" ends at the largest
// reading instead of overflowing into the past.
std::int64_t deadlineAfter(std::int64_t from, std::int64_t nanoseconds) {
  std::int64_t deadline = 0;
  if (__builtin_add_overflow(from, nanoseconds, &deadline)) return std::numeric_limits<std::int64_t>::max();
  return deadline;
}

}  // namespace

void detail::ClockSleeper::wake(bool fully) {
  if (finished) return;
  finished = true;
  sleptFully = fully;
  if (timer) timer->deleteLater();
  if (link->isOpen()) handle.resume();
}

void ClockSleep::StopWaker::operator()() const {
  sleeper->link->post([sleeper = sleeper] { sleeper->wake(false); });
}

void ClockSleep::await_suspend(std::coroutine_handle<> handle) {
  sleeper_ = std::make_shared<detail::ClockSleeper>();
  sleeper_->handle = handle;
  sleeper_->link = CoroutineScope::linkOfFrame(handle.address());
  sleeper_->deadline = deadlineAfter(clock_->monotonicNanoseconds(), nanoseconds_);
  clock_->schedule(sleeper_);
  // Registered last: a stop already requested wakes the sleeper through the event loop.
  onStop_ = std::make_unique<std::stop_callback<StopWaker>>(stop_, StopWaker{sleeper_});
}

bool ClockSleep::await_resume() const {
  if (sleeper_) return sleeper_->sleptFully;
  return !stop_.stop_requested();
}

ClockSleep::~ClockSleep() {
  onStop_.reset();
  if (sleeper_) {
    sleeper_->finished = true;
    if (sleeper_->timer) sleeper_->timer->deleteLater();
  }
}

double SystemStoreClock::now() const {
  return platform::systemClock().now();
}

std::int64_t SystemStoreClock::monotonicNanoseconds() const {
  return platform::systemClock().monotonicNanoseconds();
}

void SystemStoreClock::schedule(const std::shared_ptr<detail::ClockSleeper>& sleeper) {
  auto* timer = new QTimer(sleeper->link->context());
  timer->setSingleShot(true);
  timer->setTimerType(Qt::PreciseTimer);
  sleeper->timer = timer;
  QObject::connect(timer, &QTimer::timeout, timer, [timer, sleeper] {
    if (sleeper->finished) return;
    const std::int64_t remaining = sleeper->deadline - platform::systemClock().monotonicNanoseconds();
    if (remaining <= 0) {
      sleeper->wake(true);
    } else {
      timer->start(timerMilliseconds(remaining));
    }
  });
  timer->start(timerMilliseconds(sleeper->deadline - monotonicNanoseconds()));
}

void FakeStoreClock::schedule(const std::shared_ptr<detail::ClockSleeper>& sleeper) {
  sleeper->sequence = nextSequence_++;
  sleepers_.push_back(sleeper);
}

void FakeStoreClock::advance(std::int64_t nanoseconds) {
  const std::int64_t target = deadlineAfter(monotonic_, nanoseconds);
  for (;;) {
    std::erase_if(sleepers_, [](const auto& sleeper) { return sleeper->finished; });
    const auto due = std::min_element(sleepers_.begin(), sleepers_.end(), [](const auto& a, const auto& b) {
      return a->deadline != b->deadline ? a->deadline < b->deadline : a->sequence < b->sequence;
    });
    if (due == sleepers_.end() || (*due)->deadline > target) break;
    const auto sleeper = *due;
    sleepers_.erase(due);
    if (sleeper->deadline > monotonic_) {
      now_ += static_cast<double>(sleeper->deadline - monotonic_) / 1e9;
      monotonic_ = sleeper->deadline;
    }
    sleeper->wake(true);
  }
  if (target > monotonic_) {
    now_ += static_cast<double>(target - monotonic_) / 1e9;
    monotonic_ = target;
  }
}

std::size_t FakeStoreClock::pendingSleeperCount() const {
  return static_cast<std::size_t>(std::count_if(sleepers_.begin(), sleepers_.end(),
                                                [](const auto& sleeper) { return !sleeper->finished; }));
}

}  // namespace lorvex
