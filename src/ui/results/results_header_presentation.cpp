#include "ui/results/results_header_presentation.h"

#include "model/raw_value.h"
#include "store/filters/filters_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/results/results_model.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

Key sortTitleKey(ImageSearchSort sort) {
  switch (sort) {
    case ImageSearchSort::modificationDateDescending:
      return Key::sortModificationDateDescending;
    case ImageSearchSort::modificationDateAscending:
      return Key::sortModificationDateAscending;
    case ImageSearchSort::fileNameAscending:
      return Key::sortFileNameAscending;
    case ImageSearchSort::fileNameDescending:
      return Key::sortFileNameDescending;
  }
  return Key::sortModificationDateDescending;
}

}  // namespace

std::string resultsStatusText(const ResultsStatusInputs& inputs, const AppLocalization& localizer) {
  const std::int64_t count = inputs.loadedCount;
  if (inputs.isLoading) return localizer.lookup(Key::resultSearching);
  if (inputs.isLoadingNextPage) {
    return localizer.lookup(
        pluralKey(count, Key::resultLoadingMoreCountOne, Key::resultLoadingMoreCountOther), {count});
  }
  if (inputs.hasMoreRecords) return localizer.lookup(Key::commonImageCountPlus, {count});
  return localizer.lookup(pluralKey(count, Key::commonImageCountOne, Key::commonImageCountOther), {count});
}

std::string SlideshowHeaderButtonState::title(const AppLocalization& localizer) const {
  return localizer.lookup(isPresented ? Key::slideshowStop : Key::slideshowTitle);
}

std::string_view SlideshowHeaderButtonState::systemImage() const {
  return isPresented ? "stop.circle.fill" : "play.rectangle";
}

HeaderActionButtonColorRole SlideshowHeaderButtonState::colorRole() const {
  return isPresented ? HeaderActionButtonColorRole::activeYellow : HeaderActionButtonColorRole::normal;
}

std::string SlideshowHeaderButtonState::accessibilityValue(const AppLocalization& localizer) const {
  return localizer.lookup(isPresented ? Key::slideshowRunning : Key::slideshowStopped);
}

std::array<SearchSortOption, 4> searchSortOptions(const AppLocalization& localizer) {
  constexpr auto sorts = allCases<ImageSearchSort>();
  static_assert(sorts.size() == 4);
  std::array<SearchSortOption, 4> options;
  for (std::size_t i = 0; i < sorts.size(); ++i) {
    options[i] = {sorts[i], std::string(rawValue(sorts[i])), localizer.lookup(sortTitleKey(sorts[i]))};
  }
  return options;
}

bool isSlideshowHeaderButtonEnabled(bool isSlideshowPresented, bool hasRecords, bool isLoading) {
  return isSlideshowPresented || (hasRecords && !isLoading);
}

ResultsHeaderPresentation ResultsHeaderPresentation::make(const ResultsModel& results,
                                                          const FiltersModel& filters,
                                                          const ImageLibraryPresentationState& presentation,
                                                          const AppLocalization& localizer) {
  const auto& window = results.resultWindow();
  const bool isLoading = results.isLoading();
  const bool slideshowOpen = presentation.isSlideshowPresented();
  ResultsHeaderPresentation header;
  header.statusText = resultsStatusText({isLoading, results.isLoadingNextPage(), window.hasMoreRecords(),
                                         static_cast<std::int64_t>(window.records().size())},
                                        localizer);
  header.showsProgress = isLoading || results.isLoadingNextPage();
  header.shortcutHelpTitle = localizer.lookup(Key::shortcutHelpButtonTitle);
  header.shortcutHelpMenuTitle = localizer.lookup(Key::shortcutHelpMenuTitle);
  header.sortLabel = localizer.lookup(Key::sortLabel);
  header.sortOptions = searchSortOptions(localizer);
  for (std::size_t i = 0; i < header.sortOptions.size(); ++i) {
    if (header.sortOptions[i].sort == filters.searchSort()) header.selectedSortIndex = i;
  }
  header.isSortEnabled = !isLoading;
  header.slideshowState = SlideshowHeaderButtonState{slideshowOpen};
  header.slideshowTitle = header.slideshowState.title(localizer);
  header.slideshowAccessibilityValue = header.slideshowState.accessibilityValue(localizer);
  header.isSlideshowEnabled =
      isSlideshowHeaderButtonEnabled(slideshowOpen, !window.records().empty(), isLoading);
  return header;
}

bool showsShortcutHelpTitle(int rowWidth, int rowMinimumWidthWithoutTitle, int titleWidth) {
  return rowWidth >= rowMinimumWidthWithoutTitle + titleWidth;
}

void toggleSlideshowFromHeader(const ImageLibraryPresentationState& presentation, ResultsModel& results) {
  if (presentation.isSlideshowPresented()) {
    results.dismissSlideshow();
  } else {
    results.startSlideshow();
  }
}

QCoro::Task<void> chooseSearchSort(FiltersModel& filters, ImageSearchSort sort) {
  const ImageSearchSort chosen = sort;
  auto selection = filters.selectSearchSort(chosen);
  co_await selection;
}

}  // namespace lorvex::ui
