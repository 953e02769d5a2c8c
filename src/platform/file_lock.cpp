#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/regular_file.h"

namespace lorvex::platform {

std::optional<ExclusiveFileLock> ExclusiveFileLock::tryAcquire(const std::string& path) {
  return lock(path, false);
}

ExclusiveFileLock ExclusiveFileLock::acquire(const std::string& path) {
  return std::move(*lock(path, true));
}

std::optional<ExclusiveFileLock> ExclusiveFileLock::lock(const std::string& path, bool wait) {
  int descriptor = -1;
  do {
    descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) throwFileError("Unable to open the lock file " + path, errno);
  int result = -1;
  do {
    result = ::flock(descriptor, wait ? LOCK_EX : LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return ExclusiveFileLock(descriptor);
  const int error = errno;
  ::close(descriptor);
  if (error == EWOULDBLOCK) return std::nullopt;
  throwFileError("Unable to lock " + path, error);
}

ExclusiveFileLock::~ExclusiveFileLock() {
  if (fd_ >= 0) ::close(fd_);  // releases the lock
}

ExclusiveFileLock::ExclusiveFileLock(ExclusiveFileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

}  // namespace lorvex::platform
