// Hashing the next queued file while the scan writes the current one: on a cold index the SHA-256
// of each file and the database writes of the one before it take about as long, so running them
// side by side saves most of one of them. The result is used only when the file still has the
// size and modification time it had while it was hashed, on both sides of the hash; otherwise
// (and when hashing failed) the scan hashes the file again itself, so a failure is reported from
// there as before.
//
// Thread safety: one object per scan, used by the scan's thread; the hash itself runs on a helper
// thread that only reads the file. Destruction waits for a hash in flight.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <future>
#include <optional>
#include <string>

#include "model/image_record.h"
#include "services/indexing/file_content_hashing.h"

namespace lorvex {

class ContentHashAhead {
 public:
  explicit ContentHashAhead(const FileContentHashing& hasher) : hasher_(hasher) {}
  ContentHashAhead(const ContentHashAhead&) = delete;
  ContentHashAhead& operator=(const ContentHashAhead&) = delete;

  // How many queued files the scan hashes ahead of the one it indexes. With three under way the
  // hashes keep up with the database writes even on a busy machine.
  static constexpr std::size_t kLookahead = 3;
  // Results held at most (the lookahead and the file being indexed); starting one more drops the
  // oldest (after its hash finishes).
  static constexpr std::size_t kCapacity = kLookahead + 1;

  // Starts hashing `path` unless it is already being hashed.
  void start(const std::string& path);

  // The hash of `file.path` taken ahead, when one was started for it and the file was exactly
  // `file` (size and modification time) throughout; nothing otherwise.
  std::optional<std::string> take(const ImageFileInfo& file);

 private:
  struct Result {
    std::int64_t size = 0;
    double modificationTime = 0;
    std::string hex;
  };

  struct Pending {
    std::string path;
    std::future<std::optional<Result>> result;
  };

  const FileContentHashing& hasher_;
  std::deque<Pending> pending_;
};

}  // namespace lorvex
