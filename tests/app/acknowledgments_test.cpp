#include "app/acknowledgments.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "support/temporary_folder.h"

namespace lorvex::app {
namespace {

TEST(AcknowledgmentsTest, ListsWhatTheProgramLinksEachWithItsOwnLicence) {
  std::vector<std::string_view> names;
  std::set<std::string_view> resources;
  for (const ThirdPartyComponent& component : thirdPartyComponents()) {
    names.push_back(component.name);
    EXPECT_TRUE(resources.insert(component.licenseResourceName).second) << component.name;
    EXPECT_TRUE(component.licenseResourceName.ends_with("-LICENSE")) << component.name;
  }
  EXPECT_EQ(names, (std::vector<std::string_view>{"Qt", "QCoro", "SQLite", "ICU", "nlohmann/json",
                                                  "libdeflate", "OpenSSL", "libspng", "libjpeg-turbo"}));
}

TEST(AcknowledgmentsTest, ReadsALicenceFileOrNothing) {
  lorvex::testing::TemporaryFolder folder;
  const auto write = [&](const char* name, std::string_view bytes) {
    std::ofstream(folder.path() / name, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  write("Good-LICENSE.txt", "Copyright \xc2\xa9 2024\nPermission is granted\n");
  write("Latin1-LICENSE.txt", "Copyright \xa9 2024\n");
  write("Empty-LICENSE.txt", "");
  write("NoExtension-LICENSE", "text");
  const std::string dir = folder.path().string();

  EXPECT_EQ(licenseText("Good-LICENSE", dir), "Copyright \xc2\xa9 2024\nPermission is granted\n");
  EXPECT_EQ(licenseText("Latin1-LICENSE", dir), std::nullopt);
  EXPECT_EQ(licenseText("Empty-LICENSE", dir), "");
  EXPECT_EQ(licenseText("NoExtension-LICENSE", dir), std::nullopt);
  EXPECT_EQ(licenseText("Missing-LICENSE", dir), std::nullopt);
}

TEST(AcknowledgmentsTest, TheBuiltInLicencesAreTheComponentsOwn) {
  // The build copies each component's copyright file in when the machine has it; scripts/setup
  // installs every one of them.
  for (const ThirdPartyComponent& component : thirdPartyComponents()) {
    const auto text = licenseText(component.licenseResourceName);
    ASSERT_TRUE(text.has_value()) << component.name;
    EXPECT_NE(text->find("Copyright"), std::string::npos) << component.name;
  }
}

}  // namespace
}  // namespace lorvex::app
