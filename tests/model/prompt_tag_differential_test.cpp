// The hand-written prompt scanners against a literal transcription of the tag-extraction rules
// that runs ICU's regular-expression engine, on random short prompts over a hostile alphabet.
#include <gtest/gtest.h>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "model/prompt_tag_scanners.h"
#include "model/prompt_tags.h"
#include "model/prompt_token_lists.h"
#include "model/prompt_whitespace.h"
#include "model/stable_diffusion_prompt_attention_normalizer.h"

namespace lorvex {
namespace {

icu::UnicodeString u16(const std::string& text) {
  return icu::UnicodeString::fromUTF8(text);
}

std::string u8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

// One compiled pattern, matched without options.
class Pattern {
 public:
  explicit Pattern(const char16_t* pattern) {
    UErrorCode status = U_ZERO_ERROR;
    pattern_.reset(icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, status));
    if (U_FAILURE(status)) std::abort();
  }
  std::unique_ptr<icu::RegexMatcher> matcher(const icu::UnicodeString& text) const {
    UErrorCode status = U_ZERO_ERROR;
    return std::unique_ptr<icu::RegexMatcher>(pattern_->matcher(text, status));
  }
  std::string replaceAll(const std::string& text, const char16_t* replacement) const {
    const icu::UnicodeString input = u16(text);
    UErrorCode status = U_ZERO_ERROR;
    return u8(matcher(input)->replaceAll(icu::UnicodeString(replacement), status));
  }

