// An exclusive lock on a file that one process holds while the object lives: flock(2) on a file
// opened for the purpose. The kernel releases the lock when its descriptor is closed, so a process
// that ends in any way (a crash and kill -9 included) never leaves a stale lock behind. The lock
// belongs to the open file, not to the process: a second ExclusiveFileLock on the same file fails
// within one process too, and a child started with exec does not inherit it (close-on-exec).
//
// Thread safety: a lock object belongs to one owner; tryAcquire and acquire may be called from any
// thread.
#pragma once

#include <optional>
#include <string>

namespace lorvex::platform {

class ExclusiveFileLock {
 public:
  // Opens `path` (created empty with mode 0600 when absent) and locks it without waiting. Nothing
  // when another open file holds the lock. Throws FileError when the file cannot be opened or
  // locked for another reason.
  static std::optional<ExclusiveFileLock> tryAcquire(const std::string& path);
  // The same, but waits while another open file holds the lock. Throws FileError as tryAcquire.
  static ExclusiveFileLock acquire(const std::string& path);

  ~ExclusiveFileLock();
  ExclusiveFileLock(ExclusiveFileLock&& other) noexcept;
  ExclusiveFileLock& operator=(ExclusiveFileLock&&) = delete;
  ExclusiveFileLock(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

 private:
  explicit ExclusiveFileLock(int descriptor) : fd_(descriptor) {}
  static std::optional<ExclusiveFileLock> lock(const std::string& path, bool wait);

  int fd_ = -1;
};

}  // namespace lorvex::platform
