#include "ui/detail/image_filter_tag_lists.h"

#include <algorithm>
#include <unordered_set>

#include "model/prompt_tags.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"
#include "ui/common/accessibility_identifiers.h"

namespace lorvex::ui {

std::string filterTagKey(std::string_view tag) {
  const auto normalized = text::normalizedWhitespace(tag);
  return normalized ? text::lowercased(*normalized) : std::string();
}

std::vector<std::string> imageCharacterTags(const GenerationMetadata& metadata) {
  return displayPromptTags(metadata.characterCaptions, kMaximumStoredPromptTagCount);
}

std::vector<std::string> imagePromptTags(const std::vector<std::string>& promptTags,
                                         const std::vector<std::string>& characterTags) {
  std::unordered_set<std::string> characterKeys;
  for (const auto& tag : characterTags) characterKeys.insert(filterTagKey(tag));
  std::vector<std::string> result;
  for (const auto& tag : promptTags) {
    if (result.size() == kMaximumStoredPromptTagCount) break;
    const std::string key = filterTagKey(tag);
    if (key.empty() || characterKeys.contains(key)) continue;
    result.push_back(tag);
  }
  return result;
}

ImageFilterTagGroups makeImageFilterTagGroups(const ImageRecord& record) {
  ImageFilterTagGroups groups;
  groups.characterTags = imageCharacterTags(record.metadata);
  groups.promptTags = imagePromptTags(record.promptTags, groups.characterTags);
  return groups;
}

std::vector<std::string> tagChipIdentifiers(const std::vector<std::string>& tags, std::size_t count) {
  count = std::min(count, tags.size());
  std::vector<std::string> identifiers;
  identifiers.reserve(count);
  std::unordered_set<std::string> seen;
  for (std::size_t i = 0; i < count; ++i) {
    std::string identifier = "detail.tag." + stableIdentifierHash(tags[i]);
    if (!seen.insert(identifier).second) identifier += "." + std::to_string(i);
    identifiers.push_back(std::move(identifier));
  }
  return identifiers;
}

}  // namespace lorvex::ui
