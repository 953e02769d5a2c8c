#include "platform/sha256.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "platform/regular_file.h"

namespace lorvex::platform {

struct Sha256::Context {
  EVP_MD_CTX* md = nullptr;
  ~Context() { EVP_MD_CTX_free(md); }
};

namespace {

// The algorithm looked up once: OpenSSL 3 looks EVP_sha256() up in its provider tables again at
// every initialisation, a lock and a search for each digest of a short text.
const EVP_MD* sha256Algorithm() {
  static EVP_MD* const fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return fetched != nullptr ? fetched : EVP_sha256();
}

}  // namespace

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  context_->md = EVP_MD_CTX_new();
  if (context_->md == nullptr || EVP_DigestInit_ex(context_->md, sha256Algorithm(), nullptr) != 1) {
    throw std::runtime_error("Unable to start a SHA-256 computation");
  }
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
  // EVP_DigestUpdate fails only on a context in a bad state, which this class never creates.
  if (size > 0) EVP_DigestUpdate(context_->md, data, size);
}

Sha256Digest Sha256::finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_->md, digest.data(), &length);
  return digest;
}

std::string hexDigest(const Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(digest.size() * 2, '0');
  for (std::size_t i = 0; i < digest.size(); ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0f];
  }
  return text;
}

std::string sha256Hex(std::string_view bytes) {
  Sha256 hasher;
  hasher.update(bytes);
  return hexDigest(hasher.finish());
}

std::string sha256HexOfFile(const std::string& path, std::size_t blockSize) {
  RegularFile file(path);
  Sha256 hasher;
  // One buffer for the whole file keeps memory flat however large the file is. A file smaller than
  // a block gets a buffer of its size, 64 KiB at least (one that grew since the open is still read
  // to its end), left uncleared: the indexer hashes thousands of files of a few kilobytes, and
  // mapping and clearing a megabyte for each cost more than hashing them.
  constexpr std::size_t kSmallestBlock = 64 * 1024;
  const auto fileSize = static_cast<std::uint64_t>(std::max<std::int64_t>(0, file.size()));
  const std::size_t capacity = std::max<std::size_t>(
      1, std::min<std::uint64_t>(blockSize, std::max<std::uint64_t>(kSmallestBlock, fileSize + 1)));
  const auto block = std::make_unique_for_overwrite<unsigned char[]>(capacity);
  for (;;) {
    const std::size_t count = file.read(block.get(), capacity);
    if (count == 0) break;
    hasher.update(block.get(), count);
  }
  return hexDigest(hasher.finish());
}

}  // namespace lorvex::platform
