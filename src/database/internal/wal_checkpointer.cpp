#include "database/internal/wal_checkpointer.h"

#include <sqlite3.h>

#include <exception>
#include <utility>

#include "platform/log.h"

namespace lorvex {

WALCheckpointer::WALCheckpointer(std::string path, platform::Clock& clock)
    : path_(std::move(path)), connection_({}, {}, clock) {}

WALCheckpointer::~WALCheckpointer() {
  detach();
  {
    const std::lock_guard guard(requestMutex_);
    if (thread_.joinable()) thread_.request_stop();
  }
  if (thread_.joinable()) thread_.join();
  connection_.close();
}

void WALCheckpointer::attachTo(sqlite3* writer, int frames) {
  const std::lock_guard guard(writerMutex_);
  writer_ = writer;
  frames_ = frames;
  // Replaces the hook that SQLite's automatic checkpoint is (so this comes after the writer's
  // "PRAGMA wal_autocheckpoint").
  sqlite3_wal_hook(writer_, &WALCheckpointer::walHook, this);
}

void WALCheckpointer::detach() {
  const std::lock_guard guard(writerMutex_);
  if (writer_ == nullptr) return;
  sqlite3_wal_hook(writer_, nullptr, nullptr);
  writer_ = nullptr;
}

int WALCheckpointer::walHook(void* checkpointer, sqlite3* database, const char* name, int frames) {
  auto& self = *static_cast<WALCheckpointer*>(checkpointer);
  if (frames < self.frames_) return SQLITE_OK;
  if (self.failedToOpen_.load()) {
    // The writer checkpoints the log itself, as SQLite's automatic checkpoint would: inside its
    // commit, on its thread and under its lock (this object never uses the writer's handle from a
    // thread of its own).
    (void)sqlite3_wal_checkpoint(database, name);
    return SQLITE_OK;
  }
  self.request();
  return SQLITE_OK;
}

void WALCheckpointer::request() {
  const std::lock_guard guard(requestMutex_);
  pending_ = true;
  if (!thread_.joinable()) {
    thread_ = std::jthread([this](std::stop_token stop) { run(std::move(stop)); });
    return;
  }
  requested_.notify_one();
}

void WALCheckpointer::catchUp() {
  checkpoint();
}

std::unique_lock<std::recursive_timed_mutex> WALCheckpointer::holdOff() {
  return connection_.lock();
}

void WALCheckpointer::run(std::stop_token stop) {
  while (true) {
    {
      std::unique_lock guard(requestMutex_);
      if (!requested_.wait(guard, stop, [this] { return pending_; })) return;
      pending_ = false;
    }
    checkpoint();
  }
}

bool WALCheckpointer::opened() {
  if (connection_.isOpen()) return true;
  if (failedToOpen_) return false;
  try {
    // A checkpoint writes the database file; a file gone meanwhile is not made anew.
    connection_.open(path_, SQLiteConnection::Access::writeExisting);
    // Closed before the writer, so never the last connection: the writer checkpoints at its close.
    connection_.leaveCheckpointAtCloseToOthers();
    return true;
  } catch (const std::exception& error) {
    // The writer's commits checkpoint the log themselves again (walHook).
    failedToOpen_ = true;
    platform::logError(
        "Database", std::string("The write-ahead log is checkpointed by its writer again: ") + error.what());
    return false;
  }
}

void WALCheckpointer::checkpoint() {
  auto guard = connection_.lock();
  if (!opened()) return;
  try {
    // Passive: copies the pages no reader still needs, and waits for no reader or writer.
    connection_.query("PRAGMA wal_checkpoint(PASSIVE);", {}, [](SQLiteRows& rows) { return rows.next(); });
  } catch (const std::exception& error) {
    platform::logDebug("Database", std::string("A write-ahead log checkpoint failed: ") + error.what());
  }
}

}  // namespace lorvex
