#include "ui/common/local_image_scaler.h"

#include <QPainter>
#include <QThread>
#include <QTransform>
#include <algorithm>
#include <utility>

#include "store/async/store_thread_pools.h"
#include "ui/common/clip_rect_painting.h"

namespace lorvex::ui {

namespace {

// Whether QImage::scaled makes the smooth scale of `image` to `size` by drawing it through a
// painter: for the formats it cannot scale directly, brought down by less than half, below a
// megapixel. That draw blends every line at once, which Qt's raster painter hands to its helper
// threads and waits for.
bool scaledThroughPainter(const QImage& image, QSize size) {
  switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64_Premultiplied:
      return false;
    default:
      break;
  }
  if (size.width() * 2 < image.width() || size.height() * 2 < image.height()) return false;
  return static_cast<qint64>(image.width()) * image.height() < (1 << 20);
}

// The same draw as QImage::scaled's, a band of lines at a time, each on the calling thread: the
// same pixels.
QImage scaledInBands(const QImage& image, QSize size) {
  QImage scaled(size,
                image.format() < QImage::Format_RGB32 ? QImage::Format_ARGB32_Premultiplied : image.format());
  scaled.fill(0);
  const QTransform scale = QTransform::fromScale(static_cast<qreal>(size.width()) / image.width(),
                                                 static_cast<qreal>(size.height()) / image.height());
  paintImageInBands(scaled, [&](QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(scale, true);
    painter.drawImage(QPoint(0, 0), image);
  });
  return scaled;
}

}  // namespace

QImage scaledForDisplay(const QImage& image, QSize size) {
  QImage scaled = image.size() == size ? image
                  : image.devicePixelRatio() == 1 && scaledThroughPainter(image, size)
                      ? scaledInBands(image, size)
                      : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QImage::Format format =
      scaled.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
  if (scaled.format() != format) scaled = scaled.convertToFormat(format);
  return scaled;
}

LocalImageScaler::LocalImageScaler(QObject* parent) : QObject(parent) {
  // Two views at most scale at once (the inspector and the preview); more threads would only
  // compete with the decodes.
  pool_.setMaxThreadCount(std::clamp(QThread::idealThreadCount() / 4, 1, 2));
}

LocalImageScaler::~LocalImageScaler() {
  pool_.clear();
  pool_.waitForDone();
}

LocalImageScaler& LocalImageScaler::shared() {
  static LocalImageScaler* const scaler = [] {
    auto* made = new LocalImageScaler();
    // Never destroyed (views may outlive any owner it could have): the program's end joins its
    // workers once their scales are done.
    registerPoolAtProgramEnd(made->pool_, "the image scaler");
    return made;
  }();
  return *scaler;
}

LocalImageScaler::Ticket LocalImageScaler::scale(QImage image, QSize size, Completion done) {
  return scales_.start([image = std::move(image), size] { return scaledForDisplay(image, size); },
                       std::move(done));
}

void LocalImageScaler::cancel(Ticket ticket) {
  scales_.cancel(ticket);
}

}  // namespace lorvex::ui
