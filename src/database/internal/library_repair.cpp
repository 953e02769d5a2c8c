#include "database/internal/library_repair.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "database/internal/log_files_as_found.h"
#include "database/internal/schema.h"
#include "database/internal/sqlite_connection.h"
#include "platform/log.h"

namespace lorvex {

namespace {

using Error = SQLiteImageRepositoryV3Error;
using namespace std::string_view_literals;

constexpr std::string_view kLogCategory = "Database";

// The library's full-text tables: their columns, and how their rows follow from the tables when
// their own text is lost (nothing: the images are projected again; tag_term_search_fts is never
// written).
struct FullTextTable {
  std::string_view name;
  std::string_view columns;
  std::string_view derivedRows;  // an INSERT ... SELECT over the copied tables, or empty
};
constexpr std::array kFullTextTables{
    FullTextTable{"media_text_fts", "prompt, negative_prompt, source, character_captions, tags", ""},
    FullTextTable{"tag_term_search_fts", "normalized_key, display_name, search_text", ""},
    FullTextTable{"tag_concept_search_fts", "display_name, normalized_key, search_text",
                  "INSERT INTO repaired.tag_concept_search_fts (rowid, display_name, normalized_key, "
                  "search_text) SELECT id, COALESCE(display_name, ''), COALESCE(normalized_key, ''), "
                  "COALESCE(search_text, '') FROM repaired.tag_concepts"},
    FullTextTable{"model_search_fts", "display_name, raw_source, family, version, source_hash",
                  "INSERT INTO repaired.model_search_fts (rowid, display_name, raw_source, family, version, "
                  "source_hash) SELECT id, COALESCE(display_name, ''), COALESCE(raw_source, ''), family, "
                  "version, source_hash FROM repaired.models WHERE image_count > 0"},
};
constexpr std::array kShadowSuffixes{"_data"sv, "_idx"sv, "_content"sv, "_docsize"sv, "_config"sv};

std::string sqlIdentifier(std::string_view name) {
  std::string text = "\"";
  for (const char c : name) text += c == '"' ? std::string("\"\"") : std::string(1, c);
  return text + "\"";
}

// The full-text table a shadow table belongs to, if it is one of the library's.
std::optional<std::string_view> fullTextOwner(std::string_view table) {
  for (const FullTextTable& fullText : kFullTextTables) {
    for (const std::string_view suffix : kShadowSuffixes) {
      if (table.size() == fullText.name.size() + suffix.size() && table.starts_with(fullText.name) &&
          table.ends_with(suffix))
        return fullText.name;
    }
  }
  return std::nullopt;
}

// Whether the check finds nothing: "ok" as its only row. A check that itself meets damage it
// cannot step over ends in an error, and counts as finding it.
bool integrityCheckPasses(SQLiteConnection& db, const std::string& pragma) {
  try {
    const std::vector<std::string> rows = db.query(pragma, {}, [](SQLiteRows& rows) {
      std::vector<std::string> texts;
      while (rows.next()) texts.push_back(rows.text(0));
      return texts;
    });
    if (rows.size() == 1 && rows.front() == "ok") return true;
    for (const auto& row : rows) platform::logInfo(kLogCategory, "Integrity check: " + row);
  } catch (const Error& error) {
    platform::logInfo(kLogCategory, "Integrity check stopped: " + error.localizedDescription());
  }
  return false;
}

// FTS5 keeps its own structures inside its shadow tables; the table's "integrity-check" compares
// them with its text.
bool fullTextCheckPasses(SQLiteConnection& db, std::string_view schemaName, std::string_view table) {
  try {
    db.execute("INSERT INTO " + std::string(schemaName) + "." + std::string(table) + " (" +
               std::string(table) + ") VALUES ('integrity-check')");
    return true;
  } catch (const Error& error) {
    platform::logInfo(kLogCategory, std::string(table) + " fails its check: " + error.localizedDescription());
    return false;
  }
}

bool libraryChecksSound(SQLiteConnection& db, std::string_view schemaName = "main") {
  if (!integrityCheckPasses(db, "PRAGMA " + std::string(schemaName) + ".integrity_check;")) return false;
  for (const FullTextTable& fullText : kFullTextTables) {
    if (!fullTextCheckPasses(db, schemaName, fullText.name)) return false;
  }
  return true;
}

// Whether every row of the query reads, every column of it (overflow pages included).
bool readsInFull(SQLiteConnection& db, const std::string& sql) {
  try {
    db.query(sql, {}, [](SQLiteRows& rows) {
      while (rows.next()) {
      }
      return 0;
    });
    return true;
  } catch (const Error& error) {
    platform::logInfo(kLogCategory, "Rows are lost (" + error.localizedDescription() + "): " + sql);
    return false;
  }
}

// Whether the table's own rows all read, without touching any of its indexes.
bool tableReadsInFull(SQLiteConnection& db, const std::string& table) {
  return readsInFull(db, "SELECT * FROM main." + sqlIdentifier(table) + " NOT INDEXED");
}

std::vector<std::string> tableNames(SQLiteConnection& db, std::string_view schemaName) {
  return db.query("SELECT name FROM " + std::string(schemaName) +
                      ".sqlite_schema WHERE type = 'table' AND rootpage > 0 AND name NOT LIKE 'sqlite\\_%' "
                      "ESCAPE '\\' ORDER BY name",
                  {}, [](SQLiteRows& rows) {
                    std::vector<std::string> names;
                    while (rows.next()) names.push_back(rows.text(0));
                    return names;
                  });
}

std::set<std::string> columnNames(SQLiteConnection& db, std::string_view schemaName,
                                  const std::string& table) {
  return db.query("PRAGMA " + std::string(schemaName) + ".table_info(" + sqlIdentifier(table) + ");", {},
                  [](SQLiteRows& rows) {
                    std::set<std::string> names;
                    while (rows.next()) names.insert(rows.text(1));
                    return names;
                  });
}

// An image whose full-text row is lost gets it back from its file: projection revision 0 is older
// than any, so the next scan projects the image again.
void projectImagesWithoutTextAgain(SQLiteConnection& db, std::string_view schemaName) {
  const std::string schema(schemaName);
  db.execute("UPDATE " + schema +
             ".media_files SET projection_revision = 0 WHERE id NOT IN (SELECT rowid FROM " + schema +
             ".media_text_fts)");
}

void removeQuietly(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::remove(path, error);
}

void syncPath(const std::filesystem::path& path, int flags) {
  const int descriptor = ::open(path.c_str(), flags | O_CLOEXEC);
  if (descriptor < 0) throw std::system_error(errno, std::generic_category(), "open " + path.string());
  const int result = ::fsync(descriptor);
  const int error = errno;
  ::close(descriptor);
  if (result != 0) throw std::system_error(error, std::generic_category(), "fsync " + path.string());
}

// Copies every table of the library into a new file made by the schema script (its indexes and
// full-text tables built from the copied rows), checks the copy, and renames it over the library.
// `db` is the open connection to the damaged file; it is closed before the rename.
bool rebuildByCopy(SQLiteConnection& db, const std::filesystem::path& databaseFile, platform::Clock& clock) {
  // Everything committed goes into the file first: the copy reads the file, and nothing of the
  // log may stay behind to be played onto the new file.
  if (!db.truncateLog()) return false;

  const std::filesystem::path copy = databaseFile.string() + "-repair";
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) removeQuietly(copy.string() + suffix);
  {
    SQLiteConnection fresh({}, {}, clock);
    fresh.open(copy.string());
    fresh.executeScript(schema::script());
    fresh.executeScript("PRAGMA user_version = " + std::to_string(schema::kVersion) + ";");
    // Makes the planner's statistics table, filled below from the library's own.
    fresh.executeScript("ANALYZE;");
  }
  db.executeScript("PRAGMA foreign_keys = OFF;");
  db.execute("ATTACH DATABASE ? AS repaired", {copy.string()});
  // A failed copy is thrown away whole: its journal need not survive a crash, and the pages of a
  // new file it would hold are few. Only a statement that fails halfway rolls back through it.
  db.executeScript("PRAGMA repaired.journal_mode = MEMORY; PRAGMA repaired.synchronous = OFF;");
  // A full scan of an FTS5 table reads its text alone, never its index. Each is read through first,
  // outside the copy's transaction: a copy that failed halfway would leave the new table's own
  // index in doubt.
  std::set<std::string_view> readableFullText;
  for (const FullTextTable& fullText : kFullTextTables) {
    if (readsInFull(db, "SELECT rowid, " + std::string(fullText.columns) + " FROM main." +
                            std::string(fullText.name)))
      readableFullText.insert(fullText.name);
  }
  db.performTransaction([&] {
    for (const std::string& table : tableNames(db, "repaired")) {
      if (fullTextOwner(table)) continue;
      const std::set<std::string> stored = columnNames(db, "main", table);
      std::string columns;
      for (const std::string& column : columnNames(db, "repaired", table)) {
        if (!stored.contains(column)) continue;
        columns += (columns.empty() ? "" : ", ") + sqlIdentifier(column);
      }
      if (columns.empty()) continue;
      db.execute("INSERT INTO repaired." + sqlIdentifier(table) + " (" + columns + ") SELECT " + columns +
                 " FROM main." + sqlIdentifier(table) + " NOT INDEXED");
    }
    for (const FullTextTable& fullText : kFullTextTables) {
      const std::string name(fullText.name);
      const std::string columns(fullText.columns);
      if (readableFullText.contains(fullText.name)) {
        db.execute("INSERT INTO repaired." + name + " (rowid, " + columns + ") SELECT rowid, " + columns +
                   " FROM main." + name);
      } else if (!fullText.derivedRows.empty()) {
        db.execute(fullText.derivedRows);
      }
    }
    projectImagesWithoutTextAgain(db, "repaired");
  });
  // The planner's statistics describe the same tables; without them searches in a large library
  // may take slow plans until the next scan gathers them again. A copy that fails costs only that.
  try {
    db.performTransaction([&] {
      db.execute("DELETE FROM repaired.sqlite_stat1");
      db.execute("INSERT INTO repaired.sqlite_stat1 SELECT * FROM main.sqlite_stat1");
    });
  } catch (const Error& error) {
    platform::logInfo(kLogCategory,
                      "The planner's statistics were not copied: " + error.localizedDescription());
  }
  db.execute("DETACH DATABASE repaired");
  {
    SQLiteConnection check({}, {}, clock);
    check.open(copy.string());
    auto guard = check.lock();
    if (!libraryChecksSound(check)) {
      platform::logError(kLogCategory, "The repaired copy of the library does not check sound");
      return false;
    }
  }

