// Where a scan's time goes. One collector per scan accumulates, per named operation, how many
// items it handled, how often it ran and how long it took, plus a few scan-level counters; at the
// end the scan turns it into one snapshot for its metrics sink. Metrics never influence indexing.
//
// Thread safety: a collector belongs to the thread running its scan and has no lock. Snapshots
// are plain values. Sinks may be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/enum_cases.h"
#include "model/raw_value.h"

namespace lorvex {

namespace platform {
class Clock;
}

enum class ImageLibraryIndexingMetricsMode { fullScan, changedPaths, resume };

template <>
struct RawValueTable<ImageLibraryIndexingMetricsMode> {
  using Raw = std::string_view;
  using M = ImageLibraryIndexingMetricsMode;
  static constexpr std::array<std::pair<M, Raw>, 3> entries{{
      {M::fullScan, "fullScan"},
      {M::changedPaths, "changedPaths"},
      {M::resume, "resume"},
  }};
};

// The timed steps of a scan, in the order samples are listed.
enum class ImageLibraryIndexingMetricOperation {
  discoverEnumeration,    // enumerating a root or a changed path
  discoverFileInfo,       // reading a discovered file's attributes
  enqueueFile,            // inserting a discovered file into the job's queue
  progressFetch,          // reading the job's progress
  beginNextQueueItem,     // claiming the next pending queue item
  processingFileInfo,     // reading the attributes of the item's file
  updateQueueFileInfo,    // storing size and time on the queue item
  indexedFileInfoLookup,  // reading the stored state of the file
  markObserved,           // marking an unchanged file as seen
  parseMetadata,          // opening, reading and parsing the PNG text chunks
  computeContentHash,     // SHA-256 of the file
  relocationLookup,       // finding stored paths with the same content
  generateThumbnail,      // thumbnail generation during indexing
  upsertRecord,           // writing the image's projection
  markIndexed,            // completing the queue item as indexed
  markSeenAfterFailure,   // keeping a failed but present file visible
  markMissing,            // marking paths missing
  markFailed,             // completing the queue item as failed
  markMissingIfNotSeen,   // marking files the job did not see as missing
  completeJob,            // completing the job
};

template <>
struct RawValueTable<ImageLibraryIndexingMetricOperation> {
  using Raw = std::string_view;
  using O = ImageLibraryIndexingMetricOperation;
  static constexpr std::array<std::pair<O, Raw>, 20> entries{{
      {O::discoverEnumeration, "discoverEnumeration"},
      {O::discoverFileInfo, "discoverFileInfo"},
      {O::enqueueFile, "enqueueFile"},
      {O::progressFetch, "progressFetch"},
      {O::beginNextQueueItem, "beginNextQueueItem"},
      {O::processingFileInfo, "processingFileInfo"},
      {O::updateQueueFileInfo, "updateQueueFileInfo"},
      {O::indexedFileInfoLookup, "indexedFileInfoLookup"},
      {O::markObserved, "markObserved"},
      {O::parseMetadata, "parseMetadata"},
      {O::computeContentHash, "computeContentHash"},
      {O::relocationLookup, "relocationLookup"},
      {O::generateThumbnail, "generateThumbnail"},
      {O::upsertRecord, "upsertRecord"},
      {O::markIndexed, "markIndexed"},
      {O::markSeenAfterFailure, "markSeenAfterFailure"},
      {O::markMissing, "markMissing"},
      {O::markFailed, "markFailed"},
      {O::markMissingIfNotSeen, "markMissingIfNotSeen"},
      {O::completeJob, "completeJob"},
  }};
};

// How a scan ended: completed, or failed with the error's message (kept for callers; the log
// line does not write it).
struct ImageLibraryIndexingMetricsOutcome {
  enum class Kind { failed, completed };
  Kind kind = Kind::completed;
  std::string message;  // empty unless failed

  static ImageLibraryIndexingMetricsOutcome completed() { return {Kind::completed, {}}; }
  static ImageLibraryIndexingMetricsOutcome failed(std::string message) {
    return {Kind::failed, std::move(message)};
  }

