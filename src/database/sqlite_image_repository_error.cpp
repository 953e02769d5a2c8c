#include "database/sqlite_image_repository_error.h"

#include <sqlite3.h>

#include <ostream>
#include <utility>

namespace lorvex {
namespace {

std::string describe(SQLiteImageRepositoryV3Error::Kind kind,
                     const std::variant<std::int64_t, std::string>& payload) {
  using Kind = SQLiteImageRepositoryV3Error::Kind;
  switch (kind) {
    case Kind::incompatibleSchemaVersion:
      return "Unsupported Lorvex V4 database schema version: " +
             std::to_string(std::get<std::int64_t>(payload));
    case Kind::newerSchemaVersion:
      return "Lorvex database was created by a newer schema version: " +
             std::to_string(std::get<std::int64_t>(payload));
    case Kind::recordNotFound:
      return "No indexed record exists for: " + std::get<std::string>(payload);
    case Kind::openFailed:
    case Kind::executionFailed:
    case Kind::prepareFailed:
    case Kind::stepFailed:
      break;
  }
  return std::get<std::string>(payload);
}

}  // namespace

SQLiteImageRepositoryV3Error::SQLiteImageRepositoryV3Error(Kind kind,
                                                           std::variant<std::int64_t, std::string> payload,
                                                           int resultCode, int systemErrorNumber)
    : LibraryError(LibraryError::Kind::database, describe(kind, payload)),
      kind_(kind),
      payload_(std::move(payload)),
      resultCode_(resultCode),
      systemErrorNumber_(systemErrorNumber) {}

SQLiteImageRepositoryV3Error SQLiteImageRepositoryV3Error::incompatibleSchemaVersion(std::int64_t version,
                                                                                     int resultCode) {
  return {Kind::incompatibleSchemaVersion, version, resultCode};
}
SQLiteImageRepositoryV3Error SQLiteImageRepositoryV3Error::newerSchemaVersion(std::int64_t version) {
  return {Kind::newerSchemaVersion, version, 0};
}
SQLiteImageRepositoryV3Error SQLiteImageRepositoryV3Error::openFailed(std::string message, int resultCode,
                                                                      int systemErrorNumber) {
  return {Kind::openFailed, std::move(message), resultCode, systemErrorNumber};
}
SQLiteImageRepositoryV3Error SQLiteImageRepositoryV3Error::executionFailed(std::string message,
                                                                           int resultCode,
                                                                           int systemErrorNumber) {
  return {Kind::executionFailed, std::move(message), resultCode, systemErrorNumber};
}
SQLiteImageRepositoryV3Error SQLiteImageRepositoryV3Error::prepareFailed(std::string message, int resultCode,
                                                                         int systemErrorNumber) {
  return {Kind::prepareFailed, std::move(message), resultCode, systemErrorNumber};
}
SQLiteImageRepositoryV3Error SQLiteImageRepositoryV3Error::stepFailed(std::string message, int resultCode,
                                                                      int systemErrorNumber) {
  return {Kind::stepFailed, std::move(message), resultCode, systemErrorNumber};
}
SQLiteImageRepositoryV3Error SQLiteImageRepositoryV3Error::recordNotFound(std::string what) {
  return {Kind::recordNotFound, std::move(what), 0};
}

bool SQLiteImageRepositoryV3Error::reportsDamagedFile() const {
  return (resultCode_ & 0xff) == SQLITE_CORRUPT;
}

std::int64_t SQLiteImageRepositoryV3Error::version() const {
  const auto* version = std::get_if<std::int64_t>(&payload_);
  return version != nullptr ? *version : 0;
}

const std::string& SQLiteImageRepositoryV3Error::message() const {
  static const std::string empty;
  const auto* message = std::get_if<std::string>(&payload_);
  return message != nullptr ? *message : empty;
}

std::ostream& operator<<(std::ostream& out, const SQLiteImageRepositoryV3Error& error) {
  static constexpr const char* kNames[] = {"incompatibleSchemaVersion",
                                           "newerSchemaVersion",
                                           "openFailed",
                                           "executionFailed",
                                           "prepareFailed",
                                           "stepFailed",
                                           "recordNotFound"};
  return out << kNames[static_cast<int>(error.kind())] << ": " << error.localizedDescription();
}

}  // namespace lorvex
