// The results grid as a person uses it, offscreen over a store on the scripted service: clicks and
// keys change the store's selection by its rules, the view never keeps a selection or current
// index of its own, scrolling follows the keyboard and new searches but never a click, the gate
// refuses everything while something covers the grid, menus and drags act on the right records,
// and the tiles on screen (only those) ask for thumbnails, the next page and their images.
#include <QLineEdit>
#include <QMenu>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <cmath>
#include <functional>

#include "results_grid_fixture.h"
#include "store/library/library_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "ui/support/painted_region_recorder.h"
#include "ui/support/recording_file_manager_revealer.h"
#include "ui/support/recording_paint_device.h"

namespace lorvex::ui::testing {
namespace {

using lorvex::testing::libraryImage;

std::vector<std::string> menuTexts(const QMenu& menu) {
  std::vector<std::string> texts;
  for (const QAction* action : menu.actions()) {
    texts.push_back(
        action->isSeparator() ? "---" : action->text().toStdString() + (action->isEnabled() ? "" : " (off)"));
  }
  return texts;
}

QAction* actionNamed(const QMenu& menu, const std::string& text) {
  for (QAction* action : menu.actions()) {
    if (action->text().toStdString() == text) return action;
  }
  ADD_FAILURE() << "no menu item " << text;
  return nullptr;
}

TEST(ResultsGridListView, IsAWrappingListWithoutSelectionOrCurrentIndex) {
  ResultsGridFixture f(libraryImages(0, 30));
  f.showWithSearch();
  auto* list = f.window.findChild<QListView*>("results.grid");
  ASSERT_EQ(list, f.grid);
  EXPECT_EQ(list->viewMode(), QListView::ListMode);
  EXPECT_TRUE(list->isWrapping());
  EXPECT_TRUE(list->uniformItemSizes());
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::NoSelection);
  EXPECT_FALSE(list->hasAutoScroll());
  EXPECT_EQ(list->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(f.window.focusWidget(), list);  // the grid asks for the focus when it appears

  f.click(4);
  f.key(Qt::Key_Right);
  f.key(Qt::Key_A, Qt::ControlModifier);
  list->keyboardSearch("img");
  EXPECT_FALSE(list->currentIndex().isValid());
  EXPECT_FALSE(list->selectionModel()->hasSelection());
  EXPECT_EQ(f.focus(), imagePath(5));
}

struct ClickCase {
  std::string name;
  std::function<void(ResultsGridFixture&)> clicks;
  int focus;
  std::vector<int> selected;
};

TEST(ResultsGridListView, ClicksSelectByTheStoreRules) {
  const ClickCase cases[] = {
      {"click", [](auto& f) { f.click(4); }, 4, {4}},
      {"shift-click extends from the anchor",
       [](auto& f) {
         f.click(2);
         f.click(5, Qt::ShiftModifier);
       },
       5,
       {2, 3, 4, 5}},
      {"ctrl-click adds",
       [](auto& f) {
         f.click(2);
         f.click(5, Qt::ControlModifier);
       },
       5,
       {2, 5}},
      {"ctrl-click on a selected tile removes it",
       [](auto& f) {
         f.click(2);
         f.click(5, Qt::ControlModifier);
         f.click(5, Qt::ControlModifier);
       },
       2,
       {2}},
      {"a click in the rounded-off corner or between tiles selects nothing",
       [](auto& f) {
         f.click(2);
         const QRectF tile = f.grid->tileRect(f.rowOf(4));
         f.mouse(QEvent::MouseButtonPress, tile.topLeft().toPoint() + QPoint(1, 1));
         f.mouse(QEvent::MouseButtonPress, tile.topRight().toPoint() + QPoint(6, 20));
         f.drain();
       },
       2,
       {2}},
      {"the right button selects nothing",
       [](auto& f) {
         f.click(2);
         f.mouse(QEvent::MouseButtonPress, f.tileCentre(4), Qt::RightButton);
         f.drain();
       },
       2,
       {2}},
  };
  for (const ClickCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResultsGridFixture f(libraryImages(0, 30));
    f.showWithSearch();
    c.clicks(f);
    EXPECT_EQ(f.focus(), imagePath(c.focus));
    EXPECT_EQ(f.selected(), pathsOf(c.selected));
    EXPECT_TRUE(f.shownURLs.empty());
  }
}

TEST(ResultsGridListView, SecondClickOpensThePreviewAndAThirdSelectsAgain) {
  ResultsGridFixture f(libraryImages(0, 30));
  f.showWithSearch();
  f.doubleClick(4);
  EXPECT_EQ(f.shownURLs, std::vector<std::string>{"file://" + imagePath(4)});
  EXPECT_EQ(f.focus(), imagePath(4));
  EXPECT_EQ(f.selected(), pathsOf({4}));

  f.click(4, Qt::ShiftModifier);  // the third click of the series selects, with its modifiers
  EXPECT_EQ(f.shownURLs.size(), 1U);

  // The second click alone keeps a selection that holds the tile.
  f.click(1);
  f.click(2, Qt::ControlModifier);
  f.mouse(QEvent::MouseButtonDblClick, f.tileCentre(1));
  f.drain();
  EXPECT_EQ(f.shownURLs.back(), "file://" + imagePath(1));
  EXPECT_EQ(f.focus(), imagePath(1));
  EXPECT_EQ(f.selected(), pathsOf({1, 2}));
}

TEST(ResultsGridListView, ArrowsMoveByTheColumnsOnScreenAndCentreTheFocusedTile) {
  ResultsGridFixture f(libraryImages(0, 90), QSize(520, 420));
  f.showWithSearch();
  ASSERT_EQ(f.grid->keyboardColumns(), 3);
  // The list lays out as many tiles a line as the keys move by.
  const auto cellTop = [&](int row) { return f.grid->visualRect(f.grid->gridModel().index(row)).top(); };
  ASSERT_EQ(cellTop(2), cellTop(0));
  ASSERT_GT(cellTop(3), cellTop(2));
  EXPECT_EQ(f.grid->tileRect(0).left(), 12);

  EXPECT_EQ(f.focus(), imagePath(0));  // a new search focuses the first record
  EXPECT_EQ(f.scroll(), 0);
  const struct {
    int key;
    Qt::KeyboardModifiers modifiers;
    int focus;
    std::vector<int> selected;
  } steps[] = {
      {Qt::Key_Down, Qt::NoModifier, 3, {3}},       {Qt::Key_Down, Qt::NoModifier, 6, {6}},
      {Qt::Key_Right, Qt::NoModifier, 7, {7}},      {Qt::Key_Down, Qt::ShiftModifier, 10, {7, 8, 9, 10}},
      {Qt::Key_Down, Qt::NoModifier, 13, {13}},     {Qt::Key_Down, Qt::NoModifier, 16, {16}},
      {Qt::Key_Down, Qt::KeypadModifier, 19, {19}}, {Qt::Key_Left, Qt::NoModifier, 18, {18}},
      {Qt::Key_Up, Qt::NoModifier, 15, {15}},
  };
  for (const auto& step : steps) {
    f.key(step.key, step.modifiers);
    EXPECT_EQ(f.focus(), imagePath(step.focus));
    EXPECT_EQ(f.selected(), pathsOf(step.selected));
    // The focused tile's cell sits in the middle of the viewport.
    const QRect cell = f.grid->visualRect(f.grid->gridModel().index(f.rowOf(step.focus)));
    EXPECT_NEAR(cell.center().y(), f.grid->viewport()->height() / 2, 2) << "after moving to " << step.focus;
  }
  EXPECT_TRUE(f.window.propagatedKeys.empty());

  // Scrolled to the end, the last row keeps the same padding under it as the first row above it.
  f.grid->verticalScrollBar()->setValue(f.grid->verticalScrollBar()->maximum());
  f.drain();
  const int lastRow = f.grid->gridModel().rowCount() - 1;
  EXPECT_DOUBLE_EQ(f.grid->tileRect(lastRow).bottom(), f.grid->viewport()->height() - 12.0);
  f.grid->verticalScrollBar()->setValue(0);
  f.drain();
  EXPECT_DOUBLE_EQ(f.grid->tileRect(0).top(), 12.0);
}

TEST(ResultsGridListView, ClicksNeverScrollButAProgrammaticFocusChangeDoes) {
  ResultsGridFixture f(libraryImages(0, 90), QSize(520, 420));
  f.showWithSearch();
  f.grid->verticalScrollBar()->setValue(100);  // the first row's tiles are cut at the top
  f.drain();
  f.mouse(QEvent::MouseButtonPress, f.grid->tileRect(f.rowOf(1)).bottomLeft().toPoint() + QPoint(20, -10));
  f.drain();
  EXPECT_EQ(f.focus(), imagePath(1));
  EXPECT_EQ(f.scroll(), 100);
  f.doubleClick(4);
  EXPECT_EQ(f.scroll(), 100);

  f.key(Qt::Key_Left, Qt::NoModifier);  // from image 4 to 3: moves, so it centres
  EXPECT_EQ(f.focus(), imagePath(3));
  const int centred = f.scroll();
  f.key(Qt::Key_Left);
  f.key(Qt::Key_Left);
  f.key(Qt::Key_Left);  // at the first record: the focus stays and nothing scrolls
  EXPECT_EQ(f.focus(), imagePath(0));
  f.grid->verticalScrollBar()->setValue(centred + 300);
  f.drain();
  f.key(Qt::Key_Left);
  EXPECT_EQ(f.scroll(), centred + 300);

  // The store moves the focus itself (the focused record leaves the window): it scrolls.
  f.store->results().selection().selectSingle(imagePath(60));
  f.drain();
  const QRect cell = f.grid->visualRect(f.grid->gridModel().index(f.rowOf(60)));
  EXPECT_NEAR(cell.center().y(), f.grid->viewport()->height() / 2, 2);
}

TEST(ResultsGridListView, ANewSearchScrollsToTheTopAndWinsOverAFocusChangeMadeWithIt) {
  ResultsGridFixture f(libraryImages(0, 90), QSize(520, 420));
  f.showWithSearch();
  f.click(0);
  f.grid->verticalScrollBar()->setValue(f.grid->verticalScrollBar()->maximum());
  f.drain();
  f.store->results().selection().selectSingle(imagePath(80));  // focus changes in the same turn as the reset
  f.search();
  EXPECT_EQ(f.scroll(), 0);

  // A search with no records only records the count.
  f.harness.service->setRecords({});
  f.search();
  EXPECT_EQ(f.grid->gridModel().rowCount(), 0);
  f.harness.service->setRecords(libraryImages(0, 90));
  f.search();
  EXPECT_EQ(f.focus(), imagePath(0));
  EXPECT_EQ(f.scroll(), 0);
}

struct GateCase {
  std::string name;
  std::function<void(ResultsGridFixture&, bool)> close;
};

TEST(ResultsGridListView, NothingActsWhileTheGridIsCovered) {
  const GateCase cases[] = {
      {"preview", [](auto& f, bool on) { f.grid->setQuickLookPresented(on); }},
      {"slideshow", [](auto& f, bool on) { f.store->presentation().setIsSlideshowPresented(on); }},
      {"tag popover", [](auto& f, bool on) { f.store->presentation().setIsTagAdditionPopoverPresented(on); }},
      {"model popover",
       [](auto& f, bool on) { f.store->presentation().setIsModelSelectionPopoverPresented(on); }},
      {"library being prepared",
       [](auto& f, bool on) { LibraryModelTestAccess::setIsPreparingLibrary(f.store->library(), on); }},
  };
  for (const GateCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResultsGridFixture f(libraryImages(0, 30));
    f.showWithSearch();
    f.click(2);
    c.close(f, true);
    EXPECT_FALSE(f.grid->isGridInteractionEnabled());
    f.click(4);
    f.doubleClick(5);
    f.rightClick(5);
    for (int key : {Qt::Key_Down, Qt::Key_Space, Qt::Key_Delete}) f.key(key);
    f.key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(f.focus(), imagePath(2));
    EXPECT_EQ(f.selected(), pathsOf({2}));
    EXPECT_TRUE(f.shownURLs.empty());
    EXPECT_EQ(f.grid->contextMenu(), nullptr);
    EXPECT_EQ(f.window.propagatedKeys,
              (std::vector<int>{Qt::Key_Down, Qt::Key_Space, Qt::Key_Delete, Qt::Key_A}));
    EXPECT_TRUE(f.harness.service->calls("updateReviewStates").empty());

    c.close(f, false);
    f.drain();
    f.key(Qt::Key_Right);
    EXPECT_EQ(f.focus(), imagePath(3));
  }
}

TEST(ResultsGridListView, DeleteMarksTheSelectionAndCtrlZUndoesItOnce) {
  ResultsGridFixture f(libraryImages(0, 30));
  f.showWithSearch();
  f.click(1);
  f.click(2, Qt::ShiftModifier);
  f.key(Qt::Key_Delete);
  ASSERT_EQ(f.harness.service->calls("updateReviewStates").size(), 1U);
  EXPECT_EQ(f.harness.service->calls("updateReviewStates")[0].paths,
            (std::vector<std::string>{imagePath(1), imagePath(2)}));
  EXPECT_FALSE(f.store->results().resultWindow().index(imagePath(1)));  // delete candidates leave the results
  EXPECT_FALSE(f.store->results().resultWindow().index(imagePath(2)));
  EXPECT_EQ(f.grid->gridModel().rowCount(), 28);

  f.key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(f.harness.service->calls("restoreDeleteCandidateStates").size(), 1U);
  EXPECT_TRUE(f.store->results().resultWindow().index(imagePath(1)));
  EXPECT_EQ(f.grid->gridModel().rowCount(), 30);
  f.key(Qt::Key_Z, Qt::ControlModifier);  // nothing left to undo: the key goes on
  EXPECT_EQ(f.harness.service->calls("restoreDeleteCandidateStates").size(), 1U);
  EXPECT_EQ(f.window.propagatedKeys, std::vector<int>{Qt::Key_Z});
  EXPECT_EQ(f.window.focusWidget(), f.grid);

  f.click(5);
  f.key(Qt::Key_Backspace);
  EXPECT_FALSE(f.store->results().resultWindow().index(imagePath(5)));
  // Ctrl+Shift+Z and Alt+Z are not the grid's.
  f.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  f.key(Qt::Key_Z, Qt::AltModifier);
  EXPECT_EQ(f.harness.service->calls("restoreDeleteCandidateStates").size(), 1U);
}

TEST(ResultsGridListView, DeleteDoesNothingWithoutAFocusOrWhileAPageLoads) {
  ResultsGridFixture f(libraryImages(0, 30));
  f.showWithSearch();
  f.store->results().selection().selectSingle(std::nullopt);
  f.key(Qt::Key_Delete);
  f.click(3);
  ResultsModelTestAccess::setIsLoadingNextPage(f.store->results(), true);
  f.key(Qt::Key_Delete);
  EXPECT_TRUE(f.harness.service->calls("updateReviewStates").empty());
  EXPECT_TRUE(f.harness.service->calls("updateReviewState").empty());
  EXPECT_EQ(f.window.propagatedKeys, (std::vector<int>{Qt::Key_Delete, Qt::Key_Delete}));
}

TEST(ResultsGridListView, SpaceOpensThePreviewOfTheFocusAndCtrlASelectsAll) {
  ResultsGridFixture f(libraryImages(0, 30));
  f.showWithSearch();
  f.store->results().selection().selectSingle(std::nullopt);
  f.key(Qt::Key_Space);  // nothing focused: the key goes on
  EXPECT_TRUE(f.shownURLs.empty());
  EXPECT_EQ(f.window.propagatedKeys, std::vector<int>{Qt::Key_Space});
  f.click(7);
  f.key(Qt::Key_Space, Qt::ShiftModifier);
  EXPECT_EQ(f.shownURLs, std::vector<std::string>{"file://" + imagePath(7)});

  f.key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(f.selected().size(), 30U);
  EXPECT_EQ(f.focus(), imagePath(7));
  EXPECT_TRUE(f.grid->gridModel().isSelected(f.rowOf(29)));
}

TEST(ResultsGridListView, ASelectionChangeRepaintsEveryTileOnScreenItChanged) {
  // A selection change repaints only rows on screen; a tile left unpainted would show its old
  // state until something else repainted it.
  struct Case {
    std::string name;
    bool allSelectedBefore;
    std::function<void(ResultsGridFixture&)> change;
  };
  const std::vector<Case> cases = {
      {"select all", false, [](ResultsGridFixture& f) { f.key(Qt::Key_A, Qt::ControlModifier); }},
      {"a click after select all", true, [](ResultsGridFixture& f) { f.click(100); }},
      {"a range to the last tile on screen", false,
       [](ResultsGridFixture& f) { f.click(108, Qt::ShiftModifier); }},
      {"a toggle", false, [](ResultsGridFixture& f) { f.click(104, Qt::ControlModifier); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultsGridFixture f(libraryImages(0, 300));
    f.showWithSearch();
    f.grid->verticalScrollBar()->setValue(f.grid->tileRect(f.rowOf(99)).toRect().top() + f.scroll());
    f.drain();
    f.click(100);
    if (c.allSelectedBefore) f.key(Qt::Key_A, Qt::ControlModifier);
    std::vector<bool> before;
    for (int row = 0; row < f.grid->gridModel().rowCount(); ++row)
      before.push_back(f.grid->gridModel().isSelected(row));
    PaintedRegionRecorder recorder;
    f.grid->viewport()->installEventFilter(&recorder);
    c.change(f);
    f.grid->viewport()->removeEventFilter(&recorder);

    const auto [first, last] = f.grid->rowsOnScreen();
    ASSERT_LE(first, 100);
    ASSERT_GE(last, 108);
    int changedOnScreen = 0;
    for (int row = first; row <= last; ++row) {
      if (f.grid->gridModel().isSelected(row) == before[static_cast<std::size_t>(row)]) continue;
      ++changedOnScreen;
      const QRect tile = f.grid->tileRect(row).toAlignedRect() & f.grid->viewport()->rect();
      EXPECT_TRUE(recorder.painted.contains(tile)) << "row " << row << " not repainted";
    }
    EXPECT_GT(changedOnScreen, 0);
  }
}

TEST(ResultsGridListView, TheContextMenuActsOnTheSelectionOrOnTheTileAlone) {
  ResultsGridFixture f(libraryImages(0, 30));
  ScopedFileManagerRevealer revealer;
  f.showWithSearch();
  f.click(1);
  f.click(3, Qt::ShiftModifier);

  f.rightClick(2);
  QMenu* menu = f.grid->contextMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), "results.contextMenu");
  EXPECT_EQ(menuTexts(*menu),
            (std::vector<std::string>{"review.bulkActionTitle(review.favorite.add,#3)",
                                      "review.bulkActionTitle(review.deleteCandidate.mark,#3)"}));
  actionNamed(*menu, "review.bulkActionTitle(review.favorite.add,#3)")->trigger();
  menu->close();
  f.drain();
  for (int number : {1, 2, 3}) {
    const auto index = f.store->results().resultWindow().index(imagePath(number));
    ASSERT_TRUE(index);
    EXPECT_TRUE(
        f.store->results().resultWindow().records()[static_cast<std::size_t>(*index)]->reviewState.favorite);
  }

  f.rightClick(6);  // outside the selection: that tile alone, the selection stays
  menu = f.grid->contextMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menuTexts(*menu), (std::vector<std::string>{"common.openInFinder", "---", "review.favorite.add",
                                                        "review.deleteCandidate.mark"}));
  actionNamed(*menu, "common.openInFinder")->trigger();
  actionNamed(*menu, "review.deleteCandidate.mark")->trigger();
  menu->close();
  f.drain();
  EXPECT_EQ(revealer.revealedPaths(), std::vector<std::string>{imagePath(6)});
  EXPECT_FALSE(f.store->results().resultWindow().index(imagePath(6)));
  EXPECT_EQ(f.selected(), pathsOf({1, 2, 3}));

