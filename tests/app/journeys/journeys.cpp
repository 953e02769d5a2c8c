// The journeys through the composed application, in the language this executable is built for
// (LORVEX_JOURNEY_LANGUAGE), at 1280×800 and at the window's minimum size. Each size runs every
// journey in order over one library in a home of its own; a failed check fails the test and the
// journeys go on.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "journey_steps.h"

#ifndef LORVEX_JOURNEY_LANGUAGE
#error "LORVEX_JOURNEY_LANGUAGE is \"en\" or \"ja\""
#endif

namespace lorvex::journeys {
namespace {

class TestReporter final : public JourneyReporter {
 public:
  void reached(const std::string& journey, const std::string& step) override {
    std::printf("[ journey  ] %s.%s\n", journey.c_str(), step.c_str());
  }
  void failed(const std::string& message, const std::source_location& where) override {
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line())) << message;
  }
};

class Journeys : public ::testing::Test {
 public:
  static void SetUpTestSuite() { prepareJourneyProcess(LORVEX_JOURNEY_LANGUAGE); }

 protected:
  void runAll(const std::string& home, std::optional<QSize> size) {
    JourneyApp app(home);
    ASSERT_TRUE(app.launch(size)) << "the first launch did not end";
    if (!size) app.window().resize(app.minimumWindowSize());
    TestReporter reporter;
    Driver driver(app, reporter);
    for (const JourneyDefinition& journey : allJourneys()) {
      SCOPED_TRACE(journey.name);
      driver.beginJourney(journey.name);
      journey.run(driver);
    }
  }
};

TEST_F(Journeys, AtTheStandardSize) {
  runAll("standard", kStandardWindowSize);
}

TEST_F(Journeys, AtTheMinimumSize) {
  runAll("minimum", std::nullopt);
}

}  // namespace
}  // namespace lorvex::journeys
