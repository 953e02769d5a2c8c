#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/sqlite_image_repository.h"
#include "database/support/database_inspection.h"
#include "database/support/library_rows.h"
#include "database/support/recording_options.h"
#include "database/support/repository_connection.h"
#include "database/support/temporary_directory.h"
#include "model/text/paths.h"

namespace lorvex {
namespace {

using testing::insertMediaFile;
using Kind = SQLiteImageRepositoryV3Error::Kind;

class ReviewStatesTest : public ::testing::Test {
 protected:
  // "favorite|delete_candidate|notes|updated_at" of the file's review row, or "<no row>".
  std::string reviewRow(const std::string& path) {
    auto guard = lorvex::testing::connectionOf(repository).lock();
    return lorvex::testing::connectionOf(repository)
        .query(
            "SELECT favorite, delete_candidate, notes, updated_at FROM review_states JOIN media_files ON "
            "media_files.id = review_states.media_file_id WHERE media_files.absolute_path = ?",
            {path}, [](SQLiteRows& rows) {
              if (!rows.next()) return std::string("<no row>");
              return rows.text(0) + "|" + rows.text(1) + "|" + (rows.isNull(2) ? "NULL" : rows.text(2)) +
                     "|" + rows.text(3);
            });
  }

  void setReview(const std::string& path, const ReviewState& state) {
    repository.updateReviewState(path, state);
  }

  std::size_t countStatements(std::string_view prefix) const {
    std::size_t count = 0;
    for (const auto& sql : statements) count += sql.starts_with(prefix) ? 1 : 0;
    return count;
  }

  testing::TemporaryDirectory directory;
  platform::ManualClock clock{1'800'000'000.5};
  std::vector<std::string> statements;
  SQLiteImageRepositoryV3 repository{directory.file("LorvexV3.sqlite"),
                                     testing::recordingOptions(clock, statements)};
};

TEST_F(ReviewStatesTest, UpdateReplacesAllThreeFieldsAndReadsBack) {
  insertMediaFile(repository, {.path = "/p/a.png"});
  insertMediaFile(repository, {.path = "/p/gone.png", .missing = true});

  const struct {
    std::string path;
    ReviewState state;
    std::string row;
  } steps[] = {
      {"/p/a.png", {true, false, "keep"}, "1|0|keep|1800000000.5"},
      {"/p/./a.png", {false, true, ""}, "0|1||1800000000.5"},  // an empty note stays a note
      {"/p/x/../a.png", {true, true, std::nullopt}, "1|1|NULL|1800000000.5"},
      {"/p/gone.png",
       {true, false, "missing files keep reviews"},
       "1|0|missing files keep reviews|1800000000.5"},
  };
  for (const auto& step : steps) {
    setReview(step.path, step.state);
    const std::string stored = text::standardizedPath(step.path);
    EXPECT_EQ(reviewRow(stored), step.row) << step.path;
    EXPECT_EQ(repository.imageRecord(stored)->reviewState, step.state) << step.path;
  }
}

TEST_F(ReviewStatesTest, UpdatingAnUnindexedPathFailsWithTheStandardizedPath) {
  try {
    setReview("/p/../q/none.png", {true, false, std::nullopt});
    FAIL() << "expected recordNotFound";
  } catch (const SQLiteImageRepositoryV3Error& error) {
    EXPECT_EQ(error, SQLiteImageRepositoryV3Error::recordNotFound("/q/none.png"));
  }
  EXPECT_EQ(testing::scalar(lorvex::testing::connectionOf(repository), "SELECT count(*) FROM review_states"),
            0);
}

TEST_F(ReviewStatesTest, RestoringNothingTouchesNothing) {
  statements.clear();
  EXPECT_TRUE(repository.restoreDeleteCandidateStates({}).empty());
  EXPECT_TRUE(statements.empty());
}

TEST_F(ReviewStatesTest, RestoreRefusesPathsThatAreEqualOnceStandardized) {
  insertMediaFile(repository, {.path = "/a/b.png"});
  const std::vector<std::vector<DeleteCandidateStateRestore>> requests = {
      {{"/a/x/../b.png", true}, {"/a/b.png", false}},
      {{"/a/b.png", true}, {"/a/./b.png", true}},
      {{"/a/b.png/", true}, {"/c.png", true}, {"/a//b.png", false}},
  };
  for (const auto& request : requests) {
    statements.clear();
    try {
      repository.restoreDeleteCandidateStates(request);
      FAIL() << "expected the duplicate refusal";
    } catch (const SQLiteImageRepositoryV3Error& error) {
      EXPECT_EQ(error.kind(), Kind::executionFailed);
      EXPECT_EQ(error.localizedDescription(), "Delete-candidate restore contains duplicate paths");
    }
    EXPECT_TRUE(statements.empty()) << "nothing may be read or written";
  }
  EXPECT_EQ(reviewRow("/a/b.png"), "<no row>");
}

TEST_F(ReviewStatesTest, RestoreOfAnUnindexedPathFailsBeforeWriting) {
  insertMediaFile(repository, {.path = "/a/1.png"});
  try {
    repository.restoreDeleteCandidateStates({{"/a/1.png", true}, {"/a/./none.png", true}});
    FAIL() << "expected recordNotFound";
  } catch (const SQLiteImageRepositoryV3Error& error) {
    EXPECT_EQ(error, SQLiteImageRepositoryV3Error::recordNotFound("/a/none.png"));
  }
  EXPECT_EQ(countStatements("BEGIN"), 0u);
  EXPECT_EQ(reviewRow("/a/1.png"), "<no row>");
}

TEST_F(ReviewStatesTest, RestoreChangesOnlyTheFlagAndReturnsRecordsInRequestOrder) {
  insertMediaFile(repository, {.path = "/a/old.png", .modificationTime = 1});
  insertMediaFile(repository, {.path = "/a/new.png", .modificationTime = 2});
  insertMediaFile(repository, {.path = "/a/gone.png", .missing = true});
  setReview("/a/old.png", {true, true, "note"});
  clock.advance(10);

  const auto records = repository.restoreDeleteCandidateStates(
      {{"/a/old.png", false}, {"/a/./gone.png", true}, {"/a/new.png", false}});

  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].file.path, "/a/old.png");
  EXPECT_EQ(records[0].reviewState, (ReviewState{true, false, "note"}));
  EXPECT_EQ(records[1].file.path, "/a/gone.png");
  EXPECT_TRUE(records[1].isMissing);
  EXPECT_EQ(records[1].reviewState, (ReviewState{false, true, std::nullopt}));
  EXPECT_EQ(records[2].file.path, "/a/new.png");
  EXPECT_EQ(records[2].reviewState, ReviewState{});

