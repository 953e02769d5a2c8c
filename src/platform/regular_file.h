// Reading a file that must be a regular file. Library folders may contain anything under a .png
// name — a FIFO or a device would block a blocking open or read for ever — so every file the
// indexer or the thumbnail generator reads is opened non-blocking and checked with fstat first.
//
// Failures are FileError: its message is an action followed by the system's error text
// ("Unable to open file: Permission denied"), which is what the scan-failure classification reads.
//
// Thread safety: a RegularFile belongs to one thread at a time; the free functions may be called
// from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex::platform {

class FileError : public std::runtime_error {
 public:
  // `errorNumber` is the errno value, or 0 for a failure the system did not report.
  FileError(std::string message, int errorNumber)
      : std::runtime_error(std::move(message)), errorNumber_(errorNumber) {}
  int errorNumber() const { return errorNumber_; }

 private:
  int errorNumber_;
};

// "<action>: <the system's text for errorNumber>".
[[noreturn]] void throwFileError(std::string_view action, int errorNumber);

// The system's text for an errno value ("Permission denied" for EACCES), as strerror gives it in
// the process's message language.
std::string errorNumberText(int errorNumber);

// The system's name of an errno value ("EACCES" for EACCES), the same in every language; empty for
// 0 and for a value the system has no name for.
std::string errorNumberName(int errorNumber);

// "Operation not permitted (EPERM)": the system's text for an errno value and, when it has one,
// its name, as failures give the system's reason; empty for 0.
std::string errorNumberReason(int errorNumber);

// The message used when a path names something other than a regular file.
inline constexpr std::string_view kNotARegularFileMessage = "The item is not a regular file";

class RegularFile {
 public:
  // Opens `path` read-only, non-blocking and close-on-exec, following symbolic links. Throws
  // FileError when it cannot be opened or is not a regular file.
  explicit RegularFile(const std::string& path);
  ~RegularFile();
  RegularFile(RegularFile&& other) noexcept;
  RegularFile& operator=(RegularFile&&) = delete;
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // The size fstat reported at open.
  std::int64_t size() const { return size_; }
  int descriptor() const { return fd_; }

  // Reads up to `capacity` bytes (retrying on EINTR); 0 at end of file. Throws FileError.
  std::size_t read(void* buffer, std::size_t capacity);

  // Reads the whole file, at most `limit` bytes; throws FileError (EFBIG) when it is larger.
  std::vector<std::uint8_t> readAll(std::size_t limit);

 private:
  int fd_ = -1;
  std::int64_t size_ = 0;
};

}  // namespace lorvex::platform
