#include "app/library_workspace_rules.h"

#include <algorithm>
#include <cmath>

namespace lorvex::app {

double effectiveRememberedWidth(std::optional<double> storedWidth) {
  if (!storedWidth || !std::isfinite(*storedWidth) || *storedWidth <= 0) return kInspectorDefaultWidth;
  return std::clamp(*storedWidth, kInspectorMinimumWidth, kInspectorMaximumWidth);
}

std::optional<double> rememberedWidthToStore(std::optional<double> reportedWidth,
                                             std::optional<double> storedWidth) {
  if (!reportedWidth) return std::nullopt;
  const double width = *reportedWidth;
  // NaN fails every comparison, so it is refused here as well.
  if (!(width >= kInspectorReportMinimum && width <= kInspectorReportMaximum) || !std::isfinite(width) ||
      width <= 0) {
    return std::nullopt;
  }
  const double clamped = std::clamp(width, kInspectorMinimumWidth, kInspectorMaximumWidth);
  if (std::abs(clamped - effectiveRememberedWidth(storedWidth)) < kInspectorSmallestStoredChange)
    return std::nullopt;
  return clamped;
}

}  // namespace lorvex::app
