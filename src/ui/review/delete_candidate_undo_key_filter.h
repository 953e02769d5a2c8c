// Ctrl+Z for delete-candidate undo in one window. An application event filter that looks only at
// key presses delivered to a widget of its own window, and only at their first delivery (to the
// focus widget, or to the window when nothing has focus), so a press that propagates to parent
// widgets asks once. It stands aside while the user types in a text field, while a control that
// takes keys of its own has the focus (key_taking_control.h) and while disabled, and consumes the
// press only when `onUndo` reports that it undid something; otherwise the press goes on to the
// widgets as if the filter were not there.
//
// The filter is a child of its window: it goes with it, and leaves the application's filters then.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace lorvex::ui {

class DeleteCandidateUndoKeyFilter : public QObject {
  Q_OBJECT

 public:
  explicit DeleteCandidateUndoKeyFilter(QWidget* window);
  ~DeleteCandidateUndoKeyFilter() override;

  // Read on every key press: disabling stops interception at once.
  void setEnabled(bool enabled) { enabled_ = enabled; }
  bool isEnabled() const { return enabled_; }
  // True when an undo was performed.
  void setOnUndo(std::function<bool()> onUndo) { onUndo_ = std::move(onUndo); }

  // What the filter does with one key press addressed to `receiver`; true consumes it.
  bool handleKeyPress(QWidget* receiver, int key, Qt::KeyboardModifiers modifiers);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> window_;
  bool enabled_ = true;
  std::function<bool()> onUndo_;
};

}  // namespace lorvex::ui
