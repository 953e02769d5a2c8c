// bench_store_text: the text rules of the filter panels, at the sizes they meet.
//   - BM_TagFilterSuggestions: the store's tag addition rows, 500 raw tags and 500 concepts
//     (Latin, Japanese and mixed letter case, counts with many ties); aim ≤ 2 ms.
//   - BM_FloorStableSortByKeys: the floor, a stable sort of the same rows by keys already built
//     (the count, then byte strings), including the copy of the rows.
//   - BM_NormalizedFilterTags: 1,000 saved tags normalised (whitespace, first of each caseless
//     key); aim ≤ 1 ms.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "model/text/unicode.h"
#include "services/user_defaults_filter_tag_store.h"
#include "store/image_library_store.h"
#include "store/list_stores.h"
#include "store/presentation/transient_image_library_ui_preference_store.h"
#include "store/suggestions/suggestions_model_test_access.h"
#include "store/support/scripted_image_library_service.h"

namespace {

using lorvex::TagConcept;
using lorvex::TagFilterSuggestion;
using lorvex::TagSuggestion;

// Labels of the three kinds the panel meets: Latin words in several cases, Japanese, and both mixed.
std::string label(std::size_t i) {
  static const std::vector<std::string> latin = {"blue hair",   "Blue Hair", "LONG HAIR", "smile",
                                                 "Stra\u00DFe", "caf\u00E9", "Caf\u00C9", "looking at viewer",
                                                 "Solo",        "1girl"};
  static const std::vector<std::string> japanese = {"\u732B\u8033", "\u9577\u3044\u9AEA",
                                                    "\u7B11\u9854", "\u30AB\u30D5\u30A7",
                                                    "\u5C11\u5973", "\u9752\u3044\u76EE"};
  const std::string number = std::to_string(i / 3);
  switch (i % 3) {
    case 0:
      return latin[i % latin.size()] + " " + number;
    case 1:
      return japanese[i % japanese.size()] + number;
    default:
      return latin[(i / 3) % latin.size()] + " " + japanese[i % japanese.size()] + number;
  }
}

// Counts with many ties, so the later rules decide often.
std::int64_t count(std::size_t i) {
  return 1 + static_cast<std::int64_t>((i * 7919) % 40);
}

struct Fixture {
  Fixture() {
    lorvex::ProductFeatureAvailability features;
    features.isTagConceptEnabled = true;
    store = std::make_unique<lorvex::ImageLibraryStore>(
        std::make_shared<lorvex::testing::ScriptedImageLibraryService>(), std::nullopt, features,
        std::make_shared<lorvex::testing::ListExclusionStore>(),
        std::make_shared<lorvex::testing::ListFilterTagStore>(),
        std::make_shared<lorvex::TransientImageLibraryUIPreferenceStore>(lorvex::kDefaultUIPreferences),
        3'000'000'000, lorvex::LiveServiceFactory{}, false);
    std::vector<TagSuggestion> tags;
    std::vector<TagConcept> concepts;
    for (std::size_t i = 0; i < 500; ++i) tags.push_back(TagSuggestion{label(i), count(i)});
    for (std::size_t i = 0; i < 500; ++i) {
      concepts.push_back(TagConcept{static_cast<std::int64_t>(i), label(i * 2 + 1), count(i + 3)});
    }
    lorvex::SuggestionsModelTestAccess::setTagSuggestions(store->suggestions(), tags);
    lorvex::SuggestionsModelTestAccess::setTagConceptSuggestions(store->suggestions(), concepts);
  }
  std::unique_ptr<lorvex::ImageLibraryStore> store;
};

Fixture& fixture() {
  static int argc = 1;
  static char name[] = "bench_store_text";
  static char* argv[] = {name, nullptr};
  static QCoreApplication application(argc, argv);
  static Fixture instance;
  return instance;
}

void BM_TagFilterSuggestions(benchmark::State& state) {
  const auto& store = *fixture().store;
  for (auto _ : state) benchmark::DoNotOptimize(store.suggestions().tagFilterSuggestions());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1000);
}
BENCHMARK(BM_TagFilterSuggestions)->Unit(benchmark::kMicrosecond);

void BM_FloorStableSortByKeys(benchmark::State& state) {
  const auto& store = *fixture().store;
  using Key = std::tuple<std::int64_t, std::string, bool, std::string, std::int64_t>;
  std::vector<std::pair<Key, TagFilterSuggestion>> keyed;
  for (const auto& tag : store.suggestions().tagSuggestions()) {
    keyed.emplace_back(Key{-tag.imageCount, lorvex::text::caselessKey(tag.value), false,
                           lorvex::text::nfc(lorvex::text::lowercased(tag.value)), 0},
                       TagFilterSuggestion{tag});
  }
  for (const auto& tagConcept : store.suggestions().tagConceptSuggestions()) {
    keyed.emplace_back(Key{-tagConcept.imageCount, lorvex::text::caselessKey(tagConcept.displayName), true,
                           "", tagConcept.id},
                       TagFilterSuggestion{tagConcept});
  }
  for (auto _ : state) {
    auto rows = keyed;
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    benchmark::DoNotOptimize(rows.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1000);
}
BENCHMARK(BM_FloorStableSortByKeys)->Unit(benchmark::kMicrosecond);

void BM_NormalizedFilterTags(benchmark::State& state) {
  std::vector<std::string> tags;
  for (std::size_t i = 0; i < 1000; ++i) {
    // Every tenth one repeats an earlier tag in another case, as people re-add tags.
    std::string tag = i % 10 == 9 ? lorvex::text::lowercased(label(i - 5)) : label(i);
    tags.push_back(i % 4 == 0 ? "  " + tag + " \t" : tag);
  }
  for (auto _ : state) benchmark::DoNotOptimize(lorvex::normalizedFilterTags(tags));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1000);
}
BENCHMARK(BM_NormalizedFilterTags)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
