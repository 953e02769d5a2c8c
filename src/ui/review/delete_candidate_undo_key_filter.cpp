#include "ui/review/delete_candidate_undo_key_filter.h"

#include <QApplication>
#include <QKeyEvent>

#include "ui/common/key_taking_control.h"
#include "ui/review/delete_candidate_undo_shortcut.h"

namespace lorvex::ui {

DeleteCandidateUndoKeyFilter::DeleteCandidateUndoKeyFilter(QWidget* window)
    : QObject(window), window_(window) {
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

DeleteCandidateUndoKeyFilter::~DeleteCandidateUndoKeyFilter() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool DeleteCandidateUndoKeyFilter::handleKeyPress(QWidget* receiver, int key,
                                                  Qt::KeyboardModifiers modifiers) {
  if (!enabled_ || window_ == nullptr || receiver == nullptr) return false;
  if (receiver->window() != window_) return false;
  // The first delivery only: the focus widget, else the window itself. Parents that see the same
  // press while it propagates are not asked again.
  QWidget* focus = window_->focusWidget();
  if (receiver != (focus != nullptr ? focus : window_.data())) return false;
  if (isTextInputActive(receiver) || isKeyTakingControl(receiver)) return false;
  if (!isUndoShortcut(key, modifiers)) return false;
  if (!onUndo_) return false;
  return onUndo_();
}

bool DeleteCandidateUndoKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  auto* keyEvent = static_cast<QKeyEvent*>(event);
  return handleKeyPress(static_cast<QWidget*>(watched), keyEvent->key(), keyEvent->modifiers());
}

}  // namespace lorvex::ui
