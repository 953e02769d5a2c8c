// A consistency checker for the rows that the per-image projection keeps by difference: it
// recomputes tag statistics, model image counts and search rows, the concept index and concept
// counts from the base tables and lists every place where the stored rows disagree.
//
// The recomputation is plain SQL over the base tables, written independently of the library's own
// statements, so a checker that agrees is evidence, not a restatement.
#pragma once

#include <string>
#include <vector>

#include "database/internal/sqlite_connection.h"

namespace lorvex::testing {

namespace consistency_detail {

// Runs a query whose rows describe discrepancies and appends one line per row: `what`, then the
// row's `columns` columns read as text.
inline void collect(SQLiteConnection& connection, const std::string& what, int columns,
                    const std::string& sql, std::vector<std::string>& problems) {
  auto guard = connection.lock();
  connection.query(sql, {}, [&](SQLiteRows& rows) {
    while (rows.next()) {
      std::string line = what + ":";
      for (int column = 0; column < columns; ++column) {
        line += " " + (rows.isNull(column) ? std::string("NULL") : rows.text(column));
      }
      problems.push_back(line);
    }
    return 0;
  });
}

// The concept rows that the defining rule gives: alias matches with the largest mask of the
// matching tag rows, plus active assignments with mask 0 where no alias matched.
inline constexpr const char* kExpectedConceptRows =
    "WITH alias_rows AS ("
    "  SELECT a.concept_id AS concept_id, m.media_file_id AS media_file_id, max(m.source_mask) AS source_mask"
    "  FROM tag_concept_aliases a JOIN media_tag_index m ON m.tag_term_id = a.tag_term_id"
    "  WHERE a.is_active = 1 GROUP BY a.concept_id, m.media_file_id),"
    " expected AS ("
    "  SELECT concept_id, media_file_id, source_mask FROM alias_rows"
    "  UNION ALL"
    "  SELECT s.concept_id, s.media_file_id, 0 FROM image_concept_assignments s WHERE s.is_active = 1"
    "  AND NOT EXISTS (SELECT 1 FROM alias_rows r WHERE r.concept_id = s.concept_id"
    "  AND r.media_file_id = s.media_file_id)) ";

}  // namespace consistency_detail

// Every disagreement between the derived rows and the base tables, one line each; empty when the
// library is consistent. Reads under the connection's lock.
inline std::vector<std::string> projectionInconsistencies(SQLiteConnection& connection) {
  using consistency_detail::kExpectedConceptRows;
  std::vector<std::string> problems;
  const auto check = [&](const std::string& what, int columns, const std::string& sql) {
    consistency_detail::collect(connection, what, columns, sql, problems);
  };

  check("tag_term_stats (term, stored counts, recounted counts)", 8,
        "SELECT t.id, s.image_count, s.prompt_image_count, s.character_image_count, c.images, c.prompt, "
        "c.character, s.tag_term_id IS NULL FROM tag_terms t LEFT JOIN tag_term_stats s ON s.tag_term_id = "
        "t.id "
        "JOIN (SELECT t2.id AS id, "
        "  (SELECT count(*) FROM media_tag_index m WHERE m.tag_term_id = t2.id) AS images, "
        "  (SELECT count(*) FROM media_tag_index m WHERE m.tag_term_id = t2.id AND (m.source_mask & 1) <> 0) "
        "    AS prompt, "
        "  (SELECT count(*) FROM media_tag_index m WHERE m.tag_term_id = t2.id AND (m.source_mask & 2) <> 0) "
        "    AS character FROM tag_terms t2) c ON c.id = t.id "
        "WHERE (s.tag_term_id IS NULL AND c.images > 0) OR coalesce(s.image_count, 0) <> c.images "
        "OR coalesce(s.prompt_image_count, 0) <> c.prompt OR coalesce(s.character_image_count, 0) <> "
        "c.character");

  check("tag_occurrences differ from media_tag_index (media, term)", 2,
        "SELECT m.media_file_id, m.tag_term_id FROM media_tag_index m WHERE NOT EXISTS ("
        "SELECT 1 FROM tag_occurrences o JOIN generation_records g ON g.id = o.generation_record_id "
        "AND g.is_primary = 1 WHERE o.media_file_id = m.media_file_id AND o.tag_term_id = m.tag_term_id "
        "AND o.source_mask = m.source_mask AND o.occurrence_index = 0 AND o.source_role = CASE "
        "WHEN (m.source_mask & 3) = 3 THEN 'prompt+character' WHEN (m.source_mask & 2) <> 0 THEN 'character' "
        "ELSE 'prompt' END) "
        "OR (SELECT count(*) FROM tag_occurrences o WHERE o.media_file_id = m.media_file_id "
        "AND o.tag_term_id = m.tag_term_id) <> 1 "
        "UNION ALL SELECT o.media_file_id, o.tag_term_id FROM tag_occurrences o WHERE NOT EXISTS ("
        "SELECT 1 FROM media_tag_index m WHERE m.media_file_id = o.media_file_id AND m.tag_term_id = "
        "o.tag_term_id)");

  check("models.image_count (model, stored, recounted)", 3,
        "SELECT id, image_count, recounted FROM (SELECT m.id, m.image_count, (SELECT count(DISTINCT "
        "g.media_file_id) "
        "FROM model_usages u JOIN generation_records g ON g.id = u.generation_record_id AND g.is_primary = 1 "
        "WHERE u.model_id = m.id) AS recounted FROM models m) WHERE image_count <> recounted");

  check("model_search_fts (model, count, search rows, matching rows)", 4,
        "SELECT m.id, m.image_count, (SELECT count(*) FROM model_search_fts f WHERE f.rowid = m.id), "
        "(SELECT count(*) FROM model_search_fts f WHERE f.rowid = m.id AND f.display_name = m.display_name "
        "AND f.raw_source = m.raw_source AND f.family IS m.family AND f.version IS m.version "
        "AND f.source_hash IS m.source_hash) FROM models m WHERE "
        "(m.image_count > 0 AND (SELECT count(*) FROM model_search_fts f WHERE f.rowid = m.id AND "
        "f.display_name = m.display_name AND f.raw_source = m.raw_source AND f.family IS m.family AND "
        "f.version IS m.version AND f.source_hash IS m.source_hash) <> 1) "
        "OR (m.image_count <= 0 AND EXISTS (SELECT 1 FROM model_search_fts f WHERE f.rowid = m.id))");

  check("media_text_fts rows per media file (media, rows)", 2,
        "SELECT f.id, (SELECT count(*) FROM media_text_fts t WHERE t.rowid = f.id) AS n FROM media_files f "
        "WHERE n <> 1");

  check("concept_image_index missing or wrong (concept, media, expected mask)", 3,
        std::string(kExpectedConceptRows) +
            "SELECT concept_id, media_file_id, source_mask FROM expected EXCEPT "
            "SELECT concept_id, media_file_id, source_mask FROM concept_image_index");
  check("concept_image_index unexpected (concept, media, stored mask)", 3,
        std::string(kExpectedConceptRows) +
            "SELECT concept_id, media_file_id, source_mask FROM concept_image_index EXCEPT "
            "SELECT concept_id, media_file_id, source_mask FROM expected");

  check("tag_concept_stats (concept, stored, recounted)", 3,
        std::string(kExpectedConceptRows) +
            "SELECT c.id, s.image_count, (SELECT count(*) FROM expected e WHERE e.concept_id = c.id) AS n "
            "FROM tag_concepts c LEFT JOIN tag_concept_stats s ON s.concept_id = c.id "
            "WHERE s.image_count IS NOT n");
  return problems;
}

}  // namespace lorvex::testing
