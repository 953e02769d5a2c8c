#include "ui/common/clip_rect_painting.h"

#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QRegion>
#include <QWidget>
#include <vector>

#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

class ClipRectPaintingTest : public testing::WidgetTest {};

// Paints through paintPerClipRect over `bounds` and notes each clip it was called under.
class RecordingWidget : public QWidget {
 public:
  QRect bounds;
  std::vector<QRegion> clips;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    paintPerClipRect(painter, bounds, [&] { clips.push_back(painter.clipRegion()); });
  }
};

// Each call has a clip of one rectangle; together they cover exactly the repainted part of the
// bounds; a region of one rectangle there gives one call.
TEST_F(ClipRectPaintingTest, OneCallPerRectangleOfTheRepaintedRegionWithinTheBounds) {
  const QRect bounds(20, 20, 100, 200);
  const struct {
    const char* name;
    QRegion repainted;
    int calls;
  } cases[] = {
      {"all of it", QRegion(0, 0, 300, 300), 1},
      {"one rectangle across it", QRegion(0, 50, 300, 40), 1},
      {"two rectangles crossing it", QRegion(0, 30, 300, 20) + QRegion(0, 150, 300, 30), 2},
      {"a ring around a covered middle", QRegion(0, 0, 300, 300) - QRegion(60, 60, 200, 100), 3},
      {"nothing of it", QRegion(200, 0, 50, 50), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingWidget widget;
    widget.bounds = bounds;
    widget.resize(300, 300);
    widget.show();
    testing::drainUiEvents();
    widget.clips.clear();
    widget.repaint(c.repainted);
    EXPECT_EQ(static_cast<int>(widget.clips.size()), c.calls);
    QRegion covered;
    for (const QRegion& clip : widget.clips) {
      EXPECT_EQ(clip.rectCount(), 1);
      EXPECT_TRUE((covered & clip).isEmpty()) << "painted twice";
      covered += clip;
    }
    EXPECT_EQ(covered, c.repainted & bounds);
  }
}

}  // namespace
}  // namespace lorvex::ui
