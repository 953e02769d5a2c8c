// TrashDependents: what the Trash review and the move to the Trash ask of the features around
// them. The review lists the library's candidates in the results' order under the search roots;
// a move waits for the library to be quiet, and its trashed images leave the results, are ignored
// by folder monitoring, spend the delete-candidate undo history and its banner, and change the
// sidebar's folder counts. The composition supplies it; the trash model never reads those
// features' fields.
//
// Thread safety: the creating thread only (the main thread).
#pragma once

#include <qcoro/qcorotask.h>

#include <exception>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "model/image_search_query.h"
#include "store/path_set.h"
#include "store/record_ref.h"

namespace lorvex {

// Where and in which order the review lists candidates: the folders every library query is
// limited to, and the sort the results use.
struct TrashReviewQueryScope {
  std::vector<std::string> rootPaths;
  ImageSearchSort sort = ImageSearchSort::modificationDateDescending;
};

class TrashDependents {
 public:
  virtual ~TrashDependents() = default;

  // A search's records, or the failure it ended with (a cancellation included).
  struct FetchedRecords {
    std::vector<RecordRef> records;
    std::exception_ptr failure;
  };

  virtual TrashReviewQueryScope trashReviewQueryScope() const = 0;
  // Runs `query` with the service in use now on the user-initiated pool; stopping `stop` cancels
  // it.
  virtual QCoro::Task<FetchedRecords> fetchRecords(ImageSearchQuery query, std::stop_token stop) = 0;

  // The live service is not installed yet, or is being prepared.
  virtual bool isLibraryUnprepared() const = 0;
  // A scan runs.
  virtual bool isLibraryIndexing() const = 0;
  // Library work runs: a scan, or a background pass (which raises no indexing flag).
  virtual bool isLibrarySyncInProgress() const = 0;
  // Returns once no library work (a background pass included) runs any more, or once `stop` was
  // requested.
  virtual QCoro::Task<void> waitForLibrarySyncToEnd(std::stop_token stop) = 0;

  // The position of `path` in the loaded results; nothing when it is not loaded.
  virtual std::optional<int> resultIndex(const std::string& path) const = 0;
  // The trashed images leave the loaded results; a result load in flight (which may still hold
  // them) is stopped first and started again once they are gone. `fallbackSelectionIndex`: where
  // the result selection goes when its records were trashed.
  virtual void removeTrashedRecordsFromResults(const PathSet& trashed, int fallbackSelectionIndex) = 0;
  // Folder monitoring reports the removal of these files like anyone else's; they are the
  // program's own, so a running monitor ignores them.
  virtual void ignoreTrashedPathsInFolderMonitoring(const std::vector<std::string>& trashedPaths) = 0;
  // The move found these files changed since the library read them (it compares their size, time
  // and content): the library reads them again, as if monitoring had reported them.
  virtual void rereadChangedFiles(const std::vector<std::string>& paths) = 0;
  // After files left for the Trash, putting marks back on their records would undo nothing the
  // user can see: the delete-candidate undo history is forgotten.
  virtual void clearDeleteCandidateUndoStack() = 0;
  // Removes the delete-candidate banner at once.
  virtual void dismissDeleteCandidateFeedback() = 0;
  // Reloads the sidebar's folder list and counts; returns once the load ended.
  virtual QCoro::Task<void> reloadFolderSummaries() = 0;
};

}  // namespace lorvex
