// ReviewDependents: what the review marks, their undo and the slideshow steps ask of the features
// around them: the loaded results they change in place and the selection over them, the slideshow
// flags, the review filters' verdict on a record, the result loads a change has to stop and start
// again, the next page a slideshow step waits for, and whether a move to the Trash runs. The
// composition supplies it; the review model never reads those features' fields.
//
// Thread safety: the creating thread only (the main thread).
#pragma once

#include <qcoro/qcorotask.h>

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "store/path_set.h"
#include "store/record_ref.h"
#include "store/results/search_result_window.h"
#include "store/results/stopped_result_loading.h"

namespace lorvex {

class ResultSelection;
class ImageLibraryPresentationState;

class ReviewDependents {
 public:
  virtual ~ReviewDependents() = default;

  // The loaded results and the selection over them, which the marks change in place and undo
  // puts back; the presentation's slideshow flags, which undo puts back.
  virtual SearchResultWindow& resultWindow() = 0;
  virtual ResultSelection& selection() = 0;
  virtual ImageLibraryPresentationState& presentation() = 0;
  // Keeps the selection in step with a change the review made to the window past its own report.
  virtual void resultWindowRecordsDidChange(const SearchResultWindow::RecordsChange& change) = 0;

  // Whether a record with these marks belongs in the results under the filters as they stand, and
  // whether the delete-candidate filter is on.
  virtual bool matchesReviewFilters(bool favorite, bool deleteCandidate, bool isMissing) const = 0;
  virtual bool onlyDeleteCandidates() const = 0;

  // Stops the result loads in flight before a change; the caller hands what it stopped back to
  // restartResultLoading on every way out, once the change is in place.
  [[nodiscard]] virtual StoppedResultLoading cancelResultLoading() = 0;
  virtual void restartResultLoading(const StoppedResultLoading& stopped) = 0;
  virtual bool isLoadingNextPage() const = 0;
  // Whether a move to the Trash runs; isTrashingDeleteCandidatesChanged on the review model follows
  // its changes (wired by the composition).
  virtual bool isTrashingDeleteCandidates() const = 0;
  // Returns once neither a page load nor a move to the Trash runs, or `stop` was requested.
  virtual QCoro::Task<void> waitUntilNoPageLoadOrTrashMove(std::stop_token stop) = 0;

  // The projections the review reads: the focused and the selected loaded records, whether the
  // focused record may be reviewed, the window positions the slideshow shows, the first loaded path
  // of a set.
  virtual RecordRef selectedRecord() const = 0;
  virtual std::vector<RecordRef> selectedRecords() const = 0;
  virtual bool canReviewFocusedRecord() const = 0;
  virtual std::vector<int> slideshowVisibleRecordIndices() const = 0;
  virtual std::optional<std::string> firstWindowPath(const PathSet& paths) const = 0;

  // What a slideshow step moves with: whether stepping `offset` passes the loaded end while more
  // exist, the focus moved by `offset`, and the next page (true when it was appended).
  virtual bool focusMoveNeedsNextPage(int offset) const = 0;
  virtual void moveFocus(int offset, bool wrapping) = 0;
  virtual QCoro::Task<bool> loadNextPage(std::stop_token stop) = 0;
};

}  // namespace lorvex
