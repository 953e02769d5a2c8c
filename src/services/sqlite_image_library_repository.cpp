#include "services/sqlite_image_library_repository.h"

#include "database/sqlite_image_repository.h"

namespace lorvex {

std::optional<ImageRecord> SQLiteImageLibraryRepository::imageRecord(std::string_view path) {
  return repository_.imageRecord(path);
}

void SQLiteImageLibraryRepository::markTrashedPathsMissing(const std::vector<std::string>& paths) {
  repository_.markTrashedPathsMissing(paths);
}

void SQLiteImageLibraryRepository::enqueueMissingThumbnailJobs(ThumbnailJobPriority priority) {
  repository_.enqueueMissingThumbnailJobs(priority);
}

void SQLiteImageLibraryRepository::enqueueThumbnailJobs(const std::vector<std::string>& paths,
                                                        ThumbnailJobPriority priority) {
  repository_.enqueueThumbnailJobs(paths, priority);
}

std::optional<ThumbnailJobRecord> SQLiteImageLibraryRepository::claimNextThumbnailJob(double now) {
  return repository_.claimNextThumbnailJob(now);
}

void SQLiteImageLibraryRepository::completeThumbnailJob(const ThumbnailJobRecord& job,
                                                        std::string_view thumbnailPath) {
  repository_.completeThumbnailJob(job, thumbnailPath);
}

void SQLiteImageLibraryRepository::failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message,
                                                    double nextRetryAt) {
  repository_.failThumbnailJob(job, message, nextRetryAt);
}

std::set<std::string> SQLiteImageLibraryRepository::liveThumbnailKeys() {
  return repository_.liveThumbnailKeys();
}

void SQLiteImageLibraryRepository::clearThumbnailKeys(const std::set<std::string>& cacheFileNames) {
  repository_.clearThumbnailKeys(cacheFileNames);
}

std::vector<ImageRecord> SQLiteImageLibraryRepository::searchImages(const ImageSearchQuery& query,
                                                                    std::stop_token stop) {
  return repository_.searchImages(query, std::move(stop));
}

std::vector<TagSuggestion> SQLiteImageLibraryRepository::tagSuggestions(
    const std::optional<std::string>& text, std::int64_t limit) {
  return repository_.tagSuggestions(text, limit);
}

std::vector<ModelSuggestion> SQLiteImageLibraryRepository::modelSuggestions(
    const std::optional<std::string>& text, std::int64_t limit) {
  return repository_.modelSuggestions(text, limit);
}

void SQLiteImageLibraryRepository::updateReviewState(std::string_view path, const ReviewState& state) {
  repository_.updateReviewState(path, state);
}

std::vector<ImageRecord> SQLiteImageLibraryRepository::restoreDeleteCandidateStates(
    const std::vector<DeleteCandidateStateRestore>& restores) {
  return repository_.restoreDeleteCandidateStates(restores);
}

std::vector<RegisteredFolderImageCounts> SQLiteImageLibraryRepository::folderImageCounts(
    const std::vector<std::string>& paths) {
  return repository_.folderImageCounts(paths);
}

void SQLiteImageLibraryRepository::markMissing(const std::vector<std::string>& paths) {
  repository_.markMissing(paths);
}

bool SQLiteImageLibraryRepository::hasFilesNeedingReprojection(const std::vector<std::string>& paths) {
  return repository_.hasFilesNeedingReprojection(paths);
}

std::optional<RegisteredFolderEventCheckpoint> SQLiteImageLibraryRepository::lastFSEventID(
    const std::vector<std::string>& rootPaths) {
  return repository_.lastFSEventID(rootPaths);
}

void SQLiteImageLibraryRepository::saveLastFSEventID(const std::vector<std::string>& rootPaths,
                                                     std::uint64_t eventID) {
  repository_.saveLastFSEventID(rootPaths, eventID);
}

std::optional<IndexingJobRecord> SQLiteImageLibraryRepository::latestRunningIndexingJob() {
  return repository_.latestIndexingJobID();
}

std::vector<TagConcept> SQLiteImageLibraryRepository::searchTagConcepts(
    const std::optional<std::string>& text, std::int64_t limit) {
  return repository_.searchTagConcepts(text, limit, /*includeEmpty=*/true);
}

std::vector<TagConceptAlias> SQLiteImageLibraryRepository::tagConceptAliases(std::int64_t conceptID) {
  return repository_.tagConceptAliases(conceptID);
}

std::vector<TagConceptManualAssignment> SQLiteImageLibraryRepository::tagConceptImageAssignments(
    const std::vector<std::string>& imagePaths) {
  return repository_.manualTagConceptAssignments(imagePaths);
}

TagConcept SQLiteImageLibraryRepository::createTagConcept(std::string_view displayName) {
  return repository_.createTagConcept(displayName);
}

TagConcept SQLiteImageLibraryRepository::renameTagConcept(std::int64_t conceptID,
                                                          std::string_view displayName) {
  return repository_.renameTagConcept(conceptID, displayName);
}

void SQLiteImageLibraryRepository::addTagConceptAlias(std::int64_t conceptID, std::string_view tag) {
  repository_.addTagConceptAlias(conceptID, tag);
}

void SQLiteImageLibraryRepository::removeTagConceptAlias(std::int64_t conceptID, std::string_view tag) {
  repository_.removeTagConceptAlias(conceptID, tag);
}

void SQLiteImageLibraryRepository::assignImagesToTagConcept(std::int64_t conceptID,
                                                            const std::vector<std::string>& imagePaths) {
  repository_.assignImagesToTagConcept(conceptID, imagePaths);
}

void SQLiteImageLibraryRepository::unassignImagesFromTagConcept(std::int64_t conceptID,
                                                                const std::vector<std::string>& imagePaths) {
  repository_.unassignImagesFromTagConcept(conceptID, imagePaths);
}

}  // namespace lorvex
