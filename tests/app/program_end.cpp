// The application's test programs end as lorvex's main() does: every thread ended and joined, none
// but the main one left while the process exits (LeakSanitizer's exit check crashes on one). Qt's
// D-Bus connection thread (a file manager asked over D-Bus) has no public end; Qt joins it at exit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/lorvex_application.h"
#include "ui/support/ui_test_application.h"

namespace lorvex::app::testing {
namespace {

struct ProgramEnd final : ::testing::Environment {
  void TearDown() override {
    if (QCoreApplication::instance() != nullptr) ui::testing::drainUiEvents();  // may hand pools jobs
    EXPECT_TRUE(endProgramThreads(std::chrono::steady_clock::now() + std::chrono::seconds(10)))
        << "pools still busy";
    // Qt's threads are detached: an ended one leaves /proc a moment after it is joined.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::string left;
    do {
      left.clear();
      for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (task.path().filename() != std::to_string(::gettid()) && !name.starts_with("QDBusConnection"))
          left += name + " ";
      }
      ::usleep(1000);
    } while (!left.empty() && std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(left, "") << "threads left running as the program exits";
  }
};

[[maybe_unused]] const auto* const registered = ::testing::AddGlobalTestEnvironment(new ProgramEnd);

}  // namespace
}  // namespace lorvex::app::testing
