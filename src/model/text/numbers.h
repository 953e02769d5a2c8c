// Numbers read from and written as text, independent of the process locale (Qt sets it from the
// environment; strtod, printf("%f") and std::to_string(double) must never see data).
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lorvex::text {

// An optional '+' or '-' and one or more ASCII digits covering the whole text, within int64.
// Anything else (spaces, other digits, overflow) is nothing.
std::optional<std::int64_t> parseInt64(std::string_view text);

// One number in the C locale's strtod syntax covering the whole text, no leading whitespace.
// The result must be finite: "nan", "inf" and literals that overflow read as nothing; a literal
// that underflows reads as strtod rounds it (a subnormal or zero). Hexadecimal floats ("0x1p3")
// are strtod syntax and read as numbers.
std::optional<double> parseReal(std::string_view text);

// The shortest digits that read back as exactly `value`: plain decimal notation where whole
// numbers keep ".0" ("1700000000.0", "0.5"); exponent form below 1e-4 and above 2^53, with a sign
// and at least two exponent digits ("1e-05", "1.5e+16"); "-0.0", "nan", "inf" and "-inf" as
// such. Names stored files (thumbnail keys), so its output must never change.
std::string formatDouble(double value);

}  // namespace lorvex::text
