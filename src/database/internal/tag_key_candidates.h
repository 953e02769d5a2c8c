// The stored tag keys a tag typed by the user may name: its own key, then, when the text holds a
// weighted Stable Diffusion group such as "(blue eyes:1.2)", the tags inside it, and finally the
// typed text itself when it differs from every other candidate in more than letter case. Filter
// tags of a search, tag suggestions and tag-concept aliases look tags up by these candidates.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

// The candidates of one typed tag, in order, without duplicates (exact comparison); empty for an
// empty or whitespace-only tag.
std::vector<std::string> tagKeyCandidates(std::string_view tag);

// Whether two texts are equal ignoring letter case (full Unicode case folding).
bool equalIgnoringCase(std::string_view a, std::string_view b);

}  // namespace lorvex
