#include "database/internal/schema.h"

#include <array>

namespace lorvex::schema {
namespace {

// registered_folder_fsevent_states keeps, per registered folder, the last event id of our own
// inotify folder monitor that the library has caught up with.
// trashed_media_files names the images this program moved to the Trash (missing since): such an
// image gives its review state to no other file, and comes back without its delete-candidate mark
// when the person puts it back.
// relocated_media_files names the missing images whose content a file found at another place
// continues (it took over their review state): such an image gives it to no other file, as long as
// it was not seen again since (its last_seen_indexing_job_id then differs from the one kept here).
// delete_candidate_contents keeps the content each delete-candidate mark was given on (the image's
// content when it became a candidate): a file whose content changed since is not the image the
// person decided on, and is not trashed for it.
constexpr std::string_view kScript = R"SQL(
CREATE TABLE IF NOT EXISTS library_roots (
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL UNIQUE,
  created_at REAL NOT NULL,
  updated_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS media_files (
  id INTEGER PRIMARY KEY,
  root_id INTEGER REFERENCES library_roots(id) ON DELETE SET NULL,
  relative_path TEXT,
  absolute_path TEXT NOT NULL UNIQUE,
  file_identity TEXT,
  file_size INTEGER NOT NULL,
  modification_time REAL NOT NULL,
  content_sha256 TEXT,
  projection_revision INTEGER NOT NULL DEFAULT 0,
  basename_normalized TEXT NOT NULL,
  missing INTEGER NOT NULL DEFAULT 0,
  first_seen_at REAL NOT NULL,
  last_seen_at REAL NOT NULL,
  indexed_at REAL NOT NULL,
  last_seen_indexing_job_id INTEGER
);
CREATE TABLE IF NOT EXISTS image_properties (
  media_file_id INTEGER PRIMARY KEY REFERENCES media_files(id) ON DELETE CASCADE,
  width INTEGER,
  height INTEGER,
  aspect_class INTEGER NOT NULL,
  thumbnail_key TEXT
);
CREATE TABLE IF NOT EXISTS metadata_payload_blobs (
  sha256 TEXT PRIMARY KEY,
  raw_text TEXT,
  compressed_blob BLOB,
  compression TEXT,
  byte_length INTEGER NOT NULL,
  created_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS metadata_providers (
  id INTEGER PRIMARY KEY,
  code TEXT NOT NULL UNIQUE,
  display_name TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS metadata_formats (
  id INTEGER PRIMARY KEY,
  provider_id INTEGER REFERENCES metadata_providers(id) ON DELETE SET NULL,
  code TEXT NOT NULL UNIQUE,
  display_name TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS metadata_payloads (
  id INTEGER PRIMARY KEY,
  media_file_id INTEGER NOT NULL,
  provider_id INTEGER,
  format_id INTEGER,
  container TEXT NOT NULL,
  payload_key TEXT NOT NULL,
  occurrence_index INTEGER NOT NULL DEFAULT 0,
  blob_sha256 TEXT NOT NULL,
  encoding TEXT NOT NULL,
  parse_status TEXT NOT NULL,
  parse_warning TEXT,
  captured_at REAL NOT NULL,
  UNIQUE(media_file_id, container, payload_key, occurrence_index),
  FOREIGN KEY(media_file_id) REFERENCES media_files(id) ON DELETE CASCADE,
  FOREIGN KEY(provider_id) REFERENCES metadata_providers(id) ON DELETE SET NULL,
  FOREIGN KEY(format_id) REFERENCES metadata_formats(id) ON DELETE SET NULL,
  FOREIGN KEY(blob_sha256) REFERENCES metadata_payload_blobs(sha256) ON DELETE RESTRICT
);
CREATE TABLE IF NOT EXISTS generation_records (
  id INTEGER PRIMARY KEY,
  media_file_id INTEGER NOT NULL,
  provider_id INTEGER,
  format_id INTEGER,
  is_primary INTEGER NOT NULL DEFAULT 0,
  parse_status TEXT NOT NULL DEFAULT 'parsed',
  parser TEXT,
  title TEXT,
  prompt TEXT,
  negative_prompt TEXT,
  software TEXT,
  source TEXT,
  generation_time REAL,
  seed INTEGER,
  steps INTEGER,
  scale REAL,
  sampler TEXT,
  noise_schedule TEXT,
  request_type TEXT,
  version INTEGER,
  signed_hash TEXT,
  base_caption TEXT,
  negative_base_caption TEXT,
  raw_comment_json TEXT,
  parse_warning TEXT,
  created_at REAL NOT NULL,
  updated_at REAL NOT NULL,
  FOREIGN KEY(media_file_id) REFERENCES media_files(id) ON DELETE CASCADE,
  FOREIGN KEY(provider_id) REFERENCES metadata_providers(id) ON DELETE SET NULL,
  FOREIGN KEY(format_id) REFERENCES metadata_formats(id) ON DELETE SET NULL
);
CREATE TABLE IF NOT EXISTS prompt_segments (
  id INTEGER PRIMARY KEY,
  generation_record_id INTEGER NOT NULL REFERENCES generation_records(id) ON DELETE CASCADE,
  segment_index INTEGER NOT NULL,
  role TEXT NOT NULL,
  is_negative INTEGER NOT NULL DEFAULT 0,
  content TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS prompt_regions (
  segment_id INTEGER NOT NULL REFERENCES prompt_segments(id) ON DELETE CASCADE,
  region_index INTEGER NOT NULL,
  center_x REAL NOT NULL,
  center_y REAL NOT NULL,
  PRIMARY KEY(segment_id, region_index)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS generation_parameters (
  generation_record_id INTEGER NOT NULL REFERENCES generation_records(id) ON DELETE CASCADE,
  key TEXT NOT NULL,
  integer_value INTEGER,
  real_value REAL,
  text_value TEXT,
  PRIMARY KEY(generation_record_id, key)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS models (
  id INTEGER PRIMARY KEY,
  provider TEXT,
  raw_source TEXT NOT NULL UNIQUE,
  display_name TEXT NOT NULL,
  normalized_key TEXT NOT NULL,
  family TEXT,
  version TEXT,
  source_hash TEXT,
  image_count INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS model_usages (
  generation_record_id INTEGER NOT NULL REFERENCES generation_records(id) ON DELETE CASCADE,
  model_id INTEGER NOT NULL REFERENCES models(id) ON DELETE CASCADE,
  usage_role TEXT NOT NULL DEFAULT 'primary',
  PRIMARY KEY(generation_record_id, model_id, usage_role)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS tag_terms (
  id INTEGER PRIMARY KEY,
  normalized_key TEXT NOT NULL UNIQUE,
  display_name TEXT NOT NULL,
  search_text TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS tag_occurrences (
  id INTEGER PRIMARY KEY,
  media_file_id INTEGER NOT NULL REFERENCES media_files(id) ON DELETE CASCADE,
  generation_record_id INTEGER REFERENCES generation_records(id) ON DELETE CASCADE,
  tag_term_id INTEGER NOT NULL REFERENCES tag_terms(id) ON DELETE CASCADE,
  source_mask INTEGER NOT NULL,
  source_role TEXT NOT NULL,
  occurrence_index INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS media_tag_index (
  media_file_id INTEGER NOT NULL REFERENCES media_files(id) ON DELETE CASCADE,
  tag_term_id INTEGER NOT NULL REFERENCES tag_terms(id) ON DELETE CASCADE,
  source_mask INTEGER NOT NULL,
  PRIMARY KEY(media_file_id, tag_term_id)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS tag_term_stats (
  tag_term_id INTEGER PRIMARY KEY REFERENCES tag_terms(id) ON DELETE CASCADE,
  image_count INTEGER NOT NULL DEFAULT 0,
  prompt_image_count INTEGER NOT NULL DEFAULT 0,
  character_image_count INTEGER NOT NULL DEFAULT 0,
  updated_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS tag_concepts (
  id INTEGER PRIMARY KEY,
  display_name TEXT NOT NULL,
  normalized_key TEXT NOT NULL UNIQUE,
  search_text TEXT NOT NULL,
  created_at REAL NOT NULL,
  updated_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS tag_concept_aliases (
  concept_id INTEGER NOT NULL REFERENCES tag_concepts(id) ON DELETE CASCADE,
  tag_term_id INTEGER NOT NULL REFERENCES tag_terms(id) ON DELETE CASCADE,
  is_active INTEGER NOT NULL DEFAULT 1,
  created_at REAL NOT NULL,
  updated_at REAL NOT NULL,
  PRIMARY KEY(concept_id, tag_term_id)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS image_concept_assignments (
  concept_id INTEGER NOT NULL REFERENCES tag_concepts(id) ON DELETE CASCADE,
  media_file_id INTEGER NOT NULL REFERENCES media_files(id) ON DELETE CASCADE,
  is_active INTEGER NOT NULL DEFAULT 1,
  created_at REAL NOT NULL,
  updated_at REAL NOT NULL,
  PRIMARY KEY(concept_id, media_file_id)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS concept_image_index (
  concept_id INTEGER NOT NULL REFERENCES tag_concepts(id) ON DELETE CASCADE,
  media_file_id INTEGER NOT NULL REFERENCES media_files(id) ON DELETE CASCADE,
  source_mask INTEGER NOT NULL,
  PRIMARY KEY(concept_id, media_file_id)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS tag_concept_stats (
  concept_id INTEGER PRIMARY KEY REFERENCES tag_concepts(id) ON DELETE CASCADE,
  image_count INTEGER NOT NULL DEFAULT 0,
  updated_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS review_states (
  media_file_id INTEGER PRIMARY KEY REFERENCES media_files(id) ON DELETE CASCADE,
  favorite INTEGER NOT NULL DEFAULT 0,
  delete_candidate INTEGER NOT NULL DEFAULT 0,
  notes TEXT,
  updated_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS indexing_jobs (
  id INTEGER PRIMARY KEY,
  root_paths TEXT NOT NULL,
  status TEXT NOT NULL,
  total_count INTEGER NOT NULL DEFAULT 0,
  processed_count INTEGER NOT NULL DEFAULT 0,
  indexed_count INTEGER NOT NULL DEFAULT 0,
  failed_count INTEGER NOT NULL DEFAULT 0,
  current_path TEXT,
  created_at REAL NOT NULL,
  updated_at REAL NOT NULL,
  completed_at REAL
);
CREATE TABLE IF NOT EXISTS indexing_queue_items (
  id INTEGER PRIMARY KEY,
  job_id INTEGER NOT NULL,
  path TEXT NOT NULL,
  file_size INTEGER,
  modification_time REAL,
  status TEXT NOT NULL,
  failure_message TEXT,
  created_at REAL NOT NULL,
  updated_at REAL NOT NULL,
  UNIQUE(job_id, path),
  FOREIGN KEY(job_id) REFERENCES indexing_jobs(id) ON DELETE CASCADE
);
CREATE TABLE IF NOT EXISTS thumbnail_jobs (
  id INTEGER PRIMARY KEY,
  media_file_id INTEGER NOT NULL UNIQUE REFERENCES media_files(id) ON DELETE CASCADE,
  source_file_size INTEGER NOT NULL,
  source_modification_time REAL NOT NULL,
  status TEXT NOT NULL,
  priority INTEGER NOT NULL DEFAULT 0,
  retry_count INTEGER NOT NULL DEFAULT 0,
  last_error TEXT,
  next_retry_at REAL,
  created_at REAL NOT NULL,
  updated_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS registered_folder_fsevent_states (
  root_path TEXT PRIMARY KEY,
  last_event_id TEXT,
  last_fallback_reason TEXT,
  last_fallback_at REAL,
  updated_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS trashed_media_files (
  media_file_id INTEGER PRIMARY KEY REFERENCES media_files(id) ON DELETE CASCADE,
  trashed_at REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS relocated_media_files (
  media_file_id INTEGER PRIMARY KEY REFERENCES media_files(id) ON DELETE CASCADE,
  last_seen_indexing_job_id INTEGER
);
CREATE TABLE IF NOT EXISTS delete_candidate_contents (
  media_file_id INTEGER PRIMARY KEY REFERENCES media_files(id) ON DELETE CASCADE,
  content_sha256 TEXT
);
CREATE INDEX IF NOT EXISTS idx_media_files_default_browse
  ON media_files(missing, modification_time DESC, id DESC);
CREATE INDEX IF NOT EXISTS idx_media_files_root_browse
  ON media_files(root_id, missing, modification_time DESC, id DESC);
CREATE INDEX IF NOT EXISTS idx_media_files_visible_filename
  ON media_files(missing, basename_normalized COLLATE NOCASE, id);
CREATE INDEX IF NOT EXISTS idx_media_files_content_sha256
  ON media_files(content_sha256) WHERE content_sha256 IS NOT NULL;
CREATE INDEX IF NOT EXISTS idx_image_properties_aspect
  ON image_properties(aspect_class, media_file_id);
CREATE INDEX IF NOT EXISTS idx_generation_records_media
  ON generation_records(media_file_id);
CREATE UNIQUE INDEX IF NOT EXISTS idx_generation_records_primary_media
  ON generation_records(media_file_id) WHERE is_primary = 1;
CREATE INDEX IF NOT EXISTS idx_generation_records_id_media
  ON generation_records(id, is_primary, media_file_id);
CREATE INDEX IF NOT EXISTS idx_generation_parameters_key_integer
  ON generation_parameters(key, integer_value, generation_record_id);
CREATE INDEX IF NOT EXISTS idx_prompt_segments_record_role
  ON prompt_segments(generation_record_id, role, is_negative);
CREATE INDEX IF NOT EXISTS idx_media_tag_index_tag_media
  ON media_tag_index(tag_term_id, media_file_id);
CREATE INDEX IF NOT EXISTS idx_tag_occurrences_media
  ON tag_occurrences(media_file_id, source_role, tag_term_id);
CREATE INDEX IF NOT EXISTS idx_tag_occurrences_generation_record
  ON tag_occurrences(generation_record_id);
CREATE INDEX IF NOT EXISTS idx_tag_concept_aliases_term
  ON tag_concept_aliases(tag_term_id, concept_id);
CREATE INDEX IF NOT EXISTS idx_image_concept_assignments_concept_media
  ON image_concept_assignments(concept_id, media_file_id);
CREATE INDEX IF NOT EXISTS idx_concept_image_index_media
  ON concept_image_index(media_file_id, concept_id);
CREATE INDEX IF NOT EXISTS idx_concept_image_index_concept_media
  ON concept_image_index(concept_id, media_file_id);
CREATE INDEX IF NOT EXISTS idx_model_usages_model_record
  ON model_usages(model_id, generation_record_id);
CREATE INDEX IF NOT EXISTS idx_models_count
  ON models(image_count DESC, display_name COLLATE NOCASE, id);
CREATE INDEX IF NOT EXISTS idx_tag_term_stats_count
  ON tag_term_stats(image_count DESC, tag_term_id);
CREATE INDEX IF NOT EXISTS idx_tag_concept_stats_count
  ON tag_concept_stats(image_count DESC, concept_id);
CREATE INDEX IF NOT EXISTS idx_review_states_delete_candidate
  ON review_states(delete_candidate, media_file_id);
CREATE INDEX IF NOT EXISTS idx_review_states_favorite
  ON review_states(favorite, media_file_id);
CREATE INDEX IF NOT EXISTS idx_indexing_jobs_status
  ON indexing_jobs(status, updated_at);
CREATE INDEX IF NOT EXISTS idx_indexing_queue_items_status
  ON indexing_queue_items(job_id, status, path);
CREATE INDEX IF NOT EXISTS idx_indexing_queue_items_status_mtime
  ON indexing_queue_items(job_id, status, modification_time DESC, path);
CREATE INDEX IF NOT EXISTS idx_thumbnail_jobs_ready
  ON thumbnail_jobs(status, next_retry_at, priority DESC, updated_at);
CREATE INDEX IF NOT EXISTS idx_thumbnail_jobs_claim_order
  ON thumbnail_jobs(status, priority DESC, source_modification_time DESC);
CREATE INDEX IF NOT EXISTS idx_media_files_path_browse
  ON media_files(absolute_path, missing, modification_time, basename_normalized COLLATE NOCASE);
CREATE INDEX IF NOT EXISTS idx_media_files_id_sort
  ON media_files(id, missing, modification_time, basename_normalized COLLATE NOCASE);
CREATE INDEX IF NOT EXISTS idx_media_files_id_modification
  ON media_files(id, missing, modification_time);
CREATE INDEX IF NOT EXISTS idx_media_files_projection_revision
  ON media_files(projection_revision);
CREATE VIRTUAL TABLE IF NOT EXISTS media_text_fts
  USING fts5(prompt, negative_prompt, source, character_captions, tags);
CREATE VIRTUAL TABLE IF NOT EXISTS tag_term_search_fts
  USING fts5(normalized_key, display_name, search_text);
CREATE VIRTUAL TABLE IF NOT EXISTS tag_concept_search_fts
  USING fts5(display_name, normalized_key, search_text);
CREATE VIRTUAL TABLE IF NOT EXISTS model_search_fts
  USING fts5(display_name, raw_source, family, version, source_hash);
)SQL";

using namespace std::string_view_literals;

constexpr std::array kMediaFiles{"absolute_path"sv, "file_size"sv, "modification_time"sv, "content_sha256"sv,
                                 "projection_revision"sv};
constexpr std::array kPayloadBlobs{"sha256"sv, "raw_text"sv, "compressed_blob"sv, "compression"sv,
                                   "byte_length"sv};
constexpr std::array kPayloads{"media_file_id"sv, "payload_key"sv, "occurrence_index"sv, "blob_sha256"sv,
                               "parse_status"sv};
constexpr std::array kGenerationRecords{"media_file_id"sv, "provider_id"sv,  "format_id"sv,
                                        "is_primary"sv,    "parse_status"sv, "parser"sv};
constexpr std::array kPromptSegments{"generation_record_id"sv, "role"sv, "is_negative"sv, "content"sv};
constexpr std::array kGenerationParameters{"generation_record_id"sv, "key"sv, "integer_value"sv,
                                           "real_value"sv, "text_value"sv};
constexpr std::array kModels{"provider"sv, "raw_source"sv, "display_name"sv, "normalized_key"sv};
constexpr std::array kModelUsages{"generation_record_id"sv, "model_id"sv, "usage_role"sv};
constexpr std::array kMediaTagIndex{"media_file_id"sv, "tag_term_id"sv, "source_mask"sv};

const std::array kRequired{
    RequiredColumns{"media_files", kMediaFiles},
    RequiredColumns{"metadata_payload_blobs", kPayloadBlobs},
    RequiredColumns{"metadata_payloads", kPayloads},
    RequiredColumns{"generation_records", kGenerationRecords},
    RequiredColumns{"prompt_segments", kPromptSegments},
    RequiredColumns{"generation_parameters", kGenerationParameters},
    RequiredColumns{"models", kModels},
    RequiredColumns{"model_usages", kModelUsages},
    RequiredColumns{"media_tag_index", kMediaTagIndex},
};

constexpr std::array kLegacyColumns{"bookmark_data"sv, "access_state"sv, "last_event_id"sv,
                                    "last_fallback_reason"sv, "last_fallback_at"sv};
constexpr std::array kLegacyTables{"saved_filter_items"sv, "tag_concept_events"sv};

}  // namespace

std::string_view script() {
  return kScript;
}
std::span<const RequiredColumns> requiredColumns() {
  return kRequired;
}
std::span<const std::string_view> legacyColumns() {
  return kLegacyColumns;
}
std::span<const std::string_view> legacyTables() {
  return kLegacyTables;
}

}  // namespace lorvex::schema
