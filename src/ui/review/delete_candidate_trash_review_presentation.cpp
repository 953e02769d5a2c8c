#include "ui/review/delete_candidate_trash_review_presentation.h"

#include <utility>

#include "store/trash/trash_model.h"
#include "ui/review/delete_candidate_trash_action.h"

namespace lorvex::ui {

using Key = AppLocalizationKey;

DeleteCandidateTrashReviewPresentation DeleteCandidateTrashReviewPresentation::fromTrash(
    const TrashModel& trash, AppLocalization localizer, ViewResourceDisplay resourceDisplay) {
  return DeleteCandidateTrashReviewPresentation{
      .lastTrashSummary = trash.lastTrashSummary(),
      .loadedDeleteCandidateCount = trash.trashableLoadedTrashReviewRecordCount(),
      .selectedDeleteCandidateCount = static_cast<int>(trash.selectedTrashReviewRecords().size()),
      .isTrashingDeleteCandidates = trash.isTrashingDeleteCandidates(),
      .isWaitingForLibrarySync = trash.isWaitingForLibrarySync(),
      .trashSelectedDisabledReason = trash.trashSelectedDisabledReason(),
      .trashLoadedDisabledReason = trash.trashLoadedDisabledReason(),
      .localizer = std::move(localizer),
      .resourceDisplay = std::move(resourceDisplay),
  };
}

std::string DeleteCandidateTrashReviewPresentation::titleText() const {
  return localizer.lookup(Key::deleteCandidateReviewTitle);
}

std::string DeleteCandidateTrashReviewPresentation::explanationText() const {
  return localizer.lookup(Key::deleteCandidateReviewExplanation);
}

std::string DeleteCandidateTrashReviewPresentation::loadedScopeText() const {
  return localizer.lookup(pluralKey(loadedDeleteCandidateCount, Key::deleteCandidateReviewTrashScopeLoadedOne,
                                    Key::deleteCandidateReviewTrashScopeLoadedOther),
                          {std::int64_t{loadedDeleteCandidateCount}});
}

std::string DeleteCandidateTrashReviewPresentation::selectedScopeText() const {
  return localizer.lookup(
      pluralKey(selectedDeleteCandidateCount, Key::deleteCandidateReviewTrashScopeSelectedOne,
                Key::deleteCandidateReviewTrashScopeSelectedOther),
      {std::int64_t{selectedDeleteCandidateCount}});
}

std::string DeleteCandidateTrashReviewPresentation::movingProgressText() const {
  return localizer.lookup(isWaitingForLibrarySync ? Key::deleteCandidateReviewWaitingForScan
                                                  : Key::deleteCandidateReviewMovingProgress);
}

std::string DeleteCandidateTrashReviewPresentation::bulkActionScopeText() const {
  return localizer.lookup(Key::deleteCandidateReviewBulkActionScope);
}

std::string DeleteCandidateTrashReviewPresentation::selectLoadedTitle() const {
  return localizer.lookup(Key::deleteCandidateReviewSelectLoaded);
}

std::string DeleteCandidateTrashReviewPresentation::footerSummaryText() const {
  return localizer.lookup(
      Key::deleteCandidateReviewFooterSummary,
      {std::int64_t{loadedDeleteCandidateCount}, std::int64_t{selectedDeleteCandidateCount}});
}

std::string DeleteCandidateTrashReviewPresentation::trashSelectedTitle() const {
  return localizer.lookup(Key::deleteCandidateReviewActionTrashSelected);
}

std::string DeleteCandidateTrashReviewPresentation::trashLoadedTitle() const {
  return localizer.lookup(Key::deleteCandidateReviewActionTrashLoaded);
}

std::optional<std::string> DeleteCandidateTrashReviewPresentation::trashSelectedDisabledReasonText() const {
  return disabledReasonText(trashSelectedDisabledReason, localizer);
}

std::optional<std::string> DeleteCandidateTrashReviewPresentation::trashLoadedDisabledReasonText() const {
  return disabledReasonText(trashLoadedDisabledReason, localizer);
}

std::string DeleteCandidateTrashReviewPresentation::candidateAccessibilityLabel(std::string_view fileName,
                                                                                bool isSelected) const {
  return localizer.lookup(isSelected ? Key::deleteCandidateReviewCandidateSelected
                                     : Key::deleteCandidateReviewCandidateUnselected,
                          {std::string(fileName)});
}

std::string DeleteCandidateTrashReviewPresentation::selectionAccessibilityValue(bool isSelected) const {
  return localizer.lookup(isSelected ? Key::deleteCandidateReviewSelectionSelected
                                     : Key::deleteCandidateReviewSelectionUnselected);
}

std::string DeleteCandidateTrashReviewPresentation::displayPath(std::string_view path) const {
  return resourceDisplay.displayText(path);
}

}  // namespace lorvex::ui
