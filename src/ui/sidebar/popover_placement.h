// Where a filter popover goes: beside its control on the trailing side (the right in a
// left-to-right layout), its top level with the control's top, moved inside the screen's
// available area; when the trailing side has no room it goes to the leading side. No arrow.
//
// Thread safety: pure, callable from any thread.
#pragma once

#include <QRect>
#include <QSize>

namespace lorvex::ui {

inline constexpr QSize kFilterPopoverSize{420, 560};
inline constexpr int kFilterPopoverGap = 6;

QRect filterPopoverGeometry(const QRect& anchorGlobalRect, const QRect& availableScreen, QSize size,
                            Qt::LayoutDirection direction);

}  // namespace lorvex::ui
