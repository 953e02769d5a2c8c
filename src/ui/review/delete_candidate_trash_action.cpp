#include "ui/review/delete_candidate_trash_action.h"

#include <utility>
#include <vector>

#include "store/trash/trash_model.h"

namespace lorvex::ui {

AppLocalizationKey disabledReasonKey(DeleteCandidateTrashDisabledReason reason) {
  using Reason = DeleteCandidateTrashDisabledReason;
  using Key = AppLocalizationKey;
  switch (reason) {
    case Reason::moveWaitingForScan:
      return Key::deleteCandidateReviewDisabledReasonWaitingForScan;
    case Reason::trashingInProgress:
      return Key::deleteCandidateReviewDisabledReasonTrashing;
    case Reason::libraryNotIndexedYet:
      return Key::deleteCandidateReviewDisabledReasonNotYetIndexed;
    case Reason::indexingInProgress:
      return Key::deleteCandidateReviewDisabledReasonIndexing;
    case Reason::loadingCandidates:
      return Key::deleteCandidateReviewDisabledReasonLoading;
    case Reason::noCandidates:
      return Key::deleteCandidateReviewDisabledReasonNoCandidates;
    case Reason::noSelection:
      return Key::deleteCandidateReviewDisabledReasonNoSelection;
  }
  return Key::deleteCandidateReviewDisabledReasonTrashing;
}

std::string disabledReasonText(DeleteCandidateTrashDisabledReason reason, const AppLocalization& localizer) {
  return localizer.lookup(disabledReasonKey(reason));
}

std::optional<std::string> disabledReasonText(const std::optional<DeleteCandidateTrashDisabledReason>& reason,
                                              const AppLocalization& localizer) {
  if (!reason) return std::nullopt;
  return disabledReasonText(*reason, localizer);
}

DeleteCandidateTrashActionCounts DeleteCandidateTrashActionCounts::fromTrash(const TrashModel& trash) {
  return DeleteCandidateTrashActionCounts{
      .selected = static_cast<int>(trash.selectedTrashReviewRecords().size()),
      .loaded = trash.trashableLoadedTrashReviewRecordCount(),
      .retryFailed = static_cast<int>(trash.retryableFailedTrashRecords().size()),
  };
}

int DeleteCandidateTrashActionCounts::count(DeleteCandidateTrashAction action) const {
  switch (action) {
    case DeleteCandidateTrashAction::selected:
      return selected;
    case DeleteCandidateTrashAction::loaded:
      return loaded;
    case DeleteCandidateTrashAction::retryFailed:
      return retryFailed;
  }
  return 0;
}

AppLocalizationKey confirmationMessageKey(DeleteCandidateTrashAction action, int count) {
  using Key = AppLocalizationKey;
  switch (action) {
    case DeleteCandidateTrashAction::selected:
      return pluralKey(count, Key::deleteCandidateReviewConfirmationMessageSelectedOne,
                       Key::deleteCandidateReviewConfirmationMessageSelectedOther);
    case DeleteCandidateTrashAction::loaded:
      return pluralKey(count, Key::deleteCandidateReviewConfirmationMessageLoadedOne,
                       Key::deleteCandidateReviewConfirmationMessageLoadedOther);
    case DeleteCandidateTrashAction::retryFailed:
      return pluralKey(count, Key::deleteCandidateReviewConfirmationMessageRetryFailedOne,
                       Key::deleteCandidateReviewConfirmationMessageRetryFailedOther);
  }
  return Key::deleteCandidateReviewConfirmationMessageSelectedOther;
}

QCoro::Task<void> performDeleteCandidateTrashAction(TrashModel& trash, DeleteCandidateTrashAction action) {
  // A frame of the store's scope: a move still waiting when the store goes is freed with it.
  auto frame = co_await trash.context().scope().enter();
  // Every argument of an awaited call is a named local: GCC 12 destroys temporaries made inside a
  // co_await expression twice.
  switch (action) {
    case DeleteCandidateTrashAction::selected: {
      std::vector<RecordRef> records = trash.selectedTrashReviewRecords();
      QCoro::Task<bool> move = trash.moveDeleteCandidatesToTrash(std::move(records));
      co_await std::move(move);
      break;
    }
    case DeleteCandidateTrashAction::loaded: {
      QCoro::Task<bool> move = trash.moveLoadedTrashReviewCandidatesToTrash();
      co_await std::move(move);
      break;
    }
    case DeleteCandidateTrashAction::retryFailed: {
      std::vector<RecordRef> records = trash.retryableFailedTrashRecords();
      QCoro::Task<bool> move = trash.moveDeleteCandidatesToTrash(std::move(records));
      co_await std::move(move);
      break;
    }
  }
}

}  // namespace lorvex::ui
