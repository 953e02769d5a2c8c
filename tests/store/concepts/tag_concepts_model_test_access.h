// How tests reach what TagConceptsModel keeps to itself: the generations that drop stale answers,
// and the fields only its own flows set, for arranging a state without running those flows.
#pragma once

#include <cstdint>
#include <map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "store/concepts/tag_concepts_model.h"

namespace lorvex {

struct TagConceptsModelTestAccess {
  static int tagConceptGeneration(const TagConceptsModel& model) { return model.tagConceptGeneration_; }
  static const std::map<std::int64_t, int>& tagConceptAliasGenerations(const TagConceptsModel& model) {
    return model.tagConceptAliasGenerations_;
  }
  static int manualTagConceptAssignmentGeneration(const TagConceptsModel& model) {
    return model.manualTagConceptAssignmentGeneration_;
  }

  static void setTagConceptAliasesByID(TagConceptsModel& model,
                                       std::map<std::int64_t, std::vector<TagConceptAlias>> value) {
    model.setTagConceptAliasesByID(std::move(value));
  }
  static void setManualTagConceptAssignments(TagConceptsModel& model,
                                             std::unordered_set<TagConceptManualAssignment> value) {
    model.setManualTagConceptAssignments(std::move(value));
  }
  static void setManualTagConceptAssignmentScopePaths(TagConceptsModel& model, PathSet value) {
    model.setManualTagConceptAssignmentScopePaths(std::move(value));
  }
  static void setIsTagConceptMutationInProgress(TagConceptsModel& model, bool value) {
    model.setIsTagConceptMutationInProgress(value);
  }
};

}  // namespace lorvex
