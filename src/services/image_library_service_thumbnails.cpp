// Thumbnail runs and the cache sweep of the library service.
//
// A run renders up to `limit` ready jobs on at most `width` worker threads of its own. The
// calling thread is the only one that claims jobs: it claims while fewer than `width` jobs are in
// flight, and one more each time a job finishes, so two workers never get the same job. The
// workers never wait for anything but the next job, so a run cannot deadlock on its own threads
// (a run waiting on a shared pool whose threads it occupies could). A job that fails is put back
// with a retry time and counted; a failure of the job store itself (claiming, or recording a
// job's failure) ends the run once the jobs in flight have finished. A stop requested by the
// caller ends it the same way: nothing more is claimed, the renders under way finish (each worker
// is busy with at most one file), the workers are joined and the summary so far is returned.
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "model/text/paths.h"
#include "platform/clock.h"
#include "platform/file_attributes.h"
#include "platform/log.h"
#include "services/image_library_service.h"
#include "services/image_library_service_error.h"
#include "services/indexing/scan_error_message.h"
#include "services/library_error_translation.h"

namespace lorvex {

namespace {

struct ThumbnailJobOutcome {
  std::optional<ThumbnailPathUpdate> update;  // set when the thumbnail was stored
  std::exception_ptr storeFailure;            // set when the job's failure could not be recorded
};

// Renders one job and records its result; never throws.
ThumbnailJobOutcome generateOne(const ThumbnailJobRecord& job, const ImageThumbnailGenerating& generator,
                                ThumbnailJobStore& store, const platform::Clock& clock) {
  platform::SignpostInterval interval("Generate");
  ThumbnailJobOutcome outcome;
  try {
    const std::optional<std::string> thumbnailPath = generator.generateThumbnail(job.path, job.fileInfo);
    if (!thumbnailPath) throw ThumbnailGenerationServiceError::generatorReturnedNil(job.path);
    store.completeThumbnailJob(job, *thumbnailPath);
    outcome.update = ThumbnailPathUpdate{job.path, *thumbnailPath};
  } catch (...) {
    const std::string message = errorMessage(std::current_exception());
    try {
      // A file that is gone would fail again at every retry, and its failure be reported each
      // time: its job ends here (the scan that sees it gone marks it missing; one that finds it
      // again gives it a new job).
      if (!platform::fileExists(job.path)) {
        platform::logDebug("ThumbnailGeneration",
                           "Dropped the thumbnail job of a file that is gone: " + job.path);
        store.dropThumbnailJob(job);
      } else {
        store.failThumbnailJob(job, message, clock.now() + thumbnailRetryDelay(job.retryCount));
      }
    } catch (...) {
      outcome.storeFailure = std::current_exception();
    }
  }
  interval.end(outcome.update ? "succeeded" : "failed");
  return outcome;
}

// The worker threads of one run and the two queues between them and the claiming thread.
class ThumbnailWorkers {
 public:
  ThumbnailWorkers(const ImageThumbnailGenerating& generator, ThumbnailJobStore& store,
                   const platform::Clock& clock)
      : generator_(generator), store_(store), clock_(clock) {}

  // Lets the workers finish the jobs they hold, then joins them.
  ~ThumbnailWorkers() {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
    }
    jobReady_.notify_all();
    threads_.clear();
  }

  ThumbnailWorkers(const ThumbnailWorkers&) = delete;
  ThumbnailWorkers& operator=(const ThumbnailWorkers&) = delete;

  // Hands a job to the workers, starting another worker while fewer run than jobs are in flight.
  // Throws std::system_error only when not even one worker could be started (the job is then
  // not queued).
  void submit(ThumbnailJobRecord job, std::size_t jobsInFlight) {
    if (threads_.size() < jobsInFlight) {
      try {
        threads_.emplace_back([this] { work(); });
      } catch (const std::system_error& error) {
        if (threads_.empty()) throw;
        platform::logError("ThumbnailGeneration",
                           std::string("Rendering with fewer thumbnail workers: ") + error.what());
      }
    }
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    jobReady_.notify_one();
  }

