// The library service the application holds until the live library is ready, and for good when
// preparing it failed: every operation that can fail throws the one error it was built with
// (ImageLibraryStartupError::libraryNotPrepared, "データベースを準備中です。", unless told
// otherwise), so the store and the views work unchanged and show that error. The three operations
// that cannot fail answer: no drag payload, folder event id 0, stopping monitoring does nothing.
//
// Thread safety: no mutable state; any thread.
#pragma once

#include <exception>

#include "services/image_library_servicing.h"

namespace lorvex {

class UnavailableImageLibraryService final : public ImageLibraryServicing {
 public:
  // Holds ImageLibraryStartupError::libraryNotPrepared.
  UnavailableImageLibraryService();
  // Holds `error` (not null).
  explicit UnavailableImageLibraryService(std::exception_ptr error);

  const std::exception_ptr& error() const { return error_; }

  // ImageTagConceptServicing
  std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& query,
                                            std::int64_t limit) override;
  std::vector<TagConceptAlias> tagConceptAliases(std::int64_t conceptID) override;
  std::vector<TagConceptManualAssignment> tagConceptImageAssignments(
      const std::vector<std::string>& imagePaths) override;
  TagConcept createTagConcept(const std::string& displayName) override;
  TagConcept renameTagConcept(std::int64_t conceptID, const std::string& displayName) override;
  void addTagConceptAlias(std::int64_t conceptID, const std::string& tag) override;
  void removeTagConceptAlias(std::int64_t conceptID, const std::string& tag) override;
  void assignImagesToTagConcept(std::int64_t conceptID, const std::vector<std::string>& imagePaths) override;
  void unassignImagesFromTagConcept(std::int64_t conceptID,
                                    const std::vector<std::string>& imagePaths) override;

  // ImageLibraryServicing
  std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop) override;
  std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text,
                                            std::int64_t limit) override;
  std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text,
                                                std::int64_t limit) override;
  std::optional<ImageDragPayload> imageDragPayload(const ImageRecord& record) override;
  std::vector<RegisteredFolderSummary> registeredFolderSummaries() override;
  std::vector<RegisteredFolderSummary> registeredFolderList() override;
  ImageLibraryScanSummary scanLibrary(const std::vector<std::string>& rootURLs,
                                      const ProgressHandler& progress, std::stop_token stop) override;
  ImageLibraryScanSummary scanChangedPaths(const std::vector<std::string>& changedURLs,
                                           const std::vector<std::string>& rootURLs,
                                           const ProgressHandler& progress, std::stop_token stop) override;
  ImageLibraryScanSummary syncRegisteredFolder(const std::string& path, const ProgressHandler& progress,
                                               std::stop_token stop) override;
  std::optional<ImageLibraryScanSummary> resumeInterruptedIndexing(const ProgressHandler& progress,
                                                                   std::stop_token stop) override;
  std::optional<std::vector<std::string>> interruptedIndexingRootURLs() override;
  std::vector<std::string> restoreFolderAccess() override;
  std::optional<RegisteredFolderEventCheckpoint> folderEventCheckpoint(
      const std::vector<std::string>& rootURLs) override;
  std::uint64_t currentFolderEventID() override;
  void storeFolderEventID(const std::vector<std::string>& rootURLs, std::uint64_t eventID) override;
  RegisteredFolderRoots registeredFolderRoots() override;
  void startMonitoring(const std::vector<std::string>& rootURLs, std::optional<std::uint64_t> sinceEventID,
                       FolderChangeHandler onChange, FolderMonitoringFailureHandler onEnded) override;
  void stopMonitoring() override;
  void registerFolders(const std::vector<std::string>& folderURLs) override;
  void unregisterFolder(const std::string& path) override;
  void reauthorizeFolder(const std::string& selectedURL, const std::string& path) override;
  void updateReviewState(const std::string& path, const ReviewState& state) override;
  void updateReviewStates(const std::vector<ReviewStateUpdate>& updates) override;
  std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores) override;
  ImageTrashSummary moveDeleteCandidatesToTrash(const std::vector<ImageFileInfo>& reviewedFiles) override;
  void enqueueThumbnailJobs(const std::vector<std::string>& paths) override;
  ThumbnailJobRunSummary generatePendingThumbnails(std::int64_t limit, std::stop_token stop) override;
  ThumbnailCacheSweepSummary sweepThumbnailCache(double cutoff) override;

 private:
  [[noreturn]] void fail() const;

  std::exception_ptr error_;
};

}  // namespace lorvex
