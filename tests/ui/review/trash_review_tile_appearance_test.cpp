#include "ui/review/trash_review_tile_appearance.h"

#include <gtest/gtest.h>

#include <string>

namespace lorvex::ui {
namespace {

using Color = TrashReviewTileColor;

TEST(TrashReviewTileAppearance, FillBorderAndRingsBySelectionFocusAndHover) {
  const struct {
    bool selected, focused, hovering;
    TrashReviewTileAppearance appearance;
  } cases[] = {
      {false, false, false, {{Color::controlBackground, 1}, {Color::separator, 1}, 1, false, false}},
      {false,
       false,
       true,
       {{Color::selectedContentBackground, 0.08}, {Color::accent, 0.55}, 1.5, false, false}},
      {false,
       true,
       false,
       {{Color::selectedContentBackground, 0.08}, {Color::keyboardFocusIndicator, 1}, 2, false, true}},
      // focused wins over hovered; hovering adds nothing
      {false,
       true,
       true,
       {{Color::selectedContentBackground, 0.08}, {Color::keyboardFocusIndicator, 1}, 2, false, true}},
      {true, false, false, {{Color::accent, 0.10}, {Color::accent, 1}, 2, false, false}},
      {true, false, true, {{Color::accent, 0.10}, {Color::accent, 1}, 2, true, false}},
      {true, true, false, {{Color::accent, 0.10}, {Color::accent, 1}, 2, false, true}},
      {true, true, true, {{Color::accent, 0.10}, {Color::accent, 1}, 2, true, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.selected << c.focused << c.hovering);
    EXPECT_EQ(trashReviewTileAppearance(c.selected, c.focused, c.hovering), c.appearance);
  }
}

TEST(TrashReviewTileAppearance, ImageRequestUsesTheThumbnailOrTheFileVersionAt512) {
  ImageRecord record;
  record.file = {"/a/b.png", 1234, 1700000000.5};
  EXPECT_EQ(trashReviewTileImageRequest(record), (TrashReviewTileImageRequest{"/a/b.png",
                                                                              "/a/b.png\x1F"
                                                                              "1234\x1F"
                                                                              "1700000000.5",
                                                                              512}));
  ImageRecord rewritten = record;
  rewritten.file.fileSize = 1300;
  EXPECT_NE(trashReviewTileImageRequest(rewritten).cacheKey, trashReviewTileImageRequest(record).cacheKey);
  record.thumbnailPath = "/cache/t.jpg";
  EXPECT_EQ(trashReviewTileImageRequest(record),
            (TrashReviewTileImageRequest{"/cache/t.jpg", "/cache/t.jpg", {}}));
}

TEST(TrashReviewTileAppearance, GridColumnsOfAtLeast168) {
  const struct {
    int width;
    TrashReviewGridLayout layout;
  } cases[] = {
      {0, {1, 168}},                      // never fewer than one column, never narrower than the minimum
      {207, {1, 168}},                    // 167 inside the padding
      {208, {1, 168}}, {387, {1, 347}},   // 347: one short of two columns (168 + 12 + 168 = 348)
      {388, {2, 168}}, {1000, {5, 182}},  // 960 inside: 5 columns sharing 912 after spacing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    EXPECT_EQ(trashReviewGridLayout(c.width), c.layout);
  }
}

}  // namespace
}  // namespace lorvex::ui
