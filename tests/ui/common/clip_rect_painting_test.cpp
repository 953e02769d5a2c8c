#include "ui/common/clip_rect_painting.h"

#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QRegion>
#include <QWidget>
#include <string>
#include <vector>

#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

class ClipRectPaintingTest : public testing::WidgetTest {};

// Paints through paintPerClipRect (or paintInBands) over `bounds` and notes each clip it was
// called under.
class RecordingWidget : public QWidget {
 public:
  QRect bounds;
  bool inBands = false;
  std::vector<QRegion> clips;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const auto record = [&] { clips.push_back(painter.clipRegion()); };
    if (inBands) {
      paintInBands(painter, bounds, record);
    } else {
      paintPerClipRect(painter, bounds, record);
    }
  }
};

// Each call has a clip of one rectangle; together they cover exactly the repainted part of the
// bounds; a region of one rectangle there gives one call, and in bands one per 64 lines of it.
TEST_F(ClipRectPaintingTest, OneCallPerRectangleOfTheRepaintedRegionWithinTheBounds) {
  const QRect bounds(20, 20, 100, 200);
  const struct {
    const char* name;
    QRegion repainted;
    int calls;
    int bands;
  } cases[] = {
      {"all of it", QRegion(0, 0, 300, 300), 1, 4},
      {"one rectangle across it", QRegion(0, 50, 300, 40), 1, 1},
      {"two rectangles crossing it", QRegion(0, 30, 300, 20) + QRegion(0, 150, 300, 30), 2, 2},
      {"a ring around a covered middle", QRegion(0, 0, 300, 300) - QRegion(60, 60, 200, 100), 3, 4},
      {"nothing of it", QRegion(200, 0, 50, 50), 0, 0},
  };
  for (const bool inBands : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (inBands ? ", in bands" : ""));
      RecordingWidget widget;
      widget.bounds = bounds;
      widget.inBands = inBands;
      widget.resize(300, 300);
      widget.show();
      testing::drainUiEvents();
      widget.clips.clear();
      widget.repaint(c.repainted);
      EXPECT_EQ(static_cast<int>(widget.clips.size()), inBands ? c.bands : c.calls);
      QRegion covered;
      for (const QRegion& clip : widget.clips) {
        EXPECT_EQ(clip.rectCount(), 1);
        if (inBands) {
          EXPECT_LE(clip.boundingRect().height(), 64);
        }
        EXPECT_TRUE((covered & clip).isEmpty()) << "painted twice";
        covered += clip;
      }
      EXPECT_EQ(covered, c.repainted & bounds);
    }
  }
}

}  // namespace
}  // namespace lorvex::ui
