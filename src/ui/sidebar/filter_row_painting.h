// How a filter row is drawn, shared by the sidebar's row buttons and the popovers' list delegates:
// the mark, an optional icon, the text on one line elided in the middle (with an optional smaller
// second line), a flexible gap and an optional count at the trailing edge.
//
// Thread safety: the GUI thread only (fonts and painting).
#pragma once

#include <QFont>
#include <QPalette>
#include <QRect>
#include <QSize>

#include "ui/sidebar/filter_row_presentation.h"

class QPainter;

namespace lorvex::ui {

struct FilterRowMetrics {
  int markWidth = 16;
  int iconWidth = 16;
  int spacing = 8;
  int verticalPadding = 2;
  int minimumGap = 8;  // before the count

  static FilterRowMetrics sidebar() { return {16, 16, 8, 3, 8}; }
  static FilterRowMetrics popover() { return {18, 16, 10, 5, 8}; }
};

struct FilterRowPaintState {
  bool isHovered = false;
  bool hasFocus = false;
  bool isPressed = false;
};

QSize filterRowSizeHint(const FilterRowPresentation& row, const FilterRowMetrics& metrics, const QFont& font);
void paintFilterRow(QPainter& painter, const QRect& rect, const FilterRowPresentation& row,
                    const FilterRowMetrics& metrics, const QFont& font, const QPalette& palette,
                    FilterRowPaintState state);

}  // namespace lorvex::ui
