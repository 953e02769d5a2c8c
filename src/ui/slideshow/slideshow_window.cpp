#include "ui/slideshow/slideshow_window.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QApplication>
#include <QBackingStore>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPaintDevice>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QThreadPool>
#include <QWindowStateChangeEvent>
#include <cstdint>

#include "store/async/store_thread_pools.h"
#include "ui/slideshow/slideshow_playback_rules.h"

namespace lorvex::ui {

namespace {

// The helper thread of mapPagesAhead, made on first use and joined at the program's end.
QThreadPool& pageMappingPool() {
  static QThreadPool* const pool = [] {
    auto* made = new QThreadPool();
    made->setMaxThreadCount(1);
    registerPoolAtProgramEnd(*made, "the slideshow's page mapping");
    return made;
  }();
  return *pool;
}

// Maps the pages of `bytes` at `data` for writing on a helper thread, leaving what they hold
// alone: the painting thread may write them meanwhile, and memory freed or reused meanwhile
// comes to no harm (the kernel refuses an unmapped range).
void mapPagesAhead(const uchar* data, qsizetype bytes) {
#ifdef MADV_POPULATE_WRITE
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pageSize <= 0 || data == nullptr || bytes <= 0) return;
  const auto page = static_cast<std::uintptr_t>(pageSize);
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t last = (start + static_cast<std::uintptr_t>(bytes)) / page * page;
  if (last <= first) return;
  pageMappingPool().start([first, length = last - first] {
    madvise(reinterpret_cast<void*>(first), length, MADV_POPULATE_WRITE);
  });
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace

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

void SlideshowWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  QBackingStore* store = backingStore();
  if (event->spontaneous() || store == nullptr || size().isEmpty()) return;
  if (store->size() != size()) {
    store->resize(size());
    // Painted whole at its first frame, as after any resize of the buffer.
    update();
  }
  store->beginPaint(QRegion());
  QPaintDevice* device = store->paintDevice();
  if (device != nullptr && device->devType() == QInternal::Image) {
    const auto* image = static_cast<const QImage*>(device);
    mapPagesAhead(image->constBits(), image->sizeInBytes());
  }
  store->endPaint();
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
