// The results column around the grid, offscreen over a store on the scripted service: the
// load-more row and the status text through a page load, the overlay shown for each state and
// what its button does, the filter chips and their removal, the sort menu, the slideshow button.
#include "ui/results/results_grid_view.h"

#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include "results_grid_fixture.h"
#include "store/filters/filters_model_test_access.h"
#include "store/library/library_model_test_access.h"
#include "ui/common/clip_rect_painting.h"
#include "ui/common/header_action_button.h"
#include "ui/common/load_more_results_indicator.h"
#include "ui/detail/metadata_chip_button.h"
#include "ui/results/results_grid_list_view.h"
#include "ui/results/results_overlays.h"
#include "ui/support/drawing_bands_recorder.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui::testing {
namespace {

struct ResultsViewFixture : ResultsWidgetHarness {
  explicit ResultsViewFixture(std::vector<ImageRecord> library) : ResultsWidgetHarness(std::move(library)) {
    view = std::make_unique<ResultsGridView>(
        resultsGridListModels(*store), store->filters(),
        ResultsGridViewActions{[this] { ++folderPickers; },
                               [this](const std::string& path) { reauthorized.push_back(path); },
                               [this] { ++shortcutHelps; }, [](const std::string&) {}},
        echoLocalization(), loader);
    view->resize(760, 560);
    view->show();
    drain();
  }
  ~ResultsViewFixture() {
    harness.service->releaseAll();
    view.reset();
    drain();
  }

