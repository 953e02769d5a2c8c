// The scan-failure sheet as drawn offscreen, in each language's interface font.
#include "ui/sidebar/scan_failure_sheet.h"

#include <gtest/gtest.h>

#include <QApplication>

#include "ui/common/localization_table.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/ui_roles.h"
#include "ui/support/drawn_texts.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

class ScanFailureSheetTest : public testing::WidgetTest {
 protected:
  void TearDown() override { QApplication::setFont(applicationFont_); }

  QFont applicationFont_ = QApplication::font();
};

// Folders that take many lines show two whole lines at most, cut in the middle: the first folder
// begins the first line, the last ends the last, and "…" stands for those between.
TEST_F(ScanFailureSheetTest, TheFoldersShowAtMostTwoWholeLinesCutInTheMiddle) {
  ImageLibraryScanDiagnosticContext context;
  for (int folder = 0; folder < 12; ++folder) {
    context.rootPaths.push_back("/home/person/Pictures/NovelAI outputs " + std::to_string(folder) +
                                "/夕焼け");
  }
  const ImageLibraryScanSummary summary{
      3, 2, 1, {{"/home/person/Pictures/a.png", "bad", ImageLibraryScanFailure::Kind::metadata}}};
  for (const std::string_view language : {kEnglishLanguage, kJapaneseLanguage}) {
    SCOPED_TRACE(std::string(language));
    QApplication::setFont(interfaceFont(language));
    const auto localizer = AppLocalization::overTable(bundledLocalizationTable(language), ".");
    ScanFailureDiagnosticsSheet sheet(
        nullptr, [] {}, [] {});
    sheet.setPresentation(ScanFailureDiagnosticsPresentation::make(summary, context, localizer, {}));
    sheet.show();
    testing::drainUiEvents();
    auto* roots = sheet.findChild<SelectableWrappedText*>(QStringLiteral("scanFailure.roots"));
    ASSERT_NE(roots, nullptr);
    const std::vector<testing::DrawnText> drawn = testing::drawnTexts(*roots);
    EXPECT_TRUE(std::all_of(drawn.begin(), drawn.end(), [](const auto& text) { return text.whole; }))
        << "a line is cut through its letters";
    const QStringList lines = testing::drawnLines(*roots);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_LE(lines.size(), 2);
    EXPECT_TRUE(lines.join(QString()).contains(QChar(0x2026))) << lines.join('|').toStdString();
    EXPECT_TRUE(lines.front().startsWith(roots->text().left(8))) << lines.front().toStdString();
    EXPECT_TRUE(lines.back().endsWith(roots->text().right(8))) << lines.back().toStdString();
  }
}

}  // namespace
}  // namespace lorvex::ui
