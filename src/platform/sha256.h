// SHA-256 digests written as 64 lowercase hexadecimal characters. Content hashes recognise moved
// files and name thumbnails, so the text form ("%02x" per byte, no separators) never changes.
//
// Thread safety: every function may be called from any thread; a Sha256 object belongs to one
// thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace lorvex::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Incremental SHA-256 over OpenSSL's EVP interface (which uses the CPU's SHA instructions).
// Construction throws std::runtime_error only when OpenSSL cannot allocate its context.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(const void* data, std::size_t size);
  void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
  // Ends the computation; the object must not be updated afterwards.
  Sha256Digest finish();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

std::string hexDigest(const Sha256Digest& digest);

// The digest of `bytes` as lowercase hex.
std::string sha256Hex(std::string_view bytes);

// The digest of the file's bytes, read in blocks of `blockSize`. The file is opened read-only
// and non-blocking and must be a regular file (a FIFO or a device must never stall a scan).
// Throws FileError (platform/regular_file.h) whose message ends with the system's error text
// ("No such file or directory", "Permission denied", …) when the file cannot be opened or read,
// or reads kNotARegularFileMessage for anything but a regular file.
std::string sha256HexOfFile(const std::string& path, std::size_t blockSize = 1 << 20);

}  // namespace lorvex::platform
