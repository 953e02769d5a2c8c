// bench_sidebar [--runs N]
//
// The sidebar's updates on the offscreen platform, over a store on the scripted library service,
// with 1,000 saved tags (the list expanded) and 200 registered folders. Prints the median main-
// thread CPU time of --runs runs (default 21) of:
//   - toggling one saved tag: the store's selection changes and the sidebar applies it (aim
//     <= 10 ms), next to the floor of applying an unchanged state (nothing to do but compare);
//   - filling the tag popover's list with 1,000 suggestions and drawing its visible rows (aim
//     <= 10 ms).
#include <QApplication>
#include <QListView>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../store_bench_support.h"
#include "store/filters/filters_model_test_access.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/suggestions/suggestions_model_test_access.h"
#include "store/support/store_harness.h"
#include "ui/results/echo_localization.h"
#include "ui/sidebar/filter_row_list.h"
#include "ui/sidebar/filter_sidebar.h"
#include "ui/sidebar/suggestion_popovers.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_application.h"

namespace {

using lorvex::bench::median;
using lorvex::bench::threadCPUMilliseconds;

template <typename Work>
double mainThreadMilliseconds(Work work) {
  const double begin = threadCPUMilliseconds();
  work();
  return threadCPUMilliseconds() - begin;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 21;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  }
  lorvex::ui::testing::uiTestApplication();
  lorvex::testing::StoreHarness harness;
  lorvex::testing::StoreOptions options;
  for (int i = 0; i < 1000; ++i) options.savedFilterTags.push_back("saved tag number " + std::to_string(i));
  auto store = harness.makeStore(options);
  store->presentation().setIsFilterTagListExpanded(true);
  std::vector<lorvex::RegisteredFolderSummary> folders;
  for (int i = 0; i < 200; ++i) {
    const std::string path = "/home/bench/Pictures/folder " + std::to_string(i);
    folders.push_back({path, "folder " + std::to_string(i), lorvex::RegisteredFolderAccessState::available,
                       1000 + i, 0, std::nullopt, std::nullopt});
  }
  lorvex::LibraryModelTestAccess::setRegisteredFolderSummaries(store->library(), folders);
  const lorvex::ui::AppLocalization localizer = lorvex::ui::testing::echoLocalization();
  lorvex::ui::FilterSidebar sidebar(
      lorvex::ui::testing::filterSidebarModels(*store), {}, [] {}, [](const std::string&) {}, {}, localizer);
  sidebar.resize(300, 900);
  sidebar.show();
  harness.drainEvents();
  lorvex::ui::testing::drainUiEvents();

  std::vector<double> toggles;
  std::vector<double> unchanged;
  for (int run = 0; run < runs; ++run) {
    const std::string tag = "saved tag number " + std::to_string((run * 37) % 1000);
    lorvex::FiltersModelTestAccess::setSelectedFilterTags(
        store->filters(), run % 2 == 0 ? std::vector<std::string>{tag} : std::vector<std::string>{});
    toggles.push_back(mainThreadMilliseconds([&] { sidebar.applyStoreState(); }));
    unchanged.push_back(mainThreadMilliseconds([&] { sidebar.applyStoreState(); }));
  }

  std::vector<lorvex::TagSuggestion> suggestions;
  for (int i = 0; i < 1000; ++i) suggestions.push_back({"suggested tag " + std::to_string(i), 1000 - i});
  store->presentation().presentTagAdditionPopover();
  harness.drainEvents();
  lorvex::ui::testing::drainUiEvents();
  lorvex::ui::FilterTagAdditionPanel* panel = sidebar.tagPopover();
  if (!panel) {
    std::fprintf(stderr, "the tag popover did not open\n");
    return 1;
  }
  auto* list = panel->findChild<QListView*>("tagPopover.list");
  std::vector<double> fills;
  for (int run = 0; run < runs; ++run) {
    lorvex::SuggestionsModelTestAccess::setTagSuggestions(
        store->suggestions(),
        run % 2 == 0 ? suggestions
                     : std::vector<lorvex::TagSuggestion>(suggestions.rbegin(), suggestions.rend()));
    lorvex::SuggestionsModelTestAccess::setIsTagSuggestionLoading(store->suggestions(), false);
    fills.push_back(mainThreadMilliseconds([&] {
      panel->reloadSuggestions();
      list->doItemsLayout();
      list->viewport()->repaint();
    }));
  }

  std::printf("sidebar, 1,000 saved tags expanded, 200 folders, median of %d runs (main-thread CPU)\n", runs);
  std::printf("  toggle one saved tag, apply:        %7.3f ms  (aim <= 10 ms)\n", median(toggles));
  std::printf("    floor, apply an unchanged state:  %7.3f ms\n", median(unchanged));
  std::printf("  fill 1,000 suggestions and draw:    %7.3f ms  (aim <= 10 ms)\n", median(fills));
  return 0;
}
