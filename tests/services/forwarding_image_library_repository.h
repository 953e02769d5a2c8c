// A repository that hands every operation to another one: a test derives from it and replaces one
// operation, to count its calls or make it fail, while the rest reach the real library.
#pragma once

#include "database/library_store_protocols.h"

namespace lorvex::testing {

class ForwardingImageLibraryRepository : public ImageLibraryRepository {
 public:
  // `target` must outlive this object.
  explicit ForwardingImageLibraryRepository(ImageLibraryRepository& target) : target_(target) {}

  std::optional<ImageRecord> imageRecord(std::string_view path) override { return target_.imageRecord(path); }
  void markTrashedPathsMissing(const std::vector<std::string>& paths) override {
    target_.markTrashedPathsMissing(paths);
  }
  std::optional<std::string> deleteCandidateContent(std::string_view path) override {
    return target_.deleteCandidateContent(path);
  }
  void markContentChanged(std::string_view path) override { target_.markContentChanged(path); }
  void enqueueMissingThumbnailJobs(ThumbnailJobPriority priority) override {
    target_.enqueueMissingThumbnailJobs(priority);
  }
  void enqueueThumbnailJobs(const std::vector<std::string>& paths, ThumbnailJobPriority priority) override {
    target_.enqueueThumbnailJobs(paths, priority);
  }
  std::optional<ThumbnailJobRecord> claimNextThumbnailJob(double now) override {
    return target_.claimNextThumbnailJob(now);
  }
  void completeThumbnailJob(const ThumbnailJobRecord& job, std::string_view thumbnailPath) override {
    target_.completeThumbnailJob(job, thumbnailPath);
  }
  void failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message,
                        double nextRetryAt) override {
    target_.failThumbnailJob(job, message, nextRetryAt);
  }
  void dropThumbnailJob(const ThumbnailJobRecord& job) override { target_.dropThumbnailJob(job); }
  std::set<std::string> liveThumbnailKeys() override { return target_.liveThumbnailKeys(); }
  void clearThumbnailKeys(const std::set<std::string>& cacheFileNames) override {
    target_.clearThumbnailKeys(cacheFileNames);
  }
  std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop) override {
    return target_.searchImages(query, std::move(stop));
  }
  std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text,
                                            std::int64_t limit) override {
    return target_.tagSuggestions(text, limit);
  }
  std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text,
                                                std::int64_t limit) override {
    return target_.modelSuggestions(text, limit);
  }
  void updateReviewState(std::string_view path, const ReviewState& state) override {
    target_.updateReviewState(path, state);
  }
  void updateReviewStates(const std::vector<ReviewStateUpdate>& updates) override {
    target_.updateReviewStates(updates);
  }
  std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores) override {
    return target_.restoreDeleteCandidateStates(restores);
  }
  std::vector<RegisteredFolderImageCounts> folderImageCounts(const std::vector<std::string>& paths) override {
    return target_.folderImageCounts(paths);
  }
  void markMissing(const std::vector<std::string>& paths) override { target_.markMissing(paths); }
  bool hasFilesNeedingReprojection(const std::vector<std::string>& paths) override {
    return target_.hasFilesNeedingReprojection(paths);
  }
  std::optional<RegisteredFolderEventCheckpoint> lastFSEventID(
      const std::vector<std::string>& rootPaths) override {
    return target_.lastFSEventID(rootPaths);
  }
  void saveLastFSEventID(const std::vector<std::string>& rootPaths, std::uint64_t eventID) override {
    target_.saveLastFSEventID(rootPaths, eventID);
  }
  std::optional<IndexingJobRecord> latestRunningIndexingJob() override {
    return target_.latestRunningIndexingJob();
  }

 private:
  ImageLibraryRepository& target_;
};

}  // namespace lorvex::testing
