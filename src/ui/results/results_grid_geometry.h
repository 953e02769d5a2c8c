// Where the results grid puts its tiles for a given viewport width, and where an arrow key moves
// the focus. The column count adapts to the width (tiles at least 148 wide including a spacing
// of 12), the columns share the width left after the padding evenly, and a tile never grows past
// 220: a wider column keeps its tile centred. The arrow keys move by the columns on screen, so
// the same count drives the layout and the keyboard.
//
// Thread safety: constants and pure functions, callable from any thread.
#pragma once

#include <optional>

namespace lorvex::ui {

namespace results_grid_metrics {
inline constexpr double kPadding = 12;  // around the tiles, on all four edges
inline constexpr double kSpacing = 12;  // between columns and between rows
inline constexpr double kMinimumColumnWidth = 148;
inline constexpr double kMaximumTileWidth = 220;
}  // namespace results_grid_metrics

// max(1, ⌊(max(width − 24, 0) + 12) / 160⌋). A width that is not a number counts as 0.
int resultsGridColumnCount(double width);

struct ResultsGridGeometry {
  int columns = 1;
  double columnWidth = 0;  // the share of one column, never negative
  double tileWidth = 0;    // the column width capped at the largest tile

  friend bool operator==(const ResultsGridGeometry&, const ResultsGridGeometry&) = default;
};

ResultsGridGeometry resultsGridGeometry(double width);

// The four arrow keys; where an arrow moves the focus is the store's rule (gridTargetIndex).
enum class GridArrow { left, right, up, down };

}  // namespace lorvex::ui
