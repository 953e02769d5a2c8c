// nextEmission: awaits the next emission of a signal, or a stop request, whichever comes first,
// without any timer. A flow that must wait until some state changes (a running refresh ends) loops:
//
//     while (stillBusy() && !stop.stop_requested()) co_await nextEmission(store, &Store::ended, stop);
//
// The awaiting coroutine resumes on its scope's thread on a later turn of the event loop, never
// from inside the emission (the emitter finishes what it was doing first). It gives true when the
// signal was emitted, false when stop was requested first; a stop already requested does not
// suspend at all. A frame destroyed while it waits (its scope went) disconnects and is never
// resumed.
//
// The sender and the signal are named, never temporaries, as in every co_await expression (GCC 12
// destroys temporaries of a co_await expression twice).
//
// Thread safety: co_await on the scope's thread, with the sender living on that thread; stop may be
// requested from any thread.
#pragma once

#include <QObject>
#include <coroutine>
#include <memory>
#include <stop_token>
#include <utility>

#include "store/async/coroutine_scope.h"

namespace lorvex {

namespace detail {

// One suspended wait; shared by the awaiting frame, the connection and a pending stop.
struct SignalWaiter {
  std::coroutine_handle<> handle;
  std::shared_ptr<ScopeLink> link;
  QMetaObject::Connection connection;
  bool finished = false;  // woken, or its frame is gone
  bool signalled = false;

  // Scope's thread only.
  void wake(bool bySignal) {
    if (finished) return;
    finished = true;
    signalled = bySignal;
    QObject::disconnect(connection);
    if (link->isOpen()) handle.resume();
  }
};

}  // namespace detail

template <typename Sender>
class [[nodiscard]] SignalWait {
 public:
  SignalWait(Sender* sender, void (Sender::*signal)(), std::stop_token stop)
      : sender_(sender), signal_(signal), stop_(std::move(stop)) {}
  SignalWait(SignalWait&&) = default;
  ~SignalWait() {
    onStop_.reset();
    if (waiter_) {
      waiter_->finished = true;
      QObject::disconnect(waiter_->connection);
    }
  }

  bool await_ready() const noexcept { return stop_.stop_requested(); }

  void await_suspend(std::coroutine_handle<> handle) {
    waiter_ = std::make_shared<detail::SignalWaiter>();
    waiter_->handle = handle;
    waiter_->link = CoroutineScope::linkOfFrame(handle.address());
    // Posted, not resumed in place: the emitter is in the middle of changing the state the waiter
    // is about to read.
    waiter_->connection = QObject::connect(sender_, signal_, sender_, [waiter = waiter_] {
      QObject::disconnect(waiter->connection);
      waiter->link->post([waiter] { waiter->wake(true); });
    });
    // Registered last: a stop requested meanwhile wakes the waiter through the event loop.
    onStop_ = std::make_unique<std::stop_callback<StopWaker>>(stop_, StopWaker{waiter_});
  }

  bool await_resume() const { return waiter_ != nullptr && waiter_->signalled; }

 private:
  struct StopWaker {
    std::shared_ptr<detail::SignalWaiter> waiter;
    void operator()() const {
      waiter->link->post([waiter = waiter] { waiter->wake(false); });
    }
  };

  Sender* sender_;
  void (Sender::*signal_)();
  std::stop_token stop_;
  std::shared_ptr<detail::SignalWaiter> waiter_;
  std::unique_ptr<std::stop_callback<StopWaker>> onStop_;  // movable until it suspends
};

// The wait for the next emission of `signal` by `sender`, or for `stop`.
template <typename Sender>
SignalWait<Sender> nextEmission(Sender* sender, void (Sender::*signal)(), const std::stop_token& stop) {
  return SignalWait<Sender>(sender, signal, stop);
}
template <typename Sender>
SignalWait<Sender> nextEmission(Sender* sender, void (Sender::*signal)(), std::stop_token&& stop) = delete;

}  // namespace lorvex
