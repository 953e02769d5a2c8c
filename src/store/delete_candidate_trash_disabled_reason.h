// Why the Trash review cannot move delete candidates to the Trash right now, for the review sheet's
// two actions (move the ticked candidates, move every loaded one): what blocks it, and the one
// reason the sheet shows.
//
// Thread safety: plain values and pure functions.
#pragma once

#include <optional>

namespace lorvex {

// In order of precedence where several hold at once.
enum class DeleteCandidateTrashDisabledReason {
  trashingInProgress,
  libraryNotIndexedYet,
  indexingInProgress,
  loadingCandidates,
  noCandidates,
  noSelection,
};

// The states of the store that forbid moving anything to the Trash.
struct DeleteCandidateTrashBlockers {
  bool trashing = false;
  bool notPrepared = false;
  bool indexing = false;
  bool loading = false;

  friend bool operator==(const DeleteCandidateTrashBlockers&, const DeleteCandidateTrashBlockers&) = default;
};

// The reason of the first blocker that holds, in precedence order; nothing when none holds.
inline std::optional<DeleteCandidateTrashDisabledReason> blockingReason(
    const DeleteCandidateTrashBlockers& blockers) {
  if (blockers.trashing) return DeleteCandidateTrashDisabledReason::trashingInProgress;
  if (blockers.notPrepared) return DeleteCandidateTrashDisabledReason::libraryNotIndexedYet;
  if (blockers.indexing) return DeleteCandidateTrashDisabledReason::indexingInProgress;
  if (blockers.loading) return DeleteCandidateTrashDisabledReason::loadingCandidates;
  return std::nullopt;
}

}  // namespace lorvex
