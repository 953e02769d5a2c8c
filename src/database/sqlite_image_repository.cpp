// The repository as the owner of its concerns: it builds the connection and one object per
// concern over it, and hands every operation to the object of its concern.
#include "database/sqlite_image_repository.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <system_error>

#include "database/internal/carried_marks.h"
#include "database/internal/image_projection.h"
#include "database/internal/indexing_jobs.h"
#include "database/internal/library_search.h"
#include "database/internal/lost_header_library.h"
#include "database/internal/review_states.h"
#include "database/internal/scan_bookkeeping.h"
#include "database/internal/sql_paths.h"
#include "database/internal/sqlite_connection.h"
#include "database/internal/tag_concepts.h"
#include "database/internal/thumbnail_jobs.h"
#include "platform/log.h"

namespace lorvex {

// Members are built in order, each over the connections and the concerns it asks of others, and
// destroyed in reverse: the reader closes before the writer.
struct SQLiteImageRepositoryV3::Concerns {
  explicit Concerns(SQLiteImageRepositoryV3Options options)
      : connection(options.statementObserver, options.searchProgressObserver, clockOf(options)),
        reader(std::move(options.statementObserver), std::move(options.searchProgressObserver),
               clockOf(options)) {}

  static platform::Clock& clockOf(const SQLiteImageRepositoryV3Options& options) {
    return options.clock != nullptr ? *options.clock : platform::systemClock();
  }

  SQLiteConnection connection;
  SQLiteConnection reader;
  ThumbnailJobs thumbnails{connection};
  ScanBookkeeping files{connection, reader, thumbnails};
  IndexingJobs jobs{connection, files};
  ImageProjection projection{connection, jobs, files};
  LibrarySearch search{connection, reader};
  ReviewStates reviews{connection, projection, search};
  TagConcepts concepts{connection, reader, projection};
};

SQLiteImageRepositoryV3::SQLiteImageRepositoryV3(const std::filesystem::path& databaseFile,
                                                 SQLiteImageRepositoryV3Options options)
    : concerns_(std::make_unique<Concerns>(std::move(options))),
      connection_(concerns_->connection),
      reader_(concerns_->reader) {
  openAndMigrate(databaseFile.string());
}

SQLiteImageRepositoryV3::~SQLiteImageRepositoryV3() = default;

// ---- Marks carried over from a damaged library --------------------------------------------------

namespace {

void removeCarriedMarksNote(const std::filesystem::path& databaseFile) {
  std::error_code error;
  std::filesystem::remove(SQLiteImageRepositoryV3::carriedMarksNotePath(databaseFile), error);
  if (error) platform::logError("Database", "The note of a set-aside library stays: " + error.message());
}

}  // namespace

void SQLiteImageRepositoryV3::resumeCarryingMarks(const std::string& path) {
  std::string name;
  {
    std::ifstream note(carriedMarksNotePath(path));
    if (!note) return;
    std::getline(note, name);
  }
  const std::filesystem::path setAside = std::filesystem::path(path).parent_path() / name;
  if (name.empty() || name.find('/') != std::string::npos) {
    platform::logError("Database",
                       "The note of a set-aside library names no file beside the library: " + name);
    removeCarriedMarksNote(path);
    return;
  }
  const LibrarySalvage salvage = salvageSetAsideLibrary(setAside);
  carriedMarksFound_ =
      !salvage.reviewStates.empty() || std::ranges::any_of(salvage.concepts, [](const auto& concept_) {
        return !concept_.assignments.empty();
      });
  auto guard = connection_.lock();
  std::set<std::int64_t> conceptIDs;
  try {
    conceptIDs = restoreTagConcepts(connection_, salvage);
  } catch (const SQLiteImageRepositoryV3Error& error) {
    // The review states are carried all the same.
    platform::logError("Database", "Tag concepts of the set-aside library could not be restored: " +
                                       error.localizedDescription());
  }
  concerns_->projection.carryMarks(std::make_shared<const CarriedMarks>(salvage, conceptIDs));
}

void SQLiteImageRepositoryV3::stopCarryingMarks() {
  {
    auto guard = connection_.lock();
    if (!concerns_->projection.carriedMarks()) return;
    concerns_->projection.carryMarks(nullptr);
  }
  removeCarriedMarksNote(connection_.path());
}

std::int64_t SQLiteImageRepositoryV3::carriedMarkCount() {
  auto guard = connection_.lock();
  return concerns_->projection.carriedMarksGiven();
}

namespace {

// A root per line of the note, after the set-aside file's name; a line break or "%" in a path is
// written as "%0A" or "%25".
std::string escapedNoteLine(const std::string& path) {
  std::string line;
  for (const char c : path) line += c == '%' ? "%25" : c == '\n' ? "%0A" : std::string(1, c);
  return line;
}

std::string unescapedNoteLine(const std::string& line) {
  std::string path;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line.compare(i, 3, "%25") == 0 || line.compare(i, 3, "%0A") == 0) {
      path += line[i + 2] == '5' ? '%' : '\n';
      i += 2;
    } else {
      path += line[i];
    }
  }
  return path;
}

}  // namespace

