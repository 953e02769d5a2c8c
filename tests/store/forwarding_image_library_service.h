// A service that hands every call to another one; a test overrides the calls it scripts and lets
// the rest reach the inner service (by default one that is not prepared, so an unexpected call
// fails loudly).
#pragma once

#include <memory>
#include <utility>

#include "services/image_library_servicing.h"
#include "services/unavailable_image_library_service.h"

namespace lorvex::testing {

class ForwardingImageLibraryService : public ImageLibraryServicing {
 public:
  explicit ForwardingImageLibraryService(
      std::shared_ptr<ImageLibraryServicing> inner = std::make_shared<UnavailableImageLibraryService>())
      : inner_(std::move(inner)) {}

  std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& query,
                                            std::int64_t limit) override {
    return inner_->searchTagConcepts(query, limit);
  }
  std::vector<TagConceptAlias> tagConceptAliases(std::int64_t conceptID) override {
    return inner_->tagConceptAliases(conceptID);
  }
  std::vector<TagConceptManualAssignment> tagConceptImageAssignments(
      const std::vector<std::string>& imagePaths) override {
    return inner_->tagConceptImageAssignments(imagePaths);
  }
  TagConcept createTagConcept(const std::string& displayName) override {
    return inner_->createTagConcept(displayName);
  }
  TagConcept renameTagConcept(std::int64_t conceptID, const std::string& displayName) override {
    return inner_->renameTagConcept(conceptID, displayName);
  }
  void addTagConceptAlias(std::int64_t conceptID, const std::string& tag) override {
    inner_->addTagConceptAlias(conceptID, tag);
  }
  void removeTagConceptAlias(std::int64_t conceptID, const std::string& tag) override {
    inner_->removeTagConceptAlias(conceptID, tag);
  }
  void assignImagesToTagConcept(std::int64_t conceptID, const std::vector<std::string>& imagePaths) override {
    inner_->assignImagesToTagConcept(conceptID, imagePaths);
  }
  void unassignImagesFromTagConcept(std::int64_t conceptID,
                                    const std::vector<std::string>& imagePaths) override {
    inner_->unassignImagesFromTagConcept(conceptID, imagePaths);
  }
  std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop) override {
    return inner_->searchImages(query, stop);
  }
  std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text,
                                            std::int64_t limit) override {
    return inner_->tagSuggestions(text, limit);
  }
  std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text,
                                                std::int64_t limit) override {
    return inner_->modelSuggestions(text, limit);
  }
  std::optional<ImageDragPayload> imageDragPayload(const ImageRecord& record) override {
    return inner_->imageDragPayload(record);
  }
  std::vector<RegisteredFolderSummary> registeredFolderSummaries() override {
    return inner_->registeredFolderSummaries();
  }
  std::vector<RegisteredFolderSummary> registeredFolderList() override {
    return inner_->registeredFolderList();
  }
  ImageLibraryScanSummary scanLibrary(const std::vector<std::string>& rootURLs,
                                      const ProgressHandler& progress, std::stop_token stop) override {
    return inner_->scanLibrary(rootURLs, progress, stop);
  }
  ImageLibraryScanSummary scanChangedPaths(const std::vector<std::string>& changedURLs,
                                           const std::vector<std::string>& rootURLs,
                                           const ProgressHandler& progress, std::stop_token stop) override {
    return inner_->scanChangedPaths(changedURLs, rootURLs, progress, stop);
  }
  ImageLibraryScanSummary syncRegisteredFolder(const std::string& path, const ProgressHandler& progress,
                                               std::stop_token stop) override {
    return inner_->syncRegisteredFolder(path, progress, stop);
  }
  std::optional<ImageLibraryScanSummary> resumeInterruptedIndexing(const ProgressHandler& progress,
                                                                   std::stop_token stop) override {
    return inner_->resumeInterruptedIndexing(progress, stop);
  }
  std::optional<std::vector<std::string>> interruptedIndexingRootURLs() override {
    return inner_->interruptedIndexingRootURLs();
  }
  std::vector<std::string> restoreFolderAccess() override { return inner_->restoreFolderAccess(); }
  std::optional<RegisteredFolderEventCheckpoint> folderEventCheckpoint(
      const std::vector<std::string>& rootURLs) override {
    return inner_->folderEventCheckpoint(rootURLs);
  }
  std::uint64_t currentFolderEventID() override { return inner_->currentFolderEventID(); }
  void storeFolderEventID(const std::vector<std::string>& rootURLs, std::uint64_t eventID) override {
    inner_->storeFolderEventID(rootURLs, eventID);
  }
  RegisteredFolderRoots registeredFolderRoots() override { return inner_->registeredFolderRoots(); }
  void startMonitoring(const std::vector<std::string>& rootURLs, std::optional<std::uint64_t> sinceEventID,
                       FolderChangeHandler onChange, FolderMonitoringFailureHandler onEnded) override {
    inner_->startMonitoring(rootURLs, sinceEventID, std::move(onChange), std::move(onEnded));
  }
  void stopMonitoring() override { inner_->stopMonitoring(); }
  void registerFolders(const std::vector<std::string>& folderURLs) override {
    inner_->registerFolders(folderURLs);
  }
  void unregisterFolder(const std::string& path) override { inner_->unregisterFolder(path); }
  void reauthorizeFolder(const std::string& selectedURL, const std::string& path) override {
    inner_->reauthorizeFolder(selectedURL, path);
  }
  void updateReviewState(const std::string& path, const ReviewState& state) override {
    inner_->updateReviewState(path, state);
  }
  void updateReviewStates(const std::vector<ReviewStateUpdate>& updates) override {
    inner_->updateReviewStates(updates);
  }
  std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores) override {
    return inner_->restoreDeleteCandidateStates(restores);
  }
  ImageTrashSummary moveDeleteCandidatesToTrash(const std::vector<ImageFileInfo>& reviewedFiles) override {
    return inner_->moveDeleteCandidatesToTrash(reviewedFiles);
  }
  void enqueueThumbnailJobs(const std::vector<std::string>& paths) override {
    inner_->enqueueThumbnailJobs(paths);
  }
  ThumbnailJobRunSummary generatePendingThumbnails(std::int64_t limit, std::stop_token stop) override {
    return inner_->generatePendingThumbnails(limit, stop);
  }
  ThumbnailCacheSweepSummary sweepThumbnailCache(double cutoff) override {
    return inner_->sweepThumbnailCache(cutoff);
  }

 private:
  std::shared_ptr<ImageLibraryServicing> inner_;
};

}  // namespace lorvex::testing
