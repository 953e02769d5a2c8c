// SQLiteConnection: one SQLite connection to the library file, the recursive lock that serialises
// every use of it, and the thin statement layer over the SQLite C API that every library operation
// goes through. The library opens two: the writer, through which every write and every read that
// must see the caller's own writes goes, and a read-only reader for the searches and the other
// pure reads, so that a search never waits for a write transaction and a write never waits for a
// search (see "Reading beside the writer").
//
// Locking. Every operation that touches the connection holds `lock()` for its whole unit of work
// (one statement, a read of several queries, or a write transaction). The lock is recursive, so an
// operation may call another one on the same thread. The time spent waiting for it is measured on
// the injected clock's monotonic reading; a wait above one millisecond is reported as a "LockWait"
// signpost event. Apart from executeScript, the statement functions do not lock: callers hold it.
//
// Statements. Prepared statements are cached by their SQL text and reused (reset and unbound after
// each use); the statement observer still sees every text that runs. A step that fails is an error:
// SQLITE_DONE ends the rows, anything else throws SQLiteImageRepositoryV3Error::stepFailed with
// SQLite's message, or SearchCancelledError when the running search was cancelled.
//
// Writes. performTransaction runs a body between "BEGIN IMMEDIATE" and "COMMIT" and rolls back when
// the body or the COMMIT throws, rethrowing the first error unchanged. Transactions never nest.
//
// Damage. Once reportDamageBesideFile() has been called (the library finished opening), a result
// that says the file is damaged (SQLITE_CORRUPT, SQLITE_NOTADB) leaves a marker file beside the
// database before the error is thrown. Such damage never heals and the connection cannot tell how
// far it reaches, so the next open treats a marked file as unusable and moves it aside.
//
// Reading beside the writer. A connection opened with Access::readOnly never writes. Every unit of
// work on it (performRead, performCancellableSearch) reads inside one read transaction, so all of
// its statements see the same committed state, the last one committed when its first statement
// started, however many write transactions the writer commits meanwhile (the file is in WAL mode).
// That is what the unit saw when one connection served both and it ran between two transactions.
// On the writer, performRead only takes the lock: nothing else writes while it is held.
//
// Cancellable search. performCancellableSearch waits for the lock in 10 ms attempts that check a
// std::stop_token, installs a progress handler that interrupts a running statement once stop is
// requested, and ends a cancelled search with SearchCancelledError. Writes are never cancellable.
//
// Thread safety: every public function may be called from any thread; the lock serialises them.
// open() and close() run while no other thread uses the object. The statement and search progress
// observers are shared by the library's two connections and may be called from two threads at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "database/internal/mapped_file_guard.h"
#include "database/sqlite_binding.h"
#include "database/sqlite_image_repository_error.h"
#include "platform/clock.h"

struct sqlite3;
struct sqlite3_stmt;

namespace lorvex {

class SQLiteConnection;
class WALCheckpointer;

// The rows of one running statement, handed to a row mapper. next() steps the statement; columns
// are read from the current row.
class SQLiteRows {
 public:
  // True when a row is ready; false when the statement has finished. Throws on any other step
  // result (see SQLiteConnection).
  bool next();

  bool isNull(int column) const;
  std::int64_t int64(int column) const;
  double real(int column) const;
  // Text with its exact byte length; NULL reads as "".
  std::string text(int column) const;
  std::optional<std::int64_t> optionalInt64(int column) const;
  std::optional<double> optionalReal(int column) const;
  std::optional<std::string> optionalText(int column) const;
  // Blob bytes; NULL reads as an empty buffer.
  std::vector<std::uint8_t> blob(int column) const;

 private:
  friend class SQLiteConnection;
  SQLiteRows(SQLiteConnection& connection, sqlite3_stmt* statement)
      : connection_(connection), statement_(statement) {}

  SQLiteConnection& connection_;
  sqlite3_stmt* statement_;
};

class SQLiteConnection {
 public:
  using StatementObserver = std::function<void(std::string_view sql)>;
  using SearchProgressObserver = std::function<void()>;

  // Waits longer than this many nanoseconds are reported as "LockWait" events.
  static constexpr std::int64_t kLockWaitReportThresholdNanoseconds = 1'000'000;
  // How long the cancellable search waits for the lock in one attempt.
  static constexpr std::chrono::milliseconds kSearchLockAttempt{10};
  // Statements kept prepared; past this the idle ones are finalized.
  static constexpr std::size_t kStatementCacheCapacity = 512;

