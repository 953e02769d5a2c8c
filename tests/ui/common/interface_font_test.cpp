#include <gtest/gtest.h>

#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>

#include "ui/common/ui_roles.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

class InterfaceFontTest : public testing::WidgetTest {};

// The fonts that actually draw `text` in `font`, and whether any character came out as the empty
// box (glyph 0).
struct Shaped {
  QStringList families;
  bool hasMissingGlyph = false;
};

Shaped shape(const QString& text, const QFont& font) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  Shaped shaped;
  for (const QGlyphRun& run : layout.glyphRuns()) {
    shaped.families.append(run.rawFont().familyName());
    for (const quint32 glyph : run.glyphIndexes()) shaped.hasMissingGlyph |= glyph == 0;
  }
  return shaped;
}

TEST_F(InterfaceFontTest, JapaneseTextDrawsInTheCJKFontInBothLanguages) {
  const QString japanese = QStringLiteral("続きを読み込み中… 画像「夜景」");
  for (const char* language : {"en", "ja"}) {
    SCOPED_TRACE(language);
    const QFont font = interfaceFont(language);
    const Shaped shaped = shape(japanese, font);
    EXPECT_FALSE(shaped.hasMissingGlyph);
    EXPECT_TRUE(shaped.families.contains(QStringLiteral("Noto Sans CJK JP")))
        << shaped.families.join(",").toStdString();
    EXPECT_EQ(font.pixelSize(), fontRolePixelSize(FontRole::body));
  }
  // English text keeps the Latin design in the English interface.
  const Shaped latin = shape(QStringLiteral("Loading more…"), interfaceFont("en"));
  EXPECT_FALSE(latin.hasMissingGlyph);
  EXPECT_EQ(latin.families.value(0), QStringLiteral("DejaVu Sans"));
}

}  // namespace
}  // namespace lorvex::ui
