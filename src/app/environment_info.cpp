#include "app/environment_info.h"

#include <sys/utsname.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "model/text/unicode.h"
#include "model/text/whitespace.h"

#ifndef LORVEX_VERSION_TEXT
#define LORVEX_VERSION_TEXT ""
#endif
#ifndef LORVEX_BUILD_COMMIT
#define LORVEX_BUILD_COMMIT ""
#endif
#ifndef LORVEX_WEBSITE_URL
#define LORVEX_WEBSITE_URL ""
#endif

namespace lorvex::app {

namespace {

std::string orUnknown(std::string_view text) {
  return text.empty() ? std::string("unknown") : std::string(text);
}

// Small system files only; a read error gives nothing.
std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return std::nullopt;
  std::string text;
  constexpr std::size_t kLimit = 64 * 1024;  // a firmware or release file is a few hundred bytes
  text.resize(kLimit);
  stream.read(text.data(), static_cast<std::streamsize>(kLimit));
  if (stream.bad()) return std::nullopt;
  text.resize(static_cast<std::size_t>(stream.gcount()));
  return text;
}

std::string unquoted(std::string_view value) {
  if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
    return std::string(value.substr(1, value.size() - 2));
  }
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    std::string text;
    const std::string_view inner = value.substr(1, value.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
      if (inner[i] == '\\' && i + 1 < inner.size()) ++i;
      text += inner[i];
    }
    return text;
  }
  return std::string(value);
}

}  // namespace

std::string makeEnvironmentInfo(const EnvironmentFacts& facts) {
  std::string text = "Lorvex " + orUnknown(facts.version) + " (" + orUnknown(facts.build) + ")";
  text += "\nLinux " + orUnknown(facts.kernelRelease);
  if (facts.prettyName && !facts.prettyName->empty()) text += " (" + *facts.prettyName + ")";
  if (facts.machine && !facts.machine->empty()) text += "\nMachine: " + *facts.machine;
  return text;
}

std::optional<std::string> osReleasePrettyName(std::string_view osReleaseText) {
  std::optional<std::string> found;
  std::size_t start = 0;
  while (start <= osReleaseText.size()) {
    std::size_t end = osReleaseText.find('\n', start);
    if (end == std::string_view::npos) end = osReleaseText.size();
    std::string_view line = osReleaseText.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    constexpr std::string_view kKey = "PRETTY_NAME=";
    if (line.starts_with(kKey)) found = unquoted(text::trimmedWhitespace(line.substr(kKey.size())));
    start = end + 1;
  }
  if (!found || found->empty() || !text::isValidUTF8(*found)) return std::nullopt;
  return found;
}

std::optional<std::string> readHardwareModel(const std::filesystem::path& path) {
  const std::optional<std::string> contents = readSmallFile(path);
  if (!contents || !text::isValidUTF8(*contents)) return std::nullopt;
  return text::trimmedNonEmpty(*contents);
}

EnvironmentFacts currentEnvironmentFacts() {
  EnvironmentFacts facts;
  facts.version = LORVEX_VERSION_TEXT;
  facts.build = LORVEX_BUILD_COMMIT;
  utsname names{};
  if (uname(&names) == 0) facts.kernelRelease = names.release;
  std::optional<std::string> osRelease = readSmallFile("/etc/os-release");
  if (!osRelease) osRelease = readSmallFile("/usr/lib/os-release");
  if (osRelease) facts.prettyName = osReleasePrettyName(*osRelease);
  facts.machine = readHardwareModel();
  return facts;
}

std::string_view supportPagePath(SupportPage page) {
  switch (page) {
    case SupportPage::support:
      return "/support";
    case SupportPage::privacy:
      return "/privacy";
    case SupportPage::donate:
      return "/donate";
  }
  return "/support";
}

std::optional<std::string> supportPageAddress(std::string_view baseAddress, SupportPage page) {
  while (baseAddress.ends_with('/')) baseAddress.remove_suffix(1);
  constexpr std::string_view kScheme = "https://";
  if (!baseAddress.starts_with(kScheme) || baseAddress.size() == kScheme.size()) return std::nullopt;
  return std::string(baseAddress) + std::string(supportPagePath(page));
}

std::string_view configuredWebsiteAddress() {
  return LORVEX_WEBSITE_URL;
}

}  // namespace lorvex::app
