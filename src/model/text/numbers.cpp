#include "model/text/numbers.h"

#include <locale.h>
#include <stdlib.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace lorvex::text {

namespace {

bool isASCIIDigit(char c) {
  return c >= '0' && c <= '9';
}

// The C locale, created once and never freed: strtod_l reads it from any thread.
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

std::optional<std::int64_t> parseInt64(std::string_view text) {
  std::size_t start = 0;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) start = 1;
  if (start == text.size()) return std::nullopt;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (!isASCIIDigit(text[i])) return std::nullopt;
  }
  // from_chars takes a '-' but no '+'.
  const char* first = text.data() + (text[0] == '+' ? 1 : 0);
  const char* last = text.data() + text.size();
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

std::optional<double> parseReal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  // strtod would skip leading whitespace (of the C locale) silently.
  const char first = text[0];
  if (first == ' ' || (first >= '\t' && first <= '\r')) return std::nullopt;
  // A C string for strtod_l; a NUL inside the text ends the parse early and so fails the
  // whole-text check below.
  std::array<char, 64> small{};
  std::string large;
  const char* cstring;
  if (text.size() < small.size()) {
    std::memcpy(small.data(), text.data(), text.size());
    small[text.size()] = '\0';
    cstring = small.data();
  } else {
    large.assign(text);
    cstring = large.c_str();
  }
  const locale_t locale = cLocale();
  if (locale == static_cast<locale_t>(nullptr)) return std::nullopt;
  char* end = nullptr;
  const double value = strtod_l(cstring, &end, locale);
  if (end != cstring + text.size()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::string formatDouble(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";

  // Shortest round-trip digits in scientific form: "d[.ddd]e±XX".
  std::array<char, 64> buffer{};
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific);
  const std::string_view scientific(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
  const std::size_t ePosition = scientific.find('e');
  std::string digits;
  for (char c : scientific.substr(0, ePosition)) {
    if (isASCIIDigit(c)) digits.push_back(c);
  }
  int exponent = 0;  // value = d.ddd × 10^exponent
  std::from_chars(scientific.data() + ePosition + 1 + (scientific[ePosition + 1] == '+' ? 1 : 0),
                  scientific.data() + scientific.size(), exponent);

  std::string out;
  if (std::signbit(value)) out.push_back('-');
  const bool exponential = exponent < -4 || std::fabs(value) > 0x1.0p53;
  if (exponential) {
    out.push_back(digits[0]);
    if (digits.size() > 1) {
      out.push_back('.');
      out.append(digits, 1);
    }
    out.push_back('e');
    out.push_back(exponent < 0 ? '-' : '+');
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) out.push_back('0');
    out += std::to_string(magnitude);
    return out;
  }
  if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
    return out;
  }
  const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() <= integerDigits) {
    out += digits;
    out.append(integerDigits - digits.size(), '0');
    out += ".0";
  } else {
    out.append(digits, 0, integerDigits);
    out.push_back('.');
    out.append(digits, integerDigits);
  }
  return out;
}

}  // namespace lorvex::text
