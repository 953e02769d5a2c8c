// Whether the widget that has the keyboard focus is a control that acts on keys of its own: a button
// or a check box (Space presses it), a combo box or a slider (the arrows change it). Clicks in the
// main window leave the focus where it was, so such a control has it only when a person put it there
// with Tab or it was given it on purpose (the control a popover gives the focus back to). While one
// has it, none of the results grid's keys act: its own go to the control, and the window-wide ones
// (F, D, Ctrl+Z) stand aside, as they do for a text field.
//
// Thread safety: GUI thread only.
#pragma once

class QWidget;

namespace lorvex::ui {

bool isKeyTakingControl(const QWidget* focusWidget);

}  // namespace lorvex::ui
