// How many live and missing images lie at or under each registered folder, for the sidebar.
#include "database/internal/scan_bookkeeping.h"
#include "database/internal/sql_paths.h"

namespace lorvex {

std::vector<RegisteredFolderImageCounts> ScanBookkeeping::folderImageCounts(
    const std::vector<std::string>& paths) {
  const std::vector<std::string> folders = sql::standardizedUniquePaths(paths);
  if (folders.empty()) return {};
  // The range form of the folder predicate lets SQLite walk the unique index on absolute_path
  // instead of reading every file of the library once per folder; the review row is looked up
  // only for the few missing files.
  const std::string sql =
      "SELECT SUM(CASE WHEN media_files.missing = 0 THEN 1 ELSE 0 END), "
      "SUM(CASE WHEN media_files.missing = 1 AND COALESCE((SELECT review_states.delete_candidate "
      "FROM review_states WHERE review_states.media_file_id = media_files.id), 0) = 0 THEN 1 ELSE 0 END) "
      "FROM media_files WHERE " +
      sql::pathRangePredicate("media_files.absolute_path");

  // Every folder counted in the same committed state, also while a scan commits image after image.
  return reader_.performRead([&] {
    std::vector<RegisteredFolderImageCounts> counts;
    counts.reserve(folders.size());
    for (const std::string& folder : folders) {
      counts.push_back(reader_.query(sql, sql::pathRangeBindings(folder), [&](SQLiteRows& rows) {
        RegisteredFolderImageCounts result{folder, 0, 0};
        if (rows.next()) {
          result.indexedImageCount = rows.int64(0);  // NULL (no file) reads 0
          result.missingImageCount = rows.int64(1);
        }
        return result;
      }));
    }
    return counts;
  });
}

}  // namespace lorvex
