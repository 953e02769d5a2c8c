#include "ui/detail/middle_elided_label.h"

#include <QResizeEvent>
#include <algorithm>

#include "ui/common/plain_text.h"

namespace lorvex::ui {

namespace {
const QChar kEllipsis(0x2026);
}

MiddleElidedLabel::MiddleElidedLabel(int maximumLines, QWidget* parent)
    : QLabel(parent), maximumLines_(std::max(1, maximumLines)) {
  makePlain(*this);
  setWordWrap(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void MiddleElidedLabel::setFullText(const QString& text) {
  if (text == fullText_ && elidedWidth_ == width()) return;
  fullText_ = text;
  elidedWidth_ = width();
  setText(elidedFor(width()));
  updateGeometry();
}

int MiddleElidedLabel::linesHeight(const QString& text, int width) const {
  const QFontMetrics metrics(font());
  return metrics
      .boundingRect(QRect(0, 0, std::max(1, width), 1 << 20), Qt::TextWordWrap | Qt::TextWrapAnywhere, text)
      .height();
}

QString MiddleElidedLabel::elidedFor(int width) const {
  if (width <= 0 || fullText_.isEmpty()) return fullText_;
  const QFontMetrics metrics(font());
  const int limit = metrics.lineSpacing() * maximumLines_ + 1;
  if (linesHeight(fullText_, width) <= limit) return fullText_;
  // The longest head-and-tail cut that still fits: binary search over the characters kept.
  const qsizetype length = fullText_.size();
  qsizetype low = 0;
  qsizetype high = length;
  while (low < high) {
    const qsizetype kept = (low + high + 1) / 2;
    const qsizetype head = (kept + 1) / 2;
    const QString candidate = fullText_.left(head) + kEllipsis + fullText_.right(kept - head);
    if (linesHeight(candidate, width) <= limit) {
      low = kept;
    } else {
      high = kept - 1;
    }
  }
  const qsizetype head = (low + 1) / 2;
  return fullText_.left(head) + kEllipsis + fullText_.right(low - head);
}

int MiddleElidedLabel::heightForWidth(int width) const {
  const int margins = contentsMargins().top() + contentsMargins().bottom();
  return std::min(linesHeight(fullText_.isEmpty() ? QStringLiteral(" ") : fullText_, width),
                  QFontMetrics(font()).lineSpacing() * maximumLines_) +
         margins;
}

QSize MiddleElidedLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  const int width = std::min(metrics.horizontalAdvance(fullText_), 400);
  return QSize(width, heightForWidth(std::max(width, 1)));
}

QSize MiddleElidedLabel::minimumSizeHint() const {
  return QSize(QFontMetrics(font()).horizontalAdvance(kEllipsis) * 3, QFontMetrics(font()).height());
}

void MiddleElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  if (elidedWidth_ != event->size().width()) {
    elidedWidth_ = event->size().width();
    setText(elidedFor(elidedWidth_));
  }
}

}  // namespace lorvex::ui
