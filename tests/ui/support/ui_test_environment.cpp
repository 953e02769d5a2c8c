#include "ui/support/ui_test_environment.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "support/temporary_folder.h"

namespace lorvex::ui::testing {

namespace {

struct TemporaryHome {
  lorvex::testing::TemporaryFolder folder;

  TemporaryHome() {
    pointHomeAt(folder.path());
    // No session bus of the user's: nothing may reach the desktop's file manager or settings.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    // Offscreen, on a screen of a desktop's size rather than the platform's default of 800x600, which
    // is smaller than the main window's minimum.
    const std::filesystem::path screen = folder.path() / "offscreen-screen.json";
    if (std::FILE* file = std::fopen(screen.c_str(), "w")) {
      std::fputs(R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1920, "height": 1080, )"
                 R"("logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})",
                 file);
      std::fclose(file);
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform == nullptr || std::string_view(platform) == "offscreen")
      setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screen.string()).c_str(), 1);
  }
};

}  // namespace

void pointHomeAt(const std::filesystem::path& home) {
  const auto make = [&home](const char* name, const char* relative) {
    const std::filesystem::path folder = home / relative;
    std::filesystem::create_directories(folder);
    setenv(name, folder.c_str(), 1);
  };
  std::filesystem::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  make("XDG_CONFIG_HOME", ".config");
  make("XDG_DATA_HOME", ".local/share");
  make("XDG_CACHE_HOME", ".cache");
  make("XDG_STATE_HOME", ".local/state");
  make("XDG_RUNTIME_DIR", "runtime");
  std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace);
}

const std::filesystem::path& isolateHomeForProcess() {
  static const TemporaryHome home;
  return home.folder.path();
}

}  // namespace lorvex::ui::testing