 private:
  std::unique_ptr<icu::RegexPattern> pattern_;
};

const Pattern kTrim(u"^\\s+|\\s+$");
const Pattern kSpaces(u"\\s+");
const Pattern kWeightPrefix(u"^[+-]?(?:\\d+(?:\\.\\d+)?|\\.\\d+)::+");
const Pattern kLeadingColons(u"^(?:\\s*::)+");
const Pattern kTrailingColons(u"(?:\\s*::)+$");
const Pattern kLeadingOpen(u"^[\\{\\[]+");
const Pattern kTrailingClose(u"[\\}\\]]+$");
const Pattern kWeight(u"[+-]?(?:\\d+(?:\\.\\d+)?|\\.\\d+)::+");
const Pattern kSpaceBeforeColons(u"\\s+(?=::+\\S)");

std::vector<std::string> characters(const std::string& text) {
  const icu::UnicodeString input = u16(text);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> iterator(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  iterator->setText(input);
  std::vector<std::string> out;
  for (int32_t start = iterator->first(), end = iterator->next(); end != icu::BreakIterator::DONE;
       start = end, end = iterator->next()) {
    out.push_back(u8(input.tempSubStringBetween(start, end)));
  }
  return out;
}

UChar32 firstScalar(const std::string& character) {
  return u16(character).char32At(0);
}
bool isSpace(const std::string& c) {
  return u_hasBinaryProperty(firstScalar(c), UCHAR_WHITE_SPACE);
}
bool isNumeric(const std::string& c) {
  return u_getNumericValue(firstScalar(c)) != U_NO_NUMERIC_VALUE;
}

std::string join(const std::vector<std::string>& parts, std::size_t from, std::size_t to) {
  std::string out;
  for (std::size_t i = from; i < to && i < parts.size(); ++i) out += parts[i];
  return out;
}

std::vector<std::string> splitCharacters(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts{""};
  for (const std::string& c : characters(text)) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  std::vector<std::string> nonEmpty;
  for (auto& part : parts) {
    if (!part.empty()) nonEmpty.push_back(part);
  }
  return nonEmpty;
}

// ---- the rules, transcribed literally ----

std::string collapse(const std::string& text) {
  return kSpaces.replaceAll(kTrim.replaceAll(text, u""), u" ");
}

std::optional<std::string> referenceNormalizeNovelAI(const std::string& token) {
  std::string text = collapse(token);
  for (;;) {
    const std::string before = text;
    text = kWeightPrefix.replaceAll(text, u"");
    text = kLeadingColons.replaceAll(text, u"");
    text = kTrailingColons.replaceAll(text, u"");
    text = kLeadingOpen.replaceAll(text, u"");
    text = kTrailingClose.replaceAll(text, u"");
    text = collapse(text);
    if (text == before) break;
  }
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<std::size_t> referenceWeightSplitIndex(const std::string& text) {
  const icu::UnicodeString input = u16(text);
  auto matcher = kWeight.matcher(input);
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find(status)) {
    const int32_t start = matcher->start(status);
    if (start == 0) continue;
    const std::string prefix = u8(input.tempSubString(0, start));
    const auto chars = characters(prefix);
    const bool follows =
        isSpace(chars.back()) || (chars.size() >= 2 && chars.back() == ":" && chars[chars.size() - 2] == ":");
    if (follows && referenceNormalizeNovelAI(u8(input.tempSubString(start)))) return prefix.size();
  }
  return std::nullopt;
}

void referenceSegments(const std::string& alternative, std::vector<std::string>& out) {
  const std::string text = collapse(alternative);
  if (text.empty()) return;
  if (const auto split = referenceWeightSplitIndex(text)) {
    referenceSegments(text.substr(0, *split), out);
    referenceSegments(text.substr(*split), out);
    return;
  }
  const icu::UnicodeString input = u16(text);
  auto matcher = kSpaceBeforeColons.matcher(input);
  UErrorCode status = U_ZERO_ERROR;
  if (matcher->find(status)) {
    referenceSegments(u8(input.tempSubString(0, matcher->start(status))), out);
    referenceSegments(u8(input.tempSubString(matcher->end(status))), out);
    return;
  }
  out.push_back(text);
}

std::vector<std::string> referenceNovelAITokens(const std::string& prompt) {
  std::vector<std::string> tokens;
  for (const std::string& piece : splitCharacters(prompt, ",")) {
    const std::string collapsed = collapse(piece);
    std::vector<std::string> alternatives;
    for (const std::string& part : splitCharacters(collapsed, "|")) {
      const std::string alternative = collapse(part);
      if (!alternative.empty()) alternatives.push_back(alternative);
    }
    if (alternatives.empty()) alternatives.push_back(collapsed);
    for (const std::string& alternative : alternatives) referenceSegments(alternative, tokens);
  }
  return tokens;
}

// Start (in characters) of the ":" of a trailing weight of chars[from, end), if any.
std::optional<std::size_t> referenceWeightColon(const std::vector<std::string>& chars, std::size_t from) {
  std::size_t position = chars.size();
  const auto inside = [&] { return position > from; };
  while (inside() && isSpace(chars[position - 1])) --position;
  bool numeric = false;
  bool dot = false;
  while (inside()) {
    const std::string& c = chars[position - 1];
    if (isNumeric(c)) {
      numeric = true;
    } else if (c == "." && !dot) {
      dot = true;
    } else {
      break;
    }
    --position;
  }
  if (!numeric) return std::nullopt;
  if (inside() && (chars[position - 1] == "+" || chars[position - 1] == "-")) --position;
  while (inside() && isSpace(chars[position - 1])) --position;
  if (inside() && chars[position - 1] == ":") return position - 1;
  return std::nullopt;
}

std::string referenceNormalizeStableDiffusion(const std::string& token) {
  const auto chars = characters(token);
  std::string output;
  std::vector<std::pair<std::string, std::size_t>> groups;  // marker, characters of output
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const std::string& c = chars[i];
    const auto mostRecent = [&](const std::string& marker) {
      for (std::size_t k = groups.size(); k > 0; --k) {
        if (groups[k - 1].first == marker) return static_cast<std::ptrdiff_t>(k - 1);
      }
      return std::ptrdiff_t{-1};
    };
    if (c == "\\") {
      static const std::set<std::string> escapable = {"\\", "(", ")", "[", "]", ","};
      if (i + 1 < chars.size() && escapable.count(chars[i + 1])) {
        output += chars[++i];
      } else {
        output += c;
      }
    } else if (c == "(" || c == "[") {
      groups.push_back({c, characters(output).size()});
    } else if (c == ")" || c == "]") {
      const auto index = mostRecent(c == ")" ? "(" : "[");
      if (index < 0) {
        output += c;
        continue;
      }
      if (c == ")") {
        const auto outputChars = characters(output);
        if (const auto colon = referenceWeightColon(outputChars, groups[index].second)) {
          output = join(outputChars, 0, *colon);
        }
      }
      groups.erase(groups.begin() + index);
    } else {
      output += c;
    }
  }
  return collapse(output);
}

bool referenceContainsAttentionGroup(const std::string& text) {
  const auto chars = characters(text);
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    if (chars[i] == "\\") {
      ++i;
    } else if (chars[i] == "(") {
      open.push_back(i);
    } else if (chars[i] == ")" && !open.empty()) {
      const std::size_t start = open.back();
      open.pop_back();
      if (referenceWeightColon(characters(join(chars, start + 1, i)), 0)) return true;
    }
  }
  return false;
}

