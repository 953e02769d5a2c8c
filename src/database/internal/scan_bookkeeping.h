// Media file scan bookkeeping: keeps media_files in step with the disk between projections (what a
// scan asks and records about files), and what the folders of the library hold (image counts per
// folder, the last file-system event id seen for each root). Rows are never deleted: a file that
// vanished is marked missing and keeps its review state. Paths are standardized first.
//
// Thread safety: every public operation takes the connection's lock for its whole unit of work,
// except storedFiles and observeStoredFiles, which run inside the caller's locked transaction.
// folderImageCounts reads on the reader connection (one read transaction), everything else on the
// writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "database/library_store_protocols.h"
#include "model/image_record.h"
#include "model/registered_folder.h"

namespace lorvex {

class ThumbnailJobs;

// The columns of one media_files row that an observation compares and writes.
struct StoredMediaFile {
  std::int64_t id = 0;
  std::int64_t fileSize = 0;
  double modificationTime = 0;
  std::int64_t projectionRevision = 0;
  bool missing = false;
};

class ScanBookkeeping {
 public:
  ScanBookkeeping(SQLiteConnection& connection, SQLiteConnection& reader, ThumbnailJobs& thumbnails)
      : connection_(connection), reader_(reader), thumbnails_(thumbnails) {}

  std::optional<IndexedImageFileState> indexedFileState(std::string_view path);
  // indexedFileState of each path, in the order given, at most 400 paths per statement.
  std::vector<std::optional<IndexedImageFileState>> indexedFileStates(const std::vector<std::string>& paths);
  bool hasFilesNeedingReprojection(const std::vector<std::string>& paths);
  void markObserved(const ImageFileInfo& file, std::int64_t jobID, const ContentRelocation& relocation = {});
  void markSeenAfterFailure(std::string_view path, std::int64_t jobID);
  void markSeenUnder(std::string_view path, std::int64_t jobID);
  std::vector<ContentPlace> contentPlaces(std::string_view contentSHA256, std::string_view path);
  void markContentChanged(std::string_view path);
  void markMissingIfNotSeen(std::int64_t jobID, const std::vector<std::string>& rootPaths);
  void markMissing(const std::vector<std::string>& paths);
  void markTrashedPathsMissing(const std::vector<std::string>& paths);
  static std::optional<std::string> owningRootPath(std::string_view path,
                                                   const std::vector<std::string>& rootPaths);

  // The rows of the standardized paths, by path. The caller holds the lock.
  std::unordered_map<std::string, StoredMediaFile> storedFiles(const std::vector<std::string>& paths);
  // markObserved of each file whose row is given, for the job; the caller holds a transaction.
  void observeStoredFiles(std::int64_t jobID,
                          const std::vector<std::pair<StoredMediaFile, const ImageFileInfo*>>& files);

  // The record at the standardized `target` exchanges its review state with the record it swapped
  // content with, takes over the review state of the relocation's sources unless it has one of its
  // own (the sources are known as taken over from then on), and its moved paths become missing
  // (library_store_protocols.h, ContentRelocation). The caller holds a transaction, the one that
  // writes the record.
  void relocateInto(const std::string& target, const ContentRelocation& relocation);

  // Drops the delete-candidate mark of an image the program trashed and that is at its path again,
  // and forgets the trashing. The caller holds a transaction.
  void keepRestoredFromTrash(const std::string& path);

  // folder_counts.cpp
  std::vector<RegisteredFolderImageCounts> folderImageCounts(const std::vector<std::string>& paths);
  // event_checkpoints.cpp
  std::optional<RegisteredFolderEventCheckpoint> lastFSEventID(const std::vector<std::string>& rootPaths);
  void saveLastFSEventID(const std::vector<std::string>& rootPaths, std::uint64_t eventID);
  static std::optional<std::uint64_t> decodeStoredEventID(const std::optional<std::string>& stored);

 private:
  void exchangeReviewStates(const std::string& target, const std::string& other,
                            const std::string& otherContent);

  SQLiteConnection& connection_;
  SQLiteConnection& reader_;
  ThumbnailJobs& thumbnails_;
};

}  // namespace lorvex
