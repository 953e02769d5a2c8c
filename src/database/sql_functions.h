// SQL functions that the library registers on its connection.
//
// lower(X) is replaced by the program's root-locale lowercasing, so that keys computed in SQL and
// in C++ agree for non-ASCII text (SQLite's built-in lower() folds ASCII only). NULL stays NULL;
// text that is not well-formed UTF-8 is lowercased in its ASCII bytes only and otherwise kept.
//
// Thread safety: call while the connection is not in use by another thread.
#pragma once

struct sqlite3;

namespace lorvex {

// Throws SQLiteImageRepositoryV3Error::openFailed when SQLite refuses a registration.
void registerSQLFunctions(sqlite3* database);

}  // namespace lorvex
