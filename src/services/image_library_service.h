// ImageLibraryService: the live library service. It forwards each call to the database, the
// scanner, the folder access manager, the folder change monitor, the file services or the drag
// payload provider, and adds a few rules of its own:
//   - registered folders are compared and stored only by their canonical path;
//   - every scan that succeeds is followed by queueing a thumbnail job for each live image
//     without a thumbnail (a failure of that fails the scan call; the scan's work stays);
//   - a folder to sync must be registered and available now;
//   - a folder event checkpoint is withheld while images under the roots need indexing again;
//   - the process's heap gives back what a scan freed: its thresholds are fixed when the first
//     service is made, and after each scan the database's page caches and the heap's free pages
//     are released (platform/memory.h);
//   - the trash flow (image_library_service_trash.cpp) and the thumbnail runs and cache sweep
//     (image_library_service_thumbnails.cpp).
//
// Monitoring: startMonitoring hands the canonical roots, the caller's event id and handler to the
// monitor, which replaces whatever it ran; stopMonitoring stops it. The service never starts,
// restarts or stops monitoring on its own (not after a scan, not after storing an event id), so
// the full-rescan batch a start produces is answered by one scan and nothing here starts another.
//
// Every failure reaches the caller as a LibraryError (library_error_translation.h).
//
// Thread safety: no lock of its own and no mutable state; every member may be called from any
// thread, several at once. The collaborators serialise themselves (the database its connection,
// the access manager and the monitor their state). The change handler runs on the monitor's
// thread and may call stopMonitoring.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/library_store_protocols.h"
#include "metadata/original_png_drag_payload_provider.h"
#include "services/folders/folder_access_managing.h"
#include "services/folders/folder_change_monitoring.h"
#include "services/image_library_servicing.h"
#include "services/indexing/file_attributes_reading.h"
#include "services/indexing/file_content_hashing.h"
#include "services/indexing/image_library_scanning.h"
#include "services/thumbnails/image_thumbnail_generating.h"
#include "services/thumbnails/thumbnail_cache_removing.h"
#include "services/trash/file_trash_moving.h"

namespace lorvex {

namespace platform {
class Clock;
}

// The paths without empty ones and without repeats (the first of each kept), in order.
std::vector<std::string> uniqueNonEmptyPaths(const std::vector<std::string>& paths);
// The same for files named by their paths: of a path given more than once, the first file counts.
std::vector<ImageFileInfo> uniqueNonEmptyFiles(const std::vector<ImageFileInfo>& files);

// How many thumbnails one run renders at once: half the processors when there are more than 3,
// else 2.
std::size_t thumbnailRunWidth(std::size_t activeProcessorCount);

// The processors this process may run on now.
std::size_t activeProcessorCount();

struct ImageLibraryServiceDependencies {
  std::shared_ptr<ImageLibraryRepository> repository;
  std::shared_ptr<FolderAccessManaging> folderAccessManager;
  std::shared_ptr<FolderChangeMonitoring> folderChangeMonitor;
  std::shared_ptr<FileTrashMoving> trashMover;
  std::shared_ptr<FileAttributesReading> fileAttributesReader;
  std::shared_ptr<ThumbnailCacheRemoving> thumbnailCacheRemover;
  std::shared_ptr<ImageThumbnailGenerating> thumbnailGenerator;
  std::shared_ptr<ImageLibraryScanning> scanner;
  // Record lookups and missing-marking of the trash flow; the repository itself in the live graph.
  std::shared_ptr<ImageTrashStore> trashStore;
  // Null: every tag-concept operation fails with tagConceptStoreUnavailable.
  std::shared_ptr<TagConceptStore> tagConceptStore;
  std::shared_ptr<ImageDragPayloadProviding> imageDragPayloadProvider;
  // Reads the content of a file before it goes to the Trash; null: only its size and time are
  // compared with what was reviewed.
  std::shared_ptr<FileContentHashing> contentHasher;
  // Objects the collaborators above refer to (the database, the scanner's stores, its loggers);
  // released only after all of them.
  std::vector<std::shared_ptr<void>> owned;
  // Dates of thumbnail claims and retries; the system clock when null.
  const platform::Clock* clock = nullptr;
  // The processor count the run width is computed from; 0 means activeProcessorCount().
  std::size_t activeProcessorCount = 0;
  // What preparing the library did with the file it found (libraryRecoveryNotice()).
  std::optional<LibraryRecoveryNotice> recoveryNotice;
};

class ImageLibraryService final : public ImageLibraryServicing {
 public:
  // Every collaborator but tagConceptStore must be given.
  explicit ImageLibraryService(ImageLibraryServiceDependencies dependencies);
  // Stops monitoring before anything is released.
  ~ImageLibraryService() override;
  ImageLibraryService(const ImageLibraryService&) = delete;
  ImageLibraryService& operator=(const ImageLibraryService&) = delete;

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
  // The count of a rebuilt library's recovered marks is of the images that took theirs so far.
  std::optional<LibraryRecoveryNotice> libraryRecoveryNotice() override;

  // The width of this service's thumbnail runs.
  std::size_t thumbnailRunWidth() const;

 private:
  TagConceptStore& tagConcepts() const;
  // The bodies of the operations of the same names, before their failures are turned into
  // LibraryErrors.
  std::vector<RegisteredFolderSummary> folderSummaries(bool counted);
  ImageTrashSummary trashDeleteCandidates(const std::vector<ImageFileInfo>& reviewedFiles);
  // Why the file may not go to the Trash for its mark although its size and time are as reviewed:
  // it holds other content than the mark was given on, or that content cannot be read.
  std::optional<std::string_view> contentRefusal(const std::string& filePath, const ImageRecord& record);
  ThumbnailJobRunSummary runThumbnailJobs(std::int64_t limit, const std::stop_token& stop);
  ThumbnailCacheSweepSummary sweepCache(double cutoff);
  // Queues background thumbnail jobs for the images a scan left without one.
  ImageLibraryScanSummary afterScan(ImageLibraryScanSummary summary);
  // Tells the library which folders a completed scan walked in full.
  void noteFoldersScanned(const std::vector<std::string>& roots);
  // `forget`: the caller's scan walks the new places, whose images take their marks from there.
  void markFormerFolderLocationsMissing(bool forget = true);

  // Declared first so that it is released last.
  std::vector<std::shared_ptr<void>> owned_;
  std::shared_ptr<ImageLibraryRepository> repository_;
  std::shared_ptr<FolderAccessManaging> folderAccessManager_;
  std::shared_ptr<FolderChangeMonitoring> folderChangeMonitor_;
  std::shared_ptr<FileTrashMoving> trashMover_;
  std::shared_ptr<FileAttributesReading> fileAttributesReader_;
  std::shared_ptr<ThumbnailCacheRemoving> thumbnailCacheRemover_;
  std::shared_ptr<ImageThumbnailGenerating> thumbnailGenerator_;
  std::shared_ptr<ImageLibraryScanning> scanner_;
  std::shared_ptr<ImageTrashStore> trashStore_;
  std::shared_ptr<TagConceptStore> tagConceptStore_;
  std::shared_ptr<ImageDragPayloadProviding> imageDragPayloadProvider_;
  std::shared_ptr<FileContentHashing> contentHasher_;
  const platform::Clock* clock_;
  std::size_t activeProcessorCount_;
  const std::optional<LibraryRecoveryNotice> recoveryNotice_;
};

}  // namespace lorvex
