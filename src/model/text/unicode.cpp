#include "model/text/unicode.h"

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cstdint>

namespace lorvex::text {

namespace {

// Length of the well-formed sequence starting at `i`, or 0 when the bytes there are ill-formed.
// `maximalSubpart` receives the length of the maximal invalid subpart in that case (at least 1),
// the unit that one U+FFFD replaces.
std::size_t wellFormedLength(std::string_view bytes, std::size_t i, std::size_t& maximalSubpart) {
  const auto byteAt = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned char lead = byteAt(i);
  const std::size_t remaining = bytes.size() - i;
  maximalSubpart = 1;
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlongs
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlongs
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (k >= remaining) return 0;
    const unsigned char b = byteAt(i + k);
    const unsigned char lo = k == 1 ? low : 0x80;
    const unsigned char hi = k == 1 ? high : 0xBF;
    if (b < lo || b > hi) return 0;
    maximalSubpart = k + 1;
  }
  return length;
}

}  // namespace

bool isASCII(std::string_view text) {
  // Eight bytes at a time: the common case is a long ASCII prompt.
  std::size_t i = 0;
  const std::size_t n = text.size();
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word = 0;
    for (std::size_t k = 0; k < 8; ++k) {
      word |= static_cast<std::uint64_t>(static_cast<unsigned char>(text[i + k])) << (8 * k);
    }
    if (word & 0x8080808080808080ULL) return false;
  }
  for (; i < n; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

bool isValidUTF8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      // Skip ASCII eight bytes at a time.
      while (i + 8 <= bytes.size() && isASCII(bytes.substr(i, 8))) i += 8;
      continue;
    }
    std::size_t subpart;
    const std::size_t length = wellFormedLength(bytes, i, subpart);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string repairedUTF8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t subpart;
    const std::size_t length = wellFormedLength(bytes, i, subpart);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      i += subpart;
    } else {
      out.append(bytes.data() + i, length);
      i += length;
    }
  }
  return out;
}

char32_t decodeUTF8(std::string_view text, std::size_t& offset) {
  const auto byteAt = [&](std::size_t k) {
    return static_cast<char32_t>(static_cast<unsigned char>(text[k]));
  };
  const char32_t lead = byteAt(offset);
  if (lead < 0x80) {
    offset += 1;
    return lead;
  }
  std::size_t subpart;
  const std::size_t length = wellFormedLength(text, offset, subpart);
  char32_t scalar;
  switch (length) {
    case 2:
      scalar = ((lead & 0x1F) << 6) | (byteAt(offset + 1) & 0x3F);
      break;
    case 3:
      scalar = ((lead & 0x0F) << 12) | ((byteAt(offset + 1) & 0x3F) << 6) | (byteAt(offset + 2) & 0x3F);
      break;
    case 4:
      scalar = ((lead & 0x07) << 18) | ((byteAt(offset + 1) & 0x3F) << 12) |
               ((byteAt(offset + 2) & 0x3F) << 6) | (byteAt(offset + 3) & 0x3F);
      break;
    default:
      offset += subpart;
      return kReplacementCharacter;
  }
  offset += length;
  return scalar;
}

void appendUTF8(std::string& out, char32_t scalar) {
  if (scalar < 0x80) {
    out.push_back(static_cast<char>(scalar));
  } else if (scalar < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (scalar >> 6)));
    out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
  } else if (scalar < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (scalar >> 12)));
    out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (scalar >> 18)));
    out.push_back(static_cast<char>(0x80 | ((scalar >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
  }
}

bool isWhiteSpace(char32_t scalar) {
  if (scalar < 0x80) return scalar == 0x20 || (scalar >= 0x09 && scalar <= 0x0D);
  return u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_WHITE_SPACE) != 0;
}

std::string lowercased(std::string_view text) {
  std::string out(text);
  if (isASCII(text)) {
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  // The whole text goes to ICU: the final-sigma rule looks at the letters around each Σ,
  // ASCII ones included.
  out.clear();
  out.reserve(text.size());
  icu::StringByteSink<std::string> sink(&out);
  UErrorCode status = U_ZERO_ERROR;
  icu::CaseMap::utf8ToLower("", 0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink,
                            nullptr, status);
  if (U_FAILURE(status)) return std::string(text);
  return out;
}

std::string caseFolded(std::string_view text) {
  // For ASCII, folding is lowercasing.
  if (isASCII(text)) return lowercased(text);
  std::string out;
  out.reserve(text.size());
  icu::StringByteSink<std::string> sink(&out);
  UErrorCode status = U_ZERO_ERROR;
  icu::CaseMap::utf8Fold(U_FOLD_CASE_DEFAULT,
                         icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink, nullptr,
                         status);
  if (U_FAILURE(status)) return lowercased(text);
  return out;
}

namespace {

// `text` in the normal form of the normaliser `instance` gives (the text itself when ICU cannot
// give one).
std::string normalized(std::string_view text, const icu::Normalizer2* (*instance)(UErrorCode&)) {
  if (isASCII(text)) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = instance(status);
  if (U_FAILURE(status)) return std::string(text);
  const icu::StringPiece piece(text.data(), static_cast<int32_t>(text.size()));
  if (normalizer->isNormalizedUTF8(piece, status) && U_SUCCESS(status)) return std::string(text);
  status = U_ZERO_ERROR;
  std::string out;
  out.reserve(text.size());
  icu::StringByteSink<std::string> sink(&out);
  normalizer->normalizeUTF8(0, piece, sink, nullptr, status);
  if (U_FAILURE(status)) return std::string(text);
  return out;
}

std::string nfd(std::string_view text) {
  return normalized(text, &icu::Normalizer2::getNFDInstance);
}

}  // namespace

std::string nfc(std::string_view text) {
  return normalized(text, &icu::Normalizer2::getNFCInstance);
}

std::string caselessKey(std::string_view text) {
  // ASCII needs neither normalisation, and folds by lowercasing.
  if (isASCII(text)) return lowercased(text);
  return nfd(caseFolded(nfd(text)));
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (isASCII(a) && isASCII(b)) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
  }
  return caselessKey(a) == caselessKey(b);
}

}  // namespace lorvex::text
