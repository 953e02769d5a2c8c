#include "ui/results/active_filter_summary_presentation.h"

#include <string_view>
#include <type_traits>
#include <utility>

#include "model/raw_value.h"
#include "model/text/unicode.h"
#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/results/results_model.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

}  // namespace

std::string ActiveFilterSummaryItem::id() const {
  return std::visit(
      [this](const auto& kindValue) -> std::string {
        using K = std::decay_t<decltype(kindValue)>;
        if constexpr (std::is_same_v<K, ActiveFilterSummaryKind::Tag>) {
          return "tag:" + text::lowercased(kindValue.tag);
        } else if constexpr (std::is_same_v<K, ActiveFilterSummaryKind::TagConcept>) {
          return "tagConcept:" + std::to_string(kindValue.conceptID);
        } else if constexpr (std::is_same_v<K, ActiveFilterSummaryKind::Aspect>) {
          return "aspect:" + std::string(rawValue(kindValue.aspect));
        } else if constexpr (std::is_same_v<K, ActiveFilterSummaryKind::Model>) {
          return "model";
        } else if constexpr (std::is_same_v<K, ActiveFilterSummaryKind::Favorite>) {
          return "favorite";
        } else {
          return isReviewMode ? "deleteCandidateReview" : "deleteCandidate";
        }
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
  ActiveFilterSummaryInputs inputs;
  inputs.selectedFilterTags = filters.selectedFilterTags();
  inputs.modelSource = filters.selectedModelSource();
  inputs.aspectFilters = filters.selectedAspectFilters();
  inputs.onlyFavorites = filters.onlyFavorites();
  inputs.onlyDeleteCandidates = filters.onlyDeleteCandidates();
  inputs.isDeleteCandidateReviewPresented = presentation.isDeleteCandidateReviewPresented();
  return inputs;
}

ActiveFilterSummaryPresentation ActiveFilterSummaryPresentation::make(const ActiveFilterSummaryInputs& inputs,
                                                                      AppLocalization localizer) {
  using Kind = ActiveFilterSummaryKind;
  std::vector<ActiveFilterSummaryItem> items;
  for (const auto& tag : inputs.selectedFilterTags) {
    items.push_back({Kind{Kind::Tag{tag}}, localizer.lookup(Key::filterSummaryTag, {tag}), false});
  }
  for (const auto& selected : inputs.selectedTagConcepts) {
    items.push_back({Kind{Kind::TagConcept{selected.id}},
                     localizer.lookup(Key::filterSummaryTagConcept, {selected.displayName}), false});
  }
  if (inputs.modelSource) {
    items.push_back(
        {Kind{Kind::Model{}}, localizer.lookup(Key::filterSummaryModel, {*inputs.modelSource}), false});
  }
  for (const auto aspect : inputs.aspectFilters) {
    const std::string aspectName = localizer.lookup(aspectFilterNameKey(aspect));
    items.push_back(
        {Kind{Kind::Aspect{aspect}}, localizer.lookup(Key::filterSummaryAspect, {aspectName}), false});
  }
  if (inputs.onlyFavorites) {
    items.push_back({Kind{Kind::Favorite{}}, localizer.lookup(Key::filterSummaryFavorite), false});
  }
  if (inputs.onlyDeleteCandidates || inputs.isDeleteCandidateReviewPresented) {
    const bool review = inputs.isDeleteCandidateReviewPresented;
    const Key titleKey =
        review ? Key::filterSummaryDeleteCandidateReview : Key::filterSummaryDeleteCandidates;
    items.push_back({Kind{Kind::DeleteCandidate{}}, localizer.lookup(titleKey), review});
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

QCoro::Task<void> removeActiveFilter(FiltersModel& filters, ResultsModel& results,
                                     ActiveFilterSummaryKind kind) {
  using Kind = ActiveFilterSummaryKind;
  if (const auto* tag = std::get_if<Kind::Tag>(&kind.value)) {
    std::string tagText = tag->tag;
    auto removal = filters.removeSelectedFilterTag(std::move(tagText));
    co_await removal;
  } else if (const auto* selected = std::get_if<Kind::TagConcept>(&kind.value)) {
    const std::int64_t conceptID = selected->conceptID;
    auto removal = filters.removeSelectedTagConcept(conceptID);
    co_await removal;
  } else if (const auto* aspect = std::get_if<Kind::Aspect>(&kind.value)) {
    const ImageAspectFilter aspectFilter = aspect->aspect;
    auto removal = filters.removeAspectFilter(aspectFilter);
    co_await removal;
  } else if (std::holds_alternative<Kind::Model>(kind.value)) {
    // Checked when the click is handled, not when the chip was drawn: a second quick click finds
    // the model already cleared and refreshes nothing.
    if (!filters.selectedModelSource()) co_return;
    filters.setSelectedModelSource(std::nullopt);
    const int limit = ResultsModel::kFirstPageLimit;
    const bool resetScroll = true;
    auto refresh = results.refreshResults(limit, resetScroll);
    co_await refresh;
  } else if (std::holds_alternative<Kind::Favorite>(kind.value)) {
    auto removal = filters.clearOnlyFavoritesFilter();
    co_await removal;
  } else {
    auto removal = filters.clearOnlyDeleteCandidatesFilter();
    co_await removal;
  }
}

QCoro::Task<void> resetActiveFilters(FiltersModel& filters) {
  auto clearing = filters.clearAllFilters();
  co_await clearing;
}

}  // namespace lorvex::ui
