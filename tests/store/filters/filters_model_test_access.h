// How tests (and the screen tool's staged scenes) reach what FiltersModel keeps to itself: the
// fields only its own operations set, for arranging a filter state without running a search.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/filters/filters_model.h"

namespace lorvex {

struct FiltersModelTestAccess {
  static void setSelection(FiltersModel& model, FilterSelection value) {
    model.setSelection(std::move(value));
  }
  static void setOnlyFavorites(FiltersModel& model, bool value) {
    model.setSelectionField(&FilterSelection::onlyFavorites, value);
  }
  static void setOnlyDeleteCandidates(FiltersModel& model, bool value) {
    model.setSelectionField(&FilterSelection::onlyDeleteCandidates, value);
  }
  static void setSearchSort(FiltersModel& model, ImageSearchSort value) { model.setSearchSort(value); }
  static void setSavedFilterTags(FiltersModel& model, std::vector<std::string> value) {
    model.setSavedFilterTags(std::move(value));
  }
  static void setSelectedFilterTags(FiltersModel& model, std::vector<std::string> value) {
    model.setSelectionField(&FilterSelection::selectedFilterTags, std::move(value));
  }
  static void setSelectedTagConcepts(FiltersModel& model, std::vector<TagConcept> value) {
    model.setSelectionField(&FilterSelection::selectedTagConcepts, std::move(value));
  }
  static void setSelectedAspectFilters(FiltersModel& model, std::vector<ImageAspectFilter> value) {
    model.setSelectionField(&FilterSelection::selectedAspectFilters, std::move(value));
  }
  static void setCharacterSearchHistory(FiltersModel& model, std::vector<std::string> value) {
    model.setCharacterSearchHistory(std::move(value));
  }
};

}  // namespace lorvex