  db.close();
  std::error_code error;
  const auto walSize = std::filesystem::file_size(databaseFile.string() + "-wal", error);
  if (!error && walSize > 0) return false;  // something of the old file is still in its log
  syncPath(copy, O_RDONLY);
  std::filesystem::rename(copy, databaseFile);
  removeQuietly(databaseFile.string() + "-wal");
  removeQuietly(databaseFile.string() + "-shm");
  syncPath(databaseFile.parent_path().empty() ? "." : databaseFile.parent_path(), O_RDONLY | O_DIRECTORY);
  return true;
}

// What the damage of the file reaches, read without writing anything to it (a read-only connection
// neither replays nor checkpoints the log), so a file that cannot be repaired is set aside as found.
// (FTS5's own check is a write statement: it runs on the writer, once the file is to be kept.)
struct DamageAssessment {
  bool tableDataDamaged = false;
  bool integrityCheckPasses = false;
  std::set<std::string> tablesWithDamagedIndexes;
  std::set<std::string> damagedFullTextTables;
};

DamageAssessment assessDamage(SQLiteConnection& db) {
  DamageAssessment assessment;
  assessment.integrityCheckPasses = integrityCheckPasses(db, "PRAGMA main.integrity_check;");
  if (assessment.integrityCheckPasses) return assessment;
  for (const std::string& table : tableNames(db, "main")) {
    if (integrityCheckPasses(db, "PRAGMA main.integrity_check(" + sqlIdentifier(table) + ");")) continue;
    if (const auto owner = fullTextOwner(table)) {
      assessment.damagedFullTextTables.insert(std::string(*owner));
    } else if (tableReadsInFull(db, table)) {
      assessment.tablesWithDamagedIndexes.insert(table);
    } else {
      assessment.tableDataDamaged = true;
      return assessment;
    }
  }
  return assessment;
}

LibraryRepairOutcome repair(SQLiteConnection& db, const DamageAssessment& damage,
                            const std::filesystem::path& databaseFile, platform::Clock& clock) {
  // Damage to the structures alone (an entry missing from an index) is rebuilt in place.
  const auto attempt = [&](const std::string& sql) {
    try {
      db.executeScript(sql);
    } catch (const Error& error) {
      platform::logInfo(kLogCategory,
                        "In-place repair failed (" + error.localizedDescription() + "): " + sql);
    }
  };
  for (const std::string& table : damage.tablesWithDamagedIndexes)
    attempt("REINDEX main." + sqlIdentifier(table) + ";");
  for (const std::string& table : damage.damagedFullTextTables)
    attempt("INSERT INTO main." + table + " (" + table + ") VALUES ('rebuild');");
  if (libraryChecksSound(db)) {
    // A rebuild keeps the text the table still had; images whose text it lost are projected again.
    if (damage.damagedFullTextTables.contains("media_text_fts")) projectImagesWithoutTextAgain(db, "main");
    return LibraryRepairOutcome::repaired;
  }

  // Pages that no longer read as pages cannot be cleared by either: a fresh copy leaves them behind.
  return rebuildByCopy(db, databaseFile, clock) ? LibraryRepairOutcome::repaired
                                                : LibraryRepairOutcome::tableDataDamaged;
}

}  // namespace

