#include "ui/common/view_resource_display.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "model/text/unicode.h"

namespace lorvex::ui {
namespace {

// What may follow the home path for the occurrence to count as the home folder itself rather
// than the start of a longer name.
constexpr std::array<char32_t, 18> kClosingCharacters{
    U'/', U'.', U',',  U':',      U';',      U'!',      U'?',      U')',      U'}',
    U']', U'"', U'\'', U'\u3001', U'\u3002', U'\uFF09', U'\u300D', U'\u300F', U'\u3011'};

bool endsHomeOccurrence(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return true;
  std::size_t next = offset;
  const char32_t scalar = text::decodeUTF8(text, next);
  if (std::find(kClosingCharacters.begin(), kClosingCharacters.end(), scalar) != kClosingCharacters.end())
    return true;
  return text::isWhiteSpace(scalar);
}

}  // namespace

ViewResourceDisplay ViewResourceDisplay::make(std::span<const std::string> arguments,
                                              std::string_view homeDirectoryPath) {
  const bool recording =
      std::find(arguments.begin(), arguments.end(), kRecordingModeArgument) != arguments.end();
  return ViewResourceDisplay{recording, trimmingTrailingSlashes(homeDirectoryPath)};
}

std::string ViewResourceDisplay::displayText(std::string_view text) const {
  if (!isRecordingModeEnabled || homeDirectoryPath.empty()) return std::string(text);
  const std::string_view home = homeDirectoryPath;
  std::string shown;
  shown.reserve(text.size());
  std::size_t copiedUpTo = 0;
  std::size_t searchFrom = 0;
  while (true) {
    const std::size_t found = text.find(home, searchFrom);
    if (found == std::string_view::npos) break;
    const std::size_t end = found + home.size();
    if (endsHomeOccurrence(text, end)) {
      shown.append(text.substr(copiedUpTo, found - copiedUpTo));
      shown.push_back('~');
      copiedUpTo = end;
      searchFrom = end;
    } else {
      // Not followed by a closing character: a later match may still start inside this one.
      searchFrom = found + 1;
    }
  }
  shown.append(text.substr(copiedUpTo));
  return shown;
}

std::string resolveHomeDirectoryPath() {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr && result->pw_dir[0] != '\0') {
    return result->pw_dir;
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  return "/";
}

std::string trimmingTrailingSlashes(std::string_view path) {
  while (path.size() >= 2 && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

}  // namespace lorvex::ui
