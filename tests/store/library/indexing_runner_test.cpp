// Scans run through the store's indexing runner: every progress value reaches the store in order
// however slowly it reads, the results refresh at most every 100 images or 2 s of monotonic time
// while indexing (never during discovery), the progress is cleared before the outcome is handed
// back, and a scan outliving its store is stopped and touches nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/library_error.h"
#include "store/event_loop.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"

namespace lorvex::testing {
namespace {

using Progress = ImageLibraryIndexingProgress;
using Priority = LibraryModel::IndexingPriority;
using Mode = ResultsModel::BackgroundResultRefreshMode;
constexpr auto kDiscovering = ImageLibraryIndexingPhase::discovering;
constexpr auto kIndexing = ImageLibraryIndexingPhase::indexing;

Progress progress(ImageLibraryIndexingPhase phase, std::int64_t indexed, std::int64_t processed = 0) {
  return Progress{.phase = phase,
                  .processedCount = processed,
                  .totalCount = 0,
                  .indexedCount = indexed,
                  .failedCount = 0,
                  .currentPath = "/library/" + std::to_string(processed) + ".png"};
}

ImageLibraryScanSummary summary(std::int64_t indexed) {
  ImageLibraryScanSummary result;
  result.indexedImageCount = indexed;
  return result;
}

struct Outcome {
  bool done = false;
  std::optional<ImageLibraryScanSummary> summary;
  std::string error;
  std::size_t valuesSeenAtReturn = 0;
};

// Runs the scan and records what its caller gets back, and how many values the store had applied
// by then.
QCoro::Task<void> runScan(ImageLibraryStore& store, Priority priority,
                          LibraryModel::IndexingOperation operation, const std::vector<Progress>& seen,
                          Outcome& outcome) {
  auto run = store.library().runIndexingOperation(priority, std::move(operation));
  try {
    outcome.summary = co_await run;
  } catch (const LibraryError& error) {
    outcome.error = error.localizedDescription();
  } catch (const std::exception& error) {
    outcome.error = error.what();
  }
  outcome.valuesSeenAtReturn = seen.size();
  outcome.done = true;
}

// A scan that waits for the test before each value: the pause is a held scanLibrary call, which the
// harness's drain knows to wait behind. Its summary counts the values.
LibraryModel::IndexingOperation pacedScan(std::shared_ptr<ScriptedImageLibraryService> service,
                                          std::vector<Progress> values) {
  return [service, values](const ImageLibraryServicing::ProgressHandler& report, std::stop_token stop) {
    for (const auto& value : values) {
      service->scanLibrary({}, report, stop);
      report(value);
    }
    return std::optional(summary(static_cast<std::int64_t>(values.size())));
  };
}

struct Fixture {
  Fixture() {
    harness.service->setRecords(makeLibraryRecords(3));
    QObject::connect(&store->library(), &LibraryModel::indexingProgressChanged, [this] {
      if (store->library().indexingProgress()) seen.push_back(*store->library().indexingProgress());
    });
  }
  std::size_t refreshCount() const { return harness.service->calls("searchImages").size(); }
  // Lets a paced scan report its next value, and waits until the store has applied it and every
  // refresh it started has ended or is held.
  bool letScanReport(const Progress& value) {
    if (!harness.service->waitForHeld("scanLibrary")) return false;
    harness.service->release(harness.service->heldCalls("scanLibrary").front().id);
    return runEventsUntil([&] { return !seen.empty() && seen.back() == value; }) && harness.drainEvents();
  }

  StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store = harness.makeStore();
  std::vector<Progress> seen;
  Outcome outcome;
};

TEST(ImageLibraryStoreIndexing, EveryValueArrivesInOrderHoweverSlowlyTheStoreReads) {
  constexpr std::int64_t kValues = 100'000;
  std::vector<Progress> sent;
  for (std::int64_t i = 0; i < kValues; ++i) {
    sent.push_back(i < kValues / 2 ? progress(kDiscovering, 0, i) : progress(kIndexing, i - kValues / 2, i));
  }
  for (const bool storeWaitsForTheWholeScan : {true, false}) {
    SCOPED_TRACE(storeWaitsForTheWholeScan ? "the store reads nothing until the scan has ended"
                                           : "reads as it goes");
    Fixture f;
    std::promise<void> allSent;
    auto scan = [&sent, &allSent](const ImageLibraryServicing::ProgressHandler& report, std::stop_token) {
      for (const auto& value : sent) report(value);
      allSent.set_value();
      return std::optional(summary(kValues / 2));
    };
    auto run = runScan(*f.store, Priority::userInitiated, scan, f.seen, f.outcome);
    if (storeWaitsForTheWholeScan) allSent.get_future().wait();
    ASSERT_TRUE(runEventsUntil([&] { return f.outcome.done; }));
    EXPECT_EQ(f.outcome.valuesSeenAtReturn, sent.size());
    EXPECT_TRUE(f.seen == sent) << "values lost, repeated or reordered";
    EXPECT_EQ(f.outcome.summary->indexedImageCount, kValues / 2);
    EXPECT_FALSE(f.store->library().indexingProgress().has_value());
    f.harness.drainEvents();
  }
}

TEST(ImageLibraryStoreIndexing, ResultsRefreshEveryHundredImagesOrTwoSecondsWhileIndexing) {
  struct Step {
    double atSeconds;  // monotonic, since the scan started
    Progress value;
    bool refreshes;
    double wallShiftSeconds = 0;  // the system clock set by this much before the value
  };
  struct Row {
    const char* name;
    std::vector<Step> steps;
  };
  const Row rows[] = {
      {"discovery never refreshes",
       {{0.1, progress(kDiscovering, 500), false}, {5.0, progress(kDiscovering, 900), false}}},
      {"50, 120, 150 within a second: one refresh, at 120",
       {{0.2, progress(kIndexing, 50), false},
        {0.5, progress(kIndexing, 120), true},
        {0.9, progress(kIndexing, 150), false}}},
      {"a few images after 2 s",
       {{1.9, progress(kIndexing, 10), false},
        {2.0, progress(kIndexing, 11), true},
        {3.9, progress(kIndexing, 20), false},
        {4.0, progress(kIndexing, 21), true}}},
      {"no more indexed than at the last refresh",
       {{0.1, progress(kIndexing, 100), true},
        {9.0, progress(kIndexing, 100), false},
        {9.1, progress(kIndexing, 101), true}}},
      {"a wall clock set back an hour does not hold refreshes back",
       {{1.0, progress(kIndexing, 5), false, -3600},
        {2.5, progress(kIndexing, 6), true},
        {4.5, progress(kIndexing, 7), true}}},
      {"a wall clock set forward does not hurry them",
       {{1.0, progress(kIndexing, 5), false, 3600}, {1.5, progress(kIndexing, 6), false}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Fixture f;
    // Left over from an earlier scan: the runner starts the count and the time afresh.
    LibraryModelTestAccess::setLastIndexingResultRefreshIndexedCount(f.store->library(), 1000);
    f.harness.clock.advance(5'000'000'000);
    const std::int64_t start = f.harness.clock.monotonicNanoseconds();
    f.harness.service->hold("scanLibrary");
    std::vector<Progress> values;
    for (const auto& step : row.steps) values.push_back(step.value);
    auto run =
        runScan(*f.store, Priority::userInitiated, pacedScan(f.harness.service, values), f.seen, f.outcome);
    int lastRefreshedCount = 0;
    double lastRefreshedAt = static_cast<double>(start) / 1e9;
    for (const auto& step : row.steps) {
      ASSERT_TRUE(f.harness.service->waitForHeld("scanLibrary"));
      f.harness.clock.setWallTime(f.harness.clock.now() + step.wallShiftSeconds);
      f.harness.clock.advance(start + static_cast<std::int64_t>(step.atSeconds * 1e9) -
                              f.harness.clock.monotonicNanoseconds());
      const std::size_t refreshesBefore = f.refreshCount();
      ASSERT_TRUE(f.letScanReport(step.value));
      EXPECT_EQ(f.refreshCount() - refreshesBefore, step.refreshes ? 1u : 0u)
          << "at " << step.atSeconds << " s";
      if (step.refreshes) {
        EXPECT_EQ(f.store->results().activeBackgroundResultRefreshMode(), Mode::leadingPage);
        lastRefreshedCount = static_cast<int>(step.value.indexedCount);
        lastRefreshedAt = static_cast<double>(f.harness.clock.monotonicNanoseconds()) / 1e9;
      }
      EXPECT_EQ(f.store->library().lastIndexingResultRefreshIndexedCount(), lastRefreshedCount);
      EXPECT_DOUBLE_EQ(f.store->library().lastIndexingResultRefreshAt(), lastRefreshedAt);
    }
    ASSERT_TRUE(runEventsUntil([&] { return f.outcome.done; }));
    EXPECT_FALSE(f.store->library().indexingProgress().has_value());
  }
}

TEST(ImageLibraryStoreIndexing, OnlyARefreshThatStartedIsRecorded) {
  Fixture f;
  f.store->results().setNeedsFullWindowResultRefresh(true);
  f.harness.service->hold("scanLibrary");
  f.harness.service->hold("searchImages");
  const std::vector<Progress> values{progress(kIndexing, 120), progress(kIndexing, 300),
                                     progress(kIndexing, 310)};
  auto run = runScan(*f.store, Priority::utility, pacedScan(f.harness.service, values), f.seen, f.outcome);
  ASSERT_TRUE(f.letScanReport(values[0]));
  EXPECT_EQ(f.harness.service->heldCalls("searchImages").size(), 1u);
  EXPECT_EQ(f.store->results().activeBackgroundResultRefreshMode(), Mode::fullWindow);
  EXPECT_FALSE(f.store->results().needsFullWindowResultRefresh());
  EXPECT_EQ(f.store->library().lastIndexingResultRefreshIndexedCount(), 120);
  // The refresh at 120 still runs: 300 is refused and changes nothing, so 310 (only 10 past what
  // was recorded) starts the next one once the first has ended.
  f.store->results().setNeedsFullWindowResultRefresh(true);
  ASSERT_TRUE(f.letScanReport(values[1]));
  EXPECT_EQ(f.refreshCount(), 1u);
  EXPECT_EQ(f.store->library().lastIndexingResultRefreshIndexedCount(), 120);
  EXPECT_TRUE(f.store->results().needsFullWindowResultRefresh());
  f.harness.service->release(f.harness.service->heldCalls("searchImages").front().id);
  ASSERT_TRUE(f.harness.drainEvents());
  ASSERT_TRUE(f.letScanReport(values[2]));
  EXPECT_EQ(f.refreshCount(), 2u);
  EXPECT_EQ(f.store->results().activeBackgroundResultRefreshMode(), Mode::fullWindow);
  EXPECT_EQ(f.store->library().lastIndexingResultRefreshIndexedCount(), 310);
  EXPECT_FALSE(f.store->results().needsFullWindowResultRefresh());
  f.harness.service->releaseAll();
  ASSERT_TRUE(runEventsUntil([&] { return f.outcome.done; }));
}

TEST(ImageLibraryStoreIndexing, TheCallerGetsTheOutcomeAfterTheProgressIsCleared) {
  struct Row {
    const char* name;
    Priority priority;
    std::optional<ImageLibraryScanSummary> summary;
    std::exception_ptr error;
    std::string expectedError;
  };
  const Row rows[] = {
      {"a summary", Priority::userInitiated, summary(7), nullptr, ""},
      {"nothing to record", Priority::utility, std::nullopt, nullptr, ""},
      {"a library error", Priority::userInitiated, std::nullopt,
       std::make_exception_ptr(LibraryError(LibraryError::Kind::database, "disk full")), "disk full"},
      {"any other error", Priority::utility, std::nullopt, std::make_exception_ptr(std::runtime_error("odd")),
       "odd"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Fixture f;
    f.harness.service->hold("scanLibrary");
    auto scan = [&row, service = f.harness.service](const ImageLibraryServicing::ProgressHandler& report,
                                                    std::stop_token stop) {
      report(progress(kIndexing, 3));
      service->scanLibrary({}, report, stop);
      if (row.error) std::rethrow_exception(row.error);
      return row.summary;
    };
    bool clearedBeforeReturn = false;
    QObject::connect(&f.store->library(), &LibraryModel::indexingProgressChanged, [&] {
      clearedBeforeReturn = !f.store->library().indexingProgress() && !f.outcome.done;
    });
    auto run = runScan(*f.store, row.priority, scan, f.seen, f.outcome);
    ASSERT_TRUE(f.harness.service->waitForHeld("scanLibrary"));
    ASSERT_TRUE(f.harness.drainEvents());
    EXPECT_EQ(f.store->library().indexingProgress(), progress(kIndexing, 3));
    const auto onPool = [](QThreadPool& pool) { return pool.activeThreadCount() == 1; };
    EXPECT_TRUE(onPool(row.priority == Priority::userInitiated ? f.harness.userInitiatedPool
                                                               : f.harness.utilityPool));
    EXPECT_FALSE(onPool(row.priority == Priority::userInitiated ? f.harness.utilityPool
                                                                : f.harness.userInitiatedPool));
    EXPECT_FALSE(f.harness.service->heldCalls("scanLibrary").front().stop.stop_requested())
        << "the store stops no scan";
    f.harness.service->releaseAll();
    ASSERT_TRUE(runEventsUntil([&] { return f.outcome.done; }));
    EXPECT_TRUE(clearedBeforeReturn);
    EXPECT_FALSE(f.store->library().indexingProgress().has_value());
    EXPECT_EQ(f.outcome.summary, row.summary);
    EXPECT_EQ(f.outcome.error, row.expectedError);
  }
}

TEST(ImageLibraryStoreIndexing, AScanOutlivingItsStoreIsStoppedAndTouchesNothing) {
  StoreHarness harness;
  auto store = harness.makeStore();
  harness.service->hold("scanLibrary");
  auto reportedAfter = std::make_shared<std::promise<void>>();
  auto scan = [service = harness.service, reportedAfter](const ImageLibraryServicing::ProgressHandler& report,
                                                         std::stop_token stop) {
    report(progress(kIndexing, 1));
    service->scanLibrary({}, report, stop);
    for (int i = 2; i < 500; ++i) report(progress(kIndexing, i));
    reportedAfter->set_value();
    return std::optional(ImageLibraryScanSummary{});
  };
  auto run = store->library().runIndexingOperation(Priority::userInitiated, scan);
  ASSERT_TRUE(harness.service->waitForHeld("scanLibrary"));
  const std::stop_token scanStop = harness.service->heldCalls("scanLibrary").front().stop;
  EXPECT_FALSE(scanStop.stop_requested());
  store.reset();
  EXPECT_TRUE(scanStop.stop_requested());
  harness.service->releaseAll();
  reportedAfter->get_future().wait();
  EXPECT_TRUE(harness.drainEvents());
  EXPECT_FALSE(run.isReady());
}

}  // namespace
}  // namespace lorvex::testing
