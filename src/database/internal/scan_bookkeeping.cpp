// Media file scan bookkeeping: what a scan asks and records about files between projections.
// Rows are never deleted here; a vanished file is marked missing and keeps its review state.
#include "database/internal/scan_bookkeeping.h"

#include <algorithm>
#include <string>
#include <vector>

#include "database/internal/review_states.h"
#include "database/internal/row_mappers.h"
#include "database/internal/search_query_compiler.h"
#include "database/internal/sql_paths.h"
#include "database/internal/thumbnail_jobs.h"
#include "model/text/paths.h"

namespace lorvex {

namespace {

// A path and everything under it, as a range of the path index: marking one vanished file costs
// a lookup, not a walk of the whole table (a folder renamed back mid-scan leaves thousands).
const std::string& markMissingUnder() {
  static const std::string statement =
      "UPDATE media_files SET missing = 1 WHERE missing = 0 AND " + sql::pathRangePredicate("absolute_path");
  return statement;
}

// A path predicate binds three values per path: this many paths keep one statement within the
// bound-list limit, however many folders a caller names.
constexpr std::size_t kPathsPerStatement = search::kMaxBoundListLength / 3;

constexpr std::string_view kIndexedFileStateColumns =
    "SELECT absolute_path, file_size, modification_time, projection_revision, missing, content_sha256 FROM "
    "media_files ";

IndexedImageFileState indexedFileStateOf(SQLiteRows& rows) {
  return {ImageFileInfo{rows.text(0), rows.int64(1), rows.real(2)}, rows.int64(3), rows.int64(4) != 0,
          rows.optionalText(5)};
}

// An image the program moved to the Trash is at its place again: the person put it back, so it is
// kept after all. It comes back without its delete-candidate mark; a favourite and notes stay.
constexpr std::string_view kKeepRestoredFromTrash =
    "UPDATE review_states SET delete_candidate = 0, updated_at = ? WHERE delete_candidate <> 0 AND "
    "media_file_id IN (SELECT media_file_id FROM trashed_media_files WHERE media_file_id = (SELECT id FROM "
    "media_files WHERE absolute_path = ?))";
constexpr std::string_view kForgetTrashing =
    "DELETE FROM trashed_media_files WHERE media_file_id = (SELECT id FROM media_files WHERE absolute_path = "
    "?)";

std::optional<ReviewState> reviewStateOf(SQLiteConnection& connection, const std::string& path,
                                         std::int64_t* mediaID = nullptr) {
  return connection.query(
      "SELECT media_files.id, COALESCE(review_states.favorite, 0), COALESCE(review_states.delete_candidate, "
      "0), review_states.notes FROM media_files LEFT JOIN review_states ON review_states.media_file_id = "
      "media_files.id WHERE media_files.absolute_path = ?",
      {path}, [&](SQLiteRows& rows) -> std::optional<ReviewState> {
        if (!rows.next()) return std::nullopt;
        if (mediaID != nullptr) *mediaID = rows.int64(0);
        return ReviewState{rows.int64(1) != 0, rows.int64(2) != 0, rows.optionalText(3)};
      });
}

void writeReviewState(SQLiteConnection& connection, std::int64_t mediaID, const ReviewState& state) {
  connection.execute(
      "INSERT INTO review_states (media_file_id, favorite, delete_candidate, notes, updated_at) VALUES (?, "
      "?, "
      "?, ?, ?) ON CONFLICT(media_file_id) DO UPDATE SET favorite = excluded.favorite, delete_candidate = "
      "excluded.delete_candidate, notes = excluded.notes, updated_at = excluded.updated_at",
      {mediaID, state.favorite, state.deleteCandidate, state.notes, connection.now()});
}

template <typename Body>
void forEachPathChunk(const std::vector<std::string>& paths, Body body) {
  for (std::size_t start = 0; start < paths.size(); start += kPathsPerStatement) {
    const std::size_t end = std::min(paths.size(), start + kPathsPerStatement);
    body(std::vector<std::string>(paths.begin() + static_cast<std::ptrdiff_t>(start),
                                  paths.begin() + static_cast<std::ptrdiff_t>(end)));
  }
}

}  // namespace

std::optional<IndexedImageFileState> ScanBookkeeping::indexedFileState(std::string_view path) {
  auto guard = connection_.lock();
  return connection_.query(std::string(kIndexedFileStateColumns) + "WHERE absolute_path = ?",
                           {text::standardizedPath(path)},
                           [](SQLiteRows& rows) -> std::optional<IndexedImageFileState> {
                             if (!rows.next()) return std::nullopt;
                             return indexedFileStateOf(rows);
                           });
}

bool ScanBookkeeping::hasFilesNeedingReprojection(const std::vector<std::string>& paths) {
  const auto standardized = sql::standardizedUniquePaths(paths);
  if (standardized.empty()) return false;
  // A pure read of committed rows: beside the writer, so that it never waits for a scan's batch.
  // The revision goes first, as two ranges of its index: only rows of another revision are read,
  // which in a library that is up to date are none, however many files the folders hold. The
  // folders are tested on those rows alone.
  return reader_.performRead([&] {
    bool found = false;
    forEachPathChunk(standardized, [&](const std::vector<std::string>& chunk) {
      if (found) return;
      SQLiteV3Bindings bindings{kMetadataProjectionRevision, kMetadataProjectionRevision};
      for (auto& binding : sql::pathPrefixBindings(chunk)) bindings.push_back(std::move(binding));
      found = reader_.query(
          "SELECT 1 FROM media_files INDEXED BY idx_media_files_projection_revision WHERE "
          "(projection_revision < ? "
          "OR projection_revision > ?) AND missing = 0 AND " +
              sql::pathPrefixPredicate("absolute_path", chunk.size()) + " LIMIT 1",
          bindings, rows::exists);
    });
    return found;
  });
}

void ScanBookkeeping::markObserved(const ImageFileInfo& file, std::int64_t jobID,
                                   const ContentRelocation& relocation) {
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
    keepRestoredFromTrash(path);
    relocateInto(path, relocation);
  });
}

