// The fonts and colours the views share, by role, so that a caption or a secondary text looks the
// same in every view and follows the application palette (light or dark). Sizes are pixel sizes:
// the layout numbers of the views are pixels too, so text keeps its proportion to them on every
// screen scale.
//
// Thread safety: GUI thread only (fonts and palettes belong to the application).
#pragma once

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <string>
#include <string_view>

class QWidget;

namespace lorvex::ui {

enum class FontRole {
  largeTitle,   // 26
  title,        // 22
  title2,       // 17
  title3,       // 15
  headline,     // 13, semibold
  body,         // 13
  callout,      // 12
  subheadline,  // 11
  footnote,     // 10
  caption,      // 10
  caption2,     // 10
};

// The interface language of the live localization ("en", "ja"): the system locale's preferred
// interface languages as AppLocalization::live() reads them.
std::string liveInterfaceLanguage();
// The application font for an interface language: the Latin font first and Noto Sans CJK JP as
// the fallback for Japanese glyphs, or, for Japanese, Noto Sans CJK JP first so kana, kanji and
// Latin share one design. 13 px. The program sets it once at start, with its desktop integration;
// the screens tool and the tests that lay text out as the program does set it too.
QFont interfaceFont(std::string_view language);

int fontRolePixelSize(FontRole role);
// The application font's family at the role's size (and weight: semibold for the headline).
QFont roleFont(FontRole role);
QFont roleFont(FontRole role, QFont::Weight weight);
QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal);
// Numbers in floating controls: 18 px, regular, digits of one width so a changing count does not
// shift its neighbours. Made once.
const QFont& floatingControlValueFont();

enum class ColorRole {
  primary,    // text
  secondary,  // less important text
  tertiary,   // hints, placeholders
  accent,     // selection marks
  yellow,
  red,
  green,
  separator,
  windowBackground,
  controlBackground,  // lists and inputs
  textBackground,
};

QColor roleColor(ColorRole role, const QPalette& palette = QGuiApplication::palette());
// `color` with its alpha multiplied by `opacity` (0…1).
QColor withOpacity(QColor color, qreal opacity);
// Whether the palette is a dark one (light text on a dark window).
bool isDarkPalette(const QPalette& palette);
// Sets the colour a widget draws its text in (WindowText, Text and ButtonText of its palette).
void setForegroundColor(QWidget& widget, const QColor& color);

}  // namespace lorvex::ui
