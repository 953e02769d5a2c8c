#include "ui/results/active_filter_summary_presentation.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "model/overloaded.h"
#include "model/raw_value.h"
#include "model/text/unicode.h"
#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/presentation/image_library_presentation_state.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

// The chip kinds id() and removeActiveFilter() name one by one.
constexpr std::size_t kChipKindCount = std::variant_size_v<decltype(ActiveFilterSummaryKind::value)>;

}  // namespace

std::string ActiveFilterSummaryItem::id() const {
  using Kind = ActiveFilterSummaryKind;
  static_assert(kChipKindCount == 6, "a new chip kind needs its id here and its removal below");
  return std::visit(
      Overloaded{
          [](const Kind::Tag& tag) { return "tag:" + text::lowercased(tag.tag); },
          [](const Kind::TagConcept& selected) { return "tagConcept:" + std::to_string(selected.conceptID); },
          [](const Kind::Aspect& aspect) { return "aspect:" + std::string(rawValue(aspect.aspect)); },
          [](const Kind::Model&) { return std::string("model"); },
          [](const Kind::Favorite&) { return std::string("favorite"); },
          [this](const Kind::DeleteCandidate&) {
            return std::string(isReviewMode ? "deleteCandidateReview" : "deleteCandidate");
          },
      },
      kind.value);
}

ActiveFilterSummaryInputs ActiveFilterSummaryInputs::from(const FiltersModel& filters,
                                                          const ImageLibraryPresentationState& presentation,
                                                          const StoreContext& context) {
  ActiveFilterSummaryInputs inputs = withoutTagConcepts(filters, presentation);
  if (context.featureAvailability().isTagConceptEnabled)
    inputs.selectedTagConcepts = filters.selectedTagConcepts();
  return inputs;
}

ActiveFilterSummaryInputs ActiveFilterSummaryInputs::withoutTagConcepts(
    const FiltersModel& filters, const ImageLibraryPresentationState& presentation) {
  // Every filter named: one added to the selection does not build here until it has its input.
  const auto& [filterTags, tagConcepts, aspectFilters, modelSource, onlyFavorites, onlyDeleteCandidates] =
      filters.selection();
  (void)tagConcepts;  // left out here; from() adds them while the feature is on
  return {.selectedFilterTags = filterTags,
          .modelSource = modelSource,
          .aspectFilters = aspectFilters,
          .onlyFavorites = onlyFavorites,
          .onlyDeleteCandidates = onlyDeleteCandidates,
          .isDeleteCandidateReviewPresented = presentation.isDeleteCandidateReviewPresented()};
}

ActiveFilterSummaryPresentation ActiveFilterSummaryPresentation::make(const ActiveFilterSummaryInputs& inputs,
                                                                      AppLocalization localizer) {
  using Kind = ActiveFilterSummaryKind;
  // Every input named: one added to the inputs does not build here until it has its chip.
  const auto& [filterTags, tagConcepts, modelSource, aspectFilters, onlyFavorites, onlyDeleteCandidates,
               isReviewPresented] = inputs;
  std::vector<ActiveFilterSummaryItem> items;
  for (const auto& tag : filterTags) {
    items.push_back({Kind{Kind::Tag{tag}}, localizer.lookup(Key::filterSummaryTag, {tag}), false});
  }
  for (const auto& selected : tagConcepts) {
    items.push_back({Kind{Kind::TagConcept{selected.id}},
                     localizer.lookup(Key::filterSummaryTagConcept, {selected.displayName}), false});
  }
  if (modelSource) {
    items.push_back({Kind{Kind::Model{}}, localizer.lookup(Key::filterSummaryModel, {*modelSource}), false});
  }
  for (const auto aspect : aspectFilters) {
    const std::string aspectName = localizer.lookup(aspectFilterNameKey(aspect));
    items.push_back(
        {Kind{Kind::Aspect{aspect}}, localizer.lookup(Key::filterSummaryAspect, {aspectName}), false});
  }
  if (onlyFavorites) {
    items.push_back({Kind{Kind::Favorite{}}, localizer.lookup(Key::filterSummaryFavorite), false});
  }
  if (onlyDeleteCandidates || isReviewPresented) {
    const Key titleKey =
        isReviewPresented ? Key::filterSummaryDeleteCandidateReview : Key::filterSummaryDeleteCandidates;
    items.push_back({Kind{Kind::DeleteCandidate{}}, localizer.lookup(titleKey), isReviewPresented});
  }
  return ActiveFilterSummaryPresentation{std::move(items), std::move(localizer)};
}

std::string ActiveFilterSummaryPresentation::titleText() const {
  return localizer.lookup(Key::filterSummaryTitle);
}

std::string ActiveFilterSummaryPresentation::clearText(const ActiveFilterSummaryItem& item) const {
  return localizer.lookup(Key::filterSummaryClear, {item.title});
}

std::string ActiveFilterSummaryPresentation::resetAllText() const {
  return localizer.lookup(Key::filterSummaryResetAll);
}

int chipRowCueScrollTarget(const std::vector<ChipRowSpan>& items, int offset, int maximum, int viewportWidth,
                           int cueWidth, bool forward) {
  int target = forward ? maximum : 0;
  if (forward) {
    const int shownEnd = offset + viewportWidth - cueWidth;
    const auto next = std::find_if(items.begin(), items.end(),
                                   [&](const ChipRowSpan& item) { return item.right > shownEnd; });
    if (next != items.end()) target = next->right - (viewportWidth - cueWidth);
  } else {
    const int shownStart = offset + cueWidth;
    const auto next = std::find_if(items.rbegin(), items.rend(),
                                   [&](const ChipRowSpan& item) { return item.left < shownStart; });
    if (next != items.rend()) target = next->left - cueWidth;
  }
  return std::clamp(target, 0, std::max(maximum, 0));
}

ChipRowEnds chipRowEnds(int itemsWidth, int viewportWidth, int padding, int cueWidth) {
  if (padding + itemsWidth <= viewportWidth) return {padding, 0};
  return {std::max(padding, cueWidth), cueWidth};
}

QCoro::Task<void> removeActiveFilter(FiltersModel& filters, ActiveFilterSummaryKind kind) {
  using Kind = ActiveFilterSummaryKind;
  static_assert(kChipKindCount == 6, "a new chip kind needs its removal here and its id above");
  // Each removal is the filters model's own flow; the task is made here, before anything awaits,
  // so the kind's values are copied into it.
  auto removal =
      std::visit(Overloaded{
                     [&](const Kind::Tag& tag) { return filters.removeSelectedFilterTag(tag.tag); },
                     [&](const Kind::TagConcept& selected) {
                       return filters.removeSelectedTagConcept(selected.conceptID);
                     },
                     [&](const Kind::Aspect& aspect) { return filters.removeAspectFilter(aspect.aspect); },
                     [&](const Kind::Model&) { return filters.clearModelFilter(); },
                     [&](const Kind::Favorite&) { return filters.clearOnlyFavoritesFilter(); },
                     [&](const Kind::DeleteCandidate&) { return filters.clearOnlyDeleteCandidatesFilter(); },
                 },
                 kind.value);
  co_await removal;
}

QCoro::Task<void> resetActiveFilters(FiltersModel& filters) {
  auto clearing = filters.clearAllFilters();
  co_await clearing;
}

}  // namespace lorvex::ui
