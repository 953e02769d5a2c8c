#include "model/text/whitespace.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace lorvex::text {
namespace {

const std::string kNBSP = "\xC2\xA0";
const std::string kIdeographicSpace = "\xE3\x80\x80";
const std::string kNEL = "\xC2\x85";
const std::string kZeroWidthSpace = "\xE2\x80\x8B";  // not White_Space

TEST(WhitespaceTest, TrimsUnicodeWhitespaceAtBothEnds) {
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"", ""},
      {"   ", ""},
      {" a b ", "a b"},
      {"\r\n\tcat\r\n", "cat"},
      {kNBSP + "cat" + kIdeographicSpace, "cat"},
      {kNEL + "\xE2\x80\xA8" + "cat" + "\xE2\x80\xA9", "cat"},  // U+0085, U+2028, U+2029
      {kZeroWidthSpace + "cat" + kZeroWidthSpace, kZeroWidthSpace + "cat" + kZeroWidthSpace},
      {" \xCC\x81x", "\xCC\x81x"},  // a combining mark after a space is not whitespace itself
      {"\xC2", "\xC2"},             // a truncated sequence is not whitespace
      {"\xE3\x80", "\xE3\x80"},
      {"a\xE3\x80", "a\xE3\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(trimmedWhitespace(c.input), c.expected) << c.input;
}

TEST(WhitespaceTest, CollapsesRunsToOneSpaceWithoutTrimming) {
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"", ""},
      {"a  b", "a b"},
      {"  a \t\r\n b  ", " a b "},
      {"a" + kNBSP + kIdeographicSpace + "b", "a b"},
      {"a" + kZeroWidthSpace + "b", "a" + kZeroWidthSpace + "b"},
      {"\xE7\x8C\xAB\xE3\x80\x80\xE7\x8A\xAC", "\xE7\x8C\xAB \xE7\x8A\xAC"},
  };
  for (const auto& c : cases) EXPECT_EQ(collapsedWhitespace(c.input), c.expected) << c.input;
}

TEST(WhitespaceTest, NormalizedAndTrimmedNonEmpty) {
  EXPECT_EQ(normalizedWhitespace("  red \n\n eyes "), std::optional<std::string>("red eyes"));
  EXPECT_EQ(normalizedWhitespace(kNBSP + "\r\n"), std::nullopt);
  EXPECT_EQ(normalizedWhitespace(""), std::nullopt);
  EXPECT_EQ(trimmedNonEmpty("  a  b "), std::optional<std::string>("a  b"));
  EXPECT_EQ(trimmedNonEmpty(kIdeographicSpace), std::nullopt);
}

// What every text-taking store operation runs its input through before comparing or saving it.
TEST(WhitespaceTest, NormalizedWhitespaceOfTheTextsPeopleType) {
  const std::string kLineSeparator = "\xE2\x80\xA8";
  const std::string kByteOrderMark = "\xEF\xBB\xBF";  // not White_Space
  const struct {
    std::string input;
    std::optional<std::string> expected;
  } cases[] = {
      {"  red\t\n  eyes  ", "red eyes"},
      {" \t\r\n ", std::nullopt},
      {kIdeographicSpace + "\xE7\x8C\xAB" + kIdeographicSpace + kIdeographicSpace + "\xE8\x80\xB3" +
           kIdeographicSpace,
       "\xE7\x8C\xAB \xE8\x80\xB3"},
      {kNBSP, std::nullopt},
      {"a" + kNEL + "b" + kNEL, "a b"},
      {kLineSeparator + "a" + kLineSeparator + kLineSeparator + "b", "a b"},
      {"a" + kZeroWidthSpace + "b", "a" + kZeroWidthSpace + "b"},
      {kByteOrderMark + "a", kByteOrderMark + "a"},
      {kZeroWidthSpace, kZeroWidthSpace},
  };
  for (const auto& c : cases) EXPECT_EQ(normalizedWhitespace(c.input), c.expected) << c.input;
}

TEST(WhitespaceTest, ReportsTheLengthOfTheWhitespaceScalarAtAnOffset) {
  const std::string text = "a " + kNBSP + kIdeographicSpace + kZeroWidthSpace;
  EXPECT_EQ(whiteSpaceLength(text, 0), 0u);
  EXPECT_EQ(whiteSpaceLength(text, 1), 1u);
  EXPECT_EQ(whiteSpaceLength(text, 2), 2u);
  EXPECT_EQ(whiteSpaceLength(text, 4), 3u);
  EXPECT_EQ(whiteSpaceLength(text, 7), 0u);
}

}  // namespace
}  // namespace lorvex::text
