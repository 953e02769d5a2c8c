#include "model/text/numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>

namespace lorvex::text {
namespace {

TEST(NumbersTest, ParsesInt64AsSignAndASCIIDigitsOnly) {
  const struct {
    std::string text;
    std::optional<std::int64_t> expected;
  } cases[] = {
      {"0", 0},
      {"007", 7},
      {"+5", 5},
      {"-5", -5},
      {"-0", 0},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      {"9223372036854775808", std::nullopt},
      {"-9223372036854775809", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"+-1", std::nullopt},
      {"--1", std::nullopt},
      {"++1", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"1.0", std::nullopt},
      {"1e3", std::nullopt},
      {"0x10", std::nullopt},
      {"\xEF\xBC\x91", std::nullopt},  // fullwidth 1
      {"\xD9\xA1", std::nullopt},      // Arabic-Indic 1
      {std::string("1\0", 2), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseInt64(c.text), c.expected) << c.text;
}

TEST(NumbersTest, ParsesRealsInCStrtodSyntaxOverTheWholeText) {
  const struct {
    std::string text;
    std::optional<double> expected;
  } cases[] = {
      {"1.5", 1.5},
      {"+1.5", 1.5},
      {"-2", -2.0},
      {".5", 0.5},
      {"5.", 5.0},
      {"1e5", 1e5},
      {"1E-2", 0.01},
      {"1700000000.123", 1700000000.123},
      {"0x1p3", 8.0},  // hex floats are strtod syntax
      {"0X1.8P1", 3.0},
      {"4.9e-324", 4.9e-324},  // subnormal
      {"1e-400", 0.0},         // underflow rounds to zero: still a finite number
      {"1.7976931348623157e308", DBL_MAX},
      {"1e309", std::nullopt},  // overflow
      {"-1e309", std::nullopt},
      {"nan", std::nullopt},
      {"NaN", std::nullopt},
      {"nan(1)", std::nullopt},
      {"inf", std::nullopt},
      {"-Infinity", std::nullopt},
      {"", std::nullopt},
      {" 1", std::nullopt},
      {"\t1", std::nullopt},
      {"1 ", std::nullopt},
      {"1,5", std::nullopt},
      {"1e", std::nullopt},
      {"e5", std::nullopt},
      {".", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"1.5f", std::nullopt},
      {"\xEF\xBC\x91", std::nullopt},
      {std::string("1\0", 2), std::nullopt},
      {std::string(100, '1'), 1.1111111111111111e99},  // longer than the stack buffer
  };
  for (const auto& c : cases) {
    const auto parsed = parseReal(c.text);
    ASSERT_EQ(parsed.has_value(), c.expected.has_value()) << c.text;
    if (parsed) {
      EXPECT_EQ(*parsed, *c.expected) << c.text;
    }
  }
  const auto negativeZero = parseReal("-0.0");
  ASSERT_TRUE(negativeZero.has_value());
  EXPECT_TRUE(std::signbit(*negativeZero));
}

TEST(NumbersTest, ParsingIgnoresTheProcessLocale) {
  // A locale with a decimal comma, when the machine has one; the C locale otherwise.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  const bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  EXPECT_EQ(parseReal("1.5"), std::optional<double>(1.5));
  EXPECT_EQ(parseReal("1,5"), std::nullopt);
  EXPECT_EQ(formatDouble(0.5), "0.5");
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!switched) GTEST_SKIP() << "no de_DE locale here; checked under the C locale only";
}

TEST(NumbersTest, FormatsDoublesAsShortestRoundTripText) {
  const struct {
    double value;
    std::string expected;
  } cases[] = {
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {1.0, "1.0"},
      {-1.5, "-1.5"},
      {0.5, "0.5"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"},
      {100.0, "100.0"},
      {123.456, "123.456"},
      {1700000000.0, "1700000000.0"},
      {1700000000.25, "1700000000.25"},
      {1733582400.123456, "1733582400.123456"},
      {1e15, "1000000000000000.0"},
      {9007199254740992.0, "9007199254740992.0"},  // 2^53: last decimal form
      {9007199254740994.0, "9.007199254740994e+15"},
      {1e16, "1e+16"},
      {1.5e300, "1.5e+300"},
      {1e100, "1e+100"},
      {0.0001, "0.0001"},  // the smallest decimal form
      {0.00012, "0.00012"},
      {9.999e-5, "9.999e-05"},
      {1e-5, "1e-05"},
      {1.5e-7, "1.5e-07"},
      {5e-324, "5e-324"},
      {2.2250738585072014e-308, "2.2250738585072014e-308"},
      {DBL_MAX, "1.7976931348623157e+308"},
      {-DBL_MAX, "-1.7976931348623157e+308"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatDouble(c.value), c.expected) << c.expected;
}

TEST(NumbersTest, FormattedDoublesReadBackBitForBit) {
  std::mt19937_64 random(42);
  for (int i = 0; i < 200000; ++i) {
    const auto value = std::bit_cast<double>(random());
    if (!std::isfinite(value)) continue;
    const std::string text = formatDouble(value);
    const auto parsed = parseReal(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(*parsed), std::bit_cast<std::uint64_t>(value)) << text;
  }
  // Whole seconds and millisecond times: the shapes of stored modification dates.
  for (std::int64_t seconds = 1'600'000'000; seconds < 1'600'000'000 + 2000; ++seconds) {
    const double value = static_cast<double>(seconds) + static_cast<double>(seconds % 1000) / 1000.0;
    ASSERT_EQ(parseReal(formatDouble(value)), std::optional<double>(value));
  }
}

}  // namespace
}  // namespace lorvex::text
