#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>

#include "services/forwarding_image_library_repository.h"
#include "services/image_library_service_error.h"
#include "services/library_service_test_library.h"

namespace lorvex {
namespace {

using testing::LibraryServiceTestLibrary;
using testing::setModificationTime;

// The real repository with hooks before chosen operations (a hook may throw).
class HookedRepository final : public testing::ForwardingImageLibraryRepository {
 public:
  using ForwardingImageLibraryRepository::ForwardingImageLibraryRepository;

  std::optional<ThumbnailJobRecord> claimNextThumbnailJob(double now) override {
    ++claims;
    if (beforeClaim) beforeClaim(claims);
    return ForwardingImageLibraryRepository::claimNextThumbnailJob(now);
  }
  void failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message,
                        double nextRetryAt) override {
    if (beforeFail) beforeFail();
    ForwardingImageLibraryRepository::failThumbnailJob(job, message, nextRetryAt);
  }
  void clearThumbnailKeys(const std::set<std::string>& names) override {
    ++clears;
    ForwardingImageLibraryRepository::clearThumbnailKeys(names);
  }

  std::function<void(int)> beforeClaim;
  std::function<void()> beforeFail;
  std::atomic<int> claims = 0;
  std::atomic<int> clears = 0;
};

// The real generator, except for chosen images (no file), counting renders running at once.
class ObservedGenerator final : public ImageThumbnailGenerating {
 public:
  explicit ObservedGenerator(std::shared_ptr<ImageThumbnailGenerating> real) : real_(std::move(real)) {}

  std::optional<std::string> generateThumbnail(const std::string& path,
                                               const ImageFileInfo& info) const override {
    {
      std::unique_lock lock(mutex_);
      maximum = std::max(maximum, ++running_);
      // Holds the first renders until `awaitedConcurrency` run at once, so the run's width is
      // reached however slowly a loaded machine starts them (bounded only so that a narrower run
      // still finishes, and fails, rather than hanging).
      if (running_ >= awaitedConcurrency) released_ = true;
      changed_.notify_all();
      changed_.wait_for(lock, std::chrono::minutes(2), [&] { return released_; });
    }
    std::optional<std::string> result;
    if (!failing.contains(path)) result = real_->generateThumbnail(path, info);
    std::lock_guard lock(mutex_);
    --running_;
    changed_.notify_all();
    return result;
  }

  std::set<std::string> failing;
  int awaitedConcurrency = 1;
  mutable int maximum = 0;

 private:
  std::shared_ptr<ImageThumbnailGenerating> real_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  mutable int running_ = 0;
  mutable bool released_ = false;
};

// A library whose repository and generator are observed.
struct ThumbnailRunLibrary {
  ThumbnailRunLibrary() {
    repository = std::make_shared<HookedRepository>(*library.graph.database);
    generator = std::make_shared<ObservedGenerator>(library.graph.dependencies.thumbnailGenerator);
    library.graph.dependencies.repository = repository;
    library.graph.dependencies.thumbnailGenerator = generator;
  }

