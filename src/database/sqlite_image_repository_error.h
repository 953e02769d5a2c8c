// SQLiteImageRepositoryV3Error: the one error type that every library database operation throws.
//
// Each error has a kind and one payload (a schema version or a message). Messages that come from
// SQLite are its own text, unchanged; the few fixed texts are given where they are raised. The
// SQLite result code and the system's errno, when there are, ride along for callers that must tell a corrupt
// or foreign file from other failures; it takes no part in equality.
//
// Thread safety: a plain value; copies may be used from any thread.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <variant>

#include "model/library_error.h"
#include "model/search_cancelled_error.h"  // what a cancelled search throws, with this file's errors

namespace lorvex {

class SQLiteImageRepositoryV3Error : public LibraryError {
 public:
  enum class Kind {
    incompatibleSchemaVersion,  // version payload: the version found (4 for a failed verification)
    newerSchemaVersion,         // version payload
    openFailed,                 // message payload
    executionFailed,            // message payload
    prepareFailed,              // message payload
    stepFailed,                 // message payload
    recordNotFound,             // payload: what was looked for
  };

  // `resultCode` tells why a file of the right version cannot be used: SQLITE_CORRUPT for a damaged
  // library, SQLITE_NOTADB for a file that is not one; 0 for a layout of another version.
  static SQLiteImageRepositoryV3Error incompatibleSchemaVersion(std::int64_t version, int resultCode = 0);
  static SQLiteImageRepositoryV3Error newerSchemaVersion(std::int64_t version);
  static SQLiteImageRepositoryV3Error openFailed(std::string message, int resultCode = 0,
                                                 int systemErrorNumber = 0);
  static SQLiteImageRepositoryV3Error executionFailed(std::string message, int resultCode = 0,
                                                      int systemErrorNumber = 0);
  static SQLiteImageRepositoryV3Error prepareFailed(std::string message, int resultCode = 0,
                                                    int systemErrorNumber = 0);
  static SQLiteImageRepositoryV3Error stepFailed(std::string message, int resultCode = 0,
                                                 int systemErrorNumber = 0);
  static SQLiteImageRepositoryV3Error recordNotFound(std::string what);

  Kind kind() const { return kind_; }
  // The schema version of the two version kinds; 0 for the others.
  std::int64_t version() const;
  // The message payload of the message kinds; empty for the version kinds.
  const std::string& message() const;
  // SQLite's (extended) result code when SQLite reported the failure, else 0.
  int sqliteResultCode() const { return resultCode_; }
  // The errno value of the system call SQLite saw fail (sqlite3_system_errno), when it reported
  // one with the failure: "Operation not permitted" for a library made immutable. 0 otherwise.
  int systemErrorNumber() const { return systemErrorNumber_; }
  // Whether SQLite found the file damaged (SQLITE_CORRUPT), as opposed to of another kind.
  bool reportsDamagedFile() const;

  // localizedDescription(), shown to people and logged, is the message itself, or the fixed stems
  // followed by the payload ("Unsupported Lorvex V4 database schema version: 3", "No indexed
  // record exists for: indexing job 7").

  // Same kind and equal payload.
  friend bool operator==(const SQLiteImageRepositoryV3Error& a, const SQLiteImageRepositoryV3Error& b) {
    return a.kind_ == b.kind_ && a.payload_ == b.payload_;
  }
  // "<kind>: <description>", for logs and test output.
  friend std::ostream& operator<<(std::ostream& out, const SQLiteImageRepositoryV3Error& error);

 private:
  SQLiteImageRepositoryV3Error(Kind kind, std::variant<std::int64_t, std::string> payload, int resultCode,
                               int systemErrorNumber = 0);

  Kind kind_;
  std::variant<std::int64_t, std::string> payload_;
  int resultCode_ = 0;
  int systemErrorNumber_ = 0;
};

}  // namespace lorvex
