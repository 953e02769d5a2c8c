// Every enumeration that is stored or exchanged by raw value: each case survives a round trip, the
// raw values are the stored texts, and nothing else is accepted.
#include "model/raw_value.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/error_notice.h"
#include "model/folder_access_diagnostic.h"
#include "model/image_aspect.h"
#include "model/image_library_scan_summary.h"
#include "model/image_search_query.h"
#include "model/indexing_job.h"
#include "model/library_error.h"
#include "model/registered_folder.h"
#include "model/scan_diagnostic_context.h"
#include "model/thumbnail_job.h"

// Enumerations of the outermost anonymous namespace, which compilers each name their own way, are
// counted alike; a case numbered past a gap is found, which the count alone would miss.
namespace {
enum class Outermost { first, second };
enum class WithGap { first, second, far = 9 };
}  // namespace
static_assert(lorvex::enumCaseCount<Outermost>() == 2);
static_assert(lorvex::enum_cases_detail::countFrom<WithGap, 0>() == 2 &&
              !lorvex::enum_cases_detail::namesCasesOnlyBelow<WithGap, 2>());

namespace lorvex {
namespace {

// What the build refuses: a table that misses a case, lists one twice or out of order. The cases
// are counted from the enumeration (here one nested in a class, over a narrow type).
struct Holder {
  enum class Fruit : std::uint8_t { apple, pear, plum };
};
using Fruit = Holder::Fruit;
static_assert(enumCaseCount<Fruit>() == 3 && allCases<Fruit>().back() == Fruit::plum);
static_assert(holdsEveryCaseInOrder(std::array{Fruit::apple, Fruit::pear, Fruit::plum}));
static_assert(!holdsEveryCaseInOrder(std::array{Fruit::apple, Fruit::pear}));
static_assert(!holdsEveryCaseInOrder(std::array{Fruit::pear, Fruit::apple, Fruit::plum}));
static_assert(!holdsEveryCaseInOrder(std::array{Fruit::apple, Fruit::pear, Fruit::plum, Fruit::plum}));
static_assert(holdsEveryCaseOnce(std::array{Fruit::plum, Fruit::apple, Fruit::pear}));
static_assert(!holdsEveryCaseOnce(std::array{Fruit::plum, Fruit::apple, Fruit::apple}));
static_assert(!holdsEveryCaseOnce(std::array{Fruit::plum, Fruit::apple, static_cast<Fruit>(3)}));

template <typename E>
class TextRawValueTest : public testing::Test {};

using TextEnums = testing::Types<IndexingJobStatus, IndexingQueueItemStatus, ImageLibraryIndexingPhase,
                                 ImageLibraryScanDiagnosticSource, ImageLibraryScanFailure::Kind,
                                 RegisteredFolderAccessState, FolderAccessDiagnosticOperation,
                                 ImageSearchSort, ImageAspectFilter, ErrorNoticeKind, LibraryError::Kind>;
TYPED_TEST_SUITE(TextRawValueTest, TextEnums);

TYPED_TEST(TextRawValueTest, EveryCaseRoundTripsAndVariantsAreRejected) {
  std::set<std::string_view> seen;
  for (TypeParam value : allCases<TypeParam>()) {
    const std::string_view raw = rawValue(value);
    ASSERT_FALSE(raw.empty());
    EXPECT_TRUE(seen.insert(raw).second) << "duplicate raw value " << raw;
    EXPECT_EQ(fromRawValue<TypeParam>(raw), value) << raw;

    std::string capitalised(raw);
    capitalised[0] = static_cast<char>(capitalised[0] - 'a' + 'A');
    EXPECT_EQ(fromRawValue<TypeParam>(capitalised), std::nullopt) << capitalised;
    EXPECT_EQ(fromRawValue<TypeParam>(std::string(raw) + " "), std::nullopt) << raw;
    EXPECT_EQ(fromRawValue<TypeParam>(" " + std::string(raw)), std::nullopt) << raw;
    EXPECT_EQ(fromRawValue<TypeParam>(raw.substr(0, raw.size() - 1)), std::nullopt) << raw;
  }
  EXPECT_EQ(fromRawValue<TypeParam>(""), std::nullopt);
}

// The stored texts themselves: a change here would orphan rows of existing libraries.
TEST(RawValueTest, StoredTextsAreTheCaseNames) {
  EXPECT_EQ(rawValue(IndexingJobStatus::completed), "completed");
  EXPECT_EQ(rawValue(IndexingQueueItemStatus::processing), "processing");
  EXPECT_EQ(rawValue(ImageLibraryIndexingPhase::discovering), "discovering");
  EXPECT_EQ(rawValue(ImageLibraryScanDiagnosticSource::backgroundChangedPaths), "backgroundChangedPaths");
  EXPECT_EQ(rawValue(ImageLibraryScanFailure::Kind::metadata), "metadata");
  EXPECT_EQ(rawValue(RegisteredFolderAccessState::accessDenied), "accessDenied");
  EXPECT_EQ(rawValue(FolderAccessDiagnosticOperation::storedBookmarksDecoding), "storedBookmarksDecoding");
  EXPECT_EQ(rawValue(ImageSearchSort::fileNameDescending), "fileNameDescending");
  EXPECT_EQ(rawValue(ImageAspectFilter::landscape), "landscape");
  EXPECT_EQ(fromRawValue<IndexingJobStatus>("Running"), std::nullopt);
  EXPECT_EQ(fromRawValue<IndexingJobStatus>("running"), IndexingJobStatus::running);
  EXPECT_EQ(allCases<IndexingQueueItemStatus>(),
            (std::array{IndexingQueueItemStatus::pending, IndexingQueueItemStatus::processing,
                        IndexingQueueItemStatus::indexed, IndexingQueueItemStatus::failed}));
}

TEST(RawValueTest, IntegerEnumsAcceptOnlyTheirListedValues) {
  struct Case {
    std::int64_t raw;
    std::optional<ThumbnailJobPriority> expected;
  };
  const Case cases[] = {
      {0, ThumbnailJobPriority::background},
      {100, ThumbnailJobPriority::visible},
      {1, std::nullopt},
      {50, std::nullopt},
      {99, std::nullopt},
      {101, std::nullopt},
      {-100, std::nullopt},
      {INT64_MIN, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(fromRawValue<ThumbnailJobPriority>(c.raw), c.expected) << c.raw;
  EXPECT_EQ(rawValue(ThumbnailJobPriority::visible), 100);

  for (std::int64_t raw = 0; raw <= 3; ++raw) EXPECT_EQ(rawValue(*fromRawValue<ImageAspectClass>(raw)), raw);
  EXPECT_EQ(fromRawValue<ImageAspectClass>(0), ImageAspectClass::unknown);
  EXPECT_EQ(fromRawValue<ImageAspectClass>(4), std::nullopt);
  EXPECT_EQ(fromRawValue<ImageAspectClass>(-1), std::nullopt);
  EXPECT_EQ(allCases<ImageAspectClass>(),
            (std::array{ImageAspectClass::unknown, ImageAspectClass::portrait, ImageAspectClass::landscape,
                        ImageAspectClass::square}));
}

}  // namespace
}  // namespace lorvex
