// Showing a widget makes Qt lay out each of its shown ancestors again, there and then: rows or
// chips shown one by one lay the whole inspector out once per widget, measuring every wrapped
// value each time. Their container is hidden while they change, so it is laid out once, when it
// shows again. A container that holds the focus stays shown, because hiding it would move the
// focus.
//
// Thread safety: GUI thread only.
#pragma once

#include <QApplication>
#include <QWidget>

namespace lorvex::ui {

// Hides `container` unless it is hidden already or holds the focus; returns whether it did, so the
// caller shows it again once its changes are made.
inline bool hideWhileChanged(QWidget& container) {
  if (!container.isVisible() || container.isAncestorOf(QApplication::focusWidget())) return false;
  container.hide();
  return true;
}

}  // namespace lorvex::ui
