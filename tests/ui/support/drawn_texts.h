// What tests of cut text look at: each text a widget draws, with its line and the painter's clip
// (in the painter's coordinates); and whether Japanese lines end where ICU's phrase breaking allows.
#pragma once

#include <unicode/brkiter.h>

#include <QFontMetricsF>
#include <QStringList>
#include <QTextItem>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "ui/support/drawing_bands_recorder.h"

namespace lorvex::ui::testing {

struct DrawnText {
  QString text;
  QRectF line;  // from the font's ascent above the baseline to its descent below
  bool whole;   // not clipped, or in a clip that holds its line from top to bottom
};

inline std::vector<DrawnText> drawnTexts(QWidget& widget) {
  struct Engine : DrawingBandsEngine {
    void drawTextItem(const QPointF& at, const QTextItem& item) override {
      const QFontMetricsF metrics(item.font());
      const QRectF line(at.x(), at.y() - metrics.ascent(), item.width(), metrics.height());
      const QRectF clip = painter()->hasClipping() ? painter()->clipBoundingRect() : QRectF();
      texts.push_back({item.text(), line,
                       clip.isEmpty() || (clip.top() <= line.top() && clip.bottom() >= line.bottom())});
    }
    std::vector<DrawnText> texts;
  };
  RecordingPaintDevice<Engine> device(widget.size());
  widget.render(&device);
  return device.engine.texts;
}

// The lines `widget` draws, top to bottom: the pieces drawn side by side (a Latin word and the
// Japanese after it come in different fonts) joined, without what draws nothing.
inline QStringList drawnLines(QWidget& widget) {
  std::vector<DrawnText> texts = drawnTexts(widget);
  std::sort(texts.begin(), texts.end(), [](const auto& a, const auto& b) {
    return a.line.center().y() != b.line.center().y() ? a.line.center().y() < b.line.center().y()
                                                      : a.line.left() < b.line.left();
  });
  QStringList lines;
  double lineCenter = -1e9;
  std::vector<DrawnText> line;
  const auto flush = [&] {
    std::sort(line.begin(), line.end(),
              [](const auto& a, const auto& b) { return a.line.left() < b.line.left(); });
    QString joined;
    for (const auto& piece : line) joined += piece.text;
    if (!line.empty()) lines << joined.remove(QChar(0x2060));
    line.clear();
  };
  for (const DrawnText& text : texts) {
    if (std::abs(text.line.center().y() - lineCenter) > text.line.height() / 2) {
      flush();
      lineCenter = text.line.center().y();
    }
    line.push_back(text);
  }
  flush();
  return lines;
}

// `lines` hold `text` whole, and each but the last ends where a Japanese line may end.
inline bool endsBetweenPhrases(const QString& text, const QStringList& lines) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> phrases(
      icu::BreakIterator::createLineInstance(icu::Locale::createFromName("ja@lw=phrase"), status));
  if (U_FAILURE(status) || lines.join(QString()) != text) return false;
  const icu::UnicodeString unicode(reinterpret_cast<const char16_t*>(text.utf16()),
                                   static_cast<int32_t>(text.size()));
  phrases->setText(unicode);  // read, not copied: it lives while the iterator does
  for (qsizetype line = 0, end = 0; line + 1 < lines.size(); ++line) {
    end += lines[line].size();
    if (!phrases->isBoundary(static_cast<int32_t>(end))) return false;
  }
  return true;
}

}  // namespace lorvex::ui::testing
