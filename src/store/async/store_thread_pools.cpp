#include "store/async/store_thread_pools.h"

#include <QThread>
#include <algorithm>

namespace lorvex {

QThreadPool& userInitiatedPool() {
  static QThreadPool* const pool = [] {
    auto* created = new QThreadPool();
    created->setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
    return created;
  }();
  return *pool;
}

QThreadPool& utilityPool() {
  static QThreadPool* const pool = [] {
    auto* created = new QThreadPool();
    created->setMaxThreadCount(4);
    created->setThreadPriority(QThread::LowPriority);
    return created;
  }();
  return *pool;
}

}  // namespace lorvex
