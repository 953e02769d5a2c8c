#include "ui/results/active_filter_summary_presentation.h"

#include <string_view>
#include <type_traits>
#include <utility>

#include "model/raw_value.h"
#include "model/text/unicode.h"
#include "store/image_library_store.h"

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

ActiveFilterSummaryInputs ActiveFilterSummaryInputs::fromStore(const ImageLibraryStore& store) {
  ActiveFilterSummaryInputs inputs;
  inputs.selectedFilterTags = store.filters().selectedFilterTags();
  if (store.featureAvailability().isTagConceptEnabled)
    inputs.selectedTagConcepts = store.filters().selectedTagConcepts();
  inputs.modelSource = store.filters().selectedModelSource();
  inputs.aspectFilters = store.filters().selectedAspectFilters();
  inputs.onlyFavorites = store.filters().onlyFavorites();
  inputs.onlyDeleteCandidates = store.filters().onlyDeleteCandidates();
  inputs.isDeleteCandidateReviewPresented = store.presentation().isDeleteCandidateReviewPresented();
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

QCoro::Task<void> removeActiveFilter(ImageLibraryStore& store, ActiveFilterSummaryKind kind) {
  using Kind = ActiveFilterSummaryKind;
  if (const auto* tag = std::get_if<Kind::Tag>(&kind.value)) {
    std::string tagText = tag->tag;
    auto removal = store.filters().removeSelectedFilterTag(std::move(tagText));
    co_await removal;
  } else if (const auto* selected = std::get_if<Kind::TagConcept>(&kind.value)) {
    const std::int64_t conceptID = selected->conceptID;
    auto removal = store.filters().removeSelectedTagConcept(conceptID);
    co_await removal;
  } else if (const auto* aspect = std::get_if<Kind::Aspect>(&kind.value)) {
    const ImageAspectFilter aspectFilter = aspect->aspect;
    auto removal = store.filters().removeAspectFilter(aspectFilter);
    co_await removal;
  } else if (std::holds_alternative<Kind::Model>(kind.value)) {
    // Checked when the click is handled, not when the chip was drawn: a second quick click finds
    // the model already cleared and refreshes nothing.
    if (!store.filters().selectedModelSource()) co_return;
    store.filters().setSelectedModelSource(std::nullopt);
    const int limit = ResultsModel::kFirstPageLimit;
    const bool resetScroll = true;
    auto refresh = store.results().refreshResults(limit, resetScroll);
    co_await refresh;
  } else if (std::holds_alternative<Kind::Favorite>(kind.value)) {
    auto removal = store.filters().clearOnlyFavoritesFilter();
    co_await removal;
  } else {
    auto removal = store.filters().clearOnlyDeleteCandidatesFilter();
    co_await removal;
  }
}

QCoro::Task<void> resetActiveFilters(ImageLibraryStore& store) {
  auto clearing = store.filters().clearAllFilters();
  co_await clearing;
}

}  // namespace lorvex::ui
