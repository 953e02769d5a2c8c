#include "ui/results/results_grid_geometry.h"

#include <algorithm>
#include <cmath>

namespace lorvex::ui {

using namespace results_grid_metrics;

int resultsGridColumnCount(double width) {
  if (!(width > 2 * kPadding)) return 1;  // also catches NaN
  const double slots = std::floor((width - 2 * kPadding + kSpacing) / (kMinimumColumnWidth + kSpacing));
  // An absurd width must not overflow the conversion.
  return static_cast<int>(std::clamp(slots, 1.0, 1e6));
}

ResultsGridGeometry resultsGridGeometry(double width) {
  ResultsGridGeometry geometry;
  geometry.columns = resultsGridColumnCount(width);
  if (width > 0) {
    const double available = width - 2 * kPadding - (geometry.columns - 1) * kSpacing;
    geometry.columnWidth = std::max(available / geometry.columns, 0.0);
  }
  geometry.tileWidth = std::min(geometry.columnWidth, kMaximumTileWidth);
  return geometry;
}

}  // namespace lorvex::ui
