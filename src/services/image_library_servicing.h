// The one door between the application's library store and the library: searching, indexing the
// registered folders, folder access and monitoring, review marks, the Trash and thumbnails.
// ImageLibraryService is the live implementation; UnavailableImageLibraryService stands in while
// the library is being prepared, or for good when preparing it failed.
//
// Every operation blocks its caller until done; the store runs them on its own thread pools (the
// review-state write also directly on its main thread). Folder "URLs" are
// absolute paths. Unless an operation says it cannot fail, failures are thrown, and every one is
// a LibraryError (model/library_error.h): the service's own (ImageLibraryServiceError,
// ImageLibraryStartupError), those of the database (SQLiteImageRepositoryV3Error), the scanner,
// the folder access manager and the monitor passed on unchanged, and any other failure turned
// into a LibraryError with the same text (library_error_translation.h). An error's
// localizedDescription() is the text the application shows; a LibraryError::Kind::cancelled one
// answers the caller's own stop and needs no message.
//
// The scans and thumbnail runs take a stop token, looked at between files, so that quitting never
// waits for a long scan: a stopped scan throws ScanCancelledError and leaves its indexing job to
// be resumed (resumeInterruptedIndexing, at the next launch), as a killed process would.
//
// Thread safety: implementations may be called from any thread, several calls at once.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "model/image_drag_payload.h"
#include "model/image_library_scan_summary.h"
#include "model/image_record.h"
#include "model/image_search_query.h"
#include "model/image_trash_summary.h"
#include "model/indexing_job.h"
#include "model/library_recovery_notice.h"
#include "model/registered_folder.h"
#include "model/review_state.h"
#include "model/tag_concept.h"
#include "model/tag_suggestion.h"
#include "model/thumbnail_job.h"
#include "services/folders/folder_change_monitoring.h"
#include "services/indexing/image_library_scanning.h"

namespace lorvex {

// Tag concepts: user-made names gathering raw prompt tags and hand-picked images.
class ImageTagConceptServicing {
 public:
  virtual ~ImageTagConceptServicing() = default;

  // Concepts whose name contains the query (all without one), with their image counts, most
  // images first; at most `limit`.
  virtual std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& query,
                                                    std::int64_t limit) = 0;
  virtual std::vector<TagConceptAlias> tagConceptAliases(std::int64_t conceptID) = 0;
  // The hand-made assignments of the given images.
  virtual std::vector<TagConceptManualAssignment> tagConceptImageAssignments(
      const std::vector<std::string>& imagePaths) = 0;
  virtual TagConcept createTagConcept(const std::string& displayName) = 0;
  virtual TagConcept renameTagConcept(std::int64_t conceptID, const std::string& displayName) = 0;
  virtual void addTagConceptAlias(std::int64_t conceptID, const std::string& tag) = 0;
  virtual void removeTagConceptAlias(std::int64_t conceptID, const std::string& tag) = 0;
  // Empty paths are dropped and each path counts once, in first-seen order.
  virtual void assignImagesToTagConcept(std::int64_t conceptID,
                                        const std::vector<std::string>& imagePaths) = 0;
  virtual void unassignImagesFromTagConcept(std::int64_t conceptID,
                                            const std::vector<std::string>& imagePaths) = 0;
};

// Every registered folder's path, and the locations of those available now, in the same order.
struct RegisteredFolderRoots {
  std::vector<std::string> registeredPaths;
  std::vector<std::string> availableRootURLs;

  friend bool operator==(const RegisteredFolderRoots&, const RegisteredFolderRoots&) = default;
};

class ImageLibraryServicing : public ImageTagConceptServicing {
 public:
  // Called on the scanning thread with the job's progress; the scan goes on when it returns.
  using ProgressHandler = std::function<void(const ImageLibraryIndexingProgress&)>;

