// The bar above the results grid: a status text (how many images are loaded, or that a search or
// the next page is running, with a small spinner then), the shortcut-help button, the sort menu
// and the slideshow button; the active-filter chips form its second row. Pure values from the
// models; the widgets only show them and call the actions below.
//
// Thread safety: the make functions read the models on their thread; the rest is pure.
#pragma once

#include <qcoro/qcorotask.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "model/image_search_query.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/common/header_action_button.h"

namespace lorvex::ui {

// The status text, the first rule that holds: a first page is searched; the next page loads
// (with the loaded count); more records exist ("n+" style, with the count); otherwise the count.
struct ResultsStatusInputs {
  bool isLoading = false;
  bool isLoadingNextPage = false;
  bool hasMoreRecords = false;
  std::int64_t loadedCount = 0;
};
std::string resultsStatusText(const ResultsStatusInputs& inputs, const AppLocalization& localizer);

// The slideshow button's look follows only whether the slideshow is open.
struct SlideshowHeaderButtonState {
  bool isPresented = false;

  std::string title(const AppLocalization& localizer) const;  // also the tooltip
  std::string_view systemImage() const;
  HeaderActionButtonColorRole colorRole() const;
  std::string accessibilityValue(const AppLocalization& localizer) const;

  friend bool operator==(const SlideshowHeaderButtonState&, const SlideshowHeaderButtonState&) = default;
};

struct SearchSortOption {
  ImageSearchSort sort = ImageSearchSort::modificationDateDescending;
  std::string identifier;  // the sort's raw value
  std::string title;
  friend bool operator==(const SearchSortOption&, const SearchSortOption&) = default;
};

// One option per sort, in the sorts' order.
std::array<SearchSortOption, 4> searchSortOptions(const AppLocalization& localizer);

struct ResultsHeaderPresentation {
  static constexpr int kSortMenuWidth = 170;

  std::string statusText;
  bool showsProgress = false;  // the small spinner beside the status text
  std::string shortcutHelpTitle;
  std::string shortcutHelpMenuTitle;  // the help button's tooltip and accessible name
  std::string sortLabel;              // the sort menu's accessible name
  std::array<SearchSortOption, 4> sortOptions;
  std::size_t selectedSortIndex = 0;
  bool isSortEnabled = true;
  SlideshowHeaderButtonState slideshowState;
  std::string slideshowTitle;
  std::string slideshowAccessibilityValue;
  bool isSlideshowEnabled = false;

  static ResultsHeaderPresentation make(const ResultsModel& results, const FiltersModel& filters,
                                        const ImageLibraryPresentationState& presentation,
                                        const AppLocalization& localizer);

  friend bool operator==(const ResultsHeaderPresentation&, const ResultsHeaderPresentation&) = default;
};

// The slideshow button may open the slideshow only with records loaded and no search running;
// once open it can always be closed.
bool isSlideshowHeaderButtonEnabled(bool isSlideshowPresented, bool hasRecords, bool isLoading);

// The shortcut-help button shows its title only while the header row has room for it beside
// everything else at its smallest (a long slideshow title in Japanese, a narrow window): without
// it the button keeps its symbol, and the sort menu and slideshow button keep their spacing.
bool showsShortcutHelpTitle(int rowWidth, int rowMinimumWidthWithoutTitle, int titleWidth);

// The slideshow button's click: closes an open slideshow, opens it otherwise.
void toggleSlideshowFromHeader(const ImageLibraryPresentationState& presentation, ResultsModel& results);
// A sort chosen in the menu: the filters refresh the results unless it is the sort already selected.
QCoro::Task<void> chooseSearchSort(FiltersModel& filters, ImageSearchSort sort);

}  // namespace lorvex::ui
