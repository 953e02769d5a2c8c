// SQLiteImageRepositoryV3: the library database. One object per process owns the file
// "LorvexV3.sqlite" and its one connection; every library operation of the services goes through
// it, from any thread.
//
// Construction opens (or creates) the file, brings it to schema version 4 and verifies it, or
// throws SQLiteImageRepositoryV3Error and leaves no connection open:
//   - newerSchemaVersion(v): the file was written by a newer program; it is left untouched.
//   - incompatibleSchemaVersion(v): an older or foreign layout, a file that is not a database or
//     one that is corrupt. Start-up moves the files aside with moveAsidePreV4Database and
//     constructs the object once more, which creates a fresh library. Nothing is ever deleted.
//   - openFailed / executionFailed: the file could not be opened or set up.
// Destruction closes the connection.
//
// The operations of the library are grouped by concern, each in its own source file; all of them
// run under the connection's lock (see SQLiteConnection).
//
// Thread safety: every member function may be called from any thread; the connection's recursive
// lock serialises them. moveAsidePreV4Database touches only files and runs while no connection to
// them is open.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "database/sqlite_connection.h"
#include "database/sqlite_image_repository_error.h"
#include "model/image_library_scan_summary.h"
#include "model/image_record.h"
#include "model/image_search_query.h"
#include "model/indexing_job.h"
#include "model/registered_folder.h"
#include "model/review_state.h"
#include "model/tag_concept.h"
#include "model/tag_suggestion.h"
#include "model/thumbnail_job.h"
#include "platform/clock.h"

namespace lorvex {

struct SQLiteImageRepositoryV3Options {
  // Receives the SQL text of every statement that runs (not the scripts).
  SQLiteConnection::StatementObserver statementObserver;
  // Called from the search progress handler, on the searching thread.
  SQLiteConnection::SearchProgressObserver searchProgressObserver;
  // Time of stored rows and of lock-wait measurements; the system clock when null.
  platform::Clock* clock = nullptr;
};

// The file operations that moving a library aside needs; tests replace them.
struct DatabaseFileMover {
  // Whether anything (a file, a folder, a dangling link) exists at the path.
  std::function<bool(const std::filesystem::path&)> exists;
  // Renames `from` to `to`; throws std::filesystem::filesystem_error on failure.
  std::function<void(const std::filesystem::path& from, const std::filesystem::path& to)> move;

  static DatabaseFileMover system();
};

// One finished queue item's contribution to its job's four counters.
struct IndexingQueueCounterDeltas {
  std::int64_t total = 0;
  std::int64_t processed = 0;
  std::int64_t indexed = 0;
  std::int64_t failed = 0;

  friend bool operator==(const IndexingQueueCounterDeltas&, const IndexingQueueCounterDeltas&) = default;
};

class SQLiteImageRepositoryV3 {
 public:
  static constexpr std::int64_t kMetadataProjectionRevision = 1;

  explicit SQLiteImageRepositoryV3(const std::filesystem::path& databaseFile,
                                   SQLiteImageRepositoryV3Options options = {});
  ~SQLiteImageRepositoryV3();
  SQLiteImageRepositoryV3(const SQLiteImageRepositoryV3&) = delete;
  SQLiteImageRepositoryV3& operator=(const SQLiteImageRepositoryV3&) = delete;

  // Moves the database file and its "-wal" and "-shm" files to
  // "<name>.pre-v4-v<version>-<stamp>" in the same folder (with ".1", ".2", … appended while any
  // of the three target names is taken). Missing companions are skipped. The first failed move
  // ends the operation with the mover's error; files moved before it stay moved.
  static void moveAsidePreV4Database(const std::filesystem::path& databaseFile, std::int64_t version,
                                     std::string_view stamp,
                                     const DatabaseFileMover& mover = DatabaseFileMover::system());
  // The stamp start-up passes: whole seconds since 1970, truncated toward zero.
  static std::string moveAsideStamp(double secondsSince1970);

  // ---- Indexing jobs and their queue (indexing_jobs.cpp) ------------------------------------------
  // A scan runs as a job: start it, enqueue every discovered file, claim and complete items one by
  // one, complete the job. A job still running at launch was interrupted and can be resumed. A
  // failed item keeps the status "indexed" with a failure message; counts treat "failed" or a
  // message as failed. Unknown ids throw recordNotFound ("indexing job 7", "indexing queue item 17
  // in job 3").

