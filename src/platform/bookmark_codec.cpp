#include "platform/bookmark_codec.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace lorvex::platform {
namespace {

constexpr std::string_view kMagic = "LXBM";
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeaderSize = 4 + 1 + 8 + 8 + 4;

void putLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t getLittleEndian(std::span<const std::uint8_t> bytes, std::size_t offset, int count) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i)
    value |= std::uint64_t{bytes[offset + static_cast<std::size_t>(i)]} << (8 * i);
  return value;
}

bool sameDirectory(const struct stat& info, const BookmarkRecord& record) {
  return static_cast<std::uint64_t>(info.st_dev) == record.device &&
         static_cast<std::uint64_t>(info.st_ino) == record.inode;
}

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string childPath(const std::string& folder, std::string_view name) {
  return folder == "/" ? "/" + std::string(name) : folder + "/" + std::string(name);
}

// The entry of `folder` that is the recorded directory, or "" when none is.
std::string findRenamedEntry(const std::string& folder, const BookmarkRecord& record) {
  std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder.c_str()), ::closedir);
  if (!directory) return {};
  while (const dirent* entry = ::readdir(directory.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    // d_ino is the inode within the folder's file system; it differs from st_ino only on mount
    // points, which stat below settles.
    if (static_cast<std::uint64_t>(entry->d_ino) != record.inode) continue;
    const std::string candidate = childPath(folder, name);
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && sameDirectory(info, record)) {
      return candidate;
    }
  }
  return {};
}

}  // namespace

BookmarkCreationError::BookmarkCreationError(int error, std::string path)
    : std::system_error(error, std::generic_category(), "Cannot create a bookmark for " + path),
      path_(std::move(path)) {}

std::vector<std::uint8_t> encodeBookmarkRecord(const BookmarkRecord& record) {
  std::vector<std::uint8_t> out;
  out.reserve(kHeaderSize + record.path.size());
  out.insert(out.end(), kMagic.begin(), kMagic.end());
  out.push_back(kVersion);
  putLittleEndian(out, record.device, 8);
  putLittleEndian(out, record.inode, 8);
  putLittleEndian(out, record.path.size(), 4);
  out.insert(out.end(), record.path.begin(), record.path.end());
  return out;
}

BookmarkRecord decodeBookmarkRecord(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kHeaderSize || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) {
    throw BookmarkDecodingError("Not a folder bookmark");
  }
  if (bytes[4] != kVersion) {
    throw BookmarkDecodingError("Unsupported folder bookmark version " + std::to_string(bytes[4]));
  }
  BookmarkRecord record;
  record.device = getLittleEndian(bytes, 5, 8);
  record.inode = getLittleEndian(bytes, 13, 8);
  const std::uint64_t length = getLittleEndian(bytes, 21, 4);
  if (length != bytes.size() - kHeaderSize)
    throw BookmarkDecodingError("Folder bookmark has the wrong length");
  record.path.assign(reinterpret_cast<const char*>(bytes.data() + kHeaderSize), length);
  if (record.path.empty() || record.path.front() != '/' || record.path.find('\0') != std::string::npos) {
    throw BookmarkDecodingError("Folder bookmark holds an invalid path");
  }
  return record;
}

std::vector<std::uint8_t> createBookmarkData(const std::string& path) {
  struct stat info {};
  if (path.empty() || path.front() != '/') throw BookmarkCreationError(EINVAL, path);
  if (::stat(path.c_str(), &info) != 0) throw BookmarkCreationError(errno, path);
  return encodeBookmarkRecord(
      {path, static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)});
}

BookmarkResolution resolveBookmarkData(std::span<const std::uint8_t> bytes) {
  const BookmarkRecord record = decodeBookmarkRecord(bytes);
  struct stat info {};
  if (::stat(record.path.c_str(), &info) == 0) {
    return {record.path, !sameDirectory(info, record)};
  }
  if (errno == ENOENT && record.path != "/") {
    std::string renamed = findRenamedEntry(parentOf(record.path), record);
    if (!renamed.empty()) return {std::move(renamed), true};
  }
  return {record.path, false};
}

}  // namespace lorvex::platform
