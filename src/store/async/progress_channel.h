// ProgressChannel<T>: values produced on any thread (a scan's progress) delivered to the store's
// thread in the order they were produced, followed by the end marker. A producer never waits: it
// appends to a queue under a mutex and posts one drain to the consumer's scope only when none is
// pending, so a burst of values costs one event, not one per value.
//
// A scan sends a value per file, spread out in time, so "bursts" are single values and each would
// wake the consumer's event loop on its own. A drain that delivered values therefore keeps the
// drain pending and looks again after kBatchInterval: while values keep coming the consumer wakes
// at most once per interval and takes everything sent meanwhile; a drain that finds nothing ends
// the wait. finish() posts its own drain at once, so the end marker (and every value before it)
// reaches the consumer ahead of anything the producer posts after finishing.
//
// The consumer's callbacks run on its scope's thread from the event loop; values produced after
// finish() are dropped; nothing is delivered once the consumer's scope is gone.
//
// Thread safety: send() and finish() from any thread; the callbacks run on the scope's thread.
#pragma once

#include <QPointer>
#include <QTimer>
#include <chrono>
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
  // Progress is shown as a count and a bar, for which ten changes a second are plenty; each
  // wake-up of the consumer's event loop costs tens of microseconds of its thread.
  static constexpr std::chrono::milliseconds kBatchInterval{100};

  static std::shared_ptr<ProgressChannel> create(const CoroutineScope& consumer,
                                                 std::function<void(T)> onValue,
                                                 std::function<void()> onEnd) {
    return std::shared_ptr<ProgressChannel>(
        new ProgressChannel(consumer.link(), std::move(onValue), std::move(onEnd)));
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
    {
      std::lock_guard lock(mutex_);
      if (finished_) return;
      finished_ = true;
      drainPending_ = true;
    }
    // Always now, even while a batch waits for its interval: the end must not wait for a timer.
    postDrain();
  }

 private:
  ProgressChannel(std::shared_ptr<ScopeLink> link, std::function<void(T)> onValue,
                  std::function<void()> onEnd)
      : link_(std::move(link)), onValue_(std::move(onValue)), onEnd_(std::move(onEnd)) {}

  void postDrain() {
    link_->post([self = this->shared_from_this()] { self->drain(); });
  }

  // Scope's thread. Values and the end marker taken under one lock: an end marker taken here came
  // after every value taken with it.
  void drain() {
    std::deque<T> values;
    bool deliverEnd = false;
    bool lookAgain = false;
    {
      std::lock_guard lock(mutex_);
      values.swap(queue_);
      deliverEnd = finished_ && !std::exchange(endDelivered_, true);
      // More values may follow these: keep the drain pending and come back after the interval.
      lookAgain = !values.empty() && !finished_;
      drainPending_ = lookAgain;
    }
    for (auto& value : values) onValue_(std::move(value));
    if (deliverEnd && onEnd_) onEnd_();
    if (lookAgain) {
      scheduleDrain();
    } else if (batchTimer_ != nullptr) {
      batchTimer_->deleteLater();  // this may be its timeout
      batchTimer_ = nullptr;
    }
  }

  // Scope's thread. One timer serves a whole run of batches: a timer per batch costs more than
  // the batch.
  void scheduleDrain() {
    if (batchTimer_ == nullptr) {
      QObject* context = link_->context();
      if (context == nullptr) return;  // the consumer is gone; nothing is delivered any more
      batchTimer_ = new QTimer(context);
      batchTimer_->setSingleShot(true);
      batchTimer_->setInterval(kBatchInterval);
      // Weak: a timer left behind by a producer that never finished must not keep it alive.
      QObject::connect(batchTimer_, &QTimer::timeout, batchTimer_, [weak = this->weak_from_this()] {
        if (auto self = weak.lock()) self->drain();
      });
    }
    batchTimer_->start();
  }

  std::shared_ptr<ScopeLink> link_;
  std::function<void(T)> onValue_;
  std::function<void()> onEnd_;
  // Scope's thread only; owned by the scope's context object, so gone with it.
  QPointer<QTimer> batchTimer_;

  std::mutex mutex_;
  std::deque<T> queue_;        // guarded by mutex_
  bool drainPending_ = false;  // guarded by mutex_
  bool finished_ = false;      // guarded by mutex_
  bool endDelivered_ = false;  // guarded by mutex_
};

}  // namespace lorvex
