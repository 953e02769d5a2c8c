// SQLiteImageRepositoryV3: the library database. One object per process owns the file
// "LorvexV3.sqlite" and its two connections, each with the lock that serialises it; every library
// operation of the services goes through it, from any thread. It implements every store protocol
// of the library (library_store_protocols.h).
//
// The writer connection carries every write and every read that belongs to a write. The searches
// (searchImages) and the pure reads the store repeats while a folder is indexed (tag, model and
// tag concept suggestions, folder image counts) run on a read-only reader of their own, each in
// one read transaction: they read the last committed state, never wait for a write transaction and
// never hold one up.
//
// Construction opens (or creates) the file, brings it to schema version 4 and verifies it, or
// throws SQLiteImageRepositoryV3Error and leaves no connection open:
//   - newerSchemaVersion(v): the file was written by a newer program; it is left untouched.
//   - incompatibleSchemaVersion(v): an older or foreign layout, a file that is not a database, an
//     empty file, or one that is damaged beyond repair (reportsDamagedFile()). Start-up moves the
//     files aside with moveAsidePreV4Database and constructs the object once more, which creates a
//     fresh library. Nothing is ever deleted.
// A library that an earlier run found damaged (or that shows damage while it opens) is checked
// first: damage confined to indexes and full-text indexes is repaired in place
// (internal/library_repair.h), and the library opens with every row it had.
//   - openFailed / executionFailed: the file could not be opened or set up.
// Destruction closes both connections.
//
// The object itself only opens, migrates and owns; each operation below is carried out by the
// class of its concern in database/internal/, which holds that concern's SQL: IndexingJobs,
// ThumbnailJobs, ScanBookkeeping, ImageProjection, LibrarySearch, ReviewStates and TagConcepts.
//
// Thread safety: every member function may be called from any thread; the recursive lock of the
// connection it uses serialises it with the others on that connection. moveAsidePreV4Database touches only
// files and runs while no connection to them is open.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "database/library_store_protocols.h"
#include "database/sqlite_binding.h"
#include "database/sqlite_image_repository_error.h"
#include "model/image_library_scan_summary.h"
#include "model/image_record.h"
#include "model/image_search_query.h"
#include "model/image_search_query_v3.h"
#include "model/indexing_job.h"
#include "model/registered_folder.h"
#include "model/review_state.h"
#include "model/tag_concept.h"
#include "model/tag_suggestion.h"
#include "model/thumbnail_job.h"
#include "platform/clock.h"

