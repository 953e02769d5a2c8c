// The library database as its callers see it, cut into abstract stores by what each flow needs:
// the scanner works through the indexing job and its queue (IndexingJobStore, with its batched
// forms in IndexingBatchStore) and the per-image rows a scan reads and writes
// (ImageIndexingRecordStore); the library service through the trash flow's lookups
// (ImageTrashStore), the thumbnail runs (ThumbnailJobStore), tag concepts (TagConceptStore) and the
// rest (ImageLibraryRepository, which includes the first two). SQLiteImageRepositoryV3 implements
// every one of them in the live program; tests put fakes or wrappers behind them to make a chosen
// step fail.
//
// Every operation is one unit of work in the database: it either happens whole or throws and
// leaves the library as it was. Paths are absolute and standardized by the implementation. A
// failure throws the implementation's error (SQLiteImageRepositoryV3Error in the live program);
// its what() is the text a failed scan reports.
//
// Thread safety: implementations serialise their own work (the live one holds the connection's
// lock for each call), so any thread may call them; a scan calls them from its one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "model/image_library_scan_summary.h"
#include "model/image_record.h"
#include "model/image_search_query.h"
#include "model/indexing_job.h"
#include "model/registered_folder.h"
#include "model/review_state.h"
#include "model/tag_concept.h"
#include "model/tag_suggestion.h"
#include "model/thumbnail_job.h"

namespace lorvex {

class IndexingBatchStore;

class IndexingJobStore {
 public:
  virtual ~IndexingJobStore() = default;

  // Records the roots as library roots and opens a running job over them with zero counts.
  virtual IndexingJobRecord startIndexingJob(const std::vector<std::string>& rootPaths) = 0;
  // The job as stored; throws a not-found error ("indexing job 7") for an unknown id.
  virtual IndexingJobRecord indexingJob(std::int64_t jobID) = 0;
  // The most recently updated running job with its claimed items put back to pending and its
  // counts recomputed; nothing when no job is running.
  virtual std::optional<IndexingJobRecord> resumeInterruptedIndexingJob() = 0;

  // Queues the file for the job, or sends its item back to pending when the size or modification
  // time differs from what was queued; an item with the same size and time stays as it is.
  virtual void enqueueIndexingQueueItems(std::int64_t jobID, const ImageFileInfo& file) = 0;
  // Claims the pending item with the newest modification time (ties by path); nothing when none.
  virtual std::optional<IndexingQueueItem> beginNextQueueItem(std::int64_t jobID) = 0;
  // The first `limit` items in the order beginNextQueueItem claims them, left pending.
  virtual std::vector<IndexingQueueItem> nextPendingQueueItems(std::int64_t jobID, std::size_t limit) = 0;
  // Stores the size and time the item's file has now, leaving its status.
  virtual void updateQueueItemFileInfo(std::int64_t jobID, std::int64_t itemID,
                                       const ImageFileInfo& file) = 0;
  // Finishes the item as indexed, carrying a message when something short of failure went wrong
  // (a thumbnail), and returns the job's progress.
  virtual ImageLibraryIndexingProgress completeIndexingQueueItem(
      std::int64_t jobID, std::int64_t itemID, const std::optional<std::string>& message) = 0;
  // Finishes the item as failed with the message and returns the job's progress.
  virtual ImageLibraryIndexingProgress failIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                             const std::string& message) = 0;
  // Records a path that the walk could not read or cannot store (an unreadable folder, a name
  // that is not UTF-8) as a failed item of the job, so the scan's summary lists it. Recording the
  // same path again replaces the message.
  virtual void recordDiscoveryFailure(std::int64_t jobID, const std::string& path,
                                      const std::string& message) = 0;

  // Completes every running job older than `jobID` whose roots all lie at or under `rootPaths`:
  // the job walks all of those roots, so it does whatever they had left to do. Their queues go
  // with the next completion's clean-up. Only for a job that walks every file under `rootPaths`
  // (a full scan or its resumption), and only while no other process works on the library.
  virtual void closeIndexingJobsCoveredBy(std::int64_t jobID, const std::vector<std::string>& rootPaths) = 0;

  // Completes the job: its counts recomputed from its queue, and its summary with the failures
  // in path order.
  virtual ImageLibraryScanSummary completeIndexingJob(std::int64_t jobID) = 0;

  // The batched forms of this store's per-item operations; nothing when it has none, and the
  // scanner then takes every item on its own.
  virtual IndexingBatchStore* batches() { return nullptr; }
};

// A claimed queue item whose file the library holds unchanged, with the size and time it has now.
struct UnchangedQueueItem {
  std::int64_t itemID = 0;
  ImageFileInfo file;
};

