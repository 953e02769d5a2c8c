// What a mouse press on a result tile does. A press counts only inside the tile's rounded
// rectangle (a press in a corner cut away by the rounding, or outside the tile, belongs to
// whatever lies there) and only while the grid takes input at all. The left button acts at once,
// on the press: a second click of a series opens the image, every other click (the first, a
// third and on) selects it, with Shift extending the selection from its anchor and Ctrl adding
// or removing the tile (Shift wins when both are held). The right button asks for the tile's
// context menu. Other buttons do nothing.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <QPointF>
#include <QRectF>
#include <Qt>

namespace lorvex::ui {

enum class TileMouseOutcome { none, selectOnly, extendSelection, toggleSelection, open, contextMenu };

struct TileMousePress {
  Qt::MouseButton button = Qt::LeftButton;
  int clickCount = 1;  // 1 for a press, 2 for the press of a double click, 3 after that, ...
  Qt::KeyboardModifiers modifiers;
  QPointF position;  // in the same coordinates as the tile rectangle
};

// Whether `point` lies in `rect` with its corners rounded by `radius` (a circular arc, the radius
// clamped to half the shorter side). An empty rectangle contains nothing.
bool roundedRectContains(const QRectF& rect, double radius, const QPointF& point);

// `tileRect` is the tile's outer rectangle; `isEnabled` is the grid's interaction gate.
TileMouseOutcome tileMouseOutcome(const TileMousePress& press, const QRectF& tileRect, bool isEnabled);

}  // namespace lorvex::ui
