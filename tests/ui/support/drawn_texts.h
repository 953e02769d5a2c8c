// What tests of cut text look at: each text a widget draws, with the line it takes and the clip it
// is drawn in (both in the coordinates of the painter that drew it).
#pragma once

#include <QFontMetricsF>
#include <QTextItem>
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

}  // namespace lorvex::ui::testing
