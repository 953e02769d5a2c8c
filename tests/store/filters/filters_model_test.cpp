// The filters model's state: the change-only rule of its observed fields, the one change signal of
// all the filters, the character search history (ten entries, newest first, one per name ignoring
// case), and a store that goes while a filter change waits for its first page.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/filters/filters_model_test_access.h"
#include "store/image_library_store.h"
#include "store/support/change_only.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using Access = FiltersModelTestAccess;

template <typename T>
void expectChangeOnly(const char* name, std::function<void(FiltersModel&, T)> set,
                      std::function<T(const FiltersModel&)> get, void (FiltersModel::*signal)(), T first,
                      T second) {
  SCOPED_TRACE(name);
  testing::StoreHarness h;
  auto store = h.makeStore();
  testing::expectModelChangeOnly<FiltersModel, T>(store->filters(), set, get, signal, first, second);
}

TEST(FiltersModel, ObservedFieldsSignalOnlyARealChange) {
  using Strings = std::vector<std::string>;
  using OptString = std::optional<std::string>;
  using Concepts = std::vector<TagConcept>;
  using Aspects = std::vector<ImageAspectFilter>;
  using M = FiltersModel;
  expectChangeOnly<bool>(
      "onlyFavorites", [](M& m, bool v) { Access::setOnlyFavorites(m, v); }, &M::onlyFavorites,
      &M::onlyFavoritesChanged, true, false);
  expectChangeOnly<bool>(
      "onlyDeleteCandidates", [](M& m, bool v) { Access::setOnlyDeleteCandidates(m, v); },
      &M::onlyDeleteCandidates, &M::onlyDeleteCandidatesChanged, true, false);
  expectChangeOnly<ImageSearchSort>(
      "searchSort", [](M& m, ImageSearchSort v) { Access::setSearchSort(m, v); }, &M::searchSort,
      &M::searchSortChanged, ImageSearchSort::fileNameAscending, ImageSearchSort::modificationDateAscending);
  // Same count, one text differing; then a longer list.
  expectChangeOnly<Strings>(
      "savedFilterTags", [](M& m, Strings v) { Access::setSavedFilterTags(m, std::move(v)); },
      &M::savedFilterTags, &M::savedFilterTagsChanged, Strings{"a", "b"}, Strings{"a", "c"});
  expectChangeOnly<Strings>(
      "selectedFilterTags", [](M& m, Strings v) { Access::setSelectedFilterTags(m, std::move(v)); },
      &M::selectedFilterTags, &M::selectedFilterTagsChanged, Strings{"a", "b"}, Strings{"a", "c"});
  expectChangeOnly<Strings>(
      "characterSearchHistory", [](M& m, Strings v) { Access::setCharacterSearchHistory(m, std::move(v)); },
      &M::characterSearchHistory, &M::characterSearchHistoryChanged, Strings{"x"}, Strings{"x", "y"});
  // Absent, empty and a text are three different values.
  expectChangeOnly<OptString>(
      "selectedModelSource", [](M& m, OptString v) { m.setSelectedModelSource(std::move(v)); },
      &M::selectedModelSource, &M::selectedModelSourceChanged, OptString(""), OptString("m"));
  // Same id, another count: a different entry.
  expectChangeOnly<Concepts>("selectedTagConcepts",
                             [](M& m, Concepts v) { Access::setSelectedTagConcepts(m, std::move(v)); },
                             &M::selectedTagConcepts, &M::selectedTagConceptsChanged, {TagConcept{1, "a", 3}},
                             {TagConcept{1, "a", 4}});
  expectChangeOnly<Aspects>(
      "selectedAspectFilters", [](M& m, Aspects v) { Access::setSelectedAspectFilters(m, std::move(v)); },
      &M::selectedAspectFilters, &M::selectedAspectFiltersChanged, {ImageAspectFilter::square},
      {ImageAspectFilter::square, ImageAspectFilter::portrait});
}

