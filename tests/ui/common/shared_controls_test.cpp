#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <set>

#include "ui/common/animations.h"
#include "ui/common/busy_indicator.h"
#include "ui/common/clip_rect_painting.h"
#include "ui/common/copy_tag_menu_button.h"
#include "ui/common/eliding_label.h"
#include "ui/common/floating_toolbar.h"
#include "ui/common/header_action_button.h"
#include "ui/common/load_more_results_indicator.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"
#include "ui/results/echo_localization.h"
#include "ui/support/drawing_bands_recorder.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

using testing::drainUiEvents;
using testing::echoLocalization;

class SharedControlsTest : public testing::WidgetTest {
 protected:
  AppLocalization localization = echoLocalization();
};

QColor white(qreal opacity) {
  return withOpacity(QColor(255, 255, 255), opacity);
}

TEST_F(SharedControlsTest, FloatingToolbarButtonColoursByEnabledAndActive) {
  struct Case {
    bool enabled;
    bool active;
    QColor symbol;
    QColor background;
  };
  const Case cases[] = {
      {true, false, white(0.92), Qt::transparent},
      {true, true, QColor(0xff, 0xd6, 0x0a), white(0.16)},
      {false, false, white(0.32), Qt::transparent},
      {false, true, white(0.32), white(0.16)},  // disabled wins for the symbol, not the background
  };
  for (const Case& c : cases) {
    const auto colors = floatingToolbarButtonColors(c.enabled, c.active);
    EXPECT_EQ(colors.symbol, c.symbol) << c.enabled << c.active;
    EXPECT_EQ(colors.background.alpha(), QColor(c.background).alpha()) << c.enabled << c.active;
    if (c.background.alpha() > 0) {
      EXPECT_EQ(colors.background, c.background);
    }
  }
}

TEST_F(SharedControlsTest, FloatingToolbarButtonIsItsTitleToUsersAndClicks) {
  FloatingToolbarButton button(QStringLiteral("Start <Slideshow> & go"), "play.rectangle");
  EXPECT_EQ(button.size(), QSize(51, 45));
  EXPECT_EQ(button.accessibleName(), QStringLiteral("Start <Slideshow> & go"));
  EXPECT_EQ(button.toolTip(), toolTipHtml(QStringLiteral("Start <Slideshow> & go")));
  QSignalSpy clicked(&button, &QAbstractButton::clicked);
  button.show();
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(clicked.count(), 1);
  button.setEnabled(false);
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(clicked.count(), 1);
}

TEST_F(SharedControlsTest, FloatingToolbarButtonPaintsItsBackgroundOnlyWhileActive) {
  QWidget bar;
  bar.setStyleSheet(QStringLiteral("background: black"));
  bar.setAutoFillBackground(true);
  auto* button = new FloatingToolbarButton(QStringLiteral("Favorite"), "star.fill", &bar);
  bar.resize(button->size());
  bar.show();
  // The corner lies inside the rounded background but outside the symbol.
  const auto corner = [&] { return button->grab().toImage().pixelColor(6, 22); };
  const QColor inactive = corner();
  button->setActive(true);
  const QColor active = corner();
  EXPECT_GT(active.lightness(), inactive.lightness() + 20);
  button->setEnabled(false);
  EXPECT_EQ(corner(), active);  // disabled keeps the active background
}

TEST_F(SharedControlsTest, ButtonShapesAreDrawnInBandsThatStayOnThePaintingThread) {
  QWidget window;
  auto* floating = new FloatingToolbarButton(QStringLiteral("Favorite"), "star.fill", &window);
  floating->setActive(true);
  auto* focusedFloating = new FloatingToolbarButton(QStringLiteral("Next"), "chevron.right", &window);
  auto* header = new HeaderActionButton(QStringLiteral("Slideshow"), &window);
  auto* focusedHeader = new HeaderActionButton(QStringLiteral("Review"), &window);
  for (HeaderActionButton* button : {header, focusedHeader}) {
    button->setFocusPolicy(Qt::StrongFocus);
    button->resize(120, 28);
  }
  window.show();
  QApplication::setActiveWindow(&window);
  const struct {
    const char* name;
    QWidget* widget;
  } cases[] = {
      {"active floating button", floating},
      {"focused floating button", focusedFloating},
      {"header button", header},
      {"focused header button", focusedHeader},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.widget == focusedFloating || c.widget == focusedHeader) {
      c.widget->setFocus(Qt::TabFocusReason);
      ASSERT_TRUE(drainUiEvents());
      ASSERT_TRUE(c.widget->hasFocus());
    }
    EXPECT_GT(c.widget->height(), kAntialiasedBandDeviceLines);
    EXPECT_GT(testing::tallestAntialiasedDrawing(*c.widget), 0) << "the shape is drawn";
    EXPECT_LE(testing::tallestAntialiasedDrawing(*c.widget), kAntialiasedBandDeviceLines);
  }
}