  // One page of records in the query's order. Throws SearchCancelledError once `stop` is
  // requested (never a partial page).
  virtual std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop) = 0;
  virtual std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text,
                                                    std::int64_t limit) = 0;
  virtual std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text,
                                                        std::int64_t limit) = 0;
  // The file offered when the image is dragged out; nothing when it may not be. Cannot fail.
  virtual std::optional<ImageDragPayload> imageDragPayload(const ImageRecord& record) = 0;

  // One summary per registered folder, in registration order, with its access state and counts.
  virtual std::vector<RegisteredFolderSummary> registeredFolderSummaries() = 0;
  // The same summaries without their image counts (each 0): the library is not read, so the call
  // takes a few system calls whatever the library's size and never waits for a library read.
  virtual std::vector<RegisteredFolderSummary> registeredFolderList() = 0;

  // The scans. Each runs on the calling thread until done (progress is reported on it) and then
  // queues a thumbnail job for every live image that has none; a failure of that fails the call.
  // Once `stop` is requested, each throws ScanCancelledError after the file in hand, queues no
  // thumbnail jobs, and leaves its indexing job unfinished for resumeInterruptedIndexing.
  virtual ImageLibraryScanSummary scanLibrary(const std::vector<std::string>& rootURLs,
                                              const ProgressHandler& progress, std::stop_token stop) = 0;
  virtual ImageLibraryScanSummary scanChangedPaths(const std::vector<std::string>& changedURLs,
                                                   const std::vector<std::string>& rootURLs,
                                                   const ProgressHandler& progress, std::stop_token stop) = 0;
  // Scans the registered folder at `path` (compared in canonical form). Throws
  // ImageLibraryServiceError::registeredFolderUnavailable when it is not registered or not
  // available now.
  virtual ImageLibraryScanSummary syncRegisteredFolder(const std::string& path,
                                                       const ProgressHandler& progress,
                                                       std::stop_token stop) = 0;
  // Finishes an indexing job an earlier run left unfinished; nothing when there is none.
  virtual std::optional<ImageLibraryScanSummary> resumeInterruptedIndexing(const ProgressHandler& progress,
                                                                           std::stop_token stop) = 0;
  // The roots of the unfinished indexing job; nothing when no job is unfinished.
  virtual std::optional<std::vector<std::string>> interruptedIndexingRootURLs() = 0;

  // Evaluates the registered folders; the locations of those available now.
  virtual std::vector<std::string> restoreFolderAccess() = 0;
  // The event position from which the roots' changes can be taken up, or nothing when the roots
  // must be scanned in full instead (a root has no stored position, or images under the roots
  // need to be indexed again).
  virtual std::optional<RegisteredFolderEventCheckpoint> folderEventCheckpoint(
      const std::vector<std::string>& rootURLs) = 0;
  // The folder event counter now. Cannot fail.
  virtual std::uint64_t currentFolderEventID() = 0;
  virtual void storeFolderEventID(const std::vector<std::string>& rootURLs, std::uint64_t eventID) = 0;
  virtual RegisteredFolderRoots registeredFolderRoots() = 0;
  // Monitors the roots for changes, replacing running monitoring; `onChange` is called on the
  // monitor's thread. Changes after `sinceEventID` that cannot be replayed arrive as one batch
  // requiring a full rescan. `onEnded` is called on the monitor's thread, with the reason, when
  // this monitoring ends on its own (never for stopMonitoring or a later start); nothing is
  // monitored after it.
  virtual void startMonitoring(const std::vector<std::string>& rootURLs,
                               std::optional<std::uint64_t> sinceEventID, FolderChangeHandler onChange,
                               FolderMonitoringFailureHandler onEnded) = 0;
  // Cannot fail.
  virtual void stopMonitoring() = 0;
  virtual void registerFolders(const std::vector<std::string>& folderURLs) = 0;
  virtual void unregisterFolder(const std::string& path) = 0;
  virtual void reauthorizeFolder(const std::string& selectedURL, const std::string& path) = 0;

  virtual void updateReviewState(const std::string& path, const ReviewState& state) = 0;
  // Writes every entry or none: an unindexed path refuses the whole list before anything is
  // written. A later entry for the same path wins.
  virtual void updateReviewStates(const std::vector<ReviewStateUpdate>& updates) = 0;
  // Puts delete-candidate flags back (the undo of marking); the updated records in request order.
  virtual std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores) = 0;
  // Moves reviewed delete candidates to the Trash: each file is named by its path with the size
  // and modification date it had when the person reviewed it. The whole request is refused before
  // any file is touched when a path is not indexed, missing or not a delete candidate; after that,
  // each image that cannot be trashed is a failure of the summary and the others go on. A file is
  // trashed only when the disk still holds it as reviewed and as the library holds it now: a file
  // changed since the review stays, even once the library has indexed the change.
  virtual ImageTrashSummary moveDeleteCandidatesToTrash(const std::vector<ImageFileInfo>& reviewedFiles) = 0;

  // Asks for thumbnails of these images ahead of the others.
  virtual void enqueueThumbnailJobs(const std::vector<std::string>& paths) = 0;
  // Renders up to `limit` ready thumbnail jobs, several at once, and returns what happened. A
  // job that fails is scheduled for a retry and counted; a failure of the job store ends the run.
  // Once `stop` is requested no further job is claimed: the renders under way finish and the
  // summary of what was done is returned (the jobs not claimed stay pending).
  virtual ThumbnailJobRunSummary generatePendingThumbnails(std::int64_t limit, std::stop_token stop) = 0;
  // Removes cached thumbnails that no live image names and that are older than `cutoff`
  // (seconds since 1970), and forgets the library's references to removed files.
  virtual ThumbnailCacheSweepSummary sweepThumbnailCache(double cutoff) = 0;

  // What preparing this library did with the file it found there (set it aside as damaged, or as
  // no library of this kind); nothing when the library opened as it was. Cannot fail. The count of
  // a rebuild's recovered marks grows as scans give them back: it waits for the library's writer,
  // so it is read off the main thread once scans run.
  virtual std::optional<LibraryRecoveryNotice> libraryRecoveryNotice() { return std::nullopt; }
};

}  // namespace lorvex
