#include "ui/common/scroll_bar_paint_cache.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionSlider>
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "ui/common/clip_rect_painting.h"

namespace lorvex::ui {
namespace {

// Lines Qt's raster painter fills on the painting thread at once (it hands ~96 and more to helpers).
constexpr int kBandDeviceLines = 64;

// What a bar's look depends on apart from its range and position: size, state, palette, pixel
// ratio and widget (a style may look at the widget: its parent's frame, its hover state).
QString lookKeyOf(const QStyleOptionSlider& option, qreal dpr, const QWidget* widget) {
  return QStringLiteral("%1x%2 %3 %4 %5 %6 %7 %8 %9 %10 %11")
      .arg(option.rect.width())
      .arg(option.rect.height())
      .arg(static_cast<int>(option.orientation))
      .arg(option.upsideDown ? 1 : 0)
      .arg(static_cast<int>(option.state))
      .arg(static_cast<int>(option.activeSubControls))
      .arg(static_cast<int>(option.subControls))
      .arg(static_cast<int>(option.direction))
      .arg(option.palette.cacheKey())
      .arg(dpr)
      .arg(reinterpret_cast<quintptr>(widget));
}

// Everything a scroll bar's drawing reads from its option, and the pixel ratio it is drawn at.
QString keyOf(const QStyleOptionSlider& option, qreal dpr, const QWidget* widget) {
  return QStringLiteral("%1 %2..%3 %4/%5 %6 %7")
      .arg(lookKeyOf(option, dpr, widget))
      .arg(option.minimum)
      .arg(option.maximum)
      .arg(option.sliderPosition)
      .arg(option.sliderValue)
      .arg(option.singleStep)
      .arg(option.pageStep);
}

// The picture has transparent parts, so copying it is a blend, which Qt's raster painter hands to
// its helper threads when it covers many lines at once (a vertical bar always does). Copied in
// bands of the repainted region, each copy is done at once on this thread.
void drawClipped(QPainter& painter, const QRect& rect, const QPixmap& pixmap) {
  paintInBands(painter, rect, [&] { painter.drawPixmap(rect.topLeft(), pixmap); });
}

// A picture of `size` (logical) at `dpr`, transparent, to be painted through paintImageInBands.
QImage transparentPicture(const QSize& size, qreal dpr) {
  QImage picture(QSize(static_cast<int>(std::ceil(size.width() * dpr)),
                       static_cast<int>(std::ceil(size.height() * dpr))),
                 QImage::Format_ARGB32_Premultiplied);
  picture.setDevicePixelRatio(dpr);
  picture.fill(Qt::transparent);
  return picture;
}

// Fusion draws a bar's parts one after another, each from the bar's rectangle and its handle's
// alone: the groove, then the handle, then the arrow buttons (over the handle's outline where
// they meet). A style over it can be drawn part by part in that order.
bool drawsPartByPart(const QStyle* style) {
  while (const auto* proxy = qobject_cast<const QProxyStyle*>(style)) style = proxy->baseStyle();
  return style != nullptr && style->inherits("QFusionStyle");
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
  QStyleOptionSlider placed = *slider;
  placed.rect.moveTopLeft(QPoint(0, 0));
  const QPixmap made = drawsPartByPart(baseStyle()) && !styleHint(SH_ScrollBar_Transient, slider, widget)
                           ? composedOfParts(placed, *painter, widget, dpr)
                           : drawnThroughBase(placed.rect, placed, *painter, widget, dpr);
  pixmaps_.insert(key, new QPixmap(made));
  drawClipped(*painter, option->rect, made);
}

QPixmap ScrollBarPaintCache::composedOfParts(const QStyleOptionSlider& placed, const QPainter& like,
                                             const QWidget* widget, qreal dpr) const {
  const QString look = lookKeyOf(placed, dpr, widget);
  const bool vertical = placed.orientation == Qt::Vertical;
  const QRect handle = subControlRect(CC_ScrollBar, &placed, SC_ScrollBarSlider, widget);
  const auto part = [&](const QString& partKey, QStyle::SubControls parts, const QRect& area) {
    if (const QPixmap* cached = parts_.object(partKey)) return *cached;
    QStyleOptionSlider only = placed;
    only.subControls = placed.subControls & parts;
    const QPixmap made = drawnThroughBase(area, only, like, widget, dpr);
    parts_.insert(partKey, new QPixmap(made));
    return made;
  };
  // The groove and the buttons do not move with the range; the buttons' shading spans the
  // handle's width (its height on a horizontal bar), which the range does not change either.
  const QPixmap groove = part(look + QStringLiteral(" groove"), SC_ScrollBarGroove, placed.rect);
  const QPixmap buttons = part(look + QStringLiteral(" buttons %1 %2")
                                          .arg(vertical ? handle.left() : handle.top())
                                          .arg(vertical ? handle.right() : handle.bottom()),
                               SC_ScrollBarSubLine | SC_ScrollBarAddLine, placed.rect);
  std::optional<std::pair<QPoint, QPixmap>> handlePicture;
  if ((placed.subControls & SC_ScrollBarSlider) && handle.isValid()) {
    // The handle's outline lies one pixel outside its rectangle; the same handle anywhere on the
    // bar is one picture.
    const QRect area = handle.adjusted(-1, -1, 1, 1);
    handlePicture.emplace(
        area.topLeft(), part(look + QStringLiteral(" handle %1x%2").arg(handle.width()).arg(handle.height()),
                             SC_ScrollBarSlider, area));
  }
  // Laid over each other in bands too: the parts are translucent, and a blend over the bar's
  // length would go to the helper threads.
  QImage picture = transparentPicture(placed.rect.size(), dpr);
  paintImageInBands(
      picture,
      [&](QPainter& composed) {
        composed.drawPixmap(QPoint(0, 0), groove);
        if (handlePicture) composed.drawPixmap(handlePicture->first, handlePicture->second);
        composed.drawPixmap(QPoint(0, 0), buttons);
      },
      kBandDeviceLines);
  return QPixmap::fromImage(std::move(picture));
}

QPixmap ScrollBarPaintCache::drawnThroughBase(const QRect& area, const QStyleOptionSlider& option,
                                              const QPainter& like, const QWidget* widget, qreal dpr) const {
  // Gradients and long strokes over many lines go to Qt's helper threads; drawn a band of lines
  // at a time, every one of them stays on this thread.
  QImage picture = transparentPicture(area.size(), dpr);
  paintImageInBands(
      picture,
      [&](QPainter& onPicture) {
        onPicture.setRenderHints(like.renderHints());
        onPicture.setFont(like.font());
        onPicture.translate(-area.topLeft());
        QProxyStyle::drawComplexControl(CC_ScrollBar, &option, &onPicture, widget);
      },
      kBandDeviceLines);
  const QPixmap made = QPixmap::fromImage(std::move(picture));
  ++baseDraws_;
  return made;
}

}  // namespace lorvex::ui
