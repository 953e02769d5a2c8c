// The final ranking of tag suggestions: by image count, then by value as a person reads it
// (text::CaseInsensitiveCollator), then by bytes.
//
// Thread safety: pure functions; each call uses its own collator.
#pragma once

#include <cstdint>
#include <vector>

#include "model/tag_suggestion.h"

namespace lorvex::search {

// Highest image count first; equal counts by value ignoring case, then by plain byte order; cut to
// max(limit, 0) entries.
std::vector<TagSuggestion> rankedTagSuggestions(std::vector<TagSuggestion> suggestions, std::int64_t limit);

}  // namespace lorvex::search
