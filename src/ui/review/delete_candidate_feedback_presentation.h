// What the feedback banner says after a marking or unmarking of delete candidates: the icon, the
// message counting the images, the note that marked images left the normal results, and whether
// Undo is offered (the action was recorded for undo and the store can undo now; that second part
// follows the store live, so Undo vanishes while a move to the Trash runs). While the undo's restore
// runs the banner stays as it was, its Undo in place but disabled: it says the result only once
// the restore is applied, and a second click finds nothing moved under the pointer.
//
// Thread safety: pure functions.
#pragma once

#include <optional>
#include <string>

#include "store/delete_candidate_review.h"
#include "ui/common/app_localization.h"

namespace lorvex::ui {

// The message key of a feedback: marked or unmarked, ".one" for exactly one image.
AppLocalizationKey deleteCandidateFeedbackMessageKey(const DeleteCandidateFeedback& feedback);

struct DeleteCandidateFeedbackBannerPresentation {
  std::string symbol;  // "trash" after a marking, "trash.slash" after an unmarking
  std::string message;
  std::optional<std::string> detail;  // only when the marked images left the normal results
  bool showsUndo = false;
  bool undoEnabled = false;  // false while the undo's restore runs
  std::string undoTitle;
  std::string closeLabel;  // the close button's tooltip and accessible name

  friend bool operator==(const DeleteCandidateFeedbackBannerPresentation&,
                         const DeleteCandidateFeedbackBannerPresentation&) = default;
};

// Nothing without feedback: the banner is not shown.
std::optional<DeleteCandidateFeedbackBannerPresentation> makeDeleteCandidateFeedbackBannerPresentation(
    const std::optional<DeleteCandidateFeedback>& feedback, bool canUndoDeleteCandidateAction,
    bool isUndoRestoreRunning, const AppLocalization& localizer);

}  // namespace lorvex::ui
