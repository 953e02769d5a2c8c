// ReviewDependents: what the review marks, their undo and the slideshow steps ask of the features
// the review does not read directly: whether a move to the Trash runs (and waiting for it and for a
// page load to end), and whether the focused record may be reviewed, which combines the results,
// the Trash and the popovers. The composition supplies it. The loaded results, the selection, the
// filters and the slideshow flags the review reads and changes through their own models.
//
// Thread safety: the creating thread only (the main thread).
#pragma once

#include <qcoro/qcorotask.h>

#include <stop_token>

namespace lorvex {

class ReviewDependents {
 public:
  virtual ~ReviewDependents() = default;

  // Whether a move to the Trash runs; isTrashingDeleteCandidatesChanged on the trash model is
  // wired to the review model's recomputeCanUndoDeleteCandidateAction by the composition.
  virtual bool isTrashingDeleteCandidates() const = 0;
  // Returns once neither a page load nor a move to the Trash runs, or `stop` was requested.
  virtual QCoro::Task<void> waitUntilNoPageLoadOrTrashMove(std::stop_token stop) = 0;
  // Whether review marks may be changed on the focused record.
  virtual bool canReviewFocusedRecord() const = 0;
};

}  // namespace lorvex
