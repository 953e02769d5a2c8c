// Folder bookmarks: a small versioned record that remembers a folder by its path and by the
// identity of its directory (device and inode), so that a folder renamed within its parent is
// found again at its new name. The record is what the folder access manager stores (Base64 in its
// settings value); it grants nothing by itself, since Linux has no sandbox to open.
//
// Record layout, version 1 (little-endian): "LXBM", version byte 1, device (8 bytes), inode
// (8 bytes), path length (4 bytes), the path's bytes. Any other byte sequence is undecodable.
//
// Thread safety: pure functions over the file system; callable from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace lorvex::platform {

struct BookmarkRecord {
  std::string path;  // absolute
  std::uint64_t device = 0;
  std::uint64_t inode = 0;

  bool operator==(const BookmarkRecord&) const = default;
};

// Bytes that are not a bookmark record of a known version.
class BookmarkDecodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The folder could not be examined to make a bookmark (it does not exist, permission denied, …).
// Carries the errno value and the path.
class BookmarkCreationError : public std::system_error {
 public:
  BookmarkCreationError(int error, std::string path);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<std::uint8_t> encodeBookmarkRecord(const BookmarkRecord& record);
// Throws BookmarkDecodingError.
BookmarkRecord decodeBookmarkRecord(std::span<const std::uint8_t> bytes);

// A bookmark of the folder at `path` (taken as given: absolute, symbolic links already resolved).
// Throws BookmarkCreationError when the path cannot be examined.
std::vector<std::uint8_t> createBookmarkData(const std::string& path);

struct BookmarkResolution {
  std::string path;
  bool isStale = false;  // the bookmark should be made again from `path`
};

// Where the bookmarked folder is now:
// - the recorded path is the same directory (device and inode) → that path, not stale;
// - the recorded path exists but is another file → that path, stale;
// - the recorded path is gone and an entry of its parent folder is the same directory (a rename)
//   → the entry's path, stale;
// - otherwise → the recorded path, not stale (the caller then finds it missing).
// Throws BookmarkDecodingError only; file-system failures fall through the rules above.
BookmarkResolution resolveBookmarkData(std::span<const std::uint8_t> bytes);

}  // namespace lorvex::platform
