#include "ui/sidebar/popover_placement.h"

#include <algorithm>

namespace lorvex::ui {

QRect filterPopoverGeometry(const QRect& anchor, const QRect& screen, QSize size,
                            Qt::LayoutDirection direction) {
  const int trailingX = direction == Qt::LeftToRight ? anchor.right() + 1 + kFilterPopoverGap
                                                     : anchor.left() - kFilterPopoverGap - size.width();
  const int leadingX = direction == Qt::LeftToRight ? anchor.left() - kFilterPopoverGap - size.width()
                                                    : anchor.right() + 1 + kFilterPopoverGap;
  const auto fits = [&](int x) { return x >= screen.left() && x + size.width() - 1 <= screen.right(); };
  int x = fits(trailingX) || !fits(leadingX) ? trailingX : leadingX;
  int y = anchor.top();
  // Kept on the screen: a popover larger than the screen keeps its top-left corner visible.
  x = std::max(screen.left(), std::min(x, screen.right() + 1 - size.width()));
  y = std::max(screen.top(), std::min(y, screen.bottom() + 1 - size.height()));
  return {QPoint(x, y), size};
}

}  // namespace lorvex::ui