  EXPECT_EQ(reviewRow("/a/old.png"), "1|0|note|1800000010.5");
  EXPECT_EQ(reviewRow("/a/gone.png"), "0|1|NULL|1800000010.5");
  EXPECT_EQ(reviewRow("/a/new.png"), "0|0|NULL|1800000010.5");
  for (const auto& record : records) EXPECT_EQ(*repository.imageRecord(record.file.path), record);
}

class LargeRestoreTest : public ReviewStatesTest {
 protected:
  static constexpr int kCount = 401;

  void SetUp() override {
    for (int i = 0; i < kCount; ++i) {
      ids.push_back(insertMediaFile(repository, {.path = path(i)}));
      // Every image starts as a delete candidate; the first ones are favourites with notes.
      setReview(path(i),
                {i < 3, true, i < 3 ? std::optional<std::string>("n" + std::to_string(i)) : std::nullopt});
    }
    // The last image has no review row at all.
    lorvex::testing::connectionOf(repository)
        .executeScript("DELETE FROM review_states WHERE media_file_id = " + std::to_string(ids.back()) + ";");
    for (int i = 0; i < kCount; ++i) request.push_back({path(i), i % 2 != 0});
    request.back().deleteCandidate = true;
    statements.clear();
  }

  static std::string path(int i) { return "/lib/" + std::to_string(1000 + i) + ".png"; }

  std::vector<std::int64_t> ids;
  std::vector<DeleteCandidateStateRestore> request;
};

TEST_F(LargeRestoreTest, FourHundredAndOneEntriesRunAsTwoBatchesInOneTransaction) {
  const auto records = repository.restoreDeleteCandidateStates(request);

  EXPECT_EQ(countStatements("BEGIN IMMEDIATE"), 1u);
  EXPECT_EQ(countStatements("WITH requested"), 2u);
  EXPECT_EQ(countStatements("COMMIT"), 1u);
  ASSERT_EQ(records.size(), static_cast<std::size_t>(kCount));
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(records[i].file.path, path(i));
    EXPECT_EQ(records[i].reviewState.deleteCandidate, request[i].deleteCandidate) << i;
  }
  EXPECT_EQ(reviewRow(path(0)), "1|0|n0|1800000000.5");
  EXPECT_EQ(reviewRow(path(1)), "1|1|n1|1800000000.5");
  EXPECT_EQ(reviewRow(path(399)), "0|1|NULL|1800000000.5");
  EXPECT_EQ(reviewRow(path(kCount - 1)), "0|1|NULL|1800000000.5");
}

TEST_F(LargeRestoreTest, AFailureInTheSecondBatchLeavesTheFirstBatchUnchanged) {
  // The last image has no review row, so the second batch inserts one, and that insert fails.
  lorvex::testing::connectionOf(repository)
      .executeScript(
          "CREATE TEMP TRIGGER fail_second_batch BEFORE INSERT ON review_states WHEN NEW.media_file_id = " +
          std::to_string(ids.back()) + " BEGIN SELECT RAISE(ABORT, 'injected'); END;");
  clock.advance(5);
  try {
    repository.restoreDeleteCandidateStates(request);
    FAIL() << "expected the second batch to fail";
  } catch (const SQLiteImageRepositoryV3Error& error) {
    EXPECT_EQ(error.kind(), Kind::stepFailed);
    EXPECT_EQ(error.localizedDescription(), "Delete-candidate restore statement failed");
  }
  EXPECT_EQ(countStatements("WITH requested"), 2u);
  EXPECT_EQ(countStatements("ROLLBACK"), 1u);
  EXPECT_EQ(countStatements("COMMIT"), 0u);
  // Every flag of the first batch is as it was: all still delete candidates, old times.
  EXPECT_EQ(testing::scalar(lorvex::testing::connectionOf(repository),
                            "SELECT count(*) FROM review_states WHERE delete_candidate = 1 AND updated_at = "
                            "1800000000.5"),
            kCount - 1);
  EXPECT_EQ(reviewRow(path(kCount - 1)), "<no row>");

  // The library is usable afterwards.
  lorvex::testing::connectionOf(repository).executeScript("DROP TRIGGER fail_second_batch;");
  EXPECT_EQ(repository.restoreDeleteCandidateStates(request).size(), static_cast<std::size_t>(kCount));
  EXPECT_EQ(reviewRow(path(0)), "1|0|n0|1800000005.5");
}

}  // namespace
}  // namespace lorvex