TEST_F(SharedControlsTest, HeaderActionButtonAppearanceByRoleEnabledAndPressed) {
  QPalette palette;
  palette.setColor(QPalette::WindowText, Qt::black);
  palette.setColor(QPalette::Window, Qt::white);
  const QColor primary = roleColor(ColorRole::primary, palette);
  const QColor yellow = roleColor(ColorRole::yellow, palette);
  using Role = HeaderActionButtonColorRole;
  struct Case {
    Role role;
    bool enabled;
    bool pressed;
    HeaderActionButtonAppearance expected;
  };
  const Case cases[] = {
      {Role::normal, true, false, {primary, withOpacity(primary, 0.06), withOpacity(primary, 0.14), 1.0}},
      {Role::activeYellow, true, false, {Qt::black, yellow, withOpacity(yellow, 0.65), 1.0}},
      {Role::normal,
       false,
       false,
       {roleColor(ColorRole::secondary, palette), withOpacity(primary, 0.04), Qt::transparent, 1.0}},
      {Role::activeYellow,
       false,
       false,
       {roleColor(ColorRole::secondary, palette), withOpacity(primary, 0.04), Qt::transparent, 1.0}},
      {Role::normal, true, true, {primary, withOpacity(primary, 0.06), withOpacity(primary, 0.14), 0.72}},
      {Role::activeYellow,
       false,
       true,
       {roleColor(ColorRole::secondary, palette), withOpacity(primary, 0.04), Qt::transparent, 0.72}},
  };
  for (const Case& c : cases) {
    const HeaderActionButtonAppearance look =
        HeaderActionButtonStyle{c.role}.appearance(c.enabled, c.pressed, palette);
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.role) << c.enabled << c.pressed);
    EXPECT_EQ(look.foreground, c.expected.foreground);
    EXPECT_EQ(look.fill, c.expected.fill);
    EXPECT_EQ(look.stroke.alpha(), QColor(c.expected.stroke).alpha());
    EXPECT_EQ(look.opacity, c.expected.opacity);
  }
}

TEST_F(SharedControlsTest, HeaderActionButtonShowsAmpersandsAndDimsOnlyWhilePressed) {
  HeaderActionButton button(QStringLiteral("Slides & more"));
  EXPECT_EQ(button.title(), QStringLiteral("Slides & more"));
  EXPECT_EQ(button.text(), QStringLiteral("Slides && more"));  // no mnemonic
  EXPECT_EQ(button.accessibleName(), QStringLiteral("Slides & more"));
  const QSize plain = button.sizeHint();
  EXPECT_EQ(plain.height(), button.fontMetrics().height() + 10);
  button.setSymbol("play.rectangle");
  EXPECT_GT(button.sizeHint().width(), plain.width());
  button.show();
  QTest::mousePress(&button, Qt::LeftButton);
  EXPECT_EQ(button.currentAppearance().opacity, 0.72);
  QTest::mouseRelease(&button, Qt::LeftButton);
  EXPECT_EQ(button.currentAppearance().opacity, 1.0);
}

