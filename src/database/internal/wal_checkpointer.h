// Checkpoints of the library's write-ahead log beside the writes, on a connection of their own.
//
// SQLite's automatic checkpoint runs inside the commit that leaves the log at its limit, on the
// committing connection: the writer copied a few thousand pages into the file and synced it while
// it held the connection's lock, and a person's click that waited for the lock waited for that copy
// too (tens of milliseconds, far more when the disk is busy). Here the writer's commit only asks for
// a checkpoint; a thread of this object does the passive checkpoint on a second read-write
// connection to the same file, which copies what no reader still needs without blocking the writer
// or the readers, so writes go on meanwhile.
//
// The connection is opened and the thread started on the first request, so a library whose log
// never reaches the limit costs nothing. Failures are logged, never thrown: a checkpoint not made
// leaves the log longer, nothing else.
//
// Thread safety: request(), catchUp() and holdOff() may be called from any thread; request() never
// blocks on a checkpoint in progress. The writer's handle is used only inside the writer's commits
// (the hook), never from this object's thread. Destroy the object before the writer closes, so that
// the writer, closing last, still finds itself alone and removes the log. When the checkpoint
// connection cannot be opened, the writer's commits checkpoint the log themselves again, as SQLite's
// automatic checkpoint does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "database/internal/sqlite_connection.h"

namespace lorvex {

class WALCheckpointer {
 public:
  WALCheckpointer(std::string path, platform::Clock& clock);
  ~WALCheckpointer();
  WALCheckpointer(const WALCheckpointer&) = delete;
  WALCheckpointer& operator=(const WALCheckpointer&) = delete;

  // Takes over the automatic checkpoint of `writer`, an open connection to the same file: from now
  // on a commit of the writer that leaves `frames` or more frames in the log asks for a checkpoint
  // here instead of making one itself. Undone by detach() or by the object's end.
  void attachTo(sqlite3* writer, int frames);
  void detach();
  // Asks for a passive checkpoint soon; requests made while one is pending are one request.
  void request();
  // A passive checkpoint now, on the calling thread, after the one in progress if any. For a caller
  // about to checkpoint on the writer, which then has only the pages written since to copy.
  void catchUp();
  // Waits for the checkpoint in progress, if any; the lock returned keeps this object's thread from
  // starting another one until it is released: a checkpoint the caller makes on the writer
  // meanwhile would find that one running, and SQLite answers such a checkpoint busy at once,
  // without waiting for it. Never takes the writer's lock, so a caller may hold it.
  [[nodiscard]] std::unique_lock<std::recursive_timed_mutex> holdOff();

 private:
  void run(std::stop_token stop);
  // Opens the connection when it is not open yet; false when it cannot be opened.
  bool opened();
  void checkpoint();

  static int walHook(void* checkpointer, sqlite3* database, const char* name, int frames);

  const std::string path_;
  // Never taken by the hook, which runs inside the writer's commit.
  std::mutex writerMutex_;
  sqlite3* writer_ = nullptr;  // under writerMutex_
  int frames_ = 0;             // set before the hook is installed
  // Its lock is the one checkpoint at a time.
  SQLiteConnection connection_;
  // Set under the connection's lock; read by the hook.
  std::atomic<bool> failedToOpen_ = false;

  std::mutex requestMutex_;
  std::condition_variable_any requested_;
  bool pending_ = false;  // under requestMutex_
  std::jthread thread_;   // started by the first request, under requestMutex_; last, so stopped first
};

}  // namespace lorvex
