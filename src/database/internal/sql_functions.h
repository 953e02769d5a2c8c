// SQL functions that the library registers on its connection.
//
// lower(X) is replaced by the program's root-locale lowercasing, so that keys computed in SQL and
// in C++ agree for non-ASCII text (SQLite's built-in lower() folds ASCII only). NULL stays NULL;
// text that is not well-formed UTF-8 is lowercased in its ASCII bytes only and otherwise kept.
//
// lorvex_id_in(id, set) is 1 when the integer `id` is one of the ids of `set`, else 0 (also for a
// NULL id or a set that is not a blob). `set` is a blob made by idSetBlob. A search tests a row
// against ids it gathered once with it: a binary search, far cheaper per row than a subquery or a
// temporary index.
//
// Thread safety: call while the connection is not in use by another thread.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct sqlite3;

namespace lorvex {

// The blob form of an id set for lorvex_id_in: the ids, ascending and distinct, as 64-bit integers
// in this machine's byte order (the blob never leaves the process).
std::vector<std::uint8_t> idSetBlob(std::span<const std::int64_t> ascendingDistinctIDs);

// Throws SQLiteImageRepositoryV3Error::openFailed when SQLite refuses a registration.
void registerSQLFunctions(sqlite3* database);

}  // namespace lorvex
