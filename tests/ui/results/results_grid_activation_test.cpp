// The results grid when its window is activated or deactivated (a sheet or a menu window opening
// over it, or closing): the tiles look the same either way unless the palette's inactive colours
// differ, so only then does the grid repaint, its scroll bar included (the window's focus leaving
// the grid or coming back is no reason either).
#include <QPaintEvent>
#include <QPalette>
#include <QScrollBar>

#include "results_grid_fixture.h"

namespace lorvex::ui::testing {
namespace {

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST(ResultsGridActivation, TheGridRepaintsOnActivationOnlyWhenTheInactiveColoursDiffer) {
  const struct {
    std::string name;
    bool inactiveBaseDiffers;
    bool repaints;
  } cases[] = {
      {"the same colours in both groups", false, false},
      {"another base colour while inactive", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResultsGridFixture f(libraryImages(0, 300));
    QPalette palette = f.grid->palette();
    palette.setColor(QPalette::Inactive, QPalette::Base, palette.color(QPalette::Active, QPalette::Base));
    if (c.inactiveBaseDiffers) palette.setColor(QPalette::Inactive, QPalette::Base, QColor(200, 10, 10));
    f.grid->setPalette(palette);
    f.showWithSearch();
    QWidget sheet;
    sheet.resize(200, 100);
    sheet.show();

    PaintCounter counter;
    f.grid->viewport()->installEventFilter(&counter);
    ASSERT_TRUE(f.grid->verticalScrollBar()->isVisible());
    f.grid->verticalScrollBar()->installEventFilter(&counter);
    // A sheet takes the activation, then gives it back.
    QApplication::setActiveWindow(&sheet);
    f.drain();
    EXPECT_EQ(counter.paints > 0, c.repaints) << "deactivated";
    counter.paints = 0;
    QApplication::setActiveWindow(&f.window);
    f.drain();
    EXPECT_EQ(counter.paints > 0, c.repaints) << "activated";
    f.grid->viewport()->removeEventFilter(&counter);
    f.grid->verticalScrollBar()->removeEventFilter(&counter);
  }
}

}  // namespace
}  // namespace lorvex::ui::testing
