#include "services/indexing/image_library_indexing_metrics.h"

#include <charconv>

#include "platform/clock.h"

namespace lorvex {
namespace {

constexpr std::size_t kOperationCount = enumCaseCount<ImageLibraryIndexingMetricOperation>();

// Nanoseconds as milliseconds with two decimals ("1.23"); to_chars ignores the process locale.
void appendMilliseconds(std::string& line, std::uint64_t nanoseconds) {
  char buffer[64];
  const double milliseconds = static_cast<double>(nanoseconds) / 1'000'000.0;
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, milliseconds, std::chars_format::fixed, 2);
  line.append(buffer, result.ptr);
}

}  // namespace

ImageLibraryIndexingMetricsCollector::ImageLibraryIndexingMetricsCollector(
    std::int64_t jobID, ImageLibraryIndexingMetricsMode mode, std::vector<std::string> rootPaths,
    std::int64_t changedPathCount, const platform::Clock* clock)
    : clock_(clock != nullptr ? *clock : platform::systemClock()),
      jobID_(jobID),
      mode_(mode),
      rootPaths_(std::move(rootPaths)),
      changedPathCount_(changedPathCount),
      startedAt_(now()) {}

std::uint64_t ImageLibraryIndexingMetricsCollector::now() const {
  return static_cast<std::uint64_t>(clock_.monotonicNanoseconds());
}

void ImageLibraryIndexingMetricsCollector::record(ImageLibraryIndexingMetricOperation operation,
                                                  std::int64_t count, std::uint64_t elapsedNanoseconds) {
  auto& total = operationTotals_[static_cast<std::size_t>(operation)];
  if (!total) total = OperationTotal{};
  if (count > 0) total->count += count;
  total->invocationCount += 1;
  total->elapsedNanoseconds += elapsedNanoseconds;
}

ImageLibraryIndexingMetricsSnapshot ImageLibraryIndexingMetricsCollector::snapshot(
    ImageLibraryIndexingMetricsOutcome outcome) const {
  ImageLibraryIndexingMetricsSnapshot snapshot;
  snapshot.jobID = jobID_;
  snapshot.mode = mode_;
  snapshot.outcome = std::move(outcome);
  snapshot.rootPaths = rootPaths_;
  snapshot.changedPathCount = changedPathCount_;
  snapshot.discoveryPassCount = discoveryPassCount;
  snapshot.discoveredFileObservationCount = discoveredFileObservationCount;
  snapshot.processedQueueItemCount = processedQueueItemCount;
  snapshot.unchangedSkipCount = unchangedSkipCount;
  snapshot.failedQueueItemCount = failedQueueItemCount;
  const std::uint64_t end = now();
  snapshot.elapsedNanoseconds = end >= startedAt_ ? end - startedAt_ : 0;
  for (std::size_t i = 0; i < kOperationCount; ++i) {
    if (!operationTotals_[i]) continue;
    snapshot.samples.push_back({static_cast<ImageLibraryIndexingMetricOperation>(i),
                                operationTotals_[i]->count, operationTotals_[i]->invocationCount,
                                operationTotals_[i]->elapsedNanoseconds});
  }
  return snapshot;
}

std::string ImageLibraryIndexingMetricsSnapshot::logLine() const {
  std::string line = "Indexing metrics job=" + std::to_string(jobID);
  line.append(" mode=").append(rawValue(mode));
  line.append(" outcome=")
      .append(outcome.kind == ImageLibraryIndexingMetricsOutcome::Kind::completed ? "completed" : "failed");
  line.append(" roots=").append(std::to_string(rootPaths.size()));
  line.append(" changedPaths=").append(std::to_string(changedPathCount));
  line.append(" passes=").append(std::to_string(discoveryPassCount));
  line.append(" observedFiles=").append(std::to_string(discoveredFileObservationCount));
  line.append(" processedItems=").append(std::to_string(processedQueueItemCount));
  line.append(" unchangedSkips=").append(std::to_string(unchangedSkipCount));
  line.append(" failedItems=").append(std::to_string(failedQueueItemCount));
  line.append(" totalMs=");
  appendMilliseconds(line, elapsedNanoseconds);
  line.append(" ");
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (i > 0) line.append(" ");
    line.append(rawValue(samples[i].operation));
    line.append("=count:").append(std::to_string(samples[i].count));
    line.append(",calls:").append(std::to_string(samples[i].invocationCount));
    line.append(",ms:");
    appendMilliseconds(line, samples[i].elapsedNanoseconds);
  }
  return line;
}

}  // namespace lorvex
