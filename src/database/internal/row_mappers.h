// Row mappers shared by the library's reads: each takes the rows of one statement and gives the
// shape its callers need, with a fixed result when no row comes back.
//
// Thread safety: called under the connection's lock, like the query that runs them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "database/internal/sqlite_connection.h"

namespace lorvex::rows {

// Column 0 of the first row; 0 when there is none.
inline std::int64_t firstInt64OrZero(SQLiteRows& rows) {
  return rows.next() ? rows.int64(0) : 0;
}

// Whether a first row exists.
inline bool exists(SQLiteRows& rows) {
  return rows.next();
}

// Column 0 of the first row; absent when there is none.
inline std::optional<std::int64_t> firstInt64(SQLiteRows& rows) {
  if (!rows.next()) return std::nullopt;
  return rows.int64(0);
}

// Column 0 of the first row, NULL read as absent; absent when there is none.
inline std::optional<std::string> firstText(SQLiteRows& rows) {
  if (!rows.next()) return std::nullopt;
  return rows.optionalText(0);
}

// Column 0 of every row as a 64-bit integer, in row order.
inline std::vector<std::int64_t> int64Column(SQLiteRows& rows) {
  std::vector<std::int64_t> values;
  while (rows.next()) values.push_back(rows.int64(0));
  return values;
}

// Columns 0 and 1 of every row as a map from the first to the second; a later row with the same
// key replaces the value.
inline std::map<std::int64_t, std::int64_t> int64Pairs(SQLiteRows& rows) {
  std::map<std::int64_t, std::int64_t> values;
  while (rows.next()) values[rows.int64(0)] = rows.int64(1);
  return values;
}

// Column 0 of every row, NULL skipped, in row order.
inline std::vector<std::string> textColumn(SQLiteRows& rows) {
  std::vector<std::string> values;
  while (rows.next()) {
    if (!rows.isNull(0)) values.push_back(rows.text(0));
  }
  return values;
}

// The given column of every row as a set, NULL skipped.
inline auto textSet(int column) {
  return [column](SQLiteRows& rows) {
    std::set<std::string> values;
    while (rows.next()) {
      if (!rows.isNull(column)) values.insert(rows.text(column));
    }
    return values;
  };
}

// Column 0 of the first row; recordNotFound with `stem` followed by `key` when there is none.
inline auto requiredFirstInt64(std::string stem, std::string_view key) {
  return [stem = std::move(stem) + std::string(key)](SQLiteRows& rows) {
    if (!rows.next()) throw SQLiteImageRepositoryV3Error::recordNotFound(stem);
    return rows.int64(0);
  };
}

}  // namespace lorvex::rows
