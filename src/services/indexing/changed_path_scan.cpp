// The changed-path scan: only the paths folder monitoring reported are looked at. A path that is
// gone has its files marked missing, a file is queued again (and indexed when it changed), and a
// folder is walked, its stored files that the walk did not see becoming missing. A reported file
// whose size and time are as the library holds them is read for its content: something happened
// to it, and another file of the same size and time may have taken its name. The job covers
// all registered roots, so it completes, resumes and summarises like a full scan.
#include <algorithm>
#include <optional>

#include "platform/file_attributes.h"
#include "platform/log.h"
#include "platform/regular_file.h"
#include "services/folders/canonical_folder_path.h"
#include "services/indexing/image_library_scan.h"
#include "services/indexing/image_library_scanner.h"
#include "services/indexing/png_file_discovery.h"
#include "services/indexing/scan_error_message.h"

namespace lorvex {

namespace {

// A path whose attributes cannot be read lies, most often, in a folder the scan may not enter. The
// full scan reports that folder, in its words, and keeps every file under it: so does this one,
// opening the folders from the root down as the walk would. When all of them open, the failure is
// the path's own, with the system's name of its error.
DiscoveryFailure unreadablePathFailure(const std::string& path, const std::string& root,
                                       const std::exception_ptr& error) {
  std::size_t end = root.size();
  while (end < path.size()) {
    if (auto failure = folderReadFailure(path.substr(0, end))) return std::move(*failure);
    end = path.find('/', end + 1);
    if (end == std::string::npos) break;
  }
  ImageLibraryScanFailure failure = scanFailure(path, error);
  return {std::move(failure.path), std::move(failure.message)};
}

}  // namespace

using Operation = ImageLibraryIndexingMetricOperation;

ImageLibraryScanSummary ImageLibraryScanner::scanChangedPaths(const std::vector<std::string>& changedPaths,
                                                              const std::vector<std::string>& roots,
                                                              const ProgressHandler& progress,
                                                              std::stop_token stop) {
  const std::vector<std::string> rootPaths = canonicalPaths(roots);
  const IndexingJobRecord job = jobs_.startIndexingJob(rootPaths);
  Scan scan(job.id, ImageLibraryIndexingMetricsMode::changedPaths, rootPaths,
            static_cast<std::int64_t>(changedPaths.size()), progress, std::move(stop), options_);
  scan.runsBursts = false;
  scan.relocationRoots = rootPaths;
  scan.writesEachImageAlone = true;
  return reportingFailure(scan, [&] {
    const std::vector<std::string> folders = discoverChangedPaths(scan, changedPaths, rootPaths);
    processPendingQueueItems(scan, std::nullopt);
    {
      TimedScanStep step(scan.metrics, Operation::markMissingIfNotSeen,
                         static_cast<std::int64_t>(folders.size()));
      records_.markMissingIfNotSeen(scan.jobID, folders);
    }
    return completeJob(scan);
  });
}

std::vector<std::string> ImageLibraryScanner::discoverChangedPaths(
    Scan& scan, const std::vector<std::string>& changedPaths, const std::vector<std::string>& roots) {
  reportProgress(scan);
  scan.metrics.discoveryPassCount += 1;

  std::vector<std::string> resolved = canonicalPaths(changedPaths);
  std::sort(resolved.begin(), resolved.end());
  resolved.erase(std::unique(resolved.begin(), resolved.end()), resolved.end());

  std::vector<std::string> vanishedPaths;
  std::vector<std::string> folders;
  for (const auto& path : resolved) {
    scan.throwIfStopRequested();
    const std::string* root = owningRoot(path, roots);
    if (root == nullptr) continue;
    // A full scan never enters hidden folders; seeing their files here would make them flip
    // between present and missing.
    if (hasHiddenComponentBelow(path, *root)) continue;

    platform::FileAttributes attributes;
    try {
      attributes = platform::fileAttributes(path);
    } catch (const platform::FileError& error) {
      if (isVanishedFileError(error)) {
        vanishedPaths.push_back(path);
      } else {
        const DiscoveryFailure failure = unreadablePathFailure(path, *root, std::current_exception());
        recordDiscoveryFailure(scan, failure.path, failure.message);
      }
      continue;
    }
    if (attributes.kind == platform::FileKind::directory) folders.push_back(path);
    if (attributes.kind == platform::FileKind::regularFile) checkContentInPlace(scan, path, attributes);

    std::vector<std::string> files;
    {
      TimedScanStep step(scan.metrics, Operation::discoverEnumeration, 0);
      files = pngFiles(scan, path, roots);
      step.count = static_cast<std::int64_t>(files.size());
    }
    scan.metrics.discoveredFileObservationCount += static_cast<std::int64_t>(files.size());
    for (const auto& file : files) enqueueDiscoveredFile(scan, file);
  }
  queueDiscoveredFiles(scan);

  // A folder renamed, or a file moved, is reported gone at its old path and new at its new one:
  // what is found at the new place, by this scan or any later one, takes the review state it had
  // at the old.
  {
    TimedScanStep step(scan.metrics, Operation::markMissing, static_cast<std::int64_t>(vanishedPaths.size()));
    records_.markMissing(vanishedPaths);
  }
  return folders;
}

void ImageLibraryScanner::checkContentInPlace(Scan& scan, const std::string& path,
                                              const platform::FileAttributes& attributes) {
  if (options_.contentHasher == nullptr) return;
  const std::optional<IndexedImageFileState> state = records_.indexedFileState(path);
  // Only a file the library would take as unchanged: any other is read again anyway.
  if (!state || state->isMissing || !state->contentSHA256 ||
      state->metadataProjectionRevision != kMetadataProjectionRevision ||
      !hasSizeAndTime(state->fileInfo, attributes.size, attributes.modificationTime))
    return;
  TimedScanStep step(scan.metrics, Operation::computeContentHash);
  const std::optional<std::string> found = comparedContent(path);
  if (!found || *found == *state->contentSHA256) return;
  records_.markContentChanged(path);
  scan.outdatedThumbnails.push_back({path, attributes.size, attributes.modificationTime});
}

std::vector<std::string> ImageLibraryScanner::pngFiles(Scan& scan, const std::string& path,
                                                       const std::vector<std::string>& roots) {
  std::vector<std::string> files;
  PNGFileDiscovery::discover(
      path, [&](const std::string& file) { files.push_back(file); },
      [&](DiscoveryFailure failure) { recordDiscoveryFailure(scan, failure.path, failure.message); },
      scan.stop, roots);
  scan.throwIfStopRequested();
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace lorvex
