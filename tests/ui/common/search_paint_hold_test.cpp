// A window changed by a search that has just started is painted once: when the search ends, when
// the hold's time has passed, or when input comes, whichever is first.
#include "ui/common/search_paint_hold.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTest>
#include <functional>

#include "ui/support/painted_region_recorder.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

using namespace std::chrono_literals;
using testing::drainUiEvents;
using testing::PaintCounter;
using testing::runEventsUntil;

class SearchPaintHoldTest : public testing::WidgetTest {};

TEST_F(SearchPaintHoldTest, TheWindowIsPaintedOnceWhenTheHoldEnds) {
  const struct {
    const char* name;
    std::chrono::milliseconds hold;
    // Ends the hold; the search may still run.
    std::function<void(SearchPaintHold& hold, QWidget& window)> end;
  } cases[] = {
      {"the search ends", 10s, [](SearchPaintHold& hold, QWidget&) { hold.setSearchRunning(false); }},
      {"the hold's time passes", 30ms, [](SearchPaintHold&, QWidget&) {}},
      {"a key is pressed", 10s,
       [](SearchPaintHold&, QWidget& window) { QTest::keyClick(&window, Qt::Key_A); }},
      {"a click", 10s, [](SearchPaintHold&, QWidget& window) { QTest::mouseClick(&window, Qt::LeftButton); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PaintCounter window;
    window.setGeometry(40, 40, 300, 200);
    window.show();
    ASSERT_TRUE(drainUiEvents());
    SearchPaintHold hold(window, c.hold);
    window.paints = 0;

    // The search starts and the window changes twice before the turn ends, then once more.
    hold.setSearchRunning(true);
    window.update(QRect(0, 0, 20, 20));
    ASSERT_TRUE(drainUiEvents());
    window.update(QRect(100, 100, 20, 20));
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(window.paints, 0);
    EXPECT_TRUE(hold.isHolding());
    // The release of the key that started the search does not end the hold.
    QTest::keyRelease(&window, Qt::Key_Return);
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(window.paints, 0);

    c.end(hold, window);
    ASSERT_TRUE(runEventsUntil([&] { return window.paints > 0; }, 5s));
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(window.paints, 1);
    EXPECT_TRUE(window.painted.contains(QRect(0, 0, 20, 20)));
    EXPECT_TRUE(window.painted.contains(QRect(100, 100, 20, 20)));
    EXPECT_FALSE(hold.isHolding());

    // Then as usual, the search still running or not, until the next search starts.
    window.paints = 0;
    window.update(QRect(0, 0, 20, 20));
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(window.paints, 1);
    hold.setSearchRunning(false);
    hold.setSearchRunning(true);
    window.update(QRect(0, 0, 20, 20));
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(window.paints, 1);
  }
}

TEST_F(SearchPaintHoldTest, OtherWindowsAndAWindowWithoutASearchPaintAsUsual) {
  PaintCounter window;
  PaintCounter popover;
  window.setGeometry(40, 40, 300, 200);
  popover.setGeometry(60, 60, 100, 100);
  window.show();
  popover.show();
  ASSERT_TRUE(drainUiEvents());
  SearchPaintHold hold(window, 10s);
  window.paints = 0;
  popover.paints = 0;

  window.update();
  ASSERT_TRUE(drainUiEvents());
  EXPECT_EQ(window.paints, 1);

  hold.setSearchRunning(true);
  popover.update();
  ASSERT_TRUE(drainUiEvents());
  EXPECT_EQ(popover.paints, 1);
}

TEST_F(SearchPaintHoldTest, WhatWasHeldIsPaintedWhenTheHoldGoes) {
  PaintCounter window;
  window.setGeometry(40, 40, 300, 200);
  window.show();
  ASSERT_TRUE(drainUiEvents());
  window.paints = 0;
  {
    SearchPaintHold hold(window, 10s);
    hold.setSearchRunning(true);
    window.update();
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(window.paints, 0);
  }
  ASSERT_TRUE(drainUiEvents());
  EXPECT_EQ(window.paints, 1);
}

}  // namespace
}  // namespace lorvex::ui
