#include "ui/review/trash_confirmation_flow.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/results/echo_localization.h"

namespace lorvex::ui {
namespace {

using Action = DeleteCandidateTrashAction;
using testing::echoLocalization;

TEST(TrashConfirmationFlow, MessageKeyAndCountOfThePendingAction) {
  const struct {
    Action action;
    DeleteCandidateTrashActionCounts counts;
    std::string message;
  } cases[] = {
      {Action::selected, {1, 9, 9}, "deleteCandidateReview.confirmation.message.selected.one(#1)"},
      {Action::selected, {2, 9, 9}, "deleteCandidateReview.confirmation.message.selected.other(#2)"},
      {Action::selected, {0, 9, 9}, "deleteCandidateReview.confirmation.message.selected.other(#0)"},
      {Action::loaded, {9, 1, 9}, "deleteCandidateReview.confirmation.message.loaded.one(#1)"},
      {Action::loaded, {9, 6, 9}, "deleteCandidateReview.confirmation.message.loaded.other(#6)"},
      {Action::retryFailed, {9, 9, 1}, "deleteCandidateReview.confirmation.message.retryFailed.one(#1)"},
      {Action::retryFailed, {9, 9, 0}, "deleteCandidateReview.confirmation.message.retryFailed.other(#0)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TrashConfirmationFlow flow;
    flow.requestTrashConfirmation(c.action);
    EXPECT_EQ(flow.confirmationMessage(c.counts, echoLocalization()), c.message);
  }
  EXPECT_EQ(TrashConfirmationFlow{}.confirmationMessage({1, 1, 1}, echoLocalization()), "");
}

TEST(TrashConfirmationFlow, ConfirmHandsThePendingActionOutOnceAndEveryOtherCloseDropsIt) {
  TrashConfirmationFlow flow;
  EXPECT_EQ(flow.confirmPendingTrashAction(), std::nullopt);

  flow.requestTrashConfirmation(Action::selected);
  flow.requestTrashConfirmation(Action::loaded);  // a new request replaces the old one
  EXPECT_EQ(flow, (TrashConfirmationFlow{Action::loaded}));
  EXPECT_EQ(flow.confirmPendingTrashAction(), Action::loaded);
  EXPECT_FALSE(flow.isPendingForTest());
  EXPECT_EQ(flow.confirmPendingTrashAction(), std::nullopt);  // a second press moves nothing

  flow.requestTrashConfirmation(Action::retryFailed);
  flow.cancel();
  EXPECT_EQ(flow, TrashConfirmationFlow{});
  EXPECT_EQ(flow.confirmPendingTrashAction(), std::nullopt);
}

}  // namespace
}  // namespace lorvex::ui
