// The suggestions model's state: the change-only rule of its observed fields.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "store/image_library_store.h"
#include "store/suggestions/suggestions_model_test_access.h"
#include "store/support/change_only.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using Access = SuggestionsModelTestAccess;

template <typename T>
void expectChangeOnly(const char* name, std::function<void(SuggestionsModel&, T)> set,
                      std::function<T(const SuggestionsModel&)> get, void (SuggestionsModel::*signal)(),
                      T first, T second) {
  SCOPED_TRACE(name);
  testing::StoreHarness h;
  auto store = h.makeStore();
  testing::expectModelChangeOnly<SuggestionsModel, T>(store->suggestions(), set, get, signal, first, second);
}

TEST(SuggestionsModel, ObservedFieldsSignalOnlyARealChange) {
  using Tags = std::vector<TagSuggestion>;
  using Concepts = std::vector<TagConcept>;
  using Models = std::vector<ModelSuggestion>;
  using M = SuggestionsModel;
  // Same value, another count: a different entry.
  expectChangeOnly<Tags>(
      "tagSuggestions", [](M& m, Tags v) { Access::setTagSuggestions(m, std::move(v)); }, &M::tagSuggestions,
      &M::tagSuggestionsChanged, Tags{{"a", 1}}, Tags{{"a", 2}});
  expectChangeOnly<Concepts>(
      "tagConceptSuggestions", [](M& m, Concepts v) { Access::setTagConceptSuggestions(m, std::move(v)); },
      &M::tagConceptSuggestions, &M::tagConceptSuggestionsChanged, Concepts{{1, "a", 3}},
      Concepts{{1, "a", 4}});
  expectChangeOnly<bool>(
      "isTagSuggestionLoading", [](M& m, bool v) { Access::setIsTagSuggestionLoading(m, v); },
      &M::isTagSuggestionLoading, &M::isTagSuggestionLoadingChanged, true, false);
  expectChangeOnly<Models>(
      "modelSuggestions", [](M& m, Models v) { Access::setModelSuggestions(m, std::move(v)); },
      &M::modelSuggestions, &M::modelSuggestionsChanged, Models{{"m", 1}}, Models{{"m", 1}, {"n", 1}});
  expectChangeOnly<bool>(
      "isModelSuggestionLoading", [](M& m, bool v) { Access::setIsModelSuggestionLoading(m, v); },
      &M::isModelSuggestionLoading, &M::isModelSuggestionLoadingChanged, true, false);
}

}  // namespace
}  // namespace lorvex
