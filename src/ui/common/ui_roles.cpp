#include "ui/common/ui_roles.h"

#include <QLocale>
#include <QStringList>
#include <QWidget>
#include <vector>

#include "ui/common/localization_table.h"

namespace lorvex::ui {

std::string liveInterfaceLanguage() {
  std::vector<std::string> preferred;
  for (const QString& language : QLocale::system().uiLanguages()) preferred.push_back(language.toStdString());
  return std::string(localizationLanguage(preferred));
}

QFont interfaceFont(std::string_view language) {
  QFont font;
  const QString latin = QStringLiteral("DejaVu Sans");
  const QString japanese = QStringLiteral("Noto Sans CJK JP");
  font.setFamilies(language == "ja" ? QStringList{japanese, latin} : QStringList{latin, japanese});
  font.setPixelSize(fontRolePixelSize(FontRole::body));
  return font;
}

int fontRolePixelSize(FontRole role) {
  switch (role) {
    case FontRole::largeTitle:
      return 26;
    case FontRole::title:
      return 22;
    case FontRole::title2:
      return 17;
    case FontRole::title3:
      return 15;
    case FontRole::headline:
      return 13;
    case FontRole::body:
      return 13;
    case FontRole::callout:
      return 12;
    case FontRole::subheadline:
      return 11;
    case FontRole::footnote:
      return 10;
    case FontRole::caption:
      return 10;
    case FontRole::caption2:
      return 10;
  }
  return 13;
}

QFont roleFont(FontRole role) {
  return roleFont(role, role == FontRole::headline ? QFont::DemiBold : QFont::Normal);
}

QFont roleFont(FontRole role, QFont::Weight weight) {
  return systemFont(fontRolePixelSize(role), weight);
}

QFont systemFont(int pixelSize, QFont::Weight weight) {
  QFont font = QGuiApplication::font();
  font.setPixelSize(pixelSize);
  font.setWeight(weight);
  return font;
}

const QFont& floatingControlValueFont() {
  // The interface fonts (DejaVu Sans, Noto Sans CJK) draw every digit one width by default.
  static const QFont font = systemFont(18, QFont::Normal);
  return font;
}

bool isDarkPalette(const QPalette& palette) {
  return palette.color(QPalette::WindowText).lightness() > palette.color(QPalette::Window).lightness();
}

QColor withOpacity(QColor color, qreal opacity) {
  color.setAlphaF(color.alphaF() * opacity);
  return color;
}

QColor roleColor(ColorRole role, const QPalette& palette) {
  const bool dark = isDarkPalette(palette);
  const QColor text = palette.color(QPalette::WindowText);
  switch (role) {
    case ColorRole::primary:
      return text;
    case ColorRole::secondary:
      return withOpacity(text, 0.55);
    case ColorRole::tertiary:
      return withOpacity(text, 0.3);
    case ColorRole::accent:
      return palette.color(QPalette::Highlight);
    case ColorRole::yellow:
      return dark ? QColor(0xff, 0xd6, 0x0a) : QColor(0xff, 0xcc, 0x00);
    case ColorRole::red:
      return dark ? QColor(0xff, 0x45, 0x3a) : QColor(0xff, 0x3b, 0x30);
    case ColorRole::green:
      return dark ? QColor(0x30, 0xd1, 0x58) : QColor(0x28, 0xcd, 0x41);
    case ColorRole::separator:
      return withOpacity(text, 0.12);
    case ColorRole::windowBackground:
      return palette.color(QPalette::Window);
    case ColorRole::controlBackground:
      return palette.color(QPalette::Base);
    case ColorRole::textBackground:
      return palette.color(QPalette::Base);
  }
  return text;
}

void setForegroundColor(QWidget& widget, const QColor& color) {
  QPalette palette = widget.palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::WindowText, color);
    palette.setColor(group, QPalette::Text, color);
    palette.setColor(group, QPalette::ButtonText, color);
  }
  widget.setPalette(palette);
}

}  // namespace lorvex::ui
