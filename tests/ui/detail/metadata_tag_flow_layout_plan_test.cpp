// The chip layout's plan: wrapping only past the width (equal still fits), shrinking of chips
// wider than the row, one unbounded row without a width, and degenerate inputs read as 0.
#include "ui/detail/metadata_tag_flow_layout_plan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace lorvex::ui {
namespace {

using Cell = MetadataTagFlowLayoutPlan::Cell;

TEST(MetadataTagFlowLayoutPlanTest, PlansFollowTheWrappingRule) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    std::vector<FlowSize> sizes;
    std::optional<double> width;
    double hSpacing;
    double vSpacing;
    MetadataTagFlowLayoutPlan expected;
  };
  const std::vector<Case> cases = {
      {"no children", {}, 100, 6, 6, {{}, {0, 0}}},
      {"third child wraps",
       {{40, 20}, {40, 20}, {40, 20}},
       100,
       6,
       6,
       {{{0, {0, 0, 40, 20}}, {1, {46, 0, 40, 20}}, {2, {0, 26, 40, 20}}}, {100, 46}}},
      {"ending exactly at the width fits",
       {{40, 20}, {40, 20}},
       86,
       6,
       6,
       {{{0, {0, 0, 40, 20}}, {1, {46, 0, 40, 20}}}, {86, 20}}},
      {"one point less wraps",
       {{40, 20}, {40, 20}},
       85,
       6,
       6,
       {{{0, {0, 0, 40, 20}}, {1, {0, 26, 40, 20}}}, {85, 46}}},
      {"a child wider than the row is shrunk to it",
       {{150, 20}},
       100,
       6,
       6,
       {{{0, {0, 0, 100, 20}}}, {100, 20}}},
      {"a wide child after another starts its own row shrunk",
       {{40, 20}, {150, 30}},
       100,
       6,
       6,
       {{{0, {0, 0, 40, 20}}, {1, {0, 26, 100, 30}}}, {100, 56}}},
      {"no width: one row, top-aligned",
       {{40, 10}, {30, 12}, {20, 8}},
       std::nullopt,
       6,
       6,
       {{{0, {0, 0, 40, 10}}, {1, {46, 0, 30, 12}}, {2, {82, 0, 20, 8}}}, {102, 12}}},
      {"infinite width is unbounded",
       {{40, 10}, {30, 12}},
       inf,
       6,
       6,
       {{{0, {0, 0, 40, 10}}, {1, {46, 0, 30, 12}}}, {76, 12}}},
      {"NaN width is unbounded", {{40, 10}}, nan, 6, 6, {{{0, {0, 0, 40, 10}}}, {40, 10}}},
      {"width 0: every child on its own row, zero wide",
       {{40, 10}, {30, 12}, {20, 8}},
       0,
       6,
       6,
       {{{0, {0, 0, 0, 10}}, {1, {0, 16, 0, 12}}, {2, {0, 34, 0, 8}}}, {0, 42}}},
      {"negative width counts as 0",
       {{40, 10}, {30, 12}},
       -5,
       6,
       6,
       {{{0, {0, 0, 0, 10}}, {1, {0, 16, 0, 12}}}, {0, 28}}},
      {"negative spacings count as 0",
       {{40, 10}, {40, 10}, {40, 10}},
       100,
       -3,
       -4,
       {{{0, {0, 0, 40, 10}}, {1, {40, 0, 40, 10}}, {2, {0, 10, 40, 10}}}, {100, 20}}},
      {"negative sizes count as 0",
       {{-40, -10}, {30, 12}},
       100,
       6,
       6,
       {{{0, {0, 0, 0, 0}}, {1, {6, 0, 30, 12}}}, {100, 12}}},
      {"a row is as tall as its tallest child",
       {{10, 5}, {10, 30}, {90, 7}},
       50,
       6,
       6,
       {{{0, {0, 0, 10, 5}}, {1, {16, 0, 10, 30}}, {2, {0, 36, 50, 7}}}, {50, 43}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(makePlan(c.sizes, c.width, c.hSpacing, c.vSpacing), c.expected) << c.name;
  }
}

TEST(MetadataTagFlowLayoutPlanTest, EveryCellStaysWithinABoundedWidth) {
  std::vector<FlowSize> sizes;
  for (int i = 0; i < 200; ++i)
    sizes.push_back({static_cast<double>((i * 37) % 160), static_cast<double>(20 + i % 3)});
  for (double width : {0.0, 33.0, 100.0, 157.5, 400.0}) {
    const auto plan = makePlan(sizes, width, 6, 6);
    ASSERT_EQ(plan.cells.size(), sizes.size());
    double bottom = 0;
    for (std::size_t i = 0; i < plan.cells.size(); ++i) {
      const auto& frame = plan.cells[i].frame;
      EXPECT_EQ(plan.cells[i].index, static_cast<int>(i));
      EXPECT_LE(frame.x + frame.width, width) << "width " << width << " cell " << i;
      bottom = std::max(bottom, frame.y + frame.height);
    }
    EXPECT_EQ(plan.size.height, bottom);
    EXPECT_EQ(plan.size.width, width);
  }
}

}  // namespace
}  // namespace lorvex::ui
