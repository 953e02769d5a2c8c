#include "ui/common/wrapped_text_label.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "ui/common/phrase_line_breaks.h"
#include "ui/common/plain_text.h"

namespace lorvex::ui {

namespace {

// The preferred width of a long text: about forty average characters, so a label asks for a
// reasonable line rather than its whole text on one.
constexpr int kPreferredCharacters = 40;

// QTextLayout breaks lines only at line separators, not at "\n".
QString withLineSeparators(const QString& text) {
  QString result = text;
  result.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
  result.replace(QLatin1Char('\n'), QChar::LineSeparator).replace(QLatin1Char('\r'), QChar::LineSeparator);
  return result;
}

QString trimmedLine(QString line) {
  while (!line.isEmpty() && (line.back().isSpace() || line.back() == QChar::LineSeparator)) line.chop(1);
  return line;
}

}  // namespace

WrappedText wrapText(const QString& text, const QFont& font, int width, int maximumLineCount) {
  WrappedText result;
  if (text.isEmpty()) return result;
  width = std::max(width, 1);
  // Japanese breaks between its phrases; the joiners that keep a phrase whole are dropped from the
  // lines shown.
  const QString separated = withLineSeparators(withPhraseJoiners(text));
  QTextLayout layout(separated, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  std::vector<std::pair<int, int>> ranges;
  std::vector<int> heights;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    ranges.emplace_back(line.textStart(), line.textLength());
    heights.push_back(static_cast<int>(std::ceil(line.height())));
  }
  layout.endLayout();
  const std::size_t shown = maximumLineCount > 0
                                ? std::min(ranges.size(), static_cast<std::size_t>(maximumLineCount))
                                : ranges.size();
  const QFontMetrics metrics(font);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i + 1 == shown && shown < ranges.size()) {
      // The rest of the text on the last line allowed, shortened to fit it.
      QString rest = withoutPhraseJoiners(separated.mid(ranges[i].first));
      rest.replace(QChar::LineSeparator, QLatin1Char(' '));
      result.lines.push_back(metrics.elidedText(rest.simplified(), Qt::ElideRight, width));
      result.isElided = true;
    } else {
      result.lines.push_back(
          withoutPhraseJoiners(trimmedLine(separated.mid(ranges[i].first, ranges[i].second))));
    }
    result.lineHeights.push_back(heights[i]);
    result.height += heights[i];
  }
  return result;
}

int textLineHeight(const QFont& font) {
  return static_cast<int>(std::ceil(QFontMetricsF(font).lineSpacing()));
}

void drawWrappedText(QPainter& painter, const QRect& area, const WrappedText& text, Qt::Alignment alignment) {
  const Qt::Alignment across = (alignment & Qt::AlignHorizontal_Mask) ? alignment & Qt::AlignHorizontal_Mask
                                                                      : Qt::Alignment(Qt::AlignLeft);
  int y = area.top();
  for (int i = 0; i < text.lines.size(); ++i) {
    const int height = text.lineHeights[static_cast<std::size_t>(i)];
    painter.drawText(QRect(area.left(), y, area.width(), height), across | Qt::AlignTop | Qt::TextSingleLine,
                     text.lines[i]);
    y += height;
  }
}

int balancedWrapWidth(const QString& text, const QFont& font, int maximumWidth) {
  const QFontMetrics metrics(font);
  const auto bounds = [&](int width) {
    return metrics.boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap, text);
  };
  const int lines = bounds(maximumWidth).height();
  int low = 1;
  int high = maximumWidth;
  while (low < high) {
    const int width = (low + high) / 2;
    // A word wider than the line is drawn past its edge, and takes no more lines for it: the label
    // must not become narrower than what it draws.
    const QRect drawn = bounds(width);
    if (drawn.height() <= lines && drawn.width() <= width) {
      high = width;
    } else {
      low = width + 1;
    }
  }
  return high;
}

