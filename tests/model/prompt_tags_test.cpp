#include "model/prompt_tags.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "model/prompt_token_lists.h"
#include "model/prompt_whitespace.h"
#include "model/stable_diffusion_prompt_attention_normalizer.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex {
namespace {

using Tags = std::vector<std::string>;
using testing::novelAIPromptTokens;
using testing::stableDiffusionPromptTokens;

TEST(PromptTagsTest, ExtractsStableDiffusionTags) {
  const struct {
    std::string prompt;
    Tags tags;
  } cases[] = {
      {"masterpiece, (best quality:1.2), [blurry], <lora:detail:0.8>, (red eyes, smile:1.1), \\(artist\\)",
       {"masterpiece", "best quality", "blurry", "red eyes, smile", "(artist)"}},
      {"(<lora:detail:0.8>:1.1), cat, CAT", {"cat"}},
      {"", {}},
      {" , ,, ", {}},
      {"cat\\", {"cat\\"}},
      {"a, (b, c", {"a", "b, c"}},
      {"Caf\xC3\xA9, cafe\xCC\x81, CAF\xC3\x89", {"caf\xC3\xA9"}},  // canonically equal after lowercasing
      {"\xC4\xB0stanbul", {"i\xCC\x87stanbul"}},                    // root-locale lowercasing
      {"  red \t eyes  ,\r\nsmile", {"red eyes", "smile"}},
  };
  for (const auto& c : cases) EXPECT_EQ(extractPromptTags(c.prompt, true), c.tags) << c.prompt;
}

TEST(PromptTagsTest, ExtractsNovelAITags) {
  const struct {
    std::string prompt;
    Tags tags;
  } cases[] = {
      {"{{1girl}}, 1.2::artist:foo::, Cat|cat, <lora:x:1>", {"1girl", "artist:foo", "cat"}},
      {"2::cat:: -1::dog::", {"cat", "dog"}},
      {"::, 1.5::", {}},
      {"", {}},
      {" , ,, ", {}},
      {"[[bad hands]], {masterpiece}\xE3\x80\x80, \xE7\x8C\xAB\xE8\x80\xB3",
       {"bad hands", "masterpiece", "\xE7\x8C\xAB\xE8\x80\xB3"}},
  };
  for (const auto& c : cases) EXPECT_EQ(extractPromptTags(c.prompt, false), c.tags) << c.prompt;
}

TEST(PromptTagsTest, NormalizesNovelAITokens) {
  const struct {
    std::string token;
    std::optional<std::string> tag;
  } cases[] = {
      {"{{masterpiece}}", "masterpiece"},
      {"[[bad hands]]", "bad hands"},
      {"-2::monochrome::", "monochrome"},
      {"1.2::artist:foo::", "artist:foo"},
      {"{ 1.5::cat:: }", "cat"},
      {"::", std::nullopt},
      {"1.5::", std::nullopt},
      {"{cat]", "cat"},
      {"(cat:1.2)", "(cat:1.2)"},
      {"  ", std::nullopt},
      {"\xEF\xBC\x91::cat::", "cat"},                // fullwidth digit is a decimal digit
      {"\xE4\xBA\x94::cat::", "\xE4\xBA\x94::cat"},  // 五 has a numeric value but is no decimal digit
      {":::cat", ":cat"},
      {"cat:::", "cat:"},
      {"{::{::{::x}}", "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(normalizeNovelAIPromptTag(c.token), c.tag) << c.token;
}

TEST(PromptTagsTest, SplitsNovelAIPrompts) {
  const struct {
    std::string prompt;
    Tags tokens;
  } cases[] = {
      {"2::cat:: -1::dog::", {"2::cat::", "-1::dog::"}},
      {"1.5::cat::0.5::dog::", {"1.5::cat::", "0.5::dog::"}},
      {"cat ::dog", {"cat", "::dog"}},
      {"{cat|dog}", {"{cat", "dog}"}},
      {"1girl", {"1girl"}},
      {"a,,b , ", {"a", "b"}},
      {"| |", {"| |"}},
      {"2::cat:: 1::", {"2::cat:: 1::"}},  // a weight that leaves no tag does not split
  };
  for (const auto& c : cases) EXPECT_EQ(novelAIPromptTokens(c.prompt), c.tokens) << c.prompt;
}

TEST(PromptTagsTest, NormalizesStableDiffusionTokens) {
  const struct {
    std::string token;
    std::string expected;
  } cases[] = {
      {"(best quality:1.2)", "best quality"},
      {"((masterpiece))", "masterpiece"},
      {"[blurry]", "blurry"},
      {"[cat:0.5]", "cat:0.5"},
      {"(cat: 1.5 )", "cat"},
      {"(a:-0.5)", "a"},
      {"(a:.5)", "a"},
      {"(a:1.)", "a"},
      {"(1.5)", "1.5"},
      {"(a:1e5)", "a:1e5"},
      {"(cat", "cat"},
      {"cat)", "cat)"},
      {"\\(artist\\)", "(artist)"},
      {"([cat:1.2)]", "cat"},
      {"(a:\xC2\xBD)", "a"},      // ½ is numeric
      {"(a:\xE4\xBA\x94)", "a"},  // so is 五
      {"(a:1.2.3)", "a:1.2.3"},   // a second "." ends the number
      {"(a:+)", "a:+"},           // a sign alone is no number
      {"(:1)", ""},
      {"\\q(x)", "\\qx"},  // only brackets, commas and backslashes are escaped
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StableDiffusionPromptAttentionNormalizer::normalize(c.token), c.expected) << c.token;
  }
}

TEST(PromptTagsTest, DetectsAttentionGroups) {
  const struct {
    std::string text;
    bool expected;
  } cases[] = {
      {"a, (b:1.2)", true},   {"a, [b:1.2]", false}, {"(b)", false},    {"\\(b:1.2)", false},
      {"((b:1.2))", true},    {"(b:1.2", false},     {"b:1.2)", false}, {"(a) (b: 2 )", true},
      {"(cat: -1.5 )", true}, {"(:1)", true},        {"(1.5)", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StableDiffusionPromptAttentionNormalizer::containsAttentionGroup(c.text), c.expected) << c.text;
  }
}

TEST(PromptTagsTest, SplitsStableDiffusionPromptsAtTopLevelCommas) {
  EXPECT_EQ(stableDiffusionPromptTokens("a, (b, c"), (Tags{"a", "(b, c"}));
  EXPECT_EQ(stableDiffusionPromptTokens("([a, b)], c"), (Tags{"([a, b)]", "c"}));  // ")" closes "(" under "["
  EXPECT_EQ(stableDiffusionPromptTokens("a\\, b, c"), (Tags{"a\\, b", "c"}));
  EXPECT_EQ(stableDiffusionPromptTokens("a,(\xCC\x81, b"),
            (Tags{"a", "(\xCC\x81", "b"}));  // a marked "(" is no bracket
}

TEST(PromptTagsTest, KeepsNovelAITagsAsWrittenAndListsCaptionTags) {
  EXPECT_EQ(testing::novelAIPromptTokenTags("Cat, cat, <lora:x:1>"), (Tags{"Cat", "cat", "<lora:x:1>"}));
  const std::vector<CharacterCaption> captions = {{"Girl, red hair", {}}, {"girl, blue eyes", {}}};
  EXPECT_EQ(displayPromptTags(captions), (Tags{"Girl", "red hair", "blue eyes"}));
  EXPECT_EQ(displayPromptTags({}), Tags{});
}

TEST(PromptTagsTest, CollapsesPromptWhitespace) {
  EXPECT_EQ(collapsePromptWhitespace("  a \r\n\t b\xC2\xA0\xE3\x80\x80 c "), "a b c");
  EXPECT_EQ(collapsePromptWhitespace("\xE3\x80\x80"), "");
}

std::string randomPrompt(std::mt19937& random) {
  // clang-format off
  static const std::vector<std::string> alphabet = {
      "a", "B", "1", "2", ".", ":", "::", "+", "-", ",", "|", "(", ")", "[", "]", "{", "}", "\\", "<", ">", " ",
      "\xC2\xA0", "\xC3\xA9", "e\xCC\x81", "\xE4\xBA\x94", "\xEF\xBC\x91", "\r\n", "\xCE\xA3", "lora"};
  // clang-format on
  std::string prompt;
  const int length = static_cast<int>(random() % 24);
  for (int i = 0; i < length; ++i) prompt += alphabet[random() % alphabet.size()];
  return prompt;
}

// Each cut before "::" used to search the rest of the text for weights again: a megabyte of
// ' ::a' ran for the better part of an hour. Every cut gives its own token.
TEST(PromptTagsTest, SplitsLongRunsOfColonPairsAfterWhitespace) {
  const struct {
    const char* unit;
    const char* tail;
    std::size_t tailTokens;
    const char* last;
  } cases[] = {
      {" ::a", "", 0, "::a"},
      {" ::a", " x1::", 0, "::a x1::"},  // "x1::" is no weight: it follows a letter
      {" :::a", " 2::cat::", 1, "2::cat::"},
  };
  for (const auto& c : cases) {
    std::string prompt;
    std::size_t units = 0;
    while (prompt.size() < 1'000'000) {
      prompt += c.unit;
      ++units;
    }
    prompt += c.tail;
    const Tags tokens = novelAIPromptTokens(prompt);
    ASSERT_EQ(tokens.size(), units + c.tailTokens) << c.unit << c.tail;
    EXPECT_EQ(tokens.front(), text::trimmedWhitespace(c.unit)) << c.unit << c.tail;
    EXPECT_EQ(tokens.back(), c.last) << c.unit << c.tail;
  }
  EXPECT_EQ(extractPromptTags(" ::a ::b ::a 2::cat::", false), (Tags{"a", "b", "cat"}));
}

TEST(PromptTagsTest, PropertiesHoldOnRandomPrompts) {
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    const std::string prompt = randomPrompt(random);
    for (const std::string& token : novelAIPromptTokens(prompt)) {
      const auto once = normalizeNovelAIPromptTag(token);
      if (once) {
        ASSERT_EQ(normalizeNovelAIPromptTag(*once), once) << token;
      }
    }
    for (const bool stableDiffusion : {true, false}) {
      const Tags tags = extractPromptTags(prompt, stableDiffusion);
      std::vector<std::string> keys;
      for (const std::string& tag : tags) {
        ASSERT_FALSE(tag.empty());
        ASSERT_EQ(collapsePromptWhitespace(tag), tag) << prompt;
        ASSERT_EQ(text::lowercased(tag), tag) << prompt;
        ASSERT_TRUE(text::isValidUTF8(tag));
        const std::string key = text::nfc(tag);
        for (const std::string& other : keys) ASSERT_NE(key, other) << prompt;
        keys.push_back(key);
      }
    }
  }
}

}  // namespace
}  // namespace lorvex

