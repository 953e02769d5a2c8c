// The per-image projection as a whole: what is read before the transaction, the file and property
// rows, the thumbnail-key and content-hash rules, review states, library roots, and statements that
// run even when nothing changed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "database/sqlite_image_repository.h"
#include "database/support/projection_consistency.h"
#include "database/support/projection_fixtures.h"
#include "database/support/repository_connection.h"

namespace lorvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RecordProjectionTest : public testing::ProjectionTest {};

TEST_F(RecordProjectionTest, PreviousStateModelsAndRootAreReadBeforeTheTransaction) {
  const auto job = repository.startIndexingJob({"/lib"});
  auto record = testing::projectionRecord("/lib/a.png", {"cat"});
  record.metadata.modelUsages = {testing::modelUsage("Model A")};
  repository.upsertRecord(record, job.id);
  statements.clear();
  repository.upsertRecord(record, job.id);

  const long begin = position("BEGIN IMMEDIATE");
  ASSERT_GE(begin, 0);
  for (const char* before : {"SELECT tag_term_id, source_mask FROM media_tag_index",
                             "SELECT model_usages.model_id FROM generation_records", "INSERT INTO models",
                             "INSERT INTO library_roots",
                             "SELECT absolute_path, file_size, modification_time, projection_revision"}) {
    SCOPED_TRACE(before);
    EXPECT_GE(position(before), 0);
    EXPECT_LT(position(before), begin);
  }
  EXPECT_GT(position("INSERT INTO media_files"), begin);
  EXPECT_EQ(statements.back(), "COMMIT");
  EXPECT_EQ(count("BEGIN IMMEDIATE"), 1);
}

TEST_F(RecordProjectionTest, UnchangedReprojectionRunsEveryStatisticsStatementWithZeroDeltas) {
  auto record = testing::projectionRecord("/lib/a.png", {"cat", "dog", "smile"});
  record.metadata.modelUsages = {testing::modelUsage("Model A"), testing::modelUsage("Model B", "lora")};
  repository.upsertRecord(record, std::nullopt);
  const auto statsBefore = rows(
      "SELECT tag_term_id, image_count, prompt_image_count, character_image_count "
      "FROM tag_term_stats ORDER BY tag_term_id");
  const auto modelsBefore = rows("SELECT id, image_count FROM models ORDER BY id");
  statements.clear();
  repository.upsertRecord(record, std::nullopt);

  EXPECT_EQ(count("INSERT INTO tag_term_stats"), 3);
  EXPECT_EQ(count("UPDATE models SET image_count"), 2);
  EXPECT_EQ(count("SELECT display_name, raw_source, family, version, source_hash, image_count FROM models"),
            2);
  // Full-text rows that already hold the right texts are left alone.
  EXPECT_EQ(count("DELETE FROM model_search_fts"), 0);
  EXPECT_EQ(count("DELETE FROM media_text_fts"), 0);
  EXPECT_EQ(
      rows("SELECT tag_term_id, image_count, prompt_image_count, character_image_count FROM tag_term_stats "
           "ORDER BY tag_term_id"),
      statsBefore);
  EXPECT_EQ(rows("SELECT id, image_count FROM models ORDER BY id"), modelsBefore);
  EXPECT_THAT(testing::projectionInconsistencies(lorvex::testing::connectionOf(repository)), IsEmpty());
}