  SQLiteConnection(StatementObserver statementObserver, SearchProgressObserver searchProgressObserver,
                   platform::Clock& clock);
  ~SQLiteConnection();
  SQLiteConnection(const SQLiteConnection&) = delete;
  SQLiteConnection& operator=(const SQLiteConnection&) = delete;

  // readWrite creates the file when it is missing; writeExisting only opens it.
  enum class Access { readWrite, readOnly, writeExisting };

  // Opens (or, read-write, creates) the file with the default VFS and registers the connection's
  // SQL functions. Throws openFailed with SQLite's message, or "Unable to open database" when
  // SQLite gave no handle; no handle stays open after a throw.
  void open(const std::string& path, Access access = Access::readWrite);
  // Finalizes every cached statement and closes the handle; a no-op when closed. SQLite's last
  // connection to a file copies the write-ahead log into it as it closes, writing the log's
  // shared-memory index through a map: one of the library's files made unwritable since it was
  // opened (made immutable, say) ended the process there with SIGBUS. A read-write connection that
  // finds one of them unwritable therefore closes without that checkpoint, and logs which file and
  // why; the next open applies the log.
  void close();
  // For a read-write connection that is never the last to close (the checkpoints' own): it leaves
  // the checkpoint at close to the writer, and needs no look at the files. Until the next open.
  void leaveCheckpointAtCloseToOthers();
  // Frees what the connection's page cache holds beyond the pages in use; under the lock.
  void releaseCachedMemory();
  // Inside a write transaction, under the lock: writes the changed pages the cache holds to the
  // log (uncommitted, as a cache too small for the transaction would) and frees them, so that a
  // statement about to need much memory does not find the transaction's earlier pages still held.
  void writeOutCachedPages();
  // For the writer, after its write-ahead log settings: a commit that leaves `frames` or more frames
  // in the log no longer checkpoints it while it holds the lock; a checkpoint connection of its own
  // does that beside the writes (wal_checkpointer.h). Until close().
  void checkpointBesideWrites(int frames);
  // Copies the log into the file now on that connection, without this connection's lock, when
  // checkpoints are made beside the writes (else nothing): before a checkpoint on this connection,
  // which then has only the pages written since to copy while it holds the lock.
  void catchUpCheckpoint();
  // Copies the whole log into the file and empties it ("PRAGMA wal_checkpoint(TRUNCATE)"), after
  // catching up as above; no checkpoint beside the writes starts meanwhile. Takes the lock for the
  // truncation itself, not for the catching up: call it without the lock where it can be released.
  // False when SQLite answered busy (a reader still needs the log, or another process
  // checkpoints): the log then stays as it is.
  bool truncateLog();
  bool isOpen() const { return database_ != nullptr; }
  bool isReadOnly() const { return readOnly_; }
  // The file last opened.
  const std::filesystem::path& path() const { return path_; }

  // The marker that a library file was found damaged: the database path followed by "-damaged".
  static std::filesystem::path damageMarkerPath(const std::filesystem::path& databaseFile);
  // From now on a damaged-file result writes the damage marker beside the open file (once).
  void reportDamageBesideFile() { damageMarker_ = damageMarkerPath(path_); }
  // Lets pages of the open file be read through a read-only memory map of up to `bytes`, when a
  // file cut short under the map can be turned into a damaged-file error (see mapped_file_guard.h)
  // instead of a SIGBUS that ends the process; otherwise pages are read with read(). Throws
  // executionFailed as executeScript.
  void mapPagesWhenGuarded(std::int64_t bytes);

  platform::Clock& clock() const { return clock_; }
  // Wall-clock seconds since 1970, the time stamp of stored rows.
  double now() const { return clock_.now(); }

  // The locked entry: waits for the lock, measures and reports the wait.
  [[nodiscard]] std::unique_lock<std::recursive_timed_mutex> lock();
  // For a long series of transactions (the indexer's batches), called between two of them without
  // the lock: when another thread waits for the lock, returns once one waiter has had it (or after
  // kLockHandOverLimit), instead of letting the series take it back first. A person's write that
  // comes during a scan then waits for one transaction, not for several.
  void letWaitingLockUsersFirst();
  // Threads blocked in lock() now.
  int lockWaiterCount() const { return lockWaiters_.load(); }
  static constexpr std::chrono::milliseconds kLockHandOverLimit{50};
  template <typename Work>
  decltype(auto) withLock(Work&& work) {
    auto guard = lock();
    return std::forward<Work>(work)();
  }

