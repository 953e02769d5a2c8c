// FileContentHashing over the platform's SHA-256: reads the file in 1 MiB blocks through one
// buffer (memory stays flat for any size), opening only regular files and never blocking on a
// FIFO or device that carries an image's name.
//
// Thread safety: stateless; any thread, any number at once.
#pragma once

#include "services/indexing/file_content_hashing.h"

namespace lorvex {

class FileContentHasher final : public FileContentHashing {
 public:
  static constexpr std::size_t kReadSize = 1'048'576;

  // Throws platform::FileError ("Unable to open file: No such file or directory", …).
  std::string sha256Hex(const std::string& path) const override;
};

}  // namespace lorvex