  friend bool operator==(const ImageLibraryIndexingMetricsOutcome&,
                         const ImageLibraryIndexingMetricsOutcome&) = default;
};

struct ImageLibraryIndexingMetricSample {
  ImageLibraryIndexingMetricOperation operation = ImageLibraryIndexingMetricOperation::discoverEnumeration;
  std::int64_t count = 0;            // items handled
  std::int64_t invocationCount = 0;  // times the operation ran
  std::uint64_t elapsedNanoseconds = 0;

  friend bool operator==(const ImageLibraryIndexingMetricSample&,
                         const ImageLibraryIndexingMetricSample&) = default;
};

struct ImageLibraryIndexingMetricsSnapshot {
  std::int64_t jobID = 0;
  ImageLibraryIndexingMetricsMode mode = ImageLibraryIndexingMetricsMode::fullScan;
  ImageLibraryIndexingMetricsOutcome outcome;
  std::vector<std::string> rootPaths;
  std::int64_t changedPathCount = 0;
  std::int64_t discoveryPassCount = 0;
  std::int64_t discoveredFileObservationCount = 0;
  std::int64_t processedQueueItemCount = 0;
  std::int64_t unchangedSkipCount = 0;
  std::int64_t failedQueueItemCount = 0;
  std::uint64_t elapsedNanoseconds = 0;
  std::vector<ImageLibraryIndexingMetricSample> samples;  // recorded operations, in operation order

  // "Indexing metrics job=7 mode=fullScan outcome=completed roots=1 changedPaths=0 passes=2
  // observedFiles=10 processedItems=5 unchangedSkips=0 failedItems=0 totalMs=12.34 " followed by
  // the samples joined by single blanks, each "<operation>=count:N,calls:N,ms:N.NN". Times are
  // milliseconds with two decimals, independent of the process locale.
  std::string logLine() const;

  friend bool operator==(const ImageLibraryIndexingMetricsSnapshot&,
                         const ImageLibraryIndexingMetricsSnapshot&) = default;
};

class ImageLibraryIndexingMetricsCollector {
 public:
  // Takes the monotonic start time from `clock` (the system clock unless a test gives another).
  ImageLibraryIndexingMetricsCollector(std::int64_t jobID, ImageLibraryIndexingMetricsMode mode,
                                       std::vector<std::string> rootPaths, std::int64_t changedPathCount,
                                       const platform::Clock* clock = nullptr);

  // Adds one run of `operation`: `count` items (a negative count adds none) taking `elapsed` ns.
  void record(ImageLibraryIndexingMetricOperation operation, std::int64_t count,
              std::uint64_t elapsedNanoseconds);

  // A monotonic reading for timing a step: record(op, count, now() - start).
  std::uint64_t now() const;

  ImageLibraryIndexingMetricsSnapshot snapshot(ImageLibraryIndexingMetricsOutcome outcome) const;

  // Scan-level counters, incremented directly by the scanner and item processing.
  std::int64_t discoveryPassCount = 0;
  std::int64_t discoveredFileObservationCount = 0;
  std::int64_t processedQueueItemCount = 0;
  std::int64_t unchangedSkipCount = 0;
  std::int64_t failedQueueItemCount = 0;

 private:
  struct OperationTotal {
    std::int64_t count = 0;
    std::int64_t invocationCount = 0;
    std::uint64_t elapsedNanoseconds = 0;
  };

  const platform::Clock& clock_;
  std::int64_t jobID_;
  ImageLibraryIndexingMetricsMode mode_;
  std::vector<std::string> rootPaths_;
  std::int64_t changedPathCount_;
  std::uint64_t startedAt_;
  std::array<std::optional<OperationTotal>, enumCaseCount<ImageLibraryIndexingMetricOperation>()>
      operationTotals_;
};

// Receives the snapshot of every scan that got as far as having a job.
class ImageLibraryIndexingMetricsSink {
 public:
  virtual ~ImageLibraryIndexingMetricsSink() = default;
  virtual void record(const ImageLibraryIndexingMetricsSnapshot& snapshot) = 0;
};

}  // namespace lorvex
