#include "ui/common/scroll_bar_paint_cache.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

class ScrollBarPaintCacheTest : public testing::WidgetTest {};

// The largest difference of one channel between two images of one size.
int largestDifference(const QImage& a, const QImage& b) {
  const QImage left = a.convertToFormat(QImage::Format_ARGB32);
  const QImage right = b.convertToFormat(QImage::Format_ARGB32);
  int largest = 0;
  for (int y = 0; y < left.height(); ++y) {
    for (int x = 0; x < left.width(); ++x) {
      const QRgb p = left.pixel(x, y);
      const QRgb q = right.pixel(x, y);
      largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
    }
  }
  return largest;
}

// Passes every drawing on to Fusion and notes how many device lines it could cover at once.
class ClipRecordingStyle final : public QProxyStyle {
 public:
  ClipRecordingStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget) const override {
    const qreal ratio = painter->device()->devicePixelRatioF();
    int lines = painter->device()->height();
    if (painter->hasClipping())
      lines = std::min(lines, static_cast<int>(std::ceil(painter->clipBoundingRect().height() * ratio)));
    tallest = std::max(tallest, lines);
    QProxyStyle::drawComplexControl(control, option, painter, widget);
  }
  mutable int tallest = 0;
};

// A repaint that changes nothing the bar shows is a copy. A new size or state draws the groove, the
// buttons and the handle once each; a new range or position draws at most the handle, and one handle
// size is drawn once wherever it sits. No drawing can cover more than 64 device lines at once, and the
// bar looks exactly as the base style draws it, at either end and in between.
TEST_F(ScrollBarPaintCacheTest, DrawsThroughTheBaseStyleOnlyThePartsThatChanged) {
  for (const Qt::Orientation orientation : {Qt::Vertical, Qt::Horizontal}) {
    SCOPED_TRACE(orientation == Qt::Vertical ? "vertical" : "horizontal");
    auto* recording = new ClipRecordingStyle();
    ScrollBarPaintCache cache(recording);
    std::unique_ptr<QStyle> plain(QStyleFactory::create("Fusion"));
    QScrollBar cached(orientation);
    QScrollBar reference(orientation);
    cached.setStyle(&cache);
    reference.setStyle(plain.get());
    const auto sized = [orientation](int length) {
      return orientation == Qt::Vertical ? QSize(15, length) : QSize(length, 15);
    };
    for (QScrollBar* bar : {&cached, &reference}) {
      bar->setRange(0, 1000);
      bar->setPageStep(100);
      bar->resize(sized(400));
    }
    const struct {
      const char* step;
      std::function<void(QScrollBar&)> change;
      int baseDraws;  // added by a repaint after the change
    } steps[] = {
        {"first paint, at the start", [](QScrollBar&) {}, 3},
        {"repaint, nothing changed", [](QScrollBar&) {}, 0},
        {"moved", [](QScrollBar& bar) { bar.setValue(400); }, 0},
        {"repaint after the move", [](QScrollBar&) {}, 0},
        {"longer", [&](QScrollBar& bar) { bar.resize(sized(500)); }, 3},
        {"larger range", [](QScrollBar& bar) { bar.setRange(0, 5000); }, 1},
        {"at the end", [](QScrollBar& bar) { bar.setValue(5000); }, 0},
        {"back to the first range", [](QScrollBar& bar) { bar.setRange(0, 1000); }, 0},
        {"disabled", [](QScrollBar& bar) { bar.setEnabled(false); }, 3},
        {"back to a drawn look", [](QScrollBar& bar) { bar.setEnabled(true); }, 0},
    };
    for (const auto& s : steps) {
      SCOPED_TRACE(s.step);
      s.change(cached);
      s.change(reference);
      const int before = cache.baseDrawCountForTest();
      const QImage shown = cached.grab().toImage();
      EXPECT_EQ(cache.baseDrawCountForTest() - before, s.baseDraws);
      EXPECT_LE(largestDifference(shown, reference.grab().toImage()), 1);
    }
    EXPECT_GT(recording->tallest, 0);
    EXPECT_LE(recording->tallest, 64);
  }
}

}  // namespace
}  // namespace lorvex::ui
