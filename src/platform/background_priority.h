// Background work below the window's priority. A scan or a thumbnail batch keeps every processor
// busy for minutes; at the window's own priority its threads share the processors evenly with the
// GUI thread and with the helper threads Qt's raster painter hands large fills to and waits for, so
// a repaint waits its turn behind the indexing. On Linux a thread's nice value is its own and the
// threads it starts inherit it, so work run here, and every worker it starts, yields to the window.
//
// A thread cannot raise its priority again without privileges, so the work gets a thread of its
// own: a pool thread that ran it stays at its priority for the user's next search.
//
// Thread safety: callable from any thread.
#pragma once

#include <future>
#include <thread>
#include <type_traits>

namespace lorvex::platform {

// The nice value background threads run at (the window's threads keep 0).
inline constexpr int kBackgroundNice = 10;

// Lowers the calling thread to kBackgroundNice (never raises it); false when the system refused.
bool lowerCurrentThreadToBackgroundPriority();

// The calling thread's nice value.
int currentThreadNice();

// Runs `work` on a thread of its own at the background priority, waits for it and returns its
// result, or rethrows what it threw. The caller's own priority is unchanged.
template <class Work>
std::invoke_result_t<Work&> runAtBackgroundPriority(Work& work) {
  std::packaged_task<std::invoke_result_t<Work&>()> task([&work] { return work(); });
  auto result = task.get_future();
  std::thread([&task] {
    lowerCurrentThreadToBackgroundPriority();
    task();
  }).join();
  return result.get();
}

}  // namespace lorvex::platform
