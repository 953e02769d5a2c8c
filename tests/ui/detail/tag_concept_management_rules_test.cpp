// The tag-concept panel's rules: the selection kept valid as the list changes, the rename field's
// text, the mutation controls' gates, and the keyed load's equality and hash.
#include "ui/detail/tag_concept_management_rules.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lorvex::ui {
namespace {

const std::vector<TagConcept> kConcepts = {{7, "Cats", 12}, {3, "Dogs", 4}, {9, "Birds", 0}};

TEST(TagConceptManagementRulesTest, SelectionStaysValidAndFeedsTheRenameField) {
  struct Case {
    const char* name;
    std::optional<std::int64_t> selected;
    std::vector<TagConcept> concepts;
    std::optional<std::int64_t> kept;
    const char* renameText;
  };
  const std::vector<Case> cases = {
      {"a listed selection stays", 3, kConcepts, 3, "Dogs"},
      {"a vanished selection becomes the first", 42, kConcepts, 7, "Cats"},
      {"no selection becomes the first", std::nullopt, kConcepts, 7, "Cats"},
      {"an empty list clears it", 3, {}, std::nullopt, ""},
      {"no selection and no concepts", std::nullopt, {}, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    const auto kept = keepValidTagConceptSelection(c.selected, c.concepts);
    EXPECT_EQ(kept, c.kept) << c.name;
    EXPECT_EQ(tagConceptRenameFieldText(kept, c.concepts), c.renameText) << c.name;
  }
  // The first element with the id wins when a list holds it twice.
  const std::vector<TagConcept> twice = {{5, "First", 1}, {5, "Second", 2}};
  ASSERT_NE(selectedTagConcept(5, twice), nullptr);
  EXPECT_EQ(selectedTagConcept(5, twice)->displayName, "First");
  EXPECT_EQ(selectedTagConcept(std::nullopt, twice), nullptr);
}

TEST(TagConceptManagementRulesTest, ControlsFollowTheTextsAndTheMutationFlag) {
  const TagConcept cats{7, "Cats", 12};
  using States = TagConceptManagementControlStates;
  struct Case {
    const char* name;
    TagConceptManagementInputs inputs;
    States expected;
  };
  const std::vector<Case> cases = {
      {"texts typed", {false, "Birds", "Kitties", "kitten", &cats}, {true, true, true, true, true}},
      {"blank texts", {false, " \n\t", "  ", "\u3000", &cats}, {false, false, false, true, true}},
      {"a rename equal to the name once normalised",
       {false, "", "  Cats ", "", &cats},
       {false, false, false, true, true}},
      {"a rename differing only in case", {false, "", "cats", "", &cats}, {false, true, false, true, true}},
      {"inner whitespace collapses before comparing",
       {false, "", "Ca\tts", "", &cats},
       {false, true, false, true, true}},
      {"no concept selected", {false, "x", "Cats", "y", nullptr}, {true, false, true, true, true}},
      {"a mutation running turns every one off", {true, "Birds", "Kitties", "kitten", &cats}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(tagConceptManagementControlStates(c.inputs), c.expected) << c.name;
}

TEST(TagConceptManagementRulesTest, LoadIdentityComparesIdPresenceAndPathsInOrder) {
  using ID = TagConceptAssignmentLoadID;
  const std::hash<ID> hash;
  struct Case {
    const char* name;
    ID a;
    ID b;
    bool equal;
  };
  const std::vector<Case> cases = {
      {"both absent, no paths", {std::nullopt, {}}, {std::nullopt, {}}, true},
      {"same id and paths", {3, {"/a", "/b"}}, {3, {"/a", "/b"}}, true},
      {"absent and present", {std::nullopt, {"/a"}}, {0, {"/a"}}, false},
      {"other id", {3, {"/a"}}, {4, {"/a"}}, false},
      {"paths in another order", {3, {"/a", "/b"}}, {3, {"/b", "/a"}}, false},
      {"a path more", {3, {"/a"}}, {3, {"/a", "/a"}}, false},
      {"paths that join to the same text", {3, {"/a", "b"}}, {3, {"/ab"}}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a == c.b, c.equal) << c.name;
    if (c.equal) {
      EXPECT_EQ(hash(c.a), hash(c.b)) << c.name;
    } else {
      // Not required of a hash in general, but these neighbours must not collide: the presence,
      // the count and each path are fed apart.
      EXPECT_NE(hash(c.a), hash(c.b)) << c.name;
    }
  }
}

}  // namespace
}  // namespace lorvex::ui
