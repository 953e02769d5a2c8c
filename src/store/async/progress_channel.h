// ProgressChannel<T>: values produced on any thread (a scan's progress) delivered to the store's
// thread in the order they were produced, followed by the end marker. A producer never waits: it
// appends to a queue under a mutex and posts one drain to the consumer's scope only when none is
// pending, so a burst of values costs one event, not one per value.
//
// The consumer's callbacks run on its scope's thread from the event loop; values produced after
// finish() are dropped; nothing is delivered once the consumer's scope is gone.
//
// Thread safety: send() and finish() from any thread; the callbacks run on the scope's thread.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "store/async/coroutine_scope.h"

namespace lorvex {

template <typename T>
class ProgressChannel : public std::enable_shared_from_this<ProgressChannel<T>> {
 public:
  static std::shared_ptr<ProgressChannel> create(const CoroutineScope& consumer, std::function<void(T)> onValue,
                                                 std::function<void()> onEnd) {
    return std::shared_ptr<ProgressChannel>(new ProgressChannel(consumer.link(), std::move(onValue), std::move(onEnd)));
  }

  void send(T value) {
    bool post = false;
    {
      std::lock_guard lock(mutex_);
      if (finished_) return;
      queue_.push_back(std::move(value));
      post = !std::exchange(drainPending_, true);
    }
    if (post) postDrain();
  }

  void finish() {
    bool post = false;
    {
      std::lock_guard lock(mutex_);
      if (finished_) return;
      finished_ = true;
      post = !std::exchange(drainPending_, true);
    }
    if (post) postDrain();
  }

 private:
  ProgressChannel(std::shared_ptr<ScopeLink> link, std::function<void(T)> onValue, std::function<void()> onEnd)
      : link_(std::move(link)), onValue_(std::move(onValue)), onEnd_(std::move(onEnd)) {}

  void postDrain() {
    link_->post([self = this->shared_from_this()] { self->drain(); });
  }

  // Scope's thread. Values and the end marker taken under one lock: an end marker taken here came
  // after every value taken with it.
  void drain() {
    std::deque<T> values;
    bool deliverEnd = false;
    {
      std::lock_guard lock(mutex_);
      values.swap(queue_);
      drainPending_ = false;
      deliverEnd = finished_ && !std::exchange(endDelivered_, true);
    }
    for (auto& value : values) onValue_(std::move(value));
    if (deliverEnd && onEnd_) onEnd_();
  }

  std::shared_ptr<ScopeLink> link_;
  std::function<void(T)> onValue_;
  std::function<void()> onEnd_;

  std::mutex mutex_;
  std::deque<T> queue_;        // guarded by mutex_
  bool drainPending_ = false;  // guarded by mutex_
  bool finished_ = false;      // guarded by mutex_
  bool endDelivered_ = false;  // guarded by mutex_
};

}  // namespace lorvex
