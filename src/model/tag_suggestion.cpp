#include "model/tag_suggestion.h"

#include <algorithm>
#include <cstddef>
#include <tuple>
#include <utility>

#include "model/text/unicode.h"

namespace lorvex {

TagFilterSuggestionID TagFilterSuggestion::id() const {
  if (const auto* tag = std::get_if<TagSuggestion>(&value)) {
    return TagFilterSuggestionID::rawTag(text::lowercased(tag->value));
  }
  return TagFilterSuggestionID::tagConcept(std::get<TagConcept>(value).id);
}

const std::string& TagFilterSuggestion::label() const {
  if (const auto* tag = std::get_if<TagSuggestion>(&value)) return tag->value;
  return std::get<TagConcept>(value).displayName;
}

std::int64_t TagFilterSuggestion::imageCount() const {
  if (const auto* tag = std::get_if<TagSuggestion>(&value)) return tag->imageCount;
  return std::get<TagConcept>(value).imageCount;
}

TagFilterSuggestionOrderKey::TagFilterSuggestionOrderKey(const TagFilterSuggestion& row)
    : imageCount(row.imageCount()),
      caselessLabel(text::caselessKey(row.label())),
      isTagConcept(row.isTagConcept()) {
  if (isTagConcept) {
    conceptID = std::get<TagConcept>(row.value).id;
  } else {
    lowercasedLabel = text::nfc(text::lowercased(row.label()));
  }
}

bool operator<(const TagFilterSuggestionOrderKey& a, const TagFilterSuggestionOrderKey& b) {
  // The counts change sides so that the larger one sorts first. The field a kind leaves unused is
  // equal between rows of that kind, so one tuple serves both kinds.
  return std::forward_as_tuple(b.imageCount, a.caselessLabel, a.isTagConcept, a.lowercasedLabel,
                               a.conceptID) <
         std::forward_as_tuple(a.imageCount, b.caselessLabel, b.isTagConcept, b.lowercasedLabel, b.conceptID);
}

void sortTagFilterSuggestions(std::vector<TagFilterSuggestion>& rows) {
  std::vector<std::pair<TagFilterSuggestionOrderKey, std::size_t>> keyed;
  keyed.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) keyed.emplace_back(TagFilterSuggestionOrderKey(rows[i]), i);
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<TagFilterSuggestion> sorted;
  sorted.reserve(rows.size());
  for (const auto& entry : keyed) sorted.push_back(std::move(rows[entry.second]));
  rows = std::move(sorted);
}

}  // namespace lorvex
