#include "database/support/faulty_vfs.h"

#include <sqlite3.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace lorvex::testing {
namespace {

std::atomic<bool> readsFail{false};
std::atomic<bool> readOnlyOpensFail{false};
std::atomic<int> failedReads{0};
std::mutex writeGate;
std::condition_variable writeGateOpened;
bool databaseWritesHeld = false;  // under writeGate
std::atomic<int> heldWrites{0};
std::atomic<int> databaseFileWrites{0};
sqlite3_vfs* baseVFS = nullptr;
sqlite3_vfs faultyVFS{};

struct FaultyFile {
  sqlite3_file base;
  sqlite3_file* real;
  bool isMainDatabase;
};

sqlite3_file* real(sqlite3_file* file) {
  return reinterpret_cast<FaultyFile*>(file)->real;
}

int xClose(sqlite3_file* f) {
  return real(f)->pMethods->xClose(real(f));
}
int xRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
  if (readsFail.load()) {
    failedReads.fetch_add(1);
    return SQLITE_IOERR_READ;
  }
  return real(f)->pMethods->xRead(real(f), buffer, amount, offset);
}
int xWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
  if (reinterpret_cast<FaultyFile*>(f)->isMainDatabase) {
    databaseFileWrites.fetch_add(1);
    std::unique_lock guard(writeGate);
    if (databaseWritesHeld) {
      heldWrites.fetch_add(1);
      writeGateOpened.wait(guard, [] { return !databaseWritesHeld; });
    }
  }
  return real(f)->pMethods->xWrite(real(f), buffer, amount, offset);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
  return real(f)->pMethods->xTruncate(real(f), size);
}
int xSync(sqlite3_file* f, int flags) {
  return real(f)->pMethods->xSync(real(f), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
  return real(f)->pMethods->xFileSize(real(f), size);
}
int xLock(sqlite3_file* f, int level) {
  return real(f)->pMethods->xLock(real(f), level);
}
int xUnlock(sqlite3_file* f, int level) {
  return real(f)->pMethods->xUnlock(real(f), level);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
  return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
  return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int xSectorSize(sqlite3_file* f) {
  return real(f)->pMethods->xSectorSize(real(f));
}
int xDeviceCharacteristics(sqlite3_file* f) {
  return real(f)->pMethods->xDeviceCharacteristics(real(f));
}
int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
  return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) {
  real(f)->pMethods->xShmBarrier(real(f));
}
int xShmUnmap(sqlite3_file* f, int deleteFlag) {
  return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
}
int xFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
  *out = nullptr;  // never map pages: every read goes through xRead
  (void)f;
  (void)offset;
  (void)amount;
  return SQLITE_OK;
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
  (void)f;
  (void)offset;
  (void)page;
  return SQLITE_OK;
}

const sqlite3_io_methods faultyMethods = {
    3,
    xClose,
    xRead,
    xWrite,
    xTruncate,
    xSync,
    xFileSize,
    xLock,
    xUnlock,
    xCheckReservedLock,
    xFileControl,
    xSectorSize,
    xDeviceCharacteristics,
    xShmMap,
    xShmLock,
    xShmBarrier,
    xShmUnmap,
    xFetch,
    xUnfetch,
};

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  auto* faulty = reinterpret_cast<FaultyFile*>(file);
  if (readOnlyOpensFail && (flags & SQLITE_OPEN_MAIN_DB) != 0 && (flags & SQLITE_OPEN_READONLY) != 0) {
    faulty->base.pMethods = nullptr;
    return SQLITE_CANTOPEN;
  }
  faulty->real = reinterpret_cast<sqlite3_file*>(faulty + 1);
  faulty->isMainDatabase = (flags & SQLITE_OPEN_MAIN_DB) != 0;
  std::memset(faulty->real, 0, static_cast<std::size_t>(baseVFS->szOsFile));
  const int result = baseVFS->xOpen(baseVFS, name, faulty->real, flags, outFlags);
  faulty->base.pMethods = faulty->real->pMethods != nullptr ? &faultyMethods : nullptr;
  return result;
}

