#include "database/suggestion_ranking.h"

#include <unicode/coll.h>
#include <unicode/stsearch.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <string_view>

#include "model/text/unicode.h"

namespace lorvex::search {

namespace {

icu::UnicodeString utf16(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

// A collator of the user's locale that ignores letter case; null when ICU cannot make one, in which
// case the callers fall back to comparing lower-cased texts.
std::unique_ptr<icu::Collator> secondaryCollator() {
  UErrorCode status = U_ZERO_ERROR;
  // A process started with the C locale gets ICU's "en_US_POSIX", whose collation is byte order
  // (every capital before every small letter); such a user has chosen no language, so the root
  // collation stands in.
  icu::Locale locale = icu::Locale::getDefault();
  if (std::string_view(locale.getVariant()) == "POSIX") locale = icu::Locale::getRoot();
  std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
  if (U_FAILURE(status) || !collator) return nullptr;
  collator->setStrength(icu::Collator::SECONDARY);
  return collator;
}

int compareWith(const icu::Collator* collator, std::string_view a, std::string_view b) {
  if (collator == nullptr) return text::lowercased(a).compare(text::lowercased(b));
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult result =
      collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                            icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
  if (U_FAILURE(status)) return text::lowercased(a).compare(text::lowercased(b));
  return static_cast<int>(result);
}

}  // namespace

int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b) {
  const auto collator = secondaryCollator();
  return compareWith(collator.get(), a, b);
}

bool localizedCaseInsensitiveContains(std::string_view text, std::string_view search) {
  if (search.empty()) return true;
  if (text.empty()) return false;
  auto collator = secondaryCollator();
  if (collator) {
    UErrorCode status = U_ZERO_ERROR;
    auto* ruleBased = dynamic_cast<icu::RuleBasedCollator*>(collator.get());
    if (ruleBased != nullptr) {
      icu::StringSearch searcher(utf16(search), utf16(text), ruleBased, nullptr, status);
      if (U_SUCCESS(status)) {
        const int32_t found = searcher.first(status);
        if (U_SUCCESS(status)) return found != USEARCH_DONE;
      }
    }
  }
  return text::lowercased(text).find(text::lowercased(search)) != std::string::npos;
}

std::vector<TagSuggestion> rankedTagSuggestions(std::vector<TagSuggestion> suggestions, std::int64_t limit) {
  const auto collator = secondaryCollator();
  std::sort(suggestions.begin(), suggestions.end(), [&](const TagSuggestion& a, const TagSuggestion& b) {
    if (a.imageCount != b.imageCount) return a.imageCount > b.imageCount;
    if (const int order = compareWith(collator.get(), a.value, b.value); order != 0) return order < 0;
    return a.value < b.value;
  });
  const auto keep = static_cast<std::size_t>(std::max<std::int64_t>(limit, 0));
  if (suggestions.size() > keep) suggestions.resize(keep);
  return suggestions;
}

}  // namespace lorvex::search