void ScanBookkeeping::keepRestoredFromTrash(const std::string& path) {
  connection_.execute(kKeepRestoredFromTrash, {connection_.now(), path});
  connection_.execute(kForgetTrashing, {path});
}

void ScanBookkeeping::markSeenAfterFailure(std::string_view path, std::int64_t jobID) {
  const std::string standardized = text::standardizedPath(path);
  connection_.performLockedTransaction([&] {
    connection_.execute(
        "UPDATE media_files SET missing = 0, last_seen_indexing_job_id = ?, projection_revision = ? "
        "WHERE absolute_path = ?",
        {jobID, kMetadataProjectionRevision, standardized});
    keepRestoredFromTrash(standardized);
  });
}

std::vector<ContentPlace> ScanBookkeeping::contentPlaces(std::string_view contentSHA256,
                                                         std::string_view path) {
  auto guard = connection_.lock();
  // A missing record hands its review state on once: an image the program moved to the Trash is
  // gone for good, and one that a file took over (relocated_media_files, as long as the record was
  // not seen again since) continues in that file.
  return connection_.query(
      "SELECT absolute_path, missing FROM media_files WHERE content_sha256 = ? AND absolute_path <> ? AND "
      "(missing = 0 OR (NOT EXISTS (SELECT 1 FROM trashed_media_files WHERE "
      "trashed_media_files.media_file_id "
      "= media_files.id) AND NOT EXISTS (SELECT 1 FROM relocated_media_files WHERE "
      "relocated_media_files.media_file_id = media_files.id AND "
      "relocated_media_files.last_seen_indexing_job_id IS media_files.last_seen_indexing_job_id))) ORDER BY "
      "absolute_path",
      {contentSHA256, text::standardizedPath(path)}, [](SQLiteRows& rows) {
        std::vector<ContentPlace> places;
        while (rows.next()) places.push_back({rows.text(0), rows.int64(1) != 0});
        return places;
      });
}

void ScanBookkeeping::markContentChanged(std::string_view path) {
  auto guard = connection_.lock();
  connection_.execute("UPDATE media_files SET projection_revision = 0 WHERE absolute_path = ?",
                      {text::standardizedPath(path)});
}