  // Runs a script without parameters (several statements allowed) under the lock. Not reported to
  // the statement observer. Throws executionFailed with SQLite's message, or "Database is closed".
  void executeScript(std::string_view sql);

  // Runs one statement that returns no rows. Throws prepareFailed ("Database is closed" when
  // closed) or stepFailed with SQLite's message for any step result other than SQLITE_DONE.
  void execute(std::string_view sql, const SQLiteV3Bindings& bindings = {});
  // As execute, with the fixed step failure "SQLite tag concept write failed".
  void executeTagConceptWrite(std::string_view sql, const SQLiteV3Bindings& bindings);
  // As execute, with the fixed step failure "Delete-candidate restore statement failed".
  void executeDeleteCandidateRestore(std::string_view sql, const SQLiteV3Bindings& bindings);

  // Prepares, binds and hands the rows to `mapper` (SQLiteRows& -> result). The statement is
  // returned to the cache on every path, also when the mapper throws.
  template <typename Mapper>
  auto query(std::string_view sql, const SQLiteV3Bindings& bindings, Mapper&& mapper)
      -> std::invoke_result_t<Mapper, SQLiteRows&> {
    StatementLease lease = prepare(sql, bindings);
    SQLiteRows rows(*this, lease.statement());
    return std::forward<Mapper>(mapper)(rows);
  }

  // The row id of the last insert on this connection. Throws executionFailed("Database is closed").
  std::int64_t lastInsertRowID() const;
  // Rows changed by the last INSERT, UPDATE or DELETE.
  std::int64_t changes() const;
  // Rows changed by every INSERT, UPDATE and DELETE on this connection since it opened.
  std::int64_t totalChanges() const;
  // Whether a transaction is open: after some errors (a full disk, no memory) SQLite has rolled
  // back the caller's transaction by itself.
  bool isInTransaction() const;

  // One write transaction; the caller holds the lock.
  template <typename Body>
  decltype(auto) performTransaction(Body&& body) {
    execute("BEGIN IMMEDIATE");
    try {
      if constexpr (std::is_void_v<std::invoke_result_t<Body>>) {
        std::forward<Body>(body)();
        execute("COMMIT");
      } else {
        auto result = std::forward<Body>(body)();
        execute("COMMIT");
        return result;
      }
    } catch (...) {
      rollbackQuietly();
      throw;
    }
  }
  template <typename Body>
  decltype(auto) performLockedTransaction(Body&& body) {
    auto guard = lock();
    return performTransaction(std::forward<Body>(body));
  }

  // A read of one or more statements under the lock; on a read-only connection inside one read
  // transaction (see the header comment).
  template <typename Body>
  decltype(auto) performRead(Body&& body) {
    auto guard = lock();
    ReadSnapshot snapshot(*this);
    return std::forward<Body>(body)();
  }

  // The search entry; see the header comment. `body` runs under the lock with the progress handler
  // installed; its statements end in SearchCancelledError once stop is requested.
  template <typename Body>
  decltype(auto) performCancellableSearch(std::stop_token stop, Body&& body) {
    auto guard = lockForSearch(stop);
    // Before the progress handler, and so ended after it is gone: the end of the read transaction
    // must not be interrupted by a stop requested meanwhile.
    ReadSnapshot snapshot(*this);
    SearchScope scope(*this, stop);
    try {
      throwIfCancelled(stop);
      if constexpr (std::is_void_v<std::invoke_result_t<Body>>) {
        std::forward<Body>(body)();
        throwIfCancelled(stop);
      } else {
        auto result = std::forward<Body>(body)();
        throwIfCancelled(stop);
        return result;
      }
    } catch (const SearchCancelledError&) {
      throw;
    } catch (...) {
      throwIfCancelled(stop);
      throw;
    }
  }

  // The raw handle, for tests and for registering extensions; null when closed.
  sqlite3* handle() const { return database_; }

 private:
  friend class SQLiteRows;