QString labelTextInPhrases(const QString& text, const QFont& font, int maximumWidth) {
  const QString joined = withPhraseJoiners(text);
  if (joined.size() == text.size()) return text;
  // A phrase wider than the line would be drawn past the label's edge: Qt breaks it inside then,
  // as it does without the joiners.
  const QRect drawn =
      QFontMetrics(font).boundingRect(QRect(0, 0, maximumWidth, 1 << 20), Qt::TextWordWrap, joined);
  return drawn.width() <= maximumWidth ? joined : text;
}

void showInEvenLines(QLabel& label, const QString& text, int maximumWidth) {
  const QString laidOut = labelTextInPhrases(text, label.font(), maximumWidth);
  label.setText(laidOut);
  label.setFixedWidth(balancedWrapWidth(laidOut, label.font(), maximumWidth));
  label.setAccessibleName(text);
}

WrappedTextLabel::WrappedTextLabel(const QString& text, QWidget* parent) : QWidget(parent) {
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  setText(text);
}

void WrappedTextLabel::setText(const QString& text) {
  if (text == text_ && !text.isEmpty()) return;
  text_ = text;
  setAccessibleName(text);
  updateGeometry();
  relayout();
}

void WrappedTextLabel::setMaximumLineCount(int count) {
  count = std::max(count, 0);
  if (count == maximumLineCount_) return;
  maximumLineCount_ = count;
  updateGeometry();
  relayout();
}

void WrappedTextLabel::setEvenLines(bool even) {
  if (even == evenLines_) return;
  evenLines_ = even;
  relayout();
}

void WrappedTextLabel::setAlignment(Qt::Alignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  update();
}

int WrappedTextLabel::wrapWidth(int width) const {
  if (!evenLines_ || text_.isEmpty() || width <= 1) return width;
  const auto lineCount = [&](int candidate) { return wrapText(text_, font(), candidate).lines.size(); };
  const auto lines = lineCount(width);
  if (lines < 2) return width;
  int low = 1;
  int high = width;
  while (low < high) {
    const int candidate = (low + high) / 2;
    if (lineCount(candidate) <= lines) {
      high = candidate;
    } else {
      low = candidate + 1;
    }
  }
  return high;
}

int WrappedTextLabel::heightForWidth(int width) const {
  const QMargins margins = contentsMargins();
  // A layout that asks for the height for a width takes it as the minimum height too, the minimum
  // size hint aside: a label without text yet (filled in once shown) must not be laid out 0 px tall.
  const int wrapped =
      wrapText(text_, font(), wrapWidth(width - margins.left() - margins.right()), maximumLineCount_).height;
  return std::max(wrapped, textLineHeight(font())) + margins.top() + margins.bottom();
}

QSize WrappedTextLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  int natural = 0;
  for (const QString& paragraph : text_.split(QLatin1Char('\n'))) {
    natural = std::max(natural, metrics.horizontalAdvance(paragraph));
  }
  const QMargins margins = contentsMargins();
  const int width = std::min(natural + 1, metrics.averageCharWidth() * kPreferredCharacters) +
                    margins.left() + margins.right();
  return {width, heightForWidth(width)};
}

QSize WrappedTextLabel::minimumSizeHint() const {
  const QFontMetrics metrics(font());
  const QMargins margins = contentsMargins();
  const int width = std::min(
      sizeHint().width(), metrics.horizontalAdvance(QStringLiteral("W…")) + margins.left() + margins.right());
  return {width, textLineHeight(font()) + margins.top() + margins.bottom()};
}

void WrappedTextLabel::relayout() {
  shown_ = wrapText(text_, font(), wrapWidth(contentsRect().width()), maximumLineCount_);
  setToolTip(shown_.isElided ? toolTipHtml(text_) : QString());
  update();
}

void WrappedTextLabel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  relayout();
}

void WrappedTextLabel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::ContentsRectChange) {
    updateGeometry();
    relayout();
  }
}

void WrappedTextLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  drawWrappedText(painter, contentsRect(), shown_, alignment_);
}

}  // namespace lorvex::ui
