// Work queued for the end of the turn runs before a window paints, and a window that work deletes
// is not painted afterwards.
#include "ui/common/turn_end_before_paint.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "store/async/turn_end_call.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

using testing::drainUiEvents;

using TurnEndBeforePaintTest = testing::WidgetTest;

TEST_F(TurnEndBeforePaintTest, RunsTheTurnsWorkBeforeThePaintAndSparesAWindowItDeleted) {
  const struct {
    const char* name;
    bool workDeletesTheWindow;
  } cases[] = {{"work that keeps the window", false}, {"work that deletes the window", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TurnEndBeforePaint hook;
    auto* window = new QWidget();
    window->resize(200, 120);
    window->show();
    drainUiEvents();
    QObject owner;
    bool ran = false;
    QPointer<QWidget> alive(window);
    TurnEndCall work(&owner, [&] {
      ran = true;
      if (c.workDeletesTheWindow) delete alive.data();
    });
    // The window's paint comes before the work's own posted call: the work runs first all the same.
    work.schedule();
    QEvent paint(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window, &paint);
    EXPECT_TRUE(ran);
    drainUiEvents();
    EXPECT_EQ(alive.isNull(), c.workDeletesTheWindow);
    delete alive.data();
  }
}

}  // namespace
}  // namespace lorvex::ui
