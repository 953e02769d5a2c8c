// The scroll-bar paint cache's first picture of a bar: drawn through the base style in bands, so
// that no one fill covers more lines than Qt's raster painter does at once on the painting thread.
#include <gtest/gtest.h>

#include <QPainter>
#include <QProxyStyle>
#include <QRegion>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <cmath>
#include <vector>

#include "ui/common/scroll_bar_paint_cache.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

class ScrollBarPaintBandsTest : public testing::WidgetTest {};

// A style drawn whole (not Fusion, which the cache draws part by part), noting the lines of the bar
// each of its drawings can reach; with `ownClip` it then sets a clip of its own (as styles do) and
// lays a translucent black over the whole bar.
class BandRecordingStyle : public QProxyStyle {
 public:
  explicit BandRecordingStyle(bool ownClip)
      : QProxyStyle(QStyleFactory::create("Windows")), ownClip_(ownClip) {}
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget) const override {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control != CC_ScrollBar) return;
    QRect reach(0, static_cast<int>(std::lround(-painter->transform().dy())), painter->device()->width(),
                painter->device()->height());
    if (painter->hasClipping()) reach &= painter->clipBoundingRect().toAlignedRect();
    bands.push_back(reach);
    if (ownClip_) {
      painter->setClipRect(option->rect);
      painter->fillRect(option->rect, QColor(0, 0, 0, 128));
    }
  }
  mutable std::vector<QRect> bands;

 private:
  bool ownClip_;
};

TEST_F(ScrollBarPaintBandsTest, TheBaseStyleDrawsABarInBandsThatCoverItOnce) {
  const struct {
    const char* name;
    Qt::Orientation orientation;
    QSize size;
    bool ownClip;
    int bands;
  } cases[] = {
      {"a tall vertical bar", Qt::Vertical, {15, 400}, false, 7},
      {"a horizontal bar, one band", Qt::Horizontal, {400, 15}, false, 1},
      // The style's own clip does not reach past a band: each line is laid over once.
      {"a style that sets its own clip", Qt::Vertical, {15, 400}, true, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto* recording = new BandRecordingStyle(c.ownClip);
    ScrollBarPaintCache cache(recording);
    QScrollBar bar(c.orientation);
    bar.setStyle(&cache);
    bar.setRange(0, 1000);
    bar.setPageStep(100);
    bar.resize(c.size);
    const QImage shown = bar.grab().toImage();
    ASSERT_EQ(recording->bands.size(), static_cast<std::size_t>(c.bands));
    QRegion covered;
    for (const QRect& band : recording->bands) {
      EXPECT_LE(band.height(), 64);
      EXPECT_FALSE(covered.intersects(band));
      covered += band;
    }
    EXPECT_EQ(covered, QRegion(QRect(QPoint(0, 0), c.size)));
    if (c.ownClip) {
      // Half-black laid once over whatever the bar shows: no pixel brighter than half.
      for (const QPoint at : {QPoint(7, 1), QPoint(7, 200), QPoint(7, 398)}) {
        EXPECT_LE(shown.pixelColor(at).lightness(), 128);
        EXPECT_GE(shown.pixelColor(at).lightness(), 64) << "laid over more than once";
      }
    }
  }
}

}  // namespace
}  // namespace lorvex::ui
