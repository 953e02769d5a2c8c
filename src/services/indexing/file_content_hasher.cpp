#include "services/indexing/file_content_hasher.h"

#include "platform/sha256.h"

namespace lorvex {

std::string FileContentHasher::sha256Hex(const std::string& path) const {
  return platform::sha256HexOfFile(path, kReadSize);
}

}  // namespace lorvex
