#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/database_inspection.h"
#include "database/support/repository_connection.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::scalar;

struct TableLayout {
  const char* name;
  const char* columns;
  const char* foreignKeys;
  const char* unique;
};

// The file format: every table (the full-text tables last), in creation order.
const std::vector<TableLayout> kTables = {
    {"library_roots", "id INTEGER pk; path TEXT nn; created_at REAL nn; updated_at REAL nn", "", "path"},
    {"media_files",
     "id INTEGER pk; root_id INTEGER; relative_path TEXT; absolute_path TEXT nn; file_identity TEXT; "
     "file_size INTEGER nn; modification_time REAL nn; content_sha256 TEXT; projection_revision INTEGER nn "
     "=0; basename_normalized TEXT nn; missing INTEGER nn =0; first_seen_at REAL nn; last_seen_at REAL nn; "
     "indexed_at REAL nn; last_seen_indexing_job_id INTEGER",
     "root_id->library_roots.id ON DELETE SET NULL", "absolute_path"},
    {"image_properties",
     "media_file_id INTEGER pk; width INTEGER; height INTEGER; aspect_class INTEGER nn; thumbnail_key TEXT",
     "media_file_id->media_files.id ON DELETE CASCADE", ""},
    {"metadata_payload_blobs",
     "sha256 TEXT pk; raw_text TEXT; compressed_blob BLOB; compression TEXT; byte_length INTEGER nn; "
     "created_at REAL nn",
     "", ""},
    {"metadata_providers", "id INTEGER pk; code TEXT nn; display_name TEXT nn", "", "code"},
    {"metadata_formats", "id INTEGER pk; provider_id INTEGER; code TEXT nn; display_name TEXT nn",
     "provider_id->metadata_providers.id ON DELETE SET NULL", "code"},
    {"metadata_payloads",
     "id INTEGER pk; media_file_id INTEGER nn; provider_id INTEGER; format_id INTEGER; container TEXT nn; "
     "payload_key TEXT nn; occurrence_index INTEGER nn =0; blob_sha256 TEXT nn; encoding TEXT nn; "
     "parse_status TEXT nn; parse_warning TEXT; captured_at REAL nn",
     "media_file_id->media_files.id ON DELETE CASCADE; provider_id->metadata_providers.id ON DELETE SET "
     "NULL; format_id->metadata_formats.id ON DELETE SET NULL; blob_sha256->metadata_payload_blobs.sha256 ON "
     "DELETE RESTRICT",
     "media_file_id, container, payload_key, occurrence_index"},
    {"generation_records",
     "id INTEGER pk; media_file_id INTEGER nn; provider_id INTEGER; format_id INTEGER; is_primary INTEGER nn "
     "=0; parse_status TEXT nn ='parsed'; parser TEXT; title TEXT; prompt TEXT; negative_prompt TEXT; "
     "software TEXT; source TEXT; generation_time REAL; seed INTEGER; steps INTEGER; scale REAL; sampler "
     "TEXT; noise_schedule TEXT; request_type TEXT; version INTEGER; signed_hash TEXT; base_caption TEXT; "
     "negative_base_caption TEXT; raw_comment_json TEXT; parse_warning TEXT; created_at REAL nn; updated_at "
     "REAL nn",
     "media_file_id->media_files.id ON DELETE CASCADE; provider_id->metadata_providers.id ON DELETE SET "
     "NULL; format_id->metadata_formats.id ON DELETE SET NULL",
     ""},
    {"prompt_segments",
     "id INTEGER pk; generation_record_id INTEGER nn; segment_index INTEGER nn; role TEXT nn; is_negative "
     "INTEGER nn =0; content TEXT nn",
     "generation_record_id->generation_records.id ON DELETE CASCADE", ""},
    {"prompt_regions",
     "segment_id INTEGER nn pk; region_index INTEGER nn pk; center_x REAL nn; center_y REAL nn",
     "segment_id->prompt_segments.id ON DELETE CASCADE", ""},
    {"generation_parameters",
     "generation_record_id INTEGER nn pk; key TEXT nn pk; integer_value INTEGER; real_value REAL; text_value "
     "TEXT",
     "generation_record_id->generation_records.id ON DELETE CASCADE", ""},
    {"models",
     "id INTEGER pk; provider TEXT; raw_source TEXT nn; display_name TEXT nn; normalized_key TEXT nn; family "
     "TEXT; version TEXT; source_hash TEXT; image_count INTEGER nn =0",
     "", "raw_source"},
    {"model_usages",
     "generation_record_id INTEGER nn pk; model_id INTEGER nn pk; usage_role TEXT nn pk ='primary'",
     "generation_record_id->generation_records.id ON DELETE CASCADE; model_id->models.id ON DELETE CASCADE",
     ""},
    {"tag_terms", "id INTEGER pk; normalized_key TEXT nn; display_name TEXT nn; search_text TEXT nn", "",
     "normalized_key"},
    {"tag_occurrences",
     "id INTEGER pk; media_file_id INTEGER nn; generation_record_id INTEGER; tag_term_id INTEGER nn; "
     "source_mask INTEGER nn; source_role TEXT nn; occurrence_index INTEGER nn",
     "media_file_id->media_files.id ON DELETE CASCADE; generation_record_id->generation_records.id ON DELETE "
     "CASCADE; tag_term_id->tag_terms.id ON DELETE CASCADE",
     ""},
    {"media_tag_index", "media_file_id INTEGER nn pk; tag_term_id INTEGER nn pk; source_mask INTEGER nn",
     "media_file_id->media_files.id ON DELETE CASCADE; tag_term_id->tag_terms.id ON DELETE CASCADE", ""},
    {"tag_term_stats",
     "tag_term_id INTEGER pk; image_count INTEGER nn =0; prompt_image_count INTEGER nn =0; "
     "character_image_count INTEGER nn =0; updated_at REAL nn",
     "tag_term_id->tag_terms.id ON DELETE CASCADE", ""},
    {"tag_concepts",
     "id INTEGER pk; display_name TEXT nn; normalized_key TEXT nn; search_text TEXT nn; created_at REAL nn; "
     "updated_at REAL nn",
     "", "normalized_key"},
    {"tag_concept_aliases",
     "concept_id INTEGER nn pk; tag_term_id INTEGER nn pk; is_active INTEGER nn =1; created_at REAL nn; "
     "updated_at REAL nn",
     "concept_id->tag_concepts.id ON DELETE CASCADE; tag_term_id->tag_terms.id ON DELETE CASCADE", ""},
    {"image_concept_assignments",
     "concept_id INTEGER nn pk; media_file_id INTEGER nn pk; is_active INTEGER nn =1; created_at REAL nn; "
     "updated_at REAL nn",
     "concept_id->tag_concepts.id ON DELETE CASCADE; media_file_id->media_files.id ON DELETE CASCADE", ""},
    {"concept_image_index", "concept_id INTEGER nn pk; media_file_id INTEGER nn pk; source_mask INTEGER nn",
     "concept_id->tag_concepts.id ON DELETE CASCADE; media_file_id->media_files.id ON DELETE CASCADE", ""},
    {"tag_concept_stats", "concept_id INTEGER pk; image_count INTEGER nn =0; updated_at REAL nn",
     "concept_id->tag_concepts.id ON DELETE CASCADE", ""},
    {"review_states",
     "media_file_id INTEGER pk; favorite INTEGER nn =0; delete_candidate INTEGER nn =0; notes TEXT; "
     "updated_at REAL nn",
     "media_file_id->media_files.id ON DELETE CASCADE", ""},
    {"indexing_jobs",
     "id INTEGER pk; root_paths TEXT nn; status TEXT nn; total_count INTEGER nn =0; processed_count INTEGER "
     "nn =0; indexed_count INTEGER nn =0; failed_count INTEGER nn =0; current_path TEXT; created_at REAL nn; "
     "updated_at REAL nn; completed_at REAL",
     "", ""},
    {"indexing_queue_items",
     "id INTEGER pk; job_id INTEGER nn; path TEXT nn; file_size INTEGER; modification_time REAL; status TEXT "
     "nn; failure_message TEXT; created_at REAL nn; updated_at REAL nn",
     "job_id->indexing_jobs.id ON DELETE CASCADE", "job_id, path"},
    {"thumbnail_jobs",
     "id INTEGER pk; media_file_id INTEGER nn; source_file_size INTEGER nn; source_modification_time REAL "
     "nn; status TEXT nn; priority INTEGER nn =0; retry_count INTEGER nn =0; last_error TEXT; next_retry_at "
     "REAL; created_at REAL nn; updated_at REAL nn",
     "media_file_id->media_files.id ON DELETE CASCADE", "media_file_id"},
    {"registered_folder_fsevent_states",
     "root_path TEXT pk; last_event_id TEXT; last_fallback_reason TEXT; last_fallback_at REAL; updated_at "
     "REAL nn",
     "", ""},
    {"trashed_media_files", "media_file_id INTEGER pk; trashed_at REAL nn",
     "media_file_id->media_files.id ON DELETE CASCADE", ""},
    {"relocated_media_files", "media_file_id INTEGER pk; last_seen_indexing_job_id INTEGER",
     "media_file_id->media_files.id ON DELETE CASCADE", ""},
    {"delete_candidate_contents", "media_file_id INTEGER pk; content_sha256 TEXT",
     "media_file_id->media_files.id ON DELETE CASCADE", ""},
    {"media_text_fts", "prompt; negative_prompt; source; character_captions; tags", "", ""},
    {"tag_term_search_fts", "normalized_key; display_name; search_text", "", ""},
    {"tag_concept_search_fts", "display_name; normalized_key; search_text", "", ""},
    {"model_search_fts", "display_name; raw_source; family; version; source_hash", "", ""},
};

