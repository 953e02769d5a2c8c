// ImageLibraryScanner: the indexer of the library. A scan opens an indexing job in the library,
// walks the roots for PNG files into the job's queue, indexes the queue in claimed bursts, marks
// the library's files under the roots that the job did not see as missing, and completes the job.
// Because the job and its queue live in the database, a scan that stops half-way (an error, a
// stop its caller requested, a crash) leaves a running job that resumeInterruptedJob finishes
// later. The stop token is looked at before each file is queued or indexed, before each claim
// and between folders of a walk, so a stop ends the call once the file in hand is done.
//
// Discovery and processing interleave: after every `discoveryChunkSize` files queued in one walk,
// up to `processingBurstSize` items (newest files first) are indexed, so the first images of a
// large new folder reach the library while it is still being walked. A full scan and a resumption
// walk the roots twice, each walk followed by draining the queue; the second walk picks up files
// that appeared or changed meanwhile.
//
// When the store offers batched operations, discovered files are queued in batches (one
// transaction each, with the job's progress after each file reported as the per-file enqueue
// would have left it), and the files of a batch that the library already holds unchanged are
// marked observed and completed right there, together, instead of being claimed one by one later:
// a rescan of an unchanged library writes a few transactions per batch, not several per file.
// Items still pending are claimed in bursts: the library's state of a whole burst is read at
// once, the burst's files are read, parsed and hashed on preparation threads (in claiming order,
// a bounded window ahead), and the scan's thread writes them as they come: the files found
// unchanged are completed together in the same way, the new and changed ones projected and
// completed up to `projectionBatchSize` to a transaction. A file that could not be prepared, an
// image the store could not write, and every file of a batch the store could not write at all go
// through the single-item path, which reports their failures.
//
// A file is indexed again only when it changed: its stored size differs, its stored modification
// time differs by 0.001 s or more, or it was stored by another projection revision. Indexing reads
// the PNG text chunks, parses them, hashes the file and writes the image's projection. When a
// scan finds content that the library holds under another path which no longer resolves to
// itself, that path is marked missing (the file moved), and the image takes the review state it
// had there, in the transaction that writes the image: a kill between two commits could otherwise
// leave the image present without its marks, and no later scan would see anything to do. An image
// the library already held present at its path with that content (a kept copy touched or saved
// again) is no moved file: it keeps its own review. The places content left stay known to the job,
// so a resumed job hands over what the killed one had not reached. A record is written only for a
// file still at its path as it was read, checked after its earlier places were found gone: a
// folder renamed back while its files were read leaves no record at the path it left, and its
// files' marks where they went back to.
//
// What does not stop a scan: a file that cannot be read or parsed, is not a regular file, vanished
// after it was listed, or has a name that is not UTF-8 (each becomes a failure in the summary or is
// skipped when it vanished), and a folder that cannot be read or loops back (a failure in the
// summary; the images stored under it keep their state rather than being marked missing). What
// does: a database error, and a root of a full or changed-path scan that cannot be read. A
// resumed job skips roots that no longer exist and leaves their images as they are.
//
// Every step is timed into a metrics collector, and each scan that got as far as having a job
// hands one snapshot to the metrics sink, completed or failed.
//
// Thread safety: no locks of its own and no state between calls; each call runs on the caller's
// thread, which alone calls the stores and the progress handler. The only other threads are the
// preparation threads of a burst and short helpers that hash the next queued files of the
// single-item path (they only read files, and a scan waits for them before it returns). The stores serialise
// their own work, so searches and other library work interleave with a running scan. Two scans may run at
// once; nothing here prevents it.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "database/library_store_protocols.h"
#include "metadata/generation_metadata_parser.h"
#include "platform/file_attributes.h"
#include "services/indexing/file_content_hashing.h"
#include "services/indexing/image_library_indexing_metrics.h"
#include "services/indexing/image_library_scanning.h"
#include "services/thumbnails/image_thumbnail_generating.h"

