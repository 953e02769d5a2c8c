// The order of SQLite's built-in NOCASE collation, for sorting in C++ what a statement would
// otherwise sort in a temporary B-tree. NOCASE folds only the ASCII letters A–Z; every other byte
// (UTF-8 sequences included) compares by value. Like SQLite, it looks no further than a NUL byte
// inside the shorter length, and a text that is a prefix of the other sorts first.
//
// Thread safety: pure functions.
#pragma once

#include <string_view>

namespace lorvex::sql {

// Negative, zero or positive as `left` sorts before, with or after `right` under NOCASE.
int compareNoCase(std::string_view left, std::string_view right);

// "ORDER BY name COLLATE NOCASE ASC, name ASC": NOCASE first, then byte order breaks ties.
inline bool noCaseThenBinaryLess(std::string_view left, std::string_view right) {
  const int order = compareNoCase(left, right);
  return order != 0 ? order < 0 : left < right;
}

}  // namespace lorvex::sql