  // The menu key opens it at the focused tile.
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(0, 0),
                            f.grid->viewport()->mapToGlobal(QPoint(0, 0)));
  QApplication::sendEvent(f.grid->viewport(), &menuKey);
  f.drain();
  menu = f.grid->contextMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menuTexts(*menu).front(), "review.bulkActionTitle(review.favorite.remove,#3)");
  menu->close();
  f.drain();
}

TEST(ResultsGridListView, ADragCarriesTheFileURLTheServiceOffersOnce) {
  ResultsGridFixture f(libraryImages(0, 30));
  f.harness.service->setAnswer("imageDragPayload", [](const lorvex::testing::ServiceCall& call) -> std::any {
    if (call.paths.front() == imagePath(4)) return std::optional<ImageDragPayload>();
    return std::optional<ImageDragPayload>(ImageDragPayload{call.paths.front()});
  });
  f.showWithSearch();
  const auto drag = [&](int number) {
    const QPoint start = f.tileCentre(number);
    f.mouse(QEvent::MouseButtonPress, start);
    f.mouse(QEvent::MouseMove, start + QPoint(30, 30));
    f.mouse(QEvent::MouseMove, start + QPoint(60, 60));
    f.mouse(QEvent::MouseButtonRelease, start + QPoint(60, 60));
    f.drain();
  };
  drag(3);
  ASSERT_EQ(f.drags.size(), 1U);
  EXPECT_EQ(f.drags[0]->urls(), QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(imagePath(3)))});
  EXPECT_EQ(f.harness.service->calls("imageDragPayload").size(), 1U);
  drag(4);  // no payload: no drag
  EXPECT_EQ(f.drags.size(), 1U);
}

