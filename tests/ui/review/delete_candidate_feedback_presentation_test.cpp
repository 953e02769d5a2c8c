#include "ui/review/delete_candidate_feedback_presentation.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/results/echo_localization.h"

namespace lorvex::ui {
namespace {

using Change = DeleteCandidateFeedback::Change;
using testing::echoLocalization;

TEST(DeleteCandidateFeedbackPresentation, NoFeedbackShowsNoBanner) {
  EXPECT_EQ(makeDeleteCandidateFeedbackBannerPresentation(std::nullopt, true, false, echoLocalization()),
            std::nullopt);
}

TEST(DeleteCandidateFeedbackPresentation, SymbolMessageDetailAndUndoByFeedback) {
  const struct {
    DeleteCandidateFeedback feedback;
    bool canUndo;
    std::string symbol;
    std::string message;
    std::optional<std::string> detail;
    bool showsUndo;
  } cases[] = {
      {{Change::marked, 1, true, true},
       true,
       "trash",
       "review.deleteCandidate.feedback.marked.one(#1)",
       "review.deleteCandidate.feedback.hiddenFromNormalResults",
       true},
      {{Change::marked, 0, false, true},
       true,
       "trash",
       "review.deleteCandidate.feedback.marked.other(#0)",
       std::nullopt,
       true},
      {{Change::marked, 3, false, true},
       false,
       "trash",
       "review.deleteCandidate.feedback.marked.other(#3)",
       std::nullopt,
       false},
      {{Change::unmarked, 1, false, false},
       true,
       "trash.slash",
       "review.deleteCandidate.feedback.unmarked.one(#1)",
       std::nullopt,
       false},
      {{Change::unmarked, 2, false, true},
       true,
       "trash.slash",
       "review.deleteCandidate.feedback.unmarked.other(#2)",
       std::nullopt,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const auto banner =
        makeDeleteCandidateFeedbackBannerPresentation(c.feedback, c.canUndo, false, echoLocalization());
    ASSERT_TRUE(banner.has_value());
    EXPECT_EQ(banner->symbol, c.symbol);
    EXPECT_EQ(banner->message, c.message);
    EXPECT_EQ(banner->detail, c.detail);
    EXPECT_EQ(banner->showsUndo, c.showsUndo);
    EXPECT_EQ(banner->undoTitle, "review.deleteCandidate.feedback.undo");
    EXPECT_EQ(banner->closeLabel, "common.close");
  }
}

}  // namespace
}  // namespace lorvex::ui
