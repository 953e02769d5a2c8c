// Scans run off the main thread with their progress shown as it comes, and the results refreshed
// now and then while images are being indexed.
#include <algorithm>
#include <climits>
#include <exception>
#include <memory>
#include <stop_token>
#include <utility>

#include "platform/background_priority.h"
#include "store/async/progress_channel.h"
#include "store/async/run_blocking.h"
#include "store/library/library_model.h"
#include "store/library_failure.h"

namespace lorvex {

namespace {

// A refresh at most every this many newly indexed images, or every this many seconds.
constexpr std::int64_t kIndexingRefreshImageStep = 100;
constexpr double kIndexingRefreshSeconds = 2.0;

using ProgressValues = ProgressChannel<ImageLibraryIndexingProgress>;

// The scan's side of a run: ends the progress channel however the operation leaves, so the last
// value is followed by the end before the result is handed back.
struct EndsChannelOnExit {
  ProgressValues& channel;
  ~EndsChannelOnExit() { channel.finish(); }
};

}  // namespace

double LibraryModel::indexingRefreshClockSeconds() const {
  return static_cast<double>(context_.clock().monotonicNanoseconds()) / 1e9;
}

QCoro::Task<std::optional<ImageLibraryScanSummary>> LibraryModel::runIndexingOperation(
    IndexingPriority priority, IndexingOperation operation) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  // The values are applied from the event loop on this thread, and only while the store's scope
  // is open: a scan outliving the store reports into nothing.
  auto channel = ProgressValues::create(
      context_.scope(),
      [this](ImageLibraryIndexingProgress value) {
        setIndexingProgress(std::move(value));
        refreshResultsForIndexingProgress(*indexingProgress_);
      },
      nullptr);
  setLastIndexingResultRefreshIndexedCount(0);
  setLastIndexingResultRefreshAt(indexingRefreshClockSeconds());

  // The job owns the channel and the operation (and with it whatever service it uses): the store
  // may be gone before the job ends.
  auto scan = [channel, operation = std::move(operation)](std::stop_token stop) {
    const EndsChannelOnExit ends{*channel};
    const ImageLibraryServicing::ProgressHandler progress =
        [&channel](const ImageLibraryIndexingProgress& value) { channel->send(value); };
    // The scan and its workers yield the processors to the window.
    auto run = [&] { return operation(progress, std::move(stop)); };
    return platform::runAtBackgroundPriority(run);
  };
  QThreadPool& pool =
      priority == IndexingPriority::userInitiated ? context_.userInitiatedPool() : context_.utilityPool();
  const std::stop_token stop = indexingStop_.source.get_token();
  std::optional<ImageLibraryScanSummary> summary;
  std::exception_ptr failure;
  try {
    summary = co_await runBlocking(pool, stop, scan);
  } catch (...) {
    failure = std::current_exception();
  }
  // Every value has been applied by now: the job ended the channel before it returned, and the
  // channel's last delivery was posted to this thread ahead of the job's result.
  setIndexingProgress(std::nullopt);
  if (failure) {
    // A scan that stopped (on a full disk, say) stays on the error line until one completes.
    if (!isCancellation(failure)) context_.holdWorkFailure(failure);
    std::rethrow_exception(failure);
  }
  if (summary) {
    context_.releaseWorkFailure();
    // Handed on rather than kept with the summary: a scan of a moved folder names every image in it.
    if (!summary->relocations.empty())
      dependents_.followRelocatedRecords(std::exchange(summary->relocations, {}));
  }
  co_return summary;
}

void LibraryModel::refreshResultsForIndexingProgress(const ImageLibraryIndexingProgress& progress) {
  creatingThread_.check();
  if (progress.phase != ImageLibraryIndexingPhase::indexing) return;
  const std::int64_t indexedCount = progress.indexedCount;
  if (indexedCount <= lastIndexingResultRefreshIndexedCount_) return;
  const double now = indexingRefreshClockSeconds();
  if (indexedCount - lastIndexingResultRefreshIndexedCount_ < kIndexingRefreshImageStep &&
      now - lastIndexingResultRefreshAt_ < kIndexingRefreshSeconds) {
    return;
  }
  if (!dependents_.refreshResultsDuringIndexing()) return;
  // The field is an int; a count past its range is kept at its largest value.
  setLastIndexingResultRefreshIndexedCount(static_cast<int>(std::min<std::int64_t>(indexedCount, INT_MAX)));
  setLastIndexingResultRefreshAt(now);
}

}  // namespace lorvex
