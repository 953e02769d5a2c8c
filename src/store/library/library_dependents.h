// LibraryDependents: what the library's flows ask of the features around the library. After a scan,
// a folder set change or the launch's catching up, the results, the tag suggestions and the
// thumbnails follow the library as it now stands, and the selection follows the records a scan
// found moved; while a scan indexes, the results are brought up to date now and then; and no
// library work starts while files are being moved to the Trash. The composition supplies it; the
// library model never reads those features' fields.
//
// The awaited calls return once their work was applied or dropped, so a flow that awaits one goes
// on with the next step in the order it always had (the sidebar, then the results, then the
// suggestions).
//
// Thread safety: the creating thread only (the main thread).
#pragma once

#include <qcoro/qcorotask.h>

#include <vector>

#include "model/image_library_scan_summary.h"

namespace lorvex {

class LibraryDependents {
 public:
  virtual ~LibraryDependents() = default;

  // A new search for the current filters, its first page of the usual size replacing the results;
  // the grid keeps its scroll position.
  virtual QCoro::Task<void> reloadResults() = 0;
  // The same with the first `limit` records: the launch asks for the screenful the window shows
  // first.
  virtual QCoro::Task<void> reloadResults(int limit) = 0;
  // A full-window refresh of the loaded results after a background pass, replacing one that may
  // have read the library before the pass's last writes.
  virtual QCoro::Task<void> refreshResultWindowAfterSync() = 0;
  // The sidebar's tag suggestions for no search text.
  virtual QCoro::Task<void> reloadTagSuggestions() = 0;
  // Starts generating the thumbnails a scan left missing; not awaited.
  virtual void startThumbnailGeneration() = 0;
  // Records a scan found again under other paths: the selection, the undo history and the open
  // Trash review follow them there.
  virtual void followRelocatedRecords(const std::vector<RecordRelocation>& relocations) = 0;
  // A background refresh of the results while a scan indexes: the whole loaded window when the
  // results have asked for one, else the records new at the front. True when a refresh started
  // (and the results' request for a whole window is then spent); false when the results refused.
  virtual bool refreshResultsDuringIndexing() = 0;
  // Files are being moved to the Trash: registration, the syncs, unregistering and background
  // passes are refused (or, for a batch of folder changes, put off) meanwhile.
  virtual bool isTrashingDeleteCandidates() const = 0;
};

}  // namespace lorvex
