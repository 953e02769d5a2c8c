#include "ui/slideshow/slideshow_adaptive_grid_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace lorvex::ui {

namespace {

struct RowItem {
  int index = 0;
  int column = 0;
  QSizeF imageSize;
};

struct RowLayout {
  int row = 0;
  std::vector<RowItem> items;
  double width = 0;   // sum of the image widths
  double height = 0;  // the tallest image
};

struct Candidate {
  int rowCount = 0;
  int columnCount = 0;
  double imageArea = 0;
  int emptyCellCount = 0;
};

// An infinite or undefined side cannot hold an image: it counts as no room at all.
double usableSide(double side) {
  return std::isfinite(side) ? std::max(0.0, side) : 0.0;
}

QSizeF imageSizeInCell(const SlideshowImageProportions& image, double rowHeight, double cellWidth) {
  const bool known =
      image.width.has_value() && image.height.has_value() && *image.width >= 1 && *image.height >= 1;
  if (known) {
    const double aspect = static_cast<double>(*image.width) / static_cast<double>(*image.height);
    if (aspect > 0 && cellWidth > 0 && rowHeight > 0) {
      const double width = std::min(rowHeight * aspect, cellWidth);
      return {width, width / aspect};
    }
    return {0, 0};
  }
  if (rowHeight > 0 && cellWidth > 0) {
    const double side = std::min(rowHeight, cellWidth);
    return {side, side};
  }
  return {0, 0};
}

// Rows of `columns` consecutive images each (the last may hold fewer), `rows` of them sharing the
// height equally; a row's images share its width equally.
std::vector<RowLayout> layOutRows(const std::vector<SlideshowImageProportions>& images, int rows, int columns,
                                  double width, double height) {
  const int count = static_cast<int>(images.size());
  const double rowHeight = height / rows;
  std::vector<RowLayout> layout;
  layout.reserve(static_cast<std::size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    const int first = row * columns;
    const int last = std::min(first + columns, count);
    RowLayout current;
    current.row = row;
    if (first < last) {
      const double cellWidth = width / (last - first);
      for (int index = first; index < last; ++index) {
        const QSizeF size = imageSizeInCell(images[static_cast<std::size_t>(index)], rowHeight, cellWidth);
        current.items.push_back(RowItem{index, index - first, size});
        current.width += size.width();
        current.height = std::max(current.height, size.height());
      }
    }
    layout.push_back(std::move(current));
  }
  return layout;
}

double imageAreaOf(const std::vector<RowLayout>& rows) {
  double area = 0;
  for (const RowLayout& row : rows) {
    for (const RowItem& item : row.items) area += item.imageSize.width() * item.imageSize.height();
  }
  return area;
}

bool replacesBest(const Candidate& candidate, const Candidate& best) {
  if (std::abs(candidate.imageArea - best.imageArea) > 0.5) return candidate.imageArea > best.imageArea;
  if (candidate.emptyCellCount != best.emptyCellCount) return candidate.emptyCellCount < best.emptyCellCount;
  if (candidate.rowCount != best.rowCount) return candidate.rowCount < best.rowCount;
  return candidate.columnCount < best.columnCount;
}

std::vector<SlideshowAdaptiveGridLayout::Cell> cellsOf(const std::vector<RowLayout>& rows, double width,
                                                       double height) {
  double blockHeight = 0;
  for (const RowLayout& row : rows) blockHeight += row.height;
  const int rowCount = static_cast<int>(rows.size());
  std::vector<SlideshowAdaptiveGridLayout::Cell> cells;
  double rowTop = std::max(0.0, (height - blockHeight) / 2);
  for (const RowLayout& row : rows) {
    double x = std::max(0.0, (width - row.width) / 2);
    for (const RowItem& item : row.items) {
      const double slack = row.height - item.imageSize.height();
      double y = rowTop + std::max(0.0, slack / 2);
      if (rowCount >= 2 && row.row == 0) y = rowTop + std::max(0.0, slack);  // rests on the row below
      if (rowCount >= 2 && row.row == rowCount - 1) y = rowTop;              // hangs from the row above
      cells.push_back({item.index, row.row, item.column, QRectF(QPointF(x, y), item.imageSize)});
      x += item.imageSize.width();
    }
    rowTop += row.height;
  }
  return cells;
}

}  // namespace

SlideshowAdaptiveGridLayout SlideshowAdaptiveGridLayout::make(
    const std::vector<SlideshowImageProportions>& images, QSizeF size) {
  const int count = static_cast<int>(images.size());
  if (count == 0) return {};
  const double width = usableSide(size.width());
  const double height = usableSide(size.height());
  if (width <= 0 || height <= 0) return {1, count, {}};

  Candidate best;
  for (int columns = 1; columns <= count; ++columns) {
    const int rows = (count + columns - 1) / columns;
    const Candidate candidate{rows, columns, imageAreaOf(layOutRows(images, rows, columns, width, height)),
                              rows * columns - count};
    if (columns == 1 || replacesBest(candidate, best)) best = candidate;
  }
  return {best.rowCount, best.columnCount,
          cellsOf(layOutRows(images, best.rowCount, best.columnCount, width, height), width, height)};
}

SlideshowAdaptiveGridLayout SlideshowAdaptiveGridLayout::make(const std::vector<RecordRef>& records,
                                                              QSizeF size) {
  std::vector<SlideshowImageProportions> images;
  images.reserve(records.size());
  for (const RecordRef& record : records) {
    if (record == nullptr) {
      images.push_back({});
    } else {
      images.push_back({record->metadata.width, record->metadata.height});
    }
  }
  return make(images, size);
}

}  // namespace lorvex::ui
