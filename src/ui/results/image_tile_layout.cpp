#include "ui/results/image_tile_layout.h"

#include <algorithm>
#include <cmath>

#include "ui/common/image_tile_presentation.h"

namespace lorvex::ui {

ImageTileLayout imageTileLayout(const ResultsGridGeometry& geometry, double nameLineHeight) {
  namespace grid = results_grid_metrics;
  namespace tile = image_tile_metrics;
  ImageTileLayout layout;
  layout.columnWidth = std::max(std::floor(geometry.columnWidth), 2 * tile::kPadding + 1);
  const double tileWidth = std::min(layout.columnWidth, grid::kMaximumTileWidth);
  const double imageSide = tileWidth - 2 * tile::kPadding;
  const double nameHeight = std::ceil(std::max(nameLineHeight, 0.0));
  const double tileHeight = tile::kPadding + imageSide + tile::kNameSpacing + nameHeight + tile::kPadding;
  layout.tile =
      QRectF(grid::kPadding + (layout.columnWidth - tileWidth) / 2, grid::kSpacing, tileWidth, tileHeight);
  layout.imageArea =
      QRectF(layout.tile.left() + tile::kPadding, layout.tile.top() + tile::kPadding, imageSide, imageSide);
  layout.nameArea =
      QRectF(layout.imageArea.left(), layout.imageArea.bottom() + tile::kNameSpacing, imageSide, nameHeight);
  layout.cellSize = QSize(static_cast<int>(layout.columnWidth + grid::kSpacing),
                          static_cast<int>(std::ceil(tileHeight + grid::kSpacing)));
  return layout;
}

}  // namespace lorvex::ui
