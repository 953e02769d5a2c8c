#include "support/png_image.h"

#include <array>
#include <stdexcept>

#include "support/png_builder.h"

namespace lorvex::testing {
namespace {

struct Adam7Pass {
  std::uint32_t xStart, yStart, xStep, yStep;
};
constexpr std::array<Adam7Pass, 7> kAdam7Passes{{
    {0, 0, 8, 8},
    {4, 0, 8, 8},
    {0, 4, 4, 8},
    {2, 0, 4, 4},
    {0, 2, 2, 4},
    {1, 0, 2, 2},
    {0, 1, 1, 2},
}};

std::uint32_t passExtent(std::uint32_t size, std::uint32_t start, std::uint32_t step) {
  return size > start ? (size - start + step - 1) / step : 0;
}

class SampleSource {
 public:
  explicit SampleSource(const PNGImageSpec& spec) : spec_(spec), state_(spec.noiseSeed) {}

  std::uint16_t next(std::uint32_t x, std::uint32_t y, unsigned channel) {
    if (spec_.noiseSeed == 0) return expectedSample(spec_, x, y, channel);
    // xorshift64*: cheap, and incompressible enough to give real-size files.
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    const std::uint64_t value = state_ * 0x2545F4914F6CDD1DULL;
    if (spec_.colorType == PNGColorType::palette) return static_cast<std::uint16_t>(value >> 56);
    return static_cast<std::uint16_t>(spec_.bitDepth == 16 ? value >> 48 : value >> 56);
  }

 private:
  const PNGImageSpec& spec_;
  std::uint64_t state_;
};

// Filter type 0 (None) rows of the pixels (xStart + i*xStep, yStart + j*yStep).
void appendRows(const PNGImageSpec& spec, SampleSource& samples, const Adam7Pass& pass, std::string& out) {
  const std::uint32_t columns = passExtent(spec.width, pass.xStart, pass.xStep);
  const std::uint32_t rows = passExtent(spec.height, pass.yStart, pass.yStep);
  if (columns == 0 || rows == 0) return;
  const unsigned channels = channelCount(spec.colorType);
  for (std::uint32_t row = 0; row < rows; ++row) {
    const std::uint32_t y = pass.yStart + row * pass.yStep;
    out.push_back('\0');
    for (std::uint32_t column = 0; column < columns; ++column) {
      const std::uint32_t x = pass.xStart + column * pass.xStep;
      for (unsigned channel = 0; channel < channels; ++channel) {
        const std::uint16_t sample = samples.next(x, y, channel);
        if (spec.bitDepth == 16) out.push_back(static_cast<char>(sample >> 8));
        out.push_back(static_cast<char>(sample & 0xFF));
      }
    }
  }
}

}  // namespace

unsigned channelCount(PNGColorType colorType) {
  switch (colorType) {
    case PNGColorType::grayscale:
    case PNGColorType::palette:
      return 1;
    case PNGColorType::grayscaleAlpha:
      return 2;
    case PNGColorType::rgb:
      return 3;
    case PNGColorType::rgba:
      return 4;
  }
  return 1;
}

std::uint16_t expectedSample(const PNGImageSpec& spec, std::uint32_t x, std::uint32_t y, unsigned channel) {
  if (spec.colorType == PNGColorType::palette) return static_cast<std::uint16_t>((x + 3 * y) & 0xFF);
  if (spec.bitDepth == 16)
    return static_cast<std::uint16_t>((x * 3001u + y * 7919u + channel * 20011u) & 0xFFFF);
  return static_cast<std::uint16_t>((x * 37u + y * 91u + channel * 53u) & 0xFF);
}

std::uint8_t paletteEntry(std::uint8_t index, unsigned channel) {
  return static_cast<std::uint8_t>((index * (channel + 1) * 37u + channel * 11u) & 0xFF);
}

std::string encodePNGImage(const PNGImageSpec& spec) {
  if (spec.bitDepth != 8 && spec.bitDepth != 16) throw std::invalid_argument("bit depth must be 8 or 16");
  if (spec.colorType == PNGColorType::palette && spec.bitDepth != 8) {
    throw std::invalid_argument("palette images are 8-bit here");
  }
  if (spec.width == 0 || spec.height == 0 || spec.idatChunkSize == 0) {
    throw std::invalid_argument("empty image or IDAT size");
  }

  std::string scanlines;
  SampleSource samples(spec);
  if (spec.interlaced) {
    for (const Adam7Pass& pass : kAdam7Passes) appendRows(spec, samples, pass, scanlines);
  } else {
    appendRows(spec, samples, Adam7Pass{0, 0, 1, 1}, scanlines);
  }
  const std::string stream =
      spec.compression == IDATCompression::stored ? zlibStored(scanlines) : zlibCompressed(scanlines, 6);

  PNGBuilder builder;
  builder.ihdr(spec.width, spec.height, spec.bitDepth, static_cast<std::uint8_t>(spec.colorType),
               spec.interlaced ? 1 : 0);
  if (spec.colorType == PNGColorType::palette) {
    std::string palette;
    for (unsigned index = 0; index < 256; ++index) {
      for (unsigned channel = 0; channel < 3; ++channel) {
        palette.push_back(static_cast<char>(paletteEntry(static_cast<std::uint8_t>(index), channel)));
      }
    }
    builder.chunk("PLTE", palette);
  }
  for (const auto& [keyword, text] : spec.textChunks) builder.tEXt(keyword, text);
  for (std::size_t offset = 0; offset < stream.size(); offset += spec.idatChunkSize) {
    builder.chunk("IDAT", std::string_view(stream).substr(offset, spec.idatChunkSize));
  }
  builder.iend();
  return builder.bytes();
}

}  // namespace lorvex::testing
