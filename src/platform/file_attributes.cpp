#include "platform/file_attributes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/regular_file.h"

namespace lorvex::platform {
namespace {

FileKind kindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::regularFile;
  if (S_ISDIR(mode)) return FileKind::directory;
  if (S_ISLNK(mode)) return FileKind::symbolicLink;
  return FileKind::other;
}

}  // namespace

double modificationTimeSeconds(const struct timespec& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

std::optional<FileAttributes> readFileAttributes(const std::string& path, LinkHandling links,
                                                 int* errorNumber) {
  struct stat info {};
  const int result =
      links == LinkHandling::follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
  if (result != 0) {
    if (errorNumber != nullptr) *errorNumber = errno;
    return std::nullopt;
  }
  FileAttributes attributes;
  attributes.kind = kindOf(info.st_mode);
  attributes.size = info.st_size;
  attributes.modificationTime = modificationTimeSeconds(info.st_mtim);
  attributes.device = info.st_dev;
  attributes.inode = info.st_ino;
  return attributes;
}

FileAttributes fileAttributes(const std::string& path, LinkHandling links) {
  int error = 0;
  auto attributes = readFileAttributes(path, links, &error);
  if (!attributes) throwFileError("Unable to read file attributes", error);
  return *attributes;
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool touchModificationTime(const std::string& path) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace lorvex::platform
