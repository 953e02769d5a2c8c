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
  static void setOnlyFavorites(FiltersModel& model, bool value) { model.setOnlyFavorites(value); }
  static void setOnlyDeleteCandidates(FiltersModel& model, bool value) {
    model.setOnlyDeleteCandidates(value);
  }
  static void setSearchSort(FiltersModel& model, ImageSearchSort value) { model.setSearchSort(value); }
  static void setSavedFilterTags(FiltersModel& model, std::vector<std::string> value) {
    model.setSavedFilterTags(std::move(value));
  }
  static void setSelectedFilterTags(FiltersModel& model, std::vector<std::string> value) {
    model.setSelectedFilterTags(std::move(value));
  }
  static void setSelectedTagConcepts(FiltersModel& model, std::vector<TagConcept> value) {
    model.setSelectedTagConcepts(std::move(value));
  }
  static void setSelectedAspectFilters(FiltersModel& model, std::vector<ImageAspectFilter> value) {
    model.setSelectedAspectFilters(std::move(value));
  }
  static void setCharacterSearchHistory(FiltersModel& model, std::vector<std::string> value) {
    model.setCharacterSearchHistory(std::move(value));
  }
};

}  // namespace lorvex