int xDelete(sqlite3_vfs*, const char* name, int syncDir) {
  return baseVFS->xDelete(baseVFS, name, syncDir);
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
  return baseVFS->xAccess(baseVFS, name, flags, out);
}
int xFullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return baseVFS->xFullPathname(baseVFS, name, size, out);
}
void* xDlOpen(sqlite3_vfs*, const char* name) {
  return baseVFS->xDlOpen(baseVFS, name);
}
void xDlError(sqlite3_vfs*, int size, char* out) {
  baseVFS->xDlError(baseVFS, size, out);
}
void (*xDlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) {
  return baseVFS->xDlSym(baseVFS, handle, symbol);
}
void xDlClose(sqlite3_vfs*, void* handle) {
  baseVFS->xDlClose(baseVFS, handle);
}
int xRandomness(sqlite3_vfs*, int size, char* out) {
  return baseVFS->xRandomness(baseVFS, size, out);
}
int xSleep(sqlite3_vfs*, int microseconds) {
  return baseVFS->xSleep(baseVFS, microseconds);
}
int xCurrentTime(sqlite3_vfs*, double* out) {
  return baseVFS->xCurrentTime(baseVFS, out);
}
int xGetLastError(sqlite3_vfs*, int size, char* out) {
  return baseVFS->xGetLastError(baseVFS, size, out);
}
int xCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
  return baseVFS->xCurrentTimeInt64(baseVFS, out);
}

}  // namespace

FaultyVFS::FaultyVFS() {
  if (baseVFS != nullptr) throw std::logic_error("one FaultyVFS at a time");
  baseVFS = sqlite3_vfs_find(nullptr);
  faultyVFS = sqlite3_vfs{};
  faultyVFS.iVersion = 2;
  faultyVFS.szOsFile = static_cast<int>(sizeof(FaultyFile)) + baseVFS->szOsFile;
  faultyVFS.mxPathname = baseVFS->mxPathname;
  faultyVFS.zName = "lorvex-faulty";
  faultyVFS.xOpen = xOpen;
  faultyVFS.xDelete = xDelete;
  faultyVFS.xAccess = xAccess;
  faultyVFS.xFullPathname = xFullPathname;
  faultyVFS.xDlOpen = xDlOpen;
  faultyVFS.xDlError = xDlError;
  faultyVFS.xDlSym = xDlSym;
  faultyVFS.xDlClose = xDlClose;
  faultyVFS.xRandomness = xRandomness;
  faultyVFS.xSleep = xSleep;
  faultyVFS.xCurrentTime = xCurrentTime;
  faultyVFS.xGetLastError = xGetLastError;
  faultyVFS.xCurrentTimeInt64 = xCurrentTimeInt64;
  readsFail = false;
  readOnlyOpensFail = false;
  failedReads = 0;
  heldWrites = 0;
  databaseFileWrites = 0;
  sqlite3_vfs_register(&faultyVFS, 1);
}

FaultyVFS::~FaultyVFS() {
  holdDatabaseFileWrites(false);
  sqlite3_vfs_unregister(&faultyVFS);
  sqlite3_vfs_register(baseVFS, 1);
  baseVFS = nullptr;
  readsFail = false;
  readOnlyOpensFail = false;
}

void FaultyVFS::failReads(bool fail) {
  readsFail = fail;
}
void FaultyVFS::failReadOnlyOpens(bool fail) {
  readOnlyOpensFail = fail;
}
int FaultyVFS::failedReadCount() const {
  return failedReads.load();
}
void FaultyVFS::holdDatabaseFileWrites(bool hold) {
  {
    const std::lock_guard guard(writeGate);
    databaseWritesHeld = hold;
  }
  writeGateOpened.notify_all();
}
int FaultyVFS::heldWriteCount() const {
  return heldWrites.load();
}
int FaultyVFS::databaseFileWriteCount() const {
  return databaseFileWrites.load();
}

}  // namespace lorvex::testing
