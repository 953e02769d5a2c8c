// The content hash of a file, by which indexing recognises a file that moved.
//
// Thread safety: implementations may be called from any thread at once.
#pragma once

#include <string>

namespace lorvex {

class FileContentHashing {
 public:
  virtual ~FileContentHashing() = default;
  // The SHA-256 of the file's bytes as 64 lowercase hex characters. Throws when the file cannot
  // be opened or read; the error's message carries the system's reason.
  virtual std::string sha256Hex(const std::string& path) const = 0;
};

}  // namespace lorvex
