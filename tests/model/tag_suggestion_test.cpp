#include "model/tag_suggestion.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace lorvex {
namespace {

using ID = TagFilterSuggestionID;

TEST(TagSuggestionTest, RawTagIdentityIgnoresCaseButEqualityDoesNot) {
  const TagFilterSuggestion upper{TagSuggestion{"Blue Hair", 3}};
  const TagFilterSuggestion lower{TagSuggestion{"blue hair", 3}};
  EXPECT_EQ(upper.id(), lower.id());
  EXPECT_EQ(upper.id(), ID::rawTag("blue hair"));
  EXPECT_NE(upper, lower);

  const TagFilterSuggestion accented{TagSuggestion{"ÉCOLE", 1}};
  EXPECT_EQ(accented.id(), ID::rawTag("école"));
}

TEST(TagSuggestionTest, ConceptIdentitySurvivesARename) {
  const TagFilterSuggestion before{TagConcept{42, "Blue", 5}};
  const TagFilterSuggestion after{TagConcept{42, "Azure", 5}};
  EXPECT_EQ(before.id(), after.id());
  EXPECT_EQ(before.id(), ID::tagConcept(42));
  EXPECT_NE(before, after);
  EXPECT_NE((TagFilterSuggestion{TagConcept{42, "Blue", 5}}),
            (TagFilterSuggestion{TagConcept{42, "Blue", 6}}));
}

TEST(TagSuggestionTest, RawTagAndConceptNeverMeet) {
  EXPECT_NE(ID::rawTag("1"), ID::tagConcept(1));
  EXPECT_NE(ID::rawTag(""), ID::tagConcept(0));
  EXPECT_NE((TagFilterSuggestion{TagSuggestion{"x", 0}}), (TagFilterSuggestion{TagConcept{0, "x", 0}}));
  std::unordered_set<ID> ids{ID::rawTag("a"), ID::tagConcept(1), ID::rawTag("a"), ID::tagConcept(1)};
  EXPECT_EQ(ids.size(), 2u);
}

TEST(TagSuggestionTest, AliasesAndAssignmentsAreSetMembersByBothFields) {
  std::unordered_set<TagConceptAlias> aliases{
      {1, "blue hair"}, {2, "blue hair"}, {1, "blue hair"}, {1, "Blue hair"}};
  EXPECT_EQ(aliases.size(), 3u);
  std::unordered_set<TagConceptManualAssignment> assignments{{1, "/a.png"}, {1, "/a.png"}, {1, "/b.png"}};
  EXPECT_EQ(assignments.size(), 2u);
}

TEST(TagSuggestionTest, SuggestionsAreIdentifiedByTheirExactValue) {
  const TagSuggestion a{"cat", 1};
  const TagSuggestion b{"cat", 2};
  EXPECT_EQ(a.id(), b.id());
  EXPECT_NE(a, b);
  EXPECT_NE((ModelSuggestion{"NovelAI", 1}).id(), (ModelSuggestion{"novelai", 1}).id());
}

}  // namespace
}  // namespace lorvex