// Every index in creation order.
const std::vector<std::pair<const char*, const char*>> kIndexes = {
    {"idx_media_files_default_browse", "media_files(missing, modification_time DESC, id DESC)"},
    {"idx_media_files_root_browse", "media_files(root_id, missing, modification_time DESC, id DESC)"},
    {"idx_media_files_visible_filename", "media_files(missing, basename_normalized COLLATE NOCASE, id)"},
    {"idx_media_files_content_sha256", "media_files(content_sha256) PARTIAL"},
    {"idx_image_properties_aspect", "image_properties(aspect_class, media_file_id)"},
    {"idx_generation_records_media", "generation_records(media_file_id)"},
    {"idx_generation_records_primary_media", "generation_records(media_file_id) UNIQUE PARTIAL"},
    // A record's image by record id, so the images of a model or a seed need no reads of the wide rows.
    {"idx_generation_records_id_media", "generation_records(id, is_primary, media_file_id)"},
    {"idx_generation_parameters_key_integer",
     "generation_parameters(key, integer_value, generation_record_id)"},
    {"idx_prompt_segments_record_role", "prompt_segments(generation_record_id, role, is_negative)"},
    {"idx_media_tag_index_tag_media", "media_tag_index(tag_term_id, media_file_id)"},
    {"idx_tag_occurrences_media", "tag_occurrences(media_file_id, source_role, tag_term_id)"},
    {"idx_tag_occurrences_generation_record", "tag_occurrences(generation_record_id)"},
    {"idx_tag_concept_aliases_term", "tag_concept_aliases(tag_term_id, concept_id)"},
    {"idx_image_concept_assignments_concept_media", "image_concept_assignments(concept_id, media_file_id)"},
    {"idx_concept_image_index_media", "concept_image_index(media_file_id, concept_id)"},
    {"idx_concept_image_index_concept_media", "concept_image_index(concept_id, media_file_id)"},
    {"idx_model_usages_model_record", "model_usages(model_id, generation_record_id)"},
    {"idx_models_count", "models(image_count DESC, display_name COLLATE NOCASE, id)"},
    {"idx_tag_term_stats_count", "tag_term_stats(image_count DESC, tag_term_id)"},
    {"idx_tag_concept_stats_count", "tag_concept_stats(image_count DESC, concept_id)"},
    {"idx_review_states_delete_candidate", "review_states(delete_candidate, media_file_id)"},
    {"idx_review_states_favorite", "review_states(favorite, media_file_id)"},
    {"idx_indexing_jobs_status", "indexing_jobs(status, updated_at)"},
    {"idx_indexing_queue_items_status", "indexing_queue_items(job_id, status, path)"},
    {"idx_indexing_queue_items_status_mtime",
     "indexing_queue_items(job_id, status, modification_time DESC, path)"},
    {"idx_thumbnail_jobs_ready", "thumbnail_jobs(status, next_retry_at, priority DESC, updated_at)"},
    {"idx_thumbnail_jobs_claim_order",
     "thumbnail_jobs(status, priority DESC, source_modification_time DESC)"},
    // Images at or under a folder with their sort keys, so a folder's page needs no table rows.
    {"idx_media_files_path_browse",
     "media_files(absolute_path, missing, modification_time, basename_normalized COLLATE NOCASE)"},
    // Sort keys by id: ordering a set of candidate ids reads this narrow index, not the wide rows.
    {"idx_media_files_id_sort",
     "media_files(id, missing, modification_time, basename_normalized COLLATE NOCASE)"},
    // The date keys alone: less than half as wide, so ordering candidates by date touches fewer pages.
    {"idx_media_files_id_modification", "media_files(id, missing, modification_time)"},
    // Files of another projection revision: the check before monitoring starts reads only those.
    {"idx_media_files_projection_revision", "media_files(projection_revision)"},
};

