#include "ui/results/tile_mouse_rule.h"

#include <algorithm>

#include "ui/common/image_tile_presentation.h"

namespace lorvex::ui {

bool roundedRectContains(const QRectF& rect, double radius, const QPointF& point) {
  const QRectF box = rect.normalized();
  if (box.isEmpty()) return false;
  if (point.x() < box.left() || point.x() > box.right() || point.y() < box.top() ||
      point.y() > box.bottom()) {
    return false;
  }
  const double r = std::clamp(radius, 0.0, std::min(box.width(), box.height()) / 2);
  // Distance into the corner square, measured from the centre of its arc.
  const double dx = std::max({box.left() + r - point.x(), point.x() - (box.right() - r), 0.0});
  const double dy = std::max({box.top() + r - point.y(), point.y() - (box.bottom() - r), 0.0});
  return dx * dx + dy * dy <= r * r;
}

TileMouseOutcome tileMouseOutcome(const TileMousePress& press, const QRectF& tileRect, bool isEnabled) {
  if (!isEnabled || press.clickCount < 1) return TileMouseOutcome::none;
  if (!roundedRectContains(tileRect, image_tile_metrics::kCornerRadius, press.position)) {
    return TileMouseOutcome::none;
  }
  switch (press.button) {
    case Qt::RightButton:
      return TileMouseOutcome::contextMenu;
    case Qt::LeftButton:
      if (press.clickCount == 2) return TileMouseOutcome::open;
      if (press.modifiers.testFlag(Qt::ShiftModifier)) return TileMouseOutcome::extendSelection;
      if (press.modifiers.testFlag(Qt::ControlModifier)) return TileMouseOutcome::toggleSelection;
      return TileMouseOutcome::selectOnly;
    default:
      return TileMouseOutcome::none;
  }
}

}  // namespace lorvex::ui