namespace lorvex {

class SQLiteConnection;

struct SQLiteImageRepositoryV3Options {
  // Receives the SQL text of every statement that runs (not the scripts), on either connection:
  // it may be called from two threads at once.
  std::function<void(std::string_view sql)> statementObserver;
  // Called from the search progress handler, on the searching thread.
  std::function<void()> searchProgressObserver;
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

class SQLiteImageRepositoryV3 final : public ImageLibraryRepository,
                                      public TagConceptStore,
                                      public IndexingJobStore,
                                      public ImageIndexingRecordStore,
                                      public IndexingBatchStore {
 public:
  static constexpr std::int64_t kMetadataProjectionRevision = lorvex::kMetadataProjectionRevision;

  explicit SQLiteImageRepositoryV3(const std::filesystem::path& databaseFile,
                                   SQLiteImageRepositoryV3Options options = {});
  ~SQLiteImageRepositoryV3() override;
  SQLiteImageRepositoryV3(const SQLiteImageRepositoryV3&) = delete;
  SQLiteImageRepositoryV3& operator=(const SQLiteImageRepositoryV3&) = delete;

  // Moves the database file and its "-wal" and "-shm" files to
  // "<name>.pre-v4-v<version>-<stamp>" in the same folder (with ".1", ".2", … appended while any
  // of the three target names is taken). Missing companions are skipped. The first failed move
  // ends the operation with the mover's error; files moved before it stay moved. Returns the path
  // the database file was moved to.
  static std::filesystem::path moveAsidePreV4Database(
      const std::filesystem::path& databaseFile, std::int64_t version, std::string_view stamp,
      const DatabaseFileMover& mover = DatabaseFileMover::system());
  // The stamp start-up passes: whole seconds since 1970, truncated toward zero.
  static std::string moveAsideStamp(double secondsSince1970);

  // ---- Marks carried over from a damaged library -------------------------------------------------
  // When a damaged library file has been moved aside, start-up names it here before opening the
  // new library. Every open then reads the person's marks back from that file (library_salvage.h):
  // the tag concepts and their aliases are restored at once, and each image takes its review state
  // and its hand-made concept assignments when a scan writes it into the library for the first
  // time. The carrying ends, and the note with it, once every registered folder has been scanned
  // in full (noteFoldersScanned): a folder that is away during the rebuild (an external disk) gets
  // its marks when it comes back. Until then every launch takes it up again.
  static void carryMarksFrom(const std::filesystem::path& databaseFile,
                             const std::filesystem::path& setAsideFile);
  // The note beside the library that names the set-aside file: the database path + "-recovering".
  static std::filesystem::path carriedMarksNotePath(const std::filesystem::path& databaseFile);
  // How many images took a favourite or delete-candidate mark or notes from the set-aside file in
  // this run so far.
  std::int64_t carriedMarkCount() override;
  // Whether the set-aside file, when this open took up carrying from it, held any mark that could
  // be read (a review state or a hand-made concept assignment).
  bool carriedMarksFound() const { return carriedMarksFound_; }
  // `scannedRoots` were just scanned in full. The note keeps them; once they cover every one of
  // `registeredRoots`, the carrying ends.
  void noteFoldersScanned(const std::vector<std::string>& scannedRoots,
                          const std::vector<std::string>& registeredRoots) override;

  // ---- Indexing jobs and their queue (IndexingJobs) ----------------------------------------------
  // A job still running at launch was interrupted and can be resumed. A failed item keeps the
  // status "indexed" with a failure message; counts treat "failed" or a message as failed.

  // Records the standardized roots (also as library roots) and returns the new running job.
  IndexingJobRecord startIndexingJob(const std::vector<std::string>& rootPaths) override;
  IndexingJobRecord indexingJob(std::int64_t jobID) override;
  // The most recently updated running job, if any (latestRunningIndexingJob is the same).
  std::optional<IndexingJobRecord> latestIndexingJobID();
  std::optional<IndexingJobRecord> latestRunningIndexingJob() override;
  // Puts the latest running job's items that were being processed back to pending and recounts
  // its counters; nothing when no job is running.
  std::optional<IndexingJobRecord> resumeInterruptedIndexingJob() override;
  // Adds the file to the job's queue, or sends an item whose size or modification time changed back
  // to pending (its old contribution taken off the counters). An unchanged item stays as it is.
  void enqueueIndexingQueueItems(std::int64_t jobID, const ImageFileInfo& file) override;
  // Claims the pending item with the newest modification time (ties by path); nothing when none.
  std::optional<IndexingQueueItem> beginNextQueueItem(std::int64_t jobID) override;
  std::vector<IndexingQueueItem> nextPendingQueueItems(std::int64_t jobID, std::size_t limit) override;
  void updateQueueItemFileInfo(std::int64_t jobID, std::int64_t itemID, const ImageFileInfo& file) override;
  // Finishes an item, failed when a message is given, and returns the job's progress.
  ImageLibraryIndexingProgress completeIndexingQueueItem(
      std::int64_t jobID, std::int64_t itemID, const std::optional<std::string>& failureMessage) override;
  // In one transaction: the item becomes "failed" with the message and the job's counts move by
  // the difference between what the item counted before and what it counts now.
  ImageLibraryIndexingProgress failIndexingQueueItem(std::int64_t jobID, std::int64_t itemID,
                                                     const std::string& message) override;
  void recordDiscoveryFailure(std::int64_t jobID, const std::string& path,
                              const std::string& message) override;
  IndexingQueueItem indexingQueueItem(std::int64_t itemID, std::int64_t jobID);
  void closeIndexingJobsCoveredBy(std::int64_t jobID, const std::vector<std::string>& rootPaths) override;
  // Marks the job completed and summarises it with its failures in path order.
  ImageLibraryScanSummary completeIndexingJob(std::int64_t jobID) override;
  static IndexingQueueCounterDeltas queueItemCounterDeltas(IndexingQueueItemStatus status,
                                                           bool hasFailureMessage);

  // The batched forms (IndexingBatchStore).
  IndexingBatchStore* batches() override { return this; }
  std::vector<QueuedDiscoveredFile> enqueueIndexingQueueItemBatch(
      std::int64_t jobID, const std::vector<ImageFileInfo>& files,
      const UnchangedFileTest& isUnchanged) override;
  std::vector<IndexingQueueItem> beginNextQueueItems(std::int64_t jobID, std::size_t limit) override;
  std::vector<std::optional<IndexedImageFileState>> indexedFileStates(
      const std::vector<std::string>& paths) override;
  std::vector<ImageLibraryIndexingProgress> completeUnchangedQueueItems(
      std::int64_t jobID, const std::vector<UnchangedQueueItem>& items) override;
  // The statistics the items' projections move (tag and model counts, the models' search rows)
  // are written once per call, by the sum of the items' differences.
  std::vector<ImageLibraryIndexingProgress> projectQueueItems(
      std::int64_t jobID, const std::vector<QueueItemProjection>& items,
      const FileStillAsReadTest& isStillAsRead) override;

  // ---- Thumbnail jobs and thumbnail references (ThumbnailJobs) ------------------------------------

  // Enqueues (or refreshes) jobs for every live image without a thumbnail, in one statement, after
  // dropping the jobs of images marked missing.
  void enqueueMissingThumbnailJobs(ThumbnailJobPriority priority) override;
  // Both connections' page caches released (sqlite3_db_release_memory); see ImageLibraryRepository.
  void releaseCachedMemory() override;
  // The same for the given paths; the first failure stops, earlier upserts stay.
  void enqueueThumbnailJobs(const std::vector<std::string>& paths, ThumbnailJobPriority priority) override;
  // The next eligible job: higher priority first, then the newest file, then path ascending;
  // retry times after `now` are skipped.
  std::optional<ThumbnailJobRecord> claimNextThumbnailJob(double now) override;
  void completeThumbnailJob(const ThumbnailJobRecord& job, std::string_view thumbnailKey) override;
  // Back to pending with one more retry, the error text and the earliest retry time.
  void failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message, double nextRetryAt) override;
  // Deletes the job.
  void dropThumbnailJob(const ThumbnailJobRecord& job) override;
  // The jobs whose last attempt failed, with their error, in path order.
  std::vector<ThumbnailJobRecord> failedThumbnailJobs();
  // The keys of live images.
  std::set<std::string> liveThumbnailKeys() override;
  // Clears every key whose last path component is one of `cacheFileNames`.
  void clearThumbnailKeys(const std::set<std::string>& cacheFileNames) override;
  // Clears the keys of the given images, 500 ids per statement. The caller holds the lock and a
  // transaction: the library's own operations call it.
  void clearThumbnailKeysForMediaFiles(const std::vector<std::int64_t>& mediaFileIDs);

