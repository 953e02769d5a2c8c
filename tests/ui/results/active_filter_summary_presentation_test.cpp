// The active-filter chips: which filters make chips, in what order, with which texts and ids, and
// what a chip's click and the reset button change in the store.
#include "ui/results/active_filter_summary_presentation.h"

#include <gtest/gtest.h>

#include <any>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "store/filters/filters_model_test_access.h"
#include "store/image_library_store.h"
#include "store/support/store_harness.h"
#include "ui/results/echo_localization.h"

namespace lorvex::ui {
namespace {

using Kind = ActiveFilterSummaryKind;
using testing::echoLocalization;

struct Chip {
  std::string id;
  std::string title;
  bool isReviewMode = false;
  friend bool operator==(const Chip&, const Chip&) = default;
};

std::ostream& operator<<(std::ostream& out, const Chip& chip) {
  return out << chip.id << " \"" << chip.title << "\"" << (chip.isReviewMode ? " review" : "");
}

std::vector<Chip> chips(const ActiveFilterSummaryPresentation& presentation) {
  std::vector<Chip> result;
  for (const auto& item : presentation.items) result.push_back({item.id(), item.title, item.isReviewMode});
  return result;
}

TEST(ActiveFilterSummaryPresentationTest, NamesEveryActiveFilterInOrder) {
  const struct {
    const char* name;
    ActiveFilterSummaryInputs inputs;
    std::vector<Chip> expected;
  } rows[] = {
      {"nothing active", {}, {}},
      {"tag keeps its letters in the title, lowercased in the id",
       {.selectedFilterTags = {"Blue Hair", "ÉTÉ"}},
       {{"tag:blue hair", "filter.summary.tag(Blue Hair)"}, {"tag:été", "filter.summary.tag(ÉTÉ)"}}},
      {"every kind, in the fixed order whatever the input order",
       {.selectedFilterTags = {"cat"},
        .selectedTagConcepts = {{42, "Felines", 3}},
        .modelSource = "nai-v4",
        .aspectFilters = {ImageAspectFilter::portrait, ImageAspectFilter::square},
        .onlyFavorites = true,
        .onlyDeleteCandidates = true},
       {{"tag:cat", "filter.summary.tag(cat)"},
        {"tagConcept:42", "filter.summary.tagConcept(Felines)"},
        {"model", "filter.summary.model(nai-v4)"},
        {"aspect:portrait", "filter.summary.aspect(filter.aspect.portrait)"},
        {"aspect:square", "filter.summary.aspect(filter.aspect.square)"},
        {"favorite", "filter.summary.favorite"},
        {"deleteCandidate", "filter.summary.deleteCandidates"}}},
      {"aspects in the stored order",
       {.aspectFilters = {ImageAspectFilter::landscape, ImageAspectFilter::portrait}},
       {{"aspect:landscape", "filter.summary.aspect(filter.aspect.landscape)"},
        {"aspect:portrait", "filter.summary.aspect(filter.aspect.portrait)"}}},
      {"an empty model name is still a model", {.modelSource = ""}, {{"model", "filter.summary.model()"}}},
      {"the review open without the filter",
       {.isDeleteCandidateReviewPresented = true},
       {{"deleteCandidateReview", "filter.summary.deleteCandidateReview", true}}},
      {"the review open with the filter: one chip",
       {.onlyDeleteCandidates = true, .isDeleteCandidateReviewPresented = true},
       {{"deleteCandidateReview", "filter.summary.deleteCandidateReview", true}}},
      {"concept ids in decimal, negative included",
       {.selectedTagConcepts = {{-7, "Odd", 0}, {9007199254740993, "Big", 0}}},
       {{"tagConcept:-7", "filter.summary.tagConcept(Odd)"},
        {"tagConcept:9007199254740993", "filter.summary.tagConcept(Big)"}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto presentation = ActiveFilterSummaryPresentation::make(row.inputs, echoLocalization());
    EXPECT_EQ(chips(presentation), row.expected);
    EXPECT_EQ(presentation.isEmpty(), row.expected.empty());
  }
}

TEST(ActiveFilterSummaryPresentationTest, TheBarsOwnTextsComeFromItsLocalizer) {
  const auto presentation =
      ActiveFilterSummaryPresentation::make({.selectedFilterTags = {"cat"}}, echoLocalization());
  EXPECT_EQ(presentation.titleText(), "filter.summary.title");
  EXPECT_EQ(presentation.clearText(presentation.items.at(0)),
            "filter.summary.clear(filter.summary.tag(cat))");
  EXPECT_EQ(presentation.resetAllText(), "filter.summary.resetAll");
}

// Cue clicks on a row 387 wide in a room of 200, cues 28 wide: one item a click, within its ends.
TEST(ActiveFilterSummaryPresentationTest, AnEdgeCueClickScrollsTheRowByOneItem) {
  const std::vector<ChipRowSpan> items{{12, 60}, {69, 169}, {178, 278}, {287, 387}};
  int offset = 0;
  for (const auto& [forward, expected] :
       {std::pair{true, 106}, {true, 187}, {false, 150}, {false, 41}, {false, 0}}) {
    offset = chipRowCueScrollTarget(items, offset, 187, 200, 28, forward);
    EXPECT_EQ(offset, expected);
  }
}

// A room 200 wide, the bar's padding 12, cues 28 wide: items that fit keep the padding alone; items
// that do not get a cue's width at each end, and cue clicks then take the row to either end with no
// item under the cue there.
TEST(ActiveFilterSummaryPresentationTest, AnOverflowingChipRowKeepsACuesWidthAtEachEnd) {
  for (const auto& [itemsWidth, padding, expected] : {std::tuple{188, 12, ChipRowEnds{12, 0}},
                                                      {189, 12, ChipRowEnds{28, 28}},
                                                      {375, 40, ChipRowEnds{40, 28}}}) {
    EXPECT_EQ(chipRowEnds(itemsWidth, 200, padding, 28), expected) << itemsWidth << " " << padding;
  }
  // The items of the test above, 375 wide, moved past the leading end: 431 wide in all.
  const ChipRowEnds ends = chipRowEnds(375, 200, 12, 28);
  const std::vector<ChipRowSpan> items{{28, 76}, {85, 185}, {194, 294}, {303, 403}};
  const int maximum = items.back().right + ends.trailing - 200;
  int offset = 0;
  for (int click = 0; click < 6; ++click)
    offset = chipRowCueScrollTarget(items, offset, maximum, 200, 28, true);
  EXPECT_EQ(offset, maximum);
  EXPECT_LE(items.back().right - offset, 200 - 28);
  for (int click = 0; click < 6; ++click)
    offset = chipRowCueScrollTarget(items, offset, maximum, 200, 28, false);
  EXPECT_EQ(offset, 0);
  EXPECT_GE(items.front().left - offset, 28);
}

TEST(ActiveFilterSummaryPresentationTest, ReadsTheStoreWithConceptsOnlyWhileTheyAreEnabled) {
  for (const bool conceptsEnabled : {true, false}) {
    SCOPED_TRACE(conceptsEnabled);
    lorvex::testing::StoreHarness h;
    lorvex::testing::StoreOptions options;
    options.featureAvailability.isTagConceptEnabled = conceptsEnabled;
    auto store = h.makeStore(options);
    FiltersModelTestAccess::setSelectedFilterTags(store->filters(), {"Cat"});
    FiltersModelTestAccess::setSelectedTagConcepts(store->filters(), {{5, "Felines", 2}});
    store->filters().setSelectedModelSource("nai-v4");
    FiltersModelTestAccess::setSelectedAspectFilters(store->filters(), {ImageAspectFilter::square});
    FiltersModelTestAccess::setOnlyFavorites(store->filters(), true);
    store->presentation().setIsDeleteCandidateReviewPresented(true);
    const auto presentation = ActiveFilterSummaryPresentation::make(
        ActiveFilterSummaryInputs::from(store->filters(), store->presentation(), store->context()),
        echoLocalization());
    std::vector<std::string> ids;
    for (const auto& item : presentation.items) ids.push_back(item.id());
    std::vector<std::string> expected{"tag:cat", "model", "aspect:square", "favorite",
                                      "deleteCandidateReview"};
    if (conceptsEnabled) expected.insert(expected.begin() + 1, "tagConcept:5");
    EXPECT_EQ(ids, expected);
  }
}

// The filter state a removal starts from and ends in.
struct Filters {
  std::vector<std::string> tags = {};
  std::vector<std::int64_t> conceptIDs = {};
  std::optional<std::string> model = std::nullopt;
  std::vector<ImageAspectFilter> aspects = {};
  bool favorites = false;
  bool deleteCandidates = false;
  bool reviewShown = false;
  friend bool operator==(const Filters&, const Filters&) = default;
};

void apply(ImageLibraryStore& store, const Filters& filters) {
  FiltersModelTestAccess::setSelectedFilterTags(store.filters(), filters.tags);
  std::vector<TagConcept> concepts;
  for (const auto id : filters.conceptIDs) concepts.push_back({id, "concept", 1});
  FiltersModelTestAccess::setSelectedTagConcepts(store.filters(), concepts);
  store.filters().setSelectedModelSource(filters.model);
  FiltersModelTestAccess::setSelectedAspectFilters(store.filters(), filters.aspects);
  FiltersModelTestAccess::setOnlyFavorites(store.filters(), filters.favorites);
  FiltersModelTestAccess::setOnlyDeleteCandidates(store.filters(), filters.deleteCandidates);
  store.presentation().setIsDeleteCandidateReviewPresented(filters.reviewShown);
}

Filters read(const ImageLibraryStore& store) {
  Filters filters{store.filters().selectedFilterTags(),
                  {},
                  store.filters().selectedModelSource(),
                  store.filters().selectedAspectFilters(),
                  store.filters().onlyFavorites(),
                  store.filters().onlyDeleteCandidates(),
                  store.presentation().isDeleteCandidateReviewPresented()};
  for (const auto& selected : store.filters().selectedTagConcepts())
    filters.conceptIDs.push_back(selected.id);
  return filters;
}

TEST(ActiveFilterSummaryPresentationTest, AChipClickRemovesOnlyItsFilterAndTheResetClearsAll) {
  const Filters everything{
      {"cat", "dog"}, {3, 4}, "nai-v4", {ImageAspectFilter::portrait, ImageAspectFilter::square},
      true,           true,   true};
  const std::optional<Kind> reset = std::nullopt;
  const struct {
    const char* name;
    Filters before;
    std::vector<std::optional<Kind>> clicks;  // nothing: the reset button
    Filters after;
    std::size_t searches;
  } rows[] = {
      {"tag",
       everything,
       {Kind{Kind::Tag{"cat"}}},
       {{"dog"},
        {3, 4},
        "nai-v4",
        {ImageAspectFilter::portrait, ImageAspectFilter::square},
        true,
        true,
        true},
       1},
      {"concept",
       everything,
       {Kind{Kind::TagConcept{3}}},
       {{"cat", "dog"},
        {4},
        "nai-v4",
        {ImageAspectFilter::portrait, ImageAspectFilter::square},
        true,
        true,
        true},
       1},
      {"model",
       everything,
       {Kind{Kind::Model{}}},
       {{"cat", "dog"},
        {3, 4},
        std::nullopt,
        {ImageAspectFilter::portrait, ImageAspectFilter::square},
        true,
        true,
        true},
       1},
      {"model clicked twice refreshes once",
       {.model = "nai-v4"},
       {Kind{Kind::Model{}}, Kind{Kind::Model{}}},
       {},
       1},
      {"model chip with no model selected", {}, {Kind{Kind::Model{}}}, {}, 0},
      {"aspect",
       everything,
       {Kind{Kind::Aspect{ImageAspectFilter::square}}},
       {{"cat", "dog"}, {3, 4}, "nai-v4", {ImageAspectFilter::portrait}, true, true, true},
       1},
      {"favorites",
       everything,
       {Kind{Kind::Favorite{}}},
       {{"cat", "dog"},
        {3, 4},
        "nai-v4",
        {ImageAspectFilter::portrait, ImageAspectFilter::square},
        false,
        true,
        true},
       1},
      {"delete candidates closes the review too",
       everything,
       {Kind{Kind::DeleteCandidate{}}},
       {{"cat", "dog"},
        {3, 4},
        "nai-v4",
        {ImageAspectFilter::portrait, ImageAspectFilter::square},
        true,
        false,
        false},
       1},
      {"review chip without the filter", {.reviewShown = true}, {Kind{Kind::DeleteCandidate{}}}, {}, 1},
      {"reset", everything, {reset}, {}, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    lorvex::testing::StoreHarness h;
    h.service->setAnswer("searchImages", [](const lorvex::testing::ServiceCall&) {
      return std::any(std::vector<ImageRecord>{});
    });
    lorvex::testing::StoreOptions options;
    options.featureAvailability.isTagConceptEnabled = true;
    options.savedFilterTags = {"cat", "dog", "fox"};
    auto store = h.makeStore(options);
    apply(*store, row.before);
    // Clicks made before any of their tasks ran, as two quick clicks are.
    std::vector<QCoro::Task<void>> tasks;
    for (const auto& click : row.clicks) {
      tasks.push_back(click ? removeActiveFilter(store->filters(), *click)
                            : resetActiveFilters(store->filters()));
    }
    h.drainEvents();
    for (const auto& task : tasks) EXPECT_TRUE(task.isReady());
    EXPECT_EQ(read(*store), row.after);
    EXPECT_EQ(store->filters().savedFilterTags(), (std::vector<std::string>{"cat", "dog", "fox"}));
    EXPECT_EQ(h.service->calls("searchImages").size(), row.searches);
  }
}

}  // namespace
}  // namespace lorvex::ui
