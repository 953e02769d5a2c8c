// The grid as assistive technology reads it: a list of tile buttons named and described like the
// tiles, whose press and show-menu actions do what a click and a right-click do, and nothing while
// the grid is covered; a tile's description stays with its record when rows move, and is invalid
// once the record has gone.
#include <QAccessible>
#include <QAccessibleActionInterface>

#include "results_grid_fixture.h"

namespace lorvex::ui::testing {
namespace {

using lorvex::testing::libraryImage;

QAccessibleInterface* gridInterface(ResultsGridFixture& f) {
  return QAccessible::queryAccessibleInterface(f.grid);
}

QAccessibleInterface* tileInterface(ResultsGridFixture& f, int number) {
  return gridInterface(f)->child(f.rowOf(number));
}

TEST(ResultsGridAccessible, TilesAreButtonsNamedAndDescribedLikeTheTiles) {
  ResultsGridFixture f({libraryImage(0), libraryImage(1, true), libraryImage(2)});
  f.showWithSearch();
  f.click(1);
  QAccessibleInterface* grid = gridInterface(f);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->role(), QAccessible::List);
  ASSERT_EQ(grid->childCount(), 3);

  for (int number = 0; number < 3; ++number) {
    SCOPED_TRACE(number);
    QAccessibleInterface* tile = tileInterface(f, number);
    ASSERT_NE(tile, nullptr);
    const QModelIndex index = f.grid->gridModel().index(f.rowOf(number));
    EXPECT_EQ(tile->role(), QAccessible::Button);
    EXPECT_EQ(tile->text(QAccessible::Name), index.data(Qt::AccessibleTextRole).toString());
    EXPECT_EQ(tile->text(QAccessible::Description), index.data(Qt::AccessibleDescriptionRole).toString());
    EXPECT_EQ(tile->state().selected, number == 1);
    EXPECT_EQ(tile->parent(), grid);
    EXPECT_EQ(grid->indexOfChild(tile), f.rowOf(number));
    EXPECT_EQ(tile, grid->child(f.rowOf(number)));  // one description per tile
    const QRect centre(tile->rect().center(), QSize(1, 1));
    EXPECT_EQ(grid->childAt(centre.x(), centre.y()), tile);
  }
  EXPECT_EQ(tileInterface(f, 1)->text(QAccessible::Name), QString("img-00001.png"));
}

TEST(ResultsGridAccessible, PressAndShowMenuActLikeTheMouseAndNotWhileCovered) {
  for (const bool covered : {false, true}) {
    SCOPED_TRACE(covered ? "covered" : "open");
    ResultsGridFixture f(libraryImages(0, 10));
    f.showWithSearch();
    f.click(2);
    f.grid->setQuickLookPresented(covered);
    QAccessibleActionInterface* actions = tileInterface(f, 5)->actionInterface();
    ASSERT_NE(actions, nullptr);
    EXPECT_EQ(actions->actionNames(), (QStringList{QAccessibleActionInterface::pressAction(),
                                                   QAccessibleActionInterface::showMenuAction()}));

    actions->doAction(QAccessibleActionInterface::pressAction());
    f.drain();
    EXPECT_EQ(f.focus(), imagePath(covered ? 2 : 5));
    EXPECT_EQ(f.selected(), pathsOf({covered ? 2 : 5}));

    actions->doAction(QAccessibleActionInterface::showMenuAction());
    f.drain();
    if (covered) {
      EXPECT_EQ(f.grid->contextMenu(), nullptr);
    } else {
      ASSERT_NE(f.grid->contextMenu(), nullptr);
      EXPECT_EQ(f.grid->contextMenu()->objectName(), "results.contextMenu");
      f.grid->contextMenu()->close();
    }
  }
}

TEST(ResultsGridAccessible, ATileFollowsItsRecordAndIsInvalidOnceItHasGone) {
  ResultsGridFixture f(libraryImages(0, 10));
  f.showWithSearch();
  QAccessibleInterface* grid = gridInterface(f);
  QAccessibleInterface* tile = tileInterface(f, 4);
  const int rowBefore = grid->indexOfChild(tile);

  // A record put in front moves every row by one: the description still names image 4.
  auto& window = f.store->results().resultWindow();
  window.mergeLeadingPage({makeRecordRef(libraryImage(100)), window.records().front()},
                          window.currentLoadTicket());
  f.drain();
  EXPECT_TRUE(tile->isValid());
  EXPECT_EQ(grid->indexOfChild(tile), rowBefore + 1);
  EXPECT_EQ(tile->text(QAccessible::Name), QString("img-00004.png"));

  window.removeRecords(PathSet{imagePath(4)}, 0);
  f.drain();
  EXPECT_FALSE(tile->isValid());
  EXPECT_TRUE(tile->state().invalid);
  EXPECT_EQ(grid->indexOfChild(tile), -1);
  tile->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  f.drain();
  EXPECT_NE(f.focus(), imagePath(4));
}

}  // namespace
}  // namespace lorvex::ui::testing
