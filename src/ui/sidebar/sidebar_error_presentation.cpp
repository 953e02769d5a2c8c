#include "ui/sidebar/sidebar_error_presentation.h"

#include <algorithm>

#include "store/trash/trash_model.h"
#include "ui/common/error_notice_text.h"

namespace lorvex::ui {

namespace {

bool isTrashMoveMessage(const std::string& message, const ImageTrashSummary& summary) {
  if (message == TrashModel::kTrashFailureMessage) return true;
  return std::any_of(summary.failures.begin(), summary.failures.end(),
                     [&message](const ImageTrashFailure& failure) { return failure.message == message; });
}

}  // namespace

std::optional<std::string> SidebarErrorPresentation::message(const AppLocalization& localizer) const {
  if (!errorMessage) return std::nullopt;
  if (lastTrashSummary && !lastTrashSummary->failures.empty() &&
      isTrashMoveMessage(*errorMessage, *lastTrashSummary)) {
    return localizer.lookup(AppLocalizationKey::deleteCandidateReviewSummaryOperationFailed);
  }
  return errorNoticeTextWithReason(errorNotice.value_or(ErrorNotice{}), localizer, resourceDisplay);
}

}  // namespace lorvex::ui
