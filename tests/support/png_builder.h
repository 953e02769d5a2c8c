// Builds PNG byte streams in memory for tests: the signature, text chunks of the three kinds,
// arbitrary chunks (any type, declared length or CRC, so broken files are easy to write), and
// zlib streams to put in them. PNGBuilder writes chunks in the order they are added.
//
// Thread safety: a builder belongs to one thread; the free functions are pure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lorvex::testing {

// CRC-32 as PNG uses it (over the chunk type and data).
std::uint32_t pngCRC(std::string_view typeAndData);

// A complete zlib stream of `data`, DEFLATE-compressed at `level` (0-12, libdeflate levels).
std::string zlibCompressed(std::string_view data, int level = 6);
// A complete zlib stream of `data` in stored (uncompressed) blocks.
std::string zlibStored(std::string_view data);

std::string bigEndian32(std::uint32_t value);

class PNGBuilder {
 public:
  // Starts with the 8-byte PNG signature unless told otherwise.
  explicit PNGBuilder(bool withSignature = true);

  // A chunk with the right length and CRC.
  PNGBuilder& chunk(std::string_view type, std::string_view data);
  // A chunk whose length field and CRC are given rather than computed (use to write a length that
  // runs past the end, or a wrong CRC).
  PNGBuilder& chunk(std::string_view type, std::string_view data, std::uint32_t declaredLength,
                    std::optional<std::uint32_t> crc = std::nullopt);
  // Bytes appended as they are.
  PNGBuilder& raw(std::string_view bytes);

  // keyword NUL text (bytes as given: Latin-1 in a valid file).
  PNGBuilder& tEXt(std::string_view keyword, std::string_view text);
  // keyword NUL method zlib(text).
  PNGBuilder& zTXt(std::string_view keyword, std::string_view text);
  // keyword NUL method compressed-bytes, the compressed part as given.
  PNGBuilder& zTXtRaw(std::string_view keyword, std::uint8_t method, std::string_view compressed);
  // keyword NUL flag method language NUL translated NUL text; with flag 1 the text is compressed
  // (unless `textIsRaw`, then written as given).
  PNGBuilder& iTXt(std::string_view keyword, std::string_view text, std::uint8_t compressionFlag = 0,
                   std::uint8_t compressionMethod = 0, std::string_view language = "",
                   std::string_view translatedKeyword = "", bool textIsRaw = false);

  // A minimal 1x1 8-bit grayscale IHDR; IEND.
  PNGBuilder& ihdr(std::uint32_t width = 1, std::uint32_t height = 1, std::uint8_t bitDepth = 8,
                   std::uint8_t colorType = 0, std::uint8_t interlace = 0);
  PNGBuilder& iend();

  const std::string& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }
  // Writes the bytes to `path`; throws std::runtime_error on failure.
  void writeTo(const std::string& path) const;

 private:
  std::string bytes_;
};

}  // namespace lorvex::testing
