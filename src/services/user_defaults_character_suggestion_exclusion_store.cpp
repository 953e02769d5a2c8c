#include "services/user_defaults_character_suggestion_exclusion_store.h"

#include <algorithm>

#include "model/text/collation.h"
#include "services/user_defaults_filter_tag_store.h"

namespace lorvex {

std::vector<std::string> normalizedCharacterSuggestionExclusions(const std::vector<std::string>& exclusions) {
  std::vector<std::string> result = normalizedFilterTags(exclusions);
  std::stable_sort(result.begin(), result.end(), [](const std::string& a, const std::string& b) {
    if (const int order = text::localizedCaseInsensitiveCompare(a, b); order != 0) return order < 0;
    return a < b;
  });
  return result;
}

std::vector<std::string> UserDefaultsCharacterSuggestionExclusionStore::loadExclusions() const {
  const auto stored = userDefaults_.stringArray(kExclusionsKey);
  return stored ? normalizedCharacterSuggestionExclusions(*stored) : std::vector<std::string>{};
}

void UserDefaultsCharacterSuggestionExclusionStore::saveExclusions(
    const std::vector<std::string>& exclusions) {
  userDefaults_.setStringArray(kExclusionsKey,
                               normalizedCharacterSuggestionExclusions(storableTexts(exclusions)));
}

}  // namespace lorvex
