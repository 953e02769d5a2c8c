#include "store/async/coroutine_scope.h"

#include <QMetaObject>
#include <stdexcept>
#include <vector>

namespace lorvex {

void ScopeLink::post(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  // Holding the lock keeps the scope (and so the context) alive until the event is queued; once
  // queued, the context's destruction discards the event unrun.
  if (context_ == nullptr) return;
  QMetaObject::invokeMethod(
      context_,
      [self = shared_from_this(), work = std::move(work)] {
        if (self->isOpen()) work();
      },
      Qt::QueuedConnection);
}

bool ScopeLink::isOpen() const {
  std::lock_guard lock(mutex_);
  return context_ != nullptr;
}

QObject* ScopeLink::context() const {
  std::lock_guard lock(mutex_);
  return context_;
}

namespace detail {

std::unordered_map<void*, TrackedFrame>& trackedFrames() {
  static std::unordered_map<void*, TrackedFrame> frames;
  return frames;
}

}  // namespace detail

ScopeFrame::~ScopeFrame() {
  if (address_ != nullptr) detail::trackedFrames().erase(address_);
}

CoroutineScope::CoroutineScope()
    : context_(std::make_unique<QObject>()), link_(std::make_shared<ScopeLink>()) {
  link_->context_ = context_.get();
}

CoroutineScope::~CoroutineScope() {
  creatingThread_.check();
  {
    std::lock_guard lock(link_->mutex_);
    link_->context_ = nullptr;
  }
  for (auto& [id, task] : started_) task.stop.request_stop();

  // Every frame of ours is suspended now (none runs while its owner is being destroyed). Telling
  // each frame's task object that the frame is finished with makes destroying the task object
  // free the frame; frames whose task object is already gone are ours to destroy.
  auto& frames = detail::trackedFrames();
  std::vector<void*> ours;
  std::vector<void*> orphans;
  for (auto& [address, frame] : frames) {
    if (frame.scope == this) ours.push_back(address);
  }
  for (void* address : ours) {
    if (frames.at(address).markFinished(address)) orphans.push_back(address);
  }
  // Dropping the runners frees their frames, and with them the task objects (and so the frames) of
  // the coroutines they await, down to the innermost.
  auto started = std::move(started_);
  started.clear();
  for (void* address : orphans) {
    const auto found = frames.find(address);
    if (found != frames.end()) found->second.destroy(address);
  }
  // Frames whose task object someone else holds are freed when that holder lets go; they can no
  // longer be resumed, since the link is closed.
  for (void* address : ours) {
    const auto found = frames.find(address);
    if (found != frames.end()) found->second.scope = nullptr;
  }
}

void CoroutineScope::track(void* address, detail::TrackedFrame frame) {
  detail::trackedFrames()[address] = frame;
}

std::shared_ptr<ScopeLink> CoroutineScope::linkOfFrame(void* address) {
  const auto& frames = detail::trackedFrames();
  const auto found = frames.find(address);
  if (found == frames.end() || found->second.scope == nullptr) {
    // Thrown from the awaiter's await_suspend, so it comes out of the co_await that could not
    // suspend safely, in every build.
    throw std::logic_error("a coroutine that suspends must first `co_await scope.enter()`");
  }
  return found->second.scope->link_;
}

void CoroutineScope::adopt(std::uint64_t taskID, std::stop_source stop, QCoro::Task<void> runner) {
  creatingThread_.check();
  started_.emplace(taskID, StartedTask{std::move(stop), std::move(runner)});
}

void CoroutineScope::release(std::uint64_t taskID) {
  creatingThread_.check();
  started_.erase(taskID);
}

}  // namespace lorvex
