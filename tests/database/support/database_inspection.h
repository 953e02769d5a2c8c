// Reads the layout of an open library for tests: tables, columns, foreign keys and indexes as
// compact texts that can be compared with what the file format requires.
#pragma once

#include <string>
#include <vector>

#include "database/internal/sqlite_connection.h"

namespace lorvex::testing {

// Names of the tables (ordinary and virtual, without SQLite's and FTS5's own) in creation order.
std::vector<std::string> tableNames(SQLiteConnection& connection);
// "name TYPE[ nn][ pk][ =default]" per column, joined by "; ".
std::string columnLayout(SQLiteConnection& connection, const std::string& table);
// "column->table.column ON DELETE action" per foreign key, joined by "; ".
std::string foreignKeyLayout(SQLiteConnection& connection, const std::string& table);
// The column lists of the table's UNIQUE constraints, "a, b" each, joined by "; ".
std::string uniqueLayout(SQLiteConnection& connection, const std::string& table);
// Names of the explicitly created indexes in creation order.
std::vector<std::string> indexNames(SQLiteConnection& connection);
// "table(col[ DESC][ COLLATE x], …)[ UNIQUE][ PARTIAL]".
std::string indexLayout(SQLiteConnection& connection, const std::string& index);
// One integer from a query without parameters.
long long scalar(SQLiteConnection& connection, const std::string& sql);

}  // namespace lorvex::testing
