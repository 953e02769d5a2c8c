// What the store tests over the real service share: a temporary folder with a home and settings
// folders of its own and a copy of the shared real-image fixtures to register, and a wait that
// lets the event loop sleep in the kernel between events. A test skips when the fixtures are absent.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "event_loop.h"
#include "platform/scoped_environment_variable.h"
#include "support/temporary_folder.h"

namespace lorvex::testing {

// Runs the event loop until `done` holds or `limit` passes; whether it held.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

class RealPicturesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    const std::filesystem::path fixtures(LORVEX_FIXTURES_DIR);
    if (!std::filesystem::is_directory(fixtures)) GTEST_SKIP() << "no shared fixtures at " << fixtures;
    userFolders_.emplace(root_.file("user"));
    pictures_ = root_.file("pictures");
    std::filesystem::create_directories(pictures_);
    int copied = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(fixtures)) {
      if (!entry.is_regular_file() || entry.path().extension() != ".png") continue;
      const std::filesystem::path copy =
          pictures_ / (std::to_string(copied++) + "-" + entry.path().filename().string());
      std::filesystem::copy_file(entry.path(), copy);
      if (firstCopy_.empty()) firstCopy_ = copy;
    }
    ASSERT_GT(copied, 0);
  }

  void TearDown() override { userFolders_.reset(); }

  TemporaryFolder root_;
  std::filesystem::path pictures_;
  std::filesystem::path firstCopy_;
  std::optional<ScopedUserFolders> userFolders_;
};

}  // namespace lorvex::testing
