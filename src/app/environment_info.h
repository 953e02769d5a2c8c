// The Help menu's support items: the product web pages and the environment text a user pastes
// into a support request ("Lorvex 0.1.0 (abc1234)", the kernel and distribution, the machine).
//
// Thread safety: pure functions, and readers of system files that may run on any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lorvex::app {

// What the environment text is made of; absent or empty parts are written as the rules below say.
struct EnvironmentFacts {
  std::string version;                    // the program's version; empty: "unknown"
  std::string build;                      // the commit it was built from; empty: "unknown"
  std::string kernelRelease;              // uname's release; empty: "unknown"
  std::optional<std::string> prettyName;  // the distribution's PRETTY_NAME
  std::optional<std::string> machine;     // the machine's product name
};

// "Lorvex <version> (<build>)", then "Linux <kernel> (<pretty name>)" ("Linux <kernel>" without
// one), then "Machine: <machine>" only when known; lines joined by "\n", none after the last.
std::string makeEnvironmentInfo(const EnvironmentFacts& facts);

// PRETTY_NAME of an os-release text: the last assignment wins, one level of single or double
// quotes goes, backslash escapes inside double quotes are resolved. Absent when missing, empty or
// not UTF-8.
std::optional<std::string> osReleasePrettyName(std::string_view osReleaseText);

// The machine's product name from the firmware tables, trimmed of white space. Absent when the
// file is missing or unreadable, empty after trimming, or not UTF-8.
inline constexpr std::string_view kProductNamePath = "/sys/devices/virtual/dmi/id/product_name";
std::optional<std::string> readHardwareModel(const std::filesystem::path& path = kProductNamePath);

// The facts of the running process: the version and commit recorded when it was built, uname,
// /etc/os-release (else /usr/lib/os-release) and readHardwareModel().
EnvironmentFacts currentEnvironmentFacts();

// The three pages of the product's web site, by path.
enum class SupportPage { support, privacy, donate };
std::string_view supportPagePath(SupportPage page);  // "/support", "/privacy", "/donate"

// The page's address on the site whose base address is `baseAddress` (its trailing "/" dropped).
// Absent while the base address is empty or not an https address: the items are disabled then,
// rather than sending users to a guessed address.
std::optional<std::string> supportPageAddress(std::string_view baseAddress, SupportPage page);

// The web site's base address configured for this build (empty when none was).
std::string_view configuredWebsiteAddress();

}  // namespace lorvex::app
