#include "ui/detail/middle_elided_label.h"

#include <QResizeEvent>
#include <algorithm>

#include "ui/common/plain_text.h"

namespace lorvex::ui {

namespace {
const QChar kEllipsis(0x2026);
// The widest a size hint asks for.
constexpr int kPreferredMaximumWidth = 400;
}  // namespace

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
  layOutDocument_.schedule();
}

QRect MiddleElidedLabel::wrappedBounds(const QString& text, int width) const {
  // Word wrapping only, as the label draws its text: a word wider than the line is not broken
  // but drawn past the edge, so the measure must see it too.
  const QFontMetrics metrics(font());
  return metrics.boundingRect(QRect(0, 0, std::max(1, width), 1 << 20), Qt::TextWordWrap, text);
}

bool MiddleElidedLabel::fits(const QString& text, int width) const {
  const QRect bounds = wrappedBounds(text, width);
  return bounds.width() <= width && bounds.height() <= QFontMetrics(font()).lineSpacing() * maximumLines_ + 1;
}

qsizetype MiddleElidedLabel::visibleCharacterBound(int width) const {
  // A shown character takes at least a pixel, and a line break ends a line: no more than this can
  // show. Laying out more only costs time (a value of a megabyte took seconds on every focus step).
  return static_cast<qsizetype>(maximumLines_) * (static_cast<qsizetype>(std::max(1, width)) + 2);
}

QString MiddleElidedLabel::elidedFor(int width) const {
  if (width <= 0 || fullText_.isEmpty()) return fullText_;
  const qsizetype bound = visibleCharacterBound(width);
  if (fullText_.size() <= bound && fits(fullText_, width)) return fullText_;
  // The longest head-and-tail cut that still fits: binary search over the characters kept.
  const qsizetype length = std::min(fullText_.size(), bound);
  qsizetype low = 0;
  qsizetype high = length;
  while (low < high) {
    const qsizetype kept = (low + high + 1) / 2;
    const qsizetype head = (kept + 1) / 2;
    const QString candidate = fullText_.left(head) + kEllipsis + fullText_.right(kept - head);
    if (fits(candidate, width)) {
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
  // Only what can show is measured: the lines it fills are the most the label takes.
  const QString shown =
      fullText_.isEmpty() ? QStringLiteral(" ") : fullText_.left(visibleCharacterBound(width));
  return std::min(wrappedBounds(shown, width).height(), QFontMetrics(font()).lineSpacing() * maximumLines_) +
         margins;
}

QSize MiddleElidedLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  const int width =
      std::min(metrics.horizontalAdvance(fullText_.left(kPreferredMaximumWidth + 1)), kPreferredMaximumWidth);
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
  // Any new size lays the document out again.
  layOutDocument_.schedule();
}

void MiddleElidedLabel::showEvent(QShowEvent* event) {
  QLabel::showEvent(event);
  layOutDocument_.schedule();
}

}  // namespace lorvex::ui