namespace lorvex {
namespace {

TEST(PromptTagsTest, TagsOverTheLimitAreLeftOutInBothDialects) {
  const std::string atLimit(kMaximumStoredPromptTagBytes, 'a');
  const std::string overLimit(kMaximumStoredPromptTagBytes + 1, 'b');
  // 400 Kelvin signs (3 bytes each) lower-case to 400 bytes: the limit is on the stored tag.
  std::string kelvins;
  for (int i = 0; i < 400; ++i) kelvins += "\xE2\x84\xAA";
  const struct {
    std::string prompt;
    std::vector<std::string> expected;
  } cases[] = {
      {"cat, " + atLimit + ", " + overLimit + ", dog", {"cat", atLimit, "dog"}},
      {"(" + overLimit + ":1.2), [" + atLimit + "]", {atLimit}},
      {kelvins, {std::string(400, 'k')}},
  };
  for (const auto& c : cases) {
    for (const bool stableDiffusion : {true, false}) {
      EXPECT_EQ(extractPromptTags(c.prompt, stableDiffusion, kMaximumStoredPromptTagBytes), c.expected)
          << c.prompt.substr(0, 40);
    }
  }
  // Without a limit every tag is kept, however long.
  EXPECT_EQ(extractPromptTags(overLimit, true), std::vector<std::string>{overLimit});
}

// A list ends with its Nth distinct tag, whatever follows: repeats and over-long tags before it do
// not count, and the rest of the prompt (or of the captions) is not needed to decide.
TEST(PromptTagsTest, ListsEndWithTheirLastKeptTagInBothDialectsAndForCaptions) {
  const std::string overLimit(kMaximumStoredPromptTagBytes + 1, 'x');
  const struct {
    std::string prompt;
    std::size_t count;
    std::vector<std::string> expected;
  } cases[] = {
      {"a, b, c, d", 2, {"a", "b"}},
      {"a, A, a, b, c", 2, {"a", "b"}},  // repeats are not tags of their own
      {overLimit + ", a, b, c", 2, {"a", "b"}},
      {"a, b", 5, {"a", "b"}},
      {"a, b", 0, {}},
  };
  for (const auto& c : cases) {
    for (const bool stableDiffusion : {true, false}) {
      EXPECT_EQ(extractPromptTags(c.prompt, stableDiffusion, kMaximumStoredPromptTagBytes, c.count),
                c.expected)
          << c.prompt.substr(0, 20) << " count " << c.count << (stableDiffusion ? " SD" : " NovelAI");
    }
  }
  const std::vector<CharacterCaption> captions = {{"Girl, red hair, girl", {}}, {"blue eyes, smile", {}}};
  EXPECT_EQ(displayPromptTags(captions, 2), (Tags{"Girl", "red hair"}));
  EXPECT_EQ(displayPromptTags(captions, 3), (Tags{"Girl", "red hair", "blue eyes"}));

  // A million distinct tags: the library's first kMaximumStoredPromptTagCount, in prompt order.
  std::string million;
  for (int i = 0; i < 1'000'000; ++i) million += "tag" + std::to_string(i) + ", ";
  for (const bool stableDiffusion : {true, false}) {
    const Tags tags = extractPromptTags(million, stableDiffusion, kMaximumStoredPromptTagBytes,
                                        kMaximumStoredPromptTagCount);
    ASSERT_EQ(tags.size(), kMaximumStoredPromptTagCount);
    EXPECT_EQ(tags.back(), "tag" + std::to_string(kMaximumStoredPromptTagCount - 1));
  }
  EXPECT_EQ(displayPromptTags({{million, {}}}, kMaximumStoredPromptTagCount).size(),
            kMaximumStoredPromptTagCount);
}

}  // namespace
}  // namespace lorvex
