// The aspect, favorite and delete-candidate switches, the sort and clearing every filter: which
// calls refresh the first page, what the query of that refresh asks for, and the delete-candidate
// review closing whenever its filter goes off.
#include <gtest/gtest.h>

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/filters/filters_model_test_access.h"
#include "store/image_library_store.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using Aspects = std::vector<ImageAspectFilter>;
using Strings = std::vector<std::string>;
using Operation = std::function<QCoro::Task<void>(ImageLibraryStore&)>;
constexpr auto portrait = ImageAspectFilter::portrait;
constexpr auto landscape = ImageAspectFilter::landscape;
constexpr auto square = ImageAspectFilter::square;

// The filter state before and after an operation.
struct Filters {
  Aspects aspects = {};
  bool favorites = false;
  bool deleteCandidates = false;
  bool reviewShown = false;
  Strings tags = {};
  std::vector<std::int64_t> conceptIDs = {};
  std::optional<std::string> model = std::nullopt;
  ImageSearchSort sort = ImageSearchSort::modificationDateDescending;
};

void apply(ImageLibraryStore& store, const Filters& filters) {
  FiltersModelTestAccess::setSelectedAspectFilters(store.filters(), filters.aspects);
  FiltersModelTestAccess::setOnlyFavorites(store.filters(), filters.favorites);
  FiltersModelTestAccess::setOnlyDeleteCandidates(store.filters(), filters.deleteCandidates);
  store.presentation().setIsDeleteCandidateReviewPresented(filters.reviewShown);
  FiltersModelTestAccess::setSelectedFilterTags(store.filters(), filters.tags);
  std::vector<TagConcept> concepts;
  for (const auto id : filters.conceptIDs)
    concepts.push_back(TagConcept{id, "concept " + std::to_string(id), 1});
  FiltersModelTestAccess::setSelectedTagConcepts(store.filters(), concepts);
  store.filters().setSelectedModelSource(filters.model);
  FiltersModelTestAccess::setSearchSort(store.filters(), filters.sort);
}

void expectState(const ImageLibraryStore& store, const Filters& filters) {
  EXPECT_EQ(store.filters().selectedAspectFilters(), filters.aspects);
  EXPECT_EQ(store.filters().onlyFavorites(), filters.favorites);
  EXPECT_EQ(store.filters().onlyDeleteCandidates(), filters.deleteCandidates);
  EXPECT_EQ(store.presentation().isDeleteCandidateReviewPresented(), filters.reviewShown);
  EXPECT_EQ(store.filters().selectedFilterTags(), filters.tags);
  std::vector<std::int64_t> ids;
  for (const auto& selected : store.filters().selectedTagConcepts()) ids.push_back(selected.id);
  EXPECT_EQ(ids, filters.conceptIDs);
  EXPECT_EQ(store.filters().selectedModelSource(), filters.model);
  EXPECT_EQ(store.filters().searchSort(), filters.sort);
}

void expectQuery(const ImageSearchQuery& query, const Filters& filters) {
  EXPECT_EQ(query.aspectFilters, filters.aspects);
  EXPECT_EQ(query.favorite, filters.favorites ? std::optional<bool>(true) : std::nullopt);
  EXPECT_EQ(query.deleteCandidate, std::optional<bool>(filters.deleteCandidates));
  EXPECT_EQ(query.filterTags, filters.tags);
  EXPECT_EQ(query.filterConceptIDs, filters.conceptIDs);
  EXPECT_EQ(query.source, filters.model);
  EXPECT_EQ(query.sort, filters.sort);
  EXPECT_EQ(query.limit, 501);
  EXPECT_EQ(query.offset, 0);
}