  // Records the standardized roots (also as library roots) and returns the new running job.
  IndexingJobRecord startIndexingJob(const std::vector<std::string>& rootPaths);
  IndexingJobRecord indexingJob(std::int64_t jobID);
  // The most recently updated running job, if any.
  std::optional<IndexingJobRecord> latestIndexingJobID();
  // Puts the latest running job's items that were being processed back to pending and recounts
  // its counters; nothing when no job is running.
  std::optional<IndexingJobRecord> resumeInterruptedIndexingJob();
  // Adds the file to the job's queue, or sends an item whose size or modification time changed back
  // to pending (its old contribution taken off the counters). An unchanged item stays as it is.
  void enqueueIndexingQueueItems(std::int64_t jobID, const ImageFileInfo& file);
  // Claims the pending item with the newest modification time (ties by path); nothing when none.
  std::optional<IndexingQueueItem> beginNextQueueItem(std::int64_t jobID);
  // Finishes an item, failed when a message is given, and returns the job's progress.
  ImageLibraryIndexingProgress completeIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                         const std::optional<std::string>& failureMessage);
  IndexingQueueItem indexingQueueItem(std::int64_t itemID, std::int64_t jobID);
  // Marks the job completed and summarises it with its failures in path order.
  ImageLibraryScanSummary completeIndexingJob(std::int64_t jobID);
  // The start of a SELECT of whole queue items ("SELECT <columns> FROM indexing_queue_items "), and
  // the decoding of one of its rows.
  static constexpr std::string_view kQueueItemColumns =
      "SELECT id, job_id, path, file_size, modification_time, status, failure_message FROM "
      "indexing_queue_items ";
  static IndexingQueueItem decodeQueueItemRow(SQLiteRows& row);
  static IndexingQueueCounterDeltas queueItemCounterDeltas(IndexingQueueItemStatus status,
                                                           bool hasFailureMessage);

  // Every this many processed items the WAL file is truncated.
  static constexpr std::int64_t kCheckpointInterval = 500;

  // ---- Thumbnail jobs and thumbnail references (thumbnail_jobs.cpp) -----------------------------
  // One job per live image without a thumbnail key, for the file version (size, modification time)
  // it was made for. Claimed jobs become "processing"; completion stores the key only if the file
  // is still exactly that version, and deletes the job. Claims live only inside one process: jobs
  // left "processing" return to "pending" when the library is opened.

