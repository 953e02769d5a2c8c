#include "ui/review/trash_confirmation_flow.h"

namespace lorvex::ui {

std::string TrashConfirmationFlow::confirmationMessage(const DeleteCandidateTrashActionCounts& counts,
                                                       const AppLocalization& localizer) const {
  if (!pendingAction) return {};
  const int count = counts.count(*pendingAction);
  return localizer.lookup(confirmationMessageKey(*pendingAction, count), {std::int64_t{count}});
}

}  // namespace lorvex::ui
