#include "ui/common/mouse_activity_reader.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSinglePointEvent>
#include <QWindow>

#include "ui/common/mouse_activity.h"

namespace lorvex::ui {

MouseActivityReader::MouseActivityReader(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
  if (parent != nullptr) {
    setGeometry(parent->rect());
    parent->installEventFilter(this);
  }
  // Every pointer event of a window passes the application first, addressed to the QWindow,
  // before Qt picks the widget under the pointer.
  QCoreApplication::instance()->installEventFilter(this);
}

MouseActivityReader::~MouseActivityReader() = default;

void MouseActivityReader::setOnActivity(std::function<void()> callback) {
  onActivity_ = std::move(callback);
}

bool MouseActivityReader::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget()) {
    if (event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return false;
  }
  if (!isMouseActivity(event->type()) || !isVisible() || !event->isPointerEvent()) return false;
  auto* window = qobject_cast<QWindow*>(watched);
  if (window == nullptr || window != this->window()->windowHandle()) return false;
  const auto* pointer = static_cast<const QSinglePointEvent*>(event);
  const QPoint local = mapFromGlobal(pointer->globalPosition().toPoint());
  if (!rect().contains(local)) return false;
  Q_EMIT activity();
  if (onActivity_) onActivity_();
  return false;
}

}  // namespace lorvex::ui