TEST(ResultsGridListView, TheGridTakesTheFocusBackWhenThePreviewCloses) {
  ResultsGridFixture f(libraryImages(0, 30));
  auto* field = new QLineEdit(&f.window);
  f.window.layout()->addWidget(field);
  f.showWithSearch();
  f.click(2);
  ASSERT_EQ(f.window.focusWidget(), f.grid);
  f.grid->setQuickLookPresented(true);
  field->setFocus();
  f.drain();
  EXPECT_EQ(f.window.focusWidget(), field);
  f.grid->setQuickLookPresented(false);
  f.drain();
  EXPECT_EQ(f.window.focusWidget(), f.grid);

  // Closed while the slideshow still covers the grid: no request, the focus stays where it is.
  f.grid->setQuickLookPresented(true);
  field->setFocus();
  f.store->presentation().setIsSlideshowPresented(true);
  f.grid->setQuickLookPresented(false);
  f.drain();
  f.store->presentation().setIsSlideshowPresented(false);
  f.drain();
  EXPECT_EQ(f.window.focusWidget(), field);
}

TEST(ResultsGridListView, TilesOnScreenAskForThumbnailsAndTheNextPage) {
  ResultsGridFixture f(libraryImages(0, 530), QSize(520, 420));
  f.showWithSearch();
  const auto [first, last] = f.grid->visibleRowsForTest();
  ASSERT_EQ(first, 0);
  ASSERT_GT(last, 3);
  ASSERT_LT(last, 30);
  PathSet asked;
  for (const auto& call : f.harness.service->calls("enqueueThumbnailJobs"))
    asked.insert(call.paths.begin(), call.paths.end());
  PathSet onScreen;
  for (int row = first; row <= last; ++row) onScreen.insert(imagePath(row));
  EXPECT_EQ(asked, onScreen);
  EXPECT_EQ(f.harness.service->calls("searchImages").size(), 1U);

  f.grid->scrollToBottom();
  f.drain();
  const auto searches = f.harness.service->calls("searchImages");
  ASSERT_EQ(searches.size(), 2U);
  EXPECT_EQ(searches[1].query->offset, 500);
  EXPECT_EQ(f.grid->gridModel().rowCount(), 530);
}

