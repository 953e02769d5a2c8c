// File paths are byte strings compared byte for byte (NFC and NFD names are different files on
// Linux). These helpers never touch the file system: symbolic links are not resolved.
//
// Thread safety: pure functions (standardizedPath reads the working directory for relative input).
#pragma once

#include <string>
#include <string_view>

namespace lorvex::text {

// Absolute form: a relative path is taken from the working directory; "." components and empty
// components are removed, ".." removes the component before it (never above "/"), and no
// trailing "/" remains except for the root itself. "" stays "", and so does a relative path when
// the working directory cannot be read (callers drop empty results).
std::string standardizedPath(std::string_view path);

// True when `path` is `folder` or lies inside it: "/a/b/c" is under "/a/b", "/a/bc" is not.
// Both are taken as already standardized.
bool isPathAtOrUnder(std::string_view path, std::string_view folder);

// The last path component ("" for "/").
std::string_view lastPathComponent(std::string_view path);

}  // namespace lorvex::text