namespace lorvex {

namespace platform {
class Clock;
}

struct DiscoveredEntry;

struct ImageLibraryScannerOptions {
  // Writes a thumbnail while indexing; the live program leaves this to the thumbnail jobs.
  const ImageThumbnailGenerating* thumbnailGenerator = nullptr;
  // Hashes each indexed file; without it no content hash is stored and no move is recognised.
  const FileContentHashing* contentHasher = nullptr;
  // Receives one metrics snapshot per scan; without it none is taken.
  ImageLibraryIndexingMetricsSink* metricsSink = nullptr;
  std::size_t discoveryChunkSize = 1000;
  std::size_t processingBurstSize = 100;
  // Items claimed at once when draining the queue through a store's batched operations. Several
  // projection batches: a claim's end cuts the batch being gathered short and stops the reading
  // ahead until the next claim.
  std::size_t claimBatchSize = 2000;
  // Discovered files queued together through a store's batched operations.
  std::size_t enqueueBatchSize = 400;
  // New or changed images written together, in one transaction, through a store's batched
  // operations.
  std::size_t projectionBatchSize = 500;
  // What such a batch may hold in memory, at most: each record is weighed by its texts (a few
  // times their bytes), not by its file, whose pixels are never kept.
  std::uint64_t projectionBatchBytes = 64u << 20;
  // Threads that read, parse and hash claimed files ahead of the writes (batched stores only);
  // 0: one per processor.
  std::size_t preparationThreads = 0;
  // Monotonic time of the metrics; the system clock when null.
  const platform::Clock* clock = nullptr;
  // How discovery reads a found file's size and modification time (throwing platform::FileError
  // when it cannot); ImageLibraryScanner::fileInfo when empty.
  std::function<ImageFileInfo(const std::string& path)> discoveredFileInfo;
};

class ImageLibraryScanner final : public ImageLibraryScanning {
 public:
  // Modification times closer than this count as equal.
  static constexpr double kModificationTimeTolerance = 0.001;
  // Whether a file found with `size` and `modificationTime` has the ones the library holds in `known`.
  static bool hasSizeAndTime(const ImageFileInfo& known, std::int64_t size, double modificationTime) {
    return known.fileSize == size &&
           std::fabs(known.modificationDate - modificationTime) < kModificationTimeTolerance;
  }

  // The stores must outlive the scanner (the live program passes the same object twice).
  ImageLibraryScanner(IndexingJobStore& jobs, ImageIndexingRecordStore& records,
                      GenerationMetadataParser parser, ImageLibraryScannerOptions options = {});

  ImageLibraryScanSummary scan(const std::vector<std::string>& roots, const ProgressHandler& progress,
                               std::stop_token stop) override;
  ImageLibraryScanSummary scanChangedPaths(const std::vector<std::string>& changedPaths,
                                           const std::vector<std::string>& roots,
                                           const ProgressHandler& progress, std::stop_token stop) override;
  std::optional<ImageLibraryScanSummary> resumeInterruptedJob(const ProgressHandler& progress,
                                                              std::stop_token stop) override;

  // The size and modification time of the file at `path` (links followed; the path kept as
  // given). Throws platform::FileError when it cannot be read.
  static ImageFileInfo fileInfo(const std::string& path);

 private:
  struct Scan;

  // Two walks of the roots, each followed by draining the queue; then the missing marking over
  // the roots and the job's completion.
  ImageLibraryScanSummary runFullScan(Scan& scan, const std::vector<std::string>& roots);
  // Completes the job and hands the completed snapshot to the sink.
  ImageLibraryScanSummary completeJob(Scan& scan);
  // Runs `body`; when it throws, the failed snapshot goes to the sink and the error propagates.
  ImageLibraryScanSummary reportingFailure(Scan& scan, const std::function<ImageLibraryScanSummary()>& body);

  void discoveryPass(Scan& scan, const std::vector<std::string>& roots);
  // A found file's size and time, as discovery reads them (options_.discoveredFileInfo or fileInfo).
  ImageFileInfo discoveredFileInfo(const std::string& path) const;
  // Walks one root; a link is followed only to a file in `scanRoots` (png_file_discovery.h).
  std::size_t discoverRoot(Scan& scan, const std::string& root, const std::vector<std::string>& scanRoots);
  // Queues one discovered file; false when it vanished since it was listed. With a batched store
  // the file waits in the scan's batch until queueDiscoveredFiles.
  bool enqueueDiscoveredFile(Scan& scan, const std::string& path);
  // The same for a file whose attributes the walk has read (or failed to read).
  bool enqueueDiscoveredFile(Scan& scan, DiscoveredEntry entry);
  // Queues the files waiting in the scan's batch, reports each, and completes those the library
  // holds unchanged (queue_item_processing.cpp).
  void queueDiscoveredFiles(Scan& scan);
  void recordDiscoveryFailure(Scan& scan, const std::string& path, const std::string& message);
  void processPendingQueueItems(Scan& scan, std::optional<std::size_t> limit);
  void reportProgress(Scan& scan);