class SchemaTest : public ::testing::Test {
 protected:
  testing::TemporaryFolder directory;
  std::filesystem::path file = directory.file(kLibraryDatabaseFileName);
};

TEST_F(SchemaTest, AFreshLibraryHasEveryTableColumnKeyAndIndexOfVersion4) {
  SQLiteImageRepositoryV3 repository(file);
  auto& connection = lorvex::testing::connectionOf(repository);

  std::vector<std::string> expectedTables;
  for (const auto& table : kTables) {
    expectedTables.push_back(table.name);
    SCOPED_TRACE(table.name);
    EXPECT_EQ(testing::columnLayout(connection, table.name), table.columns);
    EXPECT_EQ(testing::foreignKeyLayout(connection, table.name), table.foreignKeys);
    EXPECT_EQ(testing::uniqueLayout(connection, table.name), table.unique);
  }
  EXPECT_EQ(testing::tableNames(connection), expectedTables);

  std::vector<std::string> expectedIndexes;
  for (const auto& [name, layout] : kIndexes) {
    expectedIndexes.push_back(name);
    EXPECT_EQ(testing::indexLayout(connection, name), layout) << name;
  }
  EXPECT_EQ(testing::indexNames(connection), expectedIndexes);

  for (const char* fts :
       {"media_text_fts", "tag_term_search_fts", "tag_concept_search_fts", "model_search_fts"}) {
    EXPECT_EQ(scalar(connection, std::string("SELECT count(*) FROM sqlite_master WHERE name = '") + fts +
                                     "' AND sql LIKE 'CREATE VIRTUAL TABLE%USING fts5(%'"),
              1)
        << fts;
  }
  EXPECT_EQ(scalar(connection, "SELECT count(*) FROM sqlite_master WHERE type IN ('trigger', 'view')"), 0);
  EXPECT_EQ(scalar(connection, "PRAGMA user_version"), 4);
  EXPECT_EQ(scalar(connection, "PRAGMA foreign_keys"), 1);
  EXPECT_EQ(scalar(connection, "PRAGMA busy_timeout"), 5000);
  EXPECT_EQ(scalar(connection, "PRAGMA synchronous"), 1);  // NORMAL
  // The checkpoint at 1000 frames is made beside the writes (wal_checkpoint_test.cpp): SQLite's own
  // automatic checkpoint, which would run inside the writer's commit, is off.
  EXPECT_EQ(scalar(connection, "PRAGMA wal_autocheckpoint"), 0);
  EXPECT_EQ(scalar(connection, "PRAGMA journal_size_limit"), 67108864);
  auto guard = connection.lock();
  EXPECT_EQ(connection.query("PRAGMA journal_mode", {},
                             [](SQLiteRows& rows) { return rows.next() ? rows.text(0) : ""; }),
            "wal");
}

