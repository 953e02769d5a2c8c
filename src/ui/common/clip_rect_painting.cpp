#include "ui/common/clip_rect_painting.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QRegion>
#include <algorithm>

namespace lorvex::ui {

QRegion repaintedRegion(QPainter& painter, const QRect& bounds) {
  QPaintEngine* engine = painter.paintEngine();
  const QTransform device = painter.deviceTransform();
  QRegion region = engine != nullptr ? engine->systemClip() : QRegion();
  if (region.isEmpty() || device.type() > QTransform::TxTranslate) return bounds;
  // The system clip is in device pixels; a translation maps it back exactly.
  region.translate(-static_cast<int>(device.dx()), -static_cast<int>(device.dy()));
  region &= bounds;
  if (painter.hasClipping()) region &= painter.clipRegion();
  return region;
}

namespace {

void paintClipped(QPainter& painter, const QRect& clip, const std::function<void()>& paint) {
  painter.save();
  painter.setClipRect(clip, Qt::IntersectClip);
  paint();
  painter.restore();
}

}  // namespace

void paintPerClipRect(QPainter& painter, const QRect& bounds, const std::function<void()>& paint) {
  for (const QRect& rect : repaintedRegion(painter, bounds)) paintClipped(painter, rect, paint);
}

void paintInBands(QPainter& painter, const QRect& bounds, const std::function<void()>& paint,
                  int bandDeviceLines) {
  const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
  const int band = std::max(1, static_cast<int>(bandDeviceLines / std::max(1.0, ratio)));
  for (const QRect& rect : repaintedRegion(painter, bounds)) {
    for (int top = rect.top(); top <= rect.bottom(); top += band) {
      paintClipped(painter, QRect(rect.left(), top, rect.width(), std::min(band, rect.bottom() + 1 - top)),
                   paint);
    }
  }
}

void paintImageInBands(QImage& image, const std::function<void(QPainter&)>& paint, int bandDeviceLines) {
  const qreal ratio = image.devicePixelRatio();
  const int band = std::max(1, bandDeviceLines);
  for (int top = 0; top < image.height(); top += band) {
    // The band's lines, in place: what is painted on it lands in `image`.
    QImage lines(image.scanLine(top), image.width(), std::min(band, image.height() - top),
                 image.bytesPerLine(), image.format());
    lines.setDevicePixelRatio(ratio);
    QPainter painter(&lines);
    painter.translate(0, -top / ratio);
    paint(painter);
  }
}

}  // namespace lorvex::ui
