// One switch for every animation of the views (fades, spinners). Tests and the screenshot tool
// turn it off so that what they look at is the end state, at once and the same every run.
//
// Thread safety: GUI thread only.
#pragma once

namespace lorvex::ui {

bool animationsEnabled();  // true unless switched off
void setAnimationsEnabled(bool enabled);

// An animation's duration in milliseconds, 0 while animations are off (a QPropertyAnimation of
// duration 0 jumps to its end value).
int animationDurationMs(double seconds);

}  // namespace lorvex::ui