void SQLiteImageRepositoryV3::noteFoldersScanned(const std::vector<std::string>& scannedRoots,
                                                 const std::vector<std::string>& registeredRoots) {
  {
    auto guard = connection_.lock();
    if (!concerns_->projection.carriedMarks()) return;
    const std::filesystem::path note = carriedMarksNotePath(connection_.path());
    std::string text;
    std::set<std::string> scanned;
    {
      std::ifstream stored(note);
      std::string line;
      if (!std::getline(stored, line)) return;
      text = line + "\n";
      while (std::getline(stored, line)) scanned.insert(unescapedNoteLine(line));
    }
    for (const std::string& root : sql::standardizedUniquePaths(scannedRoots)) scanned.insert(root);
    const auto registered = sql::standardizedUniquePaths(registeredRoots);
    const bool everyFolderScanned =
        std::all_of(registered.begin(), registered.end(),
                    [&](const std::string& root) { return scanned.contains(root); });
    if (!everyFolderScanned) {
      for (const std::string& root : scanned) text += escapedNoteLine(root) + "\n";
      try {
        replaceCarriedMarksNote(note, text);
      } catch (const std::system_error& error) {
        // The folders scanned now count again at their next scan.
        platform::logError("Database",
                           std::string("The note of a set-aside library stays as it was: ") + error.what());
      }
      return;
    }
  }
  stopCarryingMarks();
}

void SQLiteImageRepositoryV3::prepareForThisProcess() {
  concerns_->thumbnails.returnInterruptedThumbnailJobsToPending();
}

// ---- Indexing jobs and their queue --------------------------------------------------------------

