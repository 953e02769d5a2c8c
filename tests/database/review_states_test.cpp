#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/database_inspection.h"
#include "database/support/library_rows.h"
#include "database/support/recording_options.h"
#include "database/support/repository_connection.h"
#include "model/text/paths.h"
#include "support/temporary_folder.h"

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

  testing::TemporaryFolder directory;
  platform::ManualClock clock{1'800'000'000.5};
  std::vector<std::string> statements;
  SQLiteImageRepositoryV3 repository{directory.file(kLibraryDatabaseFileName),
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

constexpr int kImageCount = 1000;
// The review row every image has before a case runs; the last image has none.
constexpr std::string_view kBaselineRow = "0|0|before|1.0";
constexpr std::string_view kNoRow = "<no row>";

std::string imagePath(int i) {
  return "/lib/" + std::to_string(1000 + i) + ".png";
}

class ReviewStateBatchesTest : public ReviewStatesTest {
 protected:
  void SetUp() override {
    auto& connection = testing::connectionOf(repository);
    connection.executeScript("BEGIN;");
    for (int i = 0; i < kImageCount; ++i) {
      ids.push_back(insertMediaFile(repository, {.path = imagePath(i), .missing = i == 7}));
    }
    connection.executeScript("COMMIT;");
  }

  void resetReviews() {
    testing::connectionOf(repository)
        .executeScript(
            "DELETE FROM review_states; INSERT INTO review_states (media_file_id, favorite, "
            "delete_candidate, notes, updated_at) SELECT id, 0, 0, 'before', 1.0 FROM media_files "
            "WHERE id != " +
            std::to_string(ids.back()) + ";");
  }

  // "favorite|delete_candidate|notes|updated_at" of every image, by path.
  std::map<std::string, std::string> allReviewRows() {
    auto& connection = testing::connectionOf(repository);
    auto guard = connection.lock();
    return connection.query(
        "SELECT media_files.absolute_path, review_states.media_file_id, favorite, delete_candidate, notes, "
        "updated_at FROM media_files LEFT JOIN review_states ON review_states.media_file_id = media_files.id",
        {}, [](SQLiteRows& rows) {
          std::map<std::string, std::string> result;
          while (rows.next()) {
            result[rows.text(0)] = rows.isNull(1)
                                       ? std::string(kNoRow)
                                       : rows.text(2) + "|" + rows.text(3) + "|" +
                                             (rows.isNull(4) ? "NULL" : rows.text(4)) + "|" + rows.text(5);
          }
          return result;
        });
  }

  std::vector<std::int64_t> ids;
};

std::vector<ReviewStateUpdate> everyImage(const std::function<ReviewState(int)>& state) {
  std::vector<ReviewStateUpdate> updates;
  for (int i = 0; i < kImageCount; ++i) updates.push_back({imagePath(i), state(i)});
  return updates;
}

ReviewState alternating(int i) {
  return {i % 3 == 0, i % 2 == 0,
          i % 5 == 0 ? std::optional<std::string>("n" + std::to_string(i)) : std::nullopt};
}

std::string rowOf(const ReviewState& state) {
  return std::string(state.favorite ? "1" : "0") + "|" + (state.deleteCandidate ? "1" : "0") + "|" +
         state.notes.value_or("NULL") + "|1800000000.5";
}

TEST_F(ReviewStateBatchesTest, WritesEveryEntryOrNone) {
  const std::string last = imagePath(kImageCount - 1);
  const struct {
    std::string name;
    std::vector<ReviewStateUpdate> updates;
    std::optional<std::string> unknownPath;  // the recordNotFound expected; nothing written then
    std::optional<int> failingImage;         // an image whose write is made to fail
    std::map<std::string, std::string> changedRows;
    std::size_t lookups;  // id lookups (IN lists of at most 400 paths)
  } cases[] = {
      {"two images, one without a review row and one missing",
       {{imagePath(3), {true, false, "keep"}},
        {last, {false, true, ""}},
        {imagePath(7), {true, true, std::nullopt}}},
       std::nullopt,
       std::nullopt,
       {{imagePath(3), "1|0|keep|1800000000.5"},
        {last, "0|1||1800000000.5"},
        {imagePath(7), "1|1|NULL|1800000000.5"}},
       1},
      {"a later entry for the same image wins, also when spelled differently",
       {{imagePath(1), {true, true, "first"}},
        {imagePath(2), {true, false, std::nullopt}},
        {"/lib/x/../1001.png", {false, true, "second"}}},
       std::nullopt,
       std::nullopt,
       {{imagePath(1), "0|1|second|1800000000.5"}, {imagePath(2), "1|0|NULL|1800000000.5"}},
       1},
      {"an unknown path between known ones",
       {{imagePath(1), {true, true, "x"}},
        {"/lib/./none.png", {true, false, std::nullopt}},
        {imagePath(2), {}}},
       "/lib/none.png",
       std::nullopt,
       {},
       1},
      {"the first unknown path in request order is named, not the smallest",
       {{"/lib/zz.png", {true, false, std::nullopt}},
        {imagePath(0), {true, true, std::nullopt}},
        {"/lib/aa.png", {true, false, std::nullopt}}},
       "/lib/zz.png",
       std::nullopt,
       {},
       1},
      {"one thousand images resolve in three lookups and are all written", everyImage(alternating),
       std::nullopt, std::nullopt,
       [] {
         std::map<std::string, std::string> rows;
         for (int i = 0; i < kImageCount; ++i) rows[imagePath(i)] = rowOf(alternating(i));
         return rows;
       }(),
       3},
      {"an unknown path in the last lookup of a thousand",
       [] {
         auto updates = everyImage(alternating);
         updates.push_back({"/lib/after.png", {}});
         return updates;
       }(),
       "/lib/after.png",
       std::nullopt,
       {},
       3},
      {"the write of the last of a thousand fails",
       everyImage(alternating),
       std::nullopt,
       kImageCount - 2,
       {},
       3},
      {"an empty list", {}, std::nullopt, std::nullopt, {}, 0},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    resetReviews();
    const std::map<std::string, std::string> before = allReviewRows();
    auto& connection = testing::connectionOf(repository);
    if (c.failingImage) {
      connection.executeScript(
          "CREATE TEMP TRIGGER fail_write BEFORE UPDATE ON review_states WHEN "
          "NEW.media_file_id = " +
          std::to_string(ids[static_cast<std::size_t>(*c.failingImage)]) +
          " BEGIN SELECT RAISE(ABORT, 'injected'); END;");
    }
    statements.clear();

    std::optional<SQLiteImageRepositoryV3Error> failure;
    try {
      repository.updateReviewStates(c.updates);
    } catch (const SQLiteImageRepositoryV3Error& error) {
      failure = error;
    }
    if (c.failingImage) connection.executeScript("DROP TRIGGER fail_write;");

    EXPECT_EQ(countStatements("SELECT absolute_path, id FROM media_files WHERE absolute_path IN"), c.lookups);
    std::map<std::string, std::string> expected = before;
    for (const auto& [path, row] : c.changedRows) expected[path] = row;
    if (c.unknownPath) {
      ASSERT_TRUE(failure.has_value());
      EXPECT_EQ(*failure, SQLiteImageRepositoryV3Error::recordNotFound(*c.unknownPath));
      EXPECT_EQ(countStatements("BEGIN"), 0u);
    } else if (c.failingImage) {
      ASSERT_TRUE(failure.has_value());
      EXPECT_EQ(failure->kind(), SQLiteImageRepositoryV3Error::Kind::stepFailed);
      EXPECT_EQ(countStatements("ROLLBACK"), 1u);
      EXPECT_EQ(countStatements("COMMIT"), 0u);
    } else {
      EXPECT_FALSE(failure.has_value()) << failure->localizedDescription();
      EXPECT_EQ(countStatements("BEGIN IMMEDIATE"), c.updates.empty() ? 0u : 1u);
      EXPECT_EQ(countStatements("COMMIT"), c.updates.empty() ? 0u : 1u);
      if (c.updates.empty()) {
        EXPECT_TRUE(statements.empty());
      }
    }
    EXPECT_EQ(allReviewRows(), expected);
    EXPECT_EQ(before.at(imagePath(0)), kBaselineRow);
  }
}

}  // namespace
}  // namespace lorvex
