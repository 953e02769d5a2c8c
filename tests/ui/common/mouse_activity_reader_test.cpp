#include "ui/common/mouse_activity_reader.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

class MouseActivityReaderTest : public testing::WidgetTest {};

// Pointer events as the window system delivers them: to the window, at window coordinates.
void moveTo(QWidget& window, QPoint position) {
  QTest::mouseMove(window.windowHandle(), position);
}

TEST_F(MouseActivityReaderTest, ReportsMovesOverItsAreaAndLetsClicksThrough) {
  QWidget window;
  window.resize(300, 200);
  auto* covered = new QWidget(&window);
  covered->setGeometry(0, 0, 200, 200);  // the right 100 px are outside
  auto* button = new QPushButton(QStringLiteral("under"), covered);
  button->setGeometry(10, 10, 80, 30);
  auto* reader = new MouseActivityReader(covered);
  int called = 0;
  reader->setOnActivity([&] { ++called; });
  QSignalSpy activity(reader, &MouseActivityReader::activity);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(reader->geometry(), covered->rect());

  // Entering the window and moving are both activity: each move reports at least once.
  const auto reportsActivity = [&](QPoint position) {
    const auto before = activity.count();
    moveTo(window, position);
    return activity.count() > before;
  };
  EXPECT_TRUE(reportsActivity({150, 150}));
  EXPECT_TRUE(reportsActivity({40, 20}));     // over the button below the reader
  EXPECT_FALSE(reportsActivity({250, 100}));  // outside the covered area
  EXPECT_EQ(called, activity.count());

  QSignalSpy clicked(button, &QPushButton::clicked);
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, {40, 20});
  EXPECT_EQ(clicked.count(), 1);

  covered->resize(300, 200);  // follows its parent's size
  EXPECT_EQ(reader->geometry(), covered->rect());
  EXPECT_TRUE(reportsActivity({260, 120}));

  reader->hide();
  EXPECT_FALSE(reportsActivity({100, 100}));
}

}  // namespace
}  // namespace lorvex::ui
