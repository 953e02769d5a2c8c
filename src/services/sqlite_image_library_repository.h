// The library service's stores over the real database: each operation is the repository's own.
// Tag concepts are searched including those without images (a new concept must be listed).
//
// Thread safety: any thread; the repository's lock serialises every call.
#pragma once

#include "services/image_library_repository.h"

namespace lorvex {

class SQLiteImageRepositoryV3;

class SQLiteImageLibraryRepository : public ImageLibraryRepository, public TagConceptStore {
 public:
  // The repository must outlive this object.
  explicit SQLiteImageLibraryRepository(SQLiteImageRepositoryV3& repository) : repository_(repository) {}

  SQLiteImageRepositoryV3& repository() const { return repository_; }

  // ImageTrashStore
  std::optional<ImageRecord> imageRecord(std::string_view path) override;
  void markTrashedPathsMissing(const std::vector<std::string>& paths) override;

  // ThumbnailJobStore
  void enqueueMissingThumbnailJobs(ThumbnailJobPriority priority) override;
  void enqueueThumbnailJobs(const std::vector<std::string>& paths, ThumbnailJobPriority priority) override;
  std::optional<ThumbnailJobRecord> claimNextThumbnailJob(double now) override;
  void completeThumbnailJob(const ThumbnailJobRecord& job, std::string_view thumbnailPath) override;
  void failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message, double nextRetryAt) override;
  std::set<std::string> liveThumbnailKeys() override;
  void clearThumbnailKeys(const std::set<std::string>& cacheFileNames) override;

  // ImageLibraryRepository
  std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop) override;
  std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text,
                                            std::int64_t limit) override;
  std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text,
                                                std::int64_t limit) override;
  void updateReviewState(std::string_view path, const ReviewState& state) override;
  std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores) override;
  std::vector<RegisteredFolderImageCounts> folderImageCounts(const std::vector<std::string>& paths) override;
  void markMissing(const std::vector<std::string>& paths) override;
  bool hasFilesNeedingReprojection(const std::vector<std::string>& paths) override;
  std::optional<RegisteredFolderEventCheckpoint> lastFSEventID(
      const std::vector<std::string>& rootPaths) override;
  void saveLastFSEventID(const std::vector<std::string>& rootPaths, std::uint64_t eventID) override;
  std::optional<IndexingJobRecord> latestRunningIndexingJob() override;

  // TagConceptStore
  std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& text,
                                            std::int64_t limit) override;
  std::vector<TagConceptAlias> tagConceptAliases(std::int64_t conceptID) override;
  std::vector<TagConceptManualAssignment> tagConceptImageAssignments(
      const std::vector<std::string>& imagePaths) override;
  TagConcept createTagConcept(std::string_view displayName) override;
  TagConcept renameTagConcept(std::int64_t conceptID, std::string_view displayName) override;
  void addTagConceptAlias(std::int64_t conceptID, std::string_view tag) override;
  void removeTagConceptAlias(std::int64_t conceptID, std::string_view tag) override;
  void assignImagesToTagConcept(std::int64_t conceptID, const std::vector<std::string>& imagePaths) override;
  void unassignImagesFromTagConcept(std::int64_t conceptID,
                                    const std::vector<std::string>& imagePaths) override;

 private:
  SQLiteImageRepositoryV3& repository_;
};

}  // namespace lorvex
