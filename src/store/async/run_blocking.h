// runBlocking: awaits a blocking library call (a search, a scan, a database write) without
// blocking the store's thread. `fn` runs on a thread of `pool`; the awaiting coroutine is resumed
// on its scope's thread with fn's value, or with fn's exception rethrown as the same type.
//
//     auto search = [service, query](std::stop_token stop) { return service->searchImages(query, stop); };
//     auto page = co_await runBlocking(userInitiatedPool(), stop, search);
//
// `fn` takes the stop token (or nothing) and must not touch the awaiting coroutine's owner: the
// owner may be destroyed while fn runs. Then the call still runs to its end on the pool (nothing
// waits for it) and its result is dropped.
//
// The call and the stop token are named, never temporaries: GCC 12 destroys a temporary that is
// created inside a co_await expression twice (a lambda's captures released twice, a stop state's
// count dropped twice). runBlocking copies the callable and refuses temporaries at compile time.
//
// Thread safety: co_await on the scope's thread; the awaiting coroutine must have entered its
// scope.
#pragma once

#include <QThreadPool>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <stop_token>
#include <type_traits>
#include <utility>
#include <variant>

#include "store/async/coroutine_scope.h"
#include "store/async/coroutine_step.h"

namespace lorvex {

namespace detail {

template <typename Fn>
decltype(auto) invokeBlocking(Fn& fn, const std::stop_token& stop) {
  if constexpr (std::is_invocable_v<Fn&, std::stop_token>) {
    return fn(stop);
  } else {
    return fn();
  }
}

template <typename Fn>
using BlockingValue =
    std::decay_t<decltype(invokeBlocking(std::declval<Fn&>(), std::declval<const std::stop_token&>()))>;

template <typename T>
struct BlockingCallState {
  struct Unit {};
  std::variant<std::monostate, std::conditional_t<std::is_void_v<T>, Unit, T>, std::exception_ptr> result;
  bool abandoned = false;  // the awaiting frame is gone; scope's thread only
};

}  // namespace detail

template <typename Fn>
class [[nodiscard]] BlockingCall {
 public:
  using T = detail::BlockingValue<Fn>;

  BlockingCall(QThreadPool& pool, std::stop_token stop, Fn fn)
      : pool_(&pool), stop_(std::move(stop)), fn_(std::move(fn)) {}
  BlockingCall(BlockingCall&&) = default;
  BlockingCall(const BlockingCall&) = delete;
  ~BlockingCall() {
    if (state_) state_->abandoned = true;
  }

  bool await_ready() const noexcept { return false; }

  void await_suspend(std::coroutine_handle<> handle) {
    state_ = std::make_shared<detail::BlockingCallState<T>>();
    auto job = std::make_shared<Job>(
        Job{std::move(fn_), stop_, state_, CoroutineScope::linkOfFrame(handle.address()), handle});
    pool_->start([job] { job->run(); });
  }

  T await_resume() {
    if (auto* error = std::get_if<std::exception_ptr>(&state_->result)) std::rethrow_exception(*error);
    if constexpr (!std::is_void_v<T>) return std::move(std::get<1>(state_->result));
  }

 private:
  struct Job {
    Fn fn;
    std::stop_token stop;
    std::shared_ptr<detail::BlockingCallState<T>> state;
    std::shared_ptr<ScopeLink> link;
    std::coroutine_handle<> handle;

    void run() {
      try {
        if constexpr (std::is_void_v<T>) {
          detail::invokeBlocking(fn, stop);
          state->result.template emplace<1>();
        } else {
          state->result.template emplace<1>(detail::invokeBlocking(fn, stop));
        }
      } catch (...) {
        state->result = std::current_exception();
      }
      // The result was written before the post, and the event queue orders the two.
      link->post([state = state, handle = handle] {
        if (state->abandoned) return;
        lastResumedCoroutineStep = &typeid(Fn);
        handle.resume();
      });
    }
  };

  QThreadPool* pool_;
  std::stop_token stop_;
  Fn fn_;
  std::shared_ptr<detail::BlockingCallState<T>> state_;
};

template <typename Fn>
BlockingCall<std::decay_t<Fn>> runBlocking(QThreadPool& pool, const std::stop_token& stop, Fn&& fn) {
  static_assert(std::is_lvalue_reference_v<Fn>,
                "name the call in a local first: GCC 12 destroys temporaries of a co_await expression twice");
  return BlockingCall<std::decay_t<Fn>>(pool, stop, fn);
}
// A stop token made inside the co_await expression would be destroyed twice as well.
template <typename Fn>
void runBlocking(QThreadPool& pool, std::stop_token&& stop, Fn&& fn) = delete;

}  // namespace lorvex
