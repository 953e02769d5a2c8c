#include "store/async/store_thread_pools.h"

#include <QThread>
#include <algorithm>
#include <climits>
#include <string>
#include <utility>

#include "platform/long_lived_threads.h"

namespace lorvex {

bool waitForPoolUntil(QThreadPool& pool, std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  // Once its jobs are done the pool also joins its idle threads.
  return pool.waitForDone(static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX)));
}

void registerPoolAtProgramEnd(QThreadPool& pool, std::string name) {
  platform::registerLongLivedThreads(
      std::move(name), platform::LongLivedThreadsRole::workers,
      [&pool](std::chrono::steady_clock::time_point deadline) { return waitForPoolUntil(pool, deadline); });
}

QThreadPool& userInitiatedPool() {
  static QThreadPool* const pool = [] {
    auto* created = new QThreadPool();
    created->setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
    registerPoolAtProgramEnd(*created, "the user-initiated pool");
    return created;
  }();
  return *pool;
}

QThreadPool& utilityPool() {
  static QThreadPool* const pool = [] {
    auto* created = new QThreadPool();
    created->setMaxThreadCount(4);
    created->setThreadPriority(QThread::LowPriority);
    registerPoolAtProgramEnd(*created, "the utility pool");
    return created;
  }();
  return *pool;
}

}  // namespace lorvex
