#include "ui/common/local_image_load_request.h"

#include <gtest/gtest.h>

namespace lorvex::ui {
namespace {

using Text = std::optional<std::string>;

TEST(LocalImageLoadRequestTest, KeysAndPreviewAreNormalised) {
  const std::string us = "\x1F";
  const struct {
    Text path, previewPath, imageKey, previewKey;
    std::optional<int> size;
    LocalImageLoadRequest expected;
  } cases[] = {
      {"/a.png",
       std::nullopt,
       "K",
       std::nullopt,
       320,
       {"/a.png", std::nullopt, "K" + us + "maxPixelSize=320", std::nullopt, 320}},
      {"/a.png",
       std::nullopt,
       "K",
       std::nullopt,
       std::nullopt,
       {"/a.png", std::nullopt, "K", std::nullopt, std::nullopt}},
      {"/a.png",
       std::nullopt,
       std::nullopt,
       std::nullopt,
       320,
       {"/a.png", std::nullopt, "/a.png" + us + "maxPixelSize=320", std::nullopt, 320}},
      {"/a.png",
       std::nullopt,
       std::nullopt,
       std::nullopt,
       0,
       {"/a.png", std::nullopt, "/a.png", std::nullopt, std::nullopt}},
      {"/a.png",
       std::nullopt,
       std::nullopt,
       std::nullopt,
       -5,
       {"/a.png", std::nullopt, "/a.png", std::nullopt, std::nullopt}},
      // a preview equal to the path is no preview, and has no key
      {"/a.png",
       "/a.png",
       std::nullopt,
       "P",
       std::nullopt,
       {"/a.png", std::nullopt, "/a.png", std::nullopt, std::nullopt}},
      {"/a.png",
       "/t.jpg",
       std::nullopt,
       std::nullopt,
       1600,
       {"/a.png", "/t.jpg", "/a.png" + us + "maxPixelSize=1600", "/t.jpg", 1600}},
      {"/a.png", "/t.jpg", "K", "P", std::nullopt, {"/a.png", "/t.jpg", "K", "P", std::nullopt}},
      {std::nullopt, "/t.jpg", "K", "P", 320, {std::nullopt, "/t.jpg", std::nullopt, "P", 320}},
      {std::nullopt, std::nullopt, "K", std::nullopt, std::nullopt, {}},
  };
  for (const auto& c : cases) {
    const auto request = makeLocalImageLoadRequest(c.path, c.previewPath, c.imageKey, c.previewKey, c.size);
    EXPECT_EQ(request.path, c.expected.path);
    EXPECT_EQ(request.previewPath, c.expected.previewPath) << c.path.value_or("-");
    EXPECT_EQ(request.imageCacheKey, c.expected.imageCacheKey) << c.path.value_or("-");
    EXPECT_EQ(request.previewCacheKey, c.expected.previewCacheKey) << c.path.value_or("-");
    EXPECT_EQ(request.imageMaxPixelSize, c.expected.imageMaxPixelSize) << c.path.value_or("-");
  }
}

TEST(LocalImageLoadRequestTest, FileKeysNameOneVersionOfTheFile) {
  const struct {
    std::int64_t size;
    double modified;
    std::string expected;
  } cases[] = {
      {1234, 1700000000.0,
       "/p/a.png\x1F"
       "1234\x1F"
       "1700000000.0"},
      {0, 1700000000.25,
       "/p/a.png\x1F"
       "0\x1F"
       "1700000000.25"},
      {-1, 0.1,
       "/p/a.png\x1F-1\x1F"
       "0.1"},
  };
  for (const auto& c : cases) EXPECT_EQ(localImageFileCacheKey("/p/a.png", c.size, c.modified), c.expected);
  EXPECT_NE(localImageFileCacheKey("/p/a.png", 10, 1.0),
            localImageFileCacheKey("/p/a.png", 10, 1.0000000000000002));
}

}  // namespace
}  // namespace lorvex::ui