IndexingJobRecord SQLiteImageRepositoryV3::startIndexingJob(const std::vector<std::string>& rootPaths) {
  return concerns_->jobs.startIndexingJob(rootPaths);
}
IndexingJobRecord SQLiteImageRepositoryV3::indexingJob(std::int64_t jobID) {
  return concerns_->jobs.indexingJob(jobID);
}
std::optional<IndexingJobRecord> SQLiteImageRepositoryV3::latestIndexingJobID() {
  return concerns_->jobs.latestIndexingJobID();
}
std::optional<IndexingJobRecord> SQLiteImageRepositoryV3::latestRunningIndexingJob() {
  return concerns_->jobs.latestIndexingJobID();
}
std::optional<IndexingJobRecord> SQLiteImageRepositoryV3::resumeInterruptedIndexingJob() {
  return concerns_->jobs.resumeInterruptedIndexingJob();
}
void SQLiteImageRepositoryV3::enqueueIndexingQueueItems(std::int64_t jobID, const ImageFileInfo& file) {
  concerns_->jobs.enqueueIndexingQueueItems(jobID, file);
}
std::optional<IndexingQueueItem> SQLiteImageRepositoryV3::beginNextQueueItem(std::int64_t jobID) {
  return concerns_->jobs.beginNextQueueItem(jobID);
}
std::vector<IndexingQueueItem> SQLiteImageRepositoryV3::nextPendingQueueItems(std::int64_t jobID,
                                                                              std::size_t limit) {
  return concerns_->jobs.nextPendingQueueItems(jobID, limit);
}
void SQLiteImageRepositoryV3::updateQueueItemFileInfo(std::int64_t jobID, std::int64_t itemID,
                                                      const ImageFileInfo& file) {
  concerns_->jobs.updateQueueItemFileInfo(jobID, itemID, file);
}
ImageLibraryIndexingProgress SQLiteImageRepositoryV3::completeIndexingQueueItem(
    std::int64_t jobID, std::int64_t itemID, const std::optional<std::string>& failureMessage) {
  return concerns_->jobs.completeIndexingQueueItem(jobID, itemID, failureMessage);
}
ImageLibraryIndexingProgress SQLiteImageRepositoryV3::failIndexingQueueItem(std::int64_t jobID,
                                                                            std::int64_t itemID,
                                                                            const std::string& message) {
  return concerns_->jobs.failIndexingQueueItem(jobID, itemID, message);
}
void SQLiteImageRepositoryV3::recordDiscoveryFailure(std::int64_t jobID, const std::string& path,
                                                     const std::string& message) {
  concerns_->jobs.recordDiscoveryFailure(jobID, path, message);
}
IndexingQueueItem SQLiteImageRepositoryV3::indexingQueueItem(std::int64_t itemID, std::int64_t jobID) {
  return concerns_->jobs.indexingQueueItem(itemID, jobID);
}
void SQLiteImageRepositoryV3::closeIndexingJobsCoveredBy(std::int64_t jobID,
                                                         const std::vector<std::string>& rootPaths) {
  concerns_->jobs.closeIndexingJobsCoveredBy(jobID, rootPaths);
}
ImageLibraryScanSummary SQLiteImageRepositoryV3::completeIndexingJob(std::int64_t jobID) {
  return concerns_->jobs.completeIndexingJob(jobID);
}
IndexingQueueCounterDeltas SQLiteImageRepositoryV3::queueItemCounterDeltas(IndexingQueueItemStatus status,
                                                                           bool hasFailureMessage) {
  return IndexingJobs::queueItemCounterDeltas(status, hasFailureMessage);
}
std::vector<QueuedDiscoveredFile> SQLiteImageRepositoryV3::enqueueIndexingQueueItemBatch(
    std::int64_t jobID, const std::vector<ImageFileInfo>& files, const UnchangedFileTest& isUnchanged) {
  return concerns_->jobs.enqueueIndexingQueueItemBatch(jobID, files, isUnchanged);
}
std::vector<IndexingQueueItem> SQLiteImageRepositoryV3::beginNextQueueItems(std::int64_t jobID,
                                                                            std::size_t limit) {
  return concerns_->jobs.beginNextQueueItems(jobID, limit);
}
std::vector<ImageLibraryIndexingProgress> SQLiteImageRepositoryV3::completeUnchangedQueueItems(
    std::int64_t jobID, const std::vector<UnchangedQueueItem>& items) {
  return concerns_->jobs.completeUnchangedQueueItems(jobID, items);
}
std::vector<ImageLibraryIndexingProgress> SQLiteImageRepositoryV3::projectQueueItems(
    std::int64_t jobID, const std::vector<QueueItemProjection>& items,
    const FileStillAsReadTest& isStillAsRead) {
  return concerns_->projection.projectQueueItems(jobID, items, isStillAsRead);
}

// ---- Thumbnail jobs and thumbnail references ----------------------------------------------------

void SQLiteImageRepositoryV3::releaseCachedMemory() {
  connection_.releaseCachedMemory();
  reader_.releaseCachedMemory();
}

void SQLiteImageRepositoryV3::enqueueMissingThumbnailJobs(ThumbnailJobPriority priority) {
  concerns_->thumbnails.enqueueMissingThumbnailJobs(priority);
}
void SQLiteImageRepositoryV3::enqueueThumbnailJobs(const std::vector<std::string>& paths,
                                                   ThumbnailJobPriority priority) {
  concerns_->thumbnails.enqueueThumbnailJobs(paths, priority);
}
std::optional<ThumbnailJobRecord> SQLiteImageRepositoryV3::claimNextThumbnailJob(double now) {
  return concerns_->thumbnails.claimNextThumbnailJob(now);
}
void SQLiteImageRepositoryV3::completeThumbnailJob(const ThumbnailJobRecord& job,
                                                   std::string_view thumbnailKey) {
  concerns_->thumbnails.completeThumbnailJob(job, thumbnailKey);
}
void SQLiteImageRepositoryV3::failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message,
                                               double nextRetryAt) {
  concerns_->thumbnails.failThumbnailJob(job, message, nextRetryAt);
}
void SQLiteImageRepositoryV3::dropThumbnailJob(const ThumbnailJobRecord& job) {
  concerns_->thumbnails.dropThumbnailJob(job);
}
std::vector<ThumbnailJobRecord> SQLiteImageRepositoryV3::failedThumbnailJobs() {
  return concerns_->thumbnails.failedThumbnailJobs();
}
std::set<std::string> SQLiteImageRepositoryV3::liveThumbnailKeys() {
  return concerns_->thumbnails.liveThumbnailKeys();
}
void SQLiteImageRepositoryV3::clearThumbnailKeys(const std::set<std::string>& cacheFileNames) {
  concerns_->thumbnails.clearThumbnailKeys(cacheFileNames);
}
void SQLiteImageRepositoryV3::clearThumbnailKeysForMediaFiles(const std::vector<std::int64_t>& mediaFileIDs) {
  concerns_->thumbnails.clearThumbnailKeysForMediaFiles(mediaFileIDs);
}

