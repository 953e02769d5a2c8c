// Hiding a widget and everything inside it from assistive technology while it stays on screen: a
// view covered by an overlay that has taken over (the preview over the split view) must not be
// read out or navigated into behind it.
//
// Qt has no such switch: a widget is exposed exactly while it is visible. A hidden widget here
// reports the invisible state and no children to the accessibility layer; its own behaviour and
// looks do not change.
//
// Thread safety: GUI thread only.
#pragma once

class QWidget;

namespace lorvex::ui {

// Call once at construction with the starting value, before anything asks for the widget's
// accessibility: the accessibility layer keeps the first description it builds of a widget.
void setHiddenFromAccessibility(QWidget& widget, bool hidden);
bool isHiddenFromAccessibility(const QWidget& widget);

}  // namespace lorvex::ui
