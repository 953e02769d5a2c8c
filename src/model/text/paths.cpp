#include "model/text/paths.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace lorvex::text {

std::string standardizedPath(std::string_view path) {
  if (path.empty()) return {};
  std::string absolute;
  if (path.front() != '/') {
    std::error_code error;
    const std::filesystem::path workingDirectory = std::filesystem::current_path(error);
    // Without a working directory a relative path names nothing we could find again.
    if (error || workingDirectory.native().empty() || workingDirectory.native().front() != '/') return {};
    absolute = workingDirectory.native();
    absolute.push_back('/');
  }
  absolute.append(path);

  std::vector<std::string_view> components;
  const std::string_view whole(absolute);
  std::size_t start = 0;
  while (start <= whole.size()) {
    std::size_t slash = whole.find('/', start);
    if (slash == std::string_view::npos) slash = whole.size();
    const std::string_view component = whole.substr(start, slash - start);
    if (component == "..") {
      if (!components.empty()) components.pop_back();
    } else if (!component.empty() && component != ".") {
      components.push_back(component);
    }
    start = slash + 1;
  }

  if (components.empty()) return "/";
  std::string out;
  out.reserve(absolute.size());
  for (const std::string_view component : components) {
    out.push_back('/');
    out.append(component);
  }
  return out;
}

bool isPathAtOrUnder(std::string_view path, std::string_view folder) {
  if (folder.empty()) return path.empty();
  if (path.size() < folder.size() || path.substr(0, folder.size()) != folder) return false;
  if (path.size() == folder.size()) return true;
  return folder.back() == '/' || path[folder.size()] == '/';
}

std::string_view lastPathComponent(std::string_view path) {
  std::size_t end = path.size();
  while (end > 0 && path[end - 1] == '/') --end;
  const std::string_view trimmed = path.substr(0, end);
  const std::size_t slash = trimmed.rfind('/');
  return slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1);
}

}  // namespace lorvex::text
