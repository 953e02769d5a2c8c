// runBlocking: awaits a blocking library call (a search, a scan, a database write) without
// blocking the store's thread. `fn` runs on a thread of `pool`; the awaiting coroutine is resumed
// on its scope's thread with fn's value, or with fn's exception rethrown as the same type.
//
//     auto page = co_await runBlocking(userInitiatedPool(), stop, [service, query](std::stop_token stop) {
//       return service->searchImages(query, stop);
//     });
//
// `fn` takes the stop token (or nothing) and must not touch the awaiting coroutine's owner: the
// owner may be destroyed while fn runs. Then the call still runs to its end on the pool (nothing
// waits for it) and its result is dropped.
//
// Thread safety: co_await on the scope's thread; the awaiting coroutine must have entered its
// scope.
#pragma once

#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <stop_token>
#include <type_traits>
#include <utility>
#include <variant>

#include <QThreadPool>

#include "store/async/coroutine_scope.h"

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
using BlockingValue = std::decay_t<decltype(invokeBlocking(std::declval<Fn&>(), std::declval<const std::stop_token&>()))>;

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
    auto job = std::make_shared<Job>(Job{std::move(fn_), stop_, state_, CoroutineScope::linkOfFrame(handle.address()), handle});
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
        if (!state->abandoned) handle.resume();
      });
    }
  };

  QThreadPool* pool_;
  std::stop_token stop_;
  Fn fn_;
  std::shared_ptr<detail::BlockingCallState<T>> state_;
};

template <typename Fn>
BlockingCall<Fn> runBlocking(QThreadPool& pool, std::stop_token stop, Fn fn) {
  return BlockingCall<Fn>(pool, std::move(stop), std::move(fn));
}

}  // namespace lorvex
