// Symbols by name ("star.fill", "trash", "chevron.right"): the one way a view asks for an icon.
// The icon theme's own icon is used where the theme has one of the same meaning; otherwise, and
// always for tinted uses, the SVG bundled with the program (":/icons/<name>.svg") is drawn in the
// colour the view asks for, so marks keep their colour meaning (a yellow star, a red warning) on
// every desktop.
//
// Thread safety: GUI thread only.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <span>
#include <string_view>

namespace lorvex::ui {

// The theme icon for the symbol when the theme has one, else the bundled symbol in the palette's
// text colour; a null icon for a name with neither.
QIcon symbolIcon(std::string_view symbolName);
// The bundled symbol in one colour, at every size (disabled: at 0.35 opacity). Null when not bundled.
QIcon tintedSymbolIcon(std::string_view symbolName, const QColor& color);
// The bundled symbol drawn square, `logicalSize` px at `devicePixelRatio`, in `color`. Null when
// not bundled.
QPixmap symbolPixmap(std::string_view symbolName, int logicalSize, const QColor& color,
                     qreal devicePixelRatio);

bool hasBundledSymbol(std::string_view symbolName);
std::span<const std::string_view> bundledSymbolNames();
// The freedesktop icon name standing for the symbol, empty when no theme icon means the same.
std::string_view themeIconName(std::string_view symbolName);

}  // namespace lorvex::ui
