// One review change the store is about to make: the loaded record it targets, where it stood in
// the result window, and the complete review state it gets. The marks operations build these in
// window order before anything is written; the undo action and the feedback banner are computed
// from them.
//
// Thread safety: plain values.
#pragma once

#include "model/review_state.h"
#include "store/record_ref.h"

namespace lorvex {

// The mark a review update changes.
enum class ReviewMark { favorite, deleteCandidate };

struct ReviewUpdateTarget {
  RecordRef record;  // the window's copy when the change was asked for
  int index = 0;     // its position in the window then
};

struct ReviewChange {
  ReviewUpdateTarget target;
  ReviewState reviewState;  // the untouched flag and the notes copied from the window's copy

  // Whether the change flips the delete-candidate mark (what undo and the banner are about).
  bool changesDeleteCandidate() const {
    return reviewState.deleteCandidate != target.record->reviewState.deleteCandidate;
  }
};

}  // namespace lorvex
