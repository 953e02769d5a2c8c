#include "platform/thumbnail_codec.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/test_png_encoder.h"
#include "support/temporary_folder.h"

namespace lorvex::platform {
namespace {

using testing::encodeTestPNG;
using testing::Rgba;
using testing::TestPNG;

std::array<int, 3> pixelAt(const RgbImage& image, std::uint32_t x, std::uint32_t y) {
  const std::size_t at = (static_cast<std::size_t>(y) * image.width + x) * 3;
  return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]};
}

void expectUniform(const RgbImage& image, std::array<int, 3> expected, int tolerance = 0) {
  for (std::uint32_t y = 0; y < image.height; ++y) {
    for (std::uint32_t x = 0; x < image.width; ++x) {
      const auto actual = pixelAt(image, x, y);
      for (int c = 0; c < 3; ++c) {
        ASSERT_NEAR(actual[c], expected[c], tolerance) << "pixel " << x << "," << y << " channel " << c;
      }
    }
  }
}

TEST(ThumbnailSizeTest, LongerSideBecomesTheLimitWithoutEnlarging) {
  struct Case {
    std::uint32_t width, height, limit;
    PixelSize expected;
  };
  const Case cases[] = {
      {4000, 3000, 320, {320, 240}}, {3000, 4000, 320, {240, 320}}, {832, 1216, 320, {219, 320}},
      {320, 200, 320, {320, 200}},   {100, 50, 320, {100, 50}},     {1000, 1, 320, {320, 1}},
      {641, 320, 320, {320, 160}},   {321, 321, 320, {320, 320}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(thumbnailSize(c.width, c.height, c.limit), c.expected) << c.width << "x" << c.height;
  }
}

// Every colour type and depth the generators produce must reach the same upright RGB picture.
TEST(DecodePNGThumbnailTest, DecodesEveryColourLayout) {
  struct Case {
    const char* name;
    std::uint8_t colorType, bitDepth;
    bool interlaced;
    Rgba color;
    std::array<int, 3> expected;
  };
  const Case cases[] = {
      {"rgb", SPNG_COLOR_TYPE_TRUECOLOR, 8, false, {200, 100, 50, 255}, {200, 100, 50}},
      {"rgba opaque", SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 8, false, {10, 20, 30, 255}, {10, 20, 30}},
      {"rgba transparent over white",
       SPNG_COLOR_TYPE_TRUECOLOR_ALPHA,
       8,
       false,
       {0, 0, 0, 0},
       {255, 255, 255}},
      {"rgba half black", SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 8, false, {0, 0, 0, 128}, {127, 127, 127}},
      {"palette with transparency", SPNG_COLOR_TYPE_INDEXED, 8, false, {0, 0, 255, 0}, {255, 255, 255}},
      {"palette", SPNG_COLOR_TYPE_INDEXED, 8, false, {0, 0, 255, 255}, {0, 0, 255}},
      {"rgb 16-bit", SPNG_COLOR_TYPE_TRUECOLOR, 16, false, {12, 34, 56, 255}, {12, 34, 56}},
      {"rgba 16-bit", SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 16, false, {12, 34, 56, 255}, {12, 34, 56}},
      {"grey", SPNG_COLOR_TYPE_GRAYSCALE, 8, false, {77, 77, 77, 255}, {77, 77, 77}},
      {"grey alpha", SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, 8, false, {0, 0, 0, 0}, {255, 255, 255}},
      {"rgb interlaced", SPNG_COLOR_TYPE_TRUECOLOR, 8, true, {1, 2, 3, 255}, {1, 2, 3}},
      {"rgba interlaced 16-bit", SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 16, true, {90, 80, 70, 255}, {90, 80, 70}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestPNG spec;
    spec.width = 640;
    spec.height = 400;
    spec.colorType = c.colorType;
    spec.bitDepth = c.bitDepth;
    spec.interlaced = c.interlaced;
    spec.pixel = [&](std::uint32_t, std::uint32_t) { return c.color; };
    const RgbImage image = decodePNGThumbnail(encodeTestPNG(spec), 320);
    ASSERT_EQ(image.width, 320u);
    ASSERT_EQ(image.height, 200u);
    expectUniform(image, c.expected, 1);
  }
}

TEST(DecodePNGThumbnailTest, InterlacedAndProgressiveDecodesAgree) {
  TestPNG spec;
  spec.width = 97;
  spec.height = 61;
  spec.pixel = [](std::uint32_t x, std::uint32_t y) {
    return Rgba{static_cast<std::uint8_t>(x * 2), static_cast<std::uint8_t>(y * 4),
                static_cast<std::uint8_t>(x ^ y), 255};
  };
  const RgbImage plain = decodePNGThumbnail(encodeTestPNG(spec), 40);
  spec.interlaced = true;
  const RgbImage interlaced = decodePNGThumbnail(encodeTestPNG(spec), 40);
  EXPECT_EQ(plain.width, 40u);
  EXPECT_EQ(plain.height, 25u);
  EXPECT_EQ(plain.pixels, interlaced.pixels);
}

TEST(DecodePNGThumbnailTest, AveragesByCoveredArea) {
  // Three columns into two: each output pixel covers one and a half source pixels.
  TestPNG spec;
  spec.width = 3;
  spec.height = 3;
  spec.pixel = [](std::uint32_t x, std::uint32_t) {
    const std::uint8_t value = static_cast<std::uint8_t>(x * 90);
    return Rgba{value, value, value, 255};
  };
  const RgbImage image = decodePNGThumbnail(encodeTestPNG(spec), 2);
  ASSERT_EQ(image.width, 2u);
  ASSERT_EQ(image.height, 2u);
  EXPECT_EQ(pixelAt(image, 0, 0), (std::array<int, 3>{30, 30, 30}));     // (0 + 0.5·90) / 1.5
  EXPECT_EQ(pixelAt(image, 1, 1), (std::array<int, 3>{150, 150, 150}));  // (0.5·90 + 180) / 1.5

  // Quadrants stay separate at half size.
  spec.width = 4;
  spec.height = 4;
  spec.pixel = [](std::uint32_t x, std::uint32_t y) {
    return Rgba{static_cast<std::uint8_t>(x < 2 ? 255 : 0), static_cast<std::uint8_t>(y < 2 ? 255 : 0), 0,
                255};
  };
  const RgbImage quarters = decodePNGThumbnail(encodeTestPNG(spec), 2);
  EXPECT_EQ(pixelAt(quarters, 0, 0), (std::array<int, 3>{255, 255, 0}));
  EXPECT_EQ(pixelAt(quarters, 1, 0), (std::array<int, 3>{0, 255, 0}));
  EXPECT_EQ(pixelAt(quarters, 0, 1), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ(pixelAt(quarters, 1, 1), (std::array<int, 3>{0, 0, 0}));
}

TEST(DecodePNGThumbnailTest, SmallImagesKeepEveryPixel) {
  TestPNG spec;
  spec.width = 5;
  spec.height = 3;
  spec.pixel = [](std::uint32_t x, std::uint32_t y) {
    return Rgba{static_cast<std::uint8_t>(x * 50), static_cast<std::uint8_t>(y * 100), 7, 255};
  };
  const RgbImage image = decodePNGThumbnail(encodeTestPNG(spec), 320);
  ASSERT_EQ(image.width, 5u);
  ASSERT_EQ(image.height, 3u);
  for (std::uint32_t y = 0; y < 3; ++y) {
    for (std::uint32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(pixelAt(image, x, y),
                (std::array<int, 3>{static_cast<int>(x * 50), static_cast<int>(y * 100), 7}));
    }
  }
}

// A 4 x 2 picture with one red pixel at the stored top-left corner: where it ends up shows each
// orientation's turn.
TEST(OrientationTest, EveryExifOrientationTurnsTheImageUpright) {
  struct Case {
    int orientation;
    PixelSize size;
    std::uint32_t redX, redY;
  };
  const Case cases[] = {
      {1, {4, 2}, 0, 0}, {2, {4, 2}, 3, 0}, {3, {4, 2}, 3, 1}, {4, {4, 2}, 0, 1},
      {5, {2, 4}, 0, 0}, {6, {2, 4}, 1, 0}, {7, {2, 4}, 1, 3}, {8, {2, 4}, 0, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    TestPNG spec;
    spec.width = 4;
    spec.height = 2;
    spec.pixel = [](std::uint32_t x, std::uint32_t y) {
      return x == 0 && y == 0 ? Rgba{255, 0, 0, 255} : Rgba{0, 0, 255, 255};
    };
    spec.exif = testing::exifWithOrientation(static_cast<std::uint16_t>(c.orientation));
    const RgbImage image = decodePNGThumbnail(encodeTestPNG(spec), 320);
    ASSERT_EQ((PixelSize{image.width, image.height}), c.size);
    for (std::uint32_t y = 0; y < image.height; ++y) {
      for (std::uint32_t x = 0; x < image.width; ++x) {
        const bool red = x == c.redX && y == c.redY;
        EXPECT_EQ(pixelAt(image, x, y), (red ? std::array<int, 3>{255, 0, 0} : std::array<int, 3>{0, 0, 255}))
            << x << "," << y;
      }
    }
  }
}

TEST(OrientationTest, ReadsBothByteOrdersAndRejectsMalformedBlocks) {
  const std::vector<std::uint8_t> bigEndian = {'M',  'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01,
                                               0x12, 0,   3, 0,  0, 0, 1, 0, 6, 0, 0};
  EXPECT_EQ(exifOrientation(bigEndian), 6);
  auto prefixed = testing::exifWithOrientation(8);
  prefixed.insert(prefixed.begin(), {'E', 'x', 'i', 'f', 0, 0});
  EXPECT_EQ(exifOrientation(prefixed), 8);
  EXPECT_EQ(exifOrientation(testing::exifWithOrientation(9)), 1);
  EXPECT_EQ(exifOrientation(testing::exifWithOrientation(0)), 1);
  auto truncated = testing::exifWithOrientation(6);
  truncated.resize(14);
  EXPECT_EQ(exifOrientation(truncated), 1);
  const std::vector<std::uint8_t> farDirectory = {'I', 'I', 42, 0, 0xff, 0xff, 0xff, 0xff};
  EXPECT_EQ(exifOrientation(farDirectory), 1);
  EXPECT_EQ(exifOrientation({}), 1);
}

TEST(DecodePNGThumbnailTest, RejectsDataThatIsNotAnAcceptablePNG) {
  const auto expectDecodeFailure = [](std::span<const std::uint8_t> bytes, const PNGDecodeLimits& limits) {
    try {
      decodePNGThumbnail(bytes, 320, limits);
      ADD_FAILURE() << "decoded";
    } catch (const ThumbnailCodecError& error) {
      EXPECT_EQ(error.stage(), ThumbnailCodecError::Stage::decode);
      EXPECT_NE(std::string(error.what()).find("Unable to decode PNG"), std::string::npos);
    }
  };
  const std::string text = "this is not an image";
  expectDecodeFailure({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, {});
  expectDecodeFailure({}, {});

  TestPNG spec;
  spec.width = 64;
  spec.height = 64;
  auto png = encodeTestPNG(spec);
  auto truncated = png;
  truncated.resize(png.size() - 40);
  expectDecodeFailure(truncated, {});

  PNGDecodeLimits narrow;
  narrow.maximumWidth = 32;
  expectDecodeFailure(png, narrow);
  PNGDecodeLimits fewPixels;
  fewPixels.maximumPixelCount = 64 * 63;
  expectDecodeFailure(png, fewPixels);
  spec.interlaced = true;
  PNGDecodeLimits smallBuffer;
  smallBuffer.maximumInterlacedBuffer = 64 * 64 * 3 - 1;
  expectDecodeFailure(encodeTestPNG(spec), smallBuffer);
}

PixelSize jpegSize(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
  tjhandle handle = tjInitDecompress();
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  const int result =
      tjDecompressHeader3(handle, bytes.data(), bytes.size(), &width, &height, &subsampling, &colorspace);
  tjDestroy(handle);
  if (result != 0) return {};
  return {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
}

std::vector<std::string> folderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WritePNGThumbnailTest, WritesAJPEGOfTheThumbnailSizeAndNothingElse) {
  testing::TemporaryFolder folder;
  TestPNG spec;
  spec.width = 800;
  spec.height = 600;
  spec.colorType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  spec.pixel = [](std::uint32_t x, std::uint32_t y) {
    return Rgba{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 90,
                static_cast<std::uint8_t>(x + y)};
  };
  const auto png = encodeTestPNG(spec);
  const std::string source = folder.writeFile("source.png", std::string(png.begin(), png.end()));
  const std::string target = folder.makeFolder("cache") + "/thumb.jpg";
  writePNGThumbnail(source, target, 320);
  EXPECT_EQ(jpegSize(target), (PixelSize{320, 240}));
  EXPECT_EQ(folderEntries(folder.path() / "cache"), std::vector<std::string>{"thumb.jpg"});

  // A second write replaces the file in one step.
  writePNGThumbnail(source, target, 100);
  EXPECT_EQ(jpegSize(target), (PixelSize{100, 75}));
  EXPECT_EQ(folderEntries(folder.path() / "cache"), std::vector<std::string>{"thumb.jpg"});
}

TEST(WritePNGThumbnailTest, ReportsTheStageThatFailed) {
  testing::TemporaryFolder folder;
  const auto png = encodeTestPNG(TestPNG{});
  const std::string source = folder.writeFile("a.png", std::string(png.begin(), png.end()));
  const std::string notImage = folder.writeFile("b.png", "plain text");
  const std::string fifo = folder / "fifo.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string cache = folder.makeFolder("cache");

  struct Case {
    std::string source, target;
    ThumbnailCodecError::Stage stage;
    std::string messagePart;
  };
  const Case cases[] = {
      {folder / "absent.png", cache + "/t.jpg", ThumbnailCodecError::Stage::readSource,
       "No such file or directory"},
      {fifo, cache + "/t.jpg", ThumbnailCodecError::Stage::readSource, "not a regular file"},
      {folder.path(), cache + "/t.jpg", ThumbnailCodecError::Stage::readSource, "not a regular file"},
      {notImage, cache + "/t.jpg", ThumbnailCodecError::Stage::decode, "Unable to decode PNG"},
      {source, folder / "no-folder/t.jpg", ThumbnailCodecError::Stage::createDestination, "Unable to create"},
      {source, cache + "/occupied", ThumbnailCodecError::Stage::write, "Unable to write"},
  };
  folder.makeFolder("cache/occupied/inside");  // a folder that is not empty cannot be replaced
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source + " -> " + c.target);
    try {
      writePNGThumbnail(c.source, c.target, 320);
      ADD_FAILURE() << "no failure";
    } catch (const ThumbnailCodecError& error) {
      EXPECT_EQ(error.stage(), c.stage);
      EXPECT_NE(std::string(error.what()).find(c.messagePart), std::string::npos) << error.what();
    }
  }
  // Failed writes leave no temporary file behind.
  EXPECT_EQ(folderEntries(cache), std::vector<std::string>{"occupied"});
}

}  // namespace
}  // namespace lorvex::platform

namespace lorvex::platform {
namespace {

// Every real generator image of the shared fixtures makes a thumbnail; the broken files fail as
// decode or read failures, never as crashes.
TEST(WritePNGThumbnailTest, RealGeneratorImages) {
  const std::filesystem::path fixtures = LORVEX_FIXTURES_DIR;
  if (!std::filesystem::exists(fixtures)) GTEST_SKIP() << "fixtures absent";
  testing::TemporaryFolder folder;
  int written = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(fixtures)) {
    if (entry.path().extension() != ".png") continue;
    SCOPED_TRACE(entry.path().string());
    const std::string target = folder / (std::to_string(written) + ".jpg");
    const std::string name = entry.path().filename();
    if (name == "empty_file.png") {
      EXPECT_THROW(writePNGThumbnail(entry.path(), target, 320), ThumbnailCodecError);
      continue;
    }
    writePNGThumbnail(entry.path(), target, 320);
    const PixelSize size = jpegSize(target);
    EXPECT_GT(size.width, 0u);
    EXPECT_LE(std::max(size.width, size.height), 320u);
    ++written;
  }
  EXPECT_GE(written, 10);
}

}  // namespace
}  // namespace lorvex::platform
