// The moves to the Trash the review sheet offers, the disabled reasons' texts, and what each move
// asks the user before it runs. A move is only ever recorded by its button; it runs from the
// destructive button of the confirmation, so nothing here moves a file except
// performDeleteCandidateTrashAction, which hands the records to the trash model's guarded move.
//
// Thread safety: the key and count functions are pure; performDeleteCandidateTrashAction and
// DeleteCandidateTrashActionCounts::fromTrash run on the store's thread.
#pragma once

#include <qcoro/qcorotask.h>

#include <array>
#include <optional>
#include <string>

#include "model/enum_cases.h"
#include "store/delete_candidate_trash_disabled_reason.h"
#include "ui/common/app_localization.h"

namespace lorvex {
class TrashModel;
}

namespace lorvex::ui {

// Every reason, in the store's order of precedence.
inline constexpr std::array kAllDeleteCandidateTrashDisabledReasons = {
    DeleteCandidateTrashDisabledReason::moveWaitingForScan,
    DeleteCandidateTrashDisabledReason::trashingInProgress,
    DeleteCandidateTrashDisabledReason::libraryNotIndexedYet,
    DeleteCandidateTrashDisabledReason::indexingInProgress,
    DeleteCandidateTrashDisabledReason::loadingCandidates,
    DeleteCandidateTrashDisabledReason::noCandidates,
    DeleteCandidateTrashDisabledReason::noSelection,
};
static_assert(holdsEveryCaseInOrder(kAllDeleteCandidateTrashDisabledReasons));

// The one text key of each reason; no two reasons share one.
AppLocalizationKey disabledReasonKey(DeleteCandidateTrashDisabledReason reason);
std::string disabledReasonText(DeleteCandidateTrashDisabledReason reason, const AppLocalization& localizer);
// Nothing for no reason, and then nothing is looked up.
std::optional<std::string> disabledReasonText(const std::optional<DeleteCandidateTrashDisabledReason>& reason,
                                              const AppLocalization& localizer);

enum class DeleteCandidateTrashAction {
  selected,     // the ticked candidates
  loaded,       // every loaded candidate still marked and present
  retryFailed,  // the loaded candidates the last move failed on
};

// How many records each action would move now; the confirmation message names that number.
struct DeleteCandidateTrashActionCounts {
  int selected = 0;
  int loaded = 0;
  int retryFailed = 0;

  static DeleteCandidateTrashActionCounts fromTrash(const TrashModel& trash);
  int count(DeleteCandidateTrashAction action) const;

  friend bool operator==(const DeleteCandidateTrashActionCounts&,
                         const DeleteCandidateTrashActionCounts&) = default;
};

// The confirmation message's key for an action moving `count` records (".one" for exactly 1).
AppLocalizationKey confirmationMessageKey(DeleteCandidateTrashAction action, int count);

// Runs a confirmed action: the records are read from the trash model when this runs, not when the
// button was pressed, and the model's move re-checks every guard (review open, library ready,
// nothing loading, no move running). The move's result is not read.
QCoro::Task<void> performDeleteCandidateTrashAction(TrashModel& trash, DeleteCandidateTrashAction action);

}  // namespace lorvex::ui
