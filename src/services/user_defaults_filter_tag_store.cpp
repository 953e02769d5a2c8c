#include "services/user_defaults_filter_tag_store.h"

#include <unordered_set>

#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex {

std::vector<std::string> normalizedFilterTags(const std::vector<std::string>& tags) {
  std::vector<std::string> result;
  std::unordered_set<std::string> seenKeys;
  for (const std::string& tag : tags) {
    std::optional<std::string> normalized = text::normalizedWhitespace(tag);
    if (!normalized) continue;
    // The program's one rule for "the same ignoring case": the store compares its lists by it,
    // and the saved list must not keep two tags the store takes for one.
    if (!seenKeys.insert(text::caselessKey(*normalized)).second) continue;
    result.push_back(std::move(*normalized));
  }
  return result;
}

std::vector<std::string> UserDefaultsFilterTagStore::loadFilterTags() const {
  const auto stored = userDefaults_.stringArray(kFilterTagsKey);
  return stored ? normalizedFilterTags(*stored) : std::vector<std::string>{};
}

std::vector<std::string> storableTexts(const std::vector<std::string>& texts) {
  std::vector<std::string> result;
  result.reserve(texts.size());
  for (const std::string& text : texts)
    result.push_back(text::isValidUTF8(text) ? text : text::repairedUTF8(text));
  return result;
}

void UserDefaultsFilterTagStore::saveFilterTags(const std::vector<std::string>& tags) {
  userDefaults_.setStringArray(kFilterTagsKey, normalizedFilterTags(storableTexts(tags)));
}

}  // namespace lorvex
