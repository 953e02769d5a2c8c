// StoreTask<T>: the handle of one asynchronous flow the store started (a search, a page load, a
// scan). The store keeps handles in its fields, compares them by identity to tell whether a
// finishing flow is still the current one, cancels superseded flows, and lets a second caller
// join a flow already running instead of starting another: any number of coroutines may await one
// handle and each gets the same result (or the same exception) on its own scope's thread.
//
// Cancellation is cooperative: cancel() requests stop on the task's stop source; the flow sees it
// through the stop token it was started with (and passes it on to blocking calls and sleeps).
//
// Thread safety: handles are created, awaited and compared on the scope's thread; cancel() and
// stopToken() may be called from any thread.
#pragma once

#include <qcoro/qcorotask.h>

#include <atomic>
#include <coroutine>
#include <cstdint>
#include <exception>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "store/async/coroutine_scope.h"

namespace lorvex {

namespace detail {

std::uint64_t nextStoreTaskID();

struct Nothing {};

template <typename T>
using StoredValue = std::conditional_t<std::is_void_v<T>, Nothing, T>;

template <typename T>
struct StoreTaskState {
  // One coroutine waiting for the result; cleared when its frame goes away first.
  struct Waiter {
    std::coroutine_handle<> handle;
    std::shared_ptr<ScopeLink> link;
    bool gone = false;
  };

  std::uint64_t id = nextStoreTaskID();
  std::stop_source stop;
  std::variant<std::monostate, StoredValue<T>, std::exception_ptr> result;
  std::vector<std::shared_ptr<Waiter>> waiters;

  bool isFinished() const { return result.index() != 0; }

  void finish(std::variant<std::monostate, StoredValue<T>, std::exception_ptr> value) {
    result = std::move(value);
    for (auto& waiter : std::exchange(waiters, {})) {
      // Queued, not resumed from here: the waiters run after the finishing flow has returned,
      // each on its own scope's thread, and not at all once their frame or scope is gone.
      waiter->link->post([waiter] {
        if (!waiter->gone) waiter->handle.resume();
      });
    }
  }
};

}  // namespace detail

template <typename T = void>
class StoreTask {
 public:
  using value_type = T;

  StoreTask() = default;
  explicit StoreTask(std::shared_ptr<detail::StoreTaskState<T>> state) : state_(std::move(state)) {}

  explicit operator bool() const { return state_ != nullptr; }
  std::uint64_t id() const { return state_ ? state_->id : 0; }
  bool isFinished() const { return state_ && state_->isFinished(); }
  void cancel() const {
    if (state_) state_->stop.request_stop();
  }
  bool isCancelled() const { return state_ && state_->stop.stop_requested(); }
  std::stop_token stopToken() const { return state_ ? state_->stop.get_token() : std::stop_token(); }

  // Identity: two handles are equal when they are handles of the same flow.
  friend bool operator==(const StoreTask& a, const StoreTask& b) { return a.state_ == b.state_; }

  // Joins the flow: its value, or its exception rethrown, once it has finished. The awaiting
  // coroutine must have entered its scope.
  auto operator co_await() const {
    struct Awaiter {
      std::shared_ptr<detail::StoreTaskState<T>> state;
      std::shared_ptr<typename detail::StoreTaskState<T>::Waiter> waiter;

      bool await_ready() const noexcept { return state == nullptr || state->isFinished(); }
      void await_suspend(std::coroutine_handle<> handle) {
        waiter = std::make_shared<typename detail::StoreTaskState<T>::Waiter>();
        waiter->handle = handle;
        waiter->link = CoroutineScope::linkOfFrame(handle.address());
        state->waiters.push_back(waiter);
      }
      T await_resume() {
        if (state == nullptr) throw std::logic_error("awaiting an empty StoreTask handle");
        if (auto* error = std::get_if<std::exception_ptr>(&state->result)) std::rethrow_exception(*error);
        if constexpr (!std::is_void_v<T>) return std::get<1>(state->result);
      }
      ~Awaiter() {
        if (waiter) waiter->gone = true;
      }
    };
    return Awaiter{state_, nullptr};
  }

 private:
  std::shared_ptr<detail::StoreTaskState<T>> state_;
};

namespace detail {

template <typename Fn>
using StartedValue = typename std::invoke_result_t<Fn&, std::stop_token>::value_type;

// The coroutine that runs a started flow and settles its state. `fn` is a parameter so that a
// lambda's captures live in this frame for as long as the flow it returns runs.
template <typename T, typename Fn>
QCoro::Task<void> runStoreTask(CoroutineScope* scope, std::shared_ptr<StoreTaskState<T>> state, Fn fn) {
  auto frame = co_await scope->enter();
  std::variant<std::monostate, StoredValue<T>, std::exception_ptr> result;
  // Named: a temporary made inside a co_await expression is destroyed twice by GCC 12.
  const std::stop_token stop = state->stop.get_token();
  try {
    if constexpr (std::is_void_v<T>) {
      co_await fn(stop);
      result.template emplace<1>();
    } else {
      result.template emplace<1>(co_await fn(stop));
    }
  } catch (...) {
    result = std::current_exception();
  }
  state->finish(std::move(result));
  scope->release(state->id);
}

}  // namespace detail

// Starts `fn(stopToken)` (a coroutine returning QCoro::Task<T>) as a flow owned by `scope` and
// returns its handle. The flow runs at once up to its first suspension.
//
// Inside a co_await expression, pass it a named callable, never a lambda written in place: GCC 12
// destroys a temporary argument made inside a co_await expression twice (the same holds for every
// call in a co_await expression; runBlocking and sleep refuse temporaries outright).
template <typename Fn>
StoreTask<detail::StartedValue<Fn>> startStoreTask(CoroutineScope& scope, Fn fn) {
  using T = detail::StartedValue<Fn>;
  auto state = std::make_shared<detail::StoreTaskState<T>>();
  QCoro::Task<void> runner = detail::runStoreTask<T>(&scope, state, std::move(fn));
  // A flow that finished without suspending has already released itself; its runner frees its
  // frame when `runner` goes out of scope here.
  if (!runner.isReady()) scope.adopt(state->id, state->stop, std::move(runner));
  return StoreTask<T>(std::move(state));
}

}  // namespace lorvex