// What queueing one discovered file did.
struct QueuedDiscoveredFile {
  // The job's progress right after the file was queued.
  ImageLibraryIndexingProgress progress;
  // The job's progress right after the file was completed as unchanged; nothing when its item
  // was left as it was or waits in the queue.
  std::optional<ImageLibraryIndexingProgress> completion;
};

// Where the content of a file found at its path was before: the places it left, and whose review
// it takes. Written with the file's own row, in one transaction, so that no kill between two
// commits leaves the file present without its marks while they stay with a place it left.
struct ContentRelocation {
  // Present records of the content whose files are gone from there: they become missing (as
  // markMissing does), and stay places the content may have come from for its other copies.
  std::vector<std::string> movedPaths;
  // The records the content may have come from (moved ones, and missing ones from any earlier
  // scan: contentPlaces). Unless the record at the path has a review of its own (favourite, delete
  // candidate or notes), it takes over theirs as handOverReviewState says: all of it from a single
  // one, which keeps nothing; from several no delete-candidate mark. Either way they are known as
  // taken over from then on, and hand nothing to another file while they stay missing.
  std::vector<std::string> reviewSources;

  // Set when the file's own content moved on to another registered path whose content came here
  // (two files swapped names): the two records exchange their review states, the other record
  // holds `swappedContent` from then on and is read again at its next scan. Review follows bytes.
  std::optional<std::string> swappedWith = std::nullopt;
  std::string swappedContent = {};

  bool empty() const { return movedPaths.empty() && reviewSources.empty() && !swappedWith; }
};

// A place the library holds some content at: a present record, or a missing one whose content may
// still turn up elsewhere (one the program did not trash, and that no file took over since it
// went missing).
struct ContentPlace {
  std::string path;
  bool missing = false;

  friend bool operator==(const ContentPlace&, const ContentPlace&) = default;
};

// A claimed queue item's new projection: the record indexing its file produced.
struct QueueItemProjection {
  std::int64_t itemID = 0;
  // The file as it was read for the record; its size and time replace the queued ones first when
  // `fileChangedSinceQueued`.
  bool fileChangedSinceQueued = false;
  ImageRecord record;
  // Something short of failure that went wrong (a thumbnail); the item still counts as indexed.
  std::optional<std::string> completionMessage;
  // Written with the record.
  ContentRelocation relocation;
};

// Whether what the library holds for a file (nothing when the file is not in it) shows the file
// unchanged, so that it needs no indexing.
using UnchangedFileTest =
    std::function<bool(const std::optional<IndexedImageFileState>& stored, const ImageFileInfo& file)>;

// Whether a file is still at its path as it was read for its record (the same size and
// modification time), asked at the moment the record is written.
using FileStillAsReadTest = std::function<bool(const ImageFileInfo& file)>;

// Batched forms of the per-item operations, for scans that find most files unchanged: each has
// exactly the effect of the per-item calls it stands for, made one after another, in far fewer
// transactions. Same thread safety and errors as the per-item operations.
class IndexingBatchStore {
 public:
  virtual ~IndexingBatchStore() = default;

