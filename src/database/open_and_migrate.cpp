// Opening the library file: connection settings, the version gate, the schema script and its
// verification, and moving an unusable file aside.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "database/internal/carried_marks.h"
#include "database/internal/library_repair.h"
#include "database/internal/lost_header_library.h"
#include "database/internal/row_mappers.h"
#include "database/internal/schema.h"
#include "database/internal/sqlite_connection.h"
#include "database/sqlite_image_repository.h"
#include "platform/log.h"

namespace lorvex {

using Error = SQLiteImageRepositoryV3Error;

namespace {

// A file SQLite cannot read as a database, or reads as damaged. Such a file can never be opened
// again, so it is treated like an incompatible layout: moved aside (kept) and replaced.
bool isUnreadableDatabase(const Error& error) {
  const int primary = error.sqliteResultCode() & 0xff;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// The script is fixed text, so an SQL error while running it can only come from tables of another
// layout already in the file (a table without a column that an index names). Such a file is an
// incompatible layout, not a failure to open: reporting it so lets start-up move it aside.
void runSchemaScript(SQLiteConnection& connection, std::int64_t version) {
  try {
    const bool marksWithoutContents =
        version != 0 && !connection.query("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?",
                                          {std::string("delete_candidate_contents")}, rows::exists);
    connection.executeScript(schema::script());
    // The delete-candidate marks of a library written before their contents were kept were given
    // on the content the library holds for them now, as far as anyone can tell.
    if (marksWithoutContents) {
      connection.execute(
          "INSERT OR IGNORE INTO delete_candidate_contents (media_file_id, content_sha256) SELECT "
          "media_files.id, media_files.content_sha256 FROM review_states JOIN media_files ON media_files.id "
          "= "
          "review_states.media_file_id WHERE review_states.delete_candidate <> 0");
    }
  } catch (const Error& error) {
    if ((error.sqliteResultCode() & 0xff) != SQLITE_ERROR) throw;
    platform::logError("Database",
                       "The library's tables do not fit this version (" + error.localizedDescription() + ")");
    throw Error::incompatibleSchemaVersion(version);
  }
}

// What every connection to the library sets, the writer and the reader alike. A reader can wait
// on the file's locks too: while the writer checkpoints, or recovers the log after a crash.
void applySessionSettings(SQLiteConnection& connection) {
  connection.executeScript("PRAGMA foreign_keys = ON;");
  connection.executeScript("PRAGMA busy_timeout = 5000;");
}

// How a connection reads pages. Each connection has a page cache of its own.
void applyPageReading(SQLiteConnection& connection) {
  // The default 2 MiB page cache makes every search page re-read the same index and record
  // pages from the operating system; 64 MiB holds the hot pages of a library of a million images.
  connection.executeScript("PRAGMA cache_size = -65536;");
  // Pages that fell out of that cache are read through a read-only memory map of the file instead
  // of a read() and a copy each: a search after other work (an index walk, a scan) touches
  // thousands of such pages, and a first page went from 25 to 19 ms at a million images. SQLite
  // caps the size at what it was built for (2 GiB); pages beyond it are read as before. The map
  // is never written through, so it cannot damage the file. A mapped file cut short by another
  // program would stop the process with SIGBUS at the next page read; the guard turns that into
  // a damaged-file error, and where it cannot, pages are read with read().
  connection.mapPagesWhenGuarded(2147418112);
}

// A library file of no bytes holds no library: an earlier one was lost (cut short by a full disk,
// or replaced). It is set aside like a file of another kind, so that the person is told, and not
// quietly made into a new library. A first launch finds no file at all.
bool isEmptyLibraryFile(const std::string& path) {
  std::error_code error;
  if (std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::regular)
    return false;
  if (std::filesystem::file_size(path, error) != 0 || error) return false;
  // Pages still waiting in the log belong to the file.
  const auto logSize = std::filesystem::file_size(path + "-wal", error);
  return error || logSize == 0;
}

bool anythingAt(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found &&
         !error;
}

}  // namespace

void SQLiteImageRepositoryV3::openAndMigrate(const std::string& path) {
  if (isEmptyLibraryFile(path)) {
    platform::logError("Database", "The library file is empty; it will be moved aside: " + path);
    throw Error::incompatibleSchemaVersion(0, SQLITE_NOTADB);
  }
  // A library that an earlier run found damaged is checked before it is used: damage confined to
  // what the tables rebuild (an index, a full-text index) is repaired; a file whose rows are lost is
  // reported like an incompatible layout, unchanged, and start-up moves it aside.
  bool repairTried = false;
  const auto repairOrRefuse = [&](std::int64_t version) {
    repairTried = true;
    if (repairDamagedLibrary(path, connection_.clock()) == LibraryRepairOutcome::tableDataDamaged) {
      platform::logError("Database", "The library file is damaged; it will be moved aside: " + path);
      throw Error::incompatibleSchemaVersion(version, SQLITE_CORRUPT);
    }
    std::error_code error;
    std::filesystem::remove(SQLiteConnection::damageMarkerPath(path), error);
    if (error) {
      throw std::filesystem::filesystem_error("Unable to remove the library's damage mark",
                                              SQLiteConnection::damageMarkerPath(path), error);
    }
  };
  if (anythingAt(SQLiteConnection::damageMarkerPath(path))) repairOrRefuse(schema::kVersion);
  try {
    openOnce(path);
  } catch (const Error& error) {
    // Damage met while opening: the same check, once.
    if (repairTried || error.kind() != Error::Kind::incompatibleSchemaVersion || !error.reportsDamagedFile())
      throw;
    repairOrRefuse(error.version());
    openOnce(path);
  }
  resumeCarryingMarks(path);
}

void SQLiteImageRepositoryV3::openOnce(const std::string& path) {
  connection_.open(path);
  std::int64_t knownVersion = 0;
  try {
    applySessionSettings(connection_);
    knownVersion = readSchemaVersion();
    if (knownVersion > schema::kVersion) throw Error::newerSchemaVersion(knownVersion);

    connection_.executeScript("PRAGMA journal_mode = WAL;");
    // With WAL, NORMAL loses no committed transaction when the application crashes and makes each
    // commit about ten times cheaper than FULL.
    connection_.executeScript("PRAGMA synchronous = NORMAL;");
    connection_.executeScript("PRAGMA wal_autocheckpoint = 1000;");
    connection_.executeScript("PRAGMA journal_size_limit = 67108864;");
    // The automatic checkpoint at the same size, made beside the writes instead of inside the
    // commit that reaches it, while that commit still holds the lock a person's click waits for.
    connection_.checkpointBesideWrites(1000);
    // The writer's statement journals stay in memory: a statement that may fail halfway copies
    // every page it changes into one first, and past 64 KiB SQLite spills it to a temporary file,
    // a write() per page. Indexing ran about one such write per row it wrote.
    connection_.executeScript("PRAGMA temp_store = MEMORY;");
    applyPageReading(connection_);

    knownVersion = readSchemaVersion();
    if (knownVersion != 0 && knownVersion != schema::kVersion)
      throw Error::incompatibleSchemaVersion(knownVersion);
    runSchemaScript(connection_, knownVersion);
    connection_.executeScript("PRAGMA user_version = " + std::to_string(schema::kVersion) + ";");
    knownVersion = schema::kVersion;
    verifySchema();
    prepareForThisProcess();
    // Last, on the finished file: the reader never creates, migrates or writes, and a library
    // whose reader cannot open is not opened at all.
    reader_.open(path, SQLiteConnection::Access::readOnly);
    applySessionSettings(reader_);
    applyPageReading(reader_);
    connection_.reportDamageBesideFile();
    reader_.reportDamageBesideFile();
  } catch (const Error& error) {
    closeConnections();
    if (isUnreadableDatabase(error)) {
      platform::logError("Database", "The library file is unreadable (" + error.localizedDescription() +
                                         "); it will be moved aside: " + path);
      // Not a database to SQLite, yet its pages are a library's: only its first page is lost. That
      // is damage, whose marks can still be read, not a file of another kind.
      const bool lostHeader =
          (error.sqliteResultCode() & 0xff) == SQLITE_NOTADB && isLibraryWithLostHeader(path);
      throw Error::incompatibleSchemaVersion(knownVersion,
                                             lostHeader ? SQLITE_CORRUPT : error.sqliteResultCode());
    }
    throw;
  } catch (...) {
    closeConnections();
    throw;
  }
}

void SQLiteImageRepositoryV3::closeConnections() {
  // The reader first: the writer, closing last, checkpoints the write-ahead log into the file and
  // removes it, as it does when it is the only connection.
  reader_.close();
  connection_.close();
}

std::int64_t SQLiteImageRepositoryV3::readSchemaVersion() {
  auto guard = connection_.lock();
  return connection_.query("PRAGMA user_version;", {}, rows::firstInt64OrZero);
}

void SQLiteImageRepositoryV3::verifySchema() {
  const auto columnsOf = [this](std::string_view table) {
    auto guard = connection_.lock();
    return connection_.query("PRAGMA table_info(" + std::string(table) + ");", {}, rows::textSet(1));
  };
  for (const auto& required : schema::requiredColumns()) {
    const auto columns = columnsOf(required.table);
    for (const auto column : required.columns) {
      if (!columns.contains(std::string(column))) throw Error::incompatibleSchemaVersion(schema::kVersion);
    }
  }
  const auto legacy = columnsOf(schema::kLegacyColumnsTable);
  for (const auto column : schema::legacyColumns()) {
    if (legacy.contains(std::string(column))) throw Error::incompatibleSchemaVersion(schema::kVersion);
  }
  for (const auto table : schema::legacyTables()) {
    auto guard = connection_.lock();
    const bool present = connection_.query(
        "SELECT 1\nFROM sqlite_master\nWHERE type = ? AND name = ?\nLIMIT 1", {"table", table}, rows::exists);
    if (present) throw Error::incompatibleSchemaVersion(schema::kVersion);
  }
}

// ---- moving an unusable library aside ---------------------------------------------------------

DatabaseFileMover DatabaseFileMover::system() {
  return {
      [](const std::filesystem::path& path) {
        // A name that cannot even be examined counts as free: the move then fails with a clear
        // error instead of the search for a free name never ending.
        std::error_code error;
        const auto type = std::filesystem::symlink_status(path, error).type();
        return type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none;
      },
      [](const std::filesystem::path& from, const std::filesystem::path& to) {
        // Never replace a file that appeared at the target since the name was chosen.
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
        if (errno == EINVAL || errno == ENOSYS) {
          std::filesystem::rename(from, to);
          return;
        }
        throw std::filesystem::filesystem_error("Unable to move the library file aside", from, to,
                                                std::error_code(errno, std::generic_category()));
      },
  };
}

std::string SQLiteImageRepositoryV3::moveAsideStamp(double secondsSince1970) {
  return std::to_string(static_cast<std::int64_t>(std::trunc(secondsSince1970)));
}

std::filesystem::path SQLiteImageRepositoryV3::moveAsidePreV4Database(
    const std::filesystem::path& databaseFile, std::int64_t version, std::string_view stamp,
    const DatabaseFileMover& mover) {
  static constexpr std::string_view kSuffixes[] = {"", "-wal", "-shm"};
  const std::string base =
      databaseFile.filename().string() + ".pre-v4-v" + std::to_string(version) + "-" + std::string(stamp);
  const auto folder = databaseFile.parent_path();
  const auto taken = [&](const std::string& name) {
    for (const auto suffix : kSuffixes) {
      if (mover.exists(folder / (name + std::string(suffix)))) return true;
    }
    return false;
  };
  std::string target = base;
  for (std::int64_t counter = 1; taken(target); ++counter) target = base + "." + std::to_string(counter);

  for (const auto suffix : kSuffixes) {
    const std::filesystem::path from = databaseFile.string() + std::string(suffix);
    if (!mover.exists(from)) continue;
    mover.move(from, folder / (target + std::string(suffix)));
  }
  // Last, so that a move that fails leaves the mark on what is still in place; a marker left on its
  // own (a crash just before this) only makes the next start move aside nothing.
  std::error_code error;
  std::filesystem::remove(SQLiteConnection::damageMarkerPath(databaseFile), error);
  if (error) {
    throw std::filesystem::filesystem_error("Unable to remove the library's damage mark",
                                            SQLiteConnection::damageMarkerPath(databaseFile), error);
  }
  return folder / target;
}

std::filesystem::path SQLiteImageRepositoryV3::carriedMarksNotePath(
    const std::filesystem::path& databaseFile) {
  return databaseFile.string() + "-recovering";
}

void SQLiteImageRepositoryV3::carryMarksFrom(const std::filesystem::path& databaseFile,
                                             const std::filesystem::path& setAsideFile) {
  // Written whole or not at all (a temporary file renamed over the note), and to the disk before
  // the new library is made: a note half written would carry nothing.
  const std::filesystem::path note = carriedMarksNotePath(databaseFile);
  replaceCarriedMarksNote(note, setAsideFile.filename().string() + "\n");
}

}  // namespace lorvex
