#include "ui/review/delete_candidate_undo_shortcut.h"

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace lorvex::ui {

bool isUndoShortcut(int key, Qt::KeyboardModifiers modifiers) {
  return key == Qt::Key_Z && (modifiers & ~Qt::KeyboardModifiers(Qt::KeypadModifier)) == Qt::ControlModifier;
}

bool isTextInputActive(const QWidget* focusWidget) {
  for (const QWidget* widget = focusWidget; widget != nullptr; widget = widget->parentWidget()) {
    if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
        qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget)) {
      return true;
    }
    if (widget->isWindow()) break;
  }
  return false;
}

}  // namespace lorvex::ui
