// A SQLite VFS for tests that wraps the default one and can make every read fail with an I/O
// error, to prove that such errors surface instead of turning into short results, refuse
// read-only opens, to prove that a library whose reader cannot open is not opened, or hold the
// writes into database files (in WAL mode only checkpoints write there), to see who makes them.
//
// While a FaultyVFS object lives it is the default VFS, so a repository opened with the plain
// open call uses it. Only one may live at a time.
#pragma once

#include <atomic>

namespace lorvex::testing {

class FaultyVFS {
 public:
  FaultyVFS();
  ~FaultyVFS();
  FaultyVFS(const FaultyVFS&) = delete;
  FaultyVFS& operator=(const FaultyVFS&) = delete;

  // From now on every xRead of a file opened through this VFS reports SQLITE_IOERR_READ.
  void failReads(bool fail);
  // From now on opening a database file read-only fails with SQLITE_CANTOPEN; read-write opens
  // work as before.
  void failReadOnlyOpens(bool fail);
  int failedReadCount() const;
  // From now on a write into a main database file waits until holding ends; false lets every
  // waiting write go on.
  void holdDatabaseFileWrites(bool hold);
  // How many writes into a main database file have waited so far.
  int heldWriteCount() const;
  // How many writes into main database files there have been since this object was made.
  int databaseFileWriteCount() const;
};

}  // namespace lorvex::testing
