// ScopeExit: runs a step when a coroutine of a scope leaves the block that holds it, by any path:
// a return, an exception, or the destruction of its suspended frame. A workflow uses it to lower
// the busy flags it raised, so that no failure can leave the library marked as busy for good.
//
// Once the scope's link has closed (the owner is being destroyed or is gone) the step is skipped:
// a frame destroyed with its owner, or freed later by whoever still held its task object, must not
// touch the owner.
//
//     setIsIndexing(true);
//     const ScopeExit clearFlags(scope_.link(), [this] { setIsIndexing(false); });
//
// Thread safety: the scope's thread only.
#pragma once

#include <memory>
#include <utility>

#include "store/async/coroutine_scope.h"

namespace lorvex {

template <typename Step>
class [[nodiscard]] ScopeExit {
 public:
  ScopeExit(std::shared_ptr<ScopeLink> link, Step step) : link_(std::move(link)), step_(std::move(step)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (link_->isOpen()) step_();
  }

 private:
  std::shared_ptr<ScopeLink> link_;
  Step step_;
};

}  // namespace lorvex
