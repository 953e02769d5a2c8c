#include "ui/common/selectable_wrapped_text.h"

#include <QEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <memory>

#include "ui/common/phrase_line_breaks.h"

namespace lorvex::ui {

namespace {

// A long text asks for about forty average characters a line, not its whole length.
constexpr int kPreferredCharacters = 40;
// The widths whose heights are kept: the widget's own, a layout's trial widths, the size hint's.
constexpr std::size_t kKeptWidths = 4;

// The lines `text` takes laid out as `base` lays its text out, at `width`.
int lineCount(const QTextDocument& base, const QString& text, int width) {
  const std::unique_ptr<QTextDocument> measure(base.clone());
  measure->setPlainText(text);
  measure->setTextWidth(width);
  measure->size();  // lays the whole text out
  int lines = 0;
  for (QTextBlock block = measure->begin(); block.isValid(); block = block.next())
    lines += block.layout()->lineCount();
  return lines;
}

}  // namespace

QString middleElided(const QString& text, const std::function<bool(const QString&)>& fits) {
  if (fits(text)) return text;
  std::vector<qsizetype> bounds{0};  // where each grapheme cluster ends
  QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
  for (qsizetype at = graphemes.toNextBoundary(); at > 0; at = graphemes.toNextBoundary())
    bounds.push_back(at);
  const std::size_t count = bounds.size() - 1;
  const auto cut = [&](std::size_t kept) {
    return text.left(bounds[(kept + 1) / 2]) + QChar(0x2026) + text.mid(bounds[count - kept / 2]);
  };
  // Halving between a cut that fits (nothing kept, taken to fit) and one that does not (all kept):
  // keeping fewer never takes more lines.
  std::size_t fitting = 0;
  std::size_t tooMany = count;
  while (tooMany - fitting > 1) {
    const std::size_t middle = fitting + (tooMany - fitting) / 2;
    if (fits(cut(middle))) {
      fitting = middle;
    } else {
      tooMany = middle;
    }
  }
  return cut(fitting);
}

SelectableWrappedText::SelectableWrappedText(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setLineWrapMode(QTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setAcceptRichText(false);
  document()->setDocumentMargin(0);
  viewport()->setAutoFillBackground(false);
  setAutoFillBackground(false);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void SelectableWrappedText::setText(const QString& text) {
  const QString joined = withPhraseJoiners(text);
  if (joined == text_) return;
  text_ = joined;
  heights_.clear();
  showForWidth();
  updateGeometry();
}

QString SelectableWrappedText::text() const {
  return withoutPhraseJoiners(text_);
}

void SelectableWrappedText::setMaximumLineCount(int count) {
  if (count == maximumLineCount_) return;
  maximumLineCount_ = count;
  heights_.clear();
  showForWidth();
  updateGeometry();
}

QString SelectableWrappedText::shownText(int contentWidth) const {
  if (maximumLineCount_ <= 0) return text_;
  return middleElided(text_, [&](const QString& candidate) {
    return lineCount(*document(), candidate, contentWidth) <= maximumLineCount_;
  });
}

void SelectableWrappedText::showForWidth() {
  const QString shown = shownText(std::max(width() - 2 * frameWidth(), 1));
  if (shown != toPlainText()) setPlainText(shown);
}

QMimeData* SelectableWrappedText::createMimeDataFromSelection() const {
  auto* data = new QMimeData;
  data->setText(withoutPhraseJoiners(textCursor().selection().toPlainText()));
  return data;
}

int SelectableWrappedText::heightForWidth(int width) const {
  const auto kept = std::find_if(heights_.begin(), heights_.end(),
                                 [width](const auto& measure) { return measure.first == width; });
  if (kept != heights_.end()) return kept->second;
  const int frame = 2 * frameWidth();
  const int contentWidth = std::max(width - frame, 1);
  const std::unique_ptr<QTextDocument> measure(document()->clone());
  measure->setPlainText(shownText(contentWidth));
  measure->setTextWidth(contentWidth);
  if (heights_.size() >= kKeptWidths) heights_.erase(heights_.begin());
  heights_.emplace_back(width, static_cast<int>(std::ceil(measure->size().height())) + frame);
  return heights_.back().second;
}

QSize SelectableWrappedText::sizeHint() const {
  const QFontMetrics metrics(font());
  int natural = 0;
  for (const QString& line : text().split(QLatin1Char('\n'))) {
    natural = std::max(natural, metrics.horizontalAdvance(line));
  }
  const int width =
      std::min(natural + 1, metrics.averageCharWidth() * kPreferredCharacters) + 2 * frameWidth();
  return {width, heightForWidth(width)};
}

QSize SelectableWrappedText::minimumSizeHint() const {
  const QFontMetrics metrics(font());
  return {std::min(sizeHint().width(), metrics.horizontalAdvance(QStringLiteral("W…"))),
          metrics.height() + 2 * frameWidth()};
}

void SelectableWrappedText::resizeEvent(QResizeEvent* event) {
  QTextEdit::resizeEvent(event);
  showForWidth();
  // A new width may need another number of lines: the layout asks the height again.
  if (height() != heightForWidth(width())) updateGeometry();
}

void SelectableWrappedText::changeEvent(QEvent* event) {
  QTextEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    heights_.clear();
    showForWidth();
    updateGeometry();
  }
}

}  // namespace lorvex::ui
