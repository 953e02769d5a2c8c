#include "ui/common/plain_text.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTextDocument>

#include "ui/common/clipboard.h"
#include "ui/common/image_drag.h"
#include "ui/common/reveal_in_file_manager.h"
#include "ui/support/recording_file_manager_revealer.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

using testing::WidgetTest;

class PlainTextTest : public WidgetTest {};

// What the user sees of a tooltip is what Qt's rich-text engine makes of it.
QString shownToolTip(const QString& toolTip) {
  QTextDocument document;
  if (Qt::mightBeRichText(toolTip)) {
    document.setHtml(toolTip);
  } else {
    document.setPlainText(toolTip);
  }
  return document.toPlainText();
}

TEST_F(PlainTextTest, TextsShowExactlyAsWritten) {
  const QString texts[] = {
      QStringLiteral("<b>bold</b> & <i>x</i>"),   QStringLiteral("a &amp; b"),
      QStringLiteral("1girl, (masterpiece:1.2)"), QStringLiteral("<img src=x>"),
      QStringLiteral("夜景、<lora:x:0.8>"),       QStringLiteral("two  spaces"),
  };
  for (const QString& text : texts) {
    SCOPED_TRACE(text.toStdString());
    EXPECT_EQ(shownToolTip(toolTipHtml(text)), text);

    QLabel* label = makePlainLabel(text);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    delete label;

    // A button title keeps every "&": none becomes a mnemonic underline.
    QPushButton button(mnemonicSafe(text));
    EXPECT_EQ(QString(button.text()).replace(QLatin1String("&&"), QLatin1String("&")), text);
    EXPECT_EQ(button.text().count(QLatin1Char('&')), 2 * text.count(QLatin1Char('&')));
  }
  EXPECT_EQ(toolTipHtml(QString()), QString());
}

TEST_F(PlainTextTest, Utf8RoundTrips) {
  const std::string text = "画像/夜景 ✓ \xF0\x9F\x8C\x99";
  EXPECT_EQ(stdText(qtText(text)), text);
  EXPECT_EQ(qtText(std::string_view("ab\0c", 4)).size(), 4);
}

TEST_F(PlainTextTest, CopyReplacesEveryFormatTheClipboardHeld) {
  auto* previous = new QMimeData;
  previous->setText(QStringLiteral("old"));
  previous->setHtml(QStringLiteral("<b>old</b>"));
  QGuiApplication::clipboard()->setMimeData(previous);

  for (const std::string text : {"masterpiece, 1girl", ""}) {
    copyTextToClipboard(text);
    const QMimeData* now = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(now->text().toStdString(), text);
    EXPECT_FALSE(now->hasHtml());
  }
}

TEST_F(PlainTextTest, RevealFallsBackToTheParentFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"/home/ann/Pictures/a.png", "/home/ann/Pictures"},
      {"/home/ann/Pictures/", "/home/ann"},
      {"/a.png", "/"},
      {"/", "/"},
  };
  for (const auto& [path, folder] : cases) EXPECT_EQ(revealFallbackFolder(path), folder) << path;
}

TEST_F(PlainTextTest, RevealGoesThroughTheInstalledRevealer) {
  {
    testing::ScopedFileManagerRevealer recorder;
    revealInFileManager("/pictures/a.png");
    revealInFileManager("/pictures");
    EXPECT_EQ(recorder.revealedPaths(), (std::vector<std::string>{"/pictures/a.png", "/pictures"}));
  }
  EXPECT_NE(dynamic_cast<FreedesktopFileManagerRevealer*>(&fileManagerRevealer()), nullptr);
}

TEST_F(PlainTextTest, ADragCarriesTheImageFileAsAFileUrl) {
  for (const std::string path : {"/home/ann/Pictures/a.png", "/home/ann/夜景 #1 %20 & more.png"}) {
    const auto data = makeImageDragMimeData(ImageDragPayload{path});
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->urls().size(), 1);
    EXPECT_TRUE(data->urls().front().isLocalFile());
    EXPECT_EQ(data->urls().front().toLocalFile().toStdString(), path);  // no escape is taken literally
    EXPECT_EQ(data->text().toStdString(), path);
  }
  EXPECT_EQ(makeImageDragMimeData(std::nullopt), nullptr);
  EXPECT_EQ(makeImageDragMimeData(ImageDragPayload{""}), nullptr);
  QWidget source;
  EXPECT_FALSE(startImageDrag(source, std::nullopt));  // no payload, no drag
}

}  // namespace
}  // namespace lorvex::ui