LibraryRepairOutcome repairDamagedLibrary(const std::filesystem::path& databaseFile, platform::Clock& clock) {
  LibraryRepairOutcome outcome = LibraryRepairOutcome::tableDataDamaged;
  try {
    DamageAssessment damage;
    {
      // A file that is set aside goes as it was found.
      const LogFilesAsFound asFound(databaseFile);
      SQLiteConnection reader({}, {}, clock);
      reader.open(databaseFile.string(), SQLiteConnection::Access::readOnly);
      reader.executeScript("PRAGMA busy_timeout = 5000;");
      auto guard = reader.lock();
      damage = assessDamage(reader);
    }
    if (!damage.tableDataDamaged) {
      SQLiteConnection db({}, {}, clock);
      db.open(databaseFile.string());
      db.executeScript("PRAGMA busy_timeout = 5000;");
      auto guard = db.lock();
      for (const FullTextTable& fullText : kFullTextTables) {
        if (!fullTextCheckPasses(db, "main", fullText.name))
          damage.damagedFullTextTables.insert(std::string(fullText.name));
      }
      outcome = damage.integrityCheckPasses && damage.damagedFullTextTables.empty()
                    ? LibraryRepairOutcome::sound
                    : repair(db, damage, databaseFile, clock);
    }
  } catch (const std::exception& error) {
    platform::logError(kLogCategory, std::string("Repairing the library failed: ") + error.what());
    outcome = LibraryRepairOutcome::tableDataDamaged;
  }
  platform::logInfo(kLogCategory, outcome == LibraryRepairOutcome::sound ? "The library checks sound"
                                  : outcome == LibraryRepairOutcome::repaired
                                      ? "The library was repaired"
                                      : "Rows of the library are lost");
  if (outcome == LibraryRepairOutcome::tableDataDamaged) {
    for (const char* suffix : {"", "-journal"}) removeQuietly(databaseFile.string() + "-repair" + suffix);
  }
  return outcome;
}

}  // namespace lorvex
