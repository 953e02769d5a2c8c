// The QApplication of the review's widget tests: made once, offscreen, with HOME and the XDG
// folders in a temporary folder so nothing reaches the real user's files.
#pragma once

#include <cstdlib>
#include <filesystem>

#include <QApplication>

#include "platform/temporary_folder.h"

namespace lorvex::ui::testing {

inline QApplication& widgetApplication() {
  static QApplication* app = [] {
    static lorvex::testing::TemporaryFolder home;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("HOME", (home.path() / "home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home.path() / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home.path() / "config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home.path() / "cache").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (home.path() / "state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (home.path() / "runtime").c_str(), 1);
    std::filesystem::create_directories(home.path() / "runtime");
    std::filesystem::permissions(home.path() / "runtime", std::filesystem::perms::owner_all);
    static int argc = 1;
    static char name[] = "lorvex-review-test";
    static char* argv[] = {name, nullptr};
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
    return new QApplication(argc, argv);
  }();
  return *app;
}

}  // namespace lorvex::ui::testing