  // Waits for the next finished job, in completion order.
  ThumbnailJobOutcome nextOutcome() {
    std::unique_lock lock(mutex_);
    outcomeReady_.wait(lock, [this] { return !outcomes_.empty(); });
    ThumbnailJobOutcome outcome = std::move(outcomes_.front());
    outcomes_.pop_front();
    return outcome;
  }

 private:
  void work() {
    for (;;) {
      ThumbnailJobRecord job;
      {
        std::unique_lock lock(mutex_);
        jobReady_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      ThumbnailJobOutcome outcome = generateOne(job, generator_, store_, clock_);
      {
        std::lock_guard lock(mutex_);
        outcomes_.push_back(std::move(outcome));
      }
      outcomeReady_.notify_one();
    }
  }

  const ImageThumbnailGenerating& generator_;
  ThumbnailJobStore& store_;
  const platform::Clock& clock_;

  std::mutex mutex_;  // guards the three below
  std::deque<ThumbnailJobRecord> jobs_;
  std::deque<ThumbnailJobOutcome> outcomes_;
  bool closing_ = false;
  std::condition_variable jobReady_;
  std::condition_variable outcomeReady_;
  // Touched only by the claiming thread; declared last so the workers are joined before the
  // queues they use go away.
  std::vector<std::jthread> threads_;
};

}  // namespace

ThumbnailJobRunSummary ImageLibraryService::generatePendingThumbnails(std::int64_t limit,
                                                                      std::stop_token stop) {
  return throwingLibraryErrors([&] { return runThumbnailJobs(limit, stop); });
}

ThumbnailCacheSweepSummary ImageLibraryService::sweepThumbnailCache(double cutoff) {
  return throwingLibraryErrors([&] { return sweepCache(cutoff); });
}

ThumbnailJobRunSummary ImageLibraryService::runThumbnailJobs(std::int64_t limit,
                                                             const std::stop_token& stop) {
  if (limit < 1) return ThumbnailJobRunSummary::empty();
  const std::size_t width = thumbnailRunWidth();
  ThumbnailJobStore& store = *repository_;

  ThumbnailJobRunSummary summary;
  std::size_t inFlight = 0;
  std::exception_ptr failure;
  ThumbnailWorkers workers(*thumbnailGenerator_, store, *clock_);

  // Claims one ready job and hands it to a worker; false when nothing was started. After a stop
  // nothing more is claimed, so the run ends as soon as the renders under way are done.
  const auto addNextJob = [&]() -> bool {
    if (failure || summary.attemptedCount >= limit || stop.stop_requested()) return false;
    std::optional<ThumbnailJobRecord> job;
    try {
      job = store.claimNextThumbnailJob(clock_->now());
    } catch (...) {
      failure = std::current_exception();
      return false;
    }
    if (!job) return false;
    try {
      workers.submit(*job, inFlight + 1);
    } catch (...) {
      // The claimed job returns to pending when the library is next opened.
      failure = std::current_exception();
      return false;
    }
    ++summary.attemptedCount;
    ++inFlight;
    return true;
  };

  while (inFlight < width && addNextJob()) {
  }
  while (inFlight > 0) {
    ThumbnailJobOutcome outcome = workers.nextOutcome();
    --inFlight;
    if (outcome.storeFailure) {
      if (!failure) failure = outcome.storeFailure;
    } else if (outcome.update) {
      ++summary.succeededCount;
      summary.succeededThumbnails.push_back(std::move(*outcome.update));
    } else {
      ++summary.failedCount;
    }
    addNextJob();
  }
  if (failure) std::rethrow_exception(failure);
  return summary;
}

ThumbnailCacheSweepSummary ImageLibraryService::sweepCache(double cutoff) {
  const std::set<std::string> liveKeys = repository_->liveThumbnailKeys();
  const std::unordered_set<std::string> referenced(liveKeys.begin(), liveKeys.end());
  ThumbnailCacheSweepSummary summary = thumbnailCacheRemover_->sweepCache(referenced, cutoff);

  std::set<std::string> removedNames;
  for (const std::string& path : summary.removedThumbnailPaths) {
    removedNames.emplace(text::lastPathComponent(path));
  }
  // Images whose thumbnail file is gone lose their key, so they get a job again.
  if (!removedNames.empty()) repository_->clearThumbnailKeys(removedNames);
  return summary;
}

}  // namespace lorvex
