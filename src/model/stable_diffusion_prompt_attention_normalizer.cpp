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

// How far the characters after the last ":" go towards a weight. Read backwards from the end, a
// weight is whitespace, a number (numeric characters with at most one "."; not a lone "."), an
// optional sign, whitespace, then the colon; read forwards, that is the language
// ":" Space* Sign? (Numeric* ".")? Numeric* Space*, with at least one numeric character. Keeping
// this state as characters are appended answers "does the text end with a weight?" in constant
// time and memory, however long the runs of digits or spaces.
enum class Tail : std::uint8_t {
  none,           // no ":" yet, or what follows the last one can never become a weight
  colon,          // ":" then whitespace
  sign,           // ... "+" or "-"
  integer,        // ... numeric characters
  bareDot,        // ... "." with no numeric character before it
  integerDot,     // ... numeric characters then "."
  fraction,       // ... "." then numeric characters
  trailingSpace,  // a complete number, then whitespace
};

Tail advance(Tail tail, WeightClass kind) {
  if (kind == WeightClass::Colon) return Tail::colon;
  switch (tail) {
    case Tail::none:
      return Tail::none;
    case Tail::colon:
      if (kind == WeightClass::Space) return Tail::colon;
      if (kind == WeightClass::Sign) return Tail::sign;
      [[fallthrough]];
    case Tail::sign:
      if (kind == WeightClass::Numeric) return Tail::integer;
      if (kind == WeightClass::Dot) return Tail::bareDot;
      return Tail::none;
    case Tail::integer:
      if (kind == WeightClass::Numeric) return Tail::integer;
      if (kind == WeightClass::Dot) return Tail::integerDot;
      if (kind == WeightClass::Space) return Tail::trailingSpace;
      return Tail::none;
    case Tail::bareDot:
      return kind == WeightClass::Numeric ? Tail::fraction : Tail::none;
    case Tail::integerDot:
    case Tail::fraction:
      if (kind == WeightClass::Numeric) return Tail::fraction;
      if (kind == WeightClass::Space) return Tail::trailingSpace;
      return Tail::none;
    case Tail::trailingSpace:
      return kind == WeightClass::Space ? Tail::trailingSpace : Tail::none;
  }
  return Tail::none;
}

bool endsWeight(Tail tail) {
  return tail == Tail::integer || tail == Tail::integerDot || tail == Tail::fraction ||
         tail == Tail::trailingSpace;
}

// The weight reader run over a whole text: where its last ":" is and how the text ends.
struct TextTail {
  Tail tail = Tail::none;
  std::size_t lastColon = 0;  // byte offset; meaningful once tail is not none

  void append(std::string_view cluster, std::size_t offset) {
    const WeightClass kind = classify(cluster);
    if (kind == WeightClass::Colon) lastColon = offset;
    tail = advance(tail, kind);
  }
  // The byte offset of the weight's ":" when the text ends with a weight whose ":" lies at or
  // after `groupStart`.
  std::optional<std::size_t> weightColon(std::size_t groupStart) const {
    if (!endsWeight(tail) || lastColon < groupStart) return std::nullopt;
    return lastColon;
  }
};

bool isEscapable(std::string_view cluster) {
  return cluster.size() == 1 && (cluster[0] == '\\' || cluster[0] == '(' || cluster[0] == ')' ||
                                 cluster[0] == '[' || cluster[0] == ']' || cluster[0] == ',');
}

bool isCharacter(std::string_view cluster, char c) {
  return cluster.size() == 1 && cluster[0] == c;
}

// The open "(" groups of a normalisation. A group is known by the order in which it opened; the
// stack holds runs of consecutive numbers, so a long run of "(" (even with text between them)
// costs one entry.
class OpenParentheses {
 public:
  bool empty() const { return runs_.empty(); }
  std::size_t size() const { return size_; }
  // How many groups have opened so far: the number the next one gets.
  std::uint64_t openedCount() const { return opened_; }
  std::uint64_t top() const { return runs_.back().first + runs_.back().count - 1; }

  void push() {
    if (!runs_.empty() && top() + 1 == opened_) {
      ++runs_.back().count;
    } else {
      runs_.push_back({opened_, 1});
    }
    ++opened_;
    ++size_;
  }
  void pop() {
    if (--runs_.back().count == 0) runs_.pop_back();
    --size_;
  }

 private:
  struct Run {
    std::uint64_t first;
    std::uint64_t count;
  };
  std::vector<Run> runs_;
  std::uint64_t opened_ = 0;
  std::size_t size_ = 0;
};

// The output of normalisation, with what a ")" needs to find and remove a trailing weight.
//
// A group's weight ":" lies within the group exactly when the ":" was appended after the group
// opened (the output never shrinks below a group that is still open). Removing a weight cuts the
// output at its ":"; what then ends the output is the state before that ":", kept beside it. Only
// groups open now can ever cut back to a ":" written now (a later group starts after it), so at
// most that many colons are kept, and none once what precedes a colon can no longer be a weight.
class NormalizedOutput {
 public:
  // The output is never longer than the token: reserving that once spares a long token the
  // doubling growth (twice its size at once).
  explicit NormalizedOutput(std::size_t tokenSize) { text_.reserve(tokenSize); }

