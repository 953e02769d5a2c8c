// The inspector's tag groups: character tags from the captions, prompt tags without the character
// tags (by tag key: case and whitespace variants), without blank ones and with repeats kept; and
// the chips' identifiers for repeated tags.
#include "ui/detail/image_filter_tag_lists.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "model/prompt_tags.h"
#include "ui/common/accessibility_identifiers.h"

namespace lorvex::ui {
namespace {

using Tags = std::vector<std::string>;

TEST(ImageFilterTagListsTest, TagKeysTrimCollapseAndLowercase) {
  struct Case {
    const char* text;
    const char* key;
  };
  const std::vector<Case> cases = {
      {"Long  Hair ", "long hair"},
      {"\u3000Blue\tEyes\n", "blue eyes"},  // ideographic space and a tab are whitespace too
      {"   ", ""},
      {"\u00C9T\u00C9", "\u00E9t\u00E9"},  // beyond ASCII
      {"A\u00A0B", "a b"},                 // no-break space is White_Space
  };
  for (const auto& c : cases) EXPECT_EQ(filterTagKey(c.text), c.key) << c.text;
}

TEST(ImageFilterTagListsTest, GroupsKeepCharacterTagsOutOfThePromptTags) {
  struct Case {
    const char* name;
    std::vector<CharacterCaption> captions;
    Tags promptTags;
    Tags characterTags;
    Tags expectedPromptTags;
  };
  const std::vector<Case> cases = {
      {"no captions", {}, {"1girl", "solo"}, {}, {"1girl", "solo"}},
      {"case and whitespace variants of a character tag go",
       {{"long hair, blue eyes", {}}},
       {"Long  Hair ", "BLUE EYES", "smile"},
       {"long hair", "blue eyes"},
       {"smile"}},
      {"whitespace-only prompt tags go", {}, {" ", "\n\t", "", "cat"}, {}, {"cat"}},
      {"repeated prompt tags stay, each spelling as stored",
       {},
       {"cat", "Cat", "cat"},
       {},
       {"cat", "Cat", "cat"}},
      {"captions are split and deduplicated ignoring case, first spelling kept",
       {{"{Red Hair}, 1.2::smile::", {}}, {"red hair|frown", {}}},
       {"smile", "frown", "sky"},
       {"Red Hair", "smile", "frown"},
       {"sky"}},
      {"character tags alone", {{"girl", {}}}, {"girl"}, {"girl"}, {}},
  };
  for (const auto& c : cases) {
    ImageRecord record;
    record.metadata.characterCaptions = c.captions;
    record.promptTags = c.promptTags;
    const auto groups = makeImageFilterTagGroups(record);
    EXPECT_EQ(groups.characterTags, c.characterTags) << c.name;
    EXPECT_EQ(groups.promptTags, c.expectedPromptTags) << c.name;
  }
}

TEST(ImageFilterTagListsTest, ChipIdentifiersAreUniqueForRepeatedTags) {
  const Tags tags = {"cat", "dog", "cat", "cat"};
  const auto identifiers = tagChipIdentifiers(tags);
  const std::string cat = "detail.tag." + stableIdentifierHash("cat");
  EXPECT_EQ(identifiers, (Tags{cat, "detail.tag." + stableIdentifierHash("dog"), cat + ".2", cat + ".3"}));
  EXPECT_EQ(std::set<std::string>(identifiers.begin(), identifiers.end()).size(), identifiers.size());
  // The chips of the first tags are named as in the whole list.
  EXPECT_EQ(tagChipIdentifiers(tags, 3), Tags(identifiers.begin(), identifiers.begin() + 3));
}

// Each group lists at most what the library keeps of an image, however many tags the record (stored
// before that bound) or its captions hold; character tags still leave the prompt group first.
TEST(ImageFilterTagListsTest, EachGroupEndsWithTheLibrarysTagBound) {
  const std::size_t bound = kMaximumStoredPromptTagCount;
  ImageRecord record;
  std::string caption;
  for (std::size_t i = 0; i < bound + 500; ++i) {
    caption += "c" + std::to_string(i) + ", ";
    record.promptTags.push_back(i < 10 ? "C" + std::to_string(i) : "p" + std::to_string(i));
  }
  record.metadata.characterCaptions = {{caption, {}}};
  const auto groups = makeImageFilterTagGroups(record);
  ASSERT_EQ(groups.characterTags.size(), bound);
  EXPECT_EQ(groups.characterTags.back(), "c" + std::to_string(bound - 1));
  ASSERT_EQ(groups.promptTags.size(), bound);
  EXPECT_EQ(groups.promptTags.front(), "p10");
  EXPECT_EQ(groups.promptTags.back(), "p" + std::to_string(bound + 9));
}

}  // namespace
}  // namespace lorvex::ui
