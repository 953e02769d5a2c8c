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
  // A move has been confirmed and waits for the scan under way to end; nothing has moved yet.
  moveWaitingForScan,
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
  // The move that runs has not started moving: it waits for a scan (trashing holds too).
  bool waitingForScan = false;
  bool notPrepared = false;
  bool indexing = false;
  bool loading = false;

  friend bool operator==(const DeleteCandidateTrashBlockers&, const DeleteCandidateTrashBlockers&) = default;
};

// The reason of the first blocker that holds, in precedence order; nothing when none holds.
inline std::optional<DeleteCandidateTrashDisabledReason> blockingReason(
    const DeleteCandidateTrashBlockers& blockers) {
  // Said as it is: the selection bar says the move waits for the scan, and the reason under the
  // buttons must not claim that it is already moving files.
  if (blockers.waitingForScan) return DeleteCandidateTrashDisabledReason::moveWaitingForScan;
  if (blockers.trashing) return DeleteCandidateTrashDisabledReason::trashingInProgress;
  if (blockers.notPrepared) return DeleteCandidateTrashDisabledReason::libraryNotIndexedYet;
  if (blockers.indexing) return DeleteCandidateTrashDisabledReason::indexingInProgress;
  if (blockers.loading) return DeleteCandidateTrashDisabledReason::loadingCandidates;
  return std::nullopt;
}

}  // namespace lorvex
