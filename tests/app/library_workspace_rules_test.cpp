#include "app/library_workspace_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lorvex::app {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(LibraryWorkspaceRulesTest, TheRememberedWidthIsUsableOrTheDefault) {
  const std::pair<std::optional<double>, double> cases[] = {
      {std::nullopt, 360}, {0, 360},   {-1, 360},  {kNaN, 360}, {kInfinity, 360}, {-kInfinity, 360},
      {1000, 520},         {100, 320}, {400, 400}, {320, 320},  {520, 520},       {400.3, 400.3},
  };
  for (const auto& [stored, expected] : cases) {
    EXPECT_EQ(effectiveRememberedWidth(stored), expected) << (stored ? std::to_string(*stored) : "none");
  }
}

TEST(LibraryWorkspaceRulesTest, AReportedWidthIsStoredOnlyWhenItIsTheUsersChoice) {
  struct Case {
    std::optional<double> reported;
    std::optional<double> stored;
    std::optional<double> expected;
  };
  const Case cases[] = {
      {319.5, std::nullopt, 320},  // just below the minimum: the minimum
      {319.5, 320, std::nullopt},  // already there
      {318, std::nullopt, std::nullopt},
      {522, std::nullopt, std::nullopt},
      {520.5, 400, 520},           // just above the maximum: the maximum
      {400.3, 400, std::nullopt},  // rounding, not a choice
      {400.5, 400, 400.5},
      {399.5, 400, 399.5},
      {360.4, std::nullopt, std::nullopt},  // the default counts as stored
      {std::nullopt, 400, std::nullopt},
      {0, 400, std::nullopt},
      {-1, 400, std::nullopt},
      {kNaN, 400, std::nullopt},
      {kInfinity, 400, std::nullopt},
      {520, 1000, std::nullopt},  // 1000 reads as 520: not rewritten
      {500, 1000, 500},
      {400, kNaN, 400},  // an unusable value is replaced by the next real choice
      {360, kNaN, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "reported " << (c.reported ? *c.reported : -999) << " stored "
                                    << (c.stored ? *c.stored : -999));
    EXPECT_EQ(rememberedWidthToStore(c.reported, c.stored), c.expected);
  }
}

}  // namespace
}  // namespace lorvex::app