  // Writes `count` images (older ones later in name order), indexes them and queues their jobs.
  ImageLibraryService& indexImages(int count, std::size_t processors = 8) {
    for (int i = 0; i < count; ++i) {
      images.push_back(
          library.writeImage("image-" + std::to_string(100 + i) + ".png", "a cat", 1'600'000'000.0 - i));
    }
    library.graph.dependencies.activeProcessorCount = processors;
    ImageLibraryService& service = library.start();
    library.registerAndScan();
    return service;
  }

  LibraryServiceTestLibrary library;
  std::shared_ptr<HookedRepository> repository;
  std::shared_ptr<ObservedGenerator> generator;
  std::vector<std::string> images;
};

class ThumbnailRunTest : public ::testing::Test, protected ThumbnailRunLibrary {};

TEST(ThumbnailRun, RendersAtMostItsWidthAtOnceAndStopsAtTheLimit) {
  struct Case {
    std::size_t processors;
    int width;
  };
  for (const Case c : {Case{8, 4}, Case{3, 2}}) {
    SCOPED_TRACE(c.processors);
    ThumbnailRunLibrary fixture;
    ImageLibraryService& service = fixture.indexImages(12, c.processors);
    fixture.generator->awaitedConcurrency = c.width;

    const ThumbnailJobRunSummary summary = service.generatePendingThumbnails(10, {});

    EXPECT_EQ(summary.attemptedCount, 10);
    EXPECT_EQ(summary.succeededCount, 10);
    EXPECT_EQ(summary.failedCount, 0);
    EXPECT_EQ(summary.succeededThumbnails.size(), 10u);
    EXPECT_EQ(fixture.generator->maximum, c.width);
    EXPECT_EQ(fixture.library.count("SELECT COUNT(*) FROM thumbnail_jobs"), 2);
    EXPECT_EQ(fixture.library.count("SELECT COUNT(*) FROM thumbnail_jobs WHERE status = 'pending'"), 2);
  }
}

TEST_F(ThumbnailRunTest, NoLimitMeansNoDatabaseWork) {
  ImageLibraryService& service = indexImages(1);
  EXPECT_EQ(service.generatePendingThumbnails(0, {}), ThumbnailJobRunSummary::empty());
  EXPECT_EQ(service.generatePendingThumbnails(-3, {}), ThumbnailJobRunSummary::empty());
  EXPECT_EQ(repository->claims, 0);
}

TEST_F(ThumbnailRunTest, AFailedRenderIsRetriedAfterGrowingDelays) {
  ImageLibraryService& service = indexImages(1);
  generator->failing = {images[0]};
  double due = LibraryServiceTestLibrary::kStart;
  for (const double delay : {60.0, 120.0, 240.0, 480.0, 960.0, 1920.0, 1920.0}) {
    SCOPED_TRACE(delay);
    library.clock.setNow(due);
    const ThumbnailJobRunSummary run = service.generatePendingThumbnails(10, {});
    EXPECT_EQ(run.attemptedCount, 1);
    EXPECT_EQ(run.failedCount, 1);
    EXPECT_EQ(library.count("SELECT COUNT(*) FROM thumbnail_jobs WHERE status = 'pending' AND last_error = "
                            "'サムネイル生成結果が空でした: " +
                            images[0] + "'"),
              1);
    due += delay;
    library.clock.setNow(due - 1);
    EXPECT_EQ(service.generatePendingThumbnails(10, {}).attemptedCount, 0);
  }
  EXPECT_EQ(library.count("SELECT retry_count FROM thumbnail_jobs"), 7);
}

// A failed job of a file that no longer exists would be tried and listed with its error on every
// later run; it ends instead, whether the run finds the file gone or a scan marked it missing.
TEST(ThumbnailRun, FailedJobsOfFilesThatAreGoneAreNotReportedAgain) {
  const struct {
    const char* name;
    bool removed;             // the file is deleted after its first failed render
    bool rescanned;           // and a scan has seen it gone since
    bool listedAfterRetries;  // its failure is still listed after the later runs
  } cases[] = {
      {"still there, still failing", false, false, true},
      {"gone before the retry", true, false, false},
      {"gone and marked missing by a scan", true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ThumbnailRunLibrary fixture;
    ImageLibraryService& service = fixture.indexImages(2);
    const std::string& image = fixture.images[0];
    fixture.generator->failing = {image};
    EXPECT_EQ(service.generatePendingThumbnails(10, {}).failedCount, 1);
    ASSERT_EQ(fixture.library.graph.database->failedThumbnailJobs().size(), 1u);

    if (c.removed) std::filesystem::remove(image);
    if (c.rescanned) fixture.library.registerAndScan();
    for (int run = 1; run <= 3; ++run) {
      fixture.library.clock.setNow(LibraryServiceTestLibrary::kStart + 4000.0 * run);
      service.generatePendingThumbnails(10, {});
    }
    const auto failed = fixture.library.graph.database->failedThumbnailJobs();
    EXPECT_EQ(failed.size(), c.listedAfterRetries ? 1u : 0u);
    if (c.listedAfterRetries) {
      EXPECT_EQ(failed[0].path, image);
    }
    // Nothing is left to try for a file that is gone.
    EXPECT_EQ(fixture.library.count("SELECT COUNT(*) FROM thumbnail_jobs"), c.listedAfterRetries ? 1 : 0);
    // The other image's thumbnail was made all the same.
    EXPECT_NE(fixture.library.record(fixture.images[1])->thumbnailPath, std::nullopt);
  }
}

TEST_F(ThumbnailRunTest, OneFailedRenderDoesNotStopTheOthers) {
  ImageLibraryService& service = indexImages(5);
  generator->failing = {images[1], images[3]};
  const ThumbnailJobRunSummary run = service.generatePendingThumbnails(10, {});
  EXPECT_EQ(run.attemptedCount, 5);
  EXPECT_EQ(run.succeededCount, 3);
  EXPECT_EQ(run.failedCount, 2);
  for (const ThumbnailPathUpdate& update : run.succeededThumbnails) {
    EXPECT_EQ(library.record(update.path)->thumbnailPath, update.thumbnailPath);
  }
}

TEST_F(ThumbnailRunTest, AJobStoreFailureEndsTheRunAfterTheJobsInFlightFinish) {
  ImageLibraryService& service = indexImages(2);
  generator->failing = {images[1]};
  generator->awaitedConcurrency = 2;  // both jobs are in flight when the failure is recorded
  repository->beforeFail = [] { throw SQLiteImageRepositoryV3Error::stepFailed("database is locked"); };

  EXPECT_THROW(
      {
        try {
          service.generatePendingThumbnails(10, {});
        } catch (const SQLiteImageRepositoryV3Error& error) {
          EXPECT_EQ(error.localizedDescription(), "database is locked");
          throw;
        }
      },
      SQLiteImageRepositoryV3Error);
  EXPECT_NE(library.record(images[0])->thumbnailPath, std::nullopt);
  EXPECT_EQ(library.record(images[1])->thumbnailPath, std::nullopt);
}

TEST_F(ThumbnailRunTest, AFailedClaimEndsTheRunAfterTheJobsInFlightFinish) {
  ImageLibraryService& service = indexImages(3);
  repository->beforeClaim = [](int claim) {
    if (claim == 2) throw SQLiteImageRepositoryV3Error::stepFailed("disk I/O error");
  };
  EXPECT_THROW(service.generatePendingThumbnails(10, {}), SQLiteImageRepositoryV3Error);
  EXPECT_NE(library.record(images[0])->thumbnailPath, std::nullopt);
  EXPECT_EQ(library.count("SELECT COUNT(*) FROM thumbnail_jobs"), 2);
}

TEST(ThumbnailRun, AStoppedRunClaimsNothingMoreAndReturnsWhatItRendered) {
  // With 8 processors a run renders 4 at once: claims 1 to 4 start it, each finished job claims
  // the next.
  for (const int stopAtClaim : {0, 1, 3, 6}) {
    SCOPED_TRACE(stopAtClaim);
    ThumbnailRunLibrary fixture;
    ImageLibraryService& service = fixture.indexImages(12);
    std::stop_source stop;
    if (stopAtClaim == 0) stop.request_stop();
    fixture.repository->beforeClaim = [&](int claim) {
      if (claim == stopAtClaim) stop.request_stop();
    };

    const ThumbnailJobRunSummary run = service.generatePendingThumbnails(10, stop.get_token());
    // The claim that saw the stop still hands out its job; no claim follows it.
    EXPECT_EQ(fixture.repository->claims, stopAtClaim);
    EXPECT_EQ(run.attemptedCount, stopAtClaim);
    EXPECT_EQ(run.succeededCount, stopAtClaim);
    EXPECT_EQ(run.succeededThumbnails.size(), static_cast<std::size_t>(stopAtClaim));
    EXPECT_EQ(fixture.library.count("SELECT COUNT(*) FROM thumbnail_jobs WHERE status = 'processing'"), 0);

    // The jobs not claimed wait for the next run.
    fixture.repository->beforeClaim = nullptr;
    EXPECT_EQ(service.generatePendingThumbnails(100, {}).succeededCount, 12 - stopAtClaim);
  }
}

TEST_F(ThumbnailRunTest, TheSweepRemovesOnlyUnreferencedOldFilesAndForgetsTheirKeys) {
  ImageLibraryService& service = indexImages(2);
  service.generatePendingThumbnails(10, {});
  const std::string live = *library.record(images[0])->thumbnailPath;
  const std::string ofMissing = *library.record(images[1])->thumbnailPath;
  std::filesystem::remove(images[1]);
  library.registerAndScan();
  ASSERT_TRUE(library.record(images[1])->isMissing);
  ASSERT_EQ(library.record(images[1])->thumbnailPath, ofMissing);

  const std::string cache = library.graph.thumbnailDirectory;
  const std::string strayOld = cache + "/ab/ab" + std::string(62, '0') + ".jpg";
  const std::string strayRecent = cache + "/cd/cd" + std::string(62, '1') + ".jpg";
  library.folder.writeFile(std::filesystem::relative(strayOld, library.folder.path()).string(), "x");
  library.folder.writeFile(std::filesystem::relative(strayRecent, library.folder.path()).string(), "x");
  const double now = static_cast<double>(std::time(nullptr));
  for (const std::string& old : {live, ofMissing, strayOld}) setModificationTime(old, now - 3600);

  const int clearsBefore = repository->clears;
  const ThumbnailCacheSweepSummary summary = service.sweepThumbnailCache(now - 600);

  EXPECT_EQ(summary.scannedFileCount, 4);
  std::vector<std::string> removed = summary.removedThumbnailPaths;
  std::sort(removed.begin(), removed.end());
  std::vector<std::string> expected{ofMissing, strayOld};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(removed, expected);
  EXPECT_EQ(summary.keptRecentFileCount, 1);
  EXPECT_TRUE(std::filesystem::exists(live));
  EXPECT_TRUE(std::filesystem::exists(strayRecent));
  EXPECT_EQ(library.record(images[0])->thumbnailPath, live);
  EXPECT_EQ(library.record(images[1])->thumbnailPath, std::nullopt);
  EXPECT_EQ(repository->clears, clearsBefore + 1);

  // Nothing left to remove: no database write.
  EXPECT_TRUE(service.sweepThumbnailCache(now - 600).removedThumbnailPaths.empty());
  EXPECT_EQ(repository->clears, clearsBefore + 1);
}

}  // namespace
}  // namespace lorvex
