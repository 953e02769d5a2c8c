#include "model/tag_suggestion.h"

#include "model/text/unicode.h"

namespace lorvex {

TagFilterSuggestionID TagFilterSuggestion::id() const {
  if (const auto* tag = std::get_if<TagSuggestion>(&value)) {
    return TagFilterSuggestionID::rawTag(text::lowercased(tag->value));
  }
  return TagFilterSuggestionID::tagConcept(std::get<TagConcept>(value).id);
}

}  // namespace lorvex