TEST(ImageLibraryStoreFilterSwitches, EachChangeRefreshesOnceWithItsQuery) {
  struct Row {
    const char* name;
    Filters before;
    Operation operation;
    Filters after;
    bool refreshes;
  };
  const auto toggleAspect = [](ImageAspectFilter a) {
    return [a](ImageLibraryStore& s) { return s.filters().toggleAspectFilter(a); };
  };
  const auto removeAspect = [](ImageAspectFilter a) {
    return [a](ImageLibraryStore& s) { return s.filters().removeAspectFilter(a); };
  };
  const auto favorites = [](bool v) {
    return [v](ImageLibraryStore& s) { return s.filters().setOnlyFavoritesFilter(v); };
  };
  const auto candidates = [](bool v) {
    return [v](ImageLibraryStore& s) { return s.filters().setOnlyDeleteCandidatesFilter(v); };
  };
  const auto sortBy = [](ImageSearchSort v) {
    return [v](ImageLibraryStore& s) { return s.filters().selectSearchSort(v); };
  };
  const Operation clearFavorites = [](ImageLibraryStore& s) {
    return s.filters().clearOnlyFavoritesFilter();
  };
  const Operation clearCandidates = [](ImageLibraryStore& s) {
    return s.filters().clearOnlyDeleteCandidatesFilter();
  };
  const Operation clearAll = [](ImageLibraryStore& s) { return s.filters().clearAllFilters(); };
  const auto byName = ImageSearchSort::fileNameAscending;
  const Filters everything{.aspects = {landscape},
                           .favorites = true,
                           .deleteCandidates = true,
                           .reviewShown = true,
                           .tags = {"cat"},
                           .conceptIDs = {4, 9},
                           .model = "nai-v4",
                           .sort = byName};
  const std::vector<Row> rows = {
      {"aspect added in front of one chosen earlier",
       {.aspects = {square}},
       toggleAspect(portrait),
       {.aspects = {portrait, square}},
       true},
      {"aspect added between",
       {.aspects = {portrait, square}},
       toggleAspect(landscape),
       {.aspects = {portrait, landscape, square}},
       true},
      {"aspect toggled off",
       {.aspects = {portrait, square}},
       toggleAspect(square),
       {.aspects = {portrait}},
       true},
      {"the last aspect toggled off", {.aspects = {landscape}}, toggleAspect(landscape), {}, true},
      {"aspect removed, the rest in place",
       {.aspects = {portrait, landscape, square}},
       removeAspect(portrait),
       {.aspects = {landscape, square}},
       true},
      {"aspect not selected: no refresh",
       {.aspects = {square}},
       removeAspect(portrait),
       {.aspects = {square}},
       false},
      {"favorites on", {}, favorites(true), {.favorites = true}, true},
      {"favorites on again: no refresh", {.favorites = true}, favorites(true), {.favorites = true}, false},
      {"favorites off", {.favorites = true}, favorites(false), {}, true},
      {"favorites cleared", {.favorites = true}, clearFavorites, {}, true},
      {"favorites cleared while off: no refresh", {}, clearFavorites, {}, false},
      {"candidates on does not open the review", {}, candidates(true), {.deleteCandidates = true}, true},
      {"candidates off closes the review",
       {.deleteCandidates = true, .reviewShown = true},
       candidates(false),
       {},
       true},
      {"candidates off while off leaves the review: no refresh",
       {.reviewShown = true},
       candidates(false),
       {.reviewShown = true},
       false},
      {"candidates cleared closes the review",
       {.deleteCandidates = true, .reviewShown = true},
       clearCandidates,
       {},
       true},
      {"candidates cleared while off but the review shown", {.reviewShown = true}, clearCandidates, {}, true},
      {"candidates cleared with nothing to do: no refresh", {}, clearCandidates, {}, false},
      {"sort changed",
       {},
       sortBy(ImageSearchSort::fileNameDescending),
       {.sort = ImageSearchSort::fileNameDescending},
       true},
      {"sort unchanged: no refresh", {.sort = byName}, sortBy(byName), {.sort = byName}, false},
      {"clear all keeps the sort", everything, clearAll, {.sort = byName}, true},
      {"clear all with only the review shown", {.reviewShown = true}, clearAll, {}, true},
      {"clear all with one concept", {.conceptIDs = {3}}, clearAll, {}, true},
      {"clear all with a model", {.model = "nai-v4"}, clearAll, {}, true},
      {"clear all with nothing active and a sort: no refresh",
       {.sort = byName},
       clearAll,
       {.sort = byName},
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    // Aspects and concepts are the database's business: the answer itself is not looked at here.
    h.service->setAnswer("searchImages",
                         [](const testing::ServiceCall&) { return std::any(std::vector<ImageRecord>{}); });
    testing::StoreOptions options;
    options.savedFilterTags = {"cat", "dog"};
    auto store = h.makeStore(options);
    apply(*store, row.before);
    const int resetsBefore = store->results().searchResultsResetCount();
    auto task = row.operation(*store);
    h.drainEvents();
    ASSERT_TRUE(task.isReady());
    expectState(*store, row.after);
    EXPECT_EQ(store->filters().savedFilterTags(), (Strings{"cat", "dog"}));
    const auto searches = h.service->calls("searchImages");
    ASSERT_EQ(searches.size(), row.refreshes ? 1u : 0u);
    if (!row.refreshes) continue;
    expectQuery(*searches[0].query, row.after);
    EXPECT_EQ(store->results().searchResultsResetCount(), resetsBefore + 1);
  }
}

TEST(ImageLibraryStoreFilterSwitches, AspectSelectionIsAnsweredPerAspect) {
  testing::StoreHarness h;
  auto store = h.makeStore();
  FiltersModelTestAccess::setSelectedAspectFilters(store->filters(), {landscape});
  EXPECT_FALSE(store->filters().isAspectFilterSelected(portrait));
  EXPECT_TRUE(store->filters().isAspectFilterSelected(landscape));
  EXPECT_FALSE(store->filters().isAspectFilterSelected(square));
}

// The review closes before the filter goes off, so nothing sees the review open over results that
// no longer hold delete candidates.
TEST(ImageLibraryStoreFilterSwitches, TheReviewClosesBeforeTheFilterTurnsOff) {
  testing::StoreHarness h;
  auto store = h.makeStore();
  FiltersModelTestAccess::setOnlyDeleteCandidates(store->filters(), true);
  store->presentation().setIsDeleteCandidateReviewPresented(true);
  std::vector<std::string> events;
  QObject::connect(&store->presentation(),
                   &ImageLibraryPresentationState::isDeleteCandidateReviewPresentedChanged,
                   [&] { events.push_back("review closed"); });
  QObject::connect(&store->filters(), &FiltersModel::selectionChanged,
                   [&] { events.push_back("filter off"); });
  auto task = store->filters().setOnlyDeleteCandidatesFilter(false);
  h.drainEvents();
  ASSERT_TRUE(task.isReady());
  EXPECT_EQ(events, (std::vector<std::string>{"review closed", "filter off"}));
}

}  // namespace
}  // namespace lorvex
