#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/temporary_folder.h"
#include "services/ui_testing_launch.h"

namespace lorvex {
namespace {

using Arguments = std::vector<std::string>;

TEST(UITestingLaunchArguments, ParsingTable) {
  const std::string id64(64, 'a');
  const std::string id65(65, 'a');
  struct Case {
    Arguments arguments;
    std::optional<UITestingLaunchOptions> expected;
  };
  const UITestingLaunchOptions invalid{"invalid-invocation", false};
  const UITestingLaunchOptions invalidReset{"invalid-invocation", true};
  const std::vector<Case> cases{
      {{"lorvex"}, std::nullopt},
      {{"lorvex", "--ui-testing-reset"}, std::nullopt},
      {{"lorvex", "--ui-testing", "run-42"}, UITestingLaunchOptions{"run-42", false}},
      {{"lorvex", "--ui-testing-reset", "--ui-testing", "Run7"}, UITestingLaunchOptions{"Run7", true}},
      {{"lorvex", "--ui-testing", "run", "--ui-testing-reset"}, UITestingLaunchOptions{"run", true}},
      {{"lorvex", "--ui-testing", "--ui-testing-reset"}, UITestingLaunchOptions{"--ui-testing-reset", true}},
      {{"lorvex", "--ui-testing", id64}, UITestingLaunchOptions{id64, false}},
      {{"lorvex", "--ui-testing", id65}, invalid},
      {{"lorvex", "--ui-testing", "under_score"}, invalid},
      {{"lorvex", "--ui-testing", ""}, invalid},
      {{"lorvex", "--ui-testing"}, invalid},
      {{"lorvex", "--ui-testing", "../etc"}, invalid},
      {{"lorvex", "--ui-testing", "caf\u00e9"}, invalid},
      {{"lorvex", "--ui-testing", "a b", "--ui-testing-reset"}, invalidReset},
      // Only the first "--ui-testing" names the run.
      {{"lorvex", "--ui-testing", "bad/id", "--ui-testing", "good"}, invalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    EXPECT_EQ(parseUITestingLaunchArguments(c.arguments), c.expected);
  }
}

TEST(UITestingLaunchArguments, StrictReadingRefusesWhatTheLenientOneReplaces) {
  EXPECT_EQ(validatedUITestingLaunchArguments({"--ui-testing", "a_b"}), std::nullopt);
  EXPECT_EQ(validatedUITestingLaunchArguments({"--ui-testing"}), std::nullopt);
  EXPECT_EQ(validatedUITestingLaunchArguments({"x", "--ui-testing", "ok"}),
            (UITestingLaunchOptions{"ok", false}));
}

TEST(UITestingLaunchArguments, RunIdentifiersAreCheckedOnBytes) {
  for (int byte = 0; byte < 256; ++byte) {
    const bool expected = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || byte == '-';
    EXPECT_EQ(isAllowedRunIDByte(static_cast<unsigned char>(byte)), expected) << byte;
  }
  // Length counts bytes, not characters: 32 two-byte letters are 64 bytes, but not allowed bytes.
  EXPECT_FALSE(isValidRunID(std::string(32 * 2, '\xC3')));
  EXPECT_TRUE(isValidRunID(std::string(64, '-')));
  EXPECT_FALSE(isValidRunID(std::string(65, '-')));
}

TEST(UITestingLaunchArguments, EachRunHasItsOwnSettingsSuite) {
  testing::TemporaryFolder folder;
  platform::Settings standard = makeUserDefaults(std::nullopt, folder.path());
  platform::Settings run = makeUserDefaults(std::string("run-1"), folder.path());
  EXPECT_EQ(standard.filePath(), folder.path() / "app.lorvex.Lorvex.json");
  EXPECT_EQ(run.filePath(), folder.path() / "app.lorvex.UITests.run-1.json");
  run.setString("k", "v");
  EXPECT_EQ(standard.string("k"), std::nullopt);
}

}  // namespace
}  // namespace lorvex
