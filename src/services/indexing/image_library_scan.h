// The working state of one scan of ImageLibraryScanner, shared by the files that implement its
// modes and its item processing, and the timing of its steps. Nothing of it outlives the call.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/regular_file.h"
#include "services/folders/canonical_folder_path.h"
#include "services/indexing/content_hash_ahead.h"
#include "services/indexing/image_library_scanner.h"

namespace lorvex {

struct ImageLibraryScanner::Scan {
  Scan(std::int64_t jobID, ImageLibraryIndexingMetricsMode mode, std::vector<std::string> rootPaths,
       std::int64_t changedPathCount, const ProgressHandler& progress, std::stop_token stop,
       const ImageLibraryScannerOptions& options)
      : jobID(jobID),
        metrics(jobID, mode, std::move(rootPaths), changedPathCount, options.clock),
        progress(progress),
        stop(std::move(stop)) {
    if (options.contentHasher != nullptr) hashAhead.emplace(*options.contentHasher);
  }

  // Throws ScanCancelledError once the caller has asked the scan to stop. Called between files
  // only: what has been written for a file is then complete, and the job stays running.
  void throwIfStopRequested() const {
    if (stop.stop_requested()) throw ScanCancelledError();
  }

  std::int64_t jobID;
  ImageLibraryIndexingMetricsCollector metrics;
  const ProgressHandler& progress;
  const std::stop_token stop;
  // Files queued since the walk began or since the last processing burst.
  std::size_t passCounter = 0;
  // Whether queueing runs processing bursts (not in a changed-path scan).
  bool runsBursts = true;
  // The roots under which an earlier copy of indexed content counts as moved; absent, no lookup.
  std::optional<std::vector<std::string>> relocationRoots;
  // The records found again under another path, for the summary.
  std::vector<RecordRelocation> relocations;
  // Files whose content changed under the same size and time, for the summary.
  std::vector<ImageFileInfo> outdatedThumbnails;
  // Each new or changed image is written, and its earlier places looked up, before the next one is.
  bool writesEachImageAlone = false;
  // Hashes the next queued file while the current one is written; absent without a hasher.
  std::optional<ContentHashAhead> hashAhead;
  // Files of the current burst's later items that the library does not hold as queued: the first
  // candidates for hashing ahead, before the items still pending.
  std::vector<std::string> claimedAhead;
  // Roots of a resumed job that are gone: its queued files there are failures, not missing.
  std::vector<std::string> absentRoots;
  // Files found by the walk and not yet queued (batched stores only), in the order found.
  std::vector<ImageFileInfo> discovered;
};

// Each path with its symbolic links resolved (as given when it does not exist), in order.
inline std::vector<std::string> canonicalPaths(const std::vector<std::string>& paths) {
  std::vector<std::string> canonical;
  canonical.reserve(paths.size());
  for (const auto& path : paths) canonical.push_back(canonicalFolderPath(path));
  return canonical;
}

// Gone between being listed and being read: generators write a temporary file and rename it.
inline bool isVanishedFileError(const platform::FileError& error) {
  return error.errorNumber() == ENOENT || error.errorNumber() == ENOTDIR;
}

// Times one step into the scan's metrics, recorded when it goes out of scope, also when the step
// throws. `count` may be changed before then.
class TimedScanStep {
 public:
  TimedScanStep(ImageLibraryIndexingMetricsCollector& metrics, ImageLibraryIndexingMetricOperation operation,
                std::int64_t count = 1)
      : count(count), metrics_(metrics), operation_(operation), start_(metrics.now()) {}
  ~TimedScanStep() { metrics_.record(operation_, count, metrics_.now() - start_ - excluded_); }
  TimedScanStep(const TimedScanStep&) = delete;
  TimedScanStep& operator=(const TimedScanStep&) = delete;

  // Leaves `nanoseconds` spent on other recorded steps out of this one.
  void exclude(std::uint64_t nanoseconds) { excluded_ += nanoseconds; }

  std::int64_t count;

 private:
  ImageLibraryIndexingMetricsCollector& metrics_;
  ImageLibraryIndexingMetricOperation operation_;
  std::uint64_t start_;
  std::uint64_t excluded_ = 0;
};

}  // namespace lorvex
