#include "ui/detail/metadata_tag_flow_layout_plan.h"

#include <algorithm>
#include <cmath>

namespace lorvex::ui {

MetadataTagFlowLayoutPlan makePlan(const std::vector<FlowSize>& sizes, std::optional<double> availableWidth,
                                   double horizontalSpacing, double verticalSpacing) {
  MetadataTagFlowLayoutPlan plan;
  if (sizes.empty()) return plan;

  const bool bounded = availableWidth && std::isfinite(*availableWidth);
  const double width = bounded ? std::max(*availableWidth, 0.0) : 0.0;
  const double hSpacing = std::max(horizontalSpacing, 0.0);
  const double vSpacing = std::max(verticalSpacing, 0.0);
  // max() also turns a NaN size into 0: the comparison with NaN is false and 0 is kept.
  const auto clamped = [](double value) { return std::max(0.0, value); };

  plan.cells.reserve(sizes.size());
  double x = 0;
  double y = 0;
  double rowHeight = 0;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const double childWidth = clamped(sizes[i].width);
    const double childHeight = clamped(sizes[i].height);
    const double fittingWidth = std::min(childWidth, width);
    const double cellWidth = bounded ? fittingWidth : childWidth;
    double cellX = 0;
    if (i > 0) {
      const double candidate = x + hSpacing;
      if (bounded && candidate + fittingWidth > width) {
        y += rowHeight + vSpacing;
        rowHeight = 0;
      } else {
        cellX = candidate;
      }
    }
    plan.cells.push_back({static_cast<int>(i), {cellX, y, cellWidth, childHeight}});
    x = cellX + cellWidth;
    rowHeight = std::max(rowHeight, childHeight);
  }
  plan.size = {bounded ? width : x, y + rowHeight};
  return plan;
}

}  // namespace lorvex::ui
