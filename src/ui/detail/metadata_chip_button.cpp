#include "ui/detail/metadata_chip_button.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/common/clip_rect_painting.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

MetadataChipButton::MetadataChipButton(QWidget* parent) : QAbstractButton(parent) {
  setFont(roleFont(FontRole::callout));
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void MetadataChipButton::setChipText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  sizeHint_ = {};
  updateGeometry();
  update();
}

void MetadataChipButton::setSelected(bool selected) {
  if (selected == selected_) return;
  selected_ = selected;
  update();
}

QSize MetadataChipButton::sizeHint() const {
  if (!sizeHint_.isValid()) {
    // Fractional advances, rounded up: a chip at its own size hint never elides its text.
    const QFontMetricsF metrics(font());
    const int textWidth = static_cast<int>(std::ceil(metrics.horizontalAdvance(text_)));
    const int width = kHorizontalPadding + kMarkWidth + kSpacing + textWidth + kHorizontalPadding;
    sizeHint_ = QSize(width, std::max(kMinimumHeight, static_cast<int>(std::ceil(metrics.height()))));
  }
  return sizeHint_;
}

QSize MetadataChipButton::minimumSizeHint() const {
  return QSize(2 * kHorizontalPadding + kMarkWidth, sizeHint().height());
}

int MetadataChipButton::textWidthAvailable() const {
  return std::max(0, width() - 2 * kHorizontalPadding - kMarkWidth - kSpacing);
}

QString MetadataChipButton::displayedText() const {
  return QFontMetricsF(font()).elidedText(text_, Qt::ElideMiddle, textWidthAvailable());
}

bool MetadataChipButton::hitButton(const QPoint& position) const {
  // The capsule, not the square corners around its ends.
  QPainterPath capsule;
  const QRectF bounds = rect();
  const qreal radius = bounds.height() / 2;
  capsule.addRoundedRect(bounds, radius, radius);
  return capsule.contains(position);
}

void MetadataChipButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    sizeHint_ = {};
    updateGeometry();
  }
  QAbstractButton::changeEvent(event);
}

void MetadataChipButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& pal = palette();
  const QColor accent = roleColor(ColorRole::accent, pal);
  const QColor secondary = roleColor(ColorRole::secondary, pal);
  const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = bounds.height() / 2;

  // The capsule's translucent fill, its outline and the focus ring in narrow bands, each drawn at
  // once on this thread.
  paintInBands(
      painter, rect(),
      [&] {
        painter.setPen(Qt::NoPen);
        painter.setBrush(selected_ ? withOpacity(accent, 0.14)
                                   : roleColor(ColorRole::controlBackground, pal));
        painter.drawRoundedRect(bounds, radius, radius);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(selected_ ? withOpacity(accent, 0.55) : withOpacity(secondary, 0.22), 1));
        painter.drawRoundedRect(bounds, radius, radius);
      },
      kAntialiasedBandDeviceLines);

  const bool enabled = isEnabled();
  const QColor foreground = enabled ? roleColor(ColorRole::primary, pal) : withOpacity(secondary, 0.55);
  const QColor markColor = !enabled ? foreground : (selected_ ? accent : secondary);
  const QPixmap mark = symbolPixmap(selected_ ? "checkmark.circle.fill" : "plus.circle", kMarkWidth,
                                    markColor, devicePixelRatioF());
  const int markY = (height() - kMarkWidth) / 2;
  painter.drawPixmap(QRect(kHorizontalPadding, markY, kMarkWidth, kMarkWidth), mark);

  painter.setPen(foreground);
  painter.setFont(font());
  const QRect textRect(kHorizontalPadding + kMarkWidth + kSpacing, 0, textWidthAvailable(), height());
  painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, displayedText());

  if (hasFocus()) {
    paintInBands(
        painter, rect(),
        [&] {
          painter.setPen(QPen(accent, 2));
          painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
        },
        kAntialiasedBandDeviceLines);
  }
}

}  // namespace lorvex::ui
