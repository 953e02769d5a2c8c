// Wrapped Latin text never breaks inside a word at its solidus or hyphen ("disk I/ | O error", the
// sidebar's error line once was), at any width that holds the word; a path still breaks after its
// slashes.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

class LatinWordBreaksTest : public testing::WidgetTest {};

TEST_F(LatinWordBreaksTest, AWordIsKeptWholeAtEveryWidthThatHoldsItAndAPathBreaksAtItsSlashes) {
  struct Row {
    QString text;
    QString word;
  };
  const Row rows[] = {
      {QStringLiteral("The library could not be read or updated: disk I/O error"), QStringLiteral("I/O")},
      {QStringLiteral("The library could not be read or updated: Input/output error (EIO)"),
       QStringLiteral("Input/output")},
      {QStringLiteral("The library is on a read-only file system"), QStringLiteral("read-only")},
  };
  const QFont font = roleFont(FontRole::caption2);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text.toStdString());
    const int fits = static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(row.word))) + 1;
    for (int width = fits; width <= 400; ++width) {
      const QStringList lines = wrapText(row.text, font, width).lines;
      const bool whole = std::any_of(lines.begin(), lines.end(),
                                     [&](const QString& line) { return line.contains(row.word); });
      EXPECT_TRUE(whole) << width << ": " << lines.join('|').toStdString();
      if (!whole) break;
    }
  }
  // A path is no word: it breaks after its slashes as before.
  const QString text = QStringLiteral("Unable to read /home/person/Pictures/Lorvex/outputs/portrait-07.png");
  bool brokeAfterSlash = false;
  for (int width = 60; width <= 300 && !brokeAfterSlash; ++width) {
    const QStringList lines = wrapText(text, font, width).lines;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) brokeAfterSlash |= lines[i].endsWith(QLatin1Char('/'));
  }
  EXPECT_TRUE(brokeAfterSlash);
}

}  // namespace
}  // namespace lorvex::ui
