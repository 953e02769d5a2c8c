// The geometry of the inspector's chip layout: chips left to right in their order, a new row when
// the next one would pass the available width, rows top to bottom and top-aligned. Measuring and
// placing both run makePlan, so what is measured is what is placed.
//
// A chip wider than the available width is given exactly that width (the chip elides its own
// text rather than overflowing). Without a width (absent, infinite or not a number) nothing wraps
// and the plan is one row as wide as its chips; with one, the plan is exactly that wide.
// Negative sizes and spacings count as 0.
//
// Thread safety: pure.
#pragma once

#include <optional>
#include <vector>

namespace lorvex::ui {

struct FlowSize {
  double width = 0;
  double height = 0;
  friend bool operator==(const FlowSize&, const FlowSize&) = default;
};

struct FlowRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  friend bool operator==(const FlowRect&, const FlowRect&) = default;
};

struct MetadataTagFlowLayoutPlan {
  struct Cell {
    int index = 0;   // the child's position among the children
    FlowRect frame;  // from the layout's top-left corner
    friend bool operator==(const Cell&, const Cell&) = default;
  };

  std::vector<Cell> cells;  // one per child, in child order
  FlowSize size;

  friend bool operator==(const MetadataTagFlowLayoutPlan&, const MetadataTagFlowLayoutPlan&) = default;
};

// Linear in the number of sizes.
MetadataTagFlowLayoutPlan makePlan(const std::vector<FlowSize>& sizes, std::optional<double> availableWidth,
                                   double horizontalSpacing, double verticalSpacing);

// The spacing every chip layout of the inspector uses, both ways.
inline constexpr double kMetadataTagFlowSpacing = 6;

}  // namespace lorvex::ui