std::vector<std::string> referenceStableDiffusionTokens(const std::string& prompt) {
  std::vector<std::string> pieces{""};
  std::vector<std::string> stack;
  const auto chars = characters(prompt);
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const std::string& c = chars[i];
    if (c == "\\") {
      pieces.back() += c;
      if (i + 1 < chars.size()) pieces.back() += chars[++i];
      continue;
    }
    if (c == "(" || c == "[") stack.push_back(c);
    if (c == ")" || c == "]") {
      const std::string marker = c == ")" ? "(" : "[";
      for (std::size_t k = stack.size(); k > 0; --k) {
        if (stack[k - 1] == marker) {
          stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(k - 1));
          break;
        }
      }
    }
    if (c == "," && stack.empty()) {
      pieces.emplace_back();
    } else {
      pieces.back() += c;
    }
  }
  std::vector<std::string> tokens;
  for (const std::string& piece : pieces) {
    const std::string token = collapse(piece);
    if (!token.empty()) tokens.push_back(token);
  }
  return tokens;
}

bool referenceIsReference(const std::string& text) {
  const auto chars = characters(collapse(text));
  if (chars.empty() || chars.front() != "<" || chars.back() != ">") return false;
  for (const auto& c : chars) {
    if (c == ":") return true;
  }
  return false;
}

std::string referenceLowercase(const std::string& text) {
  icu::UnicodeString value = u16(text);
  value.toLower(icu::Locale::getRoot());
  return u8(value);
}

std::string referenceNFC(const std::string& text) {
  UErrorCode status = U_ZERO_ERROR;
  return u8(icu::Normalizer2::getNFCInstance(status)->normalize(u16(text), status));
}

std::vector<std::string> referenceExtract(const std::string& prompt, bool stableDiffusion) {
  const auto tokens =
      stableDiffusion ? referenceStableDiffusionTokens(prompt) : referenceNovelAITokens(prompt);
  std::vector<std::string> tags;
  std::set<std::string> seen;
  for (const std::string& token : tokens) {
    if (referenceIsReference(token)) continue;
    const std::string tag = stableDiffusion
                                ? referenceLowercase(collapse(referenceNormalizeStableDiffusion(token)))
                                : referenceLowercase(referenceNormalizeNovelAI(token).value_or(""));
    if (tag.empty() || referenceIsReference(tag)) continue;
    if (seen.insert(referenceNFC(tag)).second) tags.push_back(tag);
  }
  return tags;
}

// ---- random input ----