  // Appended text may join the output's last character (CR then LF, Hangul jamo, flags or emoji
  // sequences whose bracket in between was dropped), but never so that a class changes: a
  // bracket, colon or "." followed by a mark is no such character in the token either, so marks
  // only ever follow what they followed there.
  void append(std::string_view cluster, const OpenParentheses& open) {
    const WeightClass kind = classify(cluster);
    if (kind == WeightClass::Colon) {
      // Nothing can cut back past this colon when what precedes it is no weight, nor when no group
      // is open to cut at all.
      if (tail_ == Tail::none || open.empty()) colons_.clear();
      if (!open.empty()) {
        colons_.push_back({text_.size(), open.openedCount(), tail_});
        // Keep only the colons the open groups can still reach.
        if (colons_.size() > 2 * open.size() + 64) {
          colons_.erase(colons_.begin(), colons_.end() - static_cast<std::ptrdiff_t>(open.size()));
        }
      }
    }
    tail_ = advance(tail_, kind);
    text_.append(cluster);
  }

  // Removes the weight that ends the output when its ":" lies within the group `group`.
  void removeTrailingWeight(std::uint64_t group) {
    if (!endsWeight(tail_) || colons_.empty() || colons_.back().openedBefore <= group) return;
    text_.resize(colons_.back().position);
    tail_ = colons_.back().tailBefore;
    colons_.pop_back();
  }

  const std::string& text() const { return text_; }

 private:
  struct Colon {
    std::size_t position;
    std::uint64_t openedBefore;  // the groups opened before it was written
    Tail tailBefore;
  };
  std::string text_;
  Tail tail_ = Tail::none;
  std::vector<Colon> colons_;
};

}  // namespace

std::string StableDiffusionPromptAttentionNormalizer::normalize(std::string_view token) {
  NormalizedOutput output(token.size());
  // ")" and "]" each close the most recent group of their own kind, whatever opened after it,
  // so the two kinds are counted apart; a "[" group never loses a weight, so its count suffices.
  OpenParentheses parentheses;
  std::size_t squareBrackets = 0;
  text::GraphemeCursor cursor(token);
  std::string_view c = cursor.next();
  while (!c.empty()) {
    std::string_view next = cursor.next();
    if (isCharacter(c, '\\')) {
      if (isEscapable(next)) {
        output.append(next, parentheses);
        next = cursor.next();
      } else {
        output.append(c, parentheses);
      }
    } else if (isCharacter(c, '(')) {
      parentheses.push();
    } else if (isCharacter(c, '[')) {
      ++squareBrackets;
    } else if (isCharacter(c, ')')) {
      if (parentheses.empty()) {
        output.append(c, parentheses);
      } else {
        output.removeTrailingWeight(parentheses.top());
        parentheses.pop();
      }
    } else if (isCharacter(c, ']')) {
      if (squareBrackets == 0) {
        output.append(c, parentheses);
      } else {
        --squareBrackets;
      }
    } else {
      output.append(c, parentheses);
    }
    c = next;
  }
  return collapsePromptWhitespace(output.text());
}

bool StableDiffusionPromptAttentionNormalizer::containsAttentionGroup(std::string_view text) {
  TextTail tail;
  std::vector<std::size_t> openParentheses;  // byte offsets after each open "("
  text::GraphemeCursor cursor(text);
  for (std::string_view c = cursor.next(); !c.empty(); c = cursor.next()) {
    const std::size_t offset = static_cast<std::size_t>(c.data() - text.data());
    if (isCharacter(c, '\\')) {
      tail.append(c, offset);
      c = cursor.next();  // escaped: read by the weight reader, never a bracket
      if (c.empty()) break;
      tail.append(c, static_cast<std::size_t>(c.data() - text.data()));
      continue;
    }
    if (isCharacter(c, '(')) {
      openParentheses.push_back(offset + 1);
    } else if (isCharacter(c, ')') && !openParentheses.empty()) {
      const std::size_t groupStart = openParentheses.back();
      openParentheses.pop_back();
      if (tail.weightColon(groupStart)) return true;
    }
    tail.append(c, offset);
  }
  return false;
}

StableDiffusionTopLevelSplitter::StableDiffusionTopLevelSplitter(std::string_view prompt)
    : prompt_(prompt), cursor_(prompt) {}

std::optional<std::string_view> StableDiffusionTopLevelSplitter::next() {
  if (finished_) return std::nullopt;
  for (std::string_view c = cursor_.next(); !c.empty(); c = cursor_.next()) {
    if (c.size() != 1) continue;
    switch (c[0]) {
      case '\\':
        cursor_.next();  // the next character is never interpreted
        break;
      case '(':
        ++openParentheses_;
        break;
      case '[':
        ++openSquareBrackets_;
        break;
      case ')':
        if (openParentheses_ > 0) --openParentheses_;
        break;
      case ']':
        if (openSquareBrackets_ > 0) --openSquareBrackets_;
        break;
      case ',':
        if (openParentheses_ == 0 && openSquareBrackets_ == 0) {
          const std::size_t comma = static_cast<std::size_t>(c.data() - prompt_.data());
          const std::string_view piece = prompt_.substr(pieceStart_, comma - pieceStart_);
          pieceStart_ = comma + 1;
          return piece;
        }
        break;
      default:
        break;
    }
  }
  finished_ = true;
  return prompt_.substr(pieceStart_);
}

}  // namespace lorvex
