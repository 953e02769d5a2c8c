// A failure that stopped work on the library (a scan on a full disk) stays on the error line through
// the reads that follow, but a write the library takes afterwards ends it: the line never shows
// "The disk is full" beside the banner of a mark that was just written.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "database/sqlite_image_repository_error.h"
#include "store/review_fixture.h"

namespace lorvex {
namespace {

using testing::libraryImages;
using testing::ReviewFixture;

TEST(HeldFailureAfterWrite, AWriteThatSucceedsEndsTheFailureItOutlived) {
  struct Row {
    const char* name;
    std::function<void(ReviewFixture&)> write;
  };
  const std::vector<Row> rows = {
      {"a mark (D)", [](ReviewFixture& f) { f.store->review().markDeleteCandidates(f.loaded({2})); }},
      {"a favorite (F)", [](ReviewFixture& f) { f.store->review().toggleFavorite(f.loaded({2})); }},
      {"an undo's restore",
       [](ReviewFixture& f) {
         f.store->review().undoLastDeleteCandidateAction();
         f.harness.drainEvents();
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReviewFixture f(libraryImages(0, 6));
    f.select(3, {3});
    f.store->review().markDeleteCandidates(f.loaded({3}));
    f.store->context().holdWorkFailure(std::make_exception_ptr(
        SQLiteImageRepositoryV3Error::stepFailed("database or disk is full", SQLITE_FULL)));
    ASSERT_TRUE(f.store->context().errorNotice().has_value());
    ASSERT_EQ(f.store->context().errorNotice()->kind, ErrorNoticeKind::diskFull);
    f.select(2, {2});

    row.write(f);
    EXPECT_FALSE(f.store->context().errorMessage().has_value()) << *f.store->context().errorMessage();
    // Gone for good: a read that clears the line afterwards does not bring it back.
    f.store->context().setErrorMessage(std::nullopt);
    EXPECT_FALSE(f.store->context().errorMessage().has_value());
  }
}

}  // namespace
}  // namespace lorvex
