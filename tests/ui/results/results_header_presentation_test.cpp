// The results header: its status text, spinner, sort menu and slideshow button as the store's
// state changes, and what its controls do.
#include "ui/results/results_header_presentation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "store/support/store_harness.h"
#include "ui/results/echo_localization.h"

namespace lorvex::ui {
namespace {

using testing::echoLocalization;

TEST(ResultsHeaderPresentationTest, StatusTextFollowsTheFirstRuleThatHolds) {
  const struct {
    ResultsStatusInputs inputs;
    std::string expected;
  } rows[] = {
      {{.hasMoreRecords = true, .loadedCount = 500}, "common.imageCount.plus(#500)"},
      {{.hasMoreRecords = true, .loadedCount = 1}, "common.imageCount.plus(#1)"},
      {{.loadedCount = 1}, "common.imageCount.one(#1)"},
      {{.loadedCount = 0}, "common.imageCount.other(#0)"},
      {{.loadedCount = 2}, "common.imageCount.other(#2)"},
      {{.isLoadingNextPage = true, .hasMoreRecords = true, .loadedCount = 500},
       "result.loadingMoreCount.other(#500)"},
      {{.isLoadingNextPage = true, .loadedCount = 1}, "result.loadingMoreCount.one(#1)"},
      {{.isLoading = true, .isLoadingNextPage = true, .hasMoreRecords = true, .loadedCount = 500},
       "result.searching"},
      {{.isLoading = true, .loadedCount = 0}, "result.searching"},
  };
  for (const auto& row : rows) EXPECT_EQ(resultsStatusText(row.inputs, echoLocalization()), row.expected);
}

TEST(ResultsHeaderPresentationTest, SlideshowButtonLooksAndEnablesByItsState) {
  const SlideshowHeaderButtonState closed{false};
  const SlideshowHeaderButtonState open{true};
  EXPECT_EQ(closed.title(echoLocalization()), "slideshow.title");
  EXPECT_EQ(closed.systemImage(), "play.rectangle");
  EXPECT_EQ(closed.colorRole(), HeaderActionButtonColorRole::normal);
  EXPECT_EQ(closed.accessibilityValue(echoLocalization()), "slideshow.stopped");
  EXPECT_EQ(open.title(echoLocalization()), "slideshow.stop");
  EXPECT_EQ(open.systemImage(), "stop.circle.fill");
  EXPECT_EQ(open.colorRole(), HeaderActionButtonColorRole::activeYellow);
  EXPECT_EQ(open.accessibilityValue(echoLocalization()), "slideshow.running");

  const struct {
    bool presented, hasRecords, isLoading, enabled;
  } rows[] = {
      {false, false, false, false}, {false, true, false, true}, {false, true, true, false},
      {false, false, true, false},  {true, false, false, true}, {true, true, true, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(isSlideshowHeaderButtonEnabled(row.presented, row.hasRecords, row.isLoading), row.enabled)
        << row.presented << row.hasRecords << row.isLoading;
  }
}

TEST(ResultsHeaderPresentationTest, SortOptionsFollowTheSortsInOrder) {
  const auto options = searchSortOptions(echoLocalization());
  const std::vector<SearchSortOption> expected{
      {ImageSearchSort::modificationDateDescending, "modificationDateDescending",
       "sort.modificationDateDescending"},
      {ImageSearchSort::modificationDateAscending, "modificationDateAscending",
       "sort.modificationDateAscending"},
      {ImageSearchSort::fileNameAscending, "fileNameAscending", "sort.fileNameAscending"},
      {ImageSearchSort::fileNameDescending, "fileNameDescending", "sort.fileNameDescending"},
  };
  EXPECT_EQ(std::vector<SearchSortOption>(options.begin(), options.end()), expected);
}

// A header built from a store whose window holds `records` of a library of `libraryCount`.
struct HeaderFixture {
  lorvex::testing::StoreHarness h;
  std::unique_ptr<ImageLibraryStore> store;

  explicit HeaderFixture(std::size_t libraryCount) {
    h.service->setRecords(lorvex::testing::makeLibraryRecords(libraryCount));
    store = h.makeStore();
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(),
                                                                 {"/library"});  // the records' folder
    auto refresh = store->results().refreshResults(ResultsModel::kFirstPageLimit, true);
    h.drainEvents();
    EXPECT_TRUE(refresh.isReady());
  }
  ResultsHeaderPresentation header() const {
    return ResultsHeaderPresentation::make(store->results(), store->filters(), store->presentation(),
                                           echoLocalization());
  }
};

TEST(ResultsHeaderPresentationTest, FollowsTheStoresLoadingAndSlideshowState) {
  const struct {
    const char* name;
    std::size_t library;
    bool isLoading, isLoadingNextPage, slideshow;
    std::string status;
    bool spinner, sortEnabled, slideshowEnabled;
  } rows[] = {
      {"first page with more", 600, false, false, false, "common.imageCount.plus(#500)", false, true, true},
      {"one record", 1, false, false, false, "common.imageCount.one(#1)", false, true, true},
      {"no records", 0, false, false, false, "common.imageCount.other(#0)", false, true, false},
      {"next page loading", 600, false, true, false, "result.loadingMoreCount.other(#500)", true, true, true},
      {"new search over records", 600, true, false, false, "result.searching", true, false, false},
      {"slideshow open during a search", 600, true, false, true, "result.searching", true, false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    HeaderFixture f(row.library);
    if (row.slideshow) f.store->results().startSlideshow();
    ResultsModelTestAccess::setIsLoading(f.store->results(), row.isLoading);
    ResultsModelTestAccess::setIsLoadingNextPage(f.store->results(), row.isLoadingNextPage);
    const auto header = f.header();
    EXPECT_EQ(header.statusText, row.status);
    EXPECT_EQ(header.showsProgress, row.spinner);
    EXPECT_EQ(header.isSortEnabled, row.sortEnabled);
    EXPECT_EQ(header.isSlideshowEnabled, row.slideshowEnabled);
    EXPECT_EQ(header.slideshowState.isPresented, row.slideshow);
    EXPECT_EQ(header.slideshowTitle, row.slideshow ? "slideshow.stop" : "slideshow.title");
    EXPECT_EQ(header.slideshowAccessibilityValue, row.slideshow ? "slideshow.running" : "slideshow.stopped");
    EXPECT_EQ(header.shortcutHelpTitle, "shortcutHelp.buttonTitle");
    EXPECT_EQ(header.shortcutHelpMenuTitle, "shortcutHelp.menuTitle");
    EXPECT_EQ(header.sortLabel, "sort.label");
  }
}

TEST(ResultsHeaderPresentationTest, TheSlideshowButtonOpensAndClosesTheSlideshow) {
  HeaderFixture f(3);
  toggleSlideshowFromHeader(f.store->presentation(), f.store->results());
  EXPECT_TRUE(f.store->presentation().isSlideshowPresented());
  EXPECT_TRUE(f.store->presentation().isSlideshowPlaying());
  EXPECT_TRUE(f.store->results().selection().primaryPath().has_value());
  EXPECT_EQ(f.header().slideshowState, SlideshowHeaderButtonState{true});
  toggleSlideshowFromHeader(f.store->presentation(), f.store->results());
  EXPECT_FALSE(f.store->presentation().isSlideshowPresented());
  EXPECT_FALSE(f.store->presentation().isSlideshowPlaying());
}

TEST(ResultsHeaderPresentationTest, ChoosingASortRefreshesUnlessItIsAlreadySelected) {
  const struct {
    ImageSearchSort chosen;
    std::size_t searches;
    std::size_t selectedIndex;
  } rows[] = {
      {ImageSearchSort::modificationDateDescending, 0, 0},
      {ImageSearchSort::fileNameAscending, 1, 2},
      {ImageSearchSort::fileNameDescending, 1, 3},
  };
  for (const auto& row : rows) {
    HeaderFixture f(3);
    const auto searchesBefore = f.h.service->calls("searchImages").size();
    auto choice = chooseSearchSort(f.store->filters(), row.chosen);
    f.h.drainEvents();
    ASSERT_TRUE(choice.isReady());
    EXPECT_EQ(f.h.service->calls("searchImages").size() - searchesBefore, row.searches);
    EXPECT_EQ(f.store->filters().searchSort(), row.chosen);
    EXPECT_EQ(f.header().selectedSortIndex, row.selectedIndex);
  }
}

}  // namespace
}  // namespace lorvex::ui
