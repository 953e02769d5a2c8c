// The test PNG writer must produce images a real decoder reads back sample for sample: other
// layers' tests (thumbnails, image loading) rely on it.
#include <gtest/gtest.h>
#include <spng.h>

#include <memory>
#include <vector>

#include "metadata/png_text_chunk_reader.h"
#include "support/png_image.h"

namespace lorvex {
namespace {

using testing::IDATCompression;
using testing::PNGColorType;
using testing::PNGImageSpec;

std::vector<std::uint8_t> decode(const std::string& png, int format) {
  std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> context(spng_ctx_new(0), spng_ctx_free);
  EXPECT_EQ(spng_set_png_buffer(context.get(), png.data(), png.size()), 0);
  std::size_t size = 0;
  EXPECT_EQ(spng_decoded_image_size(context.get(), format, &size), 0);
  std::vector<std::uint8_t> pixels(size);
  const int result = spng_decode_image(context.get(), pixels.data(), pixels.size(), format, 0);
  EXPECT_EQ(result, 0) << spng_strerror(result);
  return pixels;
}

TEST(PNGImageSupport, ImagesDecodeToTheirExpectedSamples) {
  std::vector<PNGImageSpec> specs;
  for (const PNGColorType colorType :
       {PNGColorType::grayscale, PNGColorType::rgb, PNGColorType::grayscaleAlpha, PNGColorType::rgba,
        PNGColorType::palette}) {
    for (const std::uint8_t bitDepth : {8, 16}) {
      if (colorType == PNGColorType::palette && bitDepth == 16) continue;
      for (const bool interlaced : {false, true}) {
        PNGImageSpec spec;
        spec.width = 13;
        spec.height = 11;
        spec.colorType = colorType;
        spec.bitDepth = bitDepth;
        spec.interlaced = interlaced;
        spec.compression = interlaced ? IDATCompression::stored : IDATCompression::deflate;
        spec.idatChunkSize = 100;  // several IDAT chunks
        specs.push_back(spec);
      }
    }
  }
  for (const PNGImageSpec& spec : specs) {
    const std::string png = testing::encodePNGImage(spec);
    const std::vector<std::uint8_t> raw = decode(png, SPNG_FMT_RAW);
    const unsigned channels = testing::channelCount(spec.colorType);
    const unsigned bytesPerSample = spec.bitDepth / 8;
    ASSERT_EQ(raw.size(), std::size_t{spec.width} * spec.height * channels * bytesPerSample);
    std::size_t mismatches = 0;
    std::size_t offset = 0;
    for (std::uint32_t y = 0; y < spec.height; ++y) {
      for (std::uint32_t x = 0; x < spec.width; ++x) {
        for (unsigned channel = 0; channel < channels; ++channel) {
          std::uint16_t sample = raw[offset++];
          if (bytesPerSample == 2) sample = static_cast<std::uint16_t>(sample << 8 | raw[offset++]);
          if (sample != testing::expectedSample(spec, x, y, channel)) ++mismatches;
        }
      }
    }
    EXPECT_EQ(mismatches, 0u) << "color type " << int(spec.colorType) << " depth " << int(spec.bitDepth)
                              << " interlaced " << spec.interlaced;
  }
}

TEST(PNGImageSupport, PaletteColorsAndTextChunks) {
  PNGImageSpec spec;
  spec.width = 5;
  spec.height = 3;
  spec.colorType = PNGColorType::palette;
  spec.textChunks = {{"Software", "NovelAI"}};
  const std::string png = testing::encodePNGImage(spec);
  const std::vector<std::uint8_t> rgba = decode(png, SPNG_FMT_RGBA8);
  const auto index = static_cast<std::uint8_t>(testing::expectedSample(spec, 4, 2, 0));
  EXPECT_EQ(rgba[(2 * 5 + 4) * 4 + 1], testing::paletteEntry(index, 1));

  MemoryPNGTextChunkByteSource source(png);
  EXPECT_EQ(PNGTextChunkReader().read(source).software, "NovelAI");
}

TEST(PNGImageSupport, NoiseImagesHaveRealSizes) {
  PNGImageSpec spec;
  spec.width = 512;
  spec.height = 512;
  spec.noiseSeed = 7;
  EXPECT_GT(testing::encodePNGImage(spec).size(), 1'000'000u);  // incompressible RGBA
  EXPECT_EQ(decode(testing::encodePNGImage(spec), SPNG_FMT_RGBA8).size(), 512u * 512 * 4);
}

}  // namespace
}  // namespace lorvex
