#include "ui/common/floating_toolbar.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/common/clip_rect_painting.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

namespace {

const QColor kWhite(255, 255, 255);

// The bar is dark whatever the palette, so its yellow is the one made for dark surfaces.
const QColor kActiveYellow(0xff, 0xd6, 0x0a);

}  // namespace

FloatingToolbarButtonColors floatingToolbarButtonColors(bool isEnabled, bool isActive) {
  FloatingToolbarButtonColors colors;
  if (!isEnabled) {
    colors.symbol = withOpacity(kWhite, 0.32);
  } else if (isActive) {
    colors.symbol = kActiveYellow;
  } else {
    colors.symbol = withOpacity(kWhite, 0.92);
  }
  colors.background = isActive ? withOpacity(kWhite, 0.16) : QColor(Qt::transparent);
  return colors;
}

FloatingToolbarButton::FloatingToolbarButton(const QString& title, std::string systemImage, QWidget* parent)
    : QAbstractButton(parent), systemImage_(std::move(systemImage)) {
  setFixedSize(kWidth, kHeight);
  setFocusPolicy(Qt::TabFocus);
  setCursor(Qt::ArrowCursor);
  setTitle(title);
}

void FloatingToolbarButton::setTitle(const QString& title) {
  title_ = title;
  setPlainToolTip(*this, title);
  setAccessibleName(title);
}

void FloatingToolbarButton::setSystemImage(std::string systemImage) {
  if (systemImage == systemImage_) return;
  systemImage_ = std::move(systemImage);
  update();
}

void FloatingToolbarButton::setActive(bool active) {
  if (active == active_) return;
  active_ = active;
  update();
}

void FloatingToolbarButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const FloatingToolbarButtonColors colors = floatingToolbarButtonColors(isEnabled(), active_);
  const QRectF bounds = rect();
  // Antialiased shapes of the button's height reach Qt's helper threads: drawn in narrow bands.
  paintInBands(
      painter, rect(),
      [&] {
        if (colors.background.alpha() > 0) {
          QPainterPath shape;
          shape.addRoundedRect(bounds, kCornerRadius, kCornerRadius);
          painter.fillPath(shape, colors.background);
        }
        if (hasFocus()) {
          painter.setPen(QPen(withOpacity(kWhite, 0.6), 1.5));
          painter.setBrush(Qt::NoBrush);
          painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), kCornerRadius, kCornerRadius);
        }
      },
      kAntialiasedBandDeviceLines);
  const QPixmap symbol = symbolPixmap(systemImage_, kSymbolSize, colors.symbol, devicePixelRatioF());
  painter.drawPixmap(QPointF((width() - kSymbolSize) / 2.0, (height() - kSymbolSize) / 2.0), symbol);
}

FloatingToolbarDivider::FloatingToolbarDivider(QWidget* parent) : QWidget(parent) {
  setFixedSize(kWidth, kHeight);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void FloatingToolbarDivider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), withOpacity(kWhite, 0.24));
}

}  // namespace lorvex::ui