TEST_F(RecordProjectionTest, FileRowPropertiesAndAspectClass) {
  struct Case {
    const char* name;
    std::optional<std::int64_t> width;
    std::optional<std::int64_t> height;
    const char* expected;  // width|height|aspect_class
  };
  const std::vector<Case> cases = {
      {"no width", std::nullopt, 512, "NULL|512|0"}, {"no height", 512, std::nullopt, "512|NULL|0"},
      {"one pixel taller", 512, 513, "512|513|1"},   {"wider", 1216, 832, "1216|832|2"},
      {"square", 1024, 1024, "1024|1024|3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = testing::projectionRecord("/lib/x/../Photos/./IMG_01.PNG");
    record.metadata.width = c.width;
    record.metadata.height = c.height;
    repository.upsertRecord(record, std::nullopt);
    EXPECT_EQ(row("SELECT width, height, aspect_class FROM image_properties"), c.expected);
  }
  EXPECT_EQ(
      row("SELECT root_id, relative_path, absolute_path, file_identity, file_size, modification_time, "
          "content_sha256, projection_revision, basename_normalized, missing, last_seen_indexing_job_id "
          "FROM media_files"),
      "NULL|NULL|/lib/Photos/IMG_01.PNG|NULL|1000|1700000000.25|NULL|1|img_01.png|0|NULL");
  EXPECT_EQ(repository.mediaFileID("/lib/Photos/IMG_01.PNG"), 1);
  try {
    repository.mediaFileID("/lib/x/../Photos/IMG_01.PNG");
    FAIL() << "mediaFileID takes the path as given";
  } catch (const SQLiteImageRepositoryV3Error& error) {
    EXPECT_EQ(error, SQLiteImageRepositoryV3Error::recordNotFound("/lib/x/../Photos/IMG_01.PNG"));
  }
}

TEST_F(RecordProjectionTest, ThumbnailKeyRuleAndContentHashCoalesce) {
  struct Case {
    const char* name;
    std::optional<std::string> thumbnail;
    std::int64_t size;
    double modified;
    const char* expected;
  };
  const double mtime = 1'700'000'000.25;
  const std::vector<Case> cases = {
      {"a new key replaces the stored one", "/thumbs/new.jpg", 1000, mtime, "/thumbs/new.jpg"},
      {"no key, unchanged file: kept", std::nullopt, 1000, mtime, "/thumbs/old.jpg"},
      {"no key, other size: cleared", std::nullopt, 1001, mtime, "NULL"},
      {"no key, modification time off by a hair: cleared", std::nullopt, 1000, std::nextafter(mtime, 2e9),
       "NULL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = testing::projectionRecord("/lib/a.png");
    record.thumbnailPath = "/thumbs/old.jpg";
    repository.upsertRecord(record, std::nullopt);
    record.thumbnailPath = c.thumbnail;
    record.file.fileSize = c.size;
    record.file.modificationDate = c.modified;
    repository.upsertRecord(record, std::nullopt);
    EXPECT_EQ(row("SELECT thumbnail_key FROM image_properties"), c.expected);
  }

  auto fresh = testing::projectionRecord("/lib/new.png");
  repository.upsertRecord(fresh, std::nullopt);
  EXPECT_EQ(row("SELECT thumbnail_key FROM image_properties WHERE media_file_id = 2"), "NULL");

  fresh.contentSHA256 = std::string(64, 'a');
  repository.upsertRecord(fresh, std::nullopt);
  fresh.contentSHA256.reset();
  repository.upsertRecord(fresh, std::nullopt);
  EXPECT_EQ(row("SELECT content_sha256 FROM media_files WHERE id = 2"), std::string(64, 'a'));
  fresh.contentSHA256 = std::string(64, 'b');
  repository.upsertRecord(fresh, std::nullopt);
  EXPECT_EQ(row("SELECT content_sha256 FROM media_files WHERE id = 2"), std::string(64, 'b'));
}

TEST_F(RecordProjectionTest, ReviewStateAndFirstSeenAreWrittenOnlyOnce) {
  auto record = testing::projectionRecord("/lib/a.png");
  record.reviewState = ReviewState{true, false, std::string("keep")};
  record.isMissing = true;
  repository.upsertRecord(record, std::nullopt);
  const std::string firstSeen = row("SELECT first_seen_at FROM media_files");
  record.reviewState = ReviewState{false, true, std::nullopt};
  record.isMissing = false;
  repository.upsertRecord(record, std::nullopt);
  EXPECT_EQ(row("SELECT favorite, delete_candidate, notes FROM review_states"), "1|0|keep");
  EXPECT_EQ(row("SELECT first_seen_at, missing FROM media_files"), firstSeen + "|0");
}

TEST_F(RecordProjectionTest, LibraryRootAndRelativePathFromTheJob) {
  const auto job = repository.startIndexingJob({"/lib", "/lib/sub", "/other/"});
  struct Case {
    const char* path;
    const char* expected;  // root path|relative path|job id
  };
  const std::vector<Case> cases = {
      {"/lib/a.png", "/lib|a.png|1"},           {"/lib/sub/deep/b.png", "/lib/sub|deep/b.png|1"},
      {"/lib/subway.png", "/lib|subway.png|1"}, {"/other/c.png", "/other|c.png|1"},
      {"/elsewhere/d.png", "NULL|NULL|1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    repository.upsertRecord(testing::projectionRecord(c.path), job.id);
    EXPECT_EQ(
        row(std::string("SELECT r.path, f.relative_path, f.last_seen_indexing_job_id FROM media_files f "
                        "LEFT JOIN library_roots r ON r.id = f.root_id WHERE f.absolute_path = '") +
            c.path + "'"),
        c.expected);
  }

  // A job id that names no job stops the projection before its transaction.
  auto record = testing::projectionRecord("/lib/never.png");
  try {
    repository.upsertRecord(record, 99);
    FAIL() << "expected recordNotFound";
  } catch (const SQLiteImageRepositoryV3Error& error) {
    EXPECT_EQ(error, SQLiteImageRepositoryV3Error::recordNotFound("indexing job 99"));
  }
  EXPECT_EQ(row("SELECT count(*) FROM media_files WHERE absolute_path = '/lib/never.png'"), "0");
}

}  // namespace
}  // namespace lorvex
