#include "ui/common/image_tile_presentation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/common/accessibility_identifiers.h"
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
    EXPECT_EQ(makeImageTileDisplayModel(c.record).imageCacheKey, c.key);
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
  const AppLocalization localizer = testing::echoLocalization();
  ImageRecord withThumbnail = imageRecord("/photos/day one/cat & dog.png", 10, 5, "/cache/t.jpg");
  withThumbnail.reviewState.favorite = true;
  const ImageTilePresentation thumbnail =
      makeImageTilePresentation(makeImageTileDisplayModel(withThumbnail), true, localizer);
  EXPECT_EQ(thumbnail.imagePath, "/cache/t.jpg");
  EXPECT_EQ(thumbnail.imageMaxPixelSize, std::nullopt);
  EXPECT_EQ(thumbnail.imageCacheKey, "/cache/t.jpg");
  EXPECT_EQ(thumbnail.fileName, "cat & dog.png");
  EXPECT_EQ(thumbnail.accessibleName, "cat & dog.png");
  EXPECT_TRUE(thumbnail.isSelected);
  EXPECT_EQ(thumbnail.badges.size(), 1u);
  EXPECT_EQ(thumbnail.identifier, resultTileAccessibilityIdentifier("/photos/day one/cat & dog.png"));
  EXPECT_NE(thumbnail.accessibleValue.find("result.tile.accessibility.selected"), std::string::npos);

  const ImageRecord bare = imageRecord("/photos/b.png", 10, 5);
  const ImageTilePresentation image =
      makeImageTilePresentation(makeImageTileDisplayModel(bare), false, localizer);
  EXPECT_EQ(image.imagePath, "/photos/b.png");
  EXPECT_EQ(image.imageMaxPixelSize, std::optional<int>(320));
  EXPECT_EQ(image.imageCacheKey, tileImageCacheKey(bare));
  EXPECT_TRUE(image.badges.empty());
  EXPECT_FALSE(image.isSelected);

  // The grid's light form for tiles on screen names the same decode.
  for (const ImageRecord& record : {withThumbnail, bare}) {
    const ImageTilePresentation full =
        makeImageTilePresentation(makeImageTileDisplayModel(record), false, localizer);
    EXPECT_EQ(imageTileImageSource(record),
              (ImageTileImageSource{full.imagePath, full.imageMaxPixelSize, full.imageCacheKey}));
  }
}

TEST(ImageTilePresentation, DisplayModelsCompareEveryFieldNotesIncluded) {
  const ImageTileDisplayModel base = makeImageTileDisplayModel(imageRecord("/a.png", 1, 2));
  ImageTileDisplayModel noted = base;
  noted.reviewState.notes = "";
  EXPECT_NE(noted, base);
  ImageTileDisplayModel thumbnailed = base;
  thumbnailed.thumbnailPath = "/t.jpg";
  EXPECT_NE(thumbnailed, base);
  EXPECT_EQ(makeImageTileDisplayModel(imageRecord("/a.png", 1, 2)), base);
}

}  // namespace
}  // namespace lorvex::ui
