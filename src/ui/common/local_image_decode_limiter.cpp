#include "ui/common/local_image_decode_limiter.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>
#include <thread>
#include <utility>

namespace lorvex::ui {

LocalImageDecodeLimiter::LocalImageDecodeLimiter(int limit) : limit_(limit) {
  if (limit < 1) throw std::invalid_argument("a decode limiter needs at least one permit");
}

int LocalImageDecodeLimiter::limitForProcessorCount(int processorCount) {
  return processorCount > 3 ? std::max(2, std::min(processorCount / 2, 4)) : 2;
}

LocalImageDecodeLimiter& LocalImageDecodeLimiter::shared() {
  static LocalImageDecodeLimiter limiter(
      limitForProcessorCount(static_cast<int>(std::thread::hardware_concurrency())));
  return limiter;
}

LocalImageDecodeLimiter::Acquisition LocalImageDecodeLimiter::acquirePermit(
    std::function<void()> whenGranted) {
  const std::lock_guard lock(mutex_);
  if (activeCount_ < limit_) {
    ++activeCount_;
    return {true, 0};
  }
  const WaiterId id = nextWaiterId_++;
  waiters_.push_back({id, std::move(whenGranted)});
  return {false, id};
}

bool LocalImageDecodeLimiter::cancelWaiter(WaiterId id) {
  const std::lock_guard lock(mutex_);
  const auto it =
      std::find_if(waiters_.begin(), waiters_.end(), [id](const Waiter& w) { return w.id == id; });
  if (it == waiters_.end()) return false;
  waiters_.erase(it);
  return true;
}

void LocalImageDecodeLimiter::releasePermit() {
  std::function<void()> next;
  {
    const std::lock_guard lock(mutex_);
    if (waiters_.empty()) {
      assert(activeCount_ > 0);
      if (activeCount_ > 0) --activeCount_;
      return;
    }
    // The permit passes straight to the oldest waiter: activeCount stays the same.
    next = std::move(waiters_.front().whenGranted);
    waiters_.pop_front();
  }
  if (next) next();
}

int LocalImageDecodeLimiter::activeCount() const {
  const std::lock_guard lock(mutex_);
  return activeCount_;
}

int LocalImageDecodeLimiter::waiterCount() const {
  const std::lock_guard lock(mutex_);
  return static_cast<int>(waiters_.size());
}

}  // namespace lorvex::ui
