#include "model/text/whitespace.h"

#include "model/text/unicode.h"

namespace lorvex::text {

namespace {

// Length in bytes of the whitespace scalar starting at `offset`, or 0 when the scalar there is
// not whitespace. Invalid bytes are never whitespace.
std::size_t whiteSpaceLengthAt(std::string_view text, std::size_t offset) {
  const auto lead = static_cast<unsigned char>(text[offset]);
  if (lead < 0x80) return (lead == 0x20 || (lead >= 0x09 && lead <= 0x0D)) ? 1 : 0;
  // Every non-ASCII White_Space scalar starts with 0xC2 (U+0085, U+00A0), 0xE1 (U+1680),
  // 0xE2 (U+2000..U+205F) or 0xE3 (U+3000).
  if (lead != 0xC2 && lead != 0xE1 && lead != 0xE2 && lead != 0xE3) return 0;
  const std::size_t needed = lead == 0xC2 ? 2 : 3;
  if (text.size() - offset < needed) return 0;
  for (std::size_t k = 1; k < needed; ++k) {
    if ((static_cast<unsigned char>(text[offset + k]) & 0xC0) != 0x80) return 0;
  }
  std::size_t next = offset;
  return isWhiteSpace(decodeUTF8(text, next)) ? needed : 0;
}

// Length of the whitespace scalar that ends at `end`, or 0.
std::size_t whiteSpaceLengthBefore(std::string_view text, std::size_t end) {
  if (end == 0) return 0;
  if (static_cast<unsigned char>(text[end - 1]) < 0x80) return whiteSpaceLengthAt(text, end - 1);
  for (std::size_t length = 2; length <= 3 && length <= end; ++length) {
    if (whiteSpaceLengthAt(text, end - length) == length) return length;
  }
  return 0;
}

}  // namespace

std::size_t whiteSpaceLength(std::string_view text, std::size_t offset) {
  return whiteSpaceLengthAt(text, offset);
}

std::string_view trimmedWhitespace(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t length = whiteSpaceLengthAt(text, begin);
    if (length == 0) break;
    begin += length;
  }
  std::size_t end = text.size();
  while (end > begin) {
    const std::size_t length = whiteSpaceLengthBefore(text, end);
    if (length == 0) break;
    end -= length;
  }
  return text.substr(begin, end - begin);
}

std::string collapsedWhitespace(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t runStart = 0;  // start of the text not yet copied
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t length = whiteSpaceLengthAt(text, i);
    if (length == 0) {
      ++i;
      continue;
    }
    out.append(text.data() + runStart, i - runStart);
    out.push_back(' ');
    while (length != 0) {
      i += length;
      length = i < text.size() ? whiteSpaceLengthAt(text, i) : 0;
    }
    runStart = i;
  }
  out.append(text.data() + runStart, text.size() - runStart);
  return out;
}

std::optional<std::string> normalizedWhitespace(std::string_view text) {
  std::string collapsed = collapsedWhitespace(trimmedWhitespace(text));
  if (collapsed.empty()) return std::nullopt;
  return collapsed;
}

std::optional<std::string> trimmedNonEmpty(std::string_view text) {
  const std::string_view trimmed = trimmedWhitespace(text);
  if (trimmed.empty()) return std::nullopt;
  return std::string(trimmed);
}

}  // namespace lorvex::text