TEST(ResultsGridListView, TilesShowTheirImagesDecodedOffTheGuiThread) {
  std::vector<ImageRecord> library = libraryImages(0, 12);
  library[1].thumbnailPath = "/thumbs/1.jpg";
  ResultsGridFixture f(library);
  f.showWithSearch();
  const std::vector<std::string> calls = f.decodes.calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "/thumbs/1.jpg"),
            calls.end());  // the thumbnail, not the file
  EXPECT_EQ(std::find(calls.begin(), calls.end(), imagePath(1)), calls.end());
  EXPECT_EQ(f.decodes.threads().count(QThread::currentThread()), 0U);
  EXPECT_FALSE(f.decodes.threads().empty());

  const QImage shot = f.grid->viewport()->grab().toImage();
  for (int number : {0, 1, 5}) {
    const QPoint centre = (f.grid->tileLayoutForTest().imageArea.translated(
                               f.grid->visualRect(f.grid->gridModel().index(f.rowOf(number))).topLeft()))
                              .center()
                              .toPoint();
    EXPECT_EQ(shot.pixelColor(centre * shot.devicePixelRatio()), QColor(Qt::green)) << "image " << number;
  }
}

// Qt numbers its images in sequence; a pixmap cache key that folded that number with the tile's
// width let an image 65,536 numbers after another paint the other's pixmap.
TEST(ResultsGridListView, ATilePaintsItsOwnImageWhateverNumberQtGaveIt) {
  const auto filled = [](Qt::GlobalColor colour) {
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
  };
  QImage red;
  QImage blue;
  for (int attempt = 0; attempt < 5 && blue.isNull(); ++attempt) {
    red = filled(Qt::red);
    const qint64 wanted = (red.cacheKey() >> 32) + 65536;
    while ((QImage(1, 1, QImage::Format_ARGB32).cacheKey() >> 32) < wanted - 1) {
    }
    blue = filled(Qt::blue);
    if ((blue.cacheKey() >> 32) != wanted) blue = QImage();  // another image was made meanwhile
  }
  ASSERT_FALSE(blue.isNull());
  ResultsGridFixture f(libraryImages(0, 2));
  f.decodes.answer(imagePath(0), {red, std::nullopt});
  f.decodes.answer(imagePath(1), {blue, std::nullopt});
  f.showWithSearch();
  const QImage shot = f.grid->viewport()->grab().toImage();
  for (const auto& [number, colour] : {std::pair{0, QColor(Qt::red)}, std::pair{1, QColor(Qt::blue)}}) {
    const QPoint centre = (f.grid->tileLayoutForTest().imageArea.translated(
                               f.grid->visualRect(f.grid->gridModel().index(f.rowOf(number))).topLeft()))
                              .center()
                              .toPoint();
    EXPECT_EQ(shot.pixelColor(centre * shot.devicePixelRatio()), colour) << "image " << number;
  }
}

