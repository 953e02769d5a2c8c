#include "ui/common/clip_rect_painting.h"

#include <QPaintEngine>
#include <QRegion>

namespace lorvex::ui {

void paintPerClipRect(QPainter& painter, const QRect& bounds, const std::function<void()>& paint) {
  QPaintEngine* engine = painter.paintEngine();
  const QTransform device = painter.deviceTransform();
  QRegion region = engine != nullptr ? engine->systemClip() : QRegion();
  if (region.isEmpty() || device.type() > QTransform::TxTranslate) {
    painter.save();
    painter.setClipRect(bounds, Qt::IntersectClip);
    paint();
    painter.restore();
    return;
  }
  // The system clip is in device pixels; a translation maps it back exactly.
  region.translate(-static_cast<int>(device.dx()), -static_cast<int>(device.dy()));
  region &= bounds;
  if (painter.hasClipping()) region &= painter.clipRegion();
  for (const QRect& rect : region) {
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    paint();
    painter.restore();
  }
}

}  // namespace lorvex::ui