std::string randomText(std::mt19937& random, int maxLength) {
  // clang-format off
  static const std::vector<std::string> alphabet = {
      "0", "1", "5", ".", ":", ":", "+", "-", ",", "|", "(", ")", "[", "]", "{", "}", "\\", "<", ">", " ", " ",
      "\xC2\xA0", "\xC3\xA9", "e\xCC\x81", "\xE4\xBA\x94", "\xEF\xBC\x91", "\r\n", "a", "Z"};
  // clang-format on
  std::string text;
  const int length = static_cast<int>(random() % static_cast<unsigned>(maxLength + 1));
  for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
  return text;
}

std::string matchedPrefix(const Pattern& pattern, const std::string& text) {
  const icu::UnicodeString input = u16(text);
  auto matcher = pattern.matcher(input);
  UErrorCode status = U_ZERO_ERROR;
  if (!matcher->lookingAt(status)) return "";
  return u8(input.tempSubString(0, matcher->end(status)));
}

std::string matchedSuffix(const Pattern& pattern, const std::string& text) {
  const icu::UnicodeString input = u16(text);
  auto matcher = pattern.matcher(input);
  UErrorCode status = U_ZERO_ERROR;
  if (!matcher->find(status)) return "";
  return u8(input.tempSubString(matcher->start(status)));
}

std::vector<std::string> allMatches(const Pattern& pattern, const std::string& text) {
  const icu::UnicodeString input = u16(text);
  auto matcher = pattern.matcher(input);
  UErrorCode status = U_ZERO_ERROR;
  std::vector<std::string> out;
  while (matcher->find(status)) {
    out.push_back(u8(input.tempSubString(0, matcher->start(status))) + "|" +
                  u8(input.tempSubStringBetween(matcher->start(status), matcher->end(status))));
  }
  return out;
}

TEST(PromptTagDifferentialTest, ScannersMatchTheRegularExpressions) {
  std::mt19937 random(1);
  for (int round = 0; round < 100000; ++round) {
    const std::string text = collapse(randomText(random, 12));
    using namespace prompt_syntax;
    ASSERT_EQ(text.substr(0, weightPrefixLength(text)), matchedPrefix(kWeightPrefix, text)) << text;
    ASSERT_EQ(text.substr(0, leadingColonPairsLength(text)), matchedPrefix(kLeadingColons, text)) << text;
    ASSERT_EQ(text.substr(trailingColonPairsStart(text)), matchedSuffix(kTrailingColons, text)) << text;
    ASSERT_EQ(text.substr(0, leadingOpenBracketsLength(text)), matchedPrefix(kLeadingOpen, text)) << text;
    ASSERT_EQ(text.substr(trailingCloseBracketsStart(text)), matchedSuffix(kTrailingClose, text)) << text;
    std::vector<std::string> weights;
    std::size_t from = 0;
    while (const auto match = findWeight(text, from)) {
      weights.push_back(text.substr(0, match->begin) + "|" +
                        text.substr(match->begin, match->end - match->begin));
      from = match->end;
    }
    ASSERT_EQ(weights, allMatches(kWeight, text)) << text;
    const auto space = findWhitespaceBeforeColons(text);
    const auto expected = allMatches(kSpaceBeforeColons, text);
    ASSERT_EQ(space.has_value(), !expected.empty()) << text;
    if (space) {
      ASSERT_EQ(text.substr(0, space->begin) + "|" + text.substr(space->begin, space->end - space->begin),
                expected.front())
          << text;
    }
    ASSERT_EQ(collapsePromptWhitespace(text), collapse(text));
  }
}

TEST(PromptTagDifferentialTest, NovelAIDialectMatchesTheRules) {
  std::mt19937 random(2);
  for (int round = 0; round < 50000; ++round) {
    const std::string prompt = randomText(random, 14);
    ASSERT_EQ(normalizeNovelAIPromptTag(prompt), referenceNormalizeNovelAI(prompt)) << prompt;
    ASSERT_EQ(testing::novelAIPromptTokens(prompt), referenceNovelAITokens(prompt)) << prompt;
    ASSERT_EQ(extractPromptTags(prompt, false), referenceExtract(prompt, false)) << prompt;
  }
}

