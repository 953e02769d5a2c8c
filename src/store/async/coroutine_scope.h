// The owner of a group of coroutines (the store, a model with asynchronous flows). Every result
// that comes back from another thread, a timer or another task reaches a coroutine of the scope
// through the scope's link, on the scope's thread; once the scope is destroyed nothing resumes and
// nothing of it is touched.
//
// A coroutine of the scope that can suspend says so first, with
//     auto frame = co_await scope.enter();
// which records its frame until the coroutine ends. The scope's destructor requests stop on every
// task it started, destroys every recorded frame that is still suspended (running the frames' local
// destructors, never the code after their suspension points) and returns without waiting for any
// pool job; a job that finishes later finds the link closed and drops its result.
//
// Declare the scope after every member its coroutines use, so that it is destroyed (and its frames
// with it) while those members still exist.
//
// Thread safety: the scope and enter() belong to the thread that created the scope; ScopeLink::post
// may be called from any thread.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <coroutine>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <type_traits>
#include <unordered_map>
#include <utility>

#include "store/async/creating_thread.h"

namespace lorvex {

class CoroutineScope;

// How work finishing elsewhere gets back to a scope's thread. Pool jobs, timers and other tasks
// hold it by shared_ptr; it outlives the scope and then drops whatever is posted to it.
class ScopeLink : public std::enable_shared_from_this<ScopeLink> {
 public:
  // Runs `work` on the scope's thread from its event loop, unless the scope is destroyed before
  // then. Any thread.
  void post(std::function<void()> work);

  // Whether the scope still exists. Scope's thread only.
  bool isOpen() const;

  // The object timers of the scope are parented to; null once the scope is gone. Scope's thread
  // only.
  QObject* context() const;

 private:
  friend class CoroutineScope;
  mutable std::mutex mutex_;
  QObject* context_ = nullptr;  // guarded by mutex_; null once closed
};

// Held in a coroutine's frame from `co_await scope.enter()` to its end.
class [[nodiscard]] ScopeFrame {
 public:
  ScopeFrame() = default;
  explicit ScopeFrame(void* address) : address_(address) {}
  ScopeFrame(ScopeFrame&& other) noexcept : address_(std::exchange(other.address_, nullptr)) {}
  ScopeFrame& operator=(ScopeFrame&&) = delete;
  ScopeFrame(const ScopeFrame&) = delete;
  ~ScopeFrame();

 private:
  void* address_ = nullptr;
};

namespace detail {

// A recorded frame: how to tell its task object that the frame is finished with (QCoro then lets
// whichever of the two comes last free it) and how to destroy it.
struct TrackedFrame {
  CoroutineScope* scope = nullptr;  // null once the scope is gone and the frame is held elsewhere
  bool (*markFinished)(void* address) = nullptr;
  void (*destroy)(void* address) = nullptr;
};

// Frames of every scope by address. Main thread only.
std::unordered_map<void*, TrackedFrame>& trackedFrames();

}  // namespace detail

class CoroutineScope {
 public:
  CoroutineScope();
  ~CoroutineScope();
  CoroutineScope(const CoroutineScope&) = delete;
  CoroutineScope& operator=(const CoroutineScope&) = delete;

  const std::shared_ptr<ScopeLink>& link() const { return link_; }

  // Records the awaiting coroutine's frame; never suspends.
  class [[nodiscard]] Entry {
   public:
    explicit Entry(CoroutineScope* scope) : scope_(scope) {}
    bool await_ready() const noexcept { return false; }
    template <typename Promise>
    bool await_suspend(std::coroutine_handle<Promise> handle) {
      address_ = handle.address();
      scope_->track(address_,
                    detail::TrackedFrame{
                        scope_,
                        [](void* a) {
                          return std::coroutine_handle<Promise>::from_address(a).promise().setDestroyHandle();
                        },
                        [](void* a) { std::coroutine_handle<>::from_address(a).destroy(); }});
      return false;
    }
    ScopeFrame await_resume() { return ScopeFrame(address_); }

   private:
    CoroutineScope* scope_;
    void* address_ = nullptr;
  };
  Entry enter() {
    creatingThread_.check();
    return Entry(this);
  }

  // The link of the scope that recorded the frame at `address`. Throws std::logic_error when no
  // scope did: a coroutine that suspends without `enter()` could neither be resumed safely nor
  // freed with its owner.
  static std::shared_ptr<ScopeLink> linkOfFrame(void* address);

  // Keeps a started task's runner coroutine and its stop source until the runner ends
  // (startStoreTask, store_task.h), so that the destructor can stop and free it.
  void adopt(std::uint64_t taskID, std::stop_source stop, QCoro::Task<void> runner);
  // Called by a runner as its last step: dropping the task object lets the frame free itself as it
  // ends.
  void release(std::uint64_t taskID);

 private:
  void track(void* address, detail::TrackedFrame frame);

  struct StartedTask {
    std::stop_source stop;
    QCoro::Task<void> runner;
  };

  CreatingThread creatingThread_;
  std::unique_ptr<QObject> context_;
  std::shared_ptr<ScopeLink> link_;
  std::unordered_map<std::uint64_t, StartedTask> started_;
};

}  // namespace lorvex
