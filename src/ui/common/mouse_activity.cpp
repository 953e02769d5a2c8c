#include "ui/common/mouse_activity.h"

namespace lorvex::ui {

bool isMouseActivity(QEvent::Type type) {
  switch (type) {
    case QEvent::Enter:
    case QEvent::HoverEnter:
    case QEvent::MouseMove:
    case QEvent::HoverMove:
      return true;
    default:
      return false;
  }
}

}  // namespace lorvex::ui
