// SQL building shared by the library's operations: IN lists, the "at or under a folder" predicate
// and the standardisation of path lists taken from outside.
//
// Thread safety: pure functions.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "database/sqlite_binding.h"

namespace lorvex::sql {

// Calls `run(inList, bindings)` for each slice of at most `sliceSize` values in order, with the IN
// list of placeholders of the slice and the slice's values as bindings.
template <typename Value, typename Run>
void forEachInListSlice(const std::vector<Value>& values, std::size_t sliceSize, const Run& run);

// The bindings `leading` followed by `rest`.
inline SQLiteV3Bindings prefixedBindings(SQLiteV3Bindings leading, const SQLiteV3Bindings& rest) {
  leading.insert(leading.end(), rest.begin(), rest.end());
  return leading;
}

// "(?, ?, …)" with `count` placeholders. Callers never build an empty list: an operation that
// would need one returns before preparing anything.
std::string inListPlaceholders(std::size_t count);

// "((col = ? OR substr(col, 1, length(?)) = ?) OR …)" for `pathCount` paths; bind with
// pathPrefixBindings. A path covers itself and everything below it: /a/b covers /a/b and
// /a/b/c.png but not /a/bc.png.
std::string pathPrefixPredicate(std::string_view column, std::size_t pathCount);

// Three text bindings per path: the path, then its folder prefix (the path with one trailing "/")
// twice.
SQLiteV3Bindings pathPrefixBindings(const std::vector<std::string>& paths);

// The folder prefix of a path: the path itself when it ends with "/", else the path and "/".
std::string folderPrefix(std::string_view path);

// The same rows as pathPrefixPredicate for one path, as a range an index on the column can walk:
// "(col = ? OR (col >= ? AND col < ?))". Bind with pathRangeBindings. Paths compare byte for byte
// (BINARY collation), and every text that begins with the folder prefix "/a/b/" lies in
// ["/a/b/", "/a/b0"), '0' being the byte after '/'.
std::string pathRangePredicate(std::string_view column);

// The path, its folder prefix, and the prefix with its last byte raised by one.
SQLiteV3Bindings pathRangeBindings(std::string_view path);

// Runs `head` + " VALUES " + one "(?, …)" group of `columns` placeholders per row + `tail` over
// `values` (`columns` bindings a row, in row order), with as few statements as the rows allow:
// groups of 32, then 8, then 1 row, so that a few statement texts stay prepared. An image's many
// small rows (its tags, its parameters) cost a statement per group instead of one each.
template <typename Execute>
void forEachRowGroup(std::string_view head, std::string_view tail, std::size_t columns,
                     SQLiteV3Bindings values, const Execute& execute);

// Each path standardized (absolute, no "." or "..", no trailing "/"; symbolic links untouched),
// empty results dropped, later duplicates dropped so that the first occurrence keeps its place.
std::vector<std::string> standardizedUniquePaths(const std::vector<std::string>& paths);

template <typename Value, typename Run>
void forEachInListSlice(const std::vector<Value>& values, std::size_t sliceSize, const Run& run) {
  for (std::size_t start = 0; start < values.size(); start += sliceSize) {
    const std::size_t end = std::min(values.size(), start + sliceSize);
    SQLiteV3Bindings bindings;
    bindings.reserve(end - start);
    for (std::size_t i = start; i < end; ++i) bindings.emplace_back(values[i]);
    run(inListPlaceholders(end - start), std::move(bindings));
  }
}

template <typename Execute>
void forEachRowGroup(std::string_view head, std::string_view tail, std::size_t columns,
                     SQLiteV3Bindings values, const Execute& execute) {
  if (columns == 0) return;
  const std::size_t rows = values.size() / columns;
  std::string group = "(?";
  for (std::size_t i = 1; i < columns; ++i) group += ", ?";
  group += ")";
  for (std::size_t row = 0; row < rows;) {
    const std::size_t left = rows - row;
    const std::size_t count = left >= 32 ? 32 : left >= 8 ? 8 : 1;
    std::string sql(head);
    sql += " VALUES ";
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) sql += ", ";
      sql += group;
    }
    sql += tail;
    SQLiteV3Bindings bindings(
        std::make_move_iterator(values.begin() + static_cast<std::ptrdiff_t>(row * columns)),
        std::make_move_iterator(values.begin() + static_cast<std::ptrdiff_t>((row + count) * columns)));
    execute(sql, bindings);
    row += count;
  }
}

}  // namespace lorvex::sql
