// The outside components Lorvex links, each with its licence text, for the acknowledgments
// window. The texts are the components' Debian copyright files, built into the program as
// resources named "<name>-LICENSE.txt" (see src/app/CMakeLists.txt).
//
// Thread safety: pure values; licenseText reads a file and may run on any thread.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lorvex::app {

struct ThirdPartyComponent {
  std::string_view name;                 // shown, and the entry's identity
  std::string_view licenseResourceName;  // base name; the file adds ".txt"

  friend bool operator==(const ThirdPartyComponent&, const ThirdPartyComponent&) = default;
};

// Every component the program links, in display order.
std::span<const ThirdPartyComponent> thirdPartyComponents();

// Where the program keeps the licence texts (a Qt resource folder).
inline constexpr std::string_view kLicenseResourceFolder = ":/licenses";

// The text of "<folder>/<resourceName>.txt", unchanged. Absent when the file is missing or
// unreadable, or its bytes are not UTF-8.
std::optional<std::string> licenseText(std::string_view resourceName,
                                       std::string_view folder = kLicenseResourceFolder);

// The acknowledgments window's minimum size; a long licence scrolls instead of widening it.
inline constexpr int kAcknowledgmentsMinimumWidth = 560;
inline constexpr int kAcknowledgmentsMinimumHeight = 440;

}  // namespace lorvex::app
