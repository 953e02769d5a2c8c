#include "ui/common/localization_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace lorvex::ui {
namespace {

using Kind = FormatArgumentKind;

TEST(LocalizationFormatTest, WritesEachKnownPlaceholder) {
  const struct {
    std::string format;
    FormatArguments arguments;
    std::string separator;
    std::string expected;
  } cases[] = {
      {"%ld images", {std::int64_t{3}}, ".", "3 images"},
      {"%d", {std::int64_t{-42}}, ".", "-42"},
      {"%ld", {std::numeric_limits<std::int64_t>::min()}, ".", "-9223372036854775808"},
      {"%ld", {std::int64_t{1234567}}, ",", "1234567"},  // no grouping
      {"%f", {2.5}, ".", "2.500000"},
      {"%f", {2.5}, ",", "2,500000"},
      {"%.1f s", {2.5}, ".", "2.5 s"},
      {"%.1f s", {2.5}, ",", "2,5 s"},
      {"%.1f",
       {2.5},
       "\xD9\xAB",
       "2\xD9\xAB"
       "5"},  // a separator of several bytes
      {"%.2f", {1234567.891}, ".", "1234567.89"},
      {"%.0f", {2.6}, ",", "3"},
      {"%.3f", {-0.0005}, ".", "-0.001"},
      {"%f", {std::nan("")}, ".", "nan"},
      {"%.1f", {-std::numeric_limits<double>::infinity()}, ".", "-inf"},
      {"%@", {std::string("tag")}, ".", "tag"},
      {"%s!", {std::string("tag")}, ".", "tag!"},
      {"\xE3\x80\x8C%@\xE3\x80\x8D",
       {std::string("\xE7\x8C\xAB")},
       ".",
       "\xE3\x80\x8C\xE7\x8C\xAB\xE3\x80\x8D"},
      {"%@ %@", {std::string("%ld"), std::string("%@")}, ".", "%ld %@"},  // arguments are not formats
      {"100%% of %ld", {std::int64_t{5}}, ".", "100% of 5"},
      {"%%%ld%%", {std::int64_t{5}}, ".", "%5%"},
      {"%@ (%ld images)", {std::string("Add"), std::int64_t{3}}, ".", "Add (3 images)"},
      {"", {std::int64_t{1}}, ".", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatLocalizedText(c.format, c.arguments, c.separator), c.expected) << c.format;
  }
}

TEST(LocalizationFormatTest, PositionsChooseTheArgument) {
  const FormatArguments arguments = {std::int64_t{7}, std::int64_t{10}, std::string("x"), 1.25};
  const struct {
    std::string format;
    std::string expected;
  } cases[] = {
      {"%2$ld\xE4\xBB\xB6\xE4\xB8\xAD%1$ld",
       "10\xE4\xBB\xB6\xE4\xB8\xAD"
       "7"},
      {"%1$ld %1$ld", "7 7"},
      {"%3$@:%4$.1f", "x:1.2"},  // 1.25 is stored as 1.25 exactly and rounds to even
      {"%3$s", "x"},
      // Positions do not move the sequential order on.
      {"%2$ld %ld %ld", "10 7 10"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(formatLocalizedText(c.format, arguments, "."), c.expected) << c.format;
}

TEST(LocalizationFormatTest, AMismatchedArgumentIsWrittenByItsOwnKind) {
  const struct {
    std::string format;
    FormatArguments arguments;
    std::string expected;
  } cases[] = {
      {"%ld", {std::string("abc")}, "abc"},
      {"%@", {std::int64_t{5}}, "5"},
      {"%s", {0.5}, "0,500000"},
      {"%ld", {2.5}, "2,500000"},
      {"%.1f", {std::int64_t{3}}, "3"},
      {"%.2f", {std::string("n/a")}, "n/a"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(formatLocalizedText(c.format, c.arguments, ","), c.expected) << c.format;
}

TEST(LocalizationFormatTest, APlaceholderWithoutItsArgumentIsCopied) {
  const struct {
    std::string format;
    FormatArguments arguments;
    std::string expected;
  } cases[] = {
      {"%ld and %ld", {std::int64_t{1}}, "1 and %ld"},
      {"%3$@ / %1$@", {std::string("a"), std::string("b")}, "%3$@ / a"},
      {"%.1f s", {}, "%.1f s"},
      {"%@%@%@", {std::string("a")}, "a%@%@"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(formatLocalizedText(c.format, c.arguments, "."), c.expected) << c.format;
}

TEST(LocalizationFormatTest, UnknownSequencesAreCopiedAndTakeNoArgument) {
  const FormatArguments arguments = {std::int64_t{9}, std::int64_t{8}};
  const struct {
    std::string format;
    std::string expected;
  } cases[] = {
      {"%x %ld", "%x 9"},
      {"%5d %ld", "%5d 9"},
      {"%-s|%ld", "%-s|9"},
      {"%lld %ld", "%lld 9"},
      {"%i %u %ld", "%i %u 9"},
      {"%0$ld %ld", "%0$ld 9"},
      {"%1234567890$ld %ld", "%1234567890$ld 9"},
      {"%1$ %ld", "%1$ 9"},
      {"%.f %ld", "%.f 9"},
      {"%.2d %ld", "%.2d 9"},
      {"%.2@ %ld", "%.2@ 9"},
      {"%l %ld", "%l 9"},
      {"50% off %ld", "50% off 9"},
      {"%ld %", "9 %"},
      {"%", "%"},
      {"%1$", "%1$"},
      {"%.", "%."},
      {"%2$.", "%2$."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(formatLocalizedText(c.format, arguments, "."), c.expected) << c.format;
}

TEST(LocalizationFormatTest, FractionDigitsAreBounded) {
  const std::string written = formatLocalizedText("%.999f", FormatArguments{1.5}, ".");
  EXPECT_EQ(written, "1.5" + std::string(63, '0'));
  const std::string largest =
      formatLocalizedText("%.0f", FormatArguments{std::numeric_limits<double>::max()}, ".");
  EXPECT_EQ(largest.size(), 309u);
  EXPECT_EQ(largest.substr(0, 6), "179769");
  const std::string negative =
      formatLocalizedText("%.64f", FormatArguments{-std::numeric_limits<double>::max()}, ".");
  EXPECT_EQ(negative.size(), 1 + 309 + 1 + 64u);
}

TEST(LocalizationFormatTest, PlaceholdersListArgumentIndexAndKindInTextOrder) {
  const struct {
    std::string format;
    std::vector<FormatPlaceholder> expected;
  } cases[] = {
      {"no placeholders, 100%% sure", {}},
      {"%ld of %ld", {{0, Kind::integer}, {1, Kind::integer}}},
      {"%2$ld\xE4\xBB\xB6\xE4\xB8\xAD%1$ld", {{1, Kind::integer}, {0, Kind::integer}}},
      {"%@ (%d) %.1f %s %f",
       {{0, Kind::text}, {1, Kind::integer}, {2, Kind::decimal}, {3, Kind::text}, {4, Kind::decimal}}},
      {"%3$@ %x %lld %ld", {{2, Kind::text}, {0, Kind::integer}}},
  };
  for (const auto& c : cases) EXPECT_EQ(formatPlaceholders(c.format), c.expected) << c.format;
}

}  // namespace
}  // namespace lorvex::ui
