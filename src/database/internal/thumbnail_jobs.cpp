// Thumbnail jobs and thumbnail references: the durable queue of thumbnail work and the keys of the
// cached thumbnail files that the cache sweep checks.
#include "database/internal/thumbnail_jobs.h"

#include <string>

#include "database/internal/row_mappers.h"
#include "database/internal/sql_paths.h"
#include "model/text/paths.h"

namespace lorvex {

namespace {

constexpr const char* kPending = "pending";
constexpr const char* kProcessing = "processing";

// A job is reset to a fresh pending job when the file's version differs from the one it was for.
constexpr std::string_view kVersionChanged =
    "thumbnail_jobs.source_file_size <> excluded.source_file_size OR "
    "thumbnail_jobs.source_modification_time <> excluded.source_modification_time";

std::string thumbnailUpsertSQL(bool onePath) {
  const std::string changed(kVersionChanged);
  return std::string(
             "INSERT INTO thumbnail_jobs (media_file_id, source_file_size, source_modification_time, status, "
             "priority, "
             "retry_count, last_error, next_retry_at, created_at, updated_at) "
             "SELECT media_files.id, media_files.file_size, media_files.modification_time, ?, ?, 0, NULL, "
             "NULL, ?, ? "
             "FROM media_files JOIN image_properties ON image_properties.media_file_id = media_files.id "
             "WHERE ") +
         (onePath ? "media_files.absolute_path = ? AND " : "") +
         "media_files.missing = 0 AND image_properties.thumbnail_key IS NULL "
         "ON CONFLICT(media_file_id) DO UPDATE SET "
         "source_file_size = excluded.source_file_size, "
         "source_modification_time = excluded.source_modification_time, "
         "status = CASE WHEN " +
         changed + " THEN excluded.status ELSE thumbnail_jobs.status END, " +
         "priority = MAX(thumbnail_jobs.priority, excluded.priority), " + "retry_count = CASE WHEN " +
         changed + " THEN 0 ELSE thumbnail_jobs.retry_count END, " + "last_error = CASE WHEN " + changed +
         " THEN NULL ELSE thumbnail_jobs.last_error END, " + "next_retry_at = CASE WHEN " + changed +
         " THEN NULL ELSE thumbnail_jobs.next_retry_at END, " + "updated_at = excluded.updated_at " +
         // A job already there for this version at this priority would only get a new time: after
         // every scan, that was one rewritten row (and index entry) per image without a thumbnail.
         "WHERE " + changed + " OR excluded.priority > thumbnail_jobs.priority";
}

const std::string& thumbnailUpsertAllSQL() {
  static const std::string sql = thumbnailUpsertSQL(false);
  return sql;
}

const std::string& thumbnailUpsertOneSQL() {
  static const std::string sql = thumbnailUpsertSQL(true);
  return sql;
}

ThumbnailJobRecord decodeThumbnailJobRow(SQLiteRows& row) {
  ThumbnailJobRecord job;
  job.id = row.int64(0);
  job.mediaFileID = row.int64(1);
  job.path = row.text(2);
  job.fileInfo = ImageFileInfo{job.path, row.int64(3), row.real(4)};
  job.priority = row.int64(5) == rawValue(ThumbnailJobPriority::visible) ? ThumbnailJobPriority::visible
                                                                         : ThumbnailJobPriority::background;
  job.retryCount = row.int64(6);
  job.lastError = row.optionalText(7);
  job.nextRetryAt = row.optionalReal(8);
  return job;
}

}  // namespace

void ThumbnailJobs::upsertThumbnailJobs(const std::optional<std::string>& path, ThumbnailJobPriority priority,
                                        double now) {
  SQLiteV3Bindings bindings{kPending, rawValue(priority), now, now};
  if (path) {
    bindings.insert(bindings.begin() + 4, *path);
    connection_.execute(thumbnailUpsertOneSQL(), bindings);
  } else {
    connection_.execute(thumbnailUpsertAllSQL(), bindings);
  }
}

void ThumbnailJobs::enqueueMissingThumbnailJobs(ThumbnailJobPriority priority) {
  auto guard = connection_.lock();
  // A job is never claimed while its file is missing, and one that had failed would be listed
  // with its error for ever: the jobs follow the files. A file that comes back has no thumbnail
  // and gets a job again from the upsert of the scan that finds it.
  connection_.execute(
      "DELETE FROM thumbnail_jobs WHERE EXISTS (SELECT 1 FROM media_files WHERE media_files.id = "
      "thumbnail_jobs.media_file_id AND media_files.missing <> 0)");
  upsertThumbnailJobs(std::nullopt, priority, connection_.now());
}

void ThumbnailJobs::enqueueThumbnailJobs(const std::vector<std::string>& paths,
                                         ThumbnailJobPriority priority) {
  auto guard = connection_.lock();
  const double now = connection_.now();
  for (const auto& path : sql::standardizedUniquePaths(paths)) upsertThumbnailJobs(path, priority, now);
}

std::optional<ThumbnailJobRecord> ThumbnailJobs::claimNextThumbnailJob(double now) {
  auto guard = connection_.lock();
  // The claim-order index yields pending jobs already in claim order (the WHERE makes the job's
  // source time equal to the file's), so picking one is an index walk, not a sort of the backlog.
  // CROSS JOIN keeps thumbnail_jobs the outer loop.
  auto job = connection_.query(
      "SELECT thumbnail_jobs.id, media_files.id, media_files.absolute_path, media_files.file_size, "
      "media_files.modification_time, thumbnail_jobs.priority, thumbnail_jobs.retry_count, "
      "thumbnail_jobs.last_error, "
      "thumbnail_jobs.next_retry_at "
      "FROM thumbnail_jobs INDEXED BY idx_thumbnail_jobs_claim_order "
      "CROSS JOIN media_files ON media_files.id = thumbnail_jobs.media_file_id "
      "CROSS JOIN image_properties ON image_properties.media_file_id = media_files.id "
      "WHERE thumbnail_jobs.status = ? AND media_files.missing = 0 AND image_properties.thumbnail_key IS "
      "NULL "
      "AND thumbnail_jobs.source_file_size = media_files.file_size "
      "AND thumbnail_jobs.source_modification_time = media_files.modification_time "
      "AND (thumbnail_jobs.next_retry_at IS NULL OR thumbnail_jobs.next_retry_at <= ?) "
      "ORDER BY thumbnail_jobs.priority DESC, thumbnail_jobs.source_modification_time DESC, "
      "media_files.absolute_path ASC LIMIT 1",
      {kPending, now}, [](SQLiteRows& rows) -> std::optional<ThumbnailJobRecord> {
        if (!rows.next()) return std::nullopt;
        return decodeThumbnailJobRow(rows);
      });
  if (!job) return std::nullopt;
  connection_.execute("UPDATE thumbnail_jobs SET status = ?, updated_at = ? WHERE id = ?",
                      {kProcessing, now, job->id});
  return job;
}

void ThumbnailJobs::completeThumbnailJob(const ThumbnailJobRecord& job, std::string_view thumbnailKey) {
  connection_.performLockedTransaction([&] {
    connection_.execute(
        "UPDATE image_properties SET thumbnail_key = ? WHERE media_file_id = ? AND EXISTS ( SELECT 1 FROM "
        "media_files "
        "WHERE media_files.id = ? AND media_files.file_size = ? AND media_files.modification_time = ? "
        "AND media_files.missing = 0 )",
        {thumbnailKey, job.mediaFileID, job.mediaFileID, job.fileInfo.fileSize,
         job.fileInfo.modificationDate});
    connection_.execute("DELETE FROM thumbnail_jobs WHERE id = ?", {job.id});
  });
}

void ThumbnailJobs::failThumbnailJob(const ThumbnailJobRecord& job, std::string_view message,
                                     double nextRetryAt) {
  auto guard = connection_.lock();
  connection_.execute(
      "UPDATE thumbnail_jobs SET status = ?, retry_count = retry_count + 1, last_error = ?, next_retry_at = "
      "?, "
      "updated_at = ? WHERE id = ?",
      {kPending, message, nextRetryAt, connection_.now(), job.id});
}

void ThumbnailJobs::dropThumbnailJob(const ThumbnailJobRecord& job) {
  auto guard = connection_.lock();
  connection_.execute("DELETE FROM thumbnail_jobs WHERE id = ?", {job.id});
}

std::vector<ThumbnailJobRecord> ThumbnailJobs::failedThumbnailJobs() {
  auto guard = connection_.lock();
  return connection_.query(
      "SELECT thumbnail_jobs.id, media_files.id, media_files.absolute_path, media_files.file_size, "
      "media_files.modification_time, thumbnail_jobs.priority, thumbnail_jobs.retry_count, "
      "thumbnail_jobs.last_error, thumbnail_jobs.next_retry_at "
      "FROM thumbnail_jobs JOIN media_files ON media_files.id = thumbnail_jobs.media_file_id "
      "WHERE thumbnail_jobs.last_error IS NOT NULL ORDER BY media_files.absolute_path",
      {}, [](SQLiteRows& rows) {
        std::vector<ThumbnailJobRecord> jobs;
        while (rows.next()) jobs.push_back(decodeThumbnailJobRow(rows));
        return jobs;
      });
}

std::set<std::string> ThumbnailJobs::liveThumbnailKeys() {
  auto guard = connection_.lock();
  return connection_.query(
      "SELECT image_properties.thumbnail_key FROM image_properties JOIN media_files ON media_files.id = "
      "image_properties.media_file_id WHERE media_files.missing = 0 AND image_properties.thumbnail_key IS "
      "NOT NULL",
      {}, rows::textSet(0));
}

void ThumbnailJobs::clearThumbnailKeys(const std::set<std::string>& cacheFileNames) {
  if (cacheFileNames.empty()) return;
  connection_.performLockedTransaction([&] {
    const auto ids = connection_.query(
        "SELECT media_file_id, thumbnail_key FROM image_properties WHERE thumbnail_key IS NOT NULL", {},
        [&](SQLiteRows& rows) {
          std::vector<std::int64_t> ids;
          while (rows.next()) {
            if (cacheFileNames.contains(std::string(text::lastPathComponent(rows.text(1))))) {
              ids.push_back(rows.int64(0));
            }
          }
          return ids;
        });
    clearThumbnailKeysForMediaFiles(ids);
  });
}

void ThumbnailJobs::clearThumbnailKeysForMediaFiles(const std::vector<std::int64_t>& mediaFileIDs) {
  for (std::size_t start = 0; start < mediaFileIDs.size(); start += kClearKeysChunk) {
    const std::size_t count = std::min(kClearKeysChunk, mediaFileIDs.size() - start);
    SQLiteV3Bindings bindings(mediaFileIDs.begin() + static_cast<std::ptrdiff_t>(start),
                              mediaFileIDs.begin() + static_cast<std::ptrdiff_t>(start + count));
    connection_.execute("UPDATE image_properties SET thumbnail_key = NULL WHERE media_file_id IN " +
                            sql::inListPlaceholders(count),
                        bindings);
  }
}

void ThumbnailJobs::returnInterruptedThumbnailJobsToPending() {
  auto guard = connection_.lock();
  connection_.execute("UPDATE thumbnail_jobs SET status = ?, updated_at = ? WHERE status = ?",
                      {kPending, connection_.now(), kProcessing});
}

}  // namespace lorvex