  // ---- Media file scan bookkeeping, folder counts, event checkpoints (ScanBookkeeping) -----------
  // Rows are never deleted: a file that vanished is marked missing and keeps its review state.

  // What is stored for the path, missing or not.
  std::optional<IndexedImageFileState> indexedFileState(std::string_view path) override;
  // Whether a live image at or under the paths was projected by another revision.
  bool hasFilesNeedingReprojection(const std::vector<std::string>& paths) override;
  // Records that the scan saw the file as it is; a changed size or modification time (exact
  // comparison) drops the stored thumbnail key and content hash. The relocation is written in the
  // same transaction.
  void markObserved(const ImageFileInfo& file, std::int64_t jobID,
                    const ContentRelocation& relocation = {}) override;
  // A file that failed to index counts as seen and projected by the current revision.
  void markSeenAfterFailure(std::string_view path, std::int64_t jobID) override;
  void markSeenUnder(std::string_view path, std::int64_t jobID) override;
  // Present paths with the same content, and missing ones it may have come from, ascending.
  std::vector<ContentPlace> contentPlaces(std::string_view contentSHA256, std::string_view path) override;
  void markContentChanged(std::string_view path) override;
  // Marks missing every image at or under the roots that the job did not see.
  void markMissingIfNotSeen(std::int64_t jobID, const std::vector<std::string>& rootPaths) override;
  // The images at or under paths of a removed folder become missing (thumbnail keys stay).
  void markMissing(const std::vector<std::string>& paths) override;
  // Images moved to the Trash become missing and lose their thumbnail keys.
  void markTrashedPathsMissing(const std::vector<std::string>& paths) override;
  // The longest registered root at or above the path (the first of equal length); no database.
  static std::optional<std::string> owningRootPath(std::string_view path,
                                                   const std::vector<std::string>& rootPaths);
  // Per standardized folder: live files at or under it, and missing ones that are not delete
  // candidates. "/a/b" covers "/a/b/c.png", not "/a/bc.png".
  std::vector<RegisteredFolderImageCounts> folderImageCounts(const std::vector<std::string>& paths) override;
  // The standardized roots with the smallest stored event id; nothing when there are no roots or
  // any root lacks a readable checkpoint. The ids are the folder monitor's own inotify event
  // counter, kept in registered_folder_fsevent_states.
  std::optional<RegisteredFolderEventCheckpoint> lastFSEventID(
      const std::vector<std::string>& rootPaths) override;
  // Stores the id for every root in one transaction.
  void saveLastFSEventID(const std::vector<std::string>& rootPaths, std::uint64_t eventID) override;
  // An unsigned 64-bit decimal text, optionally with "+"; anything else is nothing.
  static std::optional<std::uint64_t> decodeStoredEventID(const std::optional<std::string>& stored);

