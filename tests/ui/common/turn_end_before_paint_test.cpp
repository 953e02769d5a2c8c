// Work queued for the end of the turn runs before a window paints, a window that work deletes is
// not painted afterwards, and each widget the turn changed is painted once.
#include "ui/common/turn_end_before_paint.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <memory>

#include "store/async/turn_end_call.h"
#include "ui/detail/middle_elided_label.h"
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

// A scroll area shows the scroll bar a new range asks for in a call it posts to itself: the text
// the turn's work made longer shows its bar in that paint, whether its area was made before the
// hook or after it.
TEST_F(TurnEndBeforePaintTest, AScrollBarTheTurnsWorkAsksForShowsInItsPaint) {
  for (const bool areaFirst : {true, false}) {
    SCOPED_TRACE(areaFirst ? "an area made before the hook" : "an area made after the hook");
    std::unique_ptr<TurnEndBeforePaint> hook;
    if (!areaFirst) hook = std::make_unique<TurnEndBeforePaint>();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* area = new QPlainTextEdit(QStringLiteral("one line"), &window);
    layout->addWidget(area);
    window.resize(200, 120);
    if (areaFirst) hook = std::make_unique<TurnEndBeforePaint>();
    window.show();
    drainUiEvents();
    ASSERT_FALSE(area->verticalScrollBar()->isVisible());
    QObject owner;
    TurnEndCall work(&owner, [&] { area->setPlainText(QStringLiteral("a line\n").repeated(40)); });
    work.schedule();
    QEvent paint(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&window, &paint);
    EXPECT_TRUE(area->verticalScrollBar()->isVisible());
  }
}

// Counts the paints a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// A column like the inspector's: a heading, a line shown for some records, and a wrapped value.
struct Column {
  Column() {
    auto* layout = new QVBoxLayout(&window);
    heading = new QLabel("Heading", &window);
    line = new QLabel("A line shown for some", &window);
    value = new MiddleElidedLabel(2, &window);
    value->setFullText("a value long enough to wrap over the two lines this column gives it, and more");
    layout->addWidget(heading);
    layout->addWidget(line);
    layout->addWidget(value);
    layout->addStretch(1);
    line->hide();
    window.resize(240, 200);
  }
  QWidget window;
  QLabel* heading;
  QLabel* line;
  MiddleElidedLabel* value;
};

// Qt asks for a shown widget's first paint, and for a selectable text's paint once its document is
// laid out in a paint, in events of their own queued after the paint at hand: each is one paint too
// many while the window around them is painted anyway.
TEST_F(TurnEndBeforePaintTest, EachWidgetTheTurnChangesIsPaintedOnce) {
  const struct {
    const char* name;
    std::function<void(Column&)> setUp;
    std::function<void(Column&)> change;
    std::function<QWidget*(Column&)> watched;
  } cases[] = {
      {"a line shown beside a changed heading", [](Column&) {},
       [](Column& c) {
         c.heading->setText("Another heading");
         c.line->show();
       },
       [](Column& c) -> QWidget* { return c.line; }},
      {"a value given a new text", [](Column&) {},
       [](Column& c) {
         c.value->setFullText("another value, which wraps over two lines in this column as well");
       },
       [](Column& c) -> QWidget* { return c.value; }},
      {"a value given a new width", [](Column&) {},
       [](Column& c) { c.window.layout()->setContentsMargins(11, 11, 60, 11); },
       [](Column& c) -> QWidget* { return c.value; }},
      {"a value shown with a new text", [](Column& c) { c.value->hide(); },
       [](Column& c) {
         c.value->setFullText("a value that was hidden and shows again, over two lines");
         c.value->show();
       },
       [](Column& c) -> QWidget* { return c.value; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TurnEndBeforePaint hook;
    Column column;
    c.setUp(column);
    column.window.show();
    drainUiEvents();
    PaintCounter counter(*c.watched(column));
    QObject owner;
    TurnEndCall work(&owner, [&] { c.change(column); });
    // The window's paint comes first, as when the turn's first change queued it: the work runs in it.
    work.schedule();
    QEvent paint(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&column.window, &paint);
    drainUiEvents();
    EXPECT_EQ(counter.paints, 1);
  }
}

}  // namespace
}  // namespace lorvex::ui
