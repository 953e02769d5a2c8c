#include "store/record_ref.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "store/async/store_thread_pools.h"

namespace lorvex {

namespace {

// Below this many records one thread compares faster than it can hand out work.
constexpr std::size_t kParallelThreshold = 8192;
constexpr std::size_t kChunkSize = 512;
constexpr int kHelpers = 3;

struct Comparison {
  const std::vector<RecordRef>* a = nullptr;
  const std::vector<RecordRef>* b = nullptr;
  std::size_t chunkCount = 0;
  std::atomic<std::size_t> nextChunk{0};
  std::atomic<std::size_t> finishedChunks{0};
  std::atomic<bool> differs{false};

  // Takes and compares chunks until none is left. A helper that starts after the last chunk was
  // taken returns without touching the lists (which may be gone by then).
  void work() {
    for (;;) {
      const std::size_t chunk = nextChunk.fetch_add(1);
      if (chunk >= chunkCount) return;
      if (!differs.load(std::memory_order_relaxed)) {
        const std::size_t begin = chunk * kChunkSize;
        const std::size_t end = std::min(begin + kChunkSize, a->size());
        for (std::size_t i = begin; i < end; ++i) {
          if (!sameRecord((*a)[i], (*b)[i])) {
            differs = true;
            break;
          }
        }
      }
      if (finishedChunks.fetch_add(1) + 1 == chunkCount) finishedChunks.notify_all();
    }
  }
};

}  // namespace

void releaseRecordsOn(QThreadPool& pool, std::vector<RecordRef> records) {
  if (records.empty()) return;
  pool.start([records = std::move(records)]() mutable { records.clear(); });
}

bool sameRecordLists(const std::vector<RecordRef>& a, const std::vector<RecordRef>& b) {
  if (a.size() != b.size()) return false;
  if (a.size() < kParallelThreshold) return sameRecords(a, b);
  auto comparison = std::make_shared<Comparison>();
  comparison->a = &a;
  comparison->b = &b;
  comparison->chunkCount = (a.size() + kChunkSize - 1) / kChunkSize;
  for (int i = 0; i < kHelpers; ++i) userInitiatedPool().start([comparison] { comparison->work(); });
  comparison->work();
  // Every chunk is taken; wait for those still being compared by a helper.
  for (std::size_t finished = comparison->finishedChunks.load(); finished < comparison->chunkCount;
       finished = comparison->finishedChunks.load()) {
    comparison->finishedChunks.wait(finished);
  }
  return !comparison->differs.load();
}

}  // namespace lorvex
