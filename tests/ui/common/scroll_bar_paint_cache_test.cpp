#include "ui/common/scroll_bar_paint_cache.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QScrollBar>
#include <QStyleFactory>
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

// A repaint that changes nothing the bar shows is a copy; each change of what it shows draws it
// once through the base style, and looks exactly as the base style draws it.
TEST_F(ScrollBarPaintCacheTest, DrawsThroughTheBaseStyleOnlyWhenTheBarChanges) {
  ScrollBarPaintCache cache(QStyleFactory::create("Fusion"));
  std::unique_ptr<QStyle> plain(QStyleFactory::create("Fusion"));
  QScrollBar cached(Qt::Vertical);
  QScrollBar reference(Qt::Vertical);
  cached.setStyle(&cache);
  reference.setStyle(plain.get());
  for (QScrollBar* bar : {&cached, &reference}) {
    bar->setRange(0, 1000);
    bar->setPageStep(100);
    bar->resize(15, 400);
  }
  const struct {
    const char* step;
    std::function<void(QScrollBar&)> change;
    int baseDraws;  // added by a repaint after the change
  } steps[] = {
      {"first paint", [](QScrollBar&) {}, 1},
      {"repaint, nothing changed", [](QScrollBar&) {}, 0},
      {"moved", [](QScrollBar& bar) { bar.setValue(400); }, 1},
      {"repaint after the move", [](QScrollBar&) {}, 0},
      {"longer", [](QScrollBar& bar) { bar.resize(15, 500); }, 1},
      {"larger range", [](QScrollBar& bar) { bar.setRange(0, 5000); }, 1},
      {"disabled", [](QScrollBar& bar) { bar.setEnabled(false); }, 1},
      {"back to a drawn look", [](QScrollBar& bar) { bar.setEnabled(true); }, 0},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    s.change(cached);
    s.change(reference);
    const int before = cache.baseDrawCount();
    const QImage shown = cached.grab().toImage();
    EXPECT_EQ(cache.baseDrawCount() - before, s.baseDraws);
    EXPECT_LE(largestDifference(shown, reference.grab().toImage()), 1);
  }
}

}  // namespace
}  // namespace lorvex::ui
