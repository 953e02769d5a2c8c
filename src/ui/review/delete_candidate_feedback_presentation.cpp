#include "ui/review/delete_candidate_feedback_presentation.h"

namespace lorvex::ui {

using Key = AppLocalizationKey;
using Change = DeleteCandidateFeedback::Change;

AppLocalizationKey deleteCandidateFeedbackMessageKey(const DeleteCandidateFeedback& feedback) {
  if (feedback.change == Change::marked) {
    return pluralKey(feedback.affectedCount, Key::reviewDeleteCandidateFeedbackMarkedOne,
                     Key::reviewDeleteCandidateFeedbackMarkedOther);
  }
  return pluralKey(feedback.affectedCount, Key::reviewDeleteCandidateFeedbackUnmarkedOne,
                   Key::reviewDeleteCandidateFeedbackUnmarkedOther);
}

std::optional<DeleteCandidateFeedbackBannerPresentation> makeDeleteCandidateFeedbackBannerPresentation(
    const std::optional<DeleteCandidateFeedback>& feedback, bool canUndoDeleteCandidateAction,
    bool isUndoRestoreRunning, const AppLocalization& localizer) {
  if (!feedback) return std::nullopt;
  DeleteCandidateFeedbackBannerPresentation banner;
  banner.symbol = feedback->change == Change::marked ? "trash" : "trash.slash";
  banner.message =
      localizer.lookup(deleteCandidateFeedbackMessageKey(*feedback), {std::int64_t{feedback->affectedCount}});
  if (feedback->hiddenFromNormalResults) {
    banner.detail = localizer.lookup(Key::reviewDeleteCandidateFeedbackHiddenFromNormalResults);
  }
  banner.showsUndo = feedback->allowsUndo && (canUndoDeleteCandidateAction || isUndoRestoreRunning);
  banner.undoEnabled = banner.showsUndo && canUndoDeleteCandidateAction;
  banner.undoTitle = localizer.lookup(Key::reviewDeleteCandidateFeedbackUndo);
  banner.closeLabel = localizer.lookup(Key::commonClose);
  return banner;
}

}  // namespace lorvex::ui
