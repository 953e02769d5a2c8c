#include "ui/common/local_image_memory_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lorvex::ui {
namespace {

QImage imageOf(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::red);
  return image;
}

std::vector<std::string> keysHeld(const LocalImageMemoryCache& cache,
                                  const std::vector<std::string>& candidates) {
  std::vector<std::string> held;
  for (const auto& key : candidates) {
    if (cache.contains(key)) held.push_back(key);
  }
  return held;
}

TEST(LocalImageMemoryCacheTest, CostIsFourBytesPerPixelAndAtLeastFour) {
  const struct {
    QImage image;
    std::int64_t cost;
  } cases[] = {{QImage(), 4}, {imageOf(1, 1), 4}, {imageOf(10, 3), 120}, {imageOf(8200, 8200), 268'960'000}};
  for (const auto& c : cases) EXPECT_EQ(memoryCost(c.image), c.cost) << c.image.width();
}

TEST(LocalImageMemoryCacheTest, TheLeastRecentlyUsedGoFirstWhenTheCountIsExceeded) {
  LocalImageMemoryCache cache(3, 1'000'000);
  for (const char* key : {"a", "b", "c"}) cache.insert(key, imageOf(2, 2));
  ASSERT_TRUE(cache.image("a"));  // "b" is now the least recently used
  cache.insert("d", imageOf(2, 2));
  EXPECT_EQ(keysHeld(cache, {"a", "b", "c", "d"}), (std::vector<std::string>{"a", "c", "d"}));
  cache.insert("c", imageOf(2, 2));  // replacing counts as a use
  cache.insert("e", imageOf(2, 2));
  EXPECT_EQ(keysHeld(cache, {"a", "c", "d", "e"}), (std::vector<std::string>{"c", "d", "e"}));
  EXPECT_EQ(cache.count(), 3u);
  EXPECT_EQ(cache.totalCostForTest(), 3 * 16);
}

TEST(LocalImageMemoryCacheTest, TheLeastRecentlyUsedGoFirstWhenTheCostIsExceeded) {
  LocalImageMemoryCache cache(100, 1000);   // 250 pixels
  cache.insert("small1", imageOf(10, 10));  // 400
  cache.insert("small2", imageOf(10, 10));  // 400
  ASSERT_TRUE(cache.image("small1"));
  cache.insert("wide", imageOf(10, 5));  // 200 → 1000: fits exactly
  EXPECT_EQ(cache.count(), 3u);
  cache.insert("one", imageOf(1, 1));  // 1004: small2 goes
  EXPECT_EQ(keysHeld(cache, {"small1", "small2", "wide", "one"}),
            (std::vector<std::string>{"small1", "wide", "one"}));
  EXPECT_EQ(cache.totalCostForTest(), 604);

  cache.insert("wide", imageOf(15, 15));  // a replacement is costed anew: 900 + 404
  EXPECT_EQ(keysHeld(cache, {"small1", "wide", "one"}), (std::vector<std::string>{"wide", "one"}));
  EXPECT_EQ(cache.totalCostForTest(), 904);

  cache.insert("huge", imageOf(20, 20));  // 1600 alone exceeds the limit: not stored, nothing lost
  cache.insert("one", QImage());          // no image: nothing changes
  EXPECT_EQ(keysHeld(cache, {"huge", "wide", "one"}), (std::vector<std::string>{"wide", "one"}));
  EXPECT_EQ(cache.totalCostForTest(), 904);
  EXPECT_FALSE(cache.image("huge"));
}

}  // namespace
}  // namespace lorvex::ui
