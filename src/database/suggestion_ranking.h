// How tag suggestions are filtered and ordered: localized, case-insensitive text comparison and
// containment (an ICU collator of the user's locale at secondary strength, so letter case is
// ignored and accents are not), and the final ranking by image count.
//
// Thread safety: pure functions; each call uses its own collator.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/tag_suggestion.h"

namespace lorvex::search {

// <0, 0 or >0 as `a` sorts before, with or after `b` ignoring letter case.
int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b);

// Whether `text` contains `search` ignoring letter case; an empty search is contained in anything.
bool localizedCaseInsensitiveContains(std::string_view text, std::string_view search);

// Highest image count first; equal counts by value ignoring case, then by plain byte order; cut to
// max(limit, 0) entries.
std::vector<TagSuggestion> rankedTagSuggestions(std::vector<TagSuggestion> suggestions, std::int64_t limit);

}  // namespace lorvex::search
