#include "services/indexing/image_library_scanner.h"

#include <algorithm>
#include <utility>

#include "platform/file_attributes.h"
#include "platform/log.h"
#include "platform/regular_file.h"
#include "services/folders/canonical_folder_path.h"
#include "services/indexing/discovery_read_ahead.h"
#include "services/indexing/image_library_scan.h"
#include "services/indexing/png_file_discovery.h"
#include "services/indexing/scan_error_message.h"

namespace lorvex {

using Operation = ImageLibraryIndexingMetricOperation;

ImageLibraryScanner::ImageLibraryScanner(IndexingJobStore& jobs, ImageIndexingRecordStore& records,
                                         GenerationMetadataParser parser, ImageLibraryScannerOptions options)
    : jobs_(jobs), records_(records), parser_(std::move(parser)), options_(options) {}

ImageFileInfo ImageLibraryScanner::fileInfo(const std::string& path) {
  const platform::FileAttributes attributes = platform::fileAttributes(path);
  return {path, attributes.size, attributes.modificationTime};
}

ImageFileInfo ImageLibraryScanner::discoveredFileInfo(const std::string& path) const {
  return options_.discoveredFileInfo ? options_.discoveredFileInfo(path) : fileInfo(path);
}

ImageLibraryScanSummary ImageLibraryScanner::scan(const std::vector<std::string>& roots,
                                                  const ProgressHandler& progress, std::stop_token stop) {
  const std::vector<std::string> rootPaths = canonicalPaths(roots);
  const IndexingJobRecord job = jobs_.startIndexingJob(rootPaths);
  Scan scan(job.id, ImageLibraryIndexingMetricsMode::fullScan, rootPaths, 0, progress, std::move(stop),
            options_);
  // Files moved or renamed below the roots while nobody watched, and the files of a registered
  // folder that moved as a whole, keep their review state at their new place.
  scan.relocationRoots = rootPaths;
  return reportingFailure(scan, [&] { return runFullScan(scan, rootPaths); });
}

std::optional<ImageLibraryScanSummary> ImageLibraryScanner::resumeInterruptedJob(
    const ProgressHandler& progress, std::stop_token stop) {
  const std::optional<IndexingJobRecord> job = jobs_.resumeInterruptedIndexingJob();
  if (!job) return std::nullopt;
  Scan scan(job->id, ImageLibraryIndexingMetricsMode::resume, job->rootPaths, 0, progress, std::move(stop),
            options_);
  return reportingFailure(scan, [&] {
    // A root that is gone (an unplugged disk, a deleted folder) would fail every launch's
    // resumption; its images keep their state until a scan can see the folder again. The files
    // not reached before the interruption find their review states as the interrupted scan would.
    std::vector<std::string> presentRoots;
    for (const auto& root : job->rootPaths) {
      if (platform::fileExists(root)) {
        presentRoots.push_back(root);
      } else {
        scan.absentRoots.push_back(root);
        platform::logInfo("IndexingPerformance", "Resuming indexing job " + std::to_string(job->id) +
                                                     " without its root that is gone: " + root);
      }
    }
    scan.relocationRoots = presentRoots;
    return runFullScan(scan, presentRoots);
  });
}

ImageLibraryScanSummary ImageLibraryScanner::reportingFailure(
    Scan& scan, const std::function<ImageLibraryScanSummary()>& body) {
  try {
    return body();
  } catch (...) {
    if (options_.metricsSink != nullptr) {
      options_.metricsSink->record(scan.metrics.snapshot(
          ImageLibraryIndexingMetricsOutcome::failed(errorMessage(std::current_exception()))));
    }
    throw;
  }
}

ImageLibraryScanSummary ImageLibraryScanner::runFullScan(Scan& scan, const std::vector<std::string>& roots) {
  jobs_.closeIndexingJobsCoveredBy(scan.jobID, roots);
  for (int pass = 0; pass < 2; ++pass) {
    discoveryPass(scan, roots);
    processPendingQueueItems(scan, std::nullopt);
  }
  {
    TimedScanStep step(scan.metrics, Operation::markMissingIfNotSeen,
                       static_cast<std::int64_t>(roots.size()));
    records_.markMissingIfNotSeen(scan.jobID, roots);
  }
  return completeJob(scan);
}

ImageLibraryScanSummary ImageLibraryScanner::completeJob(Scan& scan) {
  ImageLibraryScanSummary summary;
  {
    TimedScanStep step(scan.metrics, Operation::completeJob);
    summary = jobs_.completeIndexingJob(scan.jobID);
  }
  summary.relocations = std::move(scan.relocations);
  summary.outdatedThumbnails = std::move(scan.outdatedThumbnails);
  if (options_.metricsSink != nullptr) {
    options_.metricsSink->record(scan.metrics.snapshot(ImageLibraryIndexingMetricsOutcome::completed()));
  }
  return summary;
}

void ImageLibraryScanner::reportProgress(Scan& scan) {
  ImageLibraryIndexingProgress progress;
  {
    TimedScanStep step(scan.metrics, Operation::progressFetch);
    progress = jobs_.indexingJob(scan.jobID).progress;
  }
  progress.phase = ImageLibraryIndexingPhase::discovering;
  if (scan.progress) scan.progress(progress);
}

void ImageLibraryScanner::discoveryPass(Scan& scan, const std::vector<std::string>& roots) {
  reportProgress(scan);
  scan.metrics.discoveryPassCount += 1;
  scan.passCounter = 0;
  std::vector<std::string> scanRoots;
  scanRoots.reserve(roots.size());
  for (const auto& root : roots) scanRoots.push_back(canonicalFolderPath(root));
  for (const auto& root : scanRoots) {
    scan.metrics.discoveredFileObservationCount +=
        static_cast<std::int64_t>(discoverRoot(scan, root, scanRoots));
  }
}

std::size_t ImageLibraryScanner::discoverRoot(Scan& scan, const std::string& root,
                                              const std::vector<std::string>& scanRoots) {
  std::size_t found = 0;
  {
    // The walk's time the scan waited for: the walk itself runs ahead on its own thread.
    TimedScanStep step(scan.metrics, Operation::discoverEnumeration, 0);
    DiscoveryReadAhead walk(
        root, [this](const std::string& path) { return discoveredFileInfo(path); }, scan.stop, scanRoots);
    while (std::optional<DiscoveredEntry> entry = walk.next()) {
      const std::uint64_t start = scan.metrics.now();
      if (entry->failure) {
        recordDiscoveryFailure(scan, entry->path, entry->message);
      } else if (enqueueDiscoveredFile(scan, std::move(*entry))) {
        step.count += 1;
      }
      step.exclude(scan.metrics.now() - start);
    }
    // A walk cut short by a stop must not count as complete.
    scan.throwIfStopRequested();
    // A file that vanished before it could be read is not one of the files found.
    found = static_cast<std::size_t>(step.count);
  }
  queueDiscoveredFiles(scan);
  return found;
}

bool ImageLibraryScanner::enqueueDiscoveredFile(Scan& scan, const std::string& path) {
  scan.throwIfStopRequested();
  DiscoveredEntry entry;
  entry.path = path;
  const std::uint64_t start = scan.metrics.now();
  try {
    entry.info = discoveredFileInfo(path);
  } catch (...) {
    entry.infoError = std::current_exception();
  }
  entry.infoNanoseconds = scan.metrics.now() - start;
  return enqueueDiscoveredFile(scan, std::move(entry));
}

bool ImageLibraryScanner::enqueueDiscoveredFile(Scan& scan, DiscoveredEntry entry) {
  scan.throwIfStopRequested();
  scan.metrics.record(Operation::discoverFileInfo, 1, entry.infoNanoseconds);
  ImageFileInfo& info = entry.info;
  if (entry.infoError) {
    try {
      std::rethrow_exception(entry.infoError);
    } catch (const platform::FileError& error) {
      if (isVanishedFileError(error)) {
        platform::logDebug("IndexingPerformance",
                           "Skipped a file that vanished after it was listed: " + entry.path);
        return false;
      }
      recordDiscoveryFailure(scan, entry.path, scanFailure(entry.path, entry.infoError).message);
      return true;
    }
  }
  if (jobs_.batches() != nullptr) {
    // One transaction per batch instead of one per file: on a rescan that finds nothing new,
    // the commits were nearly all of a scan's time.
    scan.discovered.push_back(std::move(info));
    if (scan.discovered.size() >= std::max<std::size_t>(1, options_.enqueueBatchSize))
      queueDiscoveredFiles(scan);
  } else {
    {
      TimedScanStep step(scan.metrics, Operation::enqueueFile);
      jobs_.enqueueIndexingQueueItems(scan.jobID, info);
    }
    reportProgress(scan);
  }
  scan.passCounter += 1;
  if (scan.runsBursts && scan.passCounter >= options_.discoveryChunkSize) {
    processPendingQueueItems(scan, options_.processingBurstSize);
    scan.passCounter = 0;
  }
  return true;
}

void ImageLibraryScanner::recordDiscoveryFailure(Scan& scan, const std::string& path,
                                                 const std::string& message) {
  scan.throwIfStopRequested();
  // The files found before it are queued first, as they were found first.
  queueDiscoveredFiles(scan);
  platform::logDebug("IndexingPerformance", "Discovery failure at " + path + ": " + message);
  jobs_.recordDiscoveryFailure(scan.jobID, path, message);
  records_.markSeenUnder(path, scan.jobID);
}

void ImageLibraryScanner::processPendingQueueItems(Scan& scan, std::optional<std::size_t> limit) {
  if (limit && *limit == 0) return;
  // Only files already queued can be claimed.
  queueDiscoveredFiles(scan);
  IndexingBatchStore* batches = jobs_.batches();
  const std::size_t claimSize = batches != nullptr ? std::max<std::size_t>(1, options_.claimBatchSize) : 1;
  std::size_t handed = 0;
  while (!limit || handed < *limit) {
    scan.throwIfStopRequested();
    const std::size_t wanted = limit ? std::min(claimSize, *limit - handed) : claimSize;
    std::vector<IndexingQueueItem> items;
    {
      TimedScanStep step(scan.metrics, Operation::beginNextQueueItem);
      if (batches != nullptr) {
        items = batches->beginNextQueueItems(scan.jobID, wanted);
      } else if (auto item = jobs_.beginNextQueueItem(scan.jobID)) {
        items.push_back(std::move(*item));
      }
      step.count = std::max<std::int64_t>(1, static_cast<std::int64_t>(items.size()));
    }
    if (items.empty()) return;
    scan.metrics.processedQueueItemCount += static_cast<std::int64_t>(items.size());
    if (batches != nullptr) {
      processClaimedItems(scan, *batches, items);
    } else {
      processQueueItem(scan, items.front());
    }
    handed += items.size();
  }
}

}  // namespace lorvex
