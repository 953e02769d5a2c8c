#include "ui/review/delete_candidate_feedback_click_rule.h"

#include <cstdlib>

namespace lorvex::ui {

bool staysWithinDoubleClickDistance(const FeedbackButtonPress& press, int x, int y, int doubleClickDistance) {
  return std::abs(x - press.x) <= doubleClickDistance && std::abs(y - press.y) <= doubleClickDistance;
}

bool continuesFeedbackButtonClick(const FeedbackButtonPress& press, const FeedbackButtonPress& next,
                                  int doubleClickIntervalMs, int doubleClickDistance) {
  // An earlier timestamp is another gesture, not a negative interval.
  return next.button == press.button && next.timestamp >= press.timestamp &&
         next.timestamp - press.timestamp < static_cast<std::uint64_t>(doubleClickIntervalMs) &&
         staysWithinDoubleClickDistance(press, next.x, next.y, doubleClickDistance);
}

}  // namespace lorvex::ui
