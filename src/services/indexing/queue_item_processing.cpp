// Indexing one claimed queue item: an unchanged file is only marked as seen, a new or changed
// one is read, parsed, hashed and projected, and one that cannot be indexed becomes a failure of
// the item without stopping the scan.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "metadata/png_text_chunk_reader.h"
#include "model/png_text_metadata.h"
#include "model/prompt_tags.h"
#include "model/text/paths.h"
#include "platform/file_attributes.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/regular_file.h"
#include "services/indexing/image_library_scan.h"
#include "services/indexing/image_library_scanner.h"
#include "services/indexing/ordered_preparation.h"
#include "services/indexing/scan_error_message.h"
#include "services/thumbnails/image_thumbnail_generator.h"

namespace lorvex {

using Operation = ImageLibraryIndexingMetricOperation;

namespace {

// The library holds the file as it is, missing or not.
bool isSameFile(const std::optional<IndexedImageFileState>& state, const ImageFileInfo& file) {
  return state && state->fileInfo.path == file.path &&
         ImageLibraryScanner::hasSizeAndTime(state->fileInfo, file.fileSize, file.modificationDate) &&
         state->metadataProjectionRevision == kMetadataProjectionRevision;
}

// Nothing to do but mark it seen. A file back where it was missing is not: it goes alone, and takes
// back the review state it gave to the place its content was found at meanwhile.
bool isUnchanged(const std::optional<IndexedImageFileState>& state, const ImageFileInfo& file) {
  return isSameFile(state, file) && !state->isMissing;
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

// Whether the file is at its path as it was read for its record. Asked after its earlier places
// were found gone: a folder renamed back meanwhile takes the file away from the path it was read
// at, and a record written for it then would stand for a file that is not there, without the
// marks the returning files keep.
bool isStillAsRead(const ImageFileInfo& file) {
  const std::optional<platform::FileAttributes> found = platform::readFileAttributes(file.path);
  return found && found->kind == platform::FileKind::regularFile && found->size == file.fileSize &&
         found->modificationTime == file.modificationDate;
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

struct ImageLibraryScanner::PreparedQueueItem {
  enum class Kind {
    unchanged,  // the library holds the file as it is and as it was queued
    project,    // `record` is the file's new projection
    alone,      // anything else: the single-item path decides, and reports a failure
  };
  Kind kind = Kind::alone;
  ImageFileInfo file;
  ImageRecord record;
  // What the record is estimated to hold in memory while it waits to be written.
  std::uint64_t recordBytes = 0;
  std::uint64_t fileInfoNanoseconds = 0;
  std::uint64_t parseNanoseconds = 0;
  std::uint64_t hashNanoseconds = 0;
};

namespace {

std::uint64_t nanosecondsSince(std::chrono::steady_clock::time_point start) {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count());
}

// Images read ahead of the writes, by their file sizes, at most: nothing is known of their texts
// before they are read.
constexpr std::uint64_t kPreparedBytesAhead = 64u << 20;
// A record holds its texts a few times over (the chunks' values, the parsed prompt and its
// segments, the tags). Weighed by its file's size instead, a batch of images of a few megabytes
// each ended every thirty images, for kilobytes of text.
constexpr std::uint64_t kRecordBytesPerTextByte = 4;
constexpr std::uint64_t kRecordBytesAtLeast = 4096;
// Records of texts of 4 MiB and more.
constexpr std::uint64_t kRecordBytesReleasedAfterParsing = kRecordBytesPerTextByte * (4u << 20);

std::uint64_t estimatedRecordBytes(const PNGTextMetadata& text) {
  std::uint64_t textBytes = 0;
  for (const auto& entry : text.textChunkEntries) textBytes += entry.keyword.size() + entry.value.size();
  return std::max(kRecordBytesAtLeast, textBytes * kRecordBytesPerTextByte);
}

}  // namespace

ImageLibraryScanner::PreparedQueueItem ImageLibraryScanner::prepareQueueItem(
    const IndexingQueueItem& item, const std::optional<IndexedImageFileState>& state) const {
  PreparedQueueItem prepared;
  auto start = std::chrono::steady_clock::now();
  try {
    prepared.file = fileInfo(item.path);
  } catch (const platform::FileError&) {
    return prepared;
  }
  prepared.fileInfoNanoseconds = nanosecondsSince(start);
  if (isSameFile(state, prepared.file)) {
    // A file that changed since it was queued has its queue item updated on the single-item path.
    if (isUnchanged(state, prepared.file) && item.fileSize == prepared.file.fileSize &&
        item.modificationDate == prepared.file.modificationDate)
      prepared.kind = PreparedQueueItem::Kind::unchanged;
    return prepared;
  }
  try {
    start = std::chrono::steady_clock::now();
    ImageRecord& record = prepared.record;
    {
      PNGTextMetadata text;
      {
        FileHandlePNGTextChunkByteSource source(item.path);
        text = parser_.reader.read(source);
      }
      prepared.recordBytes = estimatedRecordBytes(text);
      record.metadata = parser_.parse(text);
      // See indexQueueItem: the payloads stand for the chunk map.
      if (!record.metadata.rawPayloads.empty()) record.metadata.rawTextChunks.clear();
    }
    prepared.parseNanoseconds = nanosecondsSince(start);
    start = std::chrono::steady_clock::now();
    if (options_.contentHasher != nullptr)
      record.contentSHA256 = options_.contentHasher->sha256Hex(item.path);
    prepared.hashNanoseconds = nanosecondsSince(start);
    record.promptTags = extractPromptTags(
        record.metadata.prompt.value_or(""),
        GenerationMetadataProvider::usesStableDiffusionPromptSyntax(record.metadata.provider),
        kMaximumStoredPromptTagBytes, kMaximumStoredPromptTagCount);
    record.file = prepared.file;
    // Reading and parsing a large text made and freed several copies of it in this thread's heap,
    // which would stay counted against the program while the writer, in a heap of its own, builds
    // the text's index.
    if (prepared.recordBytes >= kRecordBytesReleasedAfterParsing) platform::releaseFreeHeapMemory();
  } catch (...) {
    // The single-item path meets the same failure and records it.
    prepared.record = {};
    return prepared;
  }
  prepared.kind = PreparedQueueItem::Kind::project;
  return prepared;
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

  const std::size_t batchSize = std::max<std::size_t>(1, options_.projectionBatchSize);
  std::vector<std::uint64_t> weights;
  weights.reserve(items.size());
  for (const auto& item : items)
    weights.push_back(static_cast<std::uint64_t>(std::max<std::int64_t>(0, item.fileSize.value_or(0))));
  OrderedPreparationLimits limits;
  limits.threads = options_.preparationThreads != 0 ? options_.preparationThreads
                                                    : std::max(1u, std::thread::hardware_concurrency());
  limits.maxItemsAhead = std::max<std::size_t>(2 * batchSize, 4 * limits.threads);
  limits.maxWeightAhead = kPreparedBytesAhead;
  OrderedPreparation<PreparedQueueItem> preparation(
      std::move(weights), [&](std::size_t i) { return prepareQueueItem(items[i], states[i]); }, limits);

  std::vector<std::pair<const IndexingQueueItem*, ImageFileInfo>> unchanged;
  std::vector<QueueItemProjection> batch;
  std::vector<const IndexingQueueItem*> batchItems;
  std::uint64_t batchRecordBytes = 0;
  const auto flushProjections = [&] {
    projectPreparedItems(scan, batches, batch, batchItems);
    batchRecordBytes = 0;
  };
  const auto flushUnchanged = [&] {
    completeUnchangedItems(scan, batches, unchanged);
    unchanged.clear();
  };
  for (std::size_t i = 0; i < items.size(); ++i) {
    // The burst's later items, the prepared ones not yet written among them, stay claimed; a
    // resumption puts them back.
    scan.throwIfStopRequested();
    const IndexingQueueItem& item = items[i];
    PreparedQueueItem prepared;
    try {
      prepared = preparation.take(i);
    } catch (...) {
      // Out of memory on a preparation thread: the single-item path tries again.
    }
    scan.metrics.record(Operation::processingFileInfo, 1, prepared.fileInfoNanoseconds);
    // Earlier items first, so that the library sees every item's work in claiming order.
    switch (prepared.kind) {
      case PreparedQueueItem::Kind::unchanged:
        flushProjections();
        unchanged.emplace_back(&item, prepared.file);
        break;
      case PreparedQueueItem::Kind::project: {
        flushUnchanged();
        scan.metrics.record(Operation::parseMetadata, 1, prepared.parseNanoseconds);
        scan.metrics.record(Operation::computeContentHash, options_.contentHasher != nullptr ? 1 : 0,
                            prepared.hashNanoseconds);
        QueueItemProjection projection;
        projection.itemID = item.id;
        projection.fileChangedSinceQueued = item.fileSize != prepared.file.fileSize ||
                                            item.modificationDate != prepared.file.modificationDate;
        projection.record = std::move(prepared.record);
        projection.completionMessage = generateThumbnail(scan, projection.record);
        batchRecordBytes += prepared.recordBytes;
        batch.push_back(std::move(projection));
        batchItems.push_back(&item);
        // A changed-path scan looks for the earlier paths of each image's content right after
        // writing it, so that a later image sees the moves of the ones before.
        if (batch.size() >= batchSize || batchRecordBytes >= options_.projectionBatchBytes ||
            scan.writesEachImageAlone)
          flushProjections();
        break;
      }
      case PreparedQueueItem::Kind::alone:
        flushProjections();
        flushUnchanged();
        processQueueItem(scan, item);
        break;
    }
  }
  flushProjections();
  flushUnchanged();
}

void ImageLibraryScanner::projectPreparedItems(Scan& scan, IndexingBatchStore& batches,
                                               std::vector<QueueItemProjection>& batch,
                                               std::vector<const IndexingQueueItem*>& batchItems) {
  // Each image takes the marks of the places its content left in the transaction that writes it.
  // Looked up before the batch is written: an image's earlier places are not among the images
  // written before it in the batch (those are where they are), and the places an earlier image of
  // the same content leaves are still present records for it, found again. Looked up once: an
  // item the write leaves for later (its file went) costs its own lookup, not the rest's again.
  std::vector<std::optional<ContentRelocation>> lookedUp(batch.size());
  while (!batch.empty()) {
    std::vector<RelocatingFile> files;
    files.reserve(batch.size());
    for (const QueueItemProjection& projection : batch)
      files.push_back({&projection.record.file.path, &projection.record.contentSHA256});
    std::vector<ImageLibraryIndexingProgress> finished;
    bool failedWhole = false;
    try {
      writeRelocating(
          scan, files,
          [&](const std::vector<ContentRelocation>& relocations) {
            for (std::size_t i = 0; i < batch.size(); ++i) batch[i].relocation = relocations[i];
            TimedScanStep step(scan.metrics, Operation::upsertRecord,
                               static_cast<std::int64_t>(batch.size()));
            finished = batches.projectQueueItems(scan.jobID, batch, isStillAsRead);
            step.count = static_cast<std::int64_t>(finished.size());
            // The same transaction completes the items: its time is counted above.
            scan.metrics.record(Operation::markIndexed, step.count, 0);
            return finished.size();
          },
          &lookedUp);
    } catch (const std::exception& error) {
      platform::logDebug("IndexingPerformance",
                         std::string("Writing indexed files together failed: ") + error.what());
      failedWhole = true;
    }
    if (failedWhole || finished.size() > batch.size()) {
      for (const IndexingQueueItem* item : batchItems) processQueueItem(scan, *item);
      break;
    }
    for (const ImageLibraryIndexingProgress& progress : finished) {
      if (scan.progress) scan.progress(progress);
    }
    // Otherwise the transaction ended after a checkpoint, or before an item it could not write or
    // whose file is no longer as it was read; the next call begins with that item.
    std::size_t done = finished.size();
    if (done == 0) {
      // The store could not write the first one, or its file changed or went: on its own it is read
      // again, and fails, or is recorded, as it should.
      processQueueItem(scan, *batchItems.front());
      done = 1;
    }
    batch.erase(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(done));
    batchItems.erase(batchItems.begin(), batchItems.begin() + static_cast<std::ptrdiff_t>(done));
    lookedUp.erase(lookedUp.begin(), lookedUp.begin() + static_cast<std::ptrdiff_t>(done));
  }
  batch.clear();
  batchItems.clear();
}

std::optional<std::string> ImageLibraryScanner::generateThumbnail(Scan& scan, ImageRecord& record) {
  TimedScanStep step(scan.metrics, Operation::generateThumbnail,
                     options_.thumbnailGenerator != nullptr ? 1 : 0);
  if (options_.thumbnailGenerator == nullptr) return std::nullopt;
  const std::string& path = record.file.path;
  // A thumbnail that cannot be made does not keep the image out of the library.
  try {
    record.thumbnailPath = options_.thumbnailGenerator->generateThumbnail(path, record.file);
    if (!record.thumbnailPath) {
      throw ImageThumbnailGeneratorError(ImageThumbnailGeneratorError::Kind::cannotCreateThumbnail, path);
    }
  } catch (...) {
    record.thumbnailPath.reset();
    return scanFailure(path, std::current_exception()).message;
  }
  return std::nullopt;
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
  if (isSameFile(state, file)) {
    scan.metrics.unchangedSkipCount += 1;
    // A file back where it was missing takes its review state back in the write that makes it
    // present again.
    const std::optional<std::string> missingContent = state->isMissing ? state->contentSHA256 : std::nullopt;
    writeRelocating(scan, {{&file.path, &missingContent}},
                    [&](const std::vector<ContentRelocation>& relocations) {
                      // Not there any more (renamed away again): the failure marks it missing.
                      if (!relocations.front().empty()) fileInfo(path);
                      TimedScanStep step(scan.metrics, Operation::markObserved);
                      records_.markObserved(file, scan.jobID, relocations.front());
                      return 1;
                    });
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
  record.promptTags =
      extractPromptTags(record.metadata.prompt.value_or(""),
                        GenerationMetadataProvider::usesStableDiffusionPromptSyntax(record.metadata.provider),
                        kMaximumStoredPromptTagBytes, kMaximumStoredPromptTagCount);
  record.file = file;
  const std::optional<std::string> completionMessage = generateThumbnail(scan, record);
  // The image and the marks it takes from the places its content left are written together.
  writeRelocating(scan, {{&file.path, &record.contentSHA256}},
                  [&](const std::vector<ContentRelocation>& relocations) {
                    {
                      TimedScanStep step(scan.metrics, Operation::processingFileInfo);
                      // Gone since it was read (a rename took it away): no record stands for a path that does
                      // not exist; the failure marks whatever the library held there missing.
                      fileInfo(path);
                    }
                    TimedScanStep step(scan.metrics, Operation::upsertRecord);
                    records_.upsertRecord(record, scan.jobID, relocations.front());
                    return 1;
                  });
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
      if (isSameFile(records_.indexedFileState(next.path), queued)) continue;
      scan.hashAhead->start(next.path);
    }
  } catch (const std::exception& error) {
    platform::logDebug("IndexingPerformance", std::string("Hashing ahead skipped: ") + error.what());
  }
}

std::optional<std::string> ImageLibraryScanner::comparedContent(const std::string& path) const {
  if (options_.contentHasher == nullptr) return std::nullopt;
  try {
    return options_.contentHasher->sha256Hex(path);
  } catch (const std::exception& error) {
    platform::logDebug("IndexingPerformance", "Could not read " + path + " for its content: " + error.what());
    return std::nullopt;
  }
}

bool ImageLibraryScanner::holdsContent(const std::string& path, const IndexedImageFileState& was) const {
  if (options_.contentHasher == nullptr || !was.contentSHA256) return false;
  // A file moved by a rename keeps its size and time: only such a file is read.
  const std::optional<platform::FileAttributes> found = platform::readFileAttributes(path);
  if (!found || found->kind != platform::FileKind::regularFile ||
      !hasSizeAndTime(was.fileInfo, found->size, found->modificationTime))
    return false;
  return comparedContent(path) == was.contentSHA256;
}

ContentRelocation ImageLibraryScanner::placesLeft(Scan& scan, const std::string& contentSHA256,
                                                  const std::string& path) const {
  const std::vector<std::string>& roots = *scan.relocationRoots;
  ContentRelocation relocation;
  const std::vector<ContentPlace> places = records_.contentPlaces(contentSHA256, path);
  if (places.empty()) return relocation;
  // Where the file's review state may come from: its earlier places under the scan's roots that no
  // longer resolve to themselves (they become missing), and the missing records of the content
  // whose files are not back at their place (in any earlier scan). Present copies still at their
  // place stay what they are.
  std::vector<std::string> sources;
  std::vector<std::string> staying;
  for (const ContentPlace& place : places) {
    if (!place.missing && !isUnderRoot(place.path, roots)) continue;
    if (stillResolvesToItself(place.path)) {
      if (!place.missing) staying.push_back(place.path);
      continue;
    }
    if (!place.missing) relocation.movedPaths.push_back(place.path);
    sources.push_back(place.path);
  }
  const std::optional<IndexedImageFileState> here = records_.indexedFileState(path);
  const bool heldBefore = here && !here->isMissing;
  if (heldBefore && here->contentSHA256 && *here->contentSHA256 != contentSHA256) {
    // The content that was here is gone from here. When it is now where this content was, the two
    // files swapped names: each record's review state goes with its content.
    for (const std::string& other : staying) {
      if (!holdsContent(other, *here)) continue;
      relocation.swappedWith = other;
      relocation.swappedContent = *here->contentSHA256;
      return relocation;
    }
  }
  // A file the library already held present with this content, or with content it does not know
  // (a copy touched or saved again), takes no other record's review.
  if (heldBefore && (!here->contentSHA256 || *here->contentSHA256 == contentSHA256)) return relocation;
  // Copies of one image moved together: each takes the state of the one of its own name, if any.
  const std::string_view name = text::lastPathComponent(path);
  const auto sameName = [&](const std::string& source) { return text::lastPathComponent(source) == name; };
  if (std::any_of(sources.begin(), sources.end(), sameName)) std::erase_if(sources, std::not_fn(sameName));
  relocation.reviewSources = std::move(sources);
  return relocation;
}

std::size_t ImageLibraryScanner::writeRelocating(Scan& scan, const std::vector<RelocatingFile>& files,
                                                 const RelocatingWrite& write,
                                                 std::vector<std::optional<ContentRelocation>>* lookedUp) {
  std::vector<ContentRelocation> relocations(files.size());
  if (!scan.relocationRoots) return std::min(write(relocations), files.size());
  // Where the content now at each path was before, written with the image (ContentRelocation).
  // Only this function looks them up, so every write that hands a record another's review state
  // is noted below. A lookup made for a file that a write then left for later serves it again:
  // the library changed meanwhile only by the writes of the files before it, which one write of
  // all of them would not have let it see either.
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (lookedUp != nullptr && (*lookedUp)[i]) {
      relocations[i] = *(*lookedUp)[i];
      continue;
    }
    if (files[i].contentSHA256 == nullptr || !files[i].contentSHA256->has_value()) continue;
    TimedScanStep step(scan.metrics, Operation::relocationLookup);
    relocations[i] = placesLeft(scan, **files[i].contentSHA256, *files[i].path);
    if (lookedUp != nullptr) (*lookedUp)[i] = relocations[i];
  }
  const std::size_t written = std::min(write(relocations), files.size());
  for (std::size_t i = 0; i < written; ++i) {
    const std::string to = text::standardizedPath(*files[i].path);
    // The records the file continues are those it took the review state of; two files that swapped
    // continue each other.
    for (const std::string& source : relocations[i].reviewSources)
      scan.relocations.push_back({text::standardizedPath(source), to});
    if (relocations[i].swappedWith) {
      // Both files of a swap may have looked it up before either was written: told once.
      const RecordRelocation there{to, text::standardizedPath(*relocations[i].swappedWith)};
      if (std::find(scan.relocations.begin(), scan.relocations.end(), there) == scan.relocations.end()) {
        scan.relocations.push_back(there);
        scan.relocations.push_back({there.toPath, there.fromPath});
        // The other file kept its size and time: what was cached for them is this file's picture.
        if (const auto other = platform::readFileAttributes(there.toPath))
          scan.outdatedThumbnails.push_back({there.toPath, other->size, other->modificationTime});
      }
    }
    // The write that took the image's marks marked these missing: its time is counted there.
    if (!relocations[i].movedPaths.empty()) {
      scan.metrics.record(Operation::markMissing, static_cast<std::int64_t>(relocations[i].movedPaths.size()),
                          0);
    }
  }
  return written;
}

ImageLibraryIndexingProgress ImageLibraryScanner::failQueueItem(Scan& scan, const IndexingQueueItem& item,
                                                                const std::exception_ptr& error) {
  // Best effort: the failure itself is recorded below either way.
  const std::optional<platform::FileAttributes> found = platform::readFileAttributes(item.path);
  if (found && found->kind == platform::FileKind::regularFile) {
    // A file that cannot be read now (permission, damage) is still the image the library shows.
    TimedScanStep step(scan.metrics, Operation::markSeenAfterFailure);
    try {
      records_.markSeenAfterFailure(item.path, scan.jobID);
    } catch (const std::exception& markError) {
      platform::logDebug("IndexingPerformance",
                         std::string("Keeping a failed file visible failed: ") + markError.what());
    }
  } else if (found && found->kind == platform::FileKind::directory) {
    // A folder now: its files are walked on their own, and the image that was at its path, not
    // seen by the job, goes missing with the rest of what the scan did not see.
  } else if (found || !isUnderRoot(item.path, scan.absentRoots)) {
    // Gone, or no longer a file at all (a FIFO, a device, a socket in its place): the image that
    // was there is gone as if it had been deleted, and keeps its marks as a missing record.
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
