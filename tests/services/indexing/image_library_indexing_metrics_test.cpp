#include "services/indexing/image_library_indexing_metrics.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"
#include "platform/log.h"
#include "services/indexing/image_library_indexing_metrics_logger.h"

namespace lorvex {
namespace {

using Operation = ImageLibraryIndexingMetricOperation;

TEST(IndexingMetricsCollectorTest, AccumulatesPerOperationAndListsSamplesInOperationOrder) {
  platform::ManualClock clock(0, 1'000);
  ImageLibraryIndexingMetricsCollector collector(7, ImageLibraryIndexingMetricsMode::fullScan, {"/a", "/b"},
                                                 0, &clock);
  collector.record(Operation::completeJob, 1, 50);
  collector.record(Operation::enqueueFile, 1, 10);
  collector.record(Operation::enqueueFile, 1, 15);
  collector.record(Operation::computeContentHash, 0, 5);    // no hasher configured: a run of nothing
  collector.record(Operation::discoverEnumeration, -3, 2);  // a negative count adds nothing
  collector.discoveryPassCount = 2;
  collector.discoveredFileObservationCount = 4;
  collector.processedQueueItemCount = 3;
  collector.unchangedSkipCount = 1;
  collector.failedQueueItemCount = 1;
  clock.advanceMonotonic(2'500'000);

  const auto snapshot = collector.snapshot(ImageLibraryIndexingMetricsOutcome::failed("disk gone"));

  ImageLibraryIndexingMetricsSnapshot expected;
  expected.jobID = 7;
  expected.mode = ImageLibraryIndexingMetricsMode::fullScan;
  expected.outcome = ImageLibraryIndexingMetricsOutcome::failed("disk gone");
  expected.rootPaths = {"/a", "/b"};
  expected.discoveryPassCount = 2;
  expected.discoveredFileObservationCount = 4;
  expected.processedQueueItemCount = 3;
  expected.unchangedSkipCount = 1;
  expected.failedQueueItemCount = 1;
  expected.elapsedNanoseconds = 2'500'000;
  expected.samples = {
      {Operation::discoverEnumeration, 0, 1, 2},
      {Operation::enqueueFile, 2, 2, 25},
      {Operation::computeContentHash, 0, 1, 5},
      {Operation::completeJob, 1, 1, 50},
  };
  EXPECT_EQ(snapshot, expected);
}

TEST(IndexingMetricsSnapshotTest, LogLineListsCountersThenSamples) {
  ImageLibraryIndexingMetricsSnapshot snapshot;
  snapshot.jobID = 42;
  snapshot.mode = ImageLibraryIndexingMetricsMode::changedPaths;
  snapshot.outcome = ImageLibraryIndexingMetricsOutcome::failed("secret text");
  snapshot.rootPaths = {"/photos"};
  snapshot.changedPathCount = 3;
  snapshot.discoveryPassCount = 1;
  snapshot.discoveredFileObservationCount = 5000;
  snapshot.processedQueueItemCount = 2500;
  snapshot.unchangedSkipCount = 10;
  snapshot.failedQueueItemCount = 2;
  snapshot.elapsedNanoseconds = 1'234'567;
  snapshot.samples = {
      {Operation::discoverEnumeration, 5, 1, 6'000},
      {Operation::computeContentHash, 0, 2, 4'000},
      {Operation::completeJob, 1, 1, 12'345'678'901},
  };
  EXPECT_EQ(snapshot.logLine(),
            "Indexing metrics job=42 mode=changedPaths outcome=failed roots=1 changedPaths=3 passes=1 "
            "observedFiles=5000 processedItems=2500 unchangedSkips=10 failedItems=2 totalMs=1.23 "
            "discoverEnumeration=count:5,calls:1,ms:0.01 computeContentHash=count:0,calls:2,ms:0.00 "
            "completeJob=count:1,calls:1,ms:12345.68");

  ImageLibraryIndexingMetricsSnapshot empty;
  empty.mode = ImageLibraryIndexingMetricsMode::resume;
  EXPECT_EQ(
      empty.logLine(),
      "Indexing metrics job=0 mode=resume outcome=completed roots=0 changedPaths=0 passes=0 observedFiles=0 "
      "processedItems=0 unchangedSkips=0 failedItems=0 totalMs=0.00 ");
}

TEST(IndexingMetricsLoggerTest, WritesOneInfoLineUnderIndexingPerformance) {
  struct Message {
    platform::LogLevel level;
    std::string category, text;
  };
  std::vector<Message> messages;
  const auto previous =
      platform::setLogSink([&](platform::LogLevel level, std::string_view category, std::string_view text) {
        messages.push_back({level, std::string(category), std::string(text)});
      });
  ImageLibraryIndexingMetricsSnapshot snapshot;
  snapshot.jobID = 3;
  ImageLibraryIndexingMetricsLogger().record(snapshot);
  platform::setLogSink(previous);

  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].level, platform::LogLevel::info);
  EXPECT_EQ(messages[0].category, "IndexingPerformance");
  EXPECT_EQ(messages[0].text, snapshot.logLine());
}

}  // namespace
}  // namespace lorvex
