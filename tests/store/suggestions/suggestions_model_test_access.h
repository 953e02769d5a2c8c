// How tests (and the benchmarks' staged stores) reach what SuggestionsModel keeps to itself: the
// fields only its own loads set, the generations that drop stale answers, and the text the tag
// suggestions were loaded for.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/suggestions/suggestions_model.h"

namespace lorvex {

struct SuggestionsModelTestAccess {
  static void setTagSuggestions(SuggestionsModel& model, std::vector<TagSuggestion> value) {
    model.setTagSuggestions(std::move(value));
  }
  static void setTagConceptSuggestions(SuggestionsModel& model, std::vector<TagConcept> value) {
    model.setTagConceptSuggestions(std::move(value));
  }
  static void setIsTagSuggestionLoading(SuggestionsModel& model, bool value) {
    model.setIsTagSuggestionLoading(value);
  }
  static void setModelSuggestions(SuggestionsModel& model, std::vector<ModelSuggestion> value) {
    model.setModelSuggestions(std::move(value));
  }
  static void setIsModelSuggestionLoading(SuggestionsModel& model, bool value) {
    model.setIsModelSuggestionLoading(value);
  }
  static int tagSuggestionGeneration(const SuggestionsModel& model) { return model.tagSuggestionGeneration_; }
  static int modelSuggestionGeneration(const SuggestionsModel& model) {
    return model.modelSuggestionGeneration_;
  }
  static const std::optional<std::string>& activeTagSuggestionSearchText(const SuggestionsModel& model) {
    return model.activeTagSuggestionSearchText_;
  }
};

}  // namespace lorvex
