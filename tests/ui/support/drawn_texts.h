// What tests of cut text look at: each text a widget draws, with the line it takes and the clip it
// is drawn in (both in the coordinates of the painter that drew it); and whether Japanese lines end
// only where ICU's Japanese phrase line breaking allows.
#pragma once

#include <unicode/brkiter.h>

#include <QFontMetricsF>
#include <QTextItem>
#include <memory>
#include <vector>

#include "ui/support/drawing_bands_recorder.h"

namespace lorvex::ui::testing {

struct DrawnText {
  QString text;
  QRectF line;  // from the font's ascent above the baseline to its descent below
  QRectF clip;  // empty: no clip of the painter's own
  // Whole from top to bottom: not clipped, or in a clip that holds its line.
  bool whole() const {
    return clip.isEmpty() || (clip.top() <= line.top() && clip.bottom() >= line.bottom());
  }
};

class DrawnTextsEngine : public DrawingBandsEngine {
 public:
  void drawTextItem(const QPointF& at, const QTextItem& item) override {
    const QFontMetricsF metrics(item.font());
    texts.push_back({item.text(), QRectF(at.x(), at.y() - metrics.ascent(), item.width(), metrics.height()),
                     painter()->hasClipping() ? painter()->clipBoundingRect() : QRectF()});
  }
  std::vector<DrawnText> texts;
};

inline std::vector<DrawnText> drawnTexts(QWidget& widget) {
  RecordingPaintDevice<DrawnTextsEngine> device(widget.size());
  widget.render(&device);
  return device.engine.texts;
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
