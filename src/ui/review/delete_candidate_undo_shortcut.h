// The two decisions of the main window's Ctrl+Z for delete-candidate undo: whether a key press is
// the shortcut, and whether the user is typing (then Ctrl+Z belongs to the text).
//
// Keys are matched by logical key, so the shortcut follows the keyboard layout (on AZERTY it is
// the key printed Z). Ctrl must be the only modifier: Shift, Alt and Meta make it another
// shortcut. The keypad flag is ignored, and Caps Lock never changes the logical key.
//
// Thread safety: isUndoShortcut is pure; isTextInputActive reads widgets on the GUI thread.
#pragma once

#include <Qt>

class QWidget;

namespace lorvex::ui {

bool isUndoShortcut(int key, Qt::KeyboardModifiers modifiers);

// True when the focus widget is, or lies inside, a line edit, a text edit, a plain-text edit or a
// spin box (its editor is a line edit inside it). No focus widget is no text input.
bool isTextInputActive(const QWidget* focusWidget);

}  // namespace lorvex::ui