void ScanBookkeeping::exchangeReviewStates(const std::string& target, const std::string& other,
                                           const std::string& otherContent) {
  std::int64_t targetID = 0;
  std::int64_t otherID = 0;
  const auto here = reviewStateOf(connection_, target, &targetID);
  const auto there = reviewStateOf(connection_, text::standardizedPath(other), &otherID);
  if (!here || !there) return;
  // Looked up before a batch was written: the other file's write may have made the exchange
  // already (its record no longer names the content that is here now).
  const auto contentOf = [&](std::int64_t id) {
    return connection_.query("SELECT content_sha256 FROM media_files WHERE id = ?", {id},
                             [](SQLiteRows& rows) -> std::optional<std::string> {
                               if (!rows.next()) return std::nullopt;
                               return rows.optionalText(0);
                             });
  };
  const std::optional<std::string> content = contentOf(targetID);
  if (!content || contentOf(otherID) != content) return;
  if (*here != *there) {
    writeReviewState(connection_, targetID, *there);
    writeReviewState(connection_, otherID, *here);
  }
  exchangeDeleteCandidateContents(connection_, targetID, otherID);
  // The other file holds what this one held: its record is read again (metadata, thumbnail) at its
  // next scan, and meanwhile no longer names the content that is here now.
  connection_.execute("UPDATE media_files SET content_sha256 = ?, projection_revision = 0 WHERE id = ?",
                      {otherContent, otherID});
  connection_.execute("UPDATE image_properties SET thumbnail_key = NULL WHERE media_file_id = ?", {otherID});
}

void ScanBookkeeping::relocateInto(const std::string& target, const ContentRelocation& relocation) {
  if (relocation.empty()) return;
  if (relocation.swappedWith)
    exchangeReviewStates(target, *relocation.swappedWith, relocation.swappedContent);
  std::int64_t targetID = 0;
  const auto own = reviewStateOf(connection_, target, &targetID);
  std::vector<std::int64_t> sourceIDs;
  std::vector<ReviewState> sources;
  for (const auto& given : relocation.reviewSources) {
    std::int64_t id = 0;
    if (const auto state = reviewStateOf(connection_, text::standardizedPath(given), &id)) {
      sourceIDs.push_back(id);
      sources.push_back(*state);
    }
  }
  // A record with a review of its own keeps it, and the records it came from keep theirs.
  if (own && *own == ReviewState{} && !sources.empty()) {
    const ReviewStateHandover handover = handOverReviewState(sources);
    if (handover.taken != ReviewState{}) {
      writeReviewState(connection_, targetID, handover.taken);
      for (std::size_t i = 0; i < sources.size(); ++i) {
        if (handover.left[i] != sources[i]) writeReviewState(connection_, sourceIDs[i], handover.left[i]);
      }
      // Only one record hands a delete-candidate mark on, with the content it was given on.
      if (handover.taken.deleteCandidate)
        moveDeleteCandidateContent(connection_, sourceIDs.front(), targetID);
    }
  }
  // The content of each source continues in this file, whether or not it took the review: the
  // record gives its review state to no other file while it stays missing.
  for (const std::int64_t id : sourceIDs) {
    connection_.execute(
        "INSERT OR REPLACE INTO relocated_media_files (media_file_id, last_seen_indexing_job_id) SELECT id, "
        "last_seen_indexing_job_id FROM media_files WHERE id = ?",
        {id});
  }
  for (const auto& given : relocation.movedPaths) {
    const std::string path = text::standardizedPath(given);
    if (!path.empty()) connection_.execute(markMissingUnder(), sql::pathRangeBindings(path));
  }
}

