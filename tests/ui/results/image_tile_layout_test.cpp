// The tile layout the grid hands its list: the list fits exactly as many cells a line as the keys
// move by, the first tile sits the padding in from the left, tiles are capped and centred, and a
// tile's parts stack in the fixed order and sizes.
#include "ui/results/image_tile_layout.h"

#include <gtest/gtest.h>

namespace lorvex::ui {
namespace {

TEST(ImageTileLayout, CellsFillTheLineWithTheColumnsTheKeysMoveBy) {
  const struct {
    double width;
    int columns;
    double tileWidth;
  } cases[] = {
      // Column shares rounded down to whole pixels.
      {505, 3, 152}, {1000, 6, 152},  {1186, 7, 155}, {100, 1, 76},
      {700, 4, 160}, {2000, 12, 153}, {560, 3, 170},  {820, 5, 149},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    const ResultsGridGeometry geometry = resultsGridGeometry(c.width);
    ASSERT_EQ(geometry.columns, c.columns);
    const ImageTileLayout layout = imageTileLayout(geometry, 13);
    // A list wraps when the next cell would pass the viewport's width.
    EXPECT_LE(c.columns * layout.cellSize.width(), c.width);
    EXPECT_GT((c.columns + 1) * layout.cellSize.width(), c.width);
    EXPECT_DOUBLE_EQ(layout.tile.width(), c.tileWidth);
    EXPECT_DOUBLE_EQ(layout.tile.top(), 12);
    EXPECT_DOUBLE_EQ(layout.imageArea.width(), c.tileWidth - 12);
    EXPECT_DOUBLE_EQ(layout.imageArea.height(), layout.imageArea.width());
    EXPECT_DOUBLE_EQ(layout.nameArea.top(), layout.imageArea.bottom() + 6);
    EXPECT_DOUBLE_EQ(layout.nameArea.height(), 13);
    EXPECT_DOUBLE_EQ(layout.tile.bottom(), layout.nameArea.bottom() + 6);
    EXPECT_EQ(layout.cellSize.height(), static_cast<int>(layout.tile.height()) + 12);
  }
}

TEST(ImageTileLayout, AWideColumnKeepsItsCappedTileCentred) {
  // One column of 276: the tile stays at 220 in its middle.
  const ImageTileLayout layout = imageTileLayout(resultsGridGeometry(300), 13.4);
  EXPECT_DOUBLE_EQ(layout.tile.width(), 220);
  EXPECT_DOUBLE_EQ(layout.tile.left(), 12 + (276 - 220) / 2.0);
  EXPECT_DOUBLE_EQ(layout.nameArea.height(), 14);  // whole pixels, rounded up
  EXPECT_EQ(layout.cellSize.width(), 288);
}

}  // namespace
}  // namespace lorvex::ui
