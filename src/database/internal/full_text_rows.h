// Keeping one row of an FTS5 table equal to the values it should hold. Full-text rows are not tied
// to their source rows by any trigger; the operations that write a source row call this.
//
// Replacing an FTS5 row costs a delete and an insert in the full-text index, so a row that already
// holds exactly the wanted values is left alone (a re-projection of an unchanged image, or a model
// shared by many images, would otherwise churn the index on every write).
//
// Runs under the caller's lock and transaction; a failing statement throws
// SQLiteImageRepositoryV3Error from the statement layer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "database/internal/sqlite_connection.h"

namespace lorvex {

// Makes row `rowid` of `table` hold `values` (text or NULL, one per column of `columns`, in order),
// or removes it when `values` is absent. `table` and `columns` are fixed names, never data.
void replaceFullTextRow(SQLiteConnection& connection, std::string_view table,
                        std::span<const std::string_view> columns, std::int64_t rowid,
                        std::optional<SQLiteV3Bindings> values);

}  // namespace lorvex
