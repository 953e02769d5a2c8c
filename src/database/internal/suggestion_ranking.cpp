#include "database/internal/suggestion_ranking.h"

#include <algorithm>

#include "model/text/collation.h"

namespace lorvex::search {

std::vector<TagSuggestion> rankedTagSuggestions(std::vector<TagSuggestion> suggestions, std::int64_t limit) {
  const text::CaseInsensitiveCollator collator;
  std::sort(suggestions.begin(), suggestions.end(), [&](const TagSuggestion& a, const TagSuggestion& b) {
    if (a.imageCount != b.imageCount) return a.imageCount > b.imageCount;
    if (const int order = collator.compare(a.value, b.value); order != 0) return order < 0;
    return a.value < b.value;
  });
  const auto keep = static_cast<std::size_t>(std::max<std::int64_t>(limit, 0));
  if (suggestions.size() > keep) suggestions.resize(keep);
  return suggestions;
}

}  // namespace lorvex::search
