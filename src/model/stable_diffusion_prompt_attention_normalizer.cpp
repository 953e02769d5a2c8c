#include "model/stable_diffusion_prompt_attention_normalizer.h"

#include <unicode/uchar.h>

#include <cstdint>
#include <optional>

#include "model/prompt_whitespace.h"
#include "model/text/graphemes.h"
#include "model/text/unicode.h"

namespace lorvex {

namespace {

// What a character means to the trailing-weight reader.
enum class WeightClass : std::uint8_t { Other, Space, Numeric, Dot, Sign, Colon };

bool isNumericScalar(char32_t scalar) {
  if (scalar < 0x80) return scalar >= '0' && scalar <= '9';
  return u_getNumericValue(static_cast<UChar32>(scalar)) != U_NO_NUMERIC_VALUE;
}

// A character is whitespace or numeric by its first scalar.
WeightClass classify(std::string_view cluster) {
  if (cluster.size() == 1) {
    switch (cluster[0]) {
      case '.':
        return WeightClass::Dot;
      case '+':
      case '-':
        return WeightClass::Sign;
      case ':':
        return WeightClass::Colon;
      default:
        break;
    }
  }
  std::size_t offset = 0;
  const char32_t first = text::decodeUTF8(cluster, offset);
  if (text::isWhiteSpace(first)) return WeightClass::Space;
  if (isNumericScalar(first)) return WeightClass::Numeric;
  return WeightClass::Other;
}

// The characters of a text with their classes; runs of whitespace and of numeric characters
// are linked to their first character, so reading a weight backwards takes constant time
// whatever the length of the runs.
class CharacterClasses {
 public:
  struct Entry {
    std::size_t start;  // byte offset of the character
    WeightClass kind;
    std::size_t runStart;  // index of the first character of its Space or Numeric run
  };

  static CharacterClasses of(std::string_view text) {
    CharacterClasses classes;
    const std::vector<std::size_t> boundaries = text::graphemeBoundaries(text);
    classes.entries_.reserve(boundaries.size());
    for (std::size_t i = 0; i + 1 < boundaries.size(); ++i) {
      classes.push(boundaries[i], classify(text.substr(boundaries[i], boundaries[i + 1] - boundaries[i])));
    }
    return classes;
  }

  std::size_t size() const { return entries_.size(); }
  const Entry& operator[](std::size_t index) const { return entries_[index]; }

  void push(std::size_t start, WeightClass kind) {
    std::size_t runStart = entries_.size();
    if ((kind == WeightClass::Space || kind == WeightClass::Numeric) && !entries_.empty() &&
        entries_.back().kind == kind) {
      runStart = entries_.back().runStart;
    }
    entries_.push_back({start, kind, runStart});
  }

  // Drops the characters that start at or after `byte`.
  void truncate(std::size_t byte) {
    while (!entries_.empty() && entries_.back().start >= byte) entries_.pop_back();
  }

  // The byte offset of the ":" of a weight that ends the characters [0, end), when that colon
  // starts at or after `groupStart`: trailing whitespace, a number (numeric characters with at
  // most one "."; not a lone "."), an optional sign, whitespace, then the colon.
  std::optional<std::size_t> weightColon(std::size_t end, std::size_t groupStart) const {
    std::ptrdiff_t i = static_cast<std::ptrdiff_t>(end) - 1;
    const auto kindAt = [&](std::ptrdiff_t index) {
      return index >= 0 ? entries_[static_cast<std::size_t>(index)].kind : WeightClass::Other;
    };
    const auto skipRun = [&](std::ptrdiff_t index) {
      return static_cast<std::ptrdiff_t>(entries_[static_cast<std::size_t>(index)].runStart) - 1;
    };
    if (kindAt(i) == WeightClass::Space) i = skipRun(i);
    bool hasNumeric = false;
    if (kindAt(i) == WeightClass::Numeric) {
      i = skipRun(i);
      hasNumeric = true;
    }
    if (kindAt(i) == WeightClass::Dot) {
      --i;
      if (kindAt(i) == WeightClass::Numeric) {
        i = skipRun(i);
        hasNumeric = true;
      }
    }
    if (!hasNumeric) return std::nullopt;
    if (kindAt(i) == WeightClass::Sign) --i;
    if (kindAt(i) == WeightClass::Space) i = skipRun(i);
    if (kindAt(i) != WeightClass::Colon) return std::nullopt;
    const std::size_t colon = entries_[static_cast<std::size_t>(i)].start;
    if (colon < groupStart) return std::nullopt;
    return colon;
  }

 private:
  std::vector<Entry> entries_;
};

bool isEscapable(std::string_view cluster) {
  return cluster.size() == 1 && (cluster[0] == '\\' || cluster[0] == '(' || cluster[0] == ')' ||
                                 cluster[0] == '[' || cluster[0] == ']' || cluster[0] == ',');
}

bool isCharacter(std::string_view cluster, char c) {
  return cluster.size() == 1 && cluster[0] == c;
}

// The output of normalisation with its character classes kept up to date.
class NormalizedOutput {
 public:
  // Appended text may join the output's last character (CR then LF, Hangul jamo, flags or emoji
  // sequences whose bracket in between was dropped), but never so that a class changes: a
  // bracket, colon or "." followed by a mark is no such character in the token either, so marks
  // only ever follow what they followed there. The joined pieces keep separate entries of the
  // same class, which reads the same.
  void append(std::string_view cluster) {
    classes_.push(text_.size(), classify(cluster));
    text_.append(cluster);
  }

