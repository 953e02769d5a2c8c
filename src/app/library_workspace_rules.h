// The inspector's width memory: the width the user last left the inspector at is kept for the
// whole application and becomes the width it opens at, in every window and after a relaunch.
//
// Thread safety: pure functions.
#pragma once

#include <optional>
#include <string_view>

namespace lorvex::app {

inline constexpr double kInspectorMinimumWidth = 320;
inline constexpr double kInspectorMaximumWidth = 520;
inline constexpr double kInspectorDefaultWidth = 360;
// Reports outside this range come from layouts in motion (a window being closed or collapsed).
inline constexpr double kInspectorReportMinimum = 319;
inline constexpr double kInspectorReportMaximum = 521;
// Smaller changes are layout rounding, not the user's choice.
inline constexpr double kInspectorSmallestStoredChange = 0.5;
// The results grid never gets narrower than this.
inline constexpr int kWorkspaceGridMinimumWidth = 520;

// The settings keys: whether the inspector is open, and its remembered width.
inline constexpr std::string_view kInspectorPresentedKey = "Lorvex.imageDetailPanel.isPresented";
inline constexpr std::string_view kInspectorRememberedWidthKey = "Lorvex.imageDetailPanel.rememberedWidth";

// The stored width when finite and positive, clamped to the inspector's limits; 360 otherwise
// (nothing stored, zero, negative, infinite, NaN).
double effectiveRememberedWidth(std::optional<double> storedWidth);

// What to store for a width the inspector reports: nothing unless the report is within 319...521
// (finite, positive); the report clamped to 320...520 otherwise, unless it is within half a point
// of the current effective width. An out-of-range stored value (1000, read as 520) is therefore not
// rewritten while the inspector reports 520.
std::optional<double> rememberedWidthToStore(std::optional<double> reportedWidth,
                                             std::optional<double> storedWidth);

}  // namespace lorvex::app
