#include "database/internal/tag_keys.h"

#include <unordered_set>

#include "model/image_tag_source_mask.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex {

std::optional<std::string> tagKey(std::string_view tag) {
  auto collapsed = text::normalizedWhitespace(tag);
  if (!collapsed) return std::nullopt;
  return text::nfc(text::lowercased(*collapsed));
}

std::vector<std::string> normalizedTagKeys(const std::vector<std::string>& tags) {
  std::vector<std::string> keys;
  std::unordered_set<std::string> seen;
  keys.reserve(tags.size());
  for (const auto& tag : tags) {
    auto key = tagKey(tag);
    if (!key || !seen.insert(*key).second) continue;
    keys.push_back(std::move(*key));
  }
  return keys;
}

std::string tagSearchText(std::string_view key, std::string_view displayName) {
  std::string joined(key);
  joined += ' ';
  joined += displayName;
  return text::lowercased(joined);
}

std::string_view tagSourceRole(std::int64_t sourceMask) {
  const ImageTagSourceMask mask(sourceMask);
  const ImageTagSourceMask both{ImageTagSourceMask::prompt, ImageTagSourceMask::character};
  if (mask.contains(both)) return "prompt+character";
  if (mask.contains(ImageTagSourceMask::character)) return "character";
  return "prompt";
}

}  // namespace lorvex
