// The process-wide bound on how many image decodes run at once. Every view that shows an image
// file decodes through one limiter, so a screenful of tiles, the preview and the slideshow share
// the same few permits instead of flooding the machine with full-size decodes.
//
// Waiters are served strictly in arrival order. A waiter that no longer wants its permit (its
// tile scrolled away) is taken out of the queue with cancelWaiter; once a permit was handed to it,
// cancelling changes nothing and the holder releases the permit as usual.
//
// Thread safety: all members may be called from any thread. `whenGranted` callbacks run on the
// thread that calls releasePermit, outside the limiter's lock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace lorvex::ui {

class LocalImageDecodeLimiter {
 public:
  using WaiterId = std::uint64_t;

  // What acquirePermit did: `granted` when a permit was free (the caller holds it now and
  // `whenGranted` is dropped), otherwise the id of the queued waiter.
  struct Acquisition {
    bool granted = false;
    WaiterId waiterId = 0;
  };

  // `limit` must be at least 1.
  explicit LocalImageDecodeLimiter(int limit);
  LocalImageDecodeLimiter(const LocalImageDecodeLimiter&) = delete;
  LocalImageDecodeLimiter& operator=(const LocalImageDecodeLimiter&) = delete;

  // The permits for a machine with `processorCount` active processors: 2 up to 5, then half the
  // processors, at most 4. Decoding is memory-bound; more permits only raise peak memory.
  static int limitForProcessorCount(int processorCount);

  // The program's limiter, made on first use with the limit for this machine's processors.
  static LocalImageDecodeLimiter& shared();

  Acquisition acquirePermit(std::function<void()> whenGranted);

  // Takes the waiter out of the queue; true when it was still waiting (it will never be granted).
  bool cancelWaiter(WaiterId id);

  // Gives one permit back: to the oldest waiter when there is one, else to the pool. Called once
  // for every permit obtained.
  void releasePermit();

  int limit() const { return limit_; }
  int activeCount() const;
  int waiterCount() const;

 private:
  struct Waiter {
    WaiterId id;
    std::function<void()> whenGranted;
  };

  const int limit_;
  mutable std::mutex mutex_;
  int activeCount_ = 0;         // guarded by mutex_
  std::deque<Waiter> waiters_;  // guarded by mutex_, oldest first
  WaiterId nextWaiterId_ = 1;   // guarded by mutex_
};

}  // namespace lorvex::ui
