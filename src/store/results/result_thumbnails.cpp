// Thumbnails for the results on screen: queueing a visible-priority job per record shown without
// one, and generating queued jobs in batches that write their new paths into the loaded records.
#include <exception>
#include <stop_token>
#include <utility>
#include <vector>

#include "platform/background_priority.h"
#include "platform/log.h"
#include "store/async/run_blocking.h"
#include "store/results/results_model.h"

namespace lorvex {

void ResultsModel::requestThumbnailIfMissing(const std::string& path) {
  creatingThread_.check();
  if (context_.needsLiveServicePreparation()) return;
  // The result window only: a delete candidate shown by the Trash review is not in it, and is
  // not queued from here.
  const auto position = resultWindow_->index(path);
  if (!position) return;
  const ImageRecord& record = *resultWindow_->records()[static_cast<std::size_t>(*position)];
  if (record.isMissing || record.thumbnailPath) return;
  // Kept by nobody: each qualifying call queues again, and the request ends with the store.
  context_.startDetached(
      [this, service = context_.service(), path] { return enqueueThumbnailJob(service, path); });
}

QCoro::Task<void> ResultsModel::enqueueThumbnailJob(std::shared_ptr<ImageLibraryServicing> service,
                                                    std::string path) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  platform::SignpostInterval interval("Enqueue");
  auto enqueue = [service, paths = std::vector<std::string>{std::move(path)}] {
    service->enqueueThumbnailJobs(paths);
  };
  // A queued job is cheap and short; nothing stops it.
  const std::stop_token noStop;
  bool queued = true;
  try {
    co_await runBlocking(context_.utilityPool(), noStop, enqueue);
  } catch (...) {
    // The job is asked for again the next time the record is shown; nothing to tell the user.
    queued = false;
  }
  interval.end(queued ? "completed" : "failed");
  if (queued) startBackgroundThumbnailGeneration();
}

void ResultsModel::startBackgroundThumbnailGeneration() {
  creatingThread_.check();
  if (context_.needsLiveServicePreparation()) return;
  if (backgroundThumbnailGenerationTask_) return;
  auto batch = [this, service = context_.service()](std::stop_token stop) {
    return runThumbnailBatch(service, stop);
  };
  setBackgroundThumbnailGenerationTask(startStoreTask(context_.scope(), batch));
}

QCoro::Task<void> ResultsModel::runThumbnailBatch(std::shared_ptr<ImageLibraryServicing> service,
                                                  std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  auto generate = [service](std::stop_token batchStop) {
    // The batch's decoders yield the processors to the window.
    auto run = [&] { return service->generatePendingThumbnails(kThumbnailBatchLimit, batchStop); };
    return platform::runAtBackgroundPriority(run);
  };
  ThumbnailJobRunSummary summary;
  try {
    summary = co_await runBlocking(context_.utilityPool(), stop, generate);
  } catch (...) {
    // A failed batch is an empty one: nothing to apply and no restart; the next start retries.
    summary = ThumbnailJobRunSummary::empty();
  }
  // Only this batch's own handle is cleared: a batch started after this one was replaced must
  // keep its handle, or a second batch could start beside it.
  if (backgroundThumbnailGenerationTask_.stopToken() == stop) setBackgroundThumbnailGenerationTask({});
  if (stop.stop_requested()) co_return;
  resultWindow_->updateThumbnailPaths(summary.succeededThumbnails);
  if (summary.attemptedCount >= kThumbnailBatchLimit) startBackgroundThumbnailGeneration();
}

}  // namespace lorvex