TEST(ResultsGridListView, TilesThatLeaveTheScreenDropTheirQueuedDecodes) {
  ResultsGridFixture f(libraryImages(0, 300), QSize(520, 420), 1);
  f.decodes.hold();
  f.search();
  f.window.show();
  f.drain(false);
  const auto [first, last] = f.grid->visibleRowsForTest();
  ASSERT_GT(last, first);
  f.decodes.waitForCalls(1);
  f.grid->scrollToBottom();
  f.drain(false);
  f.decodes.release();
  f.drain();
  // Only the decode that was running when the tiles left ran of theirs.
  int ranOfTheFirstScreen = 0;
  for (const std::string& path : f.decodes.calls()) {
    for (int row = first; row <= last; ++row) ranOfTheFirstScreen += path == imagePath(row) ? 1 : 0;
  }
  EXPECT_EQ(ranOfTheFirstScreen, 1);
  EXPECT_EQ(f.loader.decodesInFlightForTest(), 0U);
}

// A paint engine that records each pixmap or image copy: whether it scales, whether smooth
// filtering was on for it, what it copied, and how many lines of its target the clip lets it draw
// at once.
class CopyRecordingEngine : public QPaintEngine {
 public:
  struct Copy {
    bool scaled;
    bool smooth;
    qint64 source;  // the pixmap's or image's cache key
    double lines;
  };
  CopyRecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  void updateState(const QPaintEngineState& state) override {
    if (state.state() & QPaintEngine::DirtyHints) {
      smooth_ = state.renderHints().testFlag(QPainter::SmoothPixmapTransform);
    }
  }
  void drawPixmap(const QRectF& target, const QPixmap& pixmap, const QRectF& source) override {
    record(target, source, pixmap.devicePixelRatio(), pixmap.cacheKey());
  }
  void drawImage(const QRectF& target, const QImage& image, const QRectF& source,
                 Qt::ImageConversionFlags) override {
    record(target, source, image.devicePixelRatio(), image.cacheKey());
  }
  void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
  void drawPath(const QPainterPath&) override {}
  void drawTextItem(const QPointF&, const QTextItem&) override {}
  Type type() const override { return QPaintEngine::User; }

