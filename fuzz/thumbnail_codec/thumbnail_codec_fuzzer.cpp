// The thumbnail decoder over arbitrary bytes: libspng under our limits, the area reduction, the
// eXIf orientation parser and the turn. Chunk checksums are repaired first, so mutations reach
// the image data instead of stopping at a CRC mismatch. Any outcome but a thumbnail within the
// size rule or the codec's own error is a bug.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/thumbnail_codec.h"

namespace {

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> entries{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[n] = c;
    }
    return entries;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xff] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// Rewrites every complete chunk's CRC after the 8-byte signature.
void repairChecksums(std::vector<std::uint8_t>& png) {
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint64_t length =
        (std::uint64_t{png[at]} << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    if (length > png.size() - at - 12) break;
    const std::uint32_t crc = crc32(&png[at + 4], static_cast<std::size_t>(length) + 4);
    const std::size_t end = at + 8 + static_cast<std::size_t>(length);
    png[end] = static_cast<std::uint8_t>(crc >> 24);
    png[end + 1] = static_cast<std::uint8_t>(crc >> 16);
    png[end + 2] = static_cast<std::uint8_t>(crc >> 8);
    png[end + 3] = static_cast<std::uint8_t>(crc);
    at = end + 4;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int orientation = lorvex::platform::exifOrientation({data, size});
  if (orientation < 1 || orientation > 8) std::abort();
  if (size < 1) return 0;

  const std::uint32_t maxPixelSize = 1 + data[0] % 64;
  std::vector<std::uint8_t> png(data + 1, data + size);
  repairChecksums(png);
  lorvex::platform::PNGDecodeLimits limits;
  limits.maximumWidth = 4096;
  limits.maximumHeight = 4096;
  limits.maximumPixelCount = std::uint64_t{1} << 22;
  limits.maximumChunkSize = std::size_t{1} << 20;
  limits.maximumChunkCache = std::size_t{1} << 22;
  limits.maximumInterlacedBuffer = std::size_t{1} << 24;
  try {
    const lorvex::platform::RgbImage image = lorvex::platform::decodePNGThumbnail(png, maxPixelSize, limits);
    if (image.width == 0 || image.height == 0) std::abort();
    if (std::max(image.width, image.height) > maxPixelSize) std::abort();
    if (image.pixels.size() != std::size_t{image.width} * image.height * 3) std::abort();
  } catch (const lorvex::platform::ThumbnailCodecError& error) {
    if (error.stage() != lorvex::platform::ThumbnailCodecError::Stage::decode) std::abort();
  }
  return 0;
}
