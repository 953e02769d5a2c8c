// Real, decodable PNG images for tests that decode pixels (thumbnails, image loading) or need
// real-size files (benchmarks). Every sample is a pure function of its position, so a test can
// check a decoder's output with expectedSample().
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lorvex::testing {

enum class PNGColorType : std::uint8_t {
  grayscale = 0,
  rgb = 2,
  palette = 3,
  grayscaleAlpha = 4,
  rgba = 6,
};

enum class IDATCompression {
  stored,   // zlib stored blocks: fast to write, file size about the raw image size
  deflate,  // libdeflate at level 6
};

struct PNGImageSpec {
  std::uint32_t width = 4;
  std::uint32_t height = 4;
  PNGColorType colorType = PNGColorType::rgba;
  std::uint8_t bitDepth = 8;  // 8 or 16 (palette: 8)
  bool interlaced = false;    // Adam7
  IDATCompression compression = IDATCompression::deflate;
  std::size_t idatChunkSize = 65'536;  // the compressed stream is split into IDATs of this size
  // 0: the smooth pattern of expectedSample(); otherwise pseudo-random samples from this seed
  // (incompressible, for real-size files).
  std::uint64_t noiseSeed = 0;
  // Text chunks written between IHDR and the first IDAT, as tEXt.
  std::vector<std::pair<std::string, std::string>> textChunks;
};

// Channels per pixel of the color type (palette: 1 index).
unsigned channelCount(PNGColorType colorType);

// The sample of channel `channel` of pixel (x, y) for the pattern images (noiseSeed 0), at the
// spec's bit depth. For palette images it is the palette index; paletteEntry() gives its color.
std::uint16_t expectedSample(const PNGImageSpec& spec, std::uint32_t x, std::uint32_t y, unsigned channel);
// The RGB color of a palette index (256 entries).
std::uint8_t paletteEntry(std::uint8_t index, unsigned channel);

// The whole PNG file: signature, IHDR, PLTE (palette), the text chunks, IDAT(s), IEND.
std::string encodePNGImage(const PNGImageSpec& spec);

}  // namespace lorvex::testing
