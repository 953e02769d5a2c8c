// The chip layout as a QLayout (placement at the plan's cells, height for width, the one-row size
// hint) and the two eliding pieces the inspector draws with: a chip squeezed into a narrow row
// cuts its text in the middle, and a value cell keeps its head and tail within two lines.
#include <QWidget>
#include <optional>
#include <vector>

#include "ui/detail/metadata_chip_button.h"
#include "ui/detail/metadata_tag_flow_layout.h"
#include "ui/detail/middle_elided_label.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

class ChipLayoutWidgetsTest : public testing::WidgetTest {};

TEST_F(ChipLayoutWidgetsTest, LayoutPlacesItemsAtThePlansCells) {
  QWidget host;
  auto* layout = new MetadataTagFlowLayout(&host);
  std::vector<QWidget*> children;
  for (int i = 0; i < 3; ++i) {
    auto* child = new QWidget(&host);
    child->setFixedSize(40, 20);
    layout->addWidget(child);
    children.push_back(child);
  }
  EXPECT_TRUE(layout->hasHeightForWidth());
  EXPECT_EQ(layout->heightForWidth(100), 46);
  EXPECT_EQ(layout->heightForWidth(200), 20);
  EXPECT_EQ(layout->sizeHint(), QSize(132, 20)) << "one unbounded row";
  layout->setGeometry(QRect(10, 5, 100, 46));
  EXPECT_EQ(children[0]->geometry(), QRect(10, 5, 40, 20));
  EXPECT_EQ(children[1]->geometry(), QRect(56, 5, 40, 20));
  EXPECT_EQ(children[2]->geometry(), QRect(10, 31, 40, 20));

  // A hidden child takes no cell.
  children[1]->hide();
  layout->invalidate();
  layout->setGeometry(QRect(0, 0, 100, 46));
  EXPECT_EQ(children[2]->geometry(), QRect(46, 0, 40, 20));
}

TEST_F(ChipLayoutWidgetsTest, ChipsWithRoomShowTheirWholeText) {
  QWidget host;
  auto* layout = new MetadataTagFlowLayout(&host);
  std::vector<MetadataChipButton*> chips;
  for (const char* text :
       {"girl", "solo", "boy", "1girl", "looking at viewer", "outdoors", "cherry blossoms", "W"}) {
    auto* chip = new MetadataChipButton(&host);
    chip->setChipText(text);
    layout->addWidget(chip);
    chips.push_back(chip);
  }
  host.resize(380, 400);
  host.show();
  layout->activate();
  for (MetadataChipButton* chip : chips) {
    EXPECT_EQ(chip->width(), chip->sizeHint().width()) << chip->chipTextForTest().toStdString();
    EXPECT_EQ(chip->displayedText(), chip->chipTextForTest()) << chip->width();
  }
}

TEST_F(ChipLayoutWidgetsTest, AChipWiderThanItsRowCutsItsTextInTheMiddle) {
  QWidget host;
  auto* layout = new MetadataTagFlowLayout(&host);
  auto* chip = new MetadataChipButton(&host);
  const QString text = "masterpiece, best quality, very aesthetic, absurdres, highly detailed background";
  chip->setChipText(text);
  layout->addWidget(chip);
  ASSERT_GT(chip->sizeHint().width(), 160);
  EXPECT_GE(chip->sizeHint().height(), MetadataChipButton::kMinimumHeight);
  layout->setGeometry(QRect(0, 0, 160, 40));
  EXPECT_EQ(chip->width(), 160);
  const QString shown = chip->displayedText();
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith("mas")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("und")) << shown.toStdString();
  EXPECT_EQ(chip->chipTextForTest(), text);
}

TEST_F(ChipLayoutWidgetsTest, ValueCellKeepsHeadAndTailWithinTwoLines) {
  MiddleElidedLabel label(2);
  QString text;
  for (int i = 0; i < 60; ++i) text += QString("word%1 ").arg(i);
  text += "END";
  label.show();  // resize events reach shown widgets only
  label.resize(200, 100);
  label.setFullText(text);
  EXPECT_EQ(label.fullText(), text);
  EXPECT_TRUE(label.isElided());
  EXPECT_TRUE(label.text().startsWith("word0")) << label.text().toStdString();
  EXPECT_TRUE(label.text().endsWith("END")) << label.text().toStdString();
  EXPECT_LE(label.heightForWidth(200), label.fontMetrics().lineSpacing() * 2 + 1);
  label.resize(4000, 100);
  EXPECT_FALSE(label.isElided()) << "wide enough, the whole text shows";
  EXPECT_EQ(label.textFormat(), Qt::PlainText);

  // One word longer than the line is not broken by the label's word wrap: it is cut in its middle,
  // and what shows stays inside the width.
  const QString model = "waiIllustriousSDXL_v160_extended_merge_final.safetensors";
  label.resize(200, 100);
  label.setFullText(model);
  EXPECT_TRUE(label.isElided());
  EXPECT_TRUE(label.text().endsWith("safetensors")) << label.text().toStdString();
  EXPECT_LE(label.fontMetrics().boundingRect(QRect(0, 0, 200, 1000), Qt::TextWordWrap, label.text()).width(),
            200)
      << label.text().toStdString();
}

// The label keeps its measures of the full text; each step leaves it measuring as a label made
// afresh with the same font and text does, at every width a layout asks (the cut included).
TEST_F(ChipLayoutWidgetsTest, ValueCellMeasuresFollowItsTextAndFont) {
  QString longText;
  for (int i = 0; i < 30; ++i) longText += QString("word%1 ").arg(i);
  QFont larger = QWidget().font();
  larger.setPointSizeF(larger.pointSizeF() * 2);
  struct Step {
    const char* what;
    std::optional<QString> text;
    std::optional<QFont> font;
    int width;
  };
  const std::vector<Step> steps = {
      {"a short text", QStringLiteral("Euler a"), std::nullopt, 200},
      {"the same text narrower", std::nullopt, std::nullopt, 40},
      {"a long text", longText, std::nullopt, 120},
      {"a larger font", std::nullopt, larger, 120},
      {"back to the short text", QStringLiteral("Euler a"), std::nullopt, 120},
      {"no text", QString(), std::nullopt, 120},
  };
  MiddleElidedLabel label(2);
  label.show();  // resize events reach shown widgets only
  QString text;
  QFont font = label.font();
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    label.resize(step.width, 100);
    if (step.font) {
      font = *step.font;
      label.setFont(font);
    }
    if (step.text) text = *step.text;
    label.setFullText(text);
    MiddleElidedLabel fresh(2);
    fresh.setFont(font);
    fresh.show();
    fresh.resize(step.width, 100);
    fresh.setFullText(text);
    EXPECT_EQ(label.sizeHint(), fresh.sizeHint());
    EXPECT_EQ(label.text().toStdString(), fresh.text().toStdString());
    for (const int width : {step.width, 40, 75, 200, 400}) {
      EXPECT_EQ(label.heightForWidth(width), fresh.heightForWidth(width)) << "at " << width;
    }
  }
}

}  // namespace
}  // namespace lorvex::ui