  // ---- Per-image indexing projection (ImageProjection) --------------------------------------------
  // All in one transaction, so a search never sees half of an image. A re-projection never changes
  // the review state; it keeps the stored thumbnail key when the record brings none and the file's
  // size and modification time are unchanged, and keeps the stored content hash when the record
  // brings none. A job id that names no job throws recordNotFound ("indexing job 7") before
  // anything is written for the file. The relocation is written in the same transaction, after
  // the image's rows.
  void upsertRecord(const ImageRecord& record, std::optional<std::int64_t> jobID,
                    const ContentRelocation& relocation = {}) override;
  // The media id of the path exactly as given; recordNotFound(path) when it is not in the library.
  std::int64_t mediaFileID(std::string_view path);

  // ---- Search, record hydration and suggestions (LibrarySearch) -----------------------------------
  // A search page: the query is compiled (names resolved to ids; a filter tag, prompt tag or model
  // source that names nothing gives an empty page without selecting any image), the page's ids are
  // selected, and the records are read in chunks of at most 400 ids. The search waits for the lock
  // in short attempts and ends in SearchCancelledError, never with a partial page, once `stop` is
  // requested.
  std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop = {}) override;
  // The record stored under the standardized path, missing or not.
  std::optional<ImageRecord> imageRecord(std::string_view path) override;
  std::optional<std::string> deleteCandidateContent(std::string_view path) override;
  // Records selected by a WHERE text over media_files and the record joins (plus `join`), in the
  // sort's order, paged (negative limit or offset bind 0).
  std::vector<ImageRecord> selectRecords(std::string_view join, std::string_view where,
                                         const SQLiteV3Bindings& bindings, ImageSearchSortV3 sort,
                                         std::int64_t limit, std::int64_t offset);
  // Tags whose key or search text contains the typed tag (stripped of weight syntax), merged by
  // letter case and ranked by image count; all tags with images for no text.
  std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text,
                                            std::int64_t limit) override;
  // Models whose key or source contains the typed text, by image count.
  std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text,
                                                std::int64_t limit) override;

  // ---- Review states (ReviewStates) ----------------------------------------------------------------
  // Replaces favourite, delete candidate and notes together (no notes clears them), for missing
  // files too; recordNotFound(path) when the file is not in the library.
  void updateReviewState(std::string_view path, const ReviewState& state) override;
  // updateReviewState for every entry in one transaction, in order (a later entry for the same path
  // wins). Every path is looked up first: the first one not in the library throws recordNotFound
  // and nothing is written; a failed write rolls back the whole batch. An empty list does nothing.
  void updateReviewStates(const std::vector<ReviewStateUpdate>& updates) override;
  // Puts back each path's delete-candidate flag (favourite and notes stay) in one transaction and
  // returns the records in request order, as read before the write but with the restored flag.
  // Refuses a list naming a path twice (executionFailed) and an unindexed path (recordNotFound)
  // before writing; a failed write rolls back every flag of the request.
  std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores) override;

  // ---- Tag concepts (TagConcepts) ------------------------------------------------------------------
  // Every write runs in one transaction that also rebuilds the concept's derived rows. A name whose
  // key belongs to another concept fails the write (stepFailed) and changes nothing.

  // Concepts whose key or search text contains the cleaned, lower-cased text (all for none), most
  // images first, then by name; concepts without images only when `includeEmpty`.
  std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& text, std::int64_t limit,
                                            bool includeEmpty);
  // The same with concepts without images: a concept just made must be listed.
  std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& text,
                                            std::int64_t limit) override;
  // The active aliases' tag names, case-insensitively ordered.
  std::vector<TagConceptAlias> tagConceptAliases(std::int64_t conceptID) override;
  // The active manual assignments of these images, by concept id and then path
  // (tagConceptImageAssignments is the same).
  std::vector<TagConceptManualAssignment> manualTagConceptAssignments(
      const std::vector<std::string>& imagePaths);
  std::vector<TagConceptManualAssignment> tagConceptImageAssignments(
      const std::vector<std::string>& imagePaths) override;
  TagConcept createTagConcept(std::string_view displayName) override;
  TagConcept renameTagConcept(std::int64_t conceptID, std::string_view displayName) override;
  // Every stored tag term that one of the tag's key candidates names becomes (or stops being) an
  // alias.
  void addTagConceptAlias(std::int64_t conceptID, std::string_view tag) override;
  void removeTagConceptAlias(std::int64_t conceptID, std::string_view tag) override;
  // An empty list does nothing, not even checking the concept. Unassigning leaves an image that
  // carries an alias tag in the concept.
  void assignImagesToTagConcept(std::int64_t conceptID, const std::vector<std::string>& imagePaths) override;
  void unassignImagesFromTagConcept(std::int64_t conceptID,
                                    const std::vector<std::string>& imagePaths) override;
  // Trimmed, whitespace runs collapsed to one space; executionFailed when nothing is left.
  static std::string validatedTagConceptName(std::string_view name);
  // The cleaned, lower-cased search text; nothing for no text or one that cleans to nothing.
  static std::optional<std::string> normalizedConceptSearchText(const std::optional<std::string>& text);

 private:
  // Tests reach the connection through this (tests/database/support/repository_connection.h).
  friend struct SQLiteImageRepositoryV3TestAccess;
  // The connection and one object per concern (sqlite_image_repository.cpp).
  struct Concerns;

  // open_and_migrate.cpp
  void openAndMigrate(const std::string& path);
  void openOnce(const std::string& path);
  void resumeCarryingMarks(const std::string& path);
  void stopCarryingMarks();
  void closeConnections();
  std::int64_t readSchemaVersion();
  void verifySchema();
  void prepareForThisProcess();

  std::unique_ptr<Concerns> concerns_;
  SQLiteConnection& connection_;    // concerns_->connection, the writer
  SQLiteConnection& reader_;        // concerns_->reader
  bool carriedMarksFound_ = false;  // set while opening only
};

}  // namespace lorvex
