#include "ui/common/eliding_label.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

#include "ui/common/plain_text.h"

namespace lorvex::ui {

namespace {

// Line breaks would draw a second line into a one-line label.
QString oneLine(const QString& text) {
  QString line = text;
  line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
  line.replace(QChar::LineSeparator, QLatin1Char(' ')).replace(QChar::ParagraphSeparator, QLatin1Char(' '));
  return line;
}

}  // namespace

ElidingLabel::ElidingLabel(const QString& text, QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setText(text);
}

void ElidingLabel::setText(const QString& text) {
  if (text == text_ && !text.isEmpty()) return;
  text_ = text;
  setAccessibleName(text);
  updateGeometry();
  relayout();
}

void ElidingLabel::setElideMode(Qt::TextElideMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  relayout();
}

void ElidingLabel::setAlignment(Qt::Alignment alignment) {
  alignment_ = alignment;
  update();
}

QSize ElidingLabel::sizeHint() const {
  // Rounded up: glyph advances are fractional, and a width rounded down would elide the text it
  // was measured for.
  const QFontMetricsF metrics(font());
  return {static_cast<int>(std::ceil(metrics.horizontalAdvance(oneLine(text_)))), fontMetrics().height()};
}

QSize ElidingLabel::minimumSizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  return {std::min(metrics.horizontalAdvance(QStringLiteral("…")), sizeHint().width()), metrics.height()};
}

void ElidingLabel::relayout() {
  const QString line = oneLine(text_);
  const int width = std::max(0, contentsRect().width());
  const bool fits = mode_ == Qt::ElideNone || QFontMetricsF(font()).horizontalAdvance(line) <= width;
  const QString elided = fits ? line : fontMetrics().elidedText(line, mode_, width);
  // The untouched text when it fits, so isElided compares like with like.
  displayed_ = elided == line ? text_ : elided;
  setToolTip(isElided() ? toolTipHtml(text_) : QString());
  update();
}

void ElidingLabel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  relayout();
}

void ElidingLabel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::ContentsRectChange) {
    updateGeometry();
    relayout();
  }
}

void ElidingLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.drawText(contentsRect(), static_cast<int>(alignment_) | Qt::TextSingleLine, oneLine(displayed_));
}

}  // namespace lorvex::ui