  // For each file in order, enqueueIndexingQueueItems; then, in file order, each file whose item
  // became pending and that `isUnchanged` accepts with the library's state of its path (the path
  // standardized) is marked observed and completed without a message, as completeUnchangedQueueItems
  // does. A path given twice is queued twice and completed by neither. One transaction, after
  // which the write-ahead log is checkpointed when a completion brought the job's processed count
  // to a multiple of the checkpoint interval. One answer per file; throws with none of the files
  // queued.
  virtual std::vector<QueuedDiscoveredFile> enqueueIndexingQueueItemBatch(
      std::int64_t jobID, const std::vector<ImageFileInfo>& files, const UnchangedFileTest& isUnchanged) = 0;
  // Claims up to `limit` pending items, as that many beginNextQueueItem calls would claim them
  // (newest modification time first, ties by path), in one transaction; fewer when fewer wait.
  virtual std::vector<IndexingQueueItem> beginNextQueueItems(std::int64_t jobID, std::size_t limit) = 0;
  // indexedFileState of each path, in the order given.
  virtual std::vector<std::optional<IndexedImageFileState>> indexedFileStates(
      const std::vector<std::string>& paths) = 0;
  // For each item in order, markObserved(file) and then completeIndexingQueueItem without a
  // message, in one transaction. The transaction ends after the item whose completion brings the
  // job's processed count to a multiple of the write-ahead log's checkpoint interval; the log is
  // checkpointed then, as after a single completion, and the items after that one are left for
  // the next call. Returns the job's progress after each item it finished (a prefix of `items`,
  // never empty unless `items` is). Throws with none of this call's items finished.
  virtual std::vector<ImageLibraryIndexingProgress> completeUnchangedQueueItems(
      std::int64_t jobID, const std::vector<UnchangedQueueItem>& items) = 0;
  // For each item in order: updateQueueItemFileInfo when its file changed since it was queued,
  // upsertRecord(record, jobID, relocation) and completeIndexingQueueItem(completionMessage), in one
  // transaction. An item whose writes fail ends the call: the items before it are committed (the
  // transaction is rolled back and written again without it), and it and the ones after it are
  // left as they were, for the caller to take on their own. The transaction also ends after the
  // item whose completion brings the job's processed count to a multiple of the checkpoint
  // interval (the log is checkpointed then, as after a single completion, once a write that waits
  // has gone first), after the item in hand once another thread waits for the writer, and after
  // the item that finds it has written images for 60 ms. Returns the job's progress after each
  // item it finished (a prefix of `items`); throws with none finished when the transaction as a
  // whole fails.
  //
  // With `isStillAsRead`, an item is written only when it holds for the item's file, asked inside
  // the transaction just before the item's writes: the call ends before the first item whose file
  // is gone or changed since it was read, as before an item that failed. A record written for a
  // file that a rename took away meanwhile would stand for a path that no longer exists, while the
  // marks stayed with the records of the place the file went back to.
  virtual std::vector<ImageLibraryIndexingProgress> projectQueueItems(
      std::int64_t jobID, const std::vector<QueueItemProjection>& items,
      const FileStillAsReadTest& isStillAsRead) = 0;
};

class ImageIndexingRecordStore {
 public:
  virtual ~ImageIndexingRecordStore() = default;

  // What the library holds for the file, missing or not; nothing when it is not in the library.
  virtual std::optional<IndexedImageFileState> indexedFileState(std::string_view path) = 0;
  // The file was seen by the job as it is and is present; with `relocation`, in the same
  // transaction (a file back where it was missing takes back its review state).
  virtual void markObserved(const ImageFileInfo& file, std::int64_t jobID,
                            const ContentRelocation& relocation = {}) = 0;
  // A file that failed to index stays present and counts as seen by the job.
  virtual void markSeenAfterFailure(std::string_view path, std::int64_t jobID) = 0;
  // Every present file at or under the path counts as seen by the job: a folder that could not
  // be read keeps its images as they were instead of losing them to the missing marking.
  virtual void markSeenUnder(std::string_view path, std::int64_t jobID) = 0;
  // Writes the whole projection of one image for the job (a scan always names its job), and
  // `relocation` in the same transaction.
  virtual void upsertRecord(const ImageRecord& record, std::optional<std::int64_t> jobID,
                            const ContentRelocation& relocation = {}) = 0;
  // The places other than `path` that hold this content (ContentPlace), in ascending path order:
  // where a file found with it may have come from. One lookup for both kinds of place.
  virtual std::vector<ContentPlace> contentPlaces(std::string_view contentSHA256, std::string_view path) = 0;
  // The file at the path no longer holds the content the library read from it, though its size and
  // modification time did not change: its record is projected again at its next scan.
  virtual void markContentChanged(std::string_view path) = 0;
  // Every present file at or under each path becomes missing.
  virtual void markMissing(const std::vector<std::string>& paths) = 0;
  // Every file at or under the paths that the job did not see becomes missing; no paths, nothing.
  virtual void markMissingIfNotSeen(std::int64_t jobID, const std::vector<std::string>& paths) = 0;
};

class ImageTrashStore {
 public:
  virtual ~ImageTrashStore() = default;
  // The record stored under the path, missing or not; nothing when it is not in the library.
  virtual std::optional<ImageRecord> imageRecord(std::string_view path) = 0;
  // The images at or under each path become missing and lose their thumbnail keys, and are known
  // as trashed: no other file takes their review state, and one put back at its path is seen
  // again without its delete-candidate mark.
  virtual void markTrashedPathsMissing(const std::vector<std::string>& paths) = 0;
  // The content the image's delete-candidate mark was given on (for a mark older than the library's
  // keeping of it, the content the library read); nothing when neither is known.
  virtual std::optional<std::string> deleteCandidateContent(std::string_view path) = 0;
  // The file at the path holds other content than the library read from it: its record is
  // projected again at its next scan.
  virtual void markContentChanged(std::string_view path) = 0;
};

