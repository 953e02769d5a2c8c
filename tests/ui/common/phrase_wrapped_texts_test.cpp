// Japanese wrapped texts of the window break between phrases, and what a person copies is the text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "ui/common/localization_table.h"
#include "ui/common/plain_text.h"
#include "ui/common/readable_message_box.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/results/results_overlays.h"
#include "ui/support/drawn_texts.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

const QChar kWordJoiner(0x2060);

class PhraseWrappedTextsTest : public testing::WidgetTest {
 protected:
  void SetUp() override {
    applicationFont = QApplication::font();
    QApplication::setFont(interfaceFont(kJapaneseLanguage));
  }
  void TearDown() override { QApplication::setFont(applicationFont); }
  QString japanese(const char* key, const FormatArguments& arguments = {}) const {
    return qtText(localization.lookup(key, arguments));
  }

  QFont applicationFont;
  AppLocalization localization = AppLocalization::overTable(bundledLocalizationTable(kJapaneseLanguage), ".");
};

// The first-launch welcome, at the widths the results column gives it: each text breaks between
// phrases only ("…検 / 索…" was Qt's), and no line is cut.
TEST_F(PhraseWrappedTextsTest, TheWelcomeBreaksBetweenPhrasesAtEveryWidth) {
  EmptyResultsPresentation welcome;
  welcome.title = localization.lookup("onboarding.firstRun.title");
  welcome.systemImage = "folder.badge.plus";
  welcome.description = localization.lookup("onboarding.firstRun.description");
  welcome.secondaryDescription = localization.lookup("onboarding.firstRun.permission");
  for (const int width : {240, 300, 360, 420, 460}) {
    EmptyResultsOverlay overlay({});
    overlay.setPresentation(welcome);
    // Placed as the results grid places it.
    overlay.resize(width, std::max(overlay.heightForWidth(width), overlay.sizeHint().height()));
    overlay.show();
    testing::drainUiEvents();
    int wrapped = 0;
    for (const QString& text : {qtText(welcome.description), qtText(*welcome.secondaryDescription)}) {
      QWidget* label = nullptr;
      for (QWidget* child : overlay.findChildren<QWidget*>()) {
        const auto* plain = qobject_cast<QLabel*>(child);
        const auto* wrappedLabel = qobject_cast<WrappedTextLabel*>(child);
        const QString shown = plain != nullptr          ? plain->text().remove(kWordJoiner)
                              : wrappedLabel != nullptr ? wrappedLabel->text()
                                                        : QString();
        if (shown == text) label = child;
      }
      ASSERT_NE(label, nullptr) << text.toStdString();
      const QStringList lines = testing::drawnLines(*label);
      wrapped += lines.size() > 1 ? 1 : 0;
      EXPECT_TRUE(testing::endsBetweenPhrases(text, lines)) << width << ": " << lines.join('|').toStdString();
      EXPECT_GE(label->height(), label->heightForWidth(label->width())) << width;
      EXPECT_GE(label->height(), textLineHeight(label->font()) * std::max<qsizetype>(lines.size(), 1))
          << width;
    }
    EXPECT_GT(wrapped, 0) << width;
  }
}

// A message box's texts break between phrases ("しま / すか？" was Qt's); what a person copies from
// a label with Ctrl+C is the text as written, and a click that copies nothing leaves the clipboard as
// another program left it.
TEST_F(PhraseWrappedTextsTest, AMessageBoxBreaksBetweenPhrasesAndCopiesItsTexts) {
  const QString title = japanese("library.syncRegisteredFolder.title");
  const QString message = japanese("platform.reveal.failed.message", {"NovelAI outputs"}) +
                          japanese("library.syncRegisteredFolder.message");
  QMessageBox box;
  box.setTextFormat(Qt::PlainText);
  box.setWindowTitle(title);
  keepMessageBoxReadable(box);
  box.setText(title);
  box.setInformativeText(message);
  box.setStandardButtons(QMessageBox::Ok);
  box.show();
  testing::drainUiEvents();
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
  ASSERT_NE(label, nullptr);
  QStringList lines = testing::drawnLines(*label);
  EXPECT_GT(lines.size(), 1);
  EXPECT_TRUE(testing::endsBetweenPhrases(message, lines)) << lines.join('|').toStdString();
  EXPECT_GE(label->height(), label->heightForWidth(label->width()));

  // A message changed while the box is shown breaks between phrases as well.
  const QString changed =
      japanese("onboarding.firstRun.description") + japanese("onboarding.firstRun.permission");
  setReadableInformativeText(box, changed);
  testing::drainUiEvents();
  lines = testing::drawnLines(*label);
  EXPECT_GT(lines.size(), 1);
  EXPECT_TRUE(testing::endsBetweenPhrases(changed, lines)) << lines.join('|').toStdString();

  // Another program's text, joiners and all, stays on the clipboard after a click on the label.
  const QString elsewhere = QStringLiteral("A") + kWordJoiner + QStringLiteral("B");
  QApplication::clipboard()->setText(elsewhere);
  QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
  EXPECT_EQ(QApplication::clipboard()->text(), elsewhere);

  // Copied with Ctrl+C from the label, its text selected whole.
  label->setSelection(0, static_cast<int>(label->text().size()));
  label->setFocus();
  QApplication::clipboard()->clear();
  QTest::keySequence(label, QKeySequence::Copy);
  EXPECT_EQ(QApplication::clipboard()->text(), changed);
}

// Selectable text breaks between phrases; what is copied from it is the text.
TEST_F(PhraseWrappedTextsTest, SelectableTextBreaksBetweenPhrasesAndCopiesTheText) {
  const QString text = japanese("onboarding.firstRun.description");
  SelectableWrappedText selectable;
  selectable.setText(text);
  selectable.resize(230, selectable.heightForWidth(230));
  selectable.show();
  testing::drainUiEvents();
  const QStringList lines = testing::drawnLines(*selectable.viewport());
  EXPECT_GT(lines.size(), 1);
  EXPECT_TRUE(testing::endsBetweenPhrases(text, lines)) << lines.join('|').toStdString();
  EXPECT_EQ(selectable.text(), text);
  selectable.selectAll();
  selectable.copy();
  EXPECT_EQ(QApplication::clipboard()->text(), text);
}

// A layout gives a label the height it asks for its width, even below its minimum size hint: a
// label laid out before its text comes (a summary's headline) is still one line of its font tall.
TEST_F(PhraseWrappedTextsTest, ALabelIsNeverShorterThanALineOfItsFont) {
  QWidget window;
  auto* column = new QVBoxLayout(&window);
  auto* label = new WrappedTextLabel({}, &window);
  column->addWidget(label);
  column->addStretch(1);
  window.resize(300, 400);
  window.show();
  testing::drainUiEvents();
  EXPECT_GE(label->height(), textLineHeight(label->font()));
  label->setText(japanese("onboarding.firstRun.description"));
  testing::drainUiEvents();
  EXPECT_GE(label->height(), label->heightForWidth(label->width()));
}

}  // namespace
}  // namespace lorvex::ui
