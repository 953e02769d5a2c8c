#include "model/text/graphemes.h"

#include <gtest/gtest.h>
#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace lorvex::text {
namespace {

TEST(GraphemesTest, BoundariesOfExtendedGraphemeClusters) {
  const struct {
    std::string input;
    std::vector<std::size_t> boundaries;
  } cases[] = {
      {"", {0}},
      {"abc", {0, 1, 2, 3}},
      {"a\r\nb", {0, 1, 3, 4}},  // CR LF is one cluster
      {"\r\r\n\n", {0, 1, 3, 4}},
      {"e\xCC\x81x", {0, 3, 4}},      // e + combining acute
      {"x\xCC\x81\xCC\xA3", {0, 5}},  // two marks on one base
      {"\xC3\xA9", {0, 2}},
      {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", {0, 18}},  // family ZWJ
      {"\xF0\x9F\x87\xAF\xF0\x9F\x87\xB5\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", {0, 8, 16}},       // JP FR flags
      {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD!", {0, 8, 9}},                                       // skin tone
      {"\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB.", {0, 9, 10}},                                  // Hangul jamo
      {"\xE7\x8C\xAB, \xE7\x8A\xAC", {0, 3, 4, 5, 8}},
      {"(\xCC\x81", {0, 3}},                // a mark on a bracket makes a new character
      {"\xC2\xA0\xE3\x80\x80", {0, 2, 5}},  // NBSP, U+3000
      {"a\r\n\xCC\x81", {0, 1, 3, 5}},      // nothing extends CR LF
  };
  for (const auto& c : cases) {
    EXPECT_EQ(graphemeBoundaries(c.input), c.boundaries) << c.input;
    EXPECT_EQ(graphemeCount(c.input), c.boundaries.size() - 1) << c.input;
  }
}

// Boundaries from one ICU iterator over the whole text, without the ASCII fast path.
std::vector<std::size_t> icuBoundaries(const std::string& text) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> iterator(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  UText utext = UTEXT_INITIALIZER;
  utext_openUTF8(&utext, text.data(), static_cast<int64_t>(text.size()), &status);
  iterator->setText(&utext, status);
  std::vector<std::size_t> boundaries;
  for (int32_t p = iterator->first(); p != icu::BreakIterator::DONE; p = iterator->next()) {
    boundaries.push_back(static_cast<std::size_t>(p));
  }
  utext_close(&utext);
  return boundaries;
}

TEST(GraphemesTest, FastPathAgreesWithICUOnRandomMixedText) {
  // clang-format off
  const std::vector<std::string> alphabet = {
      "a", " ", "\r", "\n", "(", ",", "\t", "\x01",
      "\xCC\x81", "\xE2\x80\x8D", "\xF0\x9F\x91\xA8", "\xF0\x9F\x87\xAF", "\xF0\x9F\x8F\xBD",
      "\xE1\x84\x92", "\xE1\x85\xA1", "\xE1\x86\xAB", "\xED\x95\x9C", "\xC3\xA9",
      "\xE0\xA4\x95", "\xE0\xA5\x8D", "\xE0\xA4\xBF", "\xD8\x80", "\xC2\xA0", "\xEF\xB8\x8F",
      "\xE3\x81\x8B", "\xE3\x82\x99", "\xE7\x8C\xAB", "\xEF\xBF\xBD", "\xC2\x85", "\xE2\x80\x8B",
      // Punctuation after marks, flags and Prepend characters (U+0D4E, U+111C2) takes a short cut.
      ":", "#", "1", "\xE0\xB5\x8E", "\xF0\x91\x87\x82", "\xE2\x83\xA3"};
  // clang-format on
  std::mt19937 random(20261207);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 16);
    for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    const auto expected = icuBoundaries(text);
    ASSERT_EQ(graphemeBoundaries(text), expected) << text;
    for (std::size_t position = 0; position <= text.size(); ++position) {
      const bool boundary = std::find(expected.begin(), expected.end(), position) != expected.end();
      ASSERT_EQ(isGraphemeBoundary(text, position), boundary) << text << " at " << position;
    }
  }
}

TEST(GraphemesTest, CursorAgreesWithICUAcrossItsLookahead) {
  // The cursor finds boundaries a fixed number ahead; texts with far more clusters than that, and
  // ICU stretches (marks, flags, jamo) that cross a refill, must come out exactly as ICU cuts them.
  const std::string mark = "\xCC\x81";          // U+0301, joins the character before it
  const std::string flag = "\xF0\x9F\x87\xAF";  // a regional indicator: pairs with the next one
  std::string mixed;
  std::mt19937 random(7);
  const std::vector<std::string> alphabet = {"a",   ",", " ", mark, flag, "\xE1\x84\x92", "\xE1\x85\xA1",
                                             "\r\n"};
  for (int i = 0; i < 5000; ++i) mixed += alphabet[random() % alphabet.size()];
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"ASCII", std::string(1000, 'a')},
      {"one cluster of many marks", "a" +
                                        [&] {
                                          std::string marks;
                                          for (int i = 0; i < 600; ++i) marks += mark;
                                          return marks;
                                        }()},
      {"marked letters",
       [&] {
         std::string text;
         for (int i = 0; i < 700; ++i) text += "e" + mark;
         return text;
       }()},
      {"flags",
       [&] {
         std::string text;
         for (int i = 0; i < 501; ++i) text += flag;
         return text;
       }()},
      {"mixed", mixed},
  };
  for (const auto& c : cases) {
    const std::vector<std::size_t> expected = icuBoundaries(c.text);
    std::vector<std::size_t> walked{0};
    GraphemeCursor cursor(c.text);
    for (std::string_view cluster = cursor.next(); !cluster.empty(); cluster = cursor.next()) {
      ASSERT_EQ(static_cast<std::size_t>(cluster.data() - c.text.data()), walked.back()) << c.name;
      walked.push_back(walked.back() + cluster.size());
      // Another text walked in between must not disturb the cursor's own walk.
      ASSERT_TRUE(isGraphemeBoundary(flag + flag + flag, 8));
    }
    EXPECT_EQ(walked, expected) << c.name;
    EXPECT_EQ(graphemeBoundaries(c.text), expected) << c.name;
  }
  EXPECT_TRUE(GraphemeCursor("").next().empty());
}

}  // namespace
}  // namespace lorvex::text
