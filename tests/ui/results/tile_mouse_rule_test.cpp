#include "ui/results/tile_mouse_rule.h"

#include <gtest/gtest.h>

#include <string>

namespace lorvex::ui {
namespace {

TEST(TileMouseRule, RoundedRectangleLeavesItsCornersOut) {
  const QRectF tile(10, 20, 100, 80);
  const struct {
    QPointF point;
    double radius;
    bool inside;
  } cases[] = {
      {{60, 60}, 8, true},    {{10, 60}, 8, true},      // on the straight left edge
      {{60, 20}, 8, true},                              // on the straight top edge
      {{10, 20}, 8, false},                             // the very corner is rounded away
      {{11, 21}, 8, false},   {{12.5, 22.5}, 8, true},  // inside the corner arc
      {{109, 99}, 8, false},  {{107, 97}, 8, true},
      {{10, 20}, 0, true},  // no rounding keeps the corner
      {{9.9, 60}, 8, false},  {{60, 100.1}, 8, false},
      {{60, 60}, 1000, true},  // a huge radius is clamped to a half side
      {{10, 60}, 1000, true}, {{12, 22}, 1000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.point.x()) + "," + std::to_string(c.point.y()) + " r" +
                 std::to_string(c.radius));
    EXPECT_EQ(roundedRectContains(tile, c.radius, c.point), c.inside);
  }
  EXPECT_FALSE(roundedRectContains(QRectF(0, 0, 0, 10), 0, QPointF(0, 5)));
}

TEST(TileMouseRule, PressOutcome) {
  const QRectF tile(0, 0, 160, 190);
  const QPointF centre(80, 95);
  const QPointF corner(0.5, 0.5);
  const Qt::KeyboardModifiers none;
  const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
  const struct {
    std::string name;
    TileMousePress press;
    bool enabled;
    TileMouseOutcome outcome;
  } cases[] = {
      {"click", {Qt::LeftButton, 1, none, centre}, true, TileMouseOutcome::selectOnly},
      {"shift click", {Qt::LeftButton, 1, shift, centre}, true, TileMouseOutcome::extendSelection},
      {"ctrl click", {Qt::LeftButton, 1, ctrl, centre}, true, TileMouseOutcome::toggleSelection},
      {"shift wins over ctrl",
       {Qt::LeftButton, 1, shift | ctrl, centre},
       true,
       TileMouseOutcome::extendSelection},
      {"double click opens", {Qt::LeftButton, 2, none, centre}, true, TileMouseOutcome::open},
      {"shift double click opens", {Qt::LeftButton, 2, shift, centre}, true, TileMouseOutcome::open},
      {"third click selects", {Qt::LeftButton, 3, none, centre}, true, TileMouseOutcome::selectOnly},
      {"fourth ctrl click toggles",
       {Qt::LeftButton, 4, ctrl, centre},
       true,
       TileMouseOutcome::toggleSelection},
      {"no click", {Qt::LeftButton, 0, none, centre}, true, TileMouseOutcome::none},
      {"right click", {Qt::RightButton, 1, none, centre}, true, TileMouseOutcome::contextMenu},
      {"ctrl right click", {Qt::RightButton, 1, ctrl, centre}, true, TileMouseOutcome::contextMenu},
      {"middle click", {Qt::MiddleButton, 1, none, centre}, true, TileMouseOutcome::none},
      {"rounded corner", {Qt::LeftButton, 1, none, corner}, true, TileMouseOutcome::none},
      {"right click in corner", {Qt::RightButton, 1, none, corner}, true, TileMouseOutcome::none},
      {"outside", {Qt::LeftButton, 1, none, QPointF(170, 95)}, true, TileMouseOutcome::none},
      {"gated click", {Qt::LeftButton, 1, none, centre}, false, TileMouseOutcome::none},
      {"gated double click", {Qt::LeftButton, 2, none, centre}, false, TileMouseOutcome::none},
      {"gated right click", {Qt::RightButton, 1, none, centre}, false, TileMouseOutcome::none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(tileMouseOutcome(c.press, tile, c.enabled), c.outcome);
  }
}

}  // namespace
}  // namespace lorvex::ui
