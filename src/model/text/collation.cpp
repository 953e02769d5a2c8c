#include "model/text/collation.h"

#include <unicode/coll.h>
#include <unicode/stsearch.h>
#include <unicode/unistr.h>

#include <string>

#include "model/text/unicode.h"

namespace lorvex::text {

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

}  // namespace

CaseInsensitiveCollator::CaseInsensitiveCollator() : collator_(secondaryCollator()) {}
CaseInsensitiveCollator::~CaseInsensitiveCollator() = default;

int CaseInsensitiveCollator::compare(std::string_view a, std::string_view b) const {
  if (collator_ == nullptr) return lowercased(a).compare(lowercased(b));
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult result =
      collator_->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                             icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
  if (U_FAILURE(status)) return lowercased(a).compare(lowercased(b));
  return static_cast<int>(result);
}

int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b) {
  return CaseInsensitiveCollator().compare(a, b);
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
  return lowercased(text).find(lowercased(search)) != std::string::npos;
}

}  // namespace lorvex::text
