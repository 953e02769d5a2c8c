#include "database/support/database_inspection.h"

namespace lorvex::testing {

std::vector<std::string> tableNames(SQLiteConnection& connection) {
  auto guard = connection.lock();
  return connection.query(
      "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
      "AND sql NOT LIKE 'CREATE TABLE ''%' ORDER BY rowid",
      {}, [](SQLiteRows& rows) {
        std::vector<std::string> names;
        while (rows.next()) names.push_back(rows.text(0));
        return names;
      });
}

std::string columnLayout(SQLiteConnection& connection, const std::string& table) {
  auto guard = connection.lock();
  return connection.query("PRAGMA table_info(" + table + ")", {}, [](SQLiteRows& rows) {
    std::string layout;
    while (rows.next()) {
      if (!layout.empty()) layout += "; ";
      layout += rows.text(1);
      if (!rows.text(2).empty()) layout += " " + rows.text(2);
      if (rows.int64(3) != 0) layout += " nn";
      if (rows.int64(5) != 0) layout += " pk";
      if (!rows.isNull(4)) layout += " =" + rows.text(4);
    }
    return layout;
  });
}

std::string foreignKeyLayout(SQLiteConnection& connection, const std::string& table) {
  auto guard = connection.lock();
  return connection.query("PRAGMA foreign_key_list(" + table + ")", {}, [](SQLiteRows& rows) {
    std::vector<std::string> keys;
    while (rows.next()) {
      keys.push_back(rows.text(3) + "->" + rows.text(2) + "." + rows.text(4) + " ON DELETE " + rows.text(6));
    }
    std::string layout;
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) layout += (layout.empty() ? "" : "; ") + *it;
    return layout;
  });
}

std::string uniqueLayout(SQLiteConnection& connection, const std::string& table) {
  auto guard = connection.lock();
  const auto names = connection.query("PRAGMA index_list(" + table + ")", {}, [](SQLiteRows& rows) {
    std::vector<std::string> names;
    while (rows.next()) {
      if (rows.text(3) == "u") names.insert(names.begin(), rows.text(1));
    }
    return names;
  });
  std::string layout;
  for (const auto& name : names) {
    if (!layout.empty()) layout += "; ";
    layout += connection.query("PRAGMA index_info(" + name + ")", {}, [](SQLiteRows& rows) {
      std::string columns;
      while (rows.next()) columns += (columns.empty() ? "" : ", ") + rows.text(2);
      return columns;
    });
  }
  return layout;
}

std::vector<std::string> indexNames(SQLiteConnection& connection) {
  auto guard = connection.lock();
  return connection.query(
      "SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY rowid", {},
      [](SQLiteRows& rows) {
        std::vector<std::string> names;
        while (rows.next()) names.push_back(rows.text(0));
        return names;
      });
}

std::string indexLayout(SQLiteConnection& connection, const std::string& index) {
  auto guard = connection.lock();
  const std::string table =
      connection.query("SELECT tbl_name FROM sqlite_master WHERE name = ?", {index},
                       [](SQLiteRows& rows) { return rows.next() ? rows.text(0) : ""; });
  std::string layout = table + "(";
  layout += connection.query("PRAGMA index_xinfo(" + index + ")", {}, [](SQLiteRows& rows) {
    std::string columns;
    while (rows.next()) {
      if (rows.int64(5) == 0) continue;  // not a key column
      if (!columns.empty()) columns += ", ";
      columns += rows.text(2);
      if (rows.int64(3) != 0) columns += " DESC";
      if (rows.text(4) != "BINARY") columns += " COLLATE " + rows.text(4);
    }
    return columns;
  });
  layout += ")";
  connection.query("PRAGMA index_list(" + table + ")", {}, [&](SQLiteRows& rows) {
    while (rows.next()) {
      if (rows.text(1) != index) continue;
      if (rows.int64(2) != 0) layout += " UNIQUE";
      if (rows.int64(4) != 0) layout += " PARTIAL";
    }
    return 0;
  });
  return layout;
}

long long scalar(SQLiteConnection& connection, const std::string& sql) {
  auto guard = connection.lock();
  return connection.query(sql, {}, [](SQLiteRows& rows) { return rows.next() ? rows.int64(0) : -1; });
}

}  // namespace lorvex::testing
