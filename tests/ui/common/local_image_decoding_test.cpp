#include "ui/common/local_image_decoding.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImageReader>
#include <QTemporaryDir>
#include <fstream>

namespace lorvex::ui {
namespace {

// A width x height PNG, blue with a red top-left quarter, so a rotated or flipped decode shows.
std::string writePng(const QTemporaryDir& folder, const char* name, int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::blue);
  for (int y = 0; y < height / 2; ++y) {
    for (int x = 0; x < width / 2; ++x) image.setPixelColor(x, y, Qt::red);
  }
  const QString path = folder.filePath(QString::fromUtf8(name));
  EXPECT_TRUE(image.save(path, "PNG"));
  return path.toStdString();
}

TEST(LocalImageDecodingTest, DownsampledSizesKeepTheAspectAndNeverGrow) {
  const struct {
    QSize source;
    int maxPixelSize;
    QSize expected;
  } cases[] = {
      {{1000, 500}, 320, {320, 160}}, {{500, 1000}, 320, {160, 320}}, {{320, 320}, 320, {320, 320}},
      {{100, 50}, 320, {100, 50}},    {{10000, 1}, 320, {320, 1}},    {{1000, 500}, 0, {1000, 500}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(downsampledSize(c.source, c.maxPixelSize), c.expected) << c.source.width();
}

TEST(LocalImageDecodingTest, DecodesInFullOrDownsampledWithoutEverEnlarging) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string wide = writePng(folder, "wide.png", 900, 300);
  const std::string small = writePng(folder, "small.png", 40, 30);
  const struct {
    std::string path;
    std::optional<int> maxPixelSize;
    QSize expected;
  } cases[] = {
      {wide, std::nullopt, {900, 300}}, {wide, 0, {900, 300}},  {wide, -1, {900, 300}},
      {wide, 320, {320, 107}},          {small, 320, {40, 30}}, {small, std::nullopt, {40, 30}},
  };
  for (const auto& c : cases) {
    const auto result = decodeLocalImage(c.path, c.maxPixelSize);
    EXPECT_FALSE(result.error) << *result.error;
    EXPECT_EQ(result.image.size(), c.expected) << c.path << " " << c.maxPixelSize.value_or(-99);
  }
}

TEST(LocalImageDecodingTest, AnImageWithoutOrientationKeepsItsStoredOrientation) {
  QTemporaryDir folder;
  const std::string path = writePng(folder, "tall.png", 30, 80);
  for (const std::optional<int> size : {std::optional<int>(), std::optional<int>(40)}) {
    const QImage image = decodeLocalImage(path, size).image;
    ASSERT_FALSE(image.isNull());
    EXPECT_LT(image.width(), image.height());
    EXPECT_GT(qRed(image.pixel(0, 0)), 128);
    EXPECT_LT(qRed(image.pixel(image.width() - 1, image.height() - 1)), 128);
  }
}

TEST(LocalImageDecodingTest, OnlyRegularFilesAreReadAndOnlyFullDecodesReportErrors) {
  QTemporaryDir folder;
  const std::string fifo = folder.filePath("pipe.png").toStdString();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // a blocking open would wait for a writer for ever
  const std::string directory = folder.filePath("folder.png").toStdString();
  ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
  const std::string text = folder.filePath("notes.png").toStdString();
  std::ofstream(text) << "not an image";
  const std::string missing = folder.filePath("missing.png").toStdString();
  const struct {
    std::string path;
    bool fullDecodeFails;
  } cases[] = {{fifo, true}, {directory, true}, {missing, true}, {text, false}};
  for (const auto& c : cases) {
    const auto full = decodeLocalImage(c.path, std::nullopt);
    EXPECT_TRUE(full.image.isNull()) << c.path;
    EXPECT_EQ(full.error.has_value(), c.fullDecodeFails) << c.path;
    const auto thumbnail = decodeLocalImage(c.path, 320);
    EXPECT_TRUE(thumbnail.image.isNull()) << c.path;
    EXPECT_FALSE(thumbnail.error) << c.path;
  }
}

TEST(LocalImageDecodingTest, LargeImagesDecodeInFull) {
  // 6000 x 6000 ARGB is 144 MB decoded: refused under Qt's default limit (128 MiB), within ours.
  QTemporaryDir folder;
  QImage image(6000, 6000, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  const QString path = folder.filePath("large.png");
  ASSERT_TRUE(image.save(path, "PNG", 0));
  const auto result = decodeLocalImage(path.toStdString(), std::nullopt);
  EXPECT_EQ(result.image.size(), QSize(6000, 6000));
  EXPECT_EQ(QImageReader::allocationLimit(), kImageReaderAllocationLimitMiB);
}

}  // namespace
}  // namespace lorvex::ui
