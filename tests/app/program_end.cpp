// The application's test programs end as lorvex's main() does: their threads ended and joined, no
// thread but the main one left while the process exits (LeakSanitizer's exit check crashes on one).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <string>
#include <vector>

#include "app/lorvex_application.h"
#include "support/process_threads.h"
#include "ui/support/ui_test_application.h"

namespace lorvex::app::testing {
namespace {

class ProgramEnd final : public ::testing::Environment {
 public:
  void TearDown() override {
    // Events still posted may hand the pools their last jobs.
    if (QCoreApplication::instance() != nullptr) ui::testing::drainUiEvents();
    EXPECT_TRUE(endProgramThreads(std::chrono::steady_clock::now() + std::chrono::seconds(10)))
        << "work still ran";
    std::vector<std::string> left = lorvex::testing::otherThreadsOfThisProcess(std::chrono::seconds(2));
    // Qt's D-Bus connection thread (a file manager asked over D-Bus) is Qt's own: no public call
    // ends it, and Qt stops and joins it with its other static objects as the process exits.
    std::erase_if(left, [](const std::string& name) { return name.starts_with("QDBusConnection "); });
    EXPECT_EQ(left, std::vector<std::string>{}) << "threads left running as the program exits";
  }
};

[[maybe_unused]] const auto* const registered = ::testing::AddGlobalTestEnvironment(new ProgramEnd);

}  // namespace
}  // namespace lorvex::app::testing
