// Indexing one claimed queue item: an unchanged file is only marked as seen, a new or changed
// one is read, parsed, hashed and projected, and one that cannot be indexed becomes a failure of
// the item without stopping the scan.
#include <cmath>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <utility>

#include "metadata/png_text_chunk_reader.h"
#include "model/prompt_tags.h"
#include "platform/file_attributes.h"
#include "platform/log.h"
#include "platform/regular_file.h"
#include "services/indexing/image_library_scan.h"
#include "services/indexing/image_library_scanner.h"
#include "services/thumbnails/image_thumbnail_generator.h"
#include "services/indexing/scan_error_message.h"

namespace lorvex {

using Operation = ImageLibraryIndexingMetricOperation;

namespace {

bool isUnchanged(const std::optional<IndexedImageFileState>& state, const ImageFileInfo& file) {
  return state && state->fileInfo.path == file.path && state->fileInfo.fileSize == file.fileSize &&
         std::fabs(state->fileInfo.modificationDate - file.modificationDate) <
             ImageLibraryScanner::kModificationTimeTolerance &&
         state->metadataProjectionRevision == kMetadataProjectionRevision;
}

bool isUnderRoot(const std::string& path, const std::vector<std::string>& roots) {
  for (const auto& root : roots) {
    const std::string prefix = root.ends_with('/') ? root : root + "/";
    if (path == prefix || path.starts_with(prefix)) return true;
  }
  return false;
}

// Whether the stored path still names the file itself (not moved, not reached through a link).
bool stillResolvesToItself(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  return resolved && path == resolved.get();
}

}  // namespace

void ImageLibraryScanner::queueDiscoveredFiles(Scan& scan) {
  if (scan.discovered.empty()) return;
  IndexingBatchStore* batches = jobs_.batches();
  if (batches == nullptr) throw std::logic_error("discovered files wait for a store without batches");
  const std::vector<ImageFileInfo> files = std::exchange(scan.discovered, {});
  std::vector<QueuedDiscoveredFile> queued;
  {
    // A file the library holds unchanged needs nothing but to be seen and completed: the store
    // does that as it queues the file, instead of the file being claimed later on its own.
    TimedScanStep step(scan.metrics, Operation::enqueueFile, static_cast<std::int64_t>(files.size()));
    queued = batches->enqueueIndexingQueueItemBatch(scan.jobID, files, isUnchanged);
  }
  if (queued.size() != files.size())
    throw std::logic_error("enqueueIndexingQueueItemBatch answered for other files");
  for (auto& file : queued) {
    file.progress.phase = ImageLibraryIndexingPhase::discovering;
    if (scan.progress) scan.progress(file.progress);
  }
  std::int64_t completed = 0;
  for (const auto& file : queued) completed += file.completion ? 1 : 0;
  if (completed == 0) return;
  scan.metrics.processedQueueItemCount += completed;
  scan.metrics.unchangedSkipCount += completed;
  // The queueing transaction observed and completed them: its time is counted above.
  scan.metrics.record(Operation::markObserved, completed, 0);
  scan.metrics.record(Operation::markIndexed, completed, 0);
  for (const auto& file : queued) {
    if (file.completion && scan.progress) scan.progress(*file.completion);
  }
}

void ImageLibraryScanner::processClaimedItems(Scan& scan, IndexingBatchStore& batches,
                                              const std::vector<IndexingQueueItem>& items) {
  std::vector<std::optional<IndexedImageFileState>> states;
  try {
    std::vector<std::string> paths;
    paths.reserve(items.size());
    for (const auto& item : items) paths.push_back(item.path);
    TimedScanStep step(scan.metrics, Operation::indexedFileInfoLookup,
                       static_cast<std::int64_t>(items.size()));
    states = batches.indexedFileStates(paths);
  } catch (const std::exception& error) {
    // Each item reads its own state then, and a failure to read it is that item's.
    platform::logDebug("IndexingPerformance",
                       std::string("Reading a burst's stored files failed: ") + error.what());
    for (const auto& item : items) processQueueItem(scan, item);
    return;
  }
  if (states.size() != items.size()) throw std::logic_error("indexedFileStates answered for other paths");

  // Which later items will most likely be indexed: the files to hash ahead of them.
  std::vector<bool> likelyChanged(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto& item = items[i];
    likelyChanged[i] = !item.fileSize || !item.modificationDate ||
                       !isUnchanged(states[i], {item.path, *item.fileSize, *item.modificationDate});
  }

  std::vector<std::pair<const IndexingQueueItem*, ImageFileInfo>> unchanged;
  for (std::size_t i = 0; i < items.size(); ++i) {
    // The burst's later items, the unchanged ones gathered so far among them, stay claimed; a
    // resumption puts them back.
    scan.throwIfStopRequested();
    const IndexingQueueItem& item = items[i];
    std::optional<ImageFileInfo> file;
    try {
      TimedScanStep step(scan.metrics, Operation::processingFileInfo);
      file = fileInfo(item.path);
    } catch (const platform::FileError&) {
      // The single-item path reads it again and records what went wrong.
    }
    // A file that changed since it was queued has its queue item updated on the single-item path.
    if (file && item.fileSize == file->fileSize && item.modificationDate == file->modificationDate &&
        isUnchanged(states[i], *file)) {
      unchanged.emplace_back(&item, *file);
      continue;
    }
    // Earlier items first, so that the library sees every item's work in claiming order.
    completeUnchangedItems(scan, batches, unchanged);
    unchanged.clear();
    scan.claimedAhead.clear();
    for (std::size_t j = i + 1; j < items.size() && scan.claimedAhead.size() < ContentHashAhead::kLookahead;
         ++j) {
      if (likelyChanged[j]) scan.claimedAhead.push_back(items[j].path);
    }
    processQueueItem(scan, item);
    scan.claimedAhead.clear();
  }
  completeUnchangedItems(scan, batches, unchanged);
}

void ImageLibraryScanner::completeUnchangedItems(
    Scan& scan, IndexingBatchStore& batches,
    const std::vector<std::pair<const IndexingQueueItem*, ImageFileInfo>>& unchanged) {
  std::size_t done = 0;
  while (done < unchanged.size()) {
    std::vector<UnchangedQueueItem> rest;
    rest.reserve(unchanged.size() - done);
    for (std::size_t i = done; i < unchanged.size(); ++i)
      rest.push_back({unchanged[i].first->id, unchanged[i].second});
    std::vector<ImageLibraryIndexingProgress> finished;
    try {
      TimedScanStep step(scan.metrics, Operation::markObserved, 0);
      finished = batches.completeUnchangedQueueItems(scan.jobID, rest);
      step.count = static_cast<std::int64_t>(finished.size());
      // One transaction both observes and completes the items: its time is counted above.
      scan.metrics.record(Operation::markIndexed, step.count, 0);
    } catch (const std::exception& error) {
      platform::logDebug("IndexingPerformance",
                         std::string("Completing unchanged files together failed: ") + error.what());
    }
    if (finished.empty() || finished.size() > rest.size()) {
      for (std::size_t i = done; i < unchanged.size(); ++i) processQueueItem(scan, *unchanged[i].first);
      return;
    }
    scan.metrics.unchangedSkipCount += static_cast<std::int64_t>(finished.size());
    for (const auto& progress : finished) {
      if (scan.progress) scan.progress(progress);
    }
    done += finished.size();
  }
}

void ImageLibraryScanner::processQueueItem(Scan& scan, const IndexingQueueItem& item) {
  // A claimed item left here goes back to pending when the job is resumed.
  scan.throwIfStopRequested();
  ImageLibraryIndexingProgress progress;
  try {
    progress = indexQueueItem(scan, item);
  } catch (...) {
    progress = failQueueItem(scan, item, std::current_exception());
  }
  if (scan.progress) scan.progress(progress);
}

ImageLibraryIndexingProgress ImageLibraryScanner::indexQueueItem(Scan& scan, const IndexingQueueItem& item) {
  const std::string& path = item.path;
  ImageFileInfo file;
  {
    TimedScanStep step(scan.metrics, Operation::processingFileInfo);
    file = fileInfo(path);
  }
  {
    TimedScanStep step(scan.metrics, Operation::updateQueueFileInfo);
    // Usually the file is as it was queued; rewriting the same values would cost a commit per file.
    if (item.fileSize != file.fileSize || item.modificationDate != file.modificationDate) {
      jobs_.updateQueueItemFileInfo(scan.jobID, item.id, file);
    }
  }
  std::optional<IndexedImageFileState> state;
  {
    TimedScanStep step(scan.metrics, Operation::indexedFileInfoLookup);
    state = records_.indexedFileState(file.path);
  }
  if (isUnchanged(state, file)) {
    scan.metrics.unchangedSkipCount += 1;
    {
      TimedScanStep step(scan.metrics, Operation::markObserved);
      records_.markObserved(file, scan.jobID);
    }
    TimedScanStep step(scan.metrics, Operation::markIndexed);
    return jobs_.completeIndexingQueueItem(scan.jobID, item.id, std::nullopt);
  }

  hashNextQueuedFile(scan);
  ImageRecord record;
  {
    TimedScanStep step(scan.metrics, Operation::parseMetadata);
    PNGTextMetadata text;
    {
      // Closed before parsing: at most one image file is open per scan.
      FileHandlePNGTextChunkByteSource source(path);
      text = parser_.reader.read(source);
    }
    record.metadata = parser_.parse(text);
    // The chunk map repeats the text of every raw payload, and the library stores the payloads
    // (the map only stands in for them when there are none): holding both while the record is
    // written would keep one more copy of a text that may be tens of megabytes.
    if (!record.metadata.rawPayloads.empty()) record.metadata.rawTextChunks.clear();
  }
  {
    TimedScanStep step(scan.metrics, Operation::computeContentHash,
                       options_.contentHasher != nullptr ? 1 : 0);
    if (options_.contentHasher != nullptr) {
      if (scan.hashAhead) record.contentSHA256 = scan.hashAhead->take(file);
      if (!record.contentSHA256) record.contentSHA256 = options_.contentHasher->sha256Hex(path);
    }
  }
  std::optional<std::string> completionMessage;
  {
    TimedScanStep step(scan.metrics, Operation::generateThumbnail,
                       options_.thumbnailGenerator != nullptr ? 1 : 0);
    if (options_.thumbnailGenerator != nullptr) {
      // A thumbnail that cannot be made does not keep the image out of the library.
      try {
        record.thumbnailPath = options_.thumbnailGenerator->generateThumbnail(path, file);
        if (!record.thumbnailPath) {
          throw ImageThumbnailGeneratorError(ImageThumbnailGeneratorError::Kind::cannotCreateThumbnail, path);
        }
      } catch (...) {
        completionMessage = scanFailure(path, std::current_exception()).message;
        record.thumbnailPath.reset();
      }
    }
  }
  record.promptTags = extractPromptTags(
      record.metadata.prompt.value_or(""),
      GenerationMetadataProvider::usesStableDiffusionPromptSyntax(record.metadata.provider),
      kMaximumStoredPromptTagBytes);
  record.file = file;
  {
    TimedScanStep step(scan.metrics, Operation::upsertRecord);
    records_.upsertRecord(record, scan.jobID);
  }
  if (scan.relocationRoots && record.contentSHA256) relocate(scan, *record.contentSHA256, file.path);
  TimedScanStep step(scan.metrics, Operation::markIndexed);
  return jobs_.completeIndexingQueueItem(scan.jobID, item.id, completionMessage);
}

void ImageLibraryScanner::hashNextQueuedFile(Scan& scan) {
  if (!scan.hashAhead) return;
  // Only a head start: a failure here costs the item nothing.
  try {
    for (const auto& path : scan.claimedAhead) scan.hashAhead->start(path);
    if (scan.claimedAhead.size() >= ContentHashAhead::kLookahead) return;
    const std::size_t more = ContentHashAhead::kLookahead - scan.claimedAhead.size();
    for (const auto& next : jobs_.nextPendingQueueItems(scan.jobID, more)) {
      if (!next.fileSize || !next.modificationDate) continue;
      // A file the library holds as queued is most likely unchanged and will not be hashed at all.
      const ImageFileInfo queued{next.path, *next.fileSize, *next.modificationDate};
      if (isUnchanged(records_.indexedFileState(next.path), queued)) continue;
      scan.hashAhead->start(next.path);
    }
  } catch (const std::exception& error) {
    platform::logDebug("IndexingPerformance", std::string("Hashing ahead skipped: ") + error.what());
  }
}

void ImageLibraryScanner::relocate(Scan& scan, const std::string& contentSHA256, const std::string& path) {
  std::vector<std::string> candidates;
  {
    TimedScanStep step(scan.metrics, Operation::relocationLookup);
    candidates = records_.relocationCandidatePaths(contentSHA256, path);
  }
  std::vector<std::string> moved;
  for (const auto& candidate : candidates) {
    if (isUnderRoot(candidate, *scan.relocationRoots) && !stillResolvesToItself(candidate)) {
      moved.push_back(candidate);
    }
  }
  if (moved.empty()) return;
  TimedScanStep step(scan.metrics, Operation::markMissing, static_cast<std::int64_t>(moved.size()));
  records_.markMissing(moved);
}

ImageLibraryIndexingProgress ImageLibraryScanner::failQueueItem(Scan& scan, const IndexingQueueItem& item,
                                                                const std::exception_ptr& error) {
  // Best effort: the failure itself is recorded below either way.
  if (platform::fileExists(item.path)) {
    try {
      const ImageFileInfo file = fileInfo(item.path);
      TimedScanStep step(scan.metrics, Operation::markSeenAfterFailure);
      try {
        records_.markSeenAfterFailure(file.path, scan.jobID);
      } catch (const std::exception& markError) {
        platform::logDebug("IndexingPerformance",
                           std::string("Keeping a failed file visible failed: ") + markError.what());
      }
    } catch (const platform::FileError&) {
      // Unreadable now: nothing to mark.
    }
  } else if (!isUnderRoot(item.path, scan.absentRoots)) {
    TimedScanStep step(scan.metrics, Operation::markMissing, 1);
    try {
      records_.markMissing({item.path});
    } catch (const std::exception& markError) {
      platform::logDebug("IndexingPerformance",
                         std::string("Marking a vanished file missing failed: ") + markError.what());
    }
  }
  scan.metrics.failedQueueItemCount += 1;
  const ImageLibraryScanFailure failure = scanFailure(item.path, error);
  TimedScanStep step(scan.metrics, Operation::markFailed);
  return jobs_.failIndexingQueueItem(scan.jobID, item.id, failure.message);
}

}  // namespace lorvex