std::string schemaText(SQLiteConnection& connection) {
  auto guard = connection.lock();
  return connection.query(
      "SELECT group_concat(type || ':' || name || ':' || coalesce(sql, ''), '\n') FROM "
      "(SELECT * FROM sqlite_master ORDER BY rowid)",
      {}, [](SQLiteRows& rows) { return rows.next() ? rows.text(0) : ""; });
}

TEST_F(SchemaTest, OpeningAgainChangesNothingAndKeepsRows) {
  std::string before;
  {
    SQLiteImageRepositoryV3 repository(file);
    auto& connection = lorvex::testing::connectionOf(repository);
    auto guard = connection.lock();
    connection.execute("INSERT INTO library_roots (path, created_at, updated_at) VALUES (?, ?, ?)",
                       {"/p", 1.5, 2.5});
    before = schemaText(connection);
  }
  SQLiteImageRepositoryV3 repository(file);
  auto& connection = lorvex::testing::connectionOf(repository);
  EXPECT_EQ(schemaText(connection), before);
  EXPECT_EQ(scalar(connection, "SELECT count(*) FROM library_roots WHERE path = '/p' AND updated_at = 2.5"),
            1);
  EXPECT_EQ(scalar(connection, "PRAGMA user_version"), 4);
}

TEST_F(SchemaTest, OpeningRestoresADroppedIndexAndFullTextTable) {
  {
    SQLiteImageRepositoryV3 repository(file);
    lorvex::testing::connectionOf(repository)
        .executeScript("DROP INDEX idx_prompt_segments_record_role; DROP TABLE model_search_fts;");
  }
  SQLiteImageRepositoryV3 repository(file);
  auto& connection = lorvex::testing::connectionOf(repository);
  EXPECT_EQ(scalar(connection,
                   "SELECT count(*) FROM sqlite_master WHERE name IN "
                   "('idx_prompt_segments_record_role', 'model_search_fts')"),
            2);
}

