// Size, modification time and kind of a file system item, read with stat(2).
//
// Modification times are seconds since 1970 as a double, made from the seconds and nanoseconds
// stat reports by modificationTimeSeconds — the one conversion the whole program uses, so that
// a time read during a scan compares equal to the same time read before a trash move.
//
// Thread safety: pure functions over the file system; callable from any thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace lorvex::platform {

enum class FileKind { regularFile, directory, symbolicLink, other };

struct FileAttributes {
  FileKind kind = FileKind::other;
  std::int64_t size = 0;
  double modificationTime = 0;  // seconds since 1970
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

enum class LinkHandling { follow, noFollow };

// seconds + nanoseconds · 1e-9.
double modificationTimeSeconds(const struct timespec& time);

// The attributes of `path`, or nothing when it cannot be read (the errno value goes to
// `errorNumber` when given). With LinkHandling::noFollow a symbolic link reports itself.
std::optional<FileAttributes> readFileAttributes(const std::string& path,
                                                 LinkHandling links = LinkHandling::follow,
                                                 int* errorNumber = nullptr);

// The same, but a failure throws FileError (platform/regular_file.h) whose message is
// "Unable to read file attributes: " and the system's text ("No such file or directory", …).
FileAttributes fileAttributes(const std::string& path, LinkHandling links = LinkHandling::follow);

// Whether anything exists at `path`, following symbolic links (a dangling link is nothing).
bool fileExists(const std::string& path);

// Sets the modification time of `path` to now, leaving the access time. False when it failed.
bool touchModificationTime(const std::string& path);

}  // namespace lorvex::platform
