// The user's review flags of images: writing one image's state or a batch of them, and putting back a batch
// of delete-candidate flags when the user undoes a change.
#include "database/internal/review_states.h"

#include <algorithm>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "database/internal/image_projection.h"
#include "database/internal/library_search.h"
#include "database/internal/sql_paths.h"
#include "model/text/paths.h"
#include "platform/log.h"

namespace lorvex {

namespace {

using Error = SQLiteImageRepositoryV3Error;

constexpr std::string_view kReviewStateUpsert =
    "INSERT INTO review_states (media_file_id, favorite, delete_candidate, notes, updated_at) "
    "VALUES (?, ?, ?, ?, ?) ON CONFLICT(media_file_id) DO UPDATE SET favorite = excluded.favorite, "
    "delete_candidate = excluded.delete_candidate, notes = excluded.notes, "
    "updated_at = excluded.updated_at";

SQLiteV3Bindings reviewStateUpsertBindings(std::int64_t mediaFileID, const ReviewState& state, double now) {
  return {mediaFileID, state.favorite ? 1 : 0, state.deleteCandidate ? 1 : 0, state.notes, now};
}

constexpr std::string_view kRestoreUpsertHead = "WITH requested(path, delete_candidate) AS ( VALUES ";
constexpr std::string_view kRestoreUpsertTail =
    " ) INSERT INTO review_states (media_file_id, favorite, delete_candidate, notes, updated_at) "
    "SELECT media_files.id, COALESCE(review_states.favorite, 0), requested.delete_candidate, "
    "review_states.notes, ? FROM requested JOIN media_files ON media_files.absolute_path = requested.path "
    "LEFT JOIN review_states ON review_states.media_file_id = media_files.id "
    // Without "WHERE 1" SQLite reads the upsert's ON as a join constraint of the SELECT.
    "WHERE 1 ON CONFLICT(media_file_id) DO UPDATE SET delete_candidate = excluded.delete_candidate, "
    "updated_at = excluded.updated_at";

std::string restoreUpsertSQL(std::size_t count) {
  std::string sql(kRestoreUpsertHead);
  for (std::size_t i = 0; i < count; ++i) sql += i == 0 ? "(?, ?)" : ", (?, ?)";
  sql += kRestoreUpsertTail;
  return sql;
}

template <typename Body>
void forEachRestoreBatch(const std::vector<DeleteCandidateStateRestore>& restores, Body body) {
  const std::size_t batch = ReviewStates::kDeleteCandidateRestoreBatchSize;
  for (std::size_t start = 0; start < restores.size(); start += batch) {
    body(std::span<const DeleteCandidateStateRestore>(restores).subspan(
        start, std::min(batch, restores.size() - start)));
  }
}

}  // namespace

ReviewStateHandover handOverReviewState(const std::vector<ReviewState>& records) {
  ReviewStateHandover handover;
  if (records.size() == 1) {
    handover.taken = records.front();
    handover.left.emplace_back();
    return handover;
  }
  handover.left = records;
  for (ReviewState& record : handover.left) {
    handover.taken.favorite = handover.taken.favorite || record.favorite;
    record.favorite = false;
    if (!handover.taken.notes && record.notes)
      handover.taken.notes = std::exchange(record.notes, std::nullopt);
  }
  return handover;
}

void noteDeleteCandidateContent(SQLiteConnection& connection, std::int64_t mediaFileID) {
  connection.execute(
      "INSERT OR REPLACE INTO delete_candidate_contents (media_file_id, content_sha256) SELECT id, "
      "content_sha256 FROM media_files WHERE id = ? AND NOT EXISTS (SELECT 1 FROM review_states WHERE "
      "media_file_id = ? AND delete_candidate <> 0)",
      {mediaFileID, mediaFileID});
}

void moveDeleteCandidateContent(SQLiteConnection& connection, std::int64_t fromMediaFileID,
                                std::int64_t toMediaFileID) {
  connection.execute(
      "INSERT OR REPLACE INTO delete_candidate_contents (media_file_id, content_sha256) SELECT ?, "
      "COALESCE((SELECT content_sha256 FROM delete_candidate_contents WHERE media_file_id = ?), "
      "content_sha256) FROM media_files WHERE id = ?",
      {toMediaFileID, fromMediaFileID, fromMediaFileID});
}

void exchangeDeleteCandidateContents(SQLiteConnection& connection, std::int64_t first, std::int64_t second) {
  using Row = std::optional<std::optional<std::string>>;
  const auto rowOf = [&](std::int64_t id) {
    return connection.query("SELECT content_sha256 FROM delete_candidate_contents WHERE media_file_id = ?",
                            {id}, [](SQLiteRows& rows) -> Row {
                              if (!rows.next()) return std::nullopt;
                              return rows.optionalText(0);
                            });
  };
  const Row firstRow = rowOf(first);
  const Row secondRow = rowOf(second);
  connection.execute("DELETE FROM delete_candidate_contents WHERE media_file_id IN (?, ?)", {first, second});
  for (const auto& [id, row] : {std::pair{first, secondRow}, std::pair{second, firstRow}}) {
    if (row) {
      connection.execute(
          "INSERT INTO delete_candidate_contents (media_file_id, content_sha256) VALUES (?, ?)", {id, *row});
    }
  }
}

std::optional<std::string> deleteCandidateContent(SQLiteConnection& connection, std::string_view path) {
  return connection.query(
      "SELECT COALESCE((SELECT content_sha256 FROM delete_candidate_contents WHERE media_file_id = "
      "media_files.id), content_sha256) FROM media_files WHERE absolute_path = ?",
      {text::standardizedPath(path)}, [](SQLiteRows& rows) -> std::optional<std::string> {
        if (!rows.next()) return std::nullopt;
        return rows.optionalText(0);
      });
}

void ReviewStates::updateReviewState(std::string_view path, const ReviewState& state) {
  const std::string standardized = text::standardizedPath(path);
  auto guard = connection_.lock();
  const std::int64_t id = projection_.mediaFileID(standardized);
  connection_.performTransaction([&] {
    if (state.deleteCandidate) noteDeleteCandidateContent(connection_, id);
    connection_.execute(kReviewStateUpsert, reviewStateUpsertBindings(id, state, connection_.now()));
  });
}

void ReviewStates::updateReviewStates(const std::vector<ReviewStateUpdate>& updates) {
  if (updates.empty()) return;
  std::vector<std::string> paths;
  paths.reserve(updates.size());
  for (const auto& update : updates) paths.push_back(text::standardizedPath(update.path));

  // Held from the lookup to the COMMIT, so no id can go stale in between.
  auto guard = connection_.lock();
  const std::vector<std::int64_t> ids = projection_.mediaFileIDs(paths);
  const double now = connection_.now();
  connection_.performTransaction([&] {
    // In request order, so a later entry for the same image overwrites an earlier one.
    for (std::size_t i = 0; i < updates.size(); ++i) {
      if (updates[i].state.deleteCandidate) noteDeleteCandidateContent(connection_, ids[i]);
      connection_.execute(kReviewStateUpsert, reviewStateUpsertBindings(ids[i], updates[i].state, now));
    }
  });
}

std::vector<ImageRecord> ReviewStates::restoreDeleteCandidateStates(
    const std::vector<DeleteCandidateStateRestore>& requested) {
  if (requested.empty()) return {};

  std::vector<DeleteCandidateStateRestore> restores;
  restores.reserve(requested.size());
  std::unordered_set<std::string> seen;
  for (const auto& restore : requested) {
    DeleteCandidateStateRestore standardized{text::standardizedPath(restore.path), restore.deleteCandidate};
    if (!seen.insert(standardized.path).second) {
      throw Error::executionFailed("Delete-candidate restore contains duplicate paths");
    }
    restores.push_back(std::move(standardized));
  }

  // Held from the first read to the COMMIT, so the records returned are the ones the write was
  // based on.
  auto guard = connection_.lock();

  std::unordered_map<std::string, ImageRecord> loaded;
  forEachRestoreBatch(restores, [&](std::span<const DeleteCandidateStateRestore> batch) {
    SQLiteV3Bindings paths;
    paths.reserve(batch.size());
    for (const auto& restore : batch) paths.emplace_back(restore.path);
    for (ImageRecord& record : search_.selectRecords(
             "", "media_files.absolute_path IN " + sql::inListPlaceholders(batch.size()), paths,
             ImageSearchSortV3::modificationDateDescending, static_cast<std::int64_t>(batch.size()), 0)) {
      std::string key = record.file.path;
      loaded.insert_or_assign(std::move(key), std::move(record));
    }
  });
  for (const auto& restore : restores) {
    if (!loaded.contains(restore.path)) throw Error::recordNotFound(restore.path);
  }

  // Every statement of this transaction reports a failed step with the restore's own text.
  const double now = connection_.now();
  connection_.executeDeleteCandidateRestore("BEGIN IMMEDIATE", {});
  try {
    // An image that is a candidate again is marked again: on the content it holds now.
    for (const auto& restore : restores) {
      if (restore.deleteCandidate && !loaded.at(restore.path).reviewState.deleteCandidate) {
        connection_.executeDeleteCandidateRestore(
            "INSERT OR REPLACE INTO delete_candidate_contents (media_file_id, content_sha256) SELECT id, "
            "content_sha256 FROM media_files WHERE absolute_path = ?",
            {restore.path});
      }
    }
    forEachRestoreBatch(restores, [&](std::span<const DeleteCandidateStateRestore> batch) {
      SQLiteV3Bindings bindings;
      bindings.reserve(batch.size() * 2 + 1);
      for (const auto& restore : batch) {
        bindings.emplace_back(restore.path);
        bindings.emplace_back(restore.deleteCandidate ? 1 : 0);
      }
      bindings.emplace_back(now);
      connection_.executeDeleteCandidateRestore(restoreUpsertSQL(batch.size()), bindings);
    });
    connection_.executeDeleteCandidateRestore("COMMIT", {});
  } catch (...) {
    try {
      connection_.execute("ROLLBACK");
    } catch (const std::exception& error) {
      // SQLite may have rolled back on its own already (a full disk, an I/O error).
      platform::logDebug("Database", std::string("ROLLBACK after a failed restore: ") + error.what());
    }
    throw;
  }

  std::vector<ImageRecord> result;
  result.reserve(restores.size());
  for (const auto& restore : restores) {
    // Paths are unique, so each loaded record is handed out once.
    ImageRecord record = std::move(loaded.at(restore.path));
    record.reviewState.deleteCandidate = restore.deleteCandidate;
    result.push_back(std::move(record));
  }
  return result;
}

}  // namespace lorvex
