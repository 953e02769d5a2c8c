#include "ui/common/selectable_wrapped_text.h"

#include <QEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
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

}  // namespace

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
  if (joined == toPlainText()) return;
  heights_.clear();
  setPlainText(joined);
  updateGeometry();
}

QString SelectableWrappedText::text() const {
  return withoutPhraseJoiners(toPlainText());
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
  const std::unique_ptr<QTextDocument> measure(document()->clone());
  measure->setTextWidth(std::max(width - frame, 1));
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
  // A new width may need another number of lines: the layout asks the height again.
  if (height() != heightForWidth(width())) updateGeometry();
}

void SelectableWrappedText::changeEvent(QEvent* event) {
  QTextEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    heights_.clear();
    updateGeometry();
  }
}

}  // namespace lorvex::ui