class SchemaRowsTest : public SchemaTest {
 protected:
  void SetUp() override {
    repository = std::make_unique<SQLiteImageRepositoryV3>(file);
    lorvex::testing::connectionOf(*repository).executeScript(R"SQL(
      INSERT INTO media_files (id, absolute_path, file_size, modification_time, basename_normalized,
                               first_seen_at, last_seen_at, indexed_at)
        VALUES (1, '/p/a.png', 10, 1.0, 'a.png', 0, 0, 0);
      INSERT INTO generation_records (id, media_file_id, is_primary, created_at, updated_at) VALUES (7, 1, 1, 0, 0);
      INSERT INTO prompt_segments (id, generation_record_id, segment_index, role, content)
        VALUES (3, 7, 0, 'positive', 'x');
      INSERT INTO prompt_regions (segment_id, region_index, center_x, center_y) VALUES (3, 0, 0.5, 0.5);
      INSERT INTO generation_parameters (generation_record_id, key, integer_value) VALUES (7, 'seed', 1);
      INSERT INTO models (id, raw_source, display_name, normalized_key) VALUES (2, 'm', 'm', 'm');
      INSERT INTO model_usages (generation_record_id, model_id) VALUES (7, 2);
      INSERT INTO tag_terms (id, normalized_key, display_name, search_text) VALUES (4, 'x', 'x', 'x');
      INSERT INTO tag_occurrences (media_file_id, generation_record_id, tag_term_id, source_mask, source_role,
                                   occurrence_index) VALUES (1, 7, 4, 1, 'positive', 0);
      INSERT INTO metadata_payload_blobs (sha256, raw_text, byte_length, created_at) VALUES ('h', 't', 1, 0);
      INSERT INTO metadata_payloads (media_file_id, container, payload_key, blob_sha256, encoding, parse_status,
                                     captured_at) VALUES (1, 'tEXt', 'Comment', 'h', 'utf8', 'parsed', 0);
    )SQL");
  }
  std::unique_ptr<SQLiteImageRepositoryV3> repository;
};

TEST_F(SchemaRowsTest, DeletingAGenerationRecordRemovesEverythingBoundToIt) {
  auto& connection = lorvex::testing::connectionOf(*repository);
  connection.executeScript("DELETE FROM generation_records WHERE id = 7;");
  for (const char* table :
       {"prompt_segments", "prompt_regions", "generation_parameters", "model_usages", "tag_occurrences"}) {
    EXPECT_EQ(scalar(connection, std::string("SELECT count(*) FROM ") + table), 0) << table;
  }
  EXPECT_EQ(scalar(connection, "SELECT count(*) FROM models"), 1);
}

TEST_F(SchemaRowsTest, ASecondPrimaryRecordAndDeletingAReferencedBlobAreRefused) {
  auto& connection = lorvex::testing::connectionOf(*repository);
  auto guard = connection.lock();
  EXPECT_THROW(
      connection.execute("INSERT INTO generation_records (media_file_id, is_primary, created_at, updated_at) "
                         "VALUES (1, 1, 0, 0)"),
      SQLiteImageRepositoryV3Error);
  EXPECT_NO_THROW(
      connection.execute("INSERT INTO generation_records (media_file_id, is_primary, created_at, updated_at) "
                         "VALUES (1, 0, 0, 0)"));
  EXPECT_THROW(connection.execute("DELETE FROM metadata_payload_blobs WHERE sha256 = 'h'"),
               SQLiteImageRepositoryV3Error);
}

}  // namespace
}  // namespace lorvex
