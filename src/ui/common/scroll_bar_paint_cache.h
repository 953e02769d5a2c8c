// Scroll bars drawn once per look. A style draws a scroll bar with gradients and strokes over its
// whole length, line by line, and Qt's raster painter hands fills that tall to helper threads and
// waits for them: each repaint of the window (under the preview, around a changed panel) paid for
// every scroll bar in it again, though none had changed. This style draws a scroll bar through its
// base style into a pixmap, keyed by everything the drawing depends on (size, range, position,
// state, palette, device pixel ratio), and copies that pixmap while the key holds.
//
// Everything else goes to the base style unchanged.
//
// Thread safety: GUI thread only, like every style.
#pragma once

#include <QCache>
#include <QPixmap>
#include <QProxyStyle>
#include <QString>

namespace lorvex::ui {

class ScrollBarPaintCache : public QProxyStyle {
  Q_OBJECT

 public:
  // Over `base` (owned); nullptr: the application's default style.
  explicit ScrollBarPaintCache(QStyle* base = nullptr);

  // Makes the application's style one that caches its scroll bars, once per process.
  static void installOnApplication();

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget = nullptr) const override;

  // Scroll bars drawn through the base style so far (a repaint served from the cache draws none).
  int baseDrawCount() const { return baseDraws_; }

 private:
  mutable QCache<QString, QPixmap> pixmaps_{64};
  mutable int baseDraws_ = 0;
};

}  // namespace lorvex::ui
