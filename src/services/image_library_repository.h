// The library database as the library service uses it, cut into the stores the service's flows
// need: the trash flow (ImageTrashStore), the thumbnail runs (ThumbnailJobStore), tag concepts
// (TagConceptStore) and the rest (ImageLibraryRepository, which includes the first two).
// SQLiteImageLibraryRepository puts the real database behind all of them; a test derives from it
// and replaces one operation to make it fail.
//
// Every operation is one unit of work in the database: it happens whole or throws (the
// database's SQLiteImageRepositoryV3Error) and leaves the library as it was. Paths are absolute;
// the implementation standardizes them.
//
// Thread safety: implementations serialise their own work; any thread may call them at once.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "model/image_record.h"
#include "model/image_search_query.h"
#include "model/indexing_job.h"
#include "model/registered_folder.h"
#include "model/review_state.h"
#include "model/tag_concept.h"
#include "model/tag_suggestion.h"
#include "model/thumbnail_job.h"

namespace lorvex {

class ImageTrashStore {
 public:
  virtual ~ImageTrashStore() = default;
  // The record stored under the path, missing or not; nothing when it is not in the library.
  virtual std::optional<ImageRecord> imageRecord(std::string_view path) = 0;
  // The images at or under each path become missing and lose their thumbnail keys.
  virtual void markTrashedPathsMissing(const std::vector<std::string>& paths) = 0;
};

class ThumbnailJobStore {
 public:
  virtual ~ThumbnailJobStore() = default;
  // A job for every live image without a thumbnail (kept when its file is unchanged).
  virtual void enqueueMissingThumbnailJobs(ThumbnailJobPriority priority) = 0;
  virtual void enqueueThumbnailJobs(const std::vector<std::string>& paths, ThumbnailJobPriority priority) = 0;
  // Claims the next job that is due at `now` (seconds since 1970); nothing when none is ready.
  virtual std::optional<ThumbnailJobRecord> claimNextThumbnailJob(double now) = 0;
  // Stores the thumbnail for the image when its file is still the job's version; ends the job.
  virtual void completeThumbnailJob(const ThumbnailJobRecord& job, std::string_view thumbnailPath) = 0;
  // Puts the job back with one more retry, the error text and the earliest retry time.
  virtual void failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message,
                                double nextRetryAt) = 0;
  virtual std::set<std::string> liveThumbnailKeys() = 0;
  // Clears every thumbnail key whose file name is one of `cacheFileNames`.
  virtual void clearThumbnailKeys(const std::set<std::string>& cacheFileNames) = 0;
};

class TagConceptStore {
 public:
  virtual ~TagConceptStore() = default;
  virtual std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& text,
                                                    std::int64_t limit) = 0;
  virtual std::vector<TagConceptAlias> tagConceptAliases(std::int64_t conceptID) = 0;
  virtual std::vector<TagConceptManualAssignment> tagConceptImageAssignments(
      const std::vector<std::string>& imagePaths) = 0;
  virtual TagConcept createTagConcept(std::string_view displayName) = 0;
  virtual TagConcept renameTagConcept(std::int64_t conceptID, std::string_view displayName) = 0;
  virtual void addTagConceptAlias(std::int64_t conceptID, std::string_view tag) = 0;
  virtual void removeTagConceptAlias(std::int64_t conceptID, std::string_view tag) = 0;
  virtual void assignImagesToTagConcept(std::int64_t conceptID,
                                        const std::vector<std::string>& imagePaths) = 0;
  virtual void unassignImagesFromTagConcept(std::int64_t conceptID,
                                            const std::vector<std::string>& imagePaths) = 0;
};

class ImageLibraryRepository : public ImageTrashStore, public ThumbnailJobStore {
 public:
  // Throws SearchCancelledError once `stop` is requested.
  virtual std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop) = 0;
  virtual std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text,
                                                    std::int64_t limit) = 0;
  virtual std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text,
                                                        std::int64_t limit) = 0;
  virtual void updateReviewState(std::string_view path, const ReviewState& state) = 0;
  virtual std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores) = 0;
  virtual std::vector<RegisteredFolderImageCounts> folderImageCounts(
      const std::vector<std::string>& paths) = 0;
  // The images at or under each path become missing (a registered folder that is no longer there);
  // their thumbnail keys stay.
  virtual void markMissing(const std::vector<std::string>& paths) = 0;
  // Whether a live image at or under the paths was indexed by an older projection.
  virtual bool hasFilesNeedingReprojection(const std::vector<std::string>& paths) = 0;
  // The smallest stored event id of the roots; nothing when a root has none. The ids are the inotify
  // monitor's own (nextFolderEventID), not file-system event ids.
  virtual std::optional<RegisteredFolderEventCheckpoint> lastFSEventID(
      const std::vector<std::string>& rootPaths) = 0;
  virtual void saveLastFSEventID(const std::vector<std::string>& rootPaths, std::uint64_t eventID) = 0;
  // The most recently updated unfinished indexing job.
  virtual std::optional<IndexingJobRecord> latestRunningIndexingJob() = 0;
};

}  // namespace lorvex