// The normaliser and the weighted-group detector against the reference of the rules.
void checkGroupsAgainstTheRules(const std::string& prompt) {
  ASSERT_EQ(StableDiffusionPromptAttentionNormalizer::normalize(prompt),
            referenceNormalizeStableDiffusion(prompt))
      << prompt;
  ASSERT_EQ(StableDiffusionPromptAttentionNormalizer::containsAttentionGroup(prompt),
            referenceContainsAttentionGroup(prompt))
      << prompt;
}

TEST(PromptTagDifferentialTest, StableDiffusionDialectMatchesTheRules) {
  std::mt19937 random(3);
  for (int round = 0; round < 50000; ++round) {
    const std::string prompt = randomText(random, 14);
    ASSERT_NO_FATAL_FAILURE(checkGroupsAgainstTheRules(prompt));
    ASSERT_EQ(testing::stableDiffusionPromptTokens(prompt), referenceStableDiffusionTokens(prompt)) << prompt;
    ASSERT_EQ(extractPromptTags(prompt, true), referenceExtract(prompt, true)) << prompt;
  }
}

// Long tokens: many open groups and colons, so the normaliser's colon and group bookkeeping (runs
// of groups, colons it drops once no open group can reach them) is exercised far past its slack.
TEST(PromptTagDifferentialTest, LongStableDiffusionTokensMatchTheRules) {
  static const std::vector<std::string> alphabet = {"(", "(",  "(",  ")",    ")",    ":",           ":",
                                                    "1", "5",  ".",  "-",    " ",    "a",           "[",
                                                    "]", "\\", ":1", ":.5 ", "(:2)", "\xEF\xBC\x91"};
  std::mt19937 random(5);
  std::vector<std::string> prompts = {
      std::string(10, '(') +
          [] {
            std::string weights;
            for (int i = 0; i < 200; ++i) weights += i % 3 == 0 ? ": 1" : ":1";
            return weights;
          }() +
          std::string(12, ')'),
      "(" + std::string(300, ':') + "1)" + std::string(5, ')'),
      // Every group removes one weight: each colon stays reachable until its group closes.
      std::string(100, '(') +
          [] {
            std::string weights;
            for (int i = 0; i < 300; ++i) weights += ":1";
            return weights;
          }() +
          std::string(100, ')'),
      std::string(150, '(') + "cat" + std::string(150, ':') + "2" + std::string(160, ')'),
  };
  for (int round = 0; round < 600; ++round) {
    std::string prompt;
    const int length = 100 + static_cast<int>(random() % 500);
    for (int i = 0; i < length; ++i) prompt += alphabet[random() % alphabet.size()];
    prompts.push_back(std::move(prompt));
  }
  for (const std::string& prompt : prompts) {
    ASSERT_NO_FATAL_FAILURE(checkGroupsAgainstTheRules(prompt));
  }
}

// Long alternatives take the memoised front/back reduction instead of the pass-by-pass one.
TEST(PromptTagDifferentialTest, LongNovelAIAlternativesMatchTheRules) {
  static const std::vector<std::string> alphabet = {"1",   "2",    ".",   "::",  ":",        " ",
                                                    "-",   "{",    "}",   "[",   "]",        "a",
                                                    "1::", " 2::", "::]", "{::", "\xC3\xA9", "e\xCC\x81"};
  std::mt19937 random(4);
  for (int round = 0; round < 3000; ++round) {
    std::string prompt;
    const int length = 40 + static_cast<int>(random() % 120);
    for (int i = 0; i < length; ++i) prompt += alphabet[random() % alphabet.size()];
    ASSERT_EQ(normalizeNovelAIPromptTag(prompt), referenceNormalizeNovelAI(prompt)) << prompt;
    ASSERT_EQ(testing::novelAIPromptTokens(prompt), referenceNovelAITokens(prompt)) << prompt;
  }
}

}  // namespace
}  // namespace lorvex
