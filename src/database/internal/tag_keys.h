// Tag keys: how a tag text is compared in the library. The key of a tag is the tag trimmed, its
// inner whitespace runs collapsed to one space and lower-cased (in NFC); tag_terms rows are unique
// by it. Also the search text and role text stored with a tag.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

// Trimmed, whitespace runs collapsed to one space, lower-cased; nothing when empty.
std::optional<std::string> tagKey(std::string_view tag);

// The key of every input in order, empty ones and later duplicates dropped.
std::vector<std::string> normalizedTagKeys(const std::vector<std::string>& tags);

// lowercase(key + " " + displayName).
std::string tagSearchText(std::string_view key, std::string_view displayName);

// "prompt", "character" or "prompt+character" from the two low bits of a source mask.
std::string_view tagSourceRole(std::int64_t sourceMask);

}  // namespace lorvex
