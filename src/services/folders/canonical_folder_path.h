// The one form in which registered folders are compared and keyed: the path made absolute and
// standardised, with symbolic links resolved when it exists. Paths are byte strings and are
// compared byte for byte.
//
// Thread safety: reads the file system (and the working directory for a relative path); callable
// from any thread.
#pragma once

#include <string>
#include <string_view>

namespace lorvex {

// realpath() of the path when it resolves; otherwise the standardised path (a folder that is gone
// keeps the canonical path it was stored under).
std::string canonicalFolderPath(std::string_view path);

}  // namespace lorvex
