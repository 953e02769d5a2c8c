#include "ui/common/search_paint_hold.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace lorvex::ui {

SearchPaintHold::SearchPaintHold(QWidget& window, std::chrono::milliseconds hold, QObject* parent)
    : QObject(parent), window_(&window) {
  deadline_.setSingleShot(true);
  deadline_.setInterval(hold);
  connect(&deadline_, &QTimer::timeout, this, &SearchPaintHold::release);
}

SearchPaintHold::~SearchPaintHold() {
  release();
}

void SearchPaintHold::setSearchRunning(bool running) {
  if (running == running_) return;
  running_ = running;
  if (!running) {
    release();
    return;
  }
  open_ = true;
  deadline_.start();
  // Watched only while open: input anywhere in the program and the window's repaint requests.
  QCoreApplication::instance()->installEventFilter(this);
}

bool SearchPaintHold::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::UpdateRequest:
      if (watched != window_) return false;
      // Left unhandled, the request keeps Qt's record of what changed; the one posted on release
      // paints all of it.
      holding_ = true;
      return true;
    // Presses only: the release of the key that started the search comes after it.
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
      release();
      return false;
    default:
      return false;
  }
}

void SearchPaintHold::release() {
  deadline_.stop();
  if (open_) {
    open_ = false;
    if (QCoreApplication* application = QCoreApplication::instance()) application->removeEventFilter(this);
  }
  if (!holding_) return;
  holding_ = false;
  if (window_ != nullptr)
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

}  // namespace lorvex::ui