  template <class T = QWidget>
  T* named(const char* name) {
    T* found = findByName<T>(*view, name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QString statusText() { return named<QLabel>("results.status")->text(); }
  bool shown(const char* name) {
    QWidget* widget = findByName<QWidget>(*view, name);
    return widget != nullptr && widget->isVisible();
  }

  std::unique_ptr<ResultsGridView> view;
  int folderPickers = 0;
  int shortcutHelps = 0;
  std::vector<std::string> reauthorized;
};

TEST(ResultsGridView, TheLoadMoreRowAndTheStatusFollowAPageLoad) {
  ResultsViewFixture f(libraryImages(0, 520));
  f.search();
  auto* loadMore = f.named<LoadMoreResultsIndicator>("results.loadMore");
  EXPECT_TRUE(loadMore->isVisible());
  EXPECT_EQ(loadMore->text(), "result.loadMore");
  EXPECT_EQ(f.statusText(), "common.imageCount.plus(#500)");

  f.harness.service->hold("searchImages");
  f.view->grid().scrollToBottom();  // the last tiles come into view and ask for the next page
  f.harness.service->waitForHeld("searchImages", 1);
  f.drain();
  EXPECT_EQ(loadMore->text(), "result.loadingMore");
  EXPECT_EQ(f.statusText(), "result.loadingMoreCount.other(#500)");

  f.harness.service->releaseAll();
  f.drain();
  EXPECT_FALSE(loadMore->isVisible());
  EXPECT_EQ(f.statusText(), "common.imageCount.other(#520)");
}

TEST(ResultsGridView, SearchingCoversTheGridAndTheEmptyPanelExplainsAnEmptyOne) {
  ResultsViewFixture f(libraryImages(0, 3));
  f.search();
  EXPECT_FALSE(f.shown("results.searching"));
  EXPECT_FALSE(f.shown("results.empty"));

  f.harness.service->hold("searchImages");
  auto task = lorvex::testing::startFlow(
      *f.store, [&](std::stop_token) { return f.store->results().refreshResults(500, true); });
  f.harness.service->waitForHeld("searchImages", 1);
  f.drain();
  EXPECT_TRUE(f.shown("results.searching"));  // over the records still shown
  EXPECT_EQ(f.statusText(), "result.searching");
  EXPECT_FALSE(f.named<QComboBox>("results.sort")->isEnabled());
  f.harness.service->releaseAll();
  f.drain();
  EXPECT_FALSE(f.shown("results.searching"));
}

struct EmptyCase {
  std::string name;
  std::function<void(ResultsViewFixture&)> arrange;
  std::string title;
  std::string button;  // empty: no button
  std::function<void(ResultsViewFixture&)> check;
};

TEST(ResultsGridView, TheEmptyPanelsButtonDoesWhatItSays) {
  RegisteredFolderSummary denied{
      "/photos/locked", "locked", RegisteredFolderAccessState::accessDenied, 0, 0, {}, {}};
  RegisteredFolderSummary open{kLibraryRoot, "lib", RegisteredFolderAccessState::available, 3, 0, {}, {}};
  const EmptyCase cases[] = {
      {"first run", [](auto&) {}, "onboarding.firstRun.title", "library.addFolder",
       [](auto& f) { EXPECT_EQ(f.folderPickers, 1); }},
      {"a folder to allow again",
       [&](auto& f) {
         LibraryModelTestAccess::setRegisteredFolderSummaries(f.store->library(), {open, denied});
       },
       "result.empty.permission.title", "library.allowAccess",
       [](auto& f) { EXPECT_EQ(f.reauthorized, std::vector<std::string>{"/photos/locked"}); }},
      {"no results under a filter",
       [&](auto& f) {
         LibraryModelTestAccess::setRegisteredFolderSummaries(f.store->library(), {open});
         FiltersModelTestAccess::setOnlyFavorites(f.store->filters(), true);
         f.harness.service->setRecords(libraryImages(0, 3));  // none of them a favourite
       },
       "result.empty.noResults.title", "filter.summary.resetAll",
       [](auto& f) {
         EXPECT_FALSE(f.store->filters().onlyFavorites());
         EXPECT_EQ(f.store->results().resultWindow().records().size(), 3U);
       }},
      {"no results, no filter",
       [&](auto& f) { LibraryModelTestAccess::setRegisteredFolderSummaries(f.store->library(), {open}); },
       "result.empty.noResults.title", "", [](auto&) {}},
  };
  for (const EmptyCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResultsViewFixture f({});
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(f.store->library(), {});
    c.arrange(f);
    f.search();
    ASSERT_TRUE(f.shown("results.empty"));
    auto* panel = f.named<EmptyResultsOverlay>("results.empty");
    EXPECT_EQ(panel->presentation().title, c.title);
    auto* button = f.named<QAbstractButton>("results.empty.chooseFolder");
    EXPECT_EQ(button->isVisible(), !c.button.empty());
    if (c.button.empty()) continue;
    EXPECT_EQ(button->text().toStdString(), c.button);
    button->click();
    f.drain();
    c.check(f);
  }
}

TEST(ResultsGridView, ChipsNameTheFiltersAndRemoveThemOneByOne) {
  ResultsViewFixture f(libraryImages(0, 5));
  f.search();
  EXPECT_FALSE(f.shown("results.filterSummary"));  // no filter: no bar

  FiltersModelTestAccess::setSelectedFilterTags(f.store->filters(), {"Cat Ears"});
  FiltersModelTestAccess::setOnlyFavorites(f.store->filters(), true);
  f.drain();
  ASSERT_TRUE(f.shown("results.filterSummary"));
  auto* tagChip = f.named<QAbstractButton>("results.filterChip.tag:cat ears");
  ASSERT_NE(tagChip, nullptr);
  EXPECT_EQ(tagChip->accessibleName(), "filter.summary.clear(filter.summary.tag(Cat Ears))");
  EXPECT_NE(f.named<QAbstractButton>("results.filterChip.favorite"), nullptr);
  const std::size_t searches = f.harness.service->calls("searchImages").size();

  tagChip->click();
  f.drain();
  EXPECT_TRUE(f.store->filters().selectedFilterTags().empty());
  EXPECT_TRUE(f.store->filters().onlyFavorites());
  EXPECT_EQ(f.harness.service->calls("searchImages").size(), searches + 1);
  EXPECT_EQ(findByName<QWidget>(*f.view, "results.filterChip.tag:cat ears"), nullptr);

  f.named<QAbstractButton>("results.filterReset")->click();
  f.drain();
  EXPECT_FALSE(f.store->filters().onlyFavorites());
  EXPECT_FALSE(f.shown("results.filterSummary"));
}

// The chips row is as tall as its chips, and a row wider than its room scrolls sideways under a
// vertical wheel, plain or with Shift (or the horizontal turn some systems make of Shift), until
// the last chip is in view; Reset Filters stays whole at the bar's end all the while.
TEST(ResultsGridView, TheChipsRowHasItsHeightAndTheWheelBringsTheLastChipIntoViewBesideTheReset) {
  ResultsViewFixture f(libraryImages(0, 5));
  f.search();
  f.view->resize(360, 560);
  FiltersModelTestAccess::setSelectedFilterTags(f.store->filters(), {"Cat Ears", "Long Hair", "Night Sky"});
  FiltersModelTestAccess::setOnlyFavorites(f.store->filters(), true);
  f.drain();
  auto* row = f.named<QScrollArea>("results.filterSummary.scroll");
  auto* last = f.named<QAbstractButton>("results.filterChip.favorite");
  auto* reset = f.named<QAbstractButton>("results.filterReset");
  auto* bar = f.named<QWidget>("results.filterSummary");
  ASSERT_TRUE(row != nullptr && last != nullptr && reset != nullptr && bar != nullptr);
  ASSERT_GT(row->height(), 0);
  EXPECT_GE(row->viewport()->height(), last->sizeHint().height());
  const auto lastInView = [&] {
    const QRect placed(last->mapTo(row->viewport(), QPoint(0, 0)), last->size());
    return row->viewport()->rect().contains(placed);
  };
  const auto resetWhole = [&] {
    const QRect placed(reset->mapTo(bar, QPoint(0, 0)), reset->size());
    return reset->isVisible() && bar->rect().contains(placed) &&
           reset->width() >= reset->sizeHint().width() && !row->geometry().intersects(reset->geometry());
  };
  struct Turn {
    QPoint angle;
    Qt::KeyboardModifiers modifiers;
  };
  for (const Turn& turn : {Turn{{0, -120}, Qt::NoModifier}, Turn{{0, -120}, Qt::ShiftModifier},
                           Turn{{-120, 0}, Qt::ShiftModifier}}) {
    SCOPED_TRACE(turn.angle.x() != 0 ? "horizontal" : turn.modifiers != Qt::NoModifier ? "shift" : "plain");
    row->horizontalScrollBar()->setValue(0);
    f.drain();
    EXPECT_FALSE(lastInView());
    EXPECT_TRUE(resetWhole());
    for (int turns = 0; turns < 30 && !lastInView(); ++turns) {
      // Delivered as the window delivers it: to the chip under the pointer, on to its parents.
      const QPoint centre = row->viewport()->rect().center();
      QWidget* target = row->viewport()->childAt(centre);
      if (target == nullptr) target = row->viewport();
      const QPointF local = target->mapFrom(row->viewport(), QPointF(centre));
      QWheelEvent event(local, target->mapToGlobal(local), QPoint(), turn.angle, Qt::NoButton, turn.modifiers,
                        Qt::NoScrollPhase, false);
      QSpontaneKeyEvent::setSpontaneous(&event);
      QApplication::instance()->notify(target, &event);
    }
    f.drain();
    EXPECT_TRUE(lastInView());
    EXPECT_TRUE(resetWhole());
  }
}

// The load-more row scrolls with the tiles: out of view under the last row at the top, right
// under the last tile at the bottom, as wide as the grid's viewport.
TEST(ResultsGridView, TheLoadMoreRowIsTheLastRowOfTheScrolledContent) {
  ResultsViewFixture f(libraryImages(0, 520));
  f.search();
  auto* loadMore = f.named<LoadMoreResultsIndicator>("results.loadMore");
  ResultsGridListView& grid = f.view->grid();
  ASSERT_TRUE(grid.viewport()->isAncestorOf(loadMore));
  EXPECT_TRUE(loadMore->isVisible());
  EXPECT_GE(loadMore->geometry().top(), grid.viewport()->height());

  f.harness.service->hold("searchImages");
  grid.scrollToBottom();
  f.harness.service->waitForHeld("searchImages", 1);
  f.drain();
  const QRectF lastTile = grid.tileRect(grid.gridModel().rowCount() - 1);
  EXPECT_GE(loadMore->geometry().top(), static_cast<int>(lastTile.bottom()));
  EXPECT_TRUE(grid.viewport()->rect().contains(loadMore->geometry()));
  EXPECT_EQ(loadMore->width(), grid.viewport()->width());
  EXPECT_GT(loadMore->height(), 0);
  f.harness.service->releaseAll();
  f.drain();
  EXPECT_FALSE(loadMore->isVisible());
}

TEST(ResultsGridView, TheSortMenuChangesTheSortOnlyWhenAPersonChooses) {
  ResultsViewFixture f(libraryImages(0, 5));
  f.search();
  auto* sort = f.named<QComboBox>("results.sort");
  EXPECT_EQ(sort->width(), 170);
  ASSERT_EQ(sort->count(), 4);
  EXPECT_EQ(sort->itemText(2), "sort.fileNameAscending");
  EXPECT_EQ(sort->currentIndex(), 0);
  const std::size_t searches = f.harness.service->calls("searchImages").size();

  sort->setCurrentIndex(2);
  Q_EMIT sort->activated(2);
  f.drain();
  EXPECT_EQ(f.store->filters().searchSort(), ImageSearchSort::fileNameAscending);
  ASSERT_EQ(f.harness.service->calls("searchImages").size(), searches + 1);
  EXPECT_EQ(f.harness.service->calls("searchImages").back().query->sort, ImageSearchSort::fileNameAscending);

  Q_EMIT sort->activated(2);  // the sort already chosen: nothing to refresh
  f.drain();
  EXPECT_EQ(f.harness.service->calls("searchImages").size(), searches + 1);

  // The store changes the sort: the menu follows without choosing anything itself.
  auto task = lorvex::testing::startFlow(*f.store, [&](std::stop_token) {
    return f.store->filters().selectSearchSort(ImageSearchSort::modificationDateAscending);
  });
  f.drain();
  EXPECT_EQ(sort->currentIndex(), 1);
  EXPECT_EQ(f.store->filters().searchSort(), ImageSearchSort::modificationDateAscending);
  EXPECT_EQ(f.harness.service->calls("searchImages").size(), searches + 2);
}

TEST(ResultsGridView, TheSlideshowButtonOpensAndClosesTheSlideshow) {
  ResultsViewFixture f({});
  f.search();
  auto* slideshow = f.named<HeaderActionButton>("results.slideshow");
  EXPECT_FALSE(slideshow->isEnabled());  // nothing loaded
  f.harness.service->setRecords(libraryImages(0, 4));
  f.search();
  EXPECT_TRUE(slideshow->isEnabled());
  EXPECT_EQ(slideshow->accessibleDescription(), "slideshow.stopped");
  slideshow->click();
  f.drain();
  EXPECT_TRUE(f.store->presentation().isSlideshowPresented());
  EXPECT_EQ(slideshow->colorRole(), HeaderActionButtonColorRole::activeYellow);
  EXPECT_EQ(slideshow->accessibleDescription(), "slideshow.running");
  slideshow->click();
  f.drain();
  EXPECT_FALSE(f.store->presentation().isSlideshowPresented());

  f.named<QAbstractButton>("results.shortcutHelp")->click();
  EXPECT_EQ(f.shortcutHelps, 1);
}

// The header's hairline is a translucent line, which Qt's raster painter blends a pixel at a time
// and hands to its helper threads when it is about a hundred pixels or longer: it is drawn in
// pieces of at most 64, at any width of the column.
TEST(ResultsGridView, TheHeadersHairlineIsDrawnInPieces) {
  ResultsViewFixture f(libraryImages(0, 3));
  for (const int width : {800, 1203}) {
    SCOPED_TRACE(width);
    f.view->resize(width, 560);
    f.drain();
    auto* header = f.named("results.header");
    ASSERT_NE(header, nullptr);
    EXPECT_GT(testing::tallestDrawing(*header), 0) << "the hairline is drawn";
    EXPECT_LE(testing::tallestDrawing(*header), 64);
  }
}

// A translucent antialiased shape reaches Qt's raster helper threads at far fewer lines than a fill
// (each pixel of its edges is a span of its own): the header's filter chips, the searching panel
// and the inspector's tag chips (plain, selected, focused) draw their capsules in narrow bands.
TEST(ResultsGridView, TranslucentCapsulesAreDrawnInNarrowBands) {
  ResultsViewFixture f(libraryImages(0, 3));
  f.search();
  FiltersModelTestAccess::setSelectedFilterTags(f.store->filters(), {"Cat Ears"});
  f.drain();
  SearchProgressIndicator searching(echoLocalization());
  searching.resize(160, 40);
  QWidget inspector;
  auto* plain = new MetadataChipButton(&inspector);
  auto* selected = new MetadataChipButton(&inspector);
  auto* focused = new MetadataChipButton(&inspector);
  for (MetadataChipButton* chip : {plain, selected, focused}) {
    chip->setChipText("long hair");
    chip->resize(chip->sizeHint());
  }
  selected->setSelected(true);
  inspector.show();
  QApplication::setActiveWindow(&inspector);
  focused->setFocus(Qt::TabFocusReason);
  f.drain();
  ASSERT_TRUE(focused->hasFocus());
  const struct {
    const char* name;
    QWidget* widget;
  } cases[] = {
      {"filter chip", f.named("results.filterChip.tag:cat ears")},
      {"reset button", f.named("results.filterReset")},
      {"searching panel", &searching},
      {"tag chip", plain},
      {"selected tag chip", selected},
      {"focused tag chip", focused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(c.widget, nullptr);
    EXPECT_GT(c.widget->height(), kAntialiasedBandDeviceLines);
    EXPECT_GT(tallestAntialiasedDrawing(*c.widget), 0) << "the capsule is drawn";
    EXPECT_LE(tallestAntialiasedDrawing(*c.widget), kAntialiasedBandDeviceLines);
  }
}

}  // namespace
}  // namespace lorvex::ui::testing
