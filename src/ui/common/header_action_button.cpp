#include "ui/common/header_action_button.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "ui/common/clip_rect_painting.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

namespace {
constexpr int kSymbolSpacing = 5;
}  // namespace

HeaderActionButtonAppearance HeaderActionButtonStyle::appearance(bool isEnabled, bool isPressed,
                                                                 const QPalette& palette) const {
  const QColor primary = roleColor(ColorRole::primary, palette);
  const QColor yellow = roleColor(ColorRole::yellow, palette);
  HeaderActionButtonAppearance look;
  if (!isEnabled) {
    look.foreground = roleColor(ColorRole::secondary, palette);
    look.fill = withOpacity(primary, 0.04);
    look.stroke = Qt::transparent;
  } else if (colorRole == HeaderActionButtonColorRole::activeYellow) {
    look.foreground = Qt::black;
    look.fill = yellow;
    look.stroke = withOpacity(yellow, 0.65);
  } else {
    look.foreground = primary;
    look.fill = withOpacity(primary, 0.06);
    look.stroke = withOpacity(primary, 0.14);
  }
  look.opacity = isPressed ? 0.72 : 1.0;
  return look;
}

HeaderActionButton::HeaderActionButton(const QString& title, QWidget* parent) : QAbstractButton(parent) {
  setFont(roleFont(FontRole::body));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setFocusPolicy(Qt::TabFocus);
  setTitle(title);
}

void HeaderActionButton::setTitle(const QString& title) {
  title_ = title;
  setText(mnemonicSafe(title));
  setAccessibleName(title);
  updateGeometry();
  update();
}

void HeaderActionButton::setSymbol(std::string symbolName) {
  if (symbolName == symbol_) return;
  symbol_ = std::move(symbolName);
  updateGeometry();
  update();
}

void HeaderActionButton::setColorRole(HeaderActionButtonColorRole role) {
  if (role == style_.colorRole) return;
  style_.colorRole = role;
  update();
}

HeaderActionButtonAppearance HeaderActionButton::currentAppearance() const {
  return style_.appearance(isEnabled(), isDown(), palette());
}

int HeaderActionButton::symbolSize() const {
  return symbol_.empty() ? 0 : fontMetrics().height();
}

QSize HeaderActionButton::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  int contentWidth = metrics.horizontalAdvance(title_);
  if (!symbol_.empty()) contentWidth += symbolSize() + (title_.isEmpty() ? 0 : kSymbolSpacing);
  const int contentHeight = std::max(metrics.height(), symbolSize());
  return {contentWidth + 2 * HeaderActionButtonStyle::kHorizontalPadding,
          contentHeight + 2 * HeaderActionButtonStyle::kVerticalPadding};
}

void HeaderActionButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const HeaderActionButtonAppearance look = currentAppearance();
  painter.setOpacity(look.opacity);
  const QRectF bounds = rect();
  const qreal radius = HeaderActionButtonStyle::kCornerRadius;
  // Antialiased shapes of the button's height reach Qt's helper threads: drawn in narrow bands.
  paintInBands(
      painter, rect(),
      [&] {
        QPainterPath shape;
        shape.addRoundedRect(bounds, radius, radius);
        painter.fillPath(shape, look.fill);
        if (look.stroke.alpha() > 0) {
          // A 1 px line inside the edge.
          painter.setPen(QPen(look.stroke, 1.0));
          painter.setBrush(Qt::NoBrush);
          painter.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
        }
        if (hasFocus()) {
          painter.setPen(QPen(roleColor(ColorRole::accent, palette()), 2.0));
          painter.setBrush(Qt::NoBrush);
          painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
        }
      },
      kAntialiasedBandDeviceLines);

  const QFontMetrics metrics = fontMetrics();
  const int symbol = symbolSize();
  int contentWidth = metrics.horizontalAdvance(title_);
  if (symbol > 0) contentWidth += symbol + (title_.isEmpty() ? 0 : kSymbolSpacing);
  qreal x = std::max<qreal>(HeaderActionButtonStyle::kHorizontalPadding, (width() - contentWidth) / 2.0);
  if (symbol > 0) {
    painter.drawPixmap(QPointF(x, (height() - symbol) / 2.0),
                       symbolPixmap(symbol_, symbol, look.foreground, devicePixelRatioF()));
    x += symbol + kSymbolSpacing;
  }
  if (!title_.isEmpty()) {
    painter.setPen(look.foreground);
    const QRectF textRect(x, 0, width() - x - HeaderActionButtonStyle::kHorizontalPadding + 1, height());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                     metrics.elidedText(title_, Qt::ElideRight, static_cast<int>(textRect.width())));
  }
}

}  // namespace lorvex::ui