// ---- Media file scan bookkeeping, folder counts, event checkpoints ------------------------------

std::optional<IndexedImageFileState> SQLiteImageRepositoryV3::indexedFileState(std::string_view path) {
  return concerns_->files.indexedFileState(path);
}
std::vector<std::optional<IndexedImageFileState>> SQLiteImageRepositoryV3::indexedFileStates(
    const std::vector<std::string>& paths) {
  return concerns_->files.indexedFileStates(paths);
}
bool SQLiteImageRepositoryV3::hasFilesNeedingReprojection(const std::vector<std::string>& paths) {
  return concerns_->files.hasFilesNeedingReprojection(paths);
}
void SQLiteImageRepositoryV3::markObserved(const ImageFileInfo& file, std::int64_t jobID,
                                           const ContentRelocation& relocation) {
  concerns_->files.markObserved(file, jobID, relocation);
}
void SQLiteImageRepositoryV3::markSeenAfterFailure(std::string_view path, std::int64_t jobID) {
  concerns_->files.markSeenAfterFailure(path, jobID);
}
void SQLiteImageRepositoryV3::markSeenUnder(std::string_view path, std::int64_t jobID) {
  concerns_->files.markSeenUnder(path, jobID);
}
std::vector<ContentPlace> SQLiteImageRepositoryV3::contentPlaces(std::string_view contentSHA256,
                                                                 std::string_view path) {
  return concerns_->files.contentPlaces(contentSHA256, path);
}
void SQLiteImageRepositoryV3::markContentChanged(std::string_view path) {
  concerns_->files.markContentChanged(path);
}
void SQLiteImageRepositoryV3::markMissingIfNotSeen(std::int64_t jobID,
                                                   const std::vector<std::string>& rootPaths) {
  concerns_->files.markMissingIfNotSeen(jobID, rootPaths);
}
void SQLiteImageRepositoryV3::markMissing(const std::vector<std::string>& paths) {
  concerns_->files.markMissing(paths);
}
void SQLiteImageRepositoryV3::markTrashedPathsMissing(const std::vector<std::string>& paths) {
  concerns_->files.markTrashedPathsMissing(paths);
}
std::optional<std::string> SQLiteImageRepositoryV3::owningRootPath(
    std::string_view path, const std::vector<std::string>& rootPaths) {
  return ScanBookkeeping::owningRootPath(path, rootPaths);
}
std::vector<RegisteredFolderImageCounts> SQLiteImageRepositoryV3::folderImageCounts(
    const std::vector<std::string>& paths) {
  return concerns_->files.folderImageCounts(paths);
}
std::optional<RegisteredFolderEventCheckpoint> SQLiteImageRepositoryV3::lastFSEventID(
    const std::vector<std::string>& rootPaths) {
  return concerns_->files.lastFSEventID(rootPaths);
}
void SQLiteImageRepositoryV3::saveLastFSEventID(const std::vector<std::string>& rootPaths,
                                                std::uint64_t eventID) {
  concerns_->files.saveLastFSEventID(rootPaths, eventID);
}
std::optional<std::uint64_t> SQLiteImageRepositoryV3::decodeStoredEventID(
    const std::optional<std::string>& stored) {
  return ScanBookkeeping::decodeStoredEventID(stored);
}

// ---- Per-image indexing projection --------------------------------------------------------------

void SQLiteImageRepositoryV3::upsertRecord(const ImageRecord& record, std::optional<std::int64_t> jobID,
                                           const ContentRelocation& relocation) {
  concerns_->projection.upsertRecord(record, jobID, relocation);
}
std::int64_t SQLiteImageRepositoryV3::mediaFileID(std::string_view path) {
  return concerns_->projection.mediaFileID(path);
}

// ---- Search, record hydration and suggestions ---------------------------------------------------

