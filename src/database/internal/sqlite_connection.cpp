#include "database/internal/sqlite_connection.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "database/internal/sql_functions.h"
#include "database/internal/wal_checkpointer.h"
#include "platform/log.h"
#include "platform/regular_file.h"

namespace lorvex {

using Error = SQLiteImageRepositoryV3Error;

namespace {
constexpr const char* kDatabaseClosed = "Database is closed";

// The errno of the last system call that failed on the library's write-ahead log, else on its
// file, which SQLite keeps with each open file.
int lastFileErrorNumber(sqlite3* database) {
  int error = 0;
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(database, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) == SQLITE_OK &&
      log != nullptr && log->pMethods != nullptr &&
      log->pMethods->xFileControl(log, SQLITE_FCNTL_LAST_ERRNO, &error) == SQLITE_OK && error != 0)
    return error;
  error = 0;
  return sqlite3_file_control(database, "main", SQLITE_FCNTL_LAST_ERRNO, &error) == SQLITE_OK ? error : 0;
}

// The errno of the system call behind a failure that SQLite reports as one of the file's (it
// leaves the value undefined for any other): what a person can act on when the library's file or
// folder stops taking writes. SQLite reads errno for it only after its own clean-up, which may
// have reset it (a write refused by a library made immutable came back as 0); the errno the file
// kept from the failed call is the reason then.
int systemErrorNumber(sqlite3* database, int resultCode) {
  if (database == nullptr) return 0;
  switch (resultCode & 0xff) {
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_FULL:
    case SQLITE_PERM:
      if (const int error = sqlite3_system_errno(database); error != 0) return error;
      return (resultCode & 0xff) == SQLITE_IOERR ? lastFileErrorNumber(database) : 0;
    default:
      return 0;
  }
}

// The first of the library's files (the file, its write-ahead log, its shared-memory index) that
// exists and cannot be written, with the reason; nothing when each can be written or is absent.
std::optional<std::pair<std::string, int>> firstUnwritableFile(const std::filesystem::path& database) {
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::string file = database.string() + suffix;
    if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0) continue;
    const int error = errno;
    if (error != ENOENT) return std::pair(std::move(file), error);
  }
  return std::nullopt;
}

bool isDamagedFileResult(int resultCode) {
  const int primary = resultCode & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// Creates the marker with the reason in it and makes it durable (file and folder entry), so that a
// crash right after the failure still leaves it for the next start. Failing to write it is logged,
// never thrown: the caller is already reporting the database error.
void writeDamageMarker(const std::filesystem::path& marker, const std::string& reason) {
  const int file = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (file < 0) {
    platform::logError("Database", "Unable to mark the library as damaged at " + marker.string() + ": " +
                                       std::strerror(errno));
    return;
  }
  const std::string text = reason + "\n";
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t result = ::write(file, text.data() + written, text.size() - written);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) break;  // the marker's presence is what counts, not its text
    written += static_cast<std::size_t>(result);
  }
  ::fsync(file);
  ::close(file);
  const int folder = ::open(marker.parent_path().empty() ? "." : marker.parent_path().c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}
}  // namespace

void emitLockWait(std::uint64_t waitNanoseconds) {
  if (!platform::signpostsEnabled()) return;
  std::array<char, 64> buffer{};
  const double milliseconds = static_cast<double>(waitNanoseconds) / 1'000'000.0;
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), milliseconds, std::chars_format::fixed, 6);
  platform::signpostEvent("LockWait", "waitMs=" + std::string(buffer.data(), result.ptr));
}

// ---- rows -------------------------------------------------------------------------------------

bool SQLiteRows::next() {
  const int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  connection_.throwStepFailure(result);
}

bool SQLiteRows::isNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t SQLiteRows::int64(int column) const {
  return sqlite3_column_int64(statement_, column);
}

double SQLiteRows::real(int column) const {
  return sqlite3_column_double(statement_, column);
}

