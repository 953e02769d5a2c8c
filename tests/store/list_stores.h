// Filter-tag and character-exclusion stores kept in memory, for building stores in tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "services/user_defaults_character_suggestion_exclusion_store.h"
#include "services/user_defaults_filter_tag_store.h"

namespace lorvex::testing {

class ListFilterTagStore final : public FilterTagPersisting {
 public:
  explicit ListFilterTagStore(std::vector<std::string> tags = {}) : tags_(std::move(tags)) {}
  std::vector<std::string> loadFilterTags() const override { return tags_; }
  void saveFilterTags(const std::vector<std::string>& tags) override { tags_ = tags; }

 private:
  std::vector<std::string> tags_;
};

class ListExclusionStore final : public CharacterSuggestionExclusionPersisting {
 public:
  explicit ListExclusionStore(std::vector<std::string> exclusions = {})
      : exclusions_(std::move(exclusions)) {}
  std::vector<std::string> loadExclusions() const override { return exclusions_; }
  void saveExclusions(const std::vector<std::string>& exclusions) override { exclusions_ = exclusions; }

 private:
  std::vector<std::string> exclusions_;
};

}  // namespace lorvex::testing
