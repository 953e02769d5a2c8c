#include "ui/common/image_tile_presentation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/results/echo_localization.h"

namespace lorvex::ui {
namespace {

ImageRecord imageRecord(std::string path, std::int64_t size, double modified,
                        std::optional<std::string> thumbnail = std::nullopt) {
  ImageRecord record;
  record.file.path = std::move(path);
  record.file.fileSize = size;
  record.file.modificationDate = modified;
  record.thumbnailPath = std::move(thumbnail);
  return record;
}

TEST(ImageTilePresentation, CacheKeyNamesTheThumbnailOrTheFileVersion) {
  const struct {
    std::string name;
    ImageRecord record;
    std::string key;
  } cases[] = {
      {"thumbnail", imageRecord("/a/b.png", 10, 5, "/cache/ab.jpg"), "/cache/ab.jpg"},
      {"whole date keeps .0", imageRecord("/a/b.png", 1234, 1700000000),
       "/a/b.png\x1F"
       "1234\x1F"
       "1700000000.0"},
      {"fraction", imageRecord("/a/b.png", 0, 1700000000.25),
       "/a/b.png\x1F"
       "0\x1F"
       "1700000000.25"},
      {"shortest digits", imageRecord("/a/b.png", 7, 0.1),
       "/a/b.png\x1F"
       "7\x1F"
       "0.1"},
      {"large size", imageRecord("/x.png", 9'000'000'000, -1.5),
       "/x.png\x1F"
       "9000000000\x1F"
       "-1.5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(tileImageCacheKey(c.record), c.key);
  }
  // A file changed in place (same path) gets a new key whether its size or its time changed.
  const std::string before = tileImageCacheKey(imageRecord("/a/b.png", 10, 100));
  EXPECT_NE(tileImageCacheKey(imageRecord("/a/b.png", 11, 100)), before);
  EXPECT_NE(tileImageCacheKey(imageRecord("/a/b.png", 10, 100.000001)), before);
}

TEST(ImageTilePresentation, BadgesShowTheMarksStarFirst) {
  using Tint = ReviewBadge::Tint;
  const struct {
    bool favorite;
    bool deleteCandidate;
    std::vector<ReviewBadge> badges;
  } cases[] = {
      {false, false, {}},
      {true, false, {{"star.fill", Tint::yellow}}},
      {false, true, {{"trash.fill", Tint::orange}}},
      {true, true, {{"star.fill", Tint::yellow}, {"trash.fill", Tint::orange}}},
  };
  for (const auto& c : cases) {
    ReviewState state;
    state.favorite = c.favorite;
    state.deleteCandidate = c.deleteCandidate;
    EXPECT_EQ(reviewBadges(state), c.badges) << c.favorite << c.deleteCandidate;
  }
}

TEST(ImageTilePresentation, AccessibleValueNestsSelectionFavoriteAndDeleteCandidate) {
  const AppLocalization localizer = testing::echoLocalization();
  const struct {
    bool selected;
    bool favorite;
    bool deleteCandidate;
    std::string value;
  } cases[] = {
      {false, true, false,
       "common.accessibilityPair(common.accessibilityPair(result.tile.accessibility.unselected,"
       "result.tile.accessibility.favorite),result.tile.accessibility.notDeleteCandidate)"},
      {true, false, true,
       "common.accessibilityPair(common.accessibilityPair(result.tile.accessibility.selected,"
       "result.tile.accessibility.notFavorite),result.tile.accessibility.deleteCandidate)"},
  };
  for (const auto& c : cases) {
    ReviewState state;
    state.favorite = c.favorite;
    state.deleteCandidate = c.deleteCandidate;
    EXPECT_EQ(imageTileAccessibleValue(state, c.selected, localizer), c.value);
  }
}

TEST(ImageTilePresentation, ThumbnailDecodesInFullAndTheImageFileIsDownsampled) {
  const ImageRecord withThumbnail = imageRecord("/photos/day one/cat & dog.png", 10, 5, "/cache/t.jpg");
  EXPECT_EQ(imageTileImageSource(withThumbnail),
            (ImageTileImageSource{"/cache/t.jpg", std::nullopt, "/cache/t.jpg"}));
  const ImageRecord bare = imageRecord("/photos/b.png", 10, 5);
  EXPECT_EQ(imageTileImageSource(bare),
            (ImageTileImageSource{"/photos/b.png", 320, tileImageCacheKey(bare)}));
}

}  // namespace
}  // namespace lorvex::ui
