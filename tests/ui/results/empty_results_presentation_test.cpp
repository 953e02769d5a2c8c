// The empty-results overlay: which state wins, its texts, symbol and action; and when the
// searching indicator or the empty overlay covers the grid.
#include "ui/results/empty_results_presentation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "store/filters/filters_model_test_access.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "store/support/store_harness.h"
#include "ui/results/echo_localization.h"

namespace lorvex::ui {
namespace {

using testing::echoLocalization;
using Action = EmptyResultsPrimaryAction;
using State = RegisteredFolderAccessState;

RegisteredFolderSummary folder(std::string path, State state) {
  RegisteredFolderSummary summary;
  summary.path = std::move(path);
  summary.displayName = "name";
  summary.state = state;
  return summary;
}

ImageLibraryIndexingProgress progress(ImageLibraryIndexingPhase phase, std::int64_t processed,
                                      std::int64_t total) {
  ImageLibraryIndexingProgress value;
  value.phase = phase;
  value.processedCount = processed;
  value.totalCount = total;
  return value;
}

// A context's inputs, with the active filters given as filter inputs.
struct Situation {
  std::vector<RegisteredFolderSummary> folders = {};
  bool loadingFolders = false;
  bool syncing = false;
  std::optional<ImageLibraryIndexingProgress> indexing = std::nullopt;
  bool reviewShown = false;
  ActiveFilterSummaryInputs filters = {};
};

EmptyResultsPresentationContext context(const Situation& situation) {
  return {
      situation.folders,     situation.loadingFolders,
      situation.syncing,     situation.indexing,
      situation.reviewShown, ActiveFilterSummaryPresentation::make(situation.filters, echoLocalization())};
}

TEST(EmptyResultsPresentationTest, TheFirstStateThatHoldsDecidesTextsSymbolAndAction) {
  const auto available = folder("/pics/a", State::available);
  const auto missing = folder("/pics/m", State::missing);
  const auto invalid = folder("/pics/b", State::bookmarkInvalid);
  const auto denied = folder("/pics/d", State::accessDenied);
  const auto discovering = progress(ImageLibraryIndexingPhase::discovering, 0, 120);
  const auto indexing = progress(ImageLibraryIndexingPhase::indexing, 30, 120);
  const EmptyResultsPresentation checking{"library.checkingFolders",
                                          "folder",
                                          true,
                                          "onboarding.firstRun.permission",
                                          std::nullopt,
                                          std::nullopt,
                                          std::nullopt};
  const EmptyResultsPresentation firstRun{"onboarding.firstRun.title",
                                          "folder.badge.plus",
                                          false,
                                          "onboarding.firstRun.description",
                                          "onboarding.firstRun.permission",
                                          "library.addFolder",
                                          Action{Action::ChooseFolder{}}};
  auto indexingState = [](std::string secondary) {
    return EmptyResultsPresentation{"result.empty.indexing.title",
                                    "clock.arrow.circlepath",
                                    true,
                                    "result.empty.indexing.description",
                                    std::move(secondary),
                                    std::nullopt,
                                    std::nullopt};
  };
  auto allowAccess = [](bool isDenied, std::string path) {
    return EmptyResultsPresentation{
        isDenied ? "result.empty.permission.title" : "result.empty.bookmarkInvalid.title",
        "lock.open",
        false,
        isDenied ? "result.empty.permission.description" : "result.empty.bookmarkInvalid.description",
        std::nullopt,
        "library.allowAccess",
        Action{Action::AllowAccess{std::move(path)}}};
  };
  const EmptyResultsPresentation review{"result.empty.deleteCandidates.title",
                                        "trash",
                                        false,
                                        "result.empty.deleteCandidates.description",
                                        std::nullopt,
                                        std::nullopt,
                                        std::nullopt};
  const EmptyResultsPresentation noResults{"result.empty.noResults.title",
                                           "photo.on.rectangle",
                                           false,
                                           "result.empty.noResults.description",
                                           std::nullopt,
                                           std::nullopt,
                                           std::nullopt};
  const EmptyResultsPresentation noResultsWithReset{"result.empty.noResults.title",
                                                    "photo.on.rectangle",
                                                    false,
                                                    "result.empty.noResults.description",
                                                    "filter.summary.emptyResetDescription",
                                                    "filter.summary.resetAll",
                                                    Action{Action::ResetFilters{}}};

  const struct {
    const char* name;
    Situation situation;
    EmptyResultsPresentation expected;
  } rows[] = {
      {"checking folders wins over sync and review",
       {.folders = {invalid},
        .loadingFolders = true,
        .syncing = true,
        .indexing = indexing,
        .reviewShown = true},
       checking},
      {"first run", {}, firstRun},
      {"first run ignores the review and filters",
       {.reviewShown = true, .filters = {.onlyFavorites = true}},
       firstRun},
      {"no folders, syncing, no progress yet", {.syncing = true}, indexingState("indexing.inProgress")},
      {"no folders, discovering",
       {.syncing = true, .indexing = discovering},
       indexingState("indexing.checkingFiles(#120)")},
      {"no folders, indexing",
       {.syncing = true, .indexing = indexing},
       indexingState("indexing.progress(#30,#120)")},
      {"missing then invalid: the invalid folder, review open",
       {.folders = {missing, invalid}, .reviewShown = true},
       allowAccess(false, "/pics/b")},
      {"the first folder needing access decides the texts",
       {.folders = {available, denied, invalid}},
       allowAccess(true, "/pics/d")},
      {"access wins over a sync with progress",
       {.folders = {invalid}, .syncing = true, .indexing = indexing},
       allowAccess(false, "/pics/b")},
      {"review open, folders fine", {.folders = {available, missing}, .reviewShown = true}, review},
      {"review wins over a sync with progress",
       {.folders = {available}, .syncing = true, .indexing = indexing, .reviewShown = true},
       review},
      {"folders and a sync with progress",
       {.folders = {available}, .syncing = true, .indexing = discovering},
       indexingState("indexing.checkingFiles(#120)")},
      {"folders and a sync without progress: no results",
       {.folders = {available}, .syncing = true},
       noResults},
      {"progress left over without a sync: no results",
       {.folders = {available}, .indexing = indexing},
       noResults},
      {"no results, no filters", {.folders = {available}}, noResults},
      {"no results with a tag",
       {.folders = {available}, .filters = {.selectedFilterTags = {"cat"}}},
       noResultsWithReset},
      {"no results with a model",
       {.folders = {available}, .filters = {.modelSource = "m"}},
       noResultsWithReset},
      {"no results with an aspect",
       {.folders = {available}, .filters = {.aspectFilters = {ImageAspectFilter::square}}},
       noResultsWithReset},
      {"no results with favorites",
       {.folders = {available}, .filters = {.onlyFavorites = true}},
       noResultsWithReset},
      {"no results with delete candidates",
       {.folders = {available}, .filters = {.onlyDeleteCandidates = true}},
       noResultsWithReset},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto presentation = EmptyResultsPresentation::make(context(row.situation), echoLocalization());
    EXPECT_EQ(presentation, row.expected);
    EXPECT_EQ(presentation.showsPrimaryAction(), row.expected.primaryAction.has_value());
  }
}

TEST(EmptyResultsPresentationTest, TheResetTextsComeFromTheFilterPresentationsLocalizer) {
  const auto filters = ActiveFilterSummaryPresentation::make(
      {.onlyFavorites = true}, AppLocalization([](std::string_view key, const FormatArguments&) {
        return "filters:" + std::string(key);
      }));
  const EmptyResultsPresentationContext noResults{
      {folder("/pics", State::available)}, false, false, std::nullopt, false, filters};
  const auto presentation = EmptyResultsPresentation::make(noResults, echoLocalization());
  EXPECT_EQ(presentation.title, "result.empty.noResults.title");
  EXPECT_EQ(presentation.secondaryDescription, "filters:filter.summary.emptyResetDescription");
  EXPECT_EQ(presentation.primaryActionTitle, "filters:filter.summary.resetAll");
}

TEST(EmptyResultsPresentationTest, AConceptAloneIsNoActiveFilterHereEvenWhenConceptsAreEnabled) {
  const struct {
    const char* name;
    std::vector<std::string> tags;
    bool offersReset;
  } rows[] = {{"only a concept", {}, false}, {"a concept and a tag", {"cat"}, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    lorvex::testing::StoreHarness h;
    lorvex::testing::StoreOptions options;
    options.featureAvailability.isTagConceptEnabled = true;
    auto store = h.makeStore(options);
    LibraryModelTestAccess::setRegisteredFolderSummaries(store->library(),
                                                         {folder("/pics", State::available)});
    FiltersModelTestAccess::setSelectedTagConcepts(store->filters(), {{5, "Felines", 2}});
    FiltersModelTestAccess::setSelectedFilterTags(store->filters(), row.tags);
    const auto context = EmptyResultsPresentationContext::from(store->library(), store->filters(),
                                                               store->presentation(), echoLocalization());
    const auto presentation = EmptyResultsPresentation::make(context, echoLocalization());
    EXPECT_EQ(presentation.title, "result.empty.noResults.title");
    EXPECT_EQ(presentation.showsPrimaryAction(), row.offersReset);
    EXPECT_EQ(presentation.secondaryDescription.has_value(), row.offersReset);
  }
}

TEST(EmptyResultsPresentationTest, TheContextFollowsTheStore) {
  lorvex::testing::StoreHarness h;
  auto store = h.makeStore();
  const auto indexing = progress(ImageLibraryIndexingPhase::indexing, 3, 9);
  LibraryModelTestAccess::setRegisteredFolderSummaries(store->library(), {folder("/pics", State::missing)});
  LibraryModelTestAccess::setIsLoadingRegisteredFolders(store->library(), true);
  LibraryModelTestAccess::setIsLibrarySyncInProgress(store->library(), true);
  LibraryModelTestAccess::setIndexingProgress(store->library(), indexing);
  FiltersModelTestAccess::setOnlyFavorites(store->filters(), true);
  store->presentation().setIsDeleteCandidateReviewPresented(true);
  const auto context = EmptyResultsPresentationContext::from(store->library(), store->filters(),
                                                             store->presentation(), echoLocalization());
  const EmptyResultsPresentationContext expected{
      {folder("/pics", State::missing)},
      true,
      true,
      indexing,
      true,
      ActiveFilterSummaryPresentation::make({.onlyFavorites = true, .isDeleteCandidateReviewPresented = true},
                                            echoLocalization())};
  EXPECT_EQ(context, expected);
}

TEST(EmptyResultsPresentationTest, ASearchCoversTheGridAndOnlyAnIdleEmptyWindowShowsTheEmptyState) {
  const struct {
    bool isLoading;
    std::size_t records;
    ResultsOverlay expected;
  } rows[] = {
      {true, 0, ResultsOverlay::searching},
      {true, 3, ResultsOverlay::searching},
      {false, 0, ResultsOverlay::emptyResults},
      {false, 3, ResultsOverlay::none},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.isLoading << " " << row.records);
    lorvex::testing::StoreHarness h;
    h.service->setRecords(lorvex::testing::makeLibraryRecords(row.records));
    auto store = h.makeStore();
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {"/library"});
    auto refresh = store->results().refreshResults(ResultsModel::kFirstPageLimit, true);
    h.drainEvents();
    ASSERT_TRUE(refresh.isReady());
    ASSERT_EQ(store->results().resultWindow().records().size(), row.records);
    ResultsModelTestAccess::setIsLoading(store->results(), row.isLoading);
    EXPECT_EQ(chooseResultsOverlay(store->results()), row.expected);
  }
  EXPECT_EQ(searchingIndicatorText(echoLocalization()), "result.searching");
}

}  // namespace
}  // namespace lorvex::ui
