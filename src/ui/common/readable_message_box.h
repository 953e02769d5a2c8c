// Qt sizes a message box to its text: a short title, a Japanese one above all, gives a box too
// narrow for the window manager to show that title whole in its title bar, and the message below
// it wraps into a thin column that can leave a word or two alone on its last line.
// keepMessageBoxReadable has the box, each time it is shown, keep its text column at least as wide
// as readableMessageBoxTextWidth asks for its title and message, and break its Japanese texts
// between phrases (phrase_line_breaks.h): its labels hold the texts with joiners, and what a person
// copies from one of them (a selected part, with Ctrl+C or, under X11, by selecting it) is the text
// as written; the box touches the clipboard only then. box.text() and
// box.informativeText() then hold the joiners too.
//
// Thread safety: GUI thread only.
#pragma once

#include <QString>

class QFont;
class QMessageBox;

namespace lorvex::ui {

// The narrowest a message box's text column may be: a comfortable line at least; room for the
// window title, set bold in `titleBarFont` as window managers draw titles, beside the title bar's
// buttons; and room for the message (in `messageFont`) on one line when it fits a wide line, else
// on lines of even length.
int readableMessageBoxTextWidth(const QString& windowTitle, const QFont& titleBarFont, const QString& message,
                                const QFont& messageFont);

void keepMessageBoxReadable(QMessageBox& box);
// A message that changes while the box is shown: set here, it breaks as on show.
void setReadableInformativeText(QMessageBox& box, const QString& text);

}  // namespace lorvex::ui
