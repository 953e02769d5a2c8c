#include "model/tag_suggestion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

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

TagFilterSuggestion rawTag(std::string value, std::int64_t count) {
  return {TagSuggestion{std::move(value), count}};
}
TagFilterSuggestion tagConcept(std::int64_t id, std::string name, std::int64_t count) {
  return {TagConcept{id, std::move(name), count}};
}

// True when `a` is listed before `b`, by the keys the list sorts with.
bool precedes(const TagFilterSuggestion& a, const TagFilterSuggestion& b) {
  return TagFilterSuggestionOrderKey(a) < TagFilterSuggestionOrderKey(b);
}

TEST(TagSuggestionTest, ListOrder) {
  const struct {
    const char* name;
    TagFilterSuggestion a;
    TagFilterSuggestion b;
    bool aFirst;
    bool bFirst;
  } rows[] = {
      {"the larger count first, whatever the kind", rawTag("cat", 12), tagConcept(1, "Animals", 5), true,
       false},
      {"same count: labels ignoring case", rawTag("apple", 3), rawTag("Banana", 3), true, false},
      {"labels by code point, not by a language's collation", rawTag("Zebra", 3), rawTag("\u00F8re", 3), true,
       false},
      {"decomposed, an accented letter sorts before the next letter", rawTag("\u00C9t\u00E9", 3),
       rawTag("fall", 3), true, false},
      {"Japanese by code point", rawTag("\u732B", 2), rawTag("\u72AC", 2), false, true},
      {"same label ignoring case: the raw tag first", rawTag("Cat", 5), tagConcept(9, "cat", 5), true, false},
      {"full case folding counts as the same label", tagConcept(1, "STRASSE", 5), rawTag("Stra\u00DFe", 5),
       false, true},
      {"two raw tags alike: lower-cased labels", rawTag("strasse", 4), rawTag("Stra\u00DFe", 4), true, false},
      {"two concepts alike: the smaller id first", tagConcept(3, "Dog", 4), tagConcept(7, "Dog", 4), true,
       false},
      {"raw tags differing only in case: neither", rawTag("Dog", 4), rawTag("dog", 4), false, false},
      {"composed and decomposed: neither", rawTag("caf\u00E9", 4), rawTag("cafe\u0301", 4), false, false},
      {"no width folding", rawTag("\uFF23\uFF21\uFF34", 1), rawTag("cat", 1), false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(precedes(row.a, row.b), row.aFirst);
    EXPECT_EQ(precedes(row.b, row.a), row.bFirst);
  }
}

// Random rows over labels that meet in every rule (case, folding, composition, width, scripts),
// few counts and few ids, so that ties reach the later rules often.
std::vector<TagFilterSuggestion> randomRows(std::size_t count, std::uint32_t seed) {
  const std::vector<std::string> labels = {
      "cat",
      "Cat",
      "CAT",
      "\uFF23\uFF21\uFF34",
      "Stra\u00DFe",
      "STRASSE",
      "strasse",
      "caf\u00E9",
      "cafe\u0301",
      "CAF\u00C9",
      "\u039F\u0394\u039F\u03A3",
      "\u03BF\u03B4\u03BF\u03C3",
      "\u03BF\u03B4\u03BF\u03C2",
      "\u0131",
      "I",
      "i",
      "\u732B",
      "\u732B\u8033",
      "\u30CD\u30B3",
      "dog",
      "Dog",
      "blue hair",
      "Blue Hair",
      "",
  };
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> label(0, labels.size() - 1);
  std::uniform_int_distribution<int> small(0, 3);
  std::vector<TagFilterSuggestion> rows;
  for (std::size_t i = 0; i < count; ++i) {
    if (small(random) == 0) {
      rows.push_back(tagConcept(small(random), labels[label(random)], small(random)));
    } else {
      rows.push_back(rawTag(labels[label(random)], small(random)));
    }
  }
  return rows;
}

TEST(TagSuggestionTest, TheOrderIsAStrictWeakOrder) {
  const auto rows = randomRows(2000, 20240611);
  std::vector<TagFilterSuggestionOrderKey> keys;
  for (const auto& row : rows) keys.emplace_back(row);
  const auto less = [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; };
  const auto equivalent = [&](std::size_t a, std::size_t b) { return !less(a, b) && !less(b, a); };
  for (std::size_t a = 0; a < rows.size(); ++a) {
    ASSERT_FALSE(less(a, a));
    for (std::size_t b = 0; b < rows.size(); ++b) {
      if (less(a, b)) {
        ASSERT_FALSE(less(b, a)) << a << " " << b;
      }
    }
  }
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> pick(0, rows.size() - 1);
  for (int trial = 0; trial < 200'000; ++trial) {
    const std::size_t a = pick(random), b = pick(random), c = pick(random);
    if (less(a, b) && less(b, c)) {
      ASSERT_TRUE(less(a, c)) << a << " " << b << " " << c;
    }
    if (equivalent(a, b) && equivalent(b, c)) {
      ASSERT_TRUE(equivalent(a, c)) << a << " " << b << " " << c;
    }
  }
}

TEST(TagSuggestionTest, SortingKeepsEquivalentRowsInTheirOrder) {
  const auto rows = randomRows(2000, 99);
  auto sorted = rows;
  sortTagFilterSuggestions(sorted);
  ASSERT_EQ(sorted.size(), rows.size());
  // Tag each row with its first position so that equal rows are told apart.
  std::vector<std::size_t> positions;
  std::vector<bool> used(rows.size(), false);
  for (const auto& row : sorted) {
    std::size_t at = 0;
    while (used[at] || !(rows[at] == row)) ++at;
    used[at] = true;
    positions.push_back(at);
  }
  for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
    ASSERT_FALSE(precedes(sorted[i + 1], sorted[i])) << i;
    if (!precedes(sorted[i], sorted[i + 1])) {
      ASSERT_LT(positions[i], positions[i + 1]) << i;
    }
  }
}

}  // namespace
}  // namespace lorvex
