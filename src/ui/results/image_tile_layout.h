// Where a result tile sits in its grid cell and where its parts sit in the tile. The grid lays its
// cells edge to edge, one column's share plus the spacing wide; inside a cell the tile starts
// after the padding and is centred in its column's share when the tile width is capped, so the
// first tile is the padding from the left edge and neighbours are the spacing apart. The cell's
// height is the tile's plus the spacing, the tile sitting after the spacing at the cell's top.
//
// A tile: padding, a square image area, the spacing before the file name, one line of name,
// padding. Its height follows its width and the height of the name's line.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <QRectF>
#include <QSize>

#include "ui/results/results_grid_geometry.h"

namespace lorvex::ui {

struct ImageTileLayout {
  QSize cellSize;          // whole pixels: the list lays cells out on an integer grid
  QRectF tile;             // in cell coordinates
  QRectF imageArea;        // in cell coordinates, square
  QRectF nameArea;         // in cell coordinates, one line
  double columnWidth = 0;  // the whole-pixel column share the cells were made from

  friend bool operator==(const ImageTileLayout&, const ImageTileLayout&) = default;
};

// The layout of every cell for the grid of `geometry` (its column share is rounded down to whole
// pixels), with the name's line `nameLineHeight` high.
ImageTileLayout imageTileLayout(const ResultsGridGeometry& geometry, double nameLineHeight);

}  // namespace lorvex::ui
