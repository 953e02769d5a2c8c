#include "services/folders/canonical_folder_path.h"

#include <stdlib.h>

#include <memory>

#include "model/text/paths.h"

namespace lorvex {

std::string canonicalFolderPath(std::string_view path) {
  if (path.empty()) return {};
  // Links are resolved before ".." is applied, as the file system would walk the path.
  const std::string given(path);
  const std::unique_ptr<char, decltype(&::free)> resolved(::realpath(given.c_str(), nullptr), ::free);
  return resolved ? std::string(resolved.get()) : text::standardizedPath(path);
}

}  // namespace lorvex
