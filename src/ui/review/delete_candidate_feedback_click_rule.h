// Which press of a mouse button is the rest of a click on one of the feedback banner's buttons.
// Undo and close both close the banner (an undo's restore is applied within a few milliseconds),
// often before the second click of a double-click arrives; that click was aimed at the banner
// and must not reach the control that lay under it (the results header's Slideshow button, a
// tile). The rule is Qt's own for a double-click, on the events' own timestamps: the same button
// pressed again within the double-click interval, the pointer kept within the double-click
// distance of the first press.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>

namespace lorvex::ui {

struct FeedbackButtonPress {
  std::uint64_t timestamp = 0;  // the event's, in milliseconds
  int x = 0;                    // global position
  int y = 0;
  int button = 0;  // Qt::MouseButton
};

// The pointer at (x, y) is still where a double-click may continue `press`.
bool staysWithinDoubleClickDistance(const FeedbackButtonPress& press, int x, int y, int doubleClickDistance);

// `next` is the second press of a double-click that began with `press`.
bool continuesFeedbackButtonClick(const FeedbackButtonPress& press, const FeedbackButtonPress& next,
                                  int doubleClickIntervalMs, int doubleClickDistance);

}  // namespace lorvex::ui
