// The rule of the pointer-activity reader that the preview overlay and the slideshow lay over their
// content to reveal their controls: the pointer entering the covered area or moving over it is
// activity; leaving it, clicks, wheel turns and keys are not (the reader never takes a click, so
// clicks reach what lies below, and a key is handled by the views themselves). The widget that
// watches the area applies this rule to the events it sees, whether or not its window is active.
//
// Thread safety: a pure function, callable from any thread.
#pragma once

#include <QEvent>

namespace lorvex::ui {

bool isMouseActivity(QEvent::Type type);

}  // namespace lorvex::ui
