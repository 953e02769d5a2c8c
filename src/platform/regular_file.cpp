#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace lorvex::platform {

void throwFileError(std::string_view action, int errorNumber) {
  std::string message(action);
  message.append(": ").append(errorNumberText(errorNumber));
  throw FileError(std::move(message), errorNumber);
}

std::string errorNumberText(int errorNumber) {
  char buffer[256];
  // GNU strerror_r returns the text, which may or may not live in `buffer`.
  return strerror_r(errorNumber, buffer, sizeof buffer);
}

std::string errorNumberName(int errorNumber) {
  if (errorNumber == 0) return {};
  const char* name = strerrorname_np(errorNumber);
  return name != nullptr ? std::string(name) : std::string();
}

std::string errorNumberReason(int errorNumber) {
  if (errorNumber == 0) return {};
  std::string reason = errorNumberText(errorNumber);
  if (const std::string name = errorNumberName(errorNumber); !name.empty()) reason += " (" + name + ")";
  return reason;
}

RegularFile::RegularFile(const std::string& path) {
  do {
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) throwFileError("Unable to open file", errno);
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    const int error = errno;
    ::close(fd_);
    throwFileError("Unable to read file attributes", error);
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd_);
    throw FileError(std::string(kNotARegularFileMessage), 0);
  }
  size_ = info.st_size;
}

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);  // a read-only descriptor has nothing to flush: errors are moot
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

std::size_t RegularFile::read(void* buffer, std::size_t capacity) {
  for (;;) {
    const ssize_t count = ::read(fd_, buffer, capacity);
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno == EINTR) continue;
    throwFileError("Unable to read file", errno);
  }
}

std::vector<std::uint8_t> RegularFile::readAll(std::size_t limit) {
  if (size_ > 0 && static_cast<std::uint64_t>(size_) > limit) throwFileError("Unable to read file", EFBIG);
  // The file may grow after fstat: read until end of file, keeping to the limit.
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size_) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (bytes.size() > limit) throwFileError("Unable to read file", EFBIG);
      bytes.resize(std::min(limit + 1, bytes.size() * 2));
    }
    const std::size_t count = read(bytes.data() + used, bytes.size() - used);
    if (count == 0) break;
    used += count;
  }
  if (used > limit) throwFileError("Unable to read file", EFBIG);
  bytes.resize(used);
  return bytes;
}

}  // namespace lorvex::platform
