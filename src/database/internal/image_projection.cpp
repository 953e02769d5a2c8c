// The per-image indexing projection: one parsed image written into every table that describes it,
// in one transaction, with the statistics and derived indexes moved by the difference between the
// image's previous and new rows.
#include "database/internal/image_projection.h"

#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "database/internal/concept_index.h"
#include "database/internal/generation_record_projection.h"
#include "database/internal/indexing_jobs.h"
#include "database/internal/metadata_payload_storage.h"
#include "database/internal/model_projection.h"
#include "database/internal/prompt_tag_index.h"
#include "database/internal/row_mappers.h"
#include "database/internal/scan_bookkeeping.h"
#include "database/internal/search_query_compiler.h"
#include "database/internal/sql_paths.h"
#include "model/image_aspect.h"
#include "model/text/paths.h"
#include "model/text/unicode.h"

namespace lorvex {

namespace {

// What the library held for the image before this projection.
struct PreviousProjection {
  TagSourceMasks tagMasks;
  std::vector<std::int64_t> modelIDs;
};

PreviousProjection readPreviousProjection(SQLiteConnection& connection, std::int64_t mediaFileID) {
  PreviousProjection previous;
  previous.tagMasks =
      connection.query("SELECT tag_term_id, source_mask FROM media_tag_index WHERE media_file_id = ?",
                       {mediaFileID}, rows::int64Pairs);
  previous.modelIDs = connection.query(
      "SELECT model_usages.model_id FROM generation_records JOIN model_usages ON "
      "model_usages.generation_record_id = generation_records.id WHERE generation_records.media_file_id = ? "
      "AND generation_records.is_primary = 1",
      {mediaFileID}, rows::int64Column);
  return previous;
}

// The path below its library root, or nothing for a file outside it, the root itself, or no root.
std::optional<std::string> relativePath(SQLiteConnection& connection, const std::string& path,
                                        std::optional<std::int64_t> rootID) {
  if (!rootID) return std::nullopt;
  const auto rootPath =
      connection.query("SELECT path FROM library_roots WHERE id = ?", {*rootID}, rows::firstText);
  if (!rootPath || path == *rootPath) return std::nullopt;
  const std::string prefix = sql::folderPrefix(*rootPath);
  if (!path.starts_with(prefix)) return std::nullopt;
  return path.substr(prefix.size());
}

std::vector<std::int64_t> unionOfTagTerms(const TagSourceMasks& previous, const TagSourceMasks& current) {
  std::set<std::int64_t> ids;
  for (const auto& [termID, mask] : previous) ids.insert(termID);
  for (const auto& [termID, mask] : current) ids.insert(termID);
  return {ids.begin(), ids.end()};
}

}  // namespace

void ImageProjection::upsertRecord(const ImageRecord& record, std::optional<std::int64_t> jobID) {
  auto guard = connection_.lock();
  projectRecord(record, jobID);
}

std::int64_t ImageProjection::mediaFileID(std::string_view path) {
  auto guard = connection_.lock();
  return connection_.query("SELECT id FROM media_files WHERE absolute_path = ?", {path},
                           rows::requiredFirstInt64("", path));
}

std::vector<std::int64_t> ImageProjection::mediaFileIDs(const std::vector<std::string>& paths) {
  std::unordered_map<std::string, std::int64_t> found;
  auto guard = connection_.lock();
  sql::forEachInListSlice(paths, search::kMaxBoundListLength, [&](const std::string& inList, SQLiteV3Bindings bindings) {
    connection_.query("SELECT absolute_path, id FROM media_files WHERE absolute_path IN " + inList, bindings,
                      [&](SQLiteRows& rows) {
                        while (rows.next()) found.emplace(rows.text(0), rows.int64(1));
                        return 0;
                      });
  });
  std::vector<std::int64_t> ids;
  ids.reserve(paths.size());
  for (const std::string& path : paths) {
    const auto id = found.find(path);
    if (id == found.end()) throw SQLiteImageRepositoryV3Error::recordNotFound(path);
    ids.push_back(id->second);
  }
  return ids;
}

std::optional<std::int64_t> ImageProjection::resolveLibraryRootID(const std::string& path,
                                                                  std::optional<std::int64_t> jobID) {
  if (!jobID) return std::nullopt;
  const IndexingJobRecord job = jobs_.indexingJob(*jobID);
  const auto root = ScanBookkeeping::owningRootPath(path, job.rootPaths);
  if (!root) return std::nullopt;
  const double now = connection_.now();
  connection_.execute(
      "INSERT INTO library_roots (path, created_at, updated_at) VALUES (?, ?, ?) ON CONFLICT(path) DO UPDATE "
      "SET updated_at = excluded.updated_at",
      {*root, now, now});
  return connection_.query("SELECT id FROM library_roots WHERE path = ?", {*root},
                           rows::requiredFirstInt64("library root ", *root));
}

void ImageProjection::projectRecord(const ImageRecord& record, std::optional<std::int64_t> jobID) {
  const ImageFileInfo& file = record.file;
  const GenerationMetadata& metadata = record.metadata;
  const std::string path = text::standardizedPath(file.path);

  // What the file held before is read first: the statistics move by the difference.
  const auto existingID =
      connection_.query("SELECT id FROM media_files WHERE absolute_path = ?", {path}, rows::firstInt64);
  bool keepThumbnail = false;
  if (existingID && !record.thumbnailPath) {
    const auto stored = files_.indexedFileState(path);
    keepThumbnail = stored && stored->fileInfo.fileSize == file.fileSize &&
                    stored->fileInfo.modificationDate == file.modificationDate;
  }
  const PreviousProjection previous =
      existingID ? readPreviousProjection(connection_, *existingID) : PreviousProjection{};

  std::vector<ModelUsageProjection> models;
  for (const auto& usage : metadata.modelUsages) {
    if (const auto modelID = upsertModel(connection_, usage)) models.push_back({*modelID, usage.role});
  }
  const auto rootID = resolveLibraryRootID(path, jobID);

  const std::string basename = text::lowercased(text::lastPathComponent(path));
  const std::int64_t aspectClass = rawValue(aspectClassForDimensions(metadata.width, metadata.height));
  const double now = connection_.now();

  connection_.performTransaction([&] {
    const auto relative = relativePath(connection_, path, rootID);
    connection_.execute(
        "INSERT INTO media_files (root_id, relative_path, absolute_path, file_identity, file_size, "
        "modification_time, content_sha256, projection_revision, basename_normalized, missing, "
        "first_seen_at, last_seen_at, indexed_at, last_seen_indexing_job_id) VALUES (?, ?, ?, NULL, ?, ?, ?, "
        "?, ?, ?, ?, ?, ?, ?) ON CONFLICT(absolute_path) DO UPDATE SET root_id = excluded.root_id, "
        "relative_path = excluded.relative_path, file_size = excluded.file_size, modification_time = "
        "excluded.modification_time, projection_revision = excluded.projection_revision, basename_normalized "
        "= excluded.basename_normalized, missing = excluded.missing, last_seen_at = excluded.last_seen_at, "
        "last_seen_indexing_job_id = excluded.last_seen_indexing_job_id, indexed_at = excluded.indexed_at, "
        "content_sha256 = COALESCE(excluded.content_sha256, media_files.content_sha256)",
        {rootID, relative, path, file.fileSize, file.modificationDate, record.contentSHA256,
         kMetadataProjectionRevision, basename, record.isMissing, now, now, now, jobID});
    const std::int64_t mediaID = connection_.query("SELECT id FROM media_files WHERE absolute_path = ?",
                                                   {path}, rows::requiredFirstInt64("", path));

    connection_.execute(
        "INSERT INTO image_properties (media_file_id, width, height, aspect_class, thumbnail_key) VALUES (?, "
        "?, ?, ?, ?) ON CONFLICT(media_file_id) DO UPDATE SET width = excluded.width, height = "
        "excluded.height, aspect_class = excluded.aspect_class, thumbnail_key = CASE WHEN "
        "excluded.thumbnail_key IS NOT NULL THEN excluded.thumbnail_key WHEN ? THEN "
        "image_properties.thumbnail_key ELSE NULL END",
        {mediaID, metadata.width, metadata.height, aspectClass, record.thumbnailPath, keepThumbnail});
    connection_.execute(
        "INSERT INTO review_states (media_file_id, favorite, delete_candidate, notes, updated_at) VALUES (?, "
        "?, ?, ?, ?) ON CONFLICT(media_file_id) DO NOTHING",
        {mediaID, record.reviewState.favorite, record.reviewState.deleteCandidate, record.reviewState.notes,
         now});

    const MetadataSourceIDs source = upsertMetadataSource(connection_, metadata);
    const std::int64_t recordID =
        replacePrimaryGenerationRecord(connection_, metadata, source, mediaID, models, now);
    replaceMetadataPayloads(connection_, metadata, source, mediaID, now);
    replaceCharacterSegments(connection_, metadata.characterCaptions, recordID, false);
    replaceCharacterSegments(connection_, metadata.negativeCharacterCaptions, recordID, true);

    const TagSourceMasks tagMasks = replaceTagRows(connection_, record, mediaID);
    replaceMediaTextFTSRow(connection_, record, mediaID);
    applyTagTermStatsDeltas(connection_, previous.tagMasks, tagMasks, now);
    updateConceptIndexForMediaFile(
        connection_, mediaID, conceptIDs(connection_, unionOfTagTerms(previous.tagMasks, tagMasks)), now);

    std::vector<std::int64_t> modelIDs;
    for (const auto& usage : models) modelIDs.push_back(usage.modelID);
    applyModelCountDeltas(connection_, previous.modelIDs, modelIDs);
  });
}

}  // namespace lorvex
