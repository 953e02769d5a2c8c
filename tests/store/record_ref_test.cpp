// Record equality: pointer first, then value, for single records and for long lists compared in
// chunks by several threads.
#include "store/record_ref.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/event_loop.h"
#include "store/store_records.h"

namespace lorvex {
namespace {

using testing::record;
using testing::RecordSpec;

TEST(RecordRef, SameRecordIsIdentityOrEqualValue) {
  const RecordRef a = record(RecordSpec{.path = "/a", .favorite = true});
  EXPECT_TRUE(sameRecord(a, a));
  EXPECT_TRUE(sameRecord(a, record(RecordSpec{.path = "/a", .favorite = true})));
  EXPECT_FALSE(sameRecord(a, record(RecordSpec{.path = "/a"})));
  EXPECT_FALSE(sameRecord(a, nullptr));
  EXPECT_TRUE(sameRecord(nullptr, nullptr));
}

TEST(RecordRef, LongListsAreComparedInFull) {
  testing::application();
  constexpr int kCount = 20'000;  // above the size from which pool threads help
  std::vector<RecordRef> original;
  for (int i = 0; i < kCount; ++i) original.push_back(record(RecordSpec{.path = "/p" + std::to_string(i)}));
  std::vector<RecordRef> copies;
  for (const auto& r : original) copies.push_back(makeRecordRef(*r));
  EXPECT_TRUE(sameRecordLists(original, copies));
  EXPECT_TRUE(sameRecordLists(original, original));
  for (int changed : {0, 511, 512, kCount / 2, kCount - 1}) {
    SCOPED_TRACE(changed);
    auto different = copies;
    different[static_cast<std::size_t>(changed)] =
        record(RecordSpec{.path = "/p" + std::to_string(changed), .thumbnailPath = "/t.jpg"});
    EXPECT_FALSE(sameRecordLists(original, different));
    EXPECT_FALSE(sameRecordLists(different, original));
  }
  auto shorter = copies;
  shorter.pop_back();
  EXPECT_FALSE(sameRecordLists(original, shorter));
}

}  // namespace
}  // namespace lorvex
