// The store and its models belong to the thread that created them (the main thread): their state
// is unguarded and their signals reach views directly. Every public member checks that it runs on
// that thread, in Debug and sanitizer builds; Release builds compile the check away.
//
// Thread safety: check() may be called from any thread (that is what it checks).
#pragma once

#include <cassert>
#include <thread>

namespace lorvex {

class CreatingThread {
 public:
  CreatingThread() = default;

  void check() const {
    assert(std::this_thread::get_id() == creator_ && "called off the thread that created it");
  }
  bool isCurrent() const { return std::this_thread::get_id() == creator_; }

 private:
  std::thread::id creator_ = std::this_thread::get_id();
};

}  // namespace lorvex
