// Media file scan bookkeeping: what a scan asks and records about files between projections.
// Rows are never deleted here; a vanished file is marked missing and keeps its review state.
#include <algorithm>
#include <string>
#include <vector>

#include "database/row_mappers.h"
#include "database/search_query_compiler.h"
#include "database/sql_paths.h"
#include "database/sqlite_image_repository.h"
#include "model/text/paths.h"

namespace lorvex {

namespace {

constexpr std::string_view kMarkMissingUnder =
    "UPDATE media_files SET missing = 1 WHERE missing = 0 AND (absolute_path = ? OR substr(absolute_path, 1, "
    "length(?)) = ?)";

// A path predicate binds three values per path: this many paths keep one statement within the
// bound-list limit, however many folders a caller names.
constexpr std::size_t kPathsPerStatement = search::kMaxBoundListLength / 3;

template <typename Body>
void forEachPathChunk(const std::vector<std::string>& paths, Body body) {
  for (std::size_t start = 0; start < paths.size(); start += kPathsPerStatement) {
    const std::size_t end = std::min(paths.size(), start + kPathsPerStatement);
    body(std::vector<std::string>(paths.begin() + static_cast<std::ptrdiff_t>(start),
                                  paths.begin() + static_cast<std::ptrdiff_t>(end)));
  }
}

}  // namespace

std::optional<IndexedImageFileState> SQLiteImageRepositoryV3::indexedFileState(std::string_view path) {
  auto guard = connection_.lock();
  return connection_.query(
      "SELECT absolute_path, file_size, modification_time, projection_revision FROM media_files "
      "WHERE absolute_path = ?",
      {text::standardizedPath(path)}, [](SQLiteRows& rows) -> std::optional<IndexedImageFileState> {
        if (!rows.next()) return std::nullopt;
        return IndexedImageFileState{ImageFileInfo{rows.text(0), rows.int64(1), rows.real(2)}, rows.int64(3)};
      });
}

bool SQLiteImageRepositoryV3::hasFilesNeedingReprojection(const std::vector<std::string>& paths) {
  const auto standardized = sql::standardizedUniquePaths(paths);
  if (standardized.empty()) return false;
  auto guard = connection_.lock();
  bool found = false;
  forEachPathChunk(standardized, [&](const std::vector<std::string>& chunk) {
    if (found) return;
    auto bindings = sql::pathPrefixBindings(chunk);
    bindings.emplace_back(kMetadataProjectionRevision);
    found = connection_.query("SELECT 1 FROM media_files WHERE " +
                                  sql::pathPrefixPredicate("absolute_path", chunk.size()) +
                                  " AND missing = 0 AND projection_revision <> ? LIMIT 1",
                              bindings, rows::exists);
  });
  return found;
}

void SQLiteImageRepositoryV3::markObserved(const ImageFileInfo& file, std::int64_t jobID) {
  const std::string path = text::standardizedPath(file.path);
  const SQLiteV3Bindings changed{path, file.fileSize, file.modificationDate};
  // The two clearing statements compare with the stored values before the last one overwrites them.
  connection_.performLockedTransaction([&] {
    connection_.execute(
        "UPDATE image_properties SET thumbnail_key = NULL WHERE media_file_id IN (SELECT id FROM media_files "
        "WHERE absolute_path = ? AND (file_size <> ? OR modification_time <> ?))",
        changed);
    connection_.execute(
        "UPDATE media_files SET content_sha256 = NULL WHERE absolute_path = ? AND (file_size <> ? OR "
        "modification_time <> ?)",
        changed);
    connection_.execute(
        "UPDATE media_files SET file_size = ?, modification_time = ?, missing = 0, last_seen_indexing_job_id "
        "= ? "
        "WHERE absolute_path = ?",
        {file.fileSize, file.modificationDate, jobID, path});
  });
}

void SQLiteImageRepositoryV3::markSeenAfterFailure(std::string_view path, std::int64_t jobID) {
  auto guard = connection_.lock();
  connection_.execute(
      "UPDATE media_files SET missing = 0, last_seen_indexing_job_id = ?, projection_revision = ? "
      "WHERE absolute_path = ?",
      {jobID, kMetadataProjectionRevision, text::standardizedPath(path)});
}

std::vector<std::string> SQLiteImageRepositoryV3::relocationCandidatePaths(std::string_view contentSHA256,
                                                                           std::string_view path) {
  auto guard = connection_.lock();
  return connection_.query(
      "SELECT absolute_path FROM media_files WHERE missing = 0 AND content_sha256 = ? AND absolute_path <> ? "
      "ORDER BY absolute_path",
      {contentSHA256, text::standardizedPath(path)}, rows::textColumn);
}

void SQLiteImageRepositoryV3::markMissingIfNotSeen(std::int64_t jobID,
                                                   const std::vector<std::string>& rootPaths) {
  const auto roots = sql::standardizedUniquePaths(rootPaths);
  if (roots.empty()) return;
  // One transaction, so a run's roots are all marked or none is.
  connection_.performLockedTransaction([&] {
    forEachPathChunk(roots, [&](const std::vector<std::string>& chunk) {
      auto bindings = sql::pathPrefixBindings(chunk);
      bindings.emplace_back(jobID);
      connection_.execute("UPDATE media_files SET missing = 1 WHERE " +
                              sql::pathPrefixPredicate("absolute_path", chunk.size()) +
                              " AND COALESCE(last_seen_indexing_job_id, -1) <> ?",
                          bindings);
    });
  });
}

void SQLiteImageRepositoryV3::markMissing(const std::vector<std::string>& paths) {
  connection_.performLockedTransaction([&] {
    for (const auto& given : paths) {
      const std::string path = text::standardizedPath(given);
      if (path.empty()) continue;
      connection_.execute(kMarkMissingUnder, sql::pathPrefixBindings({path}));
    }
  });
}

void SQLiteImageRepositoryV3::markTrashedPathsMissing(const std::vector<std::string>& paths) {
  connection_.performLockedTransaction([&] {
    for (const auto& given : paths) {
      const std::string path = text::standardizedPath(given);
      if (path.empty()) continue;
      const auto bindings = sql::pathPrefixBindings({path});
      const auto ids = connection_.query(
          "SELECT id FROM media_files WHERE missing = 0 AND (absolute_path = ? OR substr(absolute_path, 1, "
          "length(?)) = ?)",
          bindings, rows::int64Column);
      connection_.execute(kMarkMissingUnder, bindings);
      clearThumbnailKeysForMediaFiles(ids);
    }
  });
}

std::optional<std::string> SQLiteImageRepositoryV3::owningRootPath(
    std::string_view path, const std::vector<std::string>& rootPaths) {
  std::optional<std::string> owner;
  for (const auto& root : sql::standardizedUniquePaths(rootPaths)) {
    const bool owns = path == root || path.starts_with(sql::folderPrefix(root));
    if (owns && (!owner || root.size() > owner->size())) owner = root;
  }
  return owner;
}

}  // namespace lorvex
