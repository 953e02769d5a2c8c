// Which press is the rest of a click on the feedback banner's buttons: Qt's double-click rule on
// the events' own clock and positions.
#include "ui/review/delete_candidate_feedback_click_rule.h"

#include <gtest/gtest.h>

namespace lorvex::ui {
namespace {

TEST(DeleteCandidateFeedbackClickRule, TheSecondPressOfADoubleClickContinuesTheClick) {
  constexpr int kInterval = 400;
  constexpr int kDistance = 5;
  constexpr int kLeft = 1;
  constexpr int kRight = 2;
  const FeedbackButtonPress click{.timestamp = 10'000, .x = 100, .y = 50, .button = kLeft};
  const struct {
    const char* name;
    FeedbackButtonPress next;
    bool continues;
  } cases[] = {
      {"40 ms later at the same place", {10'040, 100, 50, kLeft}, true},
      {"just inside the interval and the distance", {10'399, 105, 45, kLeft}, true},
      {"at the interval", {10'400, 100, 50, kLeft}, false},
      {"moved beyond the distance", {10'040, 106, 50, kLeft}, false},
      {"another button", {10'040, 100, 50, kRight}, false},
      {"an earlier timestamp", {9'990, 100, 50, kLeft}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(continuesFeedbackButtonClick(click, c.next, kInterval, kDistance), c.continues);
  }
}

}  // namespace
}  // namespace lorvex::ui
