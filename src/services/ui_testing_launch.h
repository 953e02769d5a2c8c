// How a UI-testing run is recognised and isolated: "--ui-testing <run id>" among the process
// arguments (with "--ui-testing-reset" anywhere to start from scratch) gives the run its own
// settings suite, "app.lorvex.UITests.<run id>", and its own library folder.
//
// A run identifier is 1 to 64 bytes, each an ASCII letter, digit or "-", so it can name a file
// and a suite and never a path elsewhere. An invocation with a bad or absent identifier still runs
// isolated, under "invalid-invocation".
//
// Thread safety: pure functions, except makeUserDefaults which opens a settings suite (any thread).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings.h"

namespace lorvex {

inline constexpr std::string_view kUITestingArgument = "--ui-testing";
inline constexpr std::string_view kUITestingResetArgument = "--ui-testing-reset";
inline constexpr std::string_view kInvalidInvocationRunID = "invalid-invocation";
inline constexpr std::string_view kUITestingSuitePrefix = "app.lorvex.UITests.";
inline constexpr std::size_t kMaximumRunIDBytes = 64;

struct UITestingLaunchOptions {
  std::string runID;
  bool resets = false;

  friend bool operator==(const UITestingLaunchOptions&, const UITestingLaunchOptions&) = default;
};

// "a"–"z", "A"–"Z", "0"–"9" or "-".
bool isAllowedRunIDByte(unsigned char byte);
// 1 to kMaximumRunIDBytes bytes, each allowed.
bool isValidRunID(std::string_view runID);

// The strict reading: the argument after the first "--ui-testing" must be a valid run identifier;
// nothing otherwise (also when "--ui-testing" is absent).
std::optional<UITestingLaunchOptions> validatedUITestingLaunchArguments(
    const std::vector<std::string>& arguments);

// Nothing unless some argument is "--ui-testing"; then the strict reading, or, when that fails,
// the run "invalid-invocation" with the reset flag of "--ui-testing-reset".
std::optional<UITestingLaunchOptions> parseUITestingLaunchArguments(
    const std::vector<std::string>& arguments);

// "app.lorvex.UITests." + the run identifier.
std::string uiTestingSuiteName(std::string_view runID);

// The settings the application keeps: the standard suite, or the run's own suite. Throws
// platform::SettingsError for a run identifier that cannot name a suite.
platform::Settings makeUserDefaults(
    const std::optional<std::string>& uiTestingRunID,
    const std::filesystem::path& settingsFolder = platform::Settings::defaultFolder());

}  // namespace lorvex
