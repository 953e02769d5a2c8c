// Arbitrary bytes through the text kernel: number parsing and formatting, path standardisation,
// and the Unicode helpers (on repaired UTF-8 where a function requires valid input). Aborts on
// any broken invariant.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "model/text/graphemes.h"
#include "model/text/numbers.h"
#include "model/text/paths.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void checkNumbers(std::string_view bytes) {
  if (const auto value = lorvex::text::parseInt64(bytes)) {
    // Only sign and ASCII digits get here, and the value reads back the same.
    require(lorvex::text::parseInt64(std::to_string(*value)) == value);
  }
  if (const auto value = lorvex::text::parseReal(bytes)) {
    require(std::isfinite(*value));
    const std::string text = lorvex::text::formatDouble(*value);
    const auto again = lorvex::text::parseReal(text);
    require(again.has_value() &&
            std::bit_cast<std::uint64_t>(*again) == std::bit_cast<std::uint64_t>(*value));
    require(lorvex::text::formatDouble(*again) == text);
  }
  if (bytes.size() >= sizeof(double)) {
    double value;
    std::memcpy(&value, bytes.data(), sizeof value);
    const std::string text = lorvex::text::formatDouble(value);
    if (std::isfinite(value)) {
      const auto again = lorvex::text::parseReal(text);
      require(again.has_value() &&
              std::bit_cast<std::uint64_t>(*again) == std::bit_cast<std::uint64_t>(value));
    } else {
      require(!lorvex::text::parseReal(text).has_value());
    }
  }
}

void checkPaths(std::string_view bytes) {
  const std::string path = lorvex::text::standardizedPath(bytes);
  if (bytes.empty()) {
    require(path.empty());
    return;
  }
  if (path.empty()) return;  // relative input without a working directory
  require(path.front() == '/');
  require(path == "/" || path.back() != '/');
  require(path.find("//") == std::string::npos);
  require(path.find("/./") == std::string::npos && path.find("/../") == std::string::npos);
  require(lorvex::text::standardizedPath(path) == path);
  require(lorvex::text::isPathAtOrUnder(path, path));
  require(lorvex::text::isPathAtOrUnder(path, "/"));
}

void checkUnicode(std::string_view bytes) {
  const std::string text = lorvex::text::repairedUTF8(bytes);
  require(lorvex::text::isValidUTF8(text));
  require(lorvex::text::isValidUTF8(bytes) == (text == bytes));

  const std::string_view trimmed = lorvex::text::trimmedWhitespace(bytes);
  require(lorvex::text::trimmedWhitespace(trimmed) == trimmed);
  const std::string collapsed = lorvex::text::collapsedWhitespace(text);
  require(lorvex::text::isValidUTF8(collapsed));
  require(lorvex::text::collapsedWhitespace(collapsed) == collapsed);
  if (const auto normalized = lorvex::text::normalizedWhitespace(text)) {
    require(lorvex::text::normalizedWhitespace(*normalized) == normalized);
  }

  const std::string composed = lorvex::text::nfc(text);
  require(lorvex::text::isValidUTF8(composed));
  require(lorvex::text::nfc(composed) == composed);
  const std::string lower = lorvex::text::lowercased(text);
  require(lorvex::text::isValidUTF8(lower));

  const auto boundaries = lorvex::text::graphemeBoundaries(text);
  require(!boundaries.empty() && boundaries.front() == 0 && boundaries.back() == text.size());
  for (std::size_t i = 1; i < boundaries.size(); ++i) {
    require(boundaries[i - 1] < boundaries[i]);
    require(boundaries[i] == text.size() || (static_cast<unsigned char>(text[boundaries[i]]) & 0xC0) != 0x80);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  checkNumbers(bytes);
  checkPaths(bytes);
  checkUnicode(bytes);
  return 0;
}
