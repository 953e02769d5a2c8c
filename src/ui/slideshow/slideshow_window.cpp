#include "ui/slideshow/slideshow_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWindowStateChangeEvent>

#include "ui/slideshow/slideshow_playback_rules.h"

namespace lorvex::ui {

SlideshowWindow::SlideshowWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QString::fromUtf8(accessibility_id::kSlideshowWindow.data(),
                                  static_cast<int>(accessibility_id::kSlideshowWindow.size())));
  setAttribute(Qt::WA_DeleteOnClose, false);
  // Painted black by hand rather than through the palette, which every child would inherit.
  setAttribute(Qt::WA_OpaquePaintEvent);
  qApp->installEventFilter(this);
}

SlideshowWindow::~SlideshowWindow() {
  qApp->removeEventFilter(this);
}

void SlideshowWindow::setContent(QWidget* content) {
  if (content_ == content) return;
  delete content_.data();
  content_ = content;
  if (content_ == nullptr) return;
  content_->setParent(this);
  content_->setGeometry(rect());
  content_->show();
}

void SlideshowWindow::presentFullScreen(QScreen* screen) {
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    setScreen(screen);
    setGeometry(screen->geometry());
  } else {
    resize(kFallbackSize);
  }
  // A new window opens on top; only activation is asked for.
  showFullScreen();
  activateWindow();
}

bool SlideshowWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != this) return false;
  if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) return false;
  // Copied first: the callback may end with this window's deletion being scheduled.
  const auto escape = onEscape;
  if (escape) escape();
  return true;
}

void SlideshowWindow::closeEvent(QCloseEvent* event) {
  const auto willClose = onWillClose;
  if (willClose) willClose();
  QWidget::closeEvent(event);
}

void SlideshowWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if (windowState().testFlag(Qt::WindowFullScreen)) {
    hasBeenFullScreen_ = true;
    return;
  }
  if (!hasBeenFullScreen_) return;
  hasBeenFullScreen_ = false;
  const auto exited = onDidExitFullScreen;
  if (exited) exited();
}

void SlideshowWindow::paintEvent(QPaintEvent* event) {
  // Under the content only while it is not there yet (or not everywhere).
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::black);
}

void SlideshowWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (content_ != nullptr) content_->setGeometry(rect());
}

}  // namespace lorvex::ui
