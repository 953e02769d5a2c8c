#include "ui/detail/middle_elided_label.h"

#include <QResizeEvent>
#include <algorithm>

#include "ui/common/plain_text.h"

namespace lorvex::ui {

namespace {
const QChar kEllipsis(0x2026);
// The widest a size hint asks for.
constexpr int kPreferredMaximumWidth = 400;
// The widths whose measures are kept: the label's own, a layout's trial widths, the size hint's.
constexpr std::size_t kKeptWidths = 4;
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
  if (text != fullText_) forgetMeasures();
  fullText_ = text;
  elidedWidth_ = width();
  setText(QString(shownAt(width()).text));  // a copy: measures taken meanwhile may move the kept ones
  updateGeometry();
  layOutDocument_.schedule();
}

QRect MiddleElidedLabel::wrappedBounds(const QString& text, int width) const {
  // Word wrapping only, as the label draws its text: a word wider than the line is not broken
  // but drawn past the edge, so the measure must see it too.
  const QFontMetrics metrics(font());
  return metrics.boundingRect(QRect(0, 0, std::max(1, width), 1 << 20), Qt::TextWordWrap, text);
}

QRect MiddleElidedLabel::fullTextBounds(int width) const {
  const auto kept = std::find_if(fullTextBounds_.begin(), fullTextBounds_.end(),
                                 [width](const auto& measure) { return measure.first == width; });
  if (kept != fullTextBounds_.end()) return kept->second;
  const QString shown =
      fullText_.isEmpty() ? QStringLiteral(" ") : fullText_.left(visibleCharacterBound(width));
  if (fullTextBounds_.size() >= kKeptWidths) fullTextBounds_.erase(fullTextBounds_.begin());
  fullTextBounds_.emplace_back(width, wrappedBounds(shown, width));
  return fullTextBounds_.back().second;
}

void MiddleElidedLabel::forgetMeasures() {
  fullTextBounds_.clear();
  shown_.clear();
  fullTextAdvance_.reset();
}

int MiddleElidedLabel::linesHeight() const {
  if (!linesHeight_) {
    // Measured as the text is: a font's line spacing is fractional (Noto Sans CJK's 17.375 px), and
    // lines laid out one under another round up, so two lines are taller than twice the rounded
    // spacing.
    QString lines(QStringLiteral("X"));
    for (int line = 1; line < maximumLines_; ++line) lines += QStringLiteral("\nX");
    linesHeight_ =
        QFontMetrics(font()).boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::TextWordWrap, lines).height();
  }
  return *linesHeight_;
}

bool MiddleElidedLabel::fits(const QRect& bounds, int width) const {
  return bounds.width() <= width && bounds.height() <= linesHeight();
}

qsizetype MiddleElidedLabel::visibleCharacterBound(int width) const {
  // A shown character takes at least a pixel, and a line break ends a line: no more than this can
  // show. Laying out more only costs time (a value of a megabyte took seconds on every focus step).
  return static_cast<qsizetype>(maximumLines_) * (static_cast<qsizetype>(std::max(1, width)) + 2);
}

const MiddleElidedLabel::Shown& MiddleElidedLabel::shownAt(int width) const {
  const auto kept = std::find_if(shown_.begin(), shown_.end(),
                                 [width](const Shown& shown) { return shown.width == width; });
  if (kept != shown_.end()) return *kept;
  if (shown_.size() >= kKeptWidths) shown_.erase(shown_.begin());
  shown_.push_back(makeShown(width));
  return shown_.back();
}

MiddleElidedLabel::Shown MiddleElidedLabel::makeShown(int width) const {
  if (width <= 0 || fullText_.isEmpty()) return {width, fullText_, fullTextBounds(width)};
  const qsizetype bound = visibleCharacterBound(width);
  if (fullText_.size() <= bound && fits(fullTextBounds(width), width)) {
    return {width, fullText_, fullTextBounds(width)};
  }
  // The longest head-and-tail cut that still fits: binary search over the characters kept. A cut
  // drops a character at least: its "…" stands for something hidden (a name too long for the
  // line fits the lines once its "…" lets it break).
  const qsizetype length = std::min(fullText_.size() - 1, bound);
  const auto cut = [this](qsizetype kept) {
    const qsizetype head = (kept + 1) / 2;
    return fullText_.left(head) + kEllipsis + fullText_.right(kept - head);
  };
  qsizetype low = 0;
  qsizetype high = length;
  while (low < high) {
    const qsizetype kept = (low + high + 1) / 2;
    if (fits(wrappedBounds(cut(kept), width), width)) {
      low = kept;
    } else {
      high = kept - 1;
    }
  }
  // A cut may take more lines than the full text, which a word too long for the line keeps on one:
  // the label is as tall as the cut it draws.
  QString shown = cut(low);
  const QRect bounds = wrappedBounds(shown, width);
  return {width, std::move(shown), bounds};
}

int MiddleElidedLabel::heightForWidth(int width) const {
  const int margins = contentsMargins().top() + contentsMargins().bottom();
  // Only what can show is measured: the lines it fills are the most the label takes.
  return std::min(shownAt(width).bounds.height(), linesHeight()) + margins;
}

QSize MiddleElidedLabel::sizeHint() const {
  if (!fullTextAdvance_) {
    fullTextAdvance_ = QFontMetrics(font()).horizontalAdvance(fullText_.left(kPreferredMaximumWidth + 1));
  }
  const int width = std::min(*fullTextAdvance_, kPreferredMaximumWidth);
  return QSize(width, heightForWidth(std::max(width, 1)));
}

QSize MiddleElidedLabel::minimumSizeHint() const {
  return QSize(QFontMetrics(font()).horizontalAdvance(kEllipsis) * 3, QFontMetrics(font()).height());
}

void MiddleElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  if (elidedWidth_ != event->size().width()) {
    elidedWidth_ = event->size().width();
    setText(QString(shownAt(elidedWidth_).text));
  }
  // Any new size lays the document out again.
  layOutDocument_.schedule();
}

void MiddleElidedLabel::showEvent(QShowEvent* event) {
  QLabel::showEvent(event);
  layOutDocument_.schedule();
}

void MiddleElidedLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() != QEvent::FontChange) return;
  // A new font measures differently: the measures go, and the cut is made again in it.
  forgetMeasures();
  linesHeight_.reset();
  if (!fullText_.isEmpty()) setText(QString(shownAt(width()).text));
}

}  // namespace lorvex::ui
