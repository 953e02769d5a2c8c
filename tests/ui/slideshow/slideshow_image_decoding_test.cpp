#include "ui/slideshow/slideshow_image_decoding.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <string>

#include "support/png_image.h"
#include "ui/common/local_image_loader.h"
#include "ui/support/ui_test_application.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

TEST(SlideshowImagePlacement, DecodesAtTheFramesPixelSizeAndPlacesTheResultCentred) {
  const struct {
    std::string name;
    QRectF frame;
    std::optional<QSize> pixels;
    qreal ratio;
    SlideshowImagePlacement expected;
  } cases[] = {
      // 1216 x 832 fitted into 1280 x 800: 1169.2 x 800 at x 55.4.
      {"one image on a screen",
       {55.3846, 0, 1169.2308, 800},
       QSize(1216, 832),
       1.0,
       {{56, 0, 1169, 800}, 1169}},
      // At twice the pixels the frame is larger than the image.
      {"twice the pixels", {55.3846, 0, 1169.2308, 800}, QSize(1216, 832), 2.0, {{55, 0, 1169, 800}, 2338}},
      {"twice the pixels, smaller cell", {0, 0, 400, 273.68}, QSize(1216, 832), 2.0, {{0, 0, 400, 274}, 800}},
      {"a small cell", {10.2, 20.7, 426.7, 291.9}, QSize(1216, 832), 1.0, {{10, 21, 427, 292}, 427}},
      // Larger than the image: decoded enlarged to the size it is fitted to in the whole frame.
      {"frame larger than the image", {0, 0, 800, 600}, QSize(400, 300), 1.0, {{0, 0, 800, 600}, 800}},
      {"frame larger than the image, of another shape",
       {0, 0, 600, 800},
       QSize(400, 200),
       1.0,
       {{0, 0, 600, 800}, 600}},
      {"frame larger than the image, twice the pixels",
       {0, 0, 300, 300},
       QSize(200, 100),
       2.0,
       {{0, 0, 300, 300}, 600}},
      {"size unknown", {0.4, 0.6, 300.2, 299.6}, std::nullopt, 1.0, {{0, 1, 300, 300}, 300}},
      {"empty frame", {5, 5, 0, 0}, QSize(100, 100), 1.0, {{5, 5, 0, 0}, std::nullopt}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(slideshowImagePlacement(c.frame, c.pixels, c.ratio), c.expected);
  }
}

class SlideshowImageDecodingTest : public testing::WidgetTest {};

TEST_F(SlideshowImageDecodingTest, DecodesWholeThenScalesToTheFramePremultiplied) {
  QTemporaryDir folder;
  lorvex::testing::PNGImageSpec spec;
  spec.width = 300;
  spec.height = 200;
  const std::string bytes = lorvex::testing::encodePNGImage(spec);
  const std::string path = folder.filePath("a.png").toStdString();
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
  file.close();
  const struct {
    std::string name;
    std::string path;
    std::optional<int> maxPixelSize;
    QSize size;
    bool error;
  } cases[] = {
      {"downsampled", path, 150, {150, 100}, false},
      {"enlarged", path, 1000, {1000, 667}, false},
      {"at its size", path, 300, {300, 200}, false},
      {"whole", path, std::nullopt, {300, 200}, false},
      // A file that is not there fails with its error, downsampled or not.
      {"missing", folder.filePath("none.png").toStdString(), 150, {0, 0}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto result = decodeSlideshowImage(c.path, c.maxPixelSize);
    EXPECT_EQ(result.image.size(), c.size);
    EXPECT_EQ(result.error.has_value(), c.error);
    if (!result.image.isNull()) {
      EXPECT_EQ(result.image.format(), QImage::Format_ARGB32_Premultiplied);
    }
  }
  // The loader decodes it off the GUI thread.
  auto& loader = slideshowImageLoader();
  QImage loaded;
  loader.load(path, "slideshow-decoding-test", 150,
              [&loaded](const LocalImageDecodeResult& r) { loaded = r.image; });
  EXPECT_TRUE(testing::drainUiEvents(loader));
  EXPECT_EQ(loaded.size(), QSize(150, 100));
}

}  // namespace
}  // namespace lorvex::ui