  std::vector<Copy> copies;

 private:
  void record(const QRectF& target, const QRectF& source, qreal dpr, qint64 key) {
    const QSizeF drawn = target.size() * dpr;
    const bool scaled =
        std::abs(drawn.width() - source.width()) > 0.01 || std::abs(drawn.height() - source.height()) > 0.01;
    const QRectF drawnPart = painter()->hasClipping() ? target & painter()->clipBoundingRect() : target;
    copies.push_back({scaled, smooth_, key, drawnPart.height() * dpr});
  }
  bool smooth_ = false;
};

using CopyRecordingDevice = RecordingPaintDevice<CopyRecordingEngine>;

// The list view paints its items with smooth filtering on, and Qt's raster painter then sends even
// an unscaled copy through its filtering path and helper threads. A tile filters only the copy it
// scales (an image kept from another tile size); every other copy goes without. The scaled copy
// goes in bands of at most 64 lines, each of which the painter draws on its own thread.
TEST(ResultsGridListView, ATileFiltersOnlyTheCopiesItScalesAndScalesThemInBands) {
  struct Case {
    const char* name;
    bool decoded;       // the images decoded (else the placeholders show)
    int narrowerBy;     // the grid made narrower by this much after its images came
    bool expectScaled;  // whether some copy scales
  };
  const std::vector<Case> cases{
      {"images at the tile size", true, 0, false},
      {"placeholders", false, 0, false},
      {"images kept from a wider grid", true, 60, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultsGridFixture f(libraryImages(0, 6));
    if (!c.decoded) f.decodes.hold();
    f.search();
    f.window.show();
    f.drain(c.decoded);
    if (c.narrowerBy > 0) f.grid->resize(f.grid->width() - c.narrowerBy, f.grid->height());
    CopyRecordingDevice device(f.grid->viewport()->size());
    f.grid->viewport()->render(&device);
    const std::vector<CopyRecordingEngine::Copy>& copies = device.engine.copies;
    ASSERT_FALSE(copies.empty());
    bool anyScaled = false;
    for (const CopyRecordingEngine::Copy& copy : copies) {
      EXPECT_EQ(copy.smooth, copy.scaled);
      if (copy.scaled) {
        EXPECT_LE(copy.lines, 64.0);
      }
      anyScaled = anyScaled || copy.scaled;
    }
    EXPECT_EQ(anyScaled, c.expectScaled);
    if (!c.decoded) f.decodes.release();
  }
}

// What the tiles copy in one paint of the grid's viewport: the pixmaps' and images' keys, in order.
std::vector<qint64> copiedSources(QWidget& viewport) {
  CopyRecordingDevice device(viewport.size());
  viewport.render(&device);
  std::vector<qint64> sources;
  for (const CopyRecordingEngine::Copy& copy : device.engine.copies) sources.push_back(copy.source);
  return sources;
}

// The tiles' backgrounds are drawn once per look. The grid goes to another look and back each time
// something covers it (disabled under the preview) or the palette changes; back in a look it was
// painted in, it copies the same pixmaps again instead of drawing them afresh.
TEST(ResultsGridListView, ATileLookIsDrawnOnceAndKeptForTheNextTimeItShows) {
  struct Case {
    const char* name;
    std::function<void(ResultsGridListView&)> away;  // into another look
    std::function<void(ResultsGridListView&)> back;
  };
  QPalette other;
  other.setColor(QPalette::Base, QColor(20, 30, 40));
  other.setColor(QPalette::Highlight, QColor(200, 20, 20));
  const std::vector<Case> cases{
      {"disabled under the preview, then enabled", [](ResultsGridListView& grid) { grid.setEnabled(false); },
       [](ResultsGridListView& grid) { grid.setEnabled(true); }},
      {"another palette, then its own again", [&](ResultsGridListView& grid) { grid.setPalette(other); },
       [](ResultsGridListView& grid) { grid.setPalette(QPalette()); }},
      {"a second look and a third, then the first",
       [&](ResultsGridListView& grid) {
         grid.setPalette(other);
         copiedSources(*grid.viewport());
         grid.setEnabled(false);
       },
       [](ResultsGridListView& grid) {
         grid.setEnabled(true);
         grid.setPalette(QPalette());
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultsGridFixture f(libraryImages(0, 6));
    f.search();
    f.window.show();
    f.drain();
    f.click(1);
    f.drain();
    QWidget& viewport = *f.grid->viewport();
    const std::vector<qint64> first = copiedSources(viewport);
    ASSERT_FALSE(first.empty());
    c.away(*f.grid);
    const std::vector<qint64> away = copiedSources(viewport);
    EXPECT_NE(away, first) << "the other look copies other backgrounds";
    c.back(*f.grid);
    EXPECT_EQ(copiedSources(viewport), first);
  }
}

}  // namespace
}  // namespace lorvex::ui::testing
