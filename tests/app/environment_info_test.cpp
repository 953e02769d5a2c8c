#include "app/environment_info.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temporary_folder.h"

namespace lorvex::app {
namespace {

TEST(EnvironmentInfoTest, WritesTheProgramTheSystemAndTheMachine) {
  struct Case {
    const char* name;
    EnvironmentFacts facts;
    std::string expected;
  };
  const Case cases[] = {
      {"everything known",
       {"0.1.0", "abc1234", "6.1.0-18-amd64", "Debian GNU/Linux 12 (bookworm)", "ThinkPad X1"},
       "Lorvex 0.1.0 (abc1234)\nLinux 6.1.0-18-amd64 (Debian GNU/Linux 12 (bookworm))\nMachine: ThinkPad X1"},
      {"no machine: two lines",
       {"0.1.0", "abc1234", "6.1.0", "Debian", std::nullopt},
       "Lorvex 0.1.0 (abc1234)\nLinux 6.1.0 (Debian)"},
      {"an empty machine is no machine",
       {"0.1.0", "abc1234", "6.1.0", "Debian", ""},
       "Lorvex 0.1.0 (abc1234)\nLinux 6.1.0 (Debian)"},
      {"no build",
       {"0.1.0", "", "6.1.0", "Debian", std::nullopt},
       "Lorvex 0.1.0 (unknown)\nLinux 6.1.0 (Debian)"},
      {"nothing known", {"", "", "", std::nullopt, std::nullopt}, "Lorvex unknown (unknown)\nLinux unknown"},
  };
  for (const Case& c : cases) EXPECT_EQ(makeEnvironmentInfo(c.facts), c.expected) << c.name;
}

TEST(EnvironmentInfoTest, ReadsThePrettyNameOfAnOsReleaseText) {
  const std::pair<std::string_view, std::optional<std::string>> cases[] = {
      {"NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
       "Debian GNU/Linux 12 (bookworm)"},
      {"PRETTY_NAME='Arch Linux'", "Arch Linux"},
      {"PRETTY_NAME=Fedora\r\n", "Fedora"},
      {"PRETTY_NAME=\"A \\\"quoted\\\" name\"", "A \"quoted\" name"},
      {"PRETTY_NAME=\"first\"\nPRETTY_NAME=\"second\"", "second"},
      {"NAME=Debian\n#PRETTY_NAME=commented", std::nullopt},
      {"PRETTY_NAME=\"\"", std::nullopt},
      {"PRETTY_NAME=\"\xff\xfe\"", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(osReleasePrettyName(text), expected) << text;
}

TEST(EnvironmentInfoTest, ReadsTheMachineNameTrimmedOrNothing) {
  lorvex::testing::TemporaryFolder folder;
  const auto write = [&](const char* name, std::string_view bytes) {
    const auto path = folder.path() / name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  };
  EXPECT_EQ(readHardwareModel(write("plain", "20XW0055GE\n")), "20XW0055GE");
  EXPECT_EQ(readHardwareModel(write("spaced", "  Standard PC (Q35 + ICH9, 2009) \n")),
            "Standard PC (Q35 + ICH9, 2009)");
  EXPECT_EQ(readHardwareModel(write("blank", " \n\t")), std::nullopt);
  EXPECT_EQ(readHardwareModel(write("empty", "")), std::nullopt);
  EXPECT_EQ(readHardwareModel(write("latin1", "Caf\xe9 PC")), std::nullopt);
  EXPECT_EQ(readHardwareModel(folder.path() / "absent"), std::nullopt);
  EXPECT_EQ(readHardwareModel(folder.path()), std::nullopt);  // a folder is no product name
}

TEST(EnvironmentInfoTest, TheRunningProgramWritesItsVersionAndLinux) {
  const std::string text = makeEnvironmentInfo(currentEnvironmentFacts());
  EXPECT_TRUE(text.starts_with("Lorvex 0.1.0 (")) << text;
  EXPECT_NE(text.find("\nLinux "), std::string::npos) << text;
  EXPECT_EQ(text.find("unknown)\nLinux unknown"), std::string::npos) << text;
}

TEST(EnvironmentInfoTest, SupportPagesNeedAConfiguredHttpsSite) {
  struct Case {
    std::string_view base;
    SupportPage page;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"", SupportPage::support, std::nullopt},
      {"https://", SupportPage::support, std::nullopt},
      {"http://example.org", SupportPage::support, std::nullopt},
      {"example.org", SupportPage::privacy, std::nullopt},
      {"https://example.org", SupportPage::support, "https://example.org/support"},
      {"https://example.org/", SupportPage::privacy, "https://example.org/privacy"},
      {"https://example.org//", SupportPage::donate, "https://example.org/donate"},
  };
  for (const Case& c : cases) EXPECT_EQ(supportPageAddress(c.base, c.page), c.expected) << c.base;
}

}  // namespace
}  // namespace lorvex::app