class ThumbnailJobStore {
 public:
  virtual ~ThumbnailJobStore() = default;
  // A job for every live image without a thumbnail (kept when its file is unchanged).
  virtual void enqueueMissingThumbnailJobs(ThumbnailJobPriority priority) = 0;
  virtual void enqueueThumbnailJobs(const std::vector<std::string>& paths, ThumbnailJobPriority priority) = 0;
  // Claims the next job that is due at `now` (seconds since 1970); nothing when none is ready.
  virtual std::optional<ThumbnailJobRecord> claimNextThumbnailJob(double now) = 0;
  // Stores the thumbnail for the image when its file is still the job's version; ends the job.
  virtual void completeThumbnailJob(const ThumbnailJobRecord& job, std::string_view thumbnailPath) = 0;
  // Puts the job back with one more retry, the error text and the earliest retry time.
  virtual void failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message,
                                double nextRetryAt) = 0;
  // Ends the job without a thumbnail: its file is gone. A file that comes back gets a new job
  // from the next enqueue, since it has no thumbnail.
  virtual void dropThumbnailJob(const ThumbnailJobRecord& job) = 0;
  virtual std::set<std::string> liveThumbnailKeys() = 0;
  // Clears every thumbnail key whose file name is one of `cacheFileNames`.
  virtual void clearThumbnailKeys(const std::set<std::string>& cacheFileNames) = 0;
};

class TagConceptStore {
 public:
  virtual ~TagConceptStore() = default;
  // Concepts without images are listed too: a concept just made must be found.
  virtual std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& text,
                                                    std::int64_t limit) = 0;
  virtual std::vector<TagConceptAlias> tagConceptAliases(std::int64_t conceptID) = 0;
  virtual std::vector<TagConceptManualAssignment> tagConceptImageAssignments(
      const std::vector<std::string>& imagePaths) = 0;
  virtual TagConcept createTagConcept(std::string_view displayName) = 0;
  virtual TagConcept renameTagConcept(std::int64_t conceptID, std::string_view displayName) = 0;
  virtual void addTagConceptAlias(std::int64_t conceptID, std::string_view tag) = 0;
  virtual void removeTagConceptAlias(std::int64_t conceptID, std::string_view tag) = 0;
  virtual void assignImagesToTagConcept(std::int64_t conceptID,
                                        const std::vector<std::string>& imagePaths) = 0;
  virtual void unassignImagesFromTagConcept(std::int64_t conceptID,
                                            const std::vector<std::string>& imagePaths) = 0;
};

class ImageLibraryRepository : public ImageTrashStore, public ThumbnailJobStore {
 public:
  // Throws SearchCancelledError once `stop` is requested.
  virtual std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop) = 0;
  virtual std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text,
                                                    std::int64_t limit) = 0;
  virtual std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text,
                                                        std::int64_t limit) = 0;
  virtual void updateReviewState(std::string_view path, const ReviewState& state) = 0;
  // All or nothing; see SQLiteImageRepositoryV3::updateReviewStates.
  virtual void updateReviewStates(const std::vector<ReviewStateUpdate>& updates) = 0;
  virtual std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores) = 0;
  virtual std::vector<RegisteredFolderImageCounts> folderImageCounts(
      const std::vector<std::string>& paths) = 0;
  // The images at or under each path become missing (a registered folder that is no longer there);
  // their thumbnail keys stay.
  virtual void markMissing(const std::vector<std::string>& paths) = 0;
  // Whether a live image at or under the paths was indexed by an older projection.
  virtual bool hasFilesNeedingReprojection(const std::vector<std::string>& paths) = 0;
  // The smallest stored event id of the roots; nothing when a root has none. The ids are the inotify
  // monitor's own (nextFolderEventID), not file-system event ids.
  virtual std::optional<RegisteredFolderEventCheckpoint> lastFSEventID(
      const std::vector<std::string>& rootPaths) = 0;
  virtual void saveLastFSEventID(const std::vector<std::string>& rootPaths, std::uint64_t eventID) = 0;
  // The most recently updated unfinished indexing job.
  virtual std::optional<IndexingJobRecord> latestRunningIndexingJob() = 0;
  // Gives back the memory the library's connections keep for reuse (their page caches), after a
  // piece of work much larger than what follows it; nothing by default.
  virtual void releaseCachedMemory() {}
  // Marks read back from a damaged library that was set aside: how many images took theirs so far,
  // and the folders scanned in full, until every registered one was (SQLiteImageRepositoryV3).
  // Nothing by default.
  virtual std::int64_t carriedMarkCount() { return 0; }
  virtual void noteFoldersScanned(const std::vector<std::string>& /*scannedRoots*/,
                                  const std::vector<std::string>& /*registeredRoots*/) {}
};

}  // namespace lorvex
