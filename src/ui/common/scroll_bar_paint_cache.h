// Scroll bars drawn once per look. A style draws a scroll bar with gradients and strokes over its
// whole length, line by line, and Qt's raster painter hands fills that tall to helper threads and
// waits for them: each repaint of the window (under the preview, around a changed panel) paid for
// every scroll bar in it again, though none had changed. This style draws a scroll bar through its
// base style into a pixmap, keyed by everything the drawing depends on (size, range, position,
// state, palette, device pixel ratio), and copies that pixmap while the key holds.
//
// A search changes a bar's range, so its picture changes with every search. Over Fusion the picture
// is made of parts cached apart: the groove and the arrow buttons, which only the bar's size and
// state change, and the handle, one picture per handle size wherever it sits. A new range or
// position then draws at most the handle. Every picture is drawn a band of lines at a time, so that
// its fills stay on this thread.
//
// Everything else goes to the base style unchanged.
//
// Thread safety: GUI thread only, like every style.
#pragma once

#include <QCache>
#include <QPixmap>
#include <QProxyStyle>
#include <QString>

class QStyleOptionSlider;

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

  // Pictures drawn through the base style so far: whole bars, or over Fusion the groove, the
  // buttons and the handle each count one (a repaint served from the cache draws none).
  int baseDrawCountForTest() const { return baseDraws_; }

 private:
  QPixmap composedOfParts(const QStyleOptionSlider& placed, const QPainter& like, const QWidget* widget,
                          qreal dpr) const;
  // `option` drawn through the base style into a picture of `area` (bar coordinates), a band of
  // lines at a time.
  QPixmap drawnThroughBase(const QRect& area, const QStyleOptionSlider& option, const QPainter& like,
                           const QWidget* widget, qreal dpr) const;

  mutable QCache<QString, QPixmap> pixmaps_{64};
  mutable QCache<QString, QPixmap> parts_{64};
  mutable int baseDraws_ = 0;
};

}  // namespace lorvex::ui