TEST(FiltersModel, TheCharacterHistoryKeepsTheNewestTenNamesOncePerNameIgnoringCase) {
  const std::vector<std::string> ten = {"j", "i", "h", "g", "f", "e", "d", "c", "b", "a"};
  struct Case {
    std::string name;
    std::vector<std::string> before;
    std::optional<std::string> text;
    std::vector<std::string> after;
    int signalCount;
  };
  const std::vector<Case> cases = {
      {"absent", {"a"}, std::nullopt, {"a"}, 0},
      {"blank", {"a"}, " \n\t ", {"a"}, 0},
      {"new name goes first, trimmed", {"a", "b"}, "  Reimu \n", {"Reimu", "a", "b"}, 1},
      {"another case moves it in its new form", {"a", "reimu", "b"}, " REIMU ", {"REIMU", "a", "b"}, 2},
      {"case folding, not lowercasing",
       {"a", "strasse"},
       "Stra\xC3\x9F"
       "e",
       {"Stra\xC3\x9F"
        "e",
        "a"},
       2},
      {"already first", {"Reimu", "a"}, "Reimu", {"Reimu", "a"}, 2},
      {"an eleventh name drops the oldest", ten, "k", {"k", "j", "i", "h", "g", "f", "e", "d", "c", "b"}, 2},
      {"a known name among ten drops nothing",
       ten,
       "A",
       {"A", "j", "i", "h", "g", "f", "e", "d", "c", "b"},
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::StoreHarness h;
    auto store = h.makeStore();
    FiltersModel& filters = store->filters();
    Access::setCharacterSearchHistory(filters, c.before);
    int signalCount = 0;
    QObject::connect(&filters, &FiltersModel::characterSearchHistoryChanged, [&] { ++signalCount; });
    filters.recordCharacterSearch(c.text);
    EXPECT_EQ(filters.characterSearchHistory(), c.after);
    EXPECT_EQ(signalCount, c.signalCount);
  }
}

// The views follow filtersChanged(): once per turn that changed any filter, however many; never for
// the saved tags, the sort, the history or a value set to itself.
TEST(FiltersModel, FiltersChangedTellsOfAnyFilterOncePerTurn) {
  using M = FiltersModel;
  const struct {
    const char* name;
    std::function<void(M&)> change;
    int emitted;
  } rows[] = {
      {"a tag selected", [](M& m) { Access::setSelectedFilterTags(m, {"cat"}); }, 1},
      {"a concept selected",
       [](M& m) {
         Access::setSelectedTagConcepts(m, {{1, "Cat", 2}});
       },
       1},
      {"an aspect selected", [](M& m) { Access::setSelectedAspectFilters(m, {ImageAspectFilter::square}); },
       1},
      {"a model selected", [](M& m) { m.setSelectedModelSource("nai-v4"); }, 1},
      {"favorites only", [](M& m) { Access::setOnlyFavorites(m, true); }, 1},
      {"delete candidates only", [](M& m) { Access::setOnlyDeleteCandidates(m, true); }, 1},
      {"every filter at once",
       [](M& m) {
         Access::setSelectedFilterTags(m, {"cat"});
         Access::setSelectedTagConcepts(m, {{1, "Cat", 2}});
         Access::setSelectedAspectFilters(m, {ImageAspectFilter::square});
         m.setSelectedModelSource("nai-v4");
         Access::setOnlyFavorites(m, true);
         Access::setOnlyDeleteCandidates(m, true);
       },
       1},
      {"saved tags, sort and history",
       [](M& m) {
         Access::setSavedFilterTags(m, {"cat"});
         Access::setSearchSort(m, ImageSearchSort::fileNameAscending);
         Access::setCharacterSearchHistory(m, {"Reimu"});
       },
       0},
      {"a filter set to what it is", [](M& m) { Access::setOnlyFavorites(m, false); }, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    auto store = h.makeStore();
    h.drainEvents();
    int emitted = 0;
    QObject::connect(&store->filters(), &FiltersModel::filtersChanged, [&] { ++emitted; });
    row.change(store->filters());
    EXPECT_EQ(emitted, 0);  // not before the turn ends
    h.drainEvents();
    EXPECT_EQ(emitted, row.emitted);
  }
}

// A filter change waits for its first page through the composition, in the scope of the store: a
// store that goes while the search is held frees the change's frame and the refresh it awaits
// (the sanitizers see a leaked frame or a touch of the gone model), and the late answer is dropped.
TEST(FiltersModel, AStoreGoingWhileAChangeAwaitsItsFirstPageFreesIt) {
  struct Row {
    const char* name;
    std::function<QCoro::Task<void>(FiltersModel&)> change;
  };
  const std::vector<Row> rows = {
      {"a tag added", [](FiltersModel& m) { return m.addFilterTag("cat"); }},
      {"a switch turned on", [](FiltersModel& m) { return m.setOnlyFavoritesFilter(true); }},
      {"the delete-candidate filter turned off",
       [](FiltersModel& m) { return m.clearOnlyDeleteCandidatesFilter(); }},
      {"a concept selected",
       [](FiltersModel& m) {
         return m.toggleSelectedTagConcept({1, "Cat", 2});
       }},
      {"every filter cleared", [](FiltersModel& m) { return m.clearAllFilters(); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    auto store = h.makeStore();
    FiltersModel& filters = store->filters();
    Access::setOnlyDeleteCandidates(filters, true);
    h.service->hold("searchImages");
    filters.context().startDetached([&filters, change = row.change]() -> QCoro::Task<void> {
      auto frame = co_await filters.context().scope().enter();
      co_await change(filters);
    });
    ASSERT_TRUE(h.service->waitForHeld("searchImages"));
    store.reset();
    h.service->releaseAll();
    EXPECT_TRUE(h.drainEvents());
  }
}

}  // namespace
}  // namespace lorvex
