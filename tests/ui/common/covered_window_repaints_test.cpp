// A window hidden by an active full-screen window of ours repaints once it shows again, and only
// when the window system leaves no doubt that it is hidden.
#include "ui/common/covered_window_repaints.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QExposeEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <functional>
#include <memory>

#include "ui/support/painted_region_recorder.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

using testing::drainUiEvents;
using testing::PaintCounter;

TEST(CoversCompletely, OnlyAnActiveOpaqueFullScreenWindowAroundTheOtherOnItsScreen) {
  const WindowCoverFacts hidden{.coverShown = true,
                                .coverFullScreen = true,
                                .coverActive = true,
                                .coverOpaque = true,
                                .coveredStaysOnTop = false,
                                .sameScreen = true,
                                .coverFrame = QRect(0, 0, 1920, 1200),
                                .coveredFrame = QRect(100, 80, 1280, 800)};
  const struct {
    const char* name;
    std::function<void(WindowCoverFacts&)> change;
    bool covers;
  } cases[] = {
      {"active full-screen window around it", [](WindowCoverFacts&) {}, true},
      {"frames the same", [](WindowCoverFacts& f) { f.coveredFrame = f.coverFrame; }, true},
      {"cover not shown", [](WindowCoverFacts& f) { f.coverShown = false; }, false},
      {"cover not full screen", [](WindowCoverFacts& f) { f.coverFullScreen = false; }, false},
      // The covered window (or a dialog of ours) was activated and may be on top now.
      {"cover not active", [](WindowCoverFacts& f) { f.coverActive = false; }, false},
      {"cover's activation asked, no answer yet",
       [](WindowCoverFacts& f) {
         f.coverActive = false;
         f.coverActivationPending = true;
       },
       true},
      {"cover translucent", [](WindowCoverFacts& f) { f.coverOpaque = false; }, false},
      {"covered window stays on top", [](WindowCoverFacts& f) { f.coveredStaysOnTop = true; }, false},
      {"cover on another screen", [](WindowCoverFacts& f) { f.sameScreen = false; }, false},
      {"one pixel sticks out", [](WindowCoverFacts& f) { f.coveredFrame.adjust(0, 0, 0, 401); }, false},
      {"covered window across two screens", [](WindowCoverFacts& f) { f.coveredFrame.moveLeft(1800); },
       false},
      {"covered window without a frame", [](WindowCoverFacts& f) { f.coveredFrame = QRect(); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WindowCoverFacts facts = hidden;
    c.change(facts);
    EXPECT_EQ(coversCompletely(facts), c.covers);
  }
}

class CoveredWindowRepaintsTest : public testing::WidgetTest {};

TEST_F(CoveredWindowRepaintsTest, ChangesUnderTheCoverArePaintedOnceWhenItStopsHiding) {
  const struct {
    const char* name;
    std::function<void(QWidget& cover, QWidget& covered, std::unique_ptr<QWidget>& owner)> uncover;
  } cases[] = {
      {"the cover hides", [](QWidget& cover, QWidget&, auto&) { cover.hide(); }},
      {"the cover closes", [](QWidget& cover, QWidget&, auto&) { cover.close(); }},
      {"the cover leaves full screen", [](QWidget& cover, QWidget&, auto&) { cover.showNormal(); }},
      {"the covered window is activated",
       [](QWidget&, QWidget& covered, auto&) { covered.activateWindow(); }},
      {"the covered window moves partly off the cover's screen",
       [](QWidget& cover, QWidget& covered, auto&) { covered.move(cover.geometry().right() - 50, 10); }},
      {"the cover goes", [](QWidget&, QWidget&, auto& owner) { owner.reset(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PaintCounter covered;
    covered.setGeometry(40, 40, 300, 200);
    covered.show();
    auto cover = std::make_unique<QWidget>();
    cover->setScreen(QGuiApplication::primaryScreen());
    new CoveredWindowRepaints(*cover, covered, cover.get());
    cover->showFullScreen();
    cover->activateWindow();
    ASSERT_TRUE(drainUiEvents());
    ASSERT_TRUE(cover->isActiveWindow());

    // Hidden: nothing is painted, however often something changes.
    covered.paints = 0;
    covered.painted = QRegion();
    covered.update(QRect(0, 0, 20, 20));
    ASSERT_TRUE(drainUiEvents());
    covered.update(QRect(100, 100, 20, 20));
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(covered.paints, 0);

    // Shown again: one paint, of everything that changed meanwhile.
    c.uncover(*cover, covered, cover);
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(covered.paints, 1);
    EXPECT_TRUE(covered.painted.contains(QRect(0, 0, 20, 20)));
    EXPECT_TRUE(covered.painted.contains(QRect(100, 100, 20, 20)));

    // And from then on, as usual.
    covered.paints = 0;
    covered.update(QRect(0, 0, 20, 20));
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(covered.paints, 1);
  }
}

TEST_F(CoveredWindowRepaintsTest, ACoverAskingForActivationHoldsRepaintsUntilTheWindowSystemAnswers) {
  const struct {
    const char* name;
    // Comes before the window system's own answer, the cover's activation.
    std::function<void(QWidget& cover, QWidget& covered)> answer;
    int paintsWhileOpening;
  } cases[] = {
      {"the cover is activated", [](QWidget&, QWidget&) {}, 0},
      {"another window is activated", [](QWidget&, QWidget& covered) { covered.activateWindow(); }, 1},
      {"the cover's first frame comes first",
       [](QWidget& cover, QWidget&) {
         QExposeEvent expose{QRegion(cover.rect())};
         QCoreApplication::sendEvent(cover.windowHandle(), &expose);
       },
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PaintCounter covered;
    covered.setGeometry(40, 40, 300, 200);
    covered.show();
    ASSERT_TRUE(drainUiEvents());
    covered.paints = 0;
    auto cover = std::make_unique<QWidget>();
    cover->setScreen(QGuiApplication::primaryScreen());
    auto* repaints = new CoveredWindowRepaints(*cover, covered, cover.get());
    // The turn that opens the cover also changes the window under it.
    cover->showFullScreen();
    cover->activateWindow();
    repaints->coverAskedForActivation();
    covered.update(QRect(0, 0, 20, 20));
    c.answer(*cover, covered);
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(covered.paints, c.paintsWhileOpening);

    // Whatever was held is painted once the cover goes.
    cover.reset();
    ASSERT_TRUE(drainUiEvents());
    EXPECT_EQ(covered.paints, 1);
    EXPECT_TRUE(covered.painted.contains(QRect(0, 0, 20, 20)));
  }
}

}  // namespace
}  // namespace lorvex::ui
