#include "ui/results/results_grid_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace lorvex::ui {
namespace {

TEST(ResultsGridGeometry, ColumnsAndTileWidthFollowTheViewportWidth) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double width;
    int columns;
    double columnWidth;
    double tileWidth;
  } cases[] = {
      {520, 3, 472.0 / 3, 472.0 / 3},
      {1000, 6, 916.0 / 6, 916.0 / 6},
      {100, 1, 76, 76},
      // The second column appears exactly when two columns of 148 fit.
      {332, 2, 148, 148},
      {331.9, 1, 307.9, 220},
      // One column wider than a tile: the tile is capped.
      {300, 1, 276, 220},
      {2000, 12, (1976.0 - 132) / 12, (1976.0 - 132) / 12},
      // Nothing left inside the padding, or no width at all.
      {24, 1, 0, 0},
      {10, 1, 0, 0},
      {0, 1, 0, 0},
      {-50, 1, 0, 0},
      {nan, 1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    const ResultsGridGeometry geometry = resultsGridGeometry(c.width);
    EXPECT_EQ(resultsGridColumnCount(c.width), c.columns);
    EXPECT_EQ(geometry.columns, c.columns);
    EXPECT_DOUBLE_EQ(geometry.columnWidth, c.columnWidth);
    EXPECT_DOUBLE_EQ(geometry.tileWidth, c.tileWidth);
  }
}

}  // namespace
}  // namespace lorvex::ui
