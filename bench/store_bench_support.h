// What the store benchmarks share: the calling thread's CPU time, a median, and a wait for a store
// flow that lets the main thread sleep in the kernel between events, so its CPU time counts only
// the work done on it.
#pragma once

#include <algorithm>
#include <ctime>
#include <vector>

#include <QEventLoop>
#include <qcoro/qcorotask.h>

namespace lorvex::bench {

// CPU time of the calling thread, in milliseconds.
inline double threadCPUMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Runs the event loop until `task` (a QCoro task) has finished.
template <typename Task>
void waitFor(Task& task) {
  if (task.isReady()) return;
  QEventLoop loop;
  auto quitWhenDone = [](Task& awaited, QEventLoop& quitting) -> QCoro::Task<void> {
    co_await awaited;
    quitting.quit();
  };
  auto watcher = quitWhenDone(task, loop);
  if (!watcher.isReady()) loop.exec();
}

}  // namespace lorvex::bench
