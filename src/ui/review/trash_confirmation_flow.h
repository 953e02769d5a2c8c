// The review sheet's one pending confirmation: which move waits for the user to confirm it. A new
// request replaces the old one; confirming hands the pending action out once and clears it, and
// so does every other way the dialog closes (cancel, Escape, the dialog dismissed), without a move.
//
// Thread safety: a plain value.
#pragma once

#include <optional>
#include <string>

#include "ui/common/app_localization.h"
#include "ui/review/delete_candidate_trash_action.h"

namespace lorvex::ui {

struct TrashConfirmationFlow {
  std::optional<DeleteCandidateTrashAction> pendingAction;

  bool isPendingForTest() const { return pendingAction.has_value(); }
  void requestTrashConfirmation(DeleteCandidateTrashAction action) { pendingAction = action; }
  // The dialog's destructive button: the action that was pending (nothing when none was), after
  // clearing it so that a second press finds nothing to run.
  std::optional<DeleteCandidateTrashAction> confirmPendingTrashAction() {
    const std::optional<DeleteCandidateTrashAction> action = pendingAction;
    pendingAction.reset();
    return action;
  }
  void cancel() { pendingAction.reset(); }

  // The dialog's message for the pending action with `counts` as they are now; empty when nothing
  // is pending.
  std::string confirmationMessage(const DeleteCandidateTrashActionCounts& counts,
                                  const AppLocalization& localizer) const;

  friend bool operator==(const TrashConfirmationFlow&, const TrashConfirmationFlow&) = default;
};

}  // namespace lorvex::ui
