// The aspect, model, favorite and delete-candidate filters, the sort, and clearing every filter.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/text/whitespace.h"
#include "store/filters/filters_model.h"

namespace lorvex {

namespace {

// The order the sidebar and the filter chips list aspects in, whatever order they were chosen in.
constexpr std::array kAspectOrder = {ImageAspectFilter::portrait, ImageAspectFilter::landscape,
                                     ImageAspectFilter::square};

bool containsAspect(const std::vector<ImageAspectFilter>& aspects, ImageAspectFilter aspect) {
  return std::find(aspects.begin(), aspects.end(), aspect) != aspects.end();
}

std::vector<ImageAspectFilter> withoutAspect(std::vector<ImageAspectFilter> aspects,
                                             ImageAspectFilter aspect) {
  std::erase(aspects, aspect);
  return aspects;
}

}  // namespace

bool FiltersModel::isAspectFilterSelected(ImageAspectFilter aspect) const {
  creatingThread_.check();
  return containsAspect(selectedAspectFilters_, aspect);
}

QCoro::Task<void> FiltersModel::toggleAspectFilter(ImageAspectFilter aspect) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (containsAspect(selectedAspectFilters_, aspect)) {
    setSelectedAspectFilters(withoutAspect(selectedAspectFilters_, aspect));
  } else {
    std::vector<ImageAspectFilter> chosen = selectedAspectFilters_;
    chosen.push_back(aspect);
    std::vector<ImageAspectFilter> ordered;
    for (const ImageAspectFilter candidate : kAspectOrder) {
      if (containsAspect(chosen, candidate)) ordered.push_back(candidate);
    }
    setSelectedAspectFilters(std::move(ordered));
  }
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::removeAspectFilter(ImageAspectFilter aspect) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!containsAspect(selectedAspectFilters_, aspect)) co_return;
  setSelectedAspectFilters(withoutAspect(selectedAspectFilters_, aspect));
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::setOnlyFavoritesFilter(bool value) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (value == onlyFavorites_) co_return;
  setOnlyFavorites(value);
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::clearOnlyFavoritesFilter() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!onlyFavorites_) co_return;
  setOnlyFavorites(false);
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::setOnlyDeleteCandidatesFilter(bool value) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (value == onlyDeleteCandidates_) co_return;
  // The review works on delete candidates in the results: it closes before they leave them.
  if (!value) dependents_.closeDeleteCandidateReview();
  setOnlyDeleteCandidates(value);
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::clearOnlyDeleteCandidatesFilter() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!onlyDeleteCandidates_ && !dependents_.isDeleteCandidateReviewPresented()) co_return;
  setOnlyDeleteCandidates(false);
  dependents_.closeDeleteCandidateReview();
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::selectSearchSort(ImageSearchSort sort) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (sort == searchSort_) co_return;
  setSearchSort(sort);
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::selectModelSource(std::string text) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  std::optional<std::string> model = text::trimmedNonEmpty(text);
  // A blank text never clears the filter: only clearing the filters does.
  if (!model || model == selectedModelSource_) co_return;
  setSelectedModelSource(std::move(model));
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::clearModelFilter() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!selectedModelSource_) co_return;
  setSelectedModelSource(std::nullopt);
  co_await dependents_.refreshResultsAfterFilterChange();
}

bool FiltersModel::hasActiveFiltersOrReview() const {
  return !selectedFilterTags_.empty() || !selectedTagConcepts_.empty() || !selectedAspectFilters_.empty() ||
         selectedModelSource_.has_value() || onlyFavorites_ || onlyDeleteCandidates_ ||
         dependents_.isDeleteCandidateReviewPresented();
}

QCoro::Task<void> FiltersModel::clearAllFilters() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!hasActiveFiltersOrReview()) co_return;
  setSelectedFilterTags({});
  setSelectedTagConcepts({});
  setSelectedAspectFilters({});
  setSelectedModelSource(std::nullopt);
  setOnlyFavorites(false);
  setOnlyDeleteCandidates(false);
  dependents_.closeDeleteCandidateReview();
  co_await dependents_.refreshResultsAfterFilterChange();
}

}  // namespace lorvex
