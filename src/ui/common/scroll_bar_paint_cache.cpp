#include "ui/common/scroll_bar_paint_cache.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionSlider>
#include <cmath>

#include "ui/common/clip_rect_painting.h"

namespace lorvex::ui {
namespace {

// Everything a scroll bar's drawing reads from its option, and the pixel ratio it is drawn at.
QString keyOf(const QStyleOptionSlider& option, qreal dpr, const QWidget* widget) {
  return QStringLiteral("%1x%2 %3 %4..%5 %6/%7 %8 %9 %10 %11 %12 %13 %14 %15 %16 %17 %18")
      .arg(option.rect.width())
      .arg(option.rect.height())
      .arg(static_cast<int>(option.orientation))
      .arg(option.minimum)
      .arg(option.maximum)
      .arg(option.sliderPosition)
      .arg(option.sliderValue)
      .arg(option.singleStep)
      .arg(option.pageStep)
      .arg(option.upsideDown ? 1 : 0)
      .arg(static_cast<int>(option.state))
      .arg(static_cast<int>(option.activeSubControls))
      .arg(static_cast<int>(option.subControls))
      .arg(static_cast<int>(option.direction))
      .arg(option.palette.cacheKey())
      .arg(dpr)
      // A style may look at the widget (its parent's frame, its hover state): one per widget.
      .arg(reinterpret_cast<quintptr>(widget));
}

// The picture has transparent parts, so copying it is a blend, which Qt's raster painter hands to
// its helper threads when it covers many lines at once (a vertical bar always does). Copied in
// bands of the repainted region, each copy is done at once on this thread.
void drawClipped(QPainter& painter, const QRect& rect, const QPixmap& pixmap) {
  paintInBands(painter, rect, [&] { painter.drawPixmap(rect.topLeft(), pixmap); });
}

}  // namespace

ScrollBarPaintCache::ScrollBarPaintCache(QStyle* base) : QProxyStyle(base) {}

void ScrollBarPaintCache::installOnApplication() {
  if (qobject_cast<ScrollBarPaintCache*>(QApplication::style()) != nullptr) return;
  QApplication::setStyle(new ScrollBarPaintCache());
}

void ScrollBarPaintCache::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                             QPainter* painter, const QWidget* widget) const {
  const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (control != CC_ScrollBar || slider == nullptr || option->rect.isEmpty() ||
      painter->transform().type() > QTransform::TxTranslate) {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    return;
  }
  const qreal dpr = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
  const QString key = keyOf(*slider, dpr, widget);
  if (const QPixmap* cached = pixmaps_.object(key)) {
    drawClipped(*painter, option->rect, *cached);
    return;
  }
  QImage picture(QSize(static_cast<int>(std::ceil(option->rect.width() * dpr)),
                       static_cast<int>(std::ceil(option->rect.height() * dpr))),
                 QImage::Format_ARGB32_Premultiplied);
  picture.setDevicePixelRatio(dpr);
  picture.fill(Qt::transparent);
  QStyleOptionSlider placed = *slider;
  placed.rect.moveTopLeft(QPoint(0, 0));
  // In bands too: the style's gradients and lines over the bar's length would go to the helper
  // threads like any tall fill.
  paintImageInBands(picture, [&](QPainter& onPicture) {
    onPicture.setRenderHints(painter->renderHints());
    onPicture.setFont(painter->font());
    QProxyStyle::drawComplexControl(control, &placed, &onPicture, widget);
  });
  const QPixmap made = QPixmap::fromImage(std::move(picture));
  ++baseDraws_;
  pixmaps_.insert(key, new QPixmap(made));
  drawClipped(*painter, option->rect, made);
}

}  // namespace lorvex::ui
