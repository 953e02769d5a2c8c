// The aspect, model, favorite and delete-candidate filters, the sort, and clearing every filter.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/enum_cases.h"
#include "model/text/whitespace.h"
#include "store/filters/filters_model.h"

namespace lorvex {

namespace {

// The order the sidebar and the filter chips list aspects in, whatever order they were chosen in.
constexpr std::array kAspectOrder = {ImageAspectFilter::portrait, ImageAspectFilter::landscape,
                                     ImageAspectFilter::square};
static_assert(holdsEveryCaseOnce(kAspectOrder));

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
  return containsAspect(selection_.selectedAspectFilters, aspect);
}

QCoro::Task<void> FiltersModel::toggleAspectFilter(ImageAspectFilter aspect) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (containsAspect(selection_.selectedAspectFilters, aspect)) {
    setSelectionField(&FilterSelection::selectedAspectFilters,
                      withoutAspect(selection_.selectedAspectFilters, aspect));
  } else {
    std::vector<ImageAspectFilter> chosen = selection_.selectedAspectFilters;
    chosen.push_back(aspect);
    std::vector<ImageAspectFilter> ordered;
    for (const ImageAspectFilter candidate : kAspectOrder) {
      if (containsAspect(chosen, candidate)) ordered.push_back(candidate);
    }
    setSelectionField(&FilterSelection::selectedAspectFilters, std::move(ordered));
  }
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::removeAspectFilter(ImageAspectFilter aspect) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!containsAspect(selection_.selectedAspectFilters, aspect)) co_return;
  setSelectionField(&FilterSelection::selectedAspectFilters,
                    withoutAspect(selection_.selectedAspectFilters, aspect));
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::setOnlyFavoritesFilter(bool value) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (value == selection_.onlyFavorites) co_return;
  setSelectionField(&FilterSelection::onlyFavorites, value);
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::clearOnlyFavoritesFilter() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!selection_.onlyFavorites) co_return;
  setSelectionField(&FilterSelection::onlyFavorites, false);
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::setOnlyDeleteCandidatesFilter(bool value) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (value == selection_.onlyDeleteCandidates) co_return;
  // The review works on delete candidates in the results: it closes before they leave them.
  if (!value) dependents_.closeDeleteCandidateReview();
  setSelectionField(&FilterSelection::onlyDeleteCandidates, value);
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::clearOnlyDeleteCandidatesFilter() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!selection_.onlyDeleteCandidates && !dependents_.isDeleteCandidateReviewPresented()) co_return;
  setSelectionField(&FilterSelection::onlyDeleteCandidates, false);
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
  if (!model || model == selection_.selectedModelSource) co_return;
  setSelectedModelSource(std::move(model));
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::clearModelFilter() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!selection_.selectedModelSource) co_return;
  setSelectedModelSource(std::nullopt);
  co_await dependents_.refreshResultsAfterFilterChange();
}

bool FiltersModel::hasActiveFiltersOrReview() const {
  return !selection_.isEmpty() || dependents_.isDeleteCandidateReviewPresented();
}

QCoro::Task<void> FiltersModel::clearAllFilters() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!hasActiveFiltersOrReview()) co_return;
  setSelection({});
  dependents_.closeDeleteCandidateReview();
  co_await dependents_.refreshResultsAfterFilterChange();
}

}  // namespace lorvex