TEST_F(SharedControlsTest, CopyTagReplacesTheClipboardWithTheTag) {
  QMenu menu;
  QAction* copy = CopyTagMenuButton::addTo(menu, "rock & roll <3", &localization);
  EXPECT_EQ(copy->objectName(), QStringLiteral("copyTag"));
  EXPECT_EQ(copy->text(), QStringLiteral("metadata.copyTag"));
  EXPECT_FALSE(copy->icon().isNull());
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  copy->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("rock & roll <3"));

  QAction* empty = CopyTagMenuButton::addTo(menu, "", &localization);
  empty->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());

  // A title holding "&" shows it instead of underlining the next letter.
  const AppLocalization ampersand(
      [](std::string_view, const FormatArguments&) { return std::string("Copy & Paste"); });
  EXPECT_EQ(CopyTagMenuButton::addTo(menu, "x", &ampersand)->text(), QStringLiteral("Copy && Paste"));
}

TEST_F(SharedControlsTest, ElidingLabelShortensByModeAndTellsTheWholeText) {
  const QString text = QStringLiteral("/home/ann/Pictures/<NovelAI>/very long file name & more.png");
  struct Case {
    Qt::TextElideMode mode;
    bool keepsStart;
    bool keepsEnd;
  };
  const Case cases[] = {
      {Qt::ElideRight, true, false}, {Qt::ElideLeft, false, true}, {Qt::ElideMiddle, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    ElidingLabel label(text);
    label.setElideMode(c.mode);
    label.resize(120, label.sizeHint().height());
    label.show();
    EXPECT_TRUE(label.isElided());
    EXPECT_TRUE(label.displayedText().contains(QChar(0x2026)));
    EXPECT_EQ(label.displayedText().startsWith(QStringLiteral("/ho")), c.keepsStart);
    EXPECT_EQ(label.displayedText().endsWith(QStringLiteral("png")), c.keepsEnd);
    EXPECT_LE(label.fontMetrics().horizontalAdvance(label.displayedText()), 120);
    EXPECT_EQ(label.toolTip(), toolTipHtml(text));
    EXPECT_EQ(label.accessibleName(), text);

    label.resize(label.sizeHint().width(), label.height());  // exactly its own size hint: fits
    EXPECT_FALSE(label.isElided());
    EXPECT_EQ(label.displayedText(), text);
    EXPECT_EQ(label.toolTip(), QString());
  }
}

TEST_F(SharedControlsTest, LoadMoreIndicatorTextAndProgressFollowLoading) {
  QWidget host;
  auto* indicator = new LoadMoreResultsIndicator(&host, &localization);
  auto* layout = new QHBoxLayout(&host);
  layout->addWidget(indicator);
  host.resize(400, 60);
  host.show();
  auto* progress = testing::findByName<BusyIndicator>(host, QStringLiteral("results.loadMore.progress"));
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(indicator->objectName(), QStringLiteral("results.loadMore"));
  std::set<int> heights;
  for (const bool loading : {false, true, false}) {
    indicator->setLoading(loading);
    const QString expected =
        loading ? QStringLiteral("result.loadingMore") : QStringLiteral("result.loadMore");
    EXPECT_EQ(indicator->text(), expected);
    EXPECT_EQ(indicator->accessibleName(), expected);
    EXPECT_EQ(progress->isVisible(), loading);
    drainUiEvents();  // the row lays out again for the new text
    auto* label = testing::findByName<ElidingLabel>(host, QStringLiteral("results.loadMore.text"));
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->isElided()) << label->width() << " " << label->sizeHint().width();
    heights.insert(indicator->height());
  }
  EXPECT_EQ(heights.size(), 1u);  // the row keeps its height whether a page loads or not
  EXPECT_GE(indicator->height(), 2 * LoadMoreResultsIndicator::kVerticalPadding + 10);
}

TEST_F(SharedControlsTest, BusyIndicatorTurnsOnlyWhileShownWithAnimationsOn) {
  BusyIndicator small(BusyIndicator::Size::small);
  BusyIndicator large(BusyIndicator::Size::large);
  EXPECT_EQ(small.size(), QSize(16, 16));
  EXPECT_EQ(large.size(), QSize(32, 32));
  ASSERT_FALSE(animationsEnabled());  // the test application switches them off
  small.show();
  EXPECT_FALSE(small.isSpinningForTest());
  small.hide();
  setAnimationsEnabled(true);
  small.show();
  EXPECT_TRUE(small.isSpinningForTest());
  small.hide();
  EXPECT_FALSE(small.isSpinningForTest());
  setAnimationsEnabled(false);
}

}  // namespace
}  // namespace lorvex::ui
