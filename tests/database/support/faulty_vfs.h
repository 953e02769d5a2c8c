// A SQLite VFS for tests that wraps the default one and can make every read fail with an I/O
// error, to prove that such errors surface instead of turning into short results, or refuse
// read-only opens, to prove that a library whose reader cannot open is not opened.
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
};

}  // namespace lorvex::testing
