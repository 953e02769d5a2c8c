// Localized, case-insensitive comparison and containment of user-visible text: an ICU collator of
// the user's locale at secondary strength, so letter case is ignored and accents are not. Lists a
// person reads (suggestions, exclusions) are ordered with it.
//
// Thread safety: a CaseInsensitiveCollator is used by one thread at a time; the free functions make
// their own.
#pragma once

#include <unicode/coll.h>

#include <memory>
#include <string_view>

namespace lorvex::text {

// One collator for many comparisons (sorting a list); falls back to comparing lower-cased texts
// when ICU cannot make one.
class CaseInsensitiveCollator {
 public:
  CaseInsensitiveCollator();
  ~CaseInsensitiveCollator();
  CaseInsensitiveCollator(const CaseInsensitiveCollator&) = delete;
  CaseInsensitiveCollator& operator=(const CaseInsensitiveCollator&) = delete;

  // <0, 0 or >0 as `a` sorts before, with or after `b` ignoring letter case.
  int compare(std::string_view a, std::string_view b) const;

 private:
  std::unique_ptr<icu::Collator> collator_;
};

// <0, 0 or >0 as `a` sorts before, with or after `b` ignoring letter case.
int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b);

// Whether `text` contains `search` ignoring letter case; an empty search is contained in anything.
bool localizedCaseInsensitiveContains(std::string_view text, std::string_view search);

}  // namespace lorvex::text
