#include "database/support/library_rows.h"

#include "database/internal/row_mappers.h"
#include "database/support/repository_connection.h"

namespace lorvex::testing {

std::int64_t insertMediaFile(SQLiteImageRepositoryV3& repository, const MediaFileRow& row) {
  auto& db = lorvex::testing::connectionOf(repository);
  auto guard = db.lock();
  db.execute(
      "INSERT INTO media_files (absolute_path, file_size, modification_time, content_sha256, "
      "projection_revision, "
      "basename_normalized, missing, first_seen_at, last_seen_at, indexed_at, last_seen_indexing_job_id) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, 0, 0, 0, ?)",
      {row.path, row.fileSize, row.modificationTime, row.contentSHA256, row.projectionRevision, row.path,
       row.missing ? 1 : 0, row.lastSeenJobID});
  const std::int64_t id = db.lastInsertRowID();
  if (row.withImageProperties) {
    db.execute("INSERT INTO image_properties (media_file_id, aspect_class, thumbnail_key) VALUES (?, 0, ?)",
               {id, row.thumbnailKey});
  }
  return id;
}

std::string mediaFileColumn(SQLiteImageRepositoryV3& repository, const std::string& path,
                            const std::string& column) {
  auto& db = lorvex::testing::connectionOf(repository);
  auto guard = db.lock();
  return db.query(
      "SELECT CAST(" + column +
          " AS TEXT) FROM media_files LEFT JOIN image_properties ON media_file_id = media_files.id "
          "WHERE absolute_path = ?",
      {path}, [](SQLiteRows& rows) {
        if (!rows.next()) return std::string("no row");
        return rows.isNull(0) ? std::string("NULL") : rows.text(0);
      });
}

}  // namespace lorvex::testing
