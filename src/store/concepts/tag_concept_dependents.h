// TagConceptDependents: what a concept change asks of the features that show concepts without
// owning them: the filter sidebar's concept suggestions, and the results a concept filter limits.
// The composition supplies it; the concepts model never reads those features' fields.
//
// Thread safety: the creating thread only (the main thread).
#pragma once

#include <qcoro/qcorotask.h>

#include <optional>
#include <string>
#include <vector>

#include "model/tag_concept.h"

namespace lorvex {

// The concept suggestions a mutation's read-back may replace: the suggestion load generation it
// took, and the text those suggestions are for.
struct TagConceptSuggestionClaim {
  int generation = 0;
  std::optional<std::string> searchText;
};

class TagConceptDependents {
 public:
  virtual ~TagConceptDependents() = default;

  // Outdates every suggestion load in flight (it may have read the library before the change) and
  // ends their loading state; says what the read-back must re-read.
  virtual TagConceptSuggestionClaim claimTagConceptSuggestions() = 0;
  // Shows the read-back's suggestions, unless a suggestion load started after `claim` took them.
  virtual void applyClaimedTagConceptSuggestions(const TagConceptSuggestionClaim& claim,
                                                 std::vector<TagConcept> suggestions) = 0;
  // An alias or a hand assignment changed which images a concept covers: a fresh first page.
  virtual QCoro::Task<void> refreshResultsAfterTagConceptChange() = 0;
};

}  // namespace lorvex
