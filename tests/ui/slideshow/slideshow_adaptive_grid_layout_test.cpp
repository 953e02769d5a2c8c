#include "ui/slideshow/slideshow_adaptive_grid_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace lorvex::ui {
namespace {

using Images = std::vector<SlideshowImageProportions>;
using Cell = SlideshowAdaptiveGridLayout::Cell;

SlideshowImageProportions sized(std::int64_t width, std::int64_t height) {
  return {width, height};
}
const SlideshowImageProportions unknown{};

TEST(SlideshowAdaptiveGridLayout, ChoosesTheGridCoveringTheMostAreaAndPlacesEachImage) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const SlideshowImageProportions wide = sized(1600, 900);
  const SlideshowImageProportions portrait = sized(100, 200);
  const SlideshowImageProportions landscape = sized(200, 100);
  const double third = 400.0 / 3.0;
  const SlideshowAdaptiveGridLayout squares2x2{2,
                                               2,
                                               {{0, 0, 0, {0, 0, 200, 200}},
                                                {1, 0, 1, {200, 0, 200, 200}},
                                                {2, 1, 0, {0, 200, 200, 200}},
                                                {3, 1, 1, {200, 200, 200, 200}}}};
  const struct {
    std::string name;
    Images images;
    QSizeF size;
    SlideshowAdaptiveGridLayout expected;
  } cases[] = {
      {"nothing to show", {}, {800, 600}, {0, 0, {}}},
      {"zero width", {wide, wide, wide}, {0, 600}, {1, 3, {}}},
      {"negative height", {wide, wide, wide}, {800, -5}, {1, 3, {}}},
      {"width not a number", {wide, wide, wide}, {nan, 600}, {1, 3, {}}},
      {"infinite height", {wide, wide}, {800, inf}, {1, 2, {}}},
      // Candidate areas: about 94,815 (3 rows), 213,333 (2 rows), 270,000 (1 row).
      {"three wide images in a wide area",
       {wide, wide, wide},
       {1200, 400},
       {1,
        3,
        {{0, 0, 0, {0, 87.5, 400, 225}},
         {1, 0, 1, {400, 87.5, 400, 225}},
         {2, 0, 2, {800, 87.5, 400, 225}}}}},
      {"one image centred both ways",
       {wide},
       {1200, 400},
       {1, 1, {{0, 0, 0, {(1200 - 6400.0 / 9) / 2, 0, 6400.0 / 9, 400}}}}},
      // 2 x 2 covers 160,000; 4 x 1 and 1 x 4 cover 40,000, three columns about 93,333.
      {"four unknown sizes make squares in two rows",
       {unknown, unknown, unknown, unknown},
       {400, 400},
       squares2x2},
      {"zero, negative and one-sided sizes are squares",
       {sized(0, 900), sized(1600, -1), {1600, std::nullopt}, {std::nullopt, 900}},
       {400, 400},
       squares2x2},
      // Three columns (128,889) beat two (80,000); the short row 0 image rests on row 1, and the
      // last row's wider cell lets its image take the whole width.
      {"the top row rests on the bottom row",
       {portrait, landscape, portrait, landscape},
       {400, 400},
       {2,
        3,
        {{0, 0, 0, {400.0 / 12, 0, 100, 200}},
         {1, 0, 1, {400.0 / 12 + 100, 200 - third / 2, third, third / 2}},
         {2, 0, 2, {400.0 / 12 + 100 + third, 0, 100, 200}},
         {3, 1, 0, {0, 200, 400, 200}}}}},
      // Two rows side by side cover 0.2 less than two stacked rows: equal within 0.5, so the
      // single row wins by having fewer rows.
      {"areas within half a point tie, fewer rows win",
       {unknown, unknown},
       {99.998, 100},
       {1, 2, {{0, 0, 0, {0, 25.0005, 49.999, 49.999}}, {1, 0, 1, {49.999, 25.0005, 49.999, 49.999}}}}},
      {"areas further apart than half a point do not tie",
       {unknown, unknown},
       {99.98, 100},
       {2, 1, {{0, 0, 0, {24.99, 0, 50, 50}}, {1, 1, 0, {24.99, 50, 50, 50}}}}},
      // Stacked (3 rows, no empty cell) and 2 x 2 (one empty cell) tie on area: the full grid wins
      // although it has more rows.
      {"on a tie fewer empty cells beat fewer rows",
       {unknown, unknown, unknown},
       {141.4214, 300},
       {3,
        1,
        {{0, 0, 0, {20.7107, 0, 100, 100}},
         {1, 1, 0, {20.7107, 100, 100, 100}},
         {2, 2, 0, {20.7107, 200, 100, 100}}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto layout = SlideshowAdaptiveGridLayout::make(c.images, c.size);
    EXPECT_EQ(layout.rowCount, c.expected.rowCount);
    EXPECT_EQ(layout.columnCount, c.expected.columnCount);
    ASSERT_EQ(layout.cells.size(), c.expected.cells.size());
    for (std::size_t i = 0; i < layout.cells.size(); ++i) {
      const Cell& actual = layout.cells[i];
      const Cell& expected = c.expected.cells[i];
      SCOPED_TRACE("cell " + std::to_string(i));
      EXPECT_EQ(actual.index, expected.index);
      EXPECT_EQ(actual.row, expected.row);
      EXPECT_EQ(actual.column, expected.column);
      EXPECT_NEAR(actual.frame.x(), expected.frame.x(), 1e-3);
      EXPECT_NEAR(actual.frame.y(), expected.frame.y(), 1e-3);
      EXPECT_NEAR(actual.frame.width(), expected.frame.width(), 1e-3);
      EXPECT_NEAR(actual.frame.height(), expected.frame.height(), 1e-3);
    }
  }
}

// Whatever the mix, frames stay within their cells, the block and each row are centred, and two
// or more rows touch with no gap between them.
TEST(SlideshowAdaptiveGridLayout, FramesStayInTheirCellsAndRowsFormOneCentredBlock) {
  const std::vector<SlideshowImageProportions> pool = {sized(1216, 832),  sized(832, 1216), unknown,
                                                       sized(1920, 1080), sized(512, 2048), sized(1, 1)};
  const std::vector<QSizeF> areas = {{1280, 800}, {800, 1280}, {1920, 1080}, {300, 300}, {2560, 600}};
  for (std::size_t count = 1; count <= pool.size(); ++count) {
    for (std::size_t rotation = 0; rotation < pool.size(); ++rotation) {
      Images images;
      for (std::size_t i = 0; i < count; ++i) images.push_back(pool[(i + rotation) % pool.size()]);
      for (const QSizeF& area : areas) {
        SCOPED_TRACE(std::to_string(count) + " images from " + std::to_string(rotation) + " in " +
                     std::to_string(area.width()) + "x" + std::to_string(area.height()));
        const auto layout = SlideshowAdaptiveGridLayout::make(images, area);
        ASSERT_EQ(layout.cells.size(), count);
        const int rows = layout.rowCount;
        ASSERT_EQ(rows, static_cast<int>((count + layout.columnCount - 1) / layout.columnCount));
        std::vector<double> rowTop(rows, 1e18), rowBottom(rows, -1e18), rowLeft(rows, 1e18),
            rowRight(rows, -1e18);
        std::vector<int> rowItems(rows, 0);
        for (std::size_t i = 0; i < count; ++i) {
          const Cell& cell = layout.cells[i];
          EXPECT_EQ(cell.index, static_cast<int>(i));
          EXPECT_EQ(cell.row, static_cast<int>(i) / layout.columnCount);
          EXPECT_EQ(cell.column, static_cast<int>(i) % layout.columnCount);
          rowItems[cell.row] += 1;
          rowTop[cell.row] = std::min(rowTop[cell.row], cell.frame.top());
          rowBottom[cell.row] = std::max(rowBottom[cell.row], cell.frame.bottom());
          rowLeft[cell.row] = std::min(rowLeft[cell.row], cell.frame.left());
          rowRight[cell.row] = std::max(rowRight[cell.row], cell.frame.right());
          EXPECT_GE(cell.frame.left(), -1e-9);
          EXPECT_GE(cell.frame.top(), -1e-9);
          EXPECT_LE(cell.frame.height(), area.height() / rows + 1e-9);
        }
        for (std::size_t i = 0; i < count; ++i) {
          const Cell& cell = layout.cells[i];
          EXPECT_LE(cell.frame.width(), area.width() / rowItems[cell.row] + 1e-9);
        }
        for (int row = 0; row < rows; ++row) {
          EXPECT_NEAR(rowLeft[row], area.width() - rowRight[row], 1e-6) << "row " << row << " centred";
          if (row > 0) {
            EXPECT_NEAR(rowBottom[row - 1], rowTop[row], 1e-6) << "no gap above row " << row;
          }
        }
        EXPECT_NEAR(rowTop[0], area.height() - rowBottom[rows - 1], 1e-6) << "block centred";
        for (std::size_t i = 0; i < count && rows >= 2; ++i) {
          const Cell& cell = layout.cells[i];
          if (cell.row == 0) {
            EXPECT_NEAR(cell.frame.bottom(), rowBottom[0], 1e-6) << "top row rests";
          }
          if (cell.row == rows - 1) {
            EXPECT_NEAR(cell.frame.top(), rowTop[rows - 1], 1e-6) << "bottom row hangs";
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace lorvex::ui