std::vector<ImageRecord> SQLiteImageRepositoryV3::searchImages(const ImageSearchQuery& query,
                                                               std::stop_token stop) {
  return concerns_->search.searchImages(query, std::move(stop));
}
std::optional<ImageRecord> SQLiteImageRepositoryV3::imageRecord(std::string_view path) {
  return concerns_->search.imageRecord(path);
}
std::optional<std::string> SQLiteImageRepositoryV3::deleteCandidateContent(std::string_view path) {
  auto guard = connection_.lock();
  return lorvex::deleteCandidateContent(connection_, path);
}
std::vector<ImageRecord> SQLiteImageRepositoryV3::selectRecords(std::string_view join, std::string_view where,
                                                                const SQLiteV3Bindings& bindings,
                                                                ImageSearchSortV3 sort, std::int64_t limit,
                                                                std::int64_t offset) {
  return concerns_->search.selectRecords(join, where, bindings, sort, limit, offset);
}
std::vector<TagSuggestion> SQLiteImageRepositoryV3::tagSuggestions(const std::optional<std::string>& text,
                                                                   std::int64_t limit) {
  return concerns_->search.tagSuggestions(text, limit);
}
std::vector<ModelSuggestion> SQLiteImageRepositoryV3::modelSuggestions(const std::optional<std::string>& text,
                                                                       std::int64_t limit) {
  return concerns_->search.modelSuggestions(text, limit);
}

// ---- Review states ------------------------------------------------------------------------------

void SQLiteImageRepositoryV3::updateReviewState(std::string_view path, const ReviewState& state) {
  concerns_->reviews.updateReviewState(path, state);
}
void SQLiteImageRepositoryV3::updateReviewStates(const std::vector<ReviewStateUpdate>& updates) {
  concerns_->reviews.updateReviewStates(updates);
}
std::vector<ImageRecord> SQLiteImageRepositoryV3::restoreDeleteCandidateStates(
    const std::vector<DeleteCandidateStateRestore>& restores) {
  return concerns_->reviews.restoreDeleteCandidateStates(restores);
}

// ---- Tag concepts -------------------------------------------------------------------------------

std::vector<TagConcept> SQLiteImageRepositoryV3::searchTagConcepts(const std::optional<std::string>& text,
                                                                   std::int64_t limit, bool includeEmpty) {
  return concerns_->concepts.searchTagConcepts(text, limit, includeEmpty);
}
std::vector<TagConcept> SQLiteImageRepositoryV3::searchTagConcepts(const std::optional<std::string>& text,
                                                                   std::int64_t limit) {
  return concerns_->concepts.searchTagConcepts(text, limit, /*includeEmpty=*/true);
}
std::vector<TagConceptAlias> SQLiteImageRepositoryV3::tagConceptAliases(std::int64_t conceptID) {
  return concerns_->concepts.tagConceptAliases(conceptID);
}
std::vector<TagConceptManualAssignment> SQLiteImageRepositoryV3::manualTagConceptAssignments(
    const std::vector<std::string>& imagePaths) {
  return concerns_->concepts.manualTagConceptAssignments(imagePaths);
}
std::vector<TagConceptManualAssignment> SQLiteImageRepositoryV3::tagConceptImageAssignments(
    const std::vector<std::string>& imagePaths) {
  return concerns_->concepts.manualTagConceptAssignments(imagePaths);
}
TagConcept SQLiteImageRepositoryV3::createTagConcept(std::string_view displayName) {
  return concerns_->concepts.createTagConcept(displayName);
}
TagConcept SQLiteImageRepositoryV3::renameTagConcept(std::int64_t conceptID, std::string_view displayName) {
  return concerns_->concepts.renameTagConcept(conceptID, displayName);
}
void SQLiteImageRepositoryV3::addTagConceptAlias(std::int64_t conceptID, std::string_view tag) {
  concerns_->concepts.addTagConceptAlias(conceptID, tag);
}
void SQLiteImageRepositoryV3::removeTagConceptAlias(std::int64_t conceptID, std::string_view tag) {
  concerns_->concepts.removeTagConceptAlias(conceptID, tag);
}
void SQLiteImageRepositoryV3::assignImagesToTagConcept(std::int64_t conceptID,
                                                       const std::vector<std::string>& imagePaths) {
  concerns_->concepts.assignImagesToTagConcept(conceptID, imagePaths);
}
void SQLiteImageRepositoryV3::unassignImagesFromTagConcept(std::int64_t conceptID,
                                                           const std::vector<std::string>& imagePaths) {
  concerns_->concepts.unassignImagesFromTagConcept(conceptID, imagePaths);
}
std::string SQLiteImageRepositoryV3::validatedTagConceptName(std::string_view name) {
  return TagConcepts::validatedTagConceptName(name);
}
std::optional<std::string> SQLiteImageRepositoryV3::normalizedConceptSearchText(
    const std::optional<std::string>& text) {
  return TagConcepts::normalizedConceptSearchText(text);
}

}  // namespace lorvex