  struct CachedStatement {
    sqlite3_stmt* statement = nullptr;
    bool inUse = false;
  };
  struct TransparentHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };

  // A prepared statement borrowed from the cache (or prepared for one use when the cached one is
  // busy in an enclosing query); reset and unbound on release.
  class StatementLease {
   public:
    StatementLease(SQLiteConnection& connection, sqlite3_stmt* statement, CachedStatement* cached)
        : connection_(&connection), statement_(statement), cached_(cached) {}
    StatementLease(StatementLease&& other) noexcept
        : connection_(other.connection_),
          statement_(std::exchange(other.statement_, nullptr)),
          cached_(other.cached_) {}
    StatementLease(const StatementLease&) = delete;
    StatementLease& operator=(const StatementLease&) = delete;
    StatementLease& operator=(StatementLease&&) = delete;
    ~StatementLease();
    sqlite3_stmt* statement() const { return statement_; }

   private:
    SQLiteConnection* connection_;
    sqlite3_stmt* statement_;
    CachedStatement* cached_;
  };

  // The per-search context that the progress handler reads.
  struct SearchContext {
    std::stop_token stop;
    const SearchProgressObserver* observer = nullptr;
  };
  class SearchScope {
   public:
    SearchScope(SQLiteConnection& connection, std::stop_token stop);
    ~SearchScope();
    SearchScope(const SearchScope&) = delete;
    SearchScope& operator=(const SearchScope&) = delete;

   private:
    SQLiteConnection& connection_;
    SearchContext context_;
    SearchContext* previous_;
  };

  // The read transaction of one unit of work on a read-only connection; nothing on the writer, and
  // nothing when a transaction is already open (a unit of work called from another).
  class ReadSnapshot {
   public:
    explicit ReadSnapshot(SQLiteConnection& connection);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

   private:
    SQLiteConnection& connection_;
    bool began_ = false;
  };

  StatementLease prepare(std::string_view sql, const SQLiteV3Bindings& bindings);
  void bind(sqlite3_stmt* statement, const SQLiteV3Bindings& bindings);
  void runWrite(std::string_view sql, const SQLiteV3Bindings& bindings, const char* fixedStepFailure);
  [[noreturn]] void throwStepFailure(int resultCode) const;
  // Leaves the damage marker when `resultCode` says the file is damaged (see the header comment).
  void noteFailure(int resultCode) const;
  // Turns SQLite's checkpoint at close off, logging why, when a file of the library cannot be
  // written (see close()).
  void keepLogAtCloseWhenUnwritable();
  void rollbackQuietly() noexcept;
  void finalizeIdleStatements();
  void recordLockWait(std::int64_t waitNanoseconds) const;
  std::unique_lock<std::recursive_timed_mutex> lockForSearch(const std::stop_token& stop);
  static void throwIfCancelled(const std::stop_token& stop) {
    if (stop.stop_requested()) throw SearchCancelledError();
  }
  static int searchProgressHandler(void* context);

  std::recursive_timed_mutex mutex_;
  // Threads blocked in lock(), and how often the lock was taken: letWaitingLockUsersFirst watches
  // both.
  std::atomic<int> lockWaiters_{0};
  std::atomic<std::uint64_t> lockAcquisitions_{0};
  const StatementObserver statementObserver_;
  const SearchProgressObserver searchProgressObserver_;
  platform::Clock& clock_;
  sqlite3* database_ = nullptr;
  bool readOnly_ = false;
  bool checkpointsAtClose_ = true;      // see leaveCheckpointAtCloseToOthers
  std::filesystem::path path_;          // of the open file
  std::filesystem::path damageMarker_;  // empty until reportDamageBesideFile()
  mutable std::atomic<bool> damageMarked_ = false;
  std::optional<mapped_file_guard::GuardedFile> guardedFile_;  // while pages may be mapped
  std::unique_ptr<WALCheckpointer> checkpointer_;              // see checkpointBesideWrites
  std::unordered_map<std::string, CachedStatement, TransparentHash, std::equal_to<>> statements_;
  SearchContext* activeSearch_ = nullptr;  // guarded by mutex_
};

// Emits the "LockWait" signpost event ("waitMs=<milliseconds with six decimals>") when signposts
// are enabled.
void emitLockWait(std::uint64_t waitNanoseconds);

}  // namespace lorvex
