#include "services/thumbnails/image_thumbnail_generator.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/file_attributes.h"
#include "platform/regular_file.h"
#include "platform/sha256.h"
#include "platform/test_png_encoder.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::TemporaryFolder;

std::string readText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

std::pair<int, int> jpegSize(const std::string& path) {
  const std::string bytes = readText(path);
  tjhandle handle = tjInitDecompress();
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  const int result = tjDecompressHeader3(handle, reinterpret_cast<const unsigned char*>(bytes.data()),
                                         bytes.size(), &width, &height, &subsampling, &colorspace);
  tjDestroy(handle);
  return result == 0 ? std::pair{width, height} : std::pair{0, 0};
}

std::string writePNG(const TemporaryFolder& folder, const std::string& name, std::uint32_t width,
                     std::uint32_t height) {
  testing::TestPNG spec;
  spec.width = width;
  spec.height = height;
  spec.colorType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  spec.pixel = [](std::uint32_t x, std::uint32_t y) {
    return testing::Rgba{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 0, 255};
  };
  const auto png = testing::encodeTestPNG(spec);
  return folder.writeFile(name, std::string(png.begin(), png.end()));
}

void setModificationTime(const std::string& path, time_t seconds) {
  const timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(ImageThumbnailGeneratorTest, NamesThumbnailsByPathSizeAndTime) {
  const ImageThumbnailGenerator generator("/library/Thumbnails");
  const ImageFileInfo info{"/photos/a.png", 1234, 1'700'000'000.0};
  const std::string hash = platform::sha256Hex(
      "/photos/a.png\x1f"
      "1234\x1f"
      "1700000000.0");
  EXPECT_EQ(generator.thumbnailPath("/photos/a.png", info),
            "/library/Thumbnails/" + hash.substr(0, 2) + "/" + hash + ".jpg");

  // Fractional times use the shortest text that reads back to the same double.
  const std::string fractional = platform::sha256Hex(
      "/photos/a.png\x1f"
      "1234\x1f"
      "1700000000.123");
  EXPECT_EQ(generator.thumbnailPath("/photos/a.png", {"/photos/a.png", 1234, 1'700'000'000.123}),
            "/library/Thumbnails/" + fractional.substr(0, 2) + "/" + fractional + ".jpg");

  // Non-ASCII paths are hashed by their UTF-8 bytes.
  const std::string accented = platform::sha256Hex(
      "/photos/\xc3\xa9t\xc3\xa9.png\x1f"
      "1\x1f"
      "0.0");
  EXPECT_EQ(generator.thumbnailPath("/photos/\xc3\xa9t\xc3\xa9.png", {"", 1, 0.0}),
            "/library/Thumbnails/" + accented.substr(0, 2) + "/" + accented + ".jpg");

  // Any change of time or size gives another name; the same input always the same name.
  EXPECT_EQ(generator.thumbnailPath("/photos/a.png", info), generator.thumbnailPath("/photos/a.png", info));
  EXPECT_NE(generator.thumbnailPath("/photos/a.png", info),
            generator.thumbnailPath("/photos/a.png", {"/photos/a.png", 1234, 1'700'000'000.001}));
  EXPECT_NE(generator.thumbnailPath("/photos/a.png", info),
            generator.thumbnailPath("/photos/a.png", {"/photos/a.png", 1235, 1'700'000'000.0}));
}

TEST(ImageThumbnailGeneratorTest, WritesAThumbnailOfAtMostTheMaximumSize) {
  TemporaryFolder folder;
  const std::string landscape = writePNG(folder, "photos/landscape.png", 1000, 750);
  const std::string small = writePNG(folder, "photos/small.png", 200, 120);
  const ImageThumbnailGenerator generator(folder / "Thumbnails", 320);

  const auto path = generator.generateThumbnail(landscape, {landscape, 10, 1.5});
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, generator.thumbnailPath(landscape, {landscape, 10, 1.5}));
  EXPECT_EQ(jpegSize(*path), (std::pair{320, 240}));
  // Only the thumbnail is in its shard: the temporary file was renamed into place.
  const auto shard = std::filesystem::path(*path).parent_path();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(shard), std::filesystem::directory_iterator()),
            1);

  const auto smallPath = generator.generateThumbnail(small, {small, 10, 1.5});
  EXPECT_EQ(jpegSize(*smallPath), (std::pair{200, 120}));  // never enlarged
}

TEST(ImageThumbnailGeneratorTest, ReusesANonEmptyThumbnailAndRewritesAnEmptyOne) {
  TemporaryFolder folder;
  const std::string source = writePNG(folder, "photos/a.png", 64, 64);
  const ImageThumbnailGenerator generator(folder / "Thumbnails");
  const ImageFileInfo info{source, 99, 5.0};
  const std::string target = generator.thumbnailPath(source, info);

  folder.writeFile(std::filesystem::relative(target, folder.path()).string(), "kept");
  setModificationTime(target, 1'000'000);
  const double before = platform::systemClock().now();
  EXPECT_EQ(generator.generateThumbnail(source, info), target);
  EXPECT_EQ(readText(target), "kept");  // not decoded again
  EXPECT_GE(platform::readFileAttributes(target)->modificationTime, before - 1.0);

  // A zero-byte file, as an interrupted writer of another program could leave, is rewritten.
  folder.writeFile(std::filesystem::relative(target, folder.path()).string(), "");
  EXPECT_EQ(generator.generateThumbnail(source, info), target);
  EXPECT_EQ(jpegSize(target), (std::pair{64, 64}));
}

TEST(ImageThumbnailGeneratorTest, SourceAndDestinationFailuresNameTheirPath) {
  TemporaryFolder folder;
  const std::string text = folder.writeFile("photos/notes.png", "not an image");
  const std::string source = writePNG(folder, "photos/a.png", 8, 8);
  const ImageThumbnailGenerator generator(folder / "Thumbnails");
  using Kind = ImageThumbnailGeneratorError::Kind;

  const auto failure = [&](const std::string& path, const ImageThumbnailGenerator& which) -> std::string {
    try {
      which.generateThumbnail(path, {path, 1, 2.0});
    } catch (const ImageThumbnailGeneratorError& error) {
      return error.what();
    }
    return "no failure";
  };
  EXPECT_EQ(failure(text, generator), "Unable to create thumbnail: " + text);
  EXPECT_EQ(failure(folder / "photos/absent.png", generator),
            "Unable to open image source: " + folder / "photos/absent.png");
  EXPECT_EQ(failure(folder / "photos", generator), "Unable to open image source: " + folder / "photos");

  // The shard folder exists but cannot take a file: a file blocks the temporary name's folder.
  const std::string target = generator.thumbnailPath(source, {source, 1, 2.0});
  const std::string shard = std::filesystem::path(target).parent_path();
  std::filesystem::create_directories(shard);
  folder.makeFolder(std::filesystem::relative(target, folder.path()).string() + "/occupied");
  EXPECT_EQ(failure(source, generator), "Unable to write thumbnail: " + target);

  // The cache folder's place is taken by a file: the folder cannot be created.
  const std::string blocked = folder.writeFile("Blocked", "x");
  EXPECT_THROW(ImageThumbnailGenerator(blocked).generateThumbnail(source, {source, 1, 2.0}),
               platform::FileError);

  EXPECT_EQ(ImageThumbnailGeneratorError(Kind::cannotCreateDestination, "/t/x.jpg").localizedDescription(),
            "Unable to create thumbnail destination: /t/x.jpg");
}

TEST(ImageThumbnailGeneratorTest, ConcurrentRequestsForOneThumbnailAllSucceed) {
  TemporaryFolder folder;
  const std::string source = writePNG(folder, "photos/a.png", 700, 500);
  const ImageThumbnailGenerator generator(folder / "Thumbnails");
  const ImageFileInfo info{source, 1, 2.0};
  std::vector<std::optional<std::string>> results(6);
  {
    std::vector<std::jthread> threads;
    for (auto& result : results) {
      threads.emplace_back([&] { result = generator.generateThumbnail(source, info); });
    }
  }
  for (const auto& result : results) EXPECT_EQ(result, generator.thumbnailPath(source, info));
  EXPECT_EQ(jpegSize(generator.thumbnailPath(source, info)), (std::pair{320, 229}));
}

}  // namespace
}  // namespace lorvex
