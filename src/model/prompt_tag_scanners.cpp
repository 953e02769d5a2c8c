#include "model/prompt_tag_scanners.h"

#include <unicode/uchar.h>

#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex::prompt_syntax {

namespace {

// Length of the decimal digit (General_Category Nd) at `offset`, 0 when there is none.
std::size_t digitLength(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return 0;
  const auto lead = static_cast<unsigned char>(text[offset]);
  if (lead < 0x80) return (lead >= '0' && lead <= '9') ? 1 : 0;
  std::size_t next = offset;
  const char32_t scalar = text::decodeUTF8(text, next);
  return u_isdigit(static_cast<UChar32>(scalar)) ? next - offset : 0;
}

std::size_t skipDigits(std::string_view text, std::size_t offset) {
  while (const std::size_t length = digitLength(text, offset)) offset += length;
  return offset;
}

std::size_t skipWhitespace(std::string_view text, std::size_t offset) {
  while (offset < text.size()) {
    const std::size_t length = text::whiteSpaceLength(text, offset);
    if (length == 0) break;
    offset += length;
  }
  return offset;
}

// Start of the whitespace run that ends at `end`.
std::size_t skipWhitespaceBackward(std::string_view text, std::size_t end) {
  while (end > 0) {
    if (static_cast<unsigned char>(text[end - 1]) < 0x80) {
      if (text::whiteSpaceLength(text, end - 1) == 0) break;
      --end;
      continue;
    }
    std::size_t length = 0;
    for (std::size_t candidate = 2; candidate <= 3 && candidate <= end; ++candidate) {
      if (text::whiteSpaceLength(text, end - candidate) == candidate) {
        length = candidate;
        break;
      }
    }
    if (length == 0) break;
    end -= length;
  }
  return end;
}

std::size_t colonRunLength(std::string_view text, std::size_t offset) {
  std::size_t end = offset;
  while (end < text.size() && text[end] == ':') ++end;
  return end - offset;
}

bool hasColonPairAt(std::string_view text, std::size_t offset) {
  return offset + 2 <= text.size() && text[offset] == ':' && text[offset + 1] == ':';
}

// The number part "[+-]?(?:\d+(?:\.\d+)?|\.\d+)" at `offset`: its end, or nothing.
std::optional<std::size_t> numberEnd(std::string_view text, std::size_t offset) {
  std::size_t i = offset;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (digitLength(text, i) != 0) {
    i = skipDigits(text, i);
    if (i < text.size() && text[i] == '.' && digitLength(text, i + 1) != 0) i = skipDigits(text, i + 1);
    return i;
  }
  if (i < text.size() && text[i] == '.' && digitLength(text, i + 1) != 0) return skipDigits(text, i + 1);
  return std::nullopt;
}

}  // namespace

std::size_t weightPrefixLength(std::string_view text) {
  const auto end = numberEnd(text, 0);
  if (!end) return 0;
  const std::size_t colons = colonRunLength(text, *end);
  return colons >= 2 ? *end + colons : 0;
}

std::size_t leadingColonPairsLength(std::string_view text) {
  std::size_t matched = 0;
  for (;;) {
    const std::size_t pair = skipWhitespace(text, matched);
    if (!hasColonPairAt(text, pair)) return matched;
    matched = pair + 2;
  }
}

std::size_t trailingColonPairsStart(std::string_view text) {
  std::size_t position = text.size();
  if (position < 2 || !hasColonPairAt(text, position - 2)) return text.size();
  // Pairs are aligned to the end; whitespace may stand before each pair.
  for (;;) {
    position -= 2;
    const std::size_t beforeSpace = skipWhitespaceBackward(text, position);
    if (beforeSpace >= 2 && hasColonPairAt(text, beforeSpace - 2)) {
      position = beforeSpace;
      continue;
    }
    return beforeSpace;
  }
}

std::size_t leadingOpenBracketsLength(std::string_view text) {
  std::size_t length = 0;
  while (length < text.size() && (text[length] == '{' || text[length] == '[')) ++length;
  return length;
}

std::size_t trailingCloseBracketsStart(std::string_view text) {
  std::size_t start = text.size();
  while (start > 0 && (text[start - 1] == '}' || text[start - 1] == ']')) --start;
  return start;
}

std::optional<Match> findWeight(std::string_view text, std::size_t from) {
  std::size_t position = from;
  while (position < text.size()) {
    const auto end = numberEnd(text, position);
    if (end) {
      const std::size_t colons = colonRunLength(text, *end);
      if (colons >= 2) return Match{position, *end + colons};
      // Every start inside this number reads to the same end and fails the same way.
      position = *end;
      continue;
    }
    std::size_t next = position;
    text::decodeUTF8(text, next);
    position = next;
  }
  return std::nullopt;
}

std::optional<Match> findWhitespaceBeforeColons(std::string_view text) {
  std::size_t position = 0;
  while (position < text.size()) {
    if (text::whiteSpaceLength(text, position) == 0) {
      std::size_t next = position;
      text::decodeUTF8(text, next);
      position = next;
      continue;
    }
    const std::size_t runEnd = skipWhitespace(text, position);
    const std::size_t colons = colonRunLength(text, runEnd);
    // "::+" may give back a colon to "\S", so three colons always do.
    if (colons >= 3 ||
        (colons == 2 && runEnd + 2 < text.size() && text::whiteSpaceLength(text, runEnd + 2) == 0)) {
      return Match{position, runEnd};
    }
    position = runEnd;
  }
  return std::nullopt;
}

}  // namespace lorvex::prompt_syntax