  std::size_t size() const { return text_.size(); }

  void removeTrailingWeight(std::size_t groupStart) {
    if (const auto colon = classes_.weightColon(classes_.size(), groupStart)) {
      text_.resize(*colon);
      classes_.truncate(*colon);
    }
  }

  const std::string& text() const { return text_; }

 private:
  std::string text_;
  CharacterClasses classes_;
};

}  // namespace

std::string StableDiffusionPromptAttentionNormalizer::normalize(std::string_view token) {
  const std::vector<std::size_t> boundaries = text::graphemeBoundaries(token);
  const std::size_t count = boundaries.size() - 1;
  const auto cluster = [&](std::size_t i) {
    return token.substr(boundaries[i], boundaries[i + 1] - boundaries[i]);
  };

  NormalizedOutput output;
  // ")" and "]" each close the most recent group of their own kind, whatever opened after it,
  // so the two kinds keep separate stacks.
  std::vector<OpenGroup> parentheses;
  std::vector<OpenGroup> squareBrackets;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view c = cluster(i);
    if (isCharacter(c, '\\')) {
      if (i + 1 < count && isEscapable(cluster(i + 1))) {
        output.append(cluster(i + 1));
        ++i;
      } else {
        output.append(c);
      }
    } else if (isCharacter(c, '(') || isCharacter(c, '[')) {
      (c[0] == '(' ? parentheses : squareBrackets).push_back({c[0], output.size()});
    } else if (isCharacter(c, ')')) {
      if (parentheses.empty()) {
        output.append(c);
      } else {
        output.removeTrailingWeight(parentheses.back().resultStart);
        parentheses.pop_back();
      }
    } else if (isCharacter(c, ']')) {
      if (squareBrackets.empty()) {
        output.append(c);
      } else {
        squareBrackets.pop_back();
      }
    } else {
      output.append(c);
    }
  }
  return collapsePromptWhitespace(output.text());
}

bool StableDiffusionPromptAttentionNormalizer::containsAttentionGroup(std::string_view text) {
  const std::vector<std::size_t> boundaries = text::graphemeBoundaries(text);
  const std::size_t count = boundaries.size() - 1;
  const CharacterClasses classes = CharacterClasses::of(text);
  std::vector<std::size_t> openParentheses;  // character indexes
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view c = text.substr(boundaries[i], boundaries[i + 1] - boundaries[i]);
    if (isCharacter(c, '\\')) {
      ++i;
    } else if (isCharacter(c, '(')) {
      openParentheses.push_back(i);
    } else if (isCharacter(c, ')') && !openParentheses.empty()) {
      const std::size_t open = openParentheses.back();
      openParentheses.pop_back();
      if (classes.weightColon(i, boundaries[open + 1])) return true;
    }
  }
  return false;
}

bool StableDiffusionPromptAttentionNormalizer::removeTrailingWeight(std::string& output,
                                                                    std::size_t groupStart) {
  const CharacterClasses classes = CharacterClasses::of(output);
  const auto colon = classes.weightColon(classes.size(), groupStart);
  if (!colon) return false;
  output.resize(*colon);
  return true;
}

bool StableDiffusionPromptAttentionNormalizer::hasTrailingWeight(std::string_view text) {
  const CharacterClasses classes = CharacterClasses::of(text);
  return classes.weightColon(classes.size(), 0).has_value();
}

std::vector<std::string_view> splitStableDiffusionTopLevel(std::string_view prompt) {
  const std::vector<std::size_t> boundaries = text::graphemeBoundaries(prompt);
  const std::size_t count = boundaries.size() - 1;
  std::vector<std::string_view> pieces;
  std::size_t pieceStart = 0;
  // Only whether any group is open matters, and ")" removes a "(" wherever it sits in the stack.
  std::size_t openParentheses = 0;
  std::size_t openSquareBrackets = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view c = prompt.substr(boundaries[i], boundaries[i + 1] - boundaries[i]);
    if (c.size() != 1) continue;
    switch (c[0]) {
      case '\\':
        ++i;  // the next character is never interpreted
        break;
      case '(':
        ++openParentheses;
        break;
      case '[':
        ++openSquareBrackets;
        break;
      case ')':
        if (openParentheses > 0) --openParentheses;
        break;
      case ']':
        if (openSquareBrackets > 0) --openSquareBrackets;
        break;
      case ',':
        if (openParentheses == 0 && openSquareBrackets == 0) {
          pieces.push_back(prompt.substr(pieceStart, boundaries[i] - pieceStart));
          pieceStart = boundaries[i + 1];
        }
        break;
      default:
        break;
    }
  }
  pieces.push_back(prompt.substr(pieceStart));
  return pieces;
}

}  // namespace lorvex