  // Enqueues (or refreshes) jobs for every live image without a thumbnail, in one statement.
  void enqueueMissingThumbnailJobs(ThumbnailJobPriority priority);
  // The same for the given paths; the first failure stops, earlier upserts stay.
  void enqueueThumbnailJobs(const std::vector<std::string>& paths, ThumbnailJobPriority priority);
  // The next eligible job: higher priority first, then the newest file, then path ascending;
  // retry times after `now` are skipped.
  std::optional<ThumbnailJobRecord> claimNextThumbnailJob(double now);
  void completeThumbnailJob(const ThumbnailJobRecord& job, std::string_view thumbnailKey);
  // Back to pending with one more retry, the error text and the earliest retry time.
  void failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message, double nextRetryAt);
  // The keys of live images.
  std::set<std::string> liveThumbnailKeys();
  // Clears every key whose last path component is one of `cacheFileNames`.
  void clearThumbnailKeys(const std::set<std::string>& cacheFileNames);
  // Clears the keys of the given images, at most kClearKeysChunk ids per statement. The caller
  // holds the lock and a transaction.
  void clearThumbnailKeysForMediaFiles(const std::vector<std::int64_t>& mediaFileIDs);
  static constexpr std::size_t kClearKeysChunk = 500;

  // ---- Media file scan bookkeeping (scan_bookkeeping.cpp) ---------------------------------------
  // Keeps media_files in step with the disk between projections. Rows are never deleted: a file
  // that vanished is marked missing and keeps its review state. Paths are standardized first.

  // What is stored for the path, missing or not.
  std::optional<IndexedImageFileState> indexedFileState(std::string_view path);
  // Whether a live image at or under the paths was projected by another revision.
  bool hasFilesNeedingReprojection(const std::vector<std::string>& paths);
  // Records that the scan saw the file as it is; a changed size or modification time (exact
  // comparison) drops the stored thumbnail key and content hash.
  void markObserved(const ImageFileInfo& file, std::int64_t jobID);
  // A file that failed to index counts as seen and projected by the current revision.
  void markSeenAfterFailure(std::string_view path, std::int64_t jobID);
  // Live paths holding the same content elsewhere, ascending.
  std::vector<std::string> relocationCandidatePaths(std::string_view contentSHA256, std::string_view path);
  // Marks missing every image at or under the roots that the job did not see.
  void markMissingIfNotSeen(std::int64_t jobID, const std::vector<std::string>& rootPaths);
  // The images at or under paths of a removed folder become missing (thumbnail keys stay).
  void markMissing(const std::vector<std::string>& paths);
  // Images moved to the Trash become missing and lose their thumbnail keys.
  void markTrashedPathsMissing(const std::vector<std::string>& paths);
  // The longest registered root at or above the path (the first of equal length); no database.
  static std::optional<std::string> owningRootPath(std::string_view path,
                                                   const std::vector<std::string>& rootPaths);

  // ---- Per-image indexing projection (image_projection.cpp) -----------------------------------
  // Writes one parsed image into the library: its file row, properties, review state (only when
  // new), generation record with segments, parameters and models, raw payloads, tag rows, text row,
  // tag and model statistics and concept index, all in one transaction, so a search never sees half
  // of it. The models named by the metadata and the library root of the job are upserted before
  // the transaction and stay when it fails. A re-projection never changes the review state; it
  // keeps the stored thumbnail key when the record brings none and the file's size and
  // modification time are unchanged, and keeps the stored content hash when the record brings
  // none. Throws SQLiteImageRepositoryV3Error; a job id that names no job throws recordNotFound
  // ("indexing job 7") before anything is written for the file.
  void upsertRecord(const ImageRecord& record, std::optional<std::int64_t> jobID);
  // The media id of the path exactly as given; recordNotFound(path) when it is not in the library.
  std::int64_t mediaFileID(std::string_view path);

  // ---- Search, record hydration and suggestions (search_execution.cpp, suggestions.cpp) --------
  // A search page: the query is compiled (names resolved to ids; a filter tag, prompt tag or model
  // source that names nothing gives an empty page without selecting any image), the page's ids
  // are selected (see SearchQueryCompiler), and the records are read in chunks of at most 400
  // ids. The search
  // waits for the lock in short attempts and ends in SearchCancelledError, never with a partial
  // page, once `stop` is requested.
  std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop = {});
  // The record stored under the standardized path, missing or not.
  std::optional<ImageRecord> imageRecord(std::string_view path);
  // Records selected by a WHERE text over media_files and the record joins (plus `join`), in the
  // sort's order, paged (negative limit or offset bind 0).
  std::vector<ImageRecord> selectRecords(std::string_view join, std::string_view where,
                                         const SQLiteV3Bindings& bindings, ImageSearchSortV3 sort,
                                         std::int64_t limit, std::int64_t offset);
  // Tags whose key or search text contains the typed tag (stripped of weight syntax), merged by
  // letter case and ranked by image count; all tags with images for no text.
  std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text, std::int64_t limit);
  // Models whose key or source contains the typed text, by image count.
  std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text, std::int64_t limit);

  // ---- Review states, restore, folder counts and event checkpoints ------------------------------
  // (review_states.cpp, folder_counts.cpp, event_checkpoints.cpp)
  // Paths are standardized first. A file without a review row has the default state.

  // Replaces favourite, delete candidate and notes together (no notes clears them), for missing
  // files too; recordNotFound(path) when the file is not in the library.
  void updateReviewState(std::string_view path, const ReviewState& state);
  // Puts back each path's delete-candidate flag (favourite and notes stay) in one transaction and
  // returns the records in request order, as read before the write but with the restored flag.
  // Refuses a list naming a path twice (executionFailed) and an unindexed path (recordNotFound)
  // before writing; a failed write rolls back every flag of the request.
  std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores);
  static constexpr std::size_t kDeleteCandidateRestoreBatchSize = 400;
  // Per standardized folder: live files at or under it, and missing ones that are not delete
  // candidates. "/a/b" covers "/a/b/c.png", not "/a/bc.png".
  std::vector<RegisteredFolderImageCounts> folderImageCounts(const std::vector<std::string>& paths);
  // The standardized roots with the smallest stored event id; nothing when there are no roots or
  // any root lacks a readable checkpoint.
  std::optional<RegisteredFolderEventCheckpoint> lastFSEventID(const std::vector<std::string>& rootPaths);
  // Stores the id for every root in one transaction.
  void saveLastFSEventID(const std::vector<std::string>& rootPaths, std::uint64_t eventID);
  // An unsigned 64-bit decimal text, optionally with "+"; anything else is nothing.
  static std::optional<std::uint64_t> decodeStoredEventID(const std::optional<std::string>& stored);

  // ---- Tag concepts (tag_concept_store.cpp) -----------------------------------------------------
  // Every write runs in one transaction that also rebuilds the concept's derived rows; removing an
  // alias or an assignment only switches its row inactive. Unknown concepts throw recordNotFound
  // ("tag concept 7"), unknown images recordNotFound(path), a tag naming no stored tag term
  // recordNotFound("tag alias <tag>"), and a name that cleans to nothing executionFailed("Tag
  // concept display name cannot be empty"); each before anything is written. A name whose key
  // belongs to another concept fails the write (stepFailed) and changes nothing.

  // Concepts whose key or search text contains the cleaned, lower-cased text (all for none), most
  // images first, then by name; concepts without images only when `includeEmpty`.
  std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& text, std::int64_t limit,
                                            bool includeEmpty);
  // The active aliases' tag names, case-insensitively ordered.
  std::vector<TagConceptAlias> tagConceptAliases(std::int64_t conceptID);
  // The active manual assignments of these images, by concept id and then path.
  std::vector<TagConceptManualAssignment> manualTagConceptAssignments(
      const std::vector<std::string>& imagePaths);
  TagConcept createTagConcept(std::string_view displayName);
  TagConcept renameTagConcept(std::int64_t conceptID, std::string_view displayName);
  // Every stored tag term that one of the tag's key candidates names becomes (or stops being) an
  // alias.
  void addTagConceptAlias(std::int64_t conceptID, std::string_view tag);
  void removeTagConceptAlias(std::int64_t conceptID, std::string_view tag);
  // An empty list does nothing, not even checking the concept. Unassigning leaves an image that
  // carries an alias tag in the concept.
  void assignImagesToTagConcept(std::int64_t conceptID, const std::vector<std::string>& imagePaths);
  void unassignImagesFromTagConcept(std::int64_t conceptID, const std::vector<std::string>& imagePaths);
  // Trimmed, whitespace runs collapsed to one space; executionFailed when nothing is left.
  static std::string validatedTagConceptName(std::string_view name);
  // The cleaned, lower-cased search text; nothing for no text or one that cleans to nothing.
  static std::optional<std::string> normalizedConceptSearchText(const std::optional<std::string>& text);

  // The statement layer, lock and transactions that the operations use; exposed for the
  // operations of this layer and for tests.
  SQLiteConnection& connection() { return connection_; }

 private:
  void openAndMigrate(const std::string& path);
  std::int64_t readSchemaVersion();
  void verifySchema();
  void prepareForThisProcess();

  // indexing_jobs.cpp
  void refreshIndexingJobCounters(std::int64_t jobID, const std::optional<std::string>& currentPath);
  void applyIndexingJobCounterDeltas(std::int64_t jobID, const IndexingQueueCounterDeltas& deltas,
                                     const std::optional<std::string>& currentPath);
  std::optional<IndexingQueueItem> queueItemForPath(std::int64_t jobID, const std::string& path);
  void upsertLibraryRoot(const std::string& path, double now);
  void checkpointWAL();
  // thumbnail_jobs.cpp
  void upsertThumbnailJobs(const std::optional<std::string>& path, ThumbnailJobPriority priority, double now);
  void returnInterruptedThumbnailJobsToPending();
  // image_projection.cpp
  void projectRecord(const ImageRecord& record, std::optional<std::int64_t> jobID);
  std::optional<std::int64_t> resolveLibraryRootID(const std::string& path,
                                                   std::optional<std::int64_t> jobID);

  // tag_concept_store.cpp
  TagConcept tagConceptByID(std::int64_t conceptID);
  TagConcept tagConceptByKey(const std::string& normalizedKey);
  std::vector<std::int64_t> resolveAliasTagTermIDs(std::string_view tag);
  std::vector<std::int64_t> mediaFileIDsForConceptAssignment(const std::vector<std::string>& paths);
  void writeConceptAssignments(std::int64_t conceptID, const std::vector<std::string>& imagePaths,
                               bool active);

  SQLiteConnection connection_;
};

}  // namespace lorvex
