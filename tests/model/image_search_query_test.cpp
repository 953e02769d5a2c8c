#include "model/image_search_query.h"

#include <gtest/gtest.h>

#include "model/image_tag_source_mask.h"

namespace lorvex {
namespace {

TEST(ImageSearchQueryTest, AspectClassComesFromMetadataDimensions) {
  struct Case {
    std::optional<std::int64_t> width, height;
    ImageAspectClass expected;
  };
  const Case cases[] = {
      {832, 1216, ImageAspectClass::portrait},
      {1216, 832, ImageAspectClass::landscape},
      {1024, 1024, ImageAspectClass::square},
      {0, 0, ImageAspectClass::square},
      {1024, std::nullopt, ImageAspectClass::unknown},
      {std::nullopt, 1024, ImageAspectClass::unknown},
      {std::nullopt, std::nullopt, ImageAspectClass::unknown},
      {-1, 1, ImageAspectClass::portrait},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(aspectClassForDimensions(c.width, c.height), c.expected)
        << c.width.value_or(-999) << "x" << c.height.value_or(-999);
  }
}

TEST(ImageSearchQueryTest, AspectFiltersCompileToUniqueAscendingClasses) {
  using F = ImageAspectFilter;
  using C = ImageAspectClass;
  struct Case {
    std::vector<F> filters;
    std::vector<C> expected;
  };
  const Case cases[] = {
      {{F::square, F::portrait, F::square}, {C::portrait, C::square}},
      {{}, {}},
      {{F::landscape, F::landscape}, {C::landscape}},
      {{F::square, F::landscape, F::portrait}, {C::portrait, C::landscape, C::square}},
  };
  for (const Case& c : cases) EXPECT_EQ(aspectClassesForFilters(c.filters), c.expected);
}

TEST(ImageSearchQueryTest, SortsCorrespondCaseForCase) {
  const auto caller = allCases<ImageSearchSort>();
  const std::array compiled = {ImageSearchSortV3::modificationDateDescending,
                               ImageSearchSortV3::modificationDateAscending,
                               ImageSearchSortV3::fileNameAscending, ImageSearchSortV3::fileNameDescending};
  for (std::size_t i = 0; i < caller.size(); ++i) EXPECT_EQ(compiledSort(caller[i]), compiled[i]) << i;
}

TEST(ImageSearchQueryTest, CursorsAreEqualOnlyForTheSameCaseAndPayload) {
  using Cursor = ImageSearchCursorV3;
  EXPECT_EQ(Cursor::modificationDate(10.5, 7), Cursor::modificationDate(10.5, 7));
  EXPECT_NE(Cursor::modificationDate(10.5, 7), Cursor::modificationDate(10.5, 8));
  EXPECT_NE(Cursor::modificationDate(0, 7), Cursor::fileName("", 7));
  EXPECT_NE(Cursor::fileName("a.png", 1), Cursor::fileName("A.png", 1));

  ImageSearchQueryV3 a;
  a.cursor = Cursor::fileName("a.png", 1);
  ImageSearchQueryV3 b = a;
  b.cursor = Cursor::fileName("a.png", 2);
  EXPECT_NE(a, b);
  b.cursor.reset();
  EXPECT_NE(a, b);
}

TEST(ImageSearchQueryTest, TagSourceMaskIsABitSet) {
  using M = ImageTagSourceMask;
  const M both{M::prompt, M::character};
  EXPECT_EQ(both.rawValue(), 3);
  EXPECT_EQ(M::prompt.rawValue(), 1);
  EXPECT_EQ(M::character.rawValue(), 2);
  EXPECT_TRUE(M{}.isEmpty());
  EXPECT_TRUE(both.contains(M::prompt));
  EXPECT_TRUE(both.contains(both));
  EXPECT_FALSE(M::prompt.contains(M::character));
  EXPECT_TRUE(M::prompt.contains(M{}));
  EXPECT_EQ(both - M::prompt, M::character);
  EXPECT_EQ(both & M::character, M::character);
  EXPECT_EQ(both ^ M::prompt, M::character);
  EXPECT_EQ(M::prompt | M::character, both);
  EXPECT_TRUE(M::prompt.isDisjoint(M::character));
  EXPECT_EQ(M(std::int64_t{7}).rawValue(), 7) << "unknown stored bits are kept";

  M mask;
  mask.insert(M::character);
  mask.insert(M::character);
  EXPECT_EQ(mask, M::character);
  mask.remove(M::prompt);
  EXPECT_EQ(mask, M::character);
  mask.remove(M::character);
  EXPECT_TRUE(mask.isEmpty());
}

}  // namespace
}  // namespace lorvex