  // Changed-path scan (changed_path_scan.cpp).
  std::vector<std::string> discoverChangedPaths(Scan& scan, const std::vector<std::string>& changedPaths,
                                                const std::vector<std::string>& roots);
  std::vector<std::string> pngFiles(Scan& scan, const std::string& path,
                                    const std::vector<std::string>& roots);
  // A reported file the library holds with its size and time: when its content is not what the
  // library read, its record is projected again (markContentChanged).
  void checkContentInPlace(Scan& scan, const std::string& path, const platform::FileAttributes& attributes);

  // Claimed items in bursts (queue_item_processing.cpp): each file read, parsed and hashed on the
  // preparation threads; the unchanged ones completed in batches, the new and changed ones
  // projected in batches, and any that could not be prepared taken on their own, in claiming
  // order.
  void processClaimedItems(Scan& scan, IndexingBatchStore& batches,
                           const std::vector<IndexingQueueItem>& items);
  struct PreparedQueueItem;
  // What a preparation thread does for one claimed item: only reads the file.
  PreparedQueueItem prepareQueueItem(const IndexingQueueItem& item,
                                     const std::optional<IndexedImageFileState>& state) const;
  // Writes the batch through projectQueueItems and reports each item; an item the store could not
  // write, and every item of a batch that failed whole, goes through the single-item path.
  void projectPreparedItems(Scan& scan, IndexingBatchStore& batches, std::vector<QueueItemProjection>& batch,
                            std::vector<const IndexingQueueItem*>& batchItems);
  // Marks observed and completes the unchanged items; when the store fails, each goes through the
  // single-item path instead, so that its failure is recorded as before.
  void completeUnchangedItems(
      Scan& scan, IndexingBatchStore& batches,
      const std::vector<std::pair<const IndexingQueueItem*, ImageFileInfo>>& unchanged);

  // One queue item (queue_item_processing.cpp).
  // Indexes the item, or records its failure, then reports the job's progress. Throws only when
  // the failure cannot be recorded.
  void processQueueItem(Scan& scan, const IndexingQueueItem& item);
  ImageLibraryIndexingProgress indexQueueItem(Scan& scan, const IndexingQueueItem& item);
  // Makes the record's thumbnail when the scanner has a generator; the completion message when it
  // could not.
  std::optional<std::string> generateThumbnail(Scan& scan, ImageRecord& record);
  // Starts hashing the files of the next pending items, except those the library holds unchanged.
  void hashNextQueuedFile(Scan& scan);
  // A file whose record may take the review state of the places its content left: its path and its
  // content hash (none: nothing is looked up).
  struct RelocatingFile {
    const std::string* path;
    const std::optional<std::string>* contentSHA256;
  };
  // Writes the files in order, each with the places its content left, and says how many it wrote.
  using RelocatingWrite = std::function<std::size_t(const std::vector<ContentRelocation>& relocations)>;
  // The one way the scanner writes a record with a relocation: looks up the places each file's
  // content left (when the scan follows moves; placesLeft in queue_item_processing.cpp), hands them
  // to `write`, and then, for the files written, notes the relocations for the summary and the
  // places left for the content's other copies later in the scan. What `write` throws propagates,
  // with nothing noted.
  // With `lookedUp` (one entry per file), a file's places already looked up are taken from there,
  // and the ones looked up now are kept there.
  std::size_t writeRelocating(Scan& scan, const std::vector<RelocatingFile>& files,
                              const RelocatingWrite& write,
                              std::vector<std::optional<ContentRelocation>>* lookedUp = nullptr);
  // Where the content now at `path` was before (ContentRelocation): reads the library and the
  // file system; writes nothing.
  ContentRelocation placesLeft(Scan& scan, const std::string& contentSHA256, const std::string& path) const;
  // Whether the file at `path` holds what `was` describes: its size and time, and its content.
  bool holdsContent(const std::string& path, const IndexedImageFileState& was) const;
  // The file's content as the hasher reads it, to compare with the content the library holds;
  // nothing without a hasher, or when it cannot be read (logged: reading it as a queued file meets
  // the same failure and records it).
  std::optional<std::string> comparedContent(const std::string& path) const;
  ImageLibraryIndexingProgress failQueueItem(Scan& scan, const IndexingQueueItem& item,
                                             const std::exception_ptr& error);

  IndexingJobStore& jobs_;
  ImageIndexingRecordStore& records_;
  const GenerationMetadataParser parser_;
  const ImageLibraryScannerOptions options_;
};

}  // namespace lorvex