std::string SQLiteRows::text(int column) const {
  const auto* bytes = sqlite3_column_text(statement_, column);
  const int length = sqlite3_column_bytes(statement_, column);
  if (bytes == nullptr || length <= 0) return {};
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

std::optional<std::int64_t> SQLiteRows::optionalInt64(int column) const {
  if (isNull(column)) return std::nullopt;
  return int64(column);
}

std::optional<double> SQLiteRows::optionalReal(int column) const {
  if (isNull(column)) return std::nullopt;
  return real(column);
}

std::optional<std::string> SQLiteRows::optionalText(int column) const {
  if (isNull(column)) return std::nullopt;
  return text(column);
}

std::vector<std::uint8_t> SQLiteRows::blob(int column) const {
  const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
  const int length = sqlite3_column_bytes(statement_, column);
  if (bytes == nullptr || length <= 0) return {};
  return std::vector<std::uint8_t>(bytes, bytes + length);
}

// ---- connection -------------------------------------------------------------------------------

SQLiteConnection::SQLiteConnection(StatementObserver statementObserver,
                                   SearchProgressObserver searchProgressObserver, platform::Clock& clock)
    : statementObserver_(std::move(statementObserver)),
      searchProgressObserver_(std::move(searchProgressObserver)),
      clock_(clock) {}

SQLiteConnection::~SQLiteConnection() {
  close();
}

void SQLiteConnection::open(const std::string& path, Access access) {
  close();
  sqlite3* database = nullptr;
  const int flags = access == Access::readOnly        ? SQLITE_OPEN_READONLY
                    : access == Access::writeExisting ? SQLITE_OPEN_READWRITE
                                                      : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  const int result = sqlite3_open_v2(path.c_str(), &database, flags, nullptr);
  if (result != SQLITE_OK) {
    std::string message = database != nullptr ? sqlite3_errmsg(database) : "Unable to open database";
    const int systemError = systemErrorNumber(database, result);
    sqlite3_close(database);
    throw Error::openFailed(std::move(message), result, systemError);
  }
  sqlite3_extended_result_codes(database, 1);
  try {
    registerSQLFunctions(database);
  } catch (...) {
    sqlite3_close(database);
    throw;
  }
  database_ = database;
  readOnly_ = access == Access::readOnly;
  path_ = path;
}

std::filesystem::path SQLiteConnection::damageMarkerPath(const std::filesystem::path& databaseFile) {
  return databaseFile.string() + "-damaged";
}

void SQLiteConnection::noteFailure(int resultCode) const {
  if (!isDamagedFileResult(resultCode) || damageMarker_.empty() || damageMarked_.exchange(true)) return;
  const std::string message = database_ != nullptr ? sqlite3_errmsg(database_) : "damaged file";
  platform::logError(
      "Database",
      "The library file is damaged (" + message +
          "); it will be moved aside and a new library created at the next start: " + path_.string());
  writeDamageMarker(damageMarker_, message);
}

void SQLiteConnection::mapPagesWhenGuarded(std::int64_t bytes) {
  if (!guardedFile_) guardedFile_ = mapped_file_guard::guard(path_.string());
  executeScript("PRAGMA mmap_size = " + std::to_string(guardedFile_ ? bytes : 0) + ";");
}

void SQLiteConnection::writeOutCachedPages() {
  if (database_ == nullptr) return;
  const int result = sqlite3_db_cacheflush(database_);
  // Busy: a page could not be written now; it stays in the cache, which is no failure.
  if (result != SQLITE_OK && result != SQLITE_BUSY) {
    noteFailure(result);
    throw Error::stepFailed(sqlite3_errstr(result), result, systemErrorNumber(database_, result));
  }
  sqlite3_db_release_memory(database_);
}

void SQLiteConnection::releaseCachedMemory() {
  auto guard = lock();
  if (database_ != nullptr) sqlite3_db_release_memory(database_);
}

void SQLiteConnection::checkpointBesideWrites(int frames) {
  if (database_ == nullptr || readOnly_) return;
  // Without the statement observer: the checkpoints run on a thread of their own, not in any
  // operation of the library.
  checkpointer_ = std::make_unique<WALCheckpointer>(path_.string(), clock_);
  checkpointer_->attachTo(database_, frames);
}

void SQLiteConnection::catchUpCheckpoint() {
  if (checkpointer_) checkpointer_->catchUp();
}

bool SQLiteConnection::truncateLog() {
  // Before this connection's lock, which callers release first where they can: the copy of what
  // the log holds can take long.
  catchUpCheckpoint();
  // The truncation is a statement on this connection like any other: run without the lock, it was
  // still running when another thread's COMMIT came ("SQL statements in progress"), and two threads
  // used the statement cache at once. The checkpoint connection's lock comes second, the only order
  // in which the two are ever taken together (its thread never takes this one), so a caller that
  // already holds this lock cannot deadlock; it waits only for a checkpoint that has begun since.
  auto guard = lock();
  std::unique_lock<std::recursive_timed_mutex> checkpoints;
  if (checkpointer_) checkpoints = checkpointer_->holdOff();
  // The first column is 1 when the checkpoint could not finish.
  return query("PRAGMA wal_checkpoint(TRUNCATE);", {},
               [](SQLiteRows& rows) { return rows.next() && rows.int64(0) == 0; });
}

void SQLiteConnection::leaveCheckpointAtCloseToOthers() {
  if (database_ == nullptr) return;
  int off = 0;
  sqlite3_db_config(database_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, &off);
  checkpointsAtClose_ = false;
}

void SQLiteConnection::keepLogAtCloseWhenUnwritable() {
  const auto unwritable = firstUnwritableFile(path_);
  if (!unwritable) return;
  int off = 0;
  sqlite3_db_config(database_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, &off);
  platform::logError("Database",
                     "The library was closed without a checkpoint, its write-ahead log kept for "
                     "the next start to apply: " +
                         unwritable->first + " cannot be written (" +
                         platform::errorNumberReason(unwritable->second) + ")");
}

void SQLiteConnection::close() {
  damageMarker_.clear();
  damageMarked_ = false;
  // Before the handle: its connection closes first, so this one closes alone and removes the log.
  checkpointer_.reset();
  if (database_ == nullptr) return;
  for (auto& [sql, cached] : statements_) sqlite3_finalize(cached.statement);
  statements_.clear();
  if (!readOnly_ && checkpointsAtClose_) keepLogAtCloseWhenUnwritable();
  if (sqlite3_close(database_) != SQLITE_OK) {
    // Only a statement prepared outside the cache could hold the handle open; let SQLite close it
    // once that statement is gone rather than leak the file.
    platform::logError("Database", std::string("Closing the library database: ") + sqlite3_errmsg(database_));
    sqlite3_close_v2(database_);
  }
  database_ = nullptr;
  readOnly_ = false;
  checkpointsAtClose_ = true;
  // After the close, so the map is gone before its file stops being guarded.
  if (guardedFile_) mapped_file_guard::unguard(*guardedFile_);
  guardedFile_.reset();
}

std::unique_lock<std::recursive_timed_mutex> SQLiteConnection::lock() {
  const std::int64_t start = clock_.monotonicNanoseconds();
  std::unique_lock guard(mutex_, std::try_to_lock);
  if (!guard.owns_lock()) {
    ++lockWaiters_;
    guard.lock();
    --lockWaiters_;
  }
  ++lockAcquisitions_;
  recordLockWait(clock_.monotonicNanoseconds() - start);
  return guard;
}

void SQLiteConnection::letWaitingLockUsersFirst() {
  if (lockWaiters_.load() == 0) return;
  const std::uint64_t acquisitions = lockAcquisitions_.load();
  const auto deadline = std::chrono::steady_clock::now() + kLockHandOverLimit;
  // A woken waiter takes the lock within microseconds; short sleeps leave it the core meanwhile.
  while (lockWaiters_.load() > 0 && lockAcquisitions_.load() == acquisitions &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

void SQLiteConnection::recordLockWait(std::int64_t waitNanoseconds) const {
  if (waitNanoseconds > kLockWaitReportThresholdNanoseconds) {
    emitLockWait(static_cast<std::uint64_t>(waitNanoseconds));
  }
}

std::unique_lock<std::recursive_timed_mutex> SQLiteConnection::lockForSearch(const std::stop_token& stop) {
  const std::int64_t start = clock_.monotonicNanoseconds();
  throwIfCancelled(stop);
  std::unique_lock guard(mutex_, std::defer_lock);
  while (!guard.try_lock_for(kSearchLockAttempt)) throwIfCancelled(stop);
  const std::int64_t end = clock_.monotonicNanoseconds();
  throwIfCancelled(stop);  // releases the lock through the guard
  recordLockWait(end - start);
  if (database_ == nullptr) throw Error::executionFailed(kDatabaseClosed);
  return guard;
}

SQLiteConnection::ReadSnapshot::ReadSnapshot(SQLiteConnection& connection) : connection_(connection) {
  if (!connection_.readOnly_ || connection_.database_ == nullptr) return;
  if (sqlite3_get_autocommit(connection_.database_) == 0) return;
  // A deferred BEGIN reads nothing yet: the snapshot is the state committed when the first
  // statement of the unit starts.
  connection_.executeScript("BEGIN;");
  began_ = true;
}

SQLiteConnection::ReadSnapshot::~ReadSnapshot() {
  if (!began_ || connection_.database_ == nullptr || sqlite3_get_autocommit(connection_.database_) != 0)
    return;
  // Nothing was written, so ending the read transaction either way is the same; ROLLBACK cannot
  // fail for want of a lock.
  char* message = nullptr;
  if (sqlite3_exec(connection_.database_, "ROLLBACK;", nullptr, nullptr, &message) != SQLITE_OK) {
    platform::logDebug("Database",
                       std::string("Ending a read transaction: ") +
                           (message != nullptr ? message : sqlite3_errmsg(connection_.database_)));
  }
  sqlite3_free(message);
}

SQLiteConnection::SearchScope::SearchScope(SQLiteConnection& connection, std::stop_token stop)
    : connection_(connection),
      context_{std::move(stop),
               connection.searchProgressObserver_ ? &connection.searchProgressObserver_ : nullptr},
      previous_(connection.activeSearch_) {
  connection_.activeSearch_ = &context_;
  const int interval = context_.observer != nullptr ? 1 : 1000;
  sqlite3_progress_handler(connection_.database_, interval, &SQLiteConnection::searchProgressHandler,
                           &context_);
}

SQLiteConnection::SearchScope::~SearchScope() {
  connection_.activeSearch_ = previous_;
  if (connection_.database_ == nullptr) return;
  if (previous_ != nullptr) {
    const int interval = previous_->observer != nullptr ? 1 : 1000;
    sqlite3_progress_handler(connection_.database_, interval, &SQLiteConnection::searchProgressHandler,
                             previous_);
  } else {
    sqlite3_progress_handler(connection_.database_, 0, nullptr, nullptr);
  }
}

int SQLiteConnection::searchProgressHandler(void* context) {
  if (context == nullptr) return 0;
  const auto& search = *static_cast<const SearchContext*>(context);
  if (search.observer != nullptr) (*search.observer)();
  return search.stop.stop_requested() ? 1 : 0;
}

void SQLiteConnection::executeScript(std::string_view sql) {
  auto guard = lock();
  if (database_ == nullptr) throw Error::executionFailed(kDatabaseClosed);
  // sqlite3_exec needs a NUL-terminated text.
  const std::string text(sql);
  char* message = nullptr;
  const int result = sqlite3_exec(database_, text.c_str(), nullptr, nullptr, &message);
  if (result != SQLITE_OK) {
    std::string description = message != nullptr ? message : sqlite3_errmsg(database_);
    sqlite3_free(message);
    const int code = sqlite3_extended_errcode(database_);
    noteFailure(code);
    throw Error::executionFailed(std::move(description), code, systemErrorNumber(database_, code));
  }
  sqlite3_free(message);
}

SQLiteConnection::StatementLease SQLiteConnection::prepare(std::string_view sql,
                                                           const SQLiteV3Bindings& bindings) {
  if (database_ == nullptr) throw Error::prepareFailed(kDatabaseClosed);
  if (sql.size() > static_cast<std::size_t>(INT_MAX)) throw Error::prepareFailed("SQL text too long");

  CachedStatement* cached = nullptr;
  sqlite3_stmt* statement = nullptr;
  if (auto found = statements_.find(sql); found != statements_.end() && !found->second.inUse) {
    cached = &found->second;
    statement = cached->statement;
  } else {
    const bool cacheable = found == statements_.end();
    const unsigned flags = cacheable ? SQLITE_PREPARE_PERSISTENT : 0;
    const int result =
        sqlite3_prepare_v3(database_, sql.data(), static_cast<int>(sql.size()), flags, &statement, nullptr);
    if (result != SQLITE_OK || statement == nullptr) {
      sqlite3_finalize(statement);
      noteFailure(result);
      throw Error::prepareFailed(sqlite3_errmsg(database_), result, systemErrorNumber(database_, result));
    }
    if (cacheable) {
      if (statements_.size() >= kStatementCacheCapacity) finalizeIdleStatements();
      cached = &statements_.emplace(std::string(sql), CachedStatement{statement, false}).first->second;
    }
  }
  if (cached != nullptr) cached->inUse = true;
  StatementLease lease(*this, statement, cached);
  if (statementObserver_) statementObserver_(sql);
  bind(statement, bindings);
  return lease;
}

SQLiteConnection::StatementLease::~StatementLease() {
  if (statement_ == nullptr) return;
  if (cached_ != nullptr) {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    cached_->inUse = false;
  } else {
    sqlite3_finalize(statement_);
  }
}

void SQLiteConnection::finalizeIdleStatements() {
  for (auto it = statements_.begin(); it != statements_.end();) {
    if (it->second.inUse) {
      ++it;
    } else {
      sqlite3_finalize(it->second.statement);
      it = statements_.erase(it);
    }
  }
}

void SQLiteConnection::bind(sqlite3_stmt* statement, const SQLiteV3Bindings& bindings) {
  // Bind results are not checked: a wrong count or type shows up when the statement runs.
  // Texts and blobs are bound without a copy: a statement is leased only inside the call that
  // was given the bindings, and the lease clears them before it returns (a prompt can be tens of
  // megabytes).
  int index = 1;
  for (const auto& binding : bindings) {
    const auto& value = binding.value();
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
      sqlite3_bind_int64(statement, index, *integer);
    } else if (const auto* real = std::get_if<double>(&value)) {
      sqlite3_bind_double(statement, index, *real);
    } else if (const auto text = binding.text()) {
      // An empty view may point nowhere, and a null pointer would bind NULL instead of ''.
      sqlite3_bind_text64(statement, index, text->empty() ? "" : text->data(), text->size(), SQLITE_STATIC,
                          SQLITE_UTF8);
    } else if (const auto* blob = std::get_if<SQLiteV3Binding::Blob>(&value)) {
      if (blob->bytes.empty()) {
        sqlite3_bind_zeroblob(statement, index, 0);
      } else {
        sqlite3_bind_blob64(statement, index, blob->bytes.data(), blob->bytes.size(), SQLITE_STATIC);
      }
    } else {
      sqlite3_bind_null(statement, index);
    }
    ++index;
  }
}

void SQLiteConnection::throwStepFailure(int resultCode) const {
  if ((resultCode & 0xff) == SQLITE_INTERRUPT && activeSearch_ != nullptr &&
      activeSearch_->stop.stop_requested()) {
    throw SearchCancelledError();
  }
  noteFailure(resultCode);
  throw Error::stepFailed(sqlite3_errmsg(database_), resultCode, systemErrorNumber(database_, resultCode));
}

void SQLiteConnection::runWrite(std::string_view sql, const SQLiteV3Bindings& bindings,
                                const char* fixedStepFailure) {
  StatementLease lease = prepare(sql, bindings);
  const int result = sqlite3_step(lease.statement());
  if (result == SQLITE_DONE) return;
  if (fixedStepFailure != nullptr) {
    noteFailure(result);
    throw Error::stepFailed(fixedStepFailure, result, systemErrorNumber(database_, result));
  }
  throwStepFailure(result);
}

void SQLiteConnection::execute(std::string_view sql, const SQLiteV3Bindings& bindings) {
  runWrite(sql, bindings, nullptr);
}

void SQLiteConnection::executeTagConceptWrite(std::string_view sql, const SQLiteV3Bindings& bindings) {
  runWrite(sql, bindings, "SQLite tag concept write failed");
}

void SQLiteConnection::executeDeleteCandidateRestore(std::string_view sql, const SQLiteV3Bindings& bindings) {
  runWrite(sql, bindings, "Delete-candidate restore statement failed");
}

std::int64_t SQLiteConnection::totalChanges() const {
  return database_ != nullptr ? static_cast<std::int64_t>(sqlite3_total_changes64(database_)) : 0;
}

bool SQLiteConnection::isInTransaction() const {
  return database_ != nullptr && sqlite3_get_autocommit(database_) == 0;
}

void SQLiteConnection::rollbackQuietly() noexcept {
  try {
    execute("ROLLBACK");
  } catch (const std::exception& error) {
    // SQLite may already have rolled back on its own (an I/O error, a full disk).
    platform::logDebug("Database", std::string("ROLLBACK after a failed transaction: ") + error.what());
  }
}

std::int64_t SQLiteConnection::lastInsertRowID() const {
  if (database_ == nullptr) throw Error::executionFailed(kDatabaseClosed);
  return sqlite3_last_insert_rowid(database_);
}

std::int64_t SQLiteConnection::changes() const {
  if (database_ == nullptr) throw Error::executionFailed(kDatabaseClosed);
  return sqlite3_changes64(database_);
}

}  // namespace lorvex
