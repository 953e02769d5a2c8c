#include "ui/common/symbol_icon.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <set>
#include <string>

#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

using testing::WidgetTest;

class SymbolIconTest : public WidgetTest {};

// How many pixels carry colour, and whether every such pixel is close to `color` or white.
struct Ink {
  int painted = 0;
  int foreign = 0;
};

Ink inkOf(const QPixmap& pixmap, const QColor& color) {
  const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  Ink ink;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.alpha() < 128) continue;
      ++ink.painted;
      const bool isColor = std::abs(pixel.red() - color.red()) < 40 &&
                           std::abs(pixel.green() - color.green()) < 40 &&
                           std::abs(pixel.blue() - color.blue()) < 40;
      const bool isWhite = pixel.red() > 200 && pixel.green() > 200 && pixel.blue() > 200;
      if (!isColor && !isWhite) ++ink.foreign;
    }
  }
  return ink;
}

TEST_F(SymbolIconTest, EveryBundledSymbolDrawsInTheAskedColourAtBothScales) {
  const auto names = bundledSymbolNames();
  ASSERT_TRUE(std::is_sorted(names.begin(), names.end()));  // the lookup is a binary search
  const QColor yellow(255, 204, 0);
  for (const auto name : names) {
    SCOPED_TRACE(std::string(name));
    ASSERT_TRUE(hasBundledSymbol(name));
    for (const qreal scale : {1.0, 2.0}) {
      const QPixmap pixmap = symbolPixmap(name, 27, yellow, scale);
      ASSERT_FALSE(pixmap.isNull());
      EXPECT_EQ(pixmap.width(), static_cast<int>(27 * scale));
      EXPECT_EQ(pixmap.devicePixelRatio(), scale);
      const Ink ink = inkOf(pixmap, yellow);
      EXPECT_GT(ink.painted, 10 * scale * scale);
      EXPECT_LT(ink.foreign, ink.painted / 5);  // anti-aliased edges only
    }
    EXPECT_FALSE(tintedSymbolIcon(name, yellow).isNull());
    EXPECT_FALSE(symbolIcon(name).isNull());
  }
}

// A bundled symbol drawn whole, as one painter on the whole picture draws it.
QImage symbolDrawnWhole(std::string_view name, int side, const QColor& color) {
  QFile file(
      QStringLiteral(":/icons/%1.svg").arg(QString::fromUtf8(name.data(), static_cast<int>(name.size()))));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  QByteArray svg = file.readAll();
  svg.replace("#000", QColor(color.red(), color.green(), color.blue()).name().toLatin1());
  QSvgRenderer renderer(svg);
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(color.alphaF());
  renderer.render(&painter, QRectF(0, 0, side, side));
  return image;
}

TEST_F(SymbolIconTest, ASymbolDrawnInBandsIsTheSymbolDrawnWhole) {
  for (const auto name : bundledSymbolNames()) {
    SCOPED_TRACE(std::string(name));
    for (const QColor& color : {QColor(255, 204, 0), QColor(255, 255, 255, 235)}) {
      for (const int side : {27, 54}) {
        const QImage banded = symbolPixmap(name, side, color, 1.0)
                                  .toImage()
                                  .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(banded, symbolDrawnWhole(name, side, color)) << side << " px";
      }
    }
  }
}

TEST_F(SymbolIconTest, EveryBundledSvgFileIsListedAndEveryListedNameHasAFile) {
  std::set<std::string> files;
  for (const QString& file : QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")})) {
    files.insert(file.chopped(4).toStdString());
  }
  const auto names = bundledSymbolNames();
  EXPECT_EQ(files, std::set<std::string>(names.begin(), names.end()));
}

TEST_F(SymbolIconTest, UnknownNamesGiveNullIcons) {
  for (const std::string_view name : {"", "no.such.symbol", "star.fil", "trash.fill.extra"}) {
    EXPECT_FALSE(hasBundledSymbol(name)) << name;
    EXPECT_TRUE(symbolIcon(name).isNull()) << name;
    EXPECT_TRUE(symbolPixmap(name, 16, Qt::black, 1).isNull()) << name;
  }
}

TEST_F(SymbolIconTest, ThemeNamesStandOnlyForBundledSymbols) {
  // A theme icon replaces a bundled symbol; a theme-only name would vanish on a bare desktop.
  for (const auto name : {"folder", "trash", "doc.on.doc", "play.fill", "xmark"}) {
    EXPECT_FALSE(themeIconName(name).empty()) << name;
  }
  for (const auto name : {"star.fill", "trash.fill", "checkmark.circle.fill"}) {
    EXPECT_TRUE(themeIconName(name).empty()) << name;  // their colour carries meaning
  }
}

}  // namespace
}  // namespace lorvex::ui
