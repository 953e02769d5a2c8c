// The filters model's state: the change-only rule of its observed fields, the one change signal of
// all the filters, the character search history (ten entries, newest first, one per name ignoring
// case), and a store that goes while a filter change waits for its first page.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
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
  using M = FiltersModel;
  // Another filter, then two changed at once.
  expectChangeOnly<FilterSelection>(
      "selection", [](M& m, FilterSelection v) { Access::setSelection(m, std::move(v)); }, &M::selection,
      &M::selectionChanged, {.onlyFavorites = true},
      {.selectedAspectFilters = {ImageAspectFilter::square}, .onlyDeleteCandidates = true});
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
}

// A selection with every filter on; a filter added to the selection does not build here until it
// has a value.
FilterSelection everyFilter() {
  FilterSelection selection;
  auto& [tags, concepts, aspects, model, favorites, deleteCandidates] = selection;
  tags = {"cat"};
  concepts = {{1, "Cat", 2}};
  aspects = {ImageAspectFilter::square};
  model = "nai-v4";
  favorites = true;
  deleteCandidates = true;
  return selection;
}

// The filters of a selection, by position.
template <typename Selection>
auto filtersOf(Selection& selection) {
  auto& [tags, concepts, aspects, model, favorites, deleteCandidates] = selection;
  return std::tie(tags, concepts, aspects, model, favorites, deleteCandidates);
}

template <std::size_t... I>
std::vector<FilterSelection> eachFilterAlone(const FilterSelection& every, std::index_sequence<I...>) {
  std::vector<FilterSelection> alone(sizeof...(I));
  ((std::get<I>(filtersOf(alone[I])) = std::get<I>(filtersOf(every))), ...);
  return alone;
}

// The selections holding one filter of `every` each, whatever filters there are.
std::vector<FilterSelection> eachFilterAlone(const FilterSelection& every) {
  constexpr std::size_t count = std::tuple_size_v<decltype(filtersOf(every))>;
  return eachFilterAlone(every, std::make_index_sequence<count>{});
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
  struct Row {
    std::string name;
    std::function<void(M&)> change;
    int emitted;
  };
  const FilterSelection every = everyFilter();
  std::vector<Row> rows = {
      {"every filter at once", [every](M& m) { Access::setSelection(m, every); }, 1},
      {"every filter on and off again",
       [every](M& m) {
         Access::setSelection(m, every);
         Access::setSelection(m, {});
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
  int filter = 0;
  for (const FilterSelection& alone : eachFilterAlone(every)) {
    rows.push_back({"filter " + std::to_string(filter++) + " alone",
                    [alone](M& m) { Access::setSelection(m, alone); }, 1});
  }
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