void ScanBookkeeping::markMissingIfNotSeen(std::int64_t jobID, const std::vector<std::string>& rootPaths) {
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

void ScanBookkeeping::markMissing(const std::vector<std::string>& paths) {
  connection_.performLockedTransaction([&] {
    for (const auto& given : paths) {
      const std::string path = text::standardizedPath(given);
      if (path.empty()) continue;
      connection_.execute(markMissingUnder(), sql::pathRangeBindings(path));
    }
  });
}

void ScanBookkeeping::markTrashedPathsMissing(const std::vector<std::string>& paths) {
  connection_.performLockedTransaction([&] {
    for (const auto& given : paths) {
      const std::string path = text::standardizedPath(given);
      if (path.empty()) continue;
      const auto bindings = sql::pathRangeBindings(path);
      const auto ids = connection_.query(
          "SELECT id FROM media_files WHERE missing = 0 AND " + sql::pathRangePredicate("absolute_path"),
          bindings, rows::int64Column);
      connection_.execute(markMissingUnder(), bindings);
      thumbnails_.clearThumbnailKeysForMediaFiles(ids);
      const double now = connection_.now();
      for (const std::int64_t id : ids) {
        connection_.execute(
            "INSERT INTO trashed_media_files (media_file_id, trashed_at) VALUES (?, ?) ON "
            "CONFLICT(media_file_id) DO UPDATE SET trashed_at = excluded.trashed_at",
            {id, now});
      }
    }
  });
}

std::unordered_map<std::string, StoredMediaFile> ScanBookkeeping::storedFiles(
    const std::vector<std::string>& paths) {
  std::unordered_map<std::string, StoredMediaFile> stored;
  sql::forEachInListSlice(
      paths, search::kMaxBoundListLength, [&](const std::string& list, SQLiteV3Bindings bindings) {
        connection_.query(
            "SELECT absolute_path, id, file_size, modification_time, projection_revision, missing FROM "
            "media_files WHERE absolute_path IN " +
                list,
            bindings, [&](SQLiteRows& rows) {
              while (rows.next()) {
                stored[rows.text(0)] = {rows.int64(1), rows.int64(2), rows.real(3), rows.int64(4),
                                        rows.int64(5) != 0};
              }
              return 0;
            });
      });
  return stored;
}

void ScanBookkeeping::observeStoredFiles(
    std::int64_t jobID, const std::vector<std::pair<StoredMediaFile, const ImageFileInfo*>>& files) {
  std::vector<std::int64_t> same;
  std::vector<std::pair<std::int64_t, const ImageFileInfo*>> moved;
  for (const auto& [row, file] : files) {
    if (row.fileSize == file->fileSize && row.modificationTime == file->modificationDate) {
      same.push_back(row.id);
    } else {
      moved.emplace_back(row.id, file);
    }
  }
  // Setting `missing` rewrites the browse indexes' entries even when it keeps its value: only
  // the rows that were missing get it.
  sql::forEachInListSlice(
      same, search::kMaxBoundListLength, [&](const std::string& list, const SQLiteV3Bindings& bindings) {
        connection_.execute("UPDATE media_files SET last_seen_indexing_job_id = ? WHERE id IN " + list,
                            sql::prefixedBindings({jobID}, bindings));
        connection_.execute("UPDATE media_files SET missing = 0 WHERE missing <> 0 AND id IN " + list,
                            bindings);
      });
  for (const auto& [id, file] : moved) {
    connection_.execute("UPDATE image_properties SET thumbnail_key = NULL WHERE media_file_id = ?", {id});
    connection_.execute(
        "UPDATE media_files SET content_sha256 = NULL, file_size = ?, modification_time = ?, missing = 0, "
        "last_seen_indexing_job_id = ? WHERE id = ?",
        {file->fileSize, file->modificationDate, jobID, id});
  }
}

std::vector<std::optional<IndexedImageFileState>> ScanBookkeeping::indexedFileStates(
    const std::vector<std::string>& paths) {
  std::vector<std::string> standardized;
  standardized.reserve(paths.size());
  for (const auto& path : paths) standardized.push_back(text::standardizedPath(path));
  auto guard = connection_.lock();
  std::unordered_map<std::string, IndexedImageFileState> found;
  sql::forEachInListSlice(standardized, search::kMaxBoundListLength,
                          [&](const std::string& list, const SQLiteV3Bindings& bindings) {
                            connection_.query(
                                std::string(kIndexedFileStateColumns) + "WHERE absolute_path IN " + list,
                                bindings, [&](SQLiteRows& rows) {
                                  while (rows.next()) {
                                    IndexedImageFileState state = indexedFileStateOf(rows);
                                    found.emplace(state.fileInfo.path, std::move(state));
                                  }
                                  return 0;
                                });
                          });
  std::vector<std::optional<IndexedImageFileState>> states;
  states.reserve(paths.size());
  for (const auto& path : standardized) {
    const auto it = found.find(path);
    states.push_back(it == found.end() ? std::nullopt : std::optional(it->second));
  }
  return states;
}

void ScanBookkeeping::markSeenUnder(std::string_view path, std::int64_t jobID) {
  const std::string standardized = text::standardizedPath(path);
  if (standardized.empty()) return;
  const std::string prefix = sql::folderPrefix(standardized);
  auto guard = connection_.lock();
  connection_.execute(
      "UPDATE media_files SET last_seen_indexing_job_id = ? WHERE missing = 0 AND (absolute_path = ? OR "
      "substr(absolute_path, 1, length(?)) = ?)",
      {jobID, standardized, prefix, prefix});
}

std::optional<std::string> ScanBookkeeping::owningRootPath(std::string_view path,
                                                           const std::vector<std::string>& rootPaths) {
  std::optional<std::string> owner;
  for (const auto& root : sql::standardizedUniquePaths(rootPaths)) {
    const bool owns = path == root || path.starts_with(sql::folderPrefix(root));
    if (owns && (!owner || root.size() > owner->size())) owner = root;
  }
  return owner;
}

}  // namespace lorvex
