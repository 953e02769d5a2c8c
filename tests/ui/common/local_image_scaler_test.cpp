// A smooth scale for display: the same pixels as Qt's own smooth scale, and the scales Qt draws
// through a painter (formats it cannot scale directly, brought down by less than half) made on the
// calling thread, not handed to Qt's helper threads (the inspector scales a small image while it
// paints). Qt's own box-filter scale (premultiplied formats, or down by more than half) is used as
// it is.
#include "ui/common/local_image_scaler.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSemaphore>
#include <QThreadPool>
#include <atomic>

#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

using LocalImageScalerTest = testing::WidgetTest;

// A picture with detail in every pixel, in `format`.
QImage pattern(QSize size, QImage::Format format) {
  QImage image(size, QImage::Format_ARGB32);
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x) {
      image.setPixel(
          x, y, qRgba((x * 37 + y * 11) % 256, (x * y) % 256, (x * 5 + y * 23) % 256, (x + 2 * y) % 256));
    }
  }
  return image.convertToFormat(format);
}

// Holds the only thread of Qt's global pool, where the raster painter hands its large blends, until
// released or a second has passed.
class HeldGlobalPool {
 public:
  HeldGlobalPool() : threads_(QThreadPool::globalInstance()->maxThreadCount()) {
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    QThreadPool::globalInstance()->start([this] {
      started_.release();
      timedOut_ = !release_.tryAcquire(1, 1000);
    });
    started_.acquire();
  }
  ~HeldGlobalPool() { QThreadPool::globalInstance()->setMaxThreadCount(threads_); }
  // Lets the held thread go; whether it was held until its second had passed, because the work
  // meanwhile waited for the pool.
  bool releaseAndSayWhetherItTimedOut() {
    release_.release();
    QThreadPool::globalInstance()->waitForDone();
    return timedOut_;
  }

 private:
  int threads_;
  QSemaphore started_;
  QSemaphore release_;
  std::atomic<bool> timedOut_ = false;
};

TEST_F(LocalImageScalerTest, ScalesAsQtDoesWithoutItsHelperThreads) {
  const struct {
    const char* name;
    QImage::Format format;
    QSize from;
    QSize to;
    bool onThisThread;
  } cases[] = {
      {"with alpha, down by less than half", QImage::Format_ARGB32, {512, 512}, {318, 260}, true},
      {"with alpha, tall", QImage::Format_ARGB32, {333, 517}, {257, 401}, true},
      {"without alpha", QImage::Format_RGB888, {512, 384}, {300, 225}, true},
      {"grey", QImage::Format_Grayscale8, {400, 400}, {260, 260}, true},
      {"indexed", QImage::Format_Indexed8, {300, 300}, {200, 200}, true},
      {"up", QImage::Format_ARGB32, {120, 90}, {318, 239}, true},
      {"down by more than half", QImage::Format_ARGB32, {640, 480}, {300, 225}, false},
      {"premultiplied", QImage::Format_ARGB32_Premultiplied, {512, 512}, {318, 318}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QImage image = pattern(c.from, c.format);
    QImage expected = image.scaled(c.to, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    expected = expected.convertToFormat(expected.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                   : QImage::Format_RGB32);
    QImage scaled;
    if (c.onThisThread) {
      HeldGlobalPool pool;
      scaled = scaledForDisplay(image, c.to);
      EXPECT_FALSE(pool.releaseAndSayWhetherItTimedOut()) << "the scale waited for Qt's helper threads";
    } else {
      scaled = scaledForDisplay(image, c.to);
    }
    EXPECT_EQ(scaled.format(), expected.format());
    EXPECT_EQ(scaled, expected);
  }
}

}  // namespace
}  // namespace lorvex::ui
