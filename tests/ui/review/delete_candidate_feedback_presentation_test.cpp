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
    bool restoreRunning;
    std::string symbol;
    std::string message;
    std::optional<std::string> detail;
    bool showsUndo;
    bool undoEnabled;
  } cases[] = {
      {{Change::marked, 1, true, true},
       true,
       false,
       "trash",
       "review.deleteCandidate.feedback.marked.one(#1)",
       "review.deleteCandidate.feedback.hiddenFromNormalResults",
       true,
       true},
      {{Change::marked, 0, false, true},
       true,
       false,
       "trash",
       "review.deleteCandidate.feedback.marked.other(#0)",
       std::nullopt,
       true,
       true},
      {{Change::marked, 3, false, true},
       false,
       false,
       "trash",
       "review.deleteCandidate.feedback.marked.other(#3)",
       std::nullopt,
       false,
       false},
      // Its undo under way: Undo stays where it was, disabled, until the restore is applied.
      {{Change::marked, 4, true, true},
       false,
       true,
       "trash",
       "review.deleteCandidate.feedback.marked.other(#4)",
       "review.deleteCandidate.feedback.hiddenFromNormalResults",
       true,
       false},
      {{Change::unmarked, 1, false, false},
       true,
       true,
       "trash.slash",
       "review.deleteCandidate.feedback.unmarked.one(#1)",
       std::nullopt,
       false,
       false},
      {{Change::unmarked, 2, false, true},
       true,
       false,
       "trash.slash",
       "review.deleteCandidate.feedback.unmarked.other(#2)",
       std::nullopt,
       true,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const auto banner = makeDeleteCandidateFeedbackBannerPresentation(c.feedback, c.canUndo, c.restoreRunning,
                                                                      echoLocalization());
    ASSERT_TRUE(banner.has_value());
    EXPECT_EQ(banner->symbol, c.symbol);
    EXPECT_EQ(banner->message, c.message);
    EXPECT_EQ(banner->detail, c.detail);
    EXPECT_EQ(banner->showsUndo, c.showsUndo);
    EXPECT_EQ(banner->undoEnabled, c.undoEnabled);
    EXPECT_EQ(banner->undoTitle, "review.deleteCandidate.feedback.undo");
    EXPECT_EQ(banner->closeLabel, "common.close");
  }
}

}  // namespace
}  // namespace lorvex::ui
