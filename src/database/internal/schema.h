// The file format of the library: the schema script of version 4 and the fixed lists that opening
// checks a file against.
//
// The script is run on every open. Every statement in it is "IF NOT EXISTS", so it creates a whole
// library in an empty file, adds what is missing to an older copy of version 4 and changes nothing
// in an up-to-date one. There are no triggers and no views: derived tables and full-text rows are
// kept by the operations that write their sources.
//
// Thread safety: constants only.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace lorvex::schema {

inline constexpr std::int64_t kVersion = 4;

// The whole script, statements separated by ";".
std::string_view script();

struct RequiredColumns {
  std::string_view table;
  std::span<const std::string_view> columns;
};

// Tables that must carry at least these columns.
std::span<const RequiredColumns> requiredColumns();

// Columns of an earlier layout that must not be present in `legacyColumnsTable`.
inline constexpr std::string_view kLegacyColumnsTable = "library_roots";
std::span<const std::string_view> legacyColumns();

// Tables of an earlier layout that must not exist.
std::span<const std::string_view> legacyTables();

}  // namespace lorvex::schema
