// Where the slideshow puts the one to six images it shows at once. Every choice of column count
// (1 ... n, rows following) is laid out with each image at its own aspect ratio, and the one whose
// images cover the most area wins; areas within half a square point count as equal, and then
// fewer empty cells, fewer rows and fewer columns win in that order. Rows form one block centred
// in the area, each row centred on its own; with two rows or more the top row rests on the next
// one and the bottom row hangs from the one above, so the block has no inner gap.
//
// Proportions come from the generation metadata's pixel size, never from the file: an image whose
// size is unknown (absent, or below 1 on either side) is laid out as a square.
//
// Thread safety: a plain value built by a pure function, usable on any thread.
#pragma once

#include <QRectF>
#include <QSizeF>
#include <cstdint>
#include <optional>
#include <vector>

#include "store/record_ref.h"

namespace lorvex::ui {

// An image's recorded pixel size; either side may be unknown.
struct SlideshowImageProportions {
  std::optional<std::int64_t> width;
  std::optional<std::int64_t> height;
};

struct SlideshowAdaptiveGridLayout {
  struct Cell {
    int index = 0;   // position of the image in the input
    int row = 0;     // 0-based, from the top
    int column = 0;  // 0-based position within its row
    QRectF frame;    // origin at the area's top left, y growing downwards

    friend bool operator==(const Cell&, const Cell&) = default;
  };

  int rowCount = 0;
  int columnCount = 0;
  std::vector<Cell> cells;  // in input order

  friend bool operator==(const SlideshowAdaptiveGridLayout&, const SlideshowAdaptiveGridLayout&) = default;

  // The layout of `images` in an area of `size` points. No images: 0 x 0 and no cells. An area
  // without positive width and height (zero, negative, not a number, infinite): one row of n
  // columns and no cells.
  static SlideshowAdaptiveGridLayout make(const std::vector<SlideshowImageProportions>& images, QSizeF size);
  static SlideshowAdaptiveGridLayout make(const std::vector<RecordRef>& records, QSizeF size);
};

}  // namespace lorvex::ui
