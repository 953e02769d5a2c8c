#include "database/internal/concept_index.h"

#include <algorithm>
#include <set>
#include <span>
#include <string>

#include "database/internal/row_mappers.h"
#include "database/internal/search_query_compiler.h"
#include "database/internal/sql_paths.h"

namespace lorvex {

namespace {

// Ids bound per IN list: the library's bound on one list, whatever SQLite would accept.
constexpr std::size_t kIDChunk = search::kMaxBoundListLength;

template <typename Body>
void forEachChunk(const std::vector<std::int64_t>& ids, Body body) {
  for (std::size_t start = 0; start < ids.size(); start += kIDChunk) {
    body(std::span<const std::int64_t>(ids).subspan(start, std::min(kIDChunk, ids.size() - start)));
  }
}

void appendIDs(SQLiteV3Bindings& bindings, std::span<const std::int64_t> ids) {
  for (const std::int64_t id : ids) bindings.emplace_back(id);
}

std::set<std::int64_t> indexedConcepts(SQLiteConnection& connection, std::int64_t mediaFileID,
                                       std::span<const std::int64_t> conceptIDs, const std::string& inList) {
  SQLiteV3Bindings bindings{mediaFileID};
  appendIDs(bindings, conceptIDs);
  const auto ids = connection.query(
      "SELECT concept_id FROM concept_image_index WHERE media_file_id = ? AND concept_id IN " + inList,
      bindings, rows::int64Column);
  return {ids.begin(), ids.end()};
}

}  // namespace

void rebuildTagConceptIndex(SQLiteConnection& connection, std::int64_t conceptID, double now) {
  connection.execute("DELETE FROM concept_image_index WHERE concept_id = ?", {conceptID});
  connection.execute(
      "INSERT INTO concept_image_index (concept_id, media_file_id, source_mask) SELECT ?, "
      "media_tag_index.media_file_id, max(media_tag_index.source_mask) FROM tag_concept_aliases JOIN "
      "media_tag_index ON media_tag_index.tag_term_id = tag_concept_aliases.tag_term_id WHERE "
      "tag_concept_aliases.concept_id = ? AND tag_concept_aliases.is_active = 1 GROUP BY "
      "media_tag_index.media_file_id",
      {conceptID, conceptID});
  connection.execute(
      "INSERT INTO concept_image_index (concept_id, media_file_id, source_mask) SELECT concept_id, "
      "media_file_id, 0 FROM image_concept_assignments WHERE concept_id = ? AND is_active = 1 ON "
      "CONFLICT(concept_id, media_file_id) DO UPDATE SET source_mask = concept_image_index.source_mask | "
      "excluded.source_mask",
      {conceptID});
  connection.execute(
      "INSERT INTO tag_concept_stats (concept_id, image_count, updated_at) VALUES (?, (SELECT COUNT(*) FROM "
      "concept_image_index WHERE concept_id = ?), ?) ON CONFLICT(concept_id) DO UPDATE SET image_count = "
      "excluded.image_count, updated_at = excluded.updated_at",
      {conceptID, conceptID, now});
  refreshTagConceptSearchEntry(connection, conceptID);
}

void refreshTagConceptSearchEntry(SQLiteConnection& connection, std::int64_t conceptID) {
  struct SearchRow {
    std::string displayName;
    std::string normalizedKey;
    std::string searchText;
  };
  connection.execute("DELETE FROM tag_concept_search_fts WHERE rowid = ?", {conceptID});
  const auto row =
      connection.query("SELECT display_name, normalized_key, search_text FROM tag_concepts WHERE id = ?",
                       {conceptID}, [](SQLiteRows& rows) -> std::optional<SearchRow> {
                         if (!rows.next()) return std::nullopt;
                         return SearchRow{rows.text(0), rows.text(1), rows.text(2)};
                       });
  if (!row) return;
  connection.execute(
      "INSERT INTO tag_concept_search_fts (rowid, display_name, normalized_key, search_text) VALUES (?, ?, "
      "?, ?)",
      {conceptID, row->displayName, row->normalizedKey, row->searchText});
}

std::vector<std::int64_t> conceptIDs(SQLiteConnection& connection,
                                     const std::vector<std::int64_t>& tagTermIDs,
                                     TagTermConceptCache* cache) {
  TagTermConceptCache once;
  if (cache == nullptr) cache = &once;
  std::set<std::int64_t> concepts;
  std::vector<std::int64_t> unknown;
  for (const std::int64_t termID : tagTermIDs) {
    const auto known = cache->find(termID);
    if (known == cache->end()) {
      unknown.push_back(termID);
    } else {
      concepts.insert(known->second.begin(), known->second.end());
    }
  }
  std::sort(unknown.begin(), unknown.end());
  unknown.erase(std::unique(unknown.begin(), unknown.end()), unknown.end());
  // A term without an active alias is known too, with no concept.
  for (const std::int64_t termID : unknown) (*cache)[termID];
  forEachChunk(unknown, [&](std::span<const std::int64_t> chunk) {
    SQLiteV3Bindings bindings;
    appendIDs(bindings, chunk);
    connection.query(
        "SELECT DISTINCT tag_term_id, concept_id FROM tag_concept_aliases WHERE tag_term_id IN " +
            sql::inListPlaceholders(chunk.size()) + " AND is_active = 1",
        bindings, [&](SQLiteRows& rows) {
          while (rows.next()) {
            (*cache)[rows.int64(0)].push_back(rows.int64(1));
            concepts.insert(rows.int64(1));
          }
          return 0;
        });
  });
  return {concepts.begin(), concepts.end()};
}

void updateConceptIndexForMediaFile(SQLiteConnection& connection, std::int64_t mediaFileID,
                                    const std::vector<std::int64_t>& conceptIDs, double now) {
  forEachChunk(conceptIDs, [&](std::span<const std::int64_t> chunk) {
    const std::string inList = sql::inListPlaceholders(chunk.size());
    SQLiteV3Bindings bindings{mediaFileID};
    appendIDs(bindings, chunk);
    const std::set<std::int64_t> before = indexedConcepts(connection, mediaFileID, chunk, inList);

    connection.execute("DELETE FROM concept_image_index WHERE media_file_id = ? AND concept_id IN " + inList,
                       bindings);
    SQLiteV3Bindings aliasBindings{mediaFileID, mediaFileID};
    appendIDs(aliasBindings, chunk);
    connection.execute(
        "INSERT INTO concept_image_index (concept_id, media_file_id, source_mask) SELECT "
        "tag_concept_aliases.concept_id, ?, max(media_tag_index.source_mask) FROM media_tag_index JOIN "
        "tag_concept_aliases ON tag_concept_aliases.tag_term_id = media_tag_index.tag_term_id WHERE "
        "media_tag_index.media_file_id = ? AND tag_concept_aliases.is_active = 1 AND "
        "tag_concept_aliases.concept_id IN " +
            inList + " GROUP BY tag_concept_aliases.concept_id",
        aliasBindings);
    connection.execute(
        "INSERT INTO concept_image_index (concept_id, media_file_id, source_mask) SELECT concept_id, "
        "media_file_id, 0 FROM image_concept_assignments WHERE media_file_id = ? AND is_active = 1 AND "
        "concept_id IN " +
            inList +
            " ON CONFLICT(concept_id, media_file_id) DO UPDATE SET source_mask = "
            "concept_image_index.source_mask | excluded.source_mask",
        bindings);

    const std::set<std::int64_t> after = indexedConcepts(connection, mediaFileID, chunk, inList);
    for (const std::int64_t conceptID : chunk) {
      const std::int64_t delta = (after.contains(conceptID) ? 1 : 0) - (before.contains(conceptID) ? 1 : 0);
      connection.execute(
          "UPDATE tag_concept_stats SET image_count = max(0, image_count + ?), updated_at = ? WHERE "
          "concept_id = ?",
          {delta, now, conceptID});
      if (connection.changes() > 0) continue;
      // A concept without a count yet gets the full one, as its rebuild would give it.
      connection.execute(
          "INSERT INTO tag_concept_stats (concept_id, image_count, updated_at) VALUES (?, (SELECT COUNT(*) "
          "FROM concept_image_index WHERE concept_id = ?), ?)",
          {conceptID, conceptID, now});
    }
  });
}

}  // namespace lorvex
