// The aspect, favorite and delete-candidate filters, the sort, and clearing every filter.
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "store/image_library_store.h"

namespace lorvex {

namespace {

// The order the sidebar and the filter chips list aspects in, whatever order they were chosen in.
constexpr std::array kAspectOrder = {ImageAspectFilter::portrait, ImageAspectFilter::landscape,
                                     ImageAspectFilter::square};

bool containsAspect(const std::vector<ImageAspectFilter>& aspects, ImageAspectFilter aspect) {
  return std::find(aspects.begin(), aspects.end(), aspect) != aspects.end();
}

std::vector<ImageAspectFilter> withoutAspect(std::vector<ImageAspectFilter> aspects, ImageAspectFilter aspect) {
  std::erase(aspects, aspect);
  return aspects;
}

}  // namespace

bool ImageLibraryStore::isAspectFilterSelected(ImageAspectFilter aspect) const {
  creatingThread_.check();
  return containsAspect(selectedAspectFilters_, aspect);
}

QCoro::Task<void> ImageLibraryStore::toggleAspectFilter(ImageAspectFilter aspect) {
  auto frame = co_await scope_.enter();
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
  co_await refreshResults(kFirstPageLimit, true);
}

QCoro::Task<void> ImageLibraryStore::removeAspectFilter(ImageAspectFilter aspect) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (!containsAspect(selectedAspectFilters_, aspect)) co_return;
  setSelectedAspectFilters(withoutAspect(selectedAspectFilters_, aspect));
  co_await refreshResults(kFirstPageLimit, true);
}

QCoro::Task<void> ImageLibraryStore::setOnlyFavoritesFilter(bool value) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (value == onlyFavorites_) co_return;
  setOnlyFavorites(value);
  co_await refreshResults(kFirstPageLimit, true);
}

QCoro::Task<void> ImageLibraryStore::clearOnlyFavoritesFilter() {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (!onlyFavorites_) co_return;
  setOnlyFavorites(false);
  co_await refreshResults(kFirstPageLimit, true);
}

QCoro::Task<void> ImageLibraryStore::setOnlyDeleteCandidatesFilter(bool value) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (value == onlyDeleteCandidates_) co_return;
  // The review works on delete candidates in the results: it closes before they leave them.
  if (!value) presentation_->setIsDeleteCandidateReviewPresented(false);
  setOnlyDeleteCandidates(value);
  co_await refreshResults(kFirstPageLimit, true);
}

QCoro::Task<void> ImageLibraryStore::clearOnlyDeleteCandidatesFilter() {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (!onlyDeleteCandidates_ && !presentation_->isDeleteCandidateReviewPresented()) co_return;
  setOnlyDeleteCandidates(false);
  presentation_->setIsDeleteCandidateReviewPresented(false);
  co_await refreshResults(kFirstPageLimit, true);
}

QCoro::Task<void> ImageLibraryStore::selectSearchSort(ImageSearchSort sort) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (sort == searchSort_) co_return;
  setSearchSort(sort);
  co_await refreshResults(kFirstPageLimit, true);
}

bool ImageLibraryStore::hasActiveFiltersOrReview() const {
  return !selectedFilterTags_.empty() || !selectedTagConcepts_.empty() || !selectedAspectFilters_.empty() ||
         selectedModelSource_.has_value() || onlyFavorites_ || onlyDeleteCandidates_ ||
         presentation_->isDeleteCandidateReviewPresented();
}

QCoro::Task<void> ImageLibraryStore::clearAllFilters() {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (!hasActiveFiltersOrReview()) co_return;
  setSelectedFilterTags({});
  setSelectedTagConcepts({});
  setSelectedAspectFilters({});
  setSelectedModelSource(std::nullopt);
  setOnlyFavorites(false);
  setOnlyDeleteCandidates(false);
  presentation_->setIsDeleteCandidateReviewPresented(false);
  co_await refreshResults(kFirstPageLimit, true);
}

}  // namespace lorvex
