// SQLiteImageRepositoryV3: the library database. One object per process owns the file
// "LorvexV3.sqlite" and its one connection; every library operation of the services goes through
// it, from any thread.
//
// Construction opens (or creates) the file, brings it to schema version 4 and verifies it, or
// throws SQLiteImageRepositoryV3Error and leaves no connection open:
//   - newerSchemaVersion(v): the file was written by a newer program; it is left untouched.
//   - incompatibleSchemaVersion(v): an older or foreign layout, a file that is not a database or
//     one that is corrupt. Start-up moves the files aside with moveAsidePreV4Database and
//     constructs the object once more, which creates a fresh library. Nothing is ever deleted.
//   - openFailed / executionFailed: the file could not be opened or set up.
// Destruction closes the connection.
//
// The operations of the library are grouped by concern, each in its own source file; all of them
// run under the connection's lock (see SQLiteConnection).
//
// Thread safety: every member function may be called from any thread; the connection's recursive
// lock serialises them. moveAsidePreV4Database touches only files and runs while no connection to
// them is open.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "database/sqlite_connection.h"
#include "database/sqlite_image_repository_error.h"
#include "platform/clock.h"

namespace lorvex {

struct SQLiteImageRepositoryV3Options {
  // Receives the SQL text of every statement that runs (not the scripts).
  SQLiteConnection::StatementObserver statementObserver;
  // Called from the search progress handler, on the searching thread.
  SQLiteConnection::SearchProgressObserver searchProgressObserver;
  // Time of stored rows and of lock-wait measurements; the system clock when null.
  platform::Clock* clock = nullptr;
};

// The file operations that moving a library aside needs; tests replace them.
struct DatabaseFileMover {
  // Whether anything (a file, a folder, a dangling link) exists at the path.
  std::function<bool(const std::filesystem::path&)> exists;
  // Renames `from` to `to`; throws std::filesystem::filesystem_error on failure.
  std::function<void(const std::filesystem::path& from, const std::filesystem::path& to)> move;

  static DatabaseFileMover system();
};

class SQLiteImageRepositoryV3 {
 public:
  static constexpr std::int64_t kMetadataProjectionRevision = 1;

  explicit SQLiteImageRepositoryV3(const std::filesystem::path& databaseFile,
                                   SQLiteImageRepositoryV3Options options = {});
  ~SQLiteImageRepositoryV3();
  SQLiteImageRepositoryV3(const SQLiteImageRepositoryV3&) = delete;
  SQLiteImageRepositoryV3& operator=(const SQLiteImageRepositoryV3&) = delete;

  // Moves the database file and its "-wal" and "-shm" files to
  // "<name>.pre-v4-v<version>-<stamp>" in the same folder (with ".1", ".2", … appended while any
  // of the three target names is taken). Missing companions are skipped. The first failed move
  // ends the operation with the mover's error; files moved before it stay moved.
  static void moveAsidePreV4Database(const std::filesystem::path& databaseFile, std::int64_t version,
                                     std::string_view stamp,
                                     const DatabaseFileMover& mover = DatabaseFileMover::system());
  // The stamp start-up passes: whole seconds since 1970, truncated toward zero.
  static std::string moveAsideStamp(double secondsSince1970);

  // The statement layer, lock and transactions that the operations use; exposed for the
  // operations of this layer and for tests.
  SQLiteConnection& connection() { return connection_; }

 private:
  void openAndMigrate(const std::string& path);
  std::int64_t readSchemaVersion();
  void verifySchema();
  void prepareForThisProcess();

  SQLiteConnection connection_;
};

}  // namespace lorvex
