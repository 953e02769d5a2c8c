// The Trash review's tiles: their path area against the text it shows.
#include "ui/review/trash_review_candidate_grid.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QTextLayout>
#include <cmath>

#include "ui/common/ui_roles.h"
#include "ui/review/trash_review_tile_appearance.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

class TrashReviewTileTest : public testing::WidgetTest {};

// A Japanese folder is drawn in the fallback font, whose lines are taller than the Latin font's:
// the area still holds the first two lines of such a path whole (descenders included).
TEST_F(TrashReviewTileTest, ThePathAreaHoldsTwoLinesOfAJapaneseFolder) {
  const QFont caption = roleFont(FontRole::caption);
  const QString path = QStringLiteral(
      "~/\u30D4\u30AF\u30C1\u30E3/\u65C5\u884C\u306E\u5199\u771F/\u4EAC\u90FD\u306E\u7D05\u8449/"
      "\u590F\u306E\u601D\u3044\u51FA/\u5BB6\u65CF\u3068\u53CB\u9054/\u5915\u713C\u3051\u306E\u6D77");
  const TrashReviewTileDelegate delegate;
  const double width = delegate.tileWidth() - 2 * trash_review_tile_metrics::kPadding;
  QTextLayout layout(path, caption);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine first = layout.createLine();
  first.setLineWidth(width);
  QTextLine second = layout.createLine();
  second.setLineWidth(width);
  layout.endLayout();
  ASSERT_TRUE(second.isValid() && second.textStart() + second.textLength() < path.size());
  const QString twoLines = path.left(second.textStart() + second.textLength());
  const QRectF drawn = QFontMetricsF(caption).boundingRect(
      QRectF(0, 0, width, 1 << 20), Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere, twoLines);
  EXPECT_GE(TrashReviewTileDelegate::pathAreaHeight(), std::ceil(drawn.height()));
}

}  // namespace
}  // namespace lorvex::ui
