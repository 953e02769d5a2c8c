#include "services/ui_testing_launch.h"

#include <algorithm>

namespace lorvex {

namespace {

bool contains(const std::vector<std::string>& arguments, std::string_view argument) {
  return std::find(arguments.begin(), arguments.end(), argument) != arguments.end();
}

}  // namespace

bool isAllowedRunIDByte(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
         byte == '-';
}

bool isValidRunID(std::string_view runID) {
  if (runID.empty() || runID.size() > kMaximumRunIDBytes) return false;
  return std::all_of(runID.begin(), runID.end(),
                     [](char c) { return isAllowedRunIDByte(static_cast<unsigned char>(c)); });
}

std::optional<UITestingLaunchOptions> validatedUITestingLaunchArguments(
    const std::vector<std::string>& arguments) {
  const auto flag = std::find(arguments.begin(), arguments.end(), kUITestingArgument);
  if (flag == arguments.end() || std::next(flag) == arguments.end()) return std::nullopt;
  const std::string& runID = *std::next(flag);
  if (!isValidRunID(runID)) return std::nullopt;
  return UITestingLaunchOptions{runID, contains(arguments, kUITestingResetArgument)};
}

std::optional<UITestingLaunchOptions> parseUITestingLaunchArguments(
    const std::vector<std::string>& arguments) {
  if (!contains(arguments, kUITestingArgument)) return std::nullopt;
  if (auto options = validatedUITestingLaunchArguments(arguments)) return options;
  return UITestingLaunchOptions{std::string(kInvalidInvocationRunID),
                                contains(arguments, kUITestingResetArgument)};
}

std::string uiTestingSuiteName(std::string_view runID) {
  std::string name(kUITestingSuitePrefix);
  name += runID;
  return name;
}

platform::Settings makeUserDefaults(const std::optional<std::string>& uiTestingRunID,
                                    const std::filesystem::path& settingsFolder) {
  if (!uiTestingRunID) return platform::Settings(platform::Settings::kStandardSuiteName, settingsFolder);
  return platform::Settings(uiTestingSuiteName(*uiTestingRunID), settingsFolder);
}

}  // namespace lorvex
