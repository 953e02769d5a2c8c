#include "database/internal/full_text_rows.h"

#include <iterator>
#include <string>
#include <utility>
#include <variant>

namespace lorvex {

namespace {

// Whether the stored row equals `values`, column by column: NULL against NULL, text against text.
bool storedRowEquals(SQLiteRows& rows, const SQLiteV3Bindings& values) {
  for (std::size_t column = 0; column < values.size(); ++column) {
    const int index = static_cast<int>(column);
    const auto text = values[column].text();
    if (!text) {
      if (!std::holds_alternative<SQLiteV3Binding::Null>(values[column].value()) || !rows.isNull(index))
        return false;
    } else if (rows.isNull(index) || rows.text(index) != *text) {
      return false;
    }
  }
  return true;
}

}  // namespace

void replaceFullTextRow(SQLiteConnection& connection, std::string_view table,
                        std::span<const std::string_view> columns, std::int64_t rowid,
                        std::optional<SQLiteV3Bindings> values) {
  std::string list;
  std::string placeholders;
  for (const std::string_view column : columns) {
    list += list.empty() ? "" : ", ";
    list += column;
    placeholders += ", ?";
  }
  const std::string name(table);
  enum class Stored { none, same, different };
  const Stored stored = connection.query(
      "SELECT " + list + " FROM " + name + " WHERE rowid = ?", {rowid}, [&](SQLiteRows& rows) {
        if (!rows.next()) return Stored::none;
        return values && storedRowEquals(rows, *values) ? Stored::same : Stored::different;
      });
  if (stored == Stored::same) return;
  if (stored == Stored::different) connection.execute("DELETE FROM " + name + " WHERE rowid = ?", {rowid});
  if (!values) return;
  // Moved, not copied: a prompt can be tens of megabytes.
  SQLiteV3Bindings bindings{rowid};
  bindings.insert(bindings.end(), std::make_move_iterator(values->begin()),
                  std::make_move_iterator(values->end()));
  connection.execute("INSERT INTO " + name + " (rowid, " + list + ") VALUES (?" + placeholders + ")",
                     bindings);
}

}  // namespace lorvex
