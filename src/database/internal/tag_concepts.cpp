// Tag concepts: user-made names that gather prompt tags (aliases) and images assigned by hand.
// Aliases and assignments are never deleted, only switched inactive, so that undoing a removal
// brings back the same row. Every write rebuilds the concept's derived rows in its transaction.
#include "database/internal/tag_concepts.h"

#include <algorithm>
#include <span>
#include <tuple>
#include <unordered_map>

#include "database/internal/concept_index.h"
#include "database/internal/image_projection.h"
#include "database/internal/row_mappers.h"
#include "database/internal/search_query_compiler.h"
#include "database/internal/sql_paths.h"
#include "database/internal/tag_key_candidates.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex {

namespace {

using Error = SQLiteImageRepositoryV3Error;

constexpr std::string_view kConceptColumns =
    "SELECT tag_concepts.id, tag_concepts.display_name, COALESCE(tag_concept_stats.image_count, 0) FROM "
    "tag_concepts LEFT JOIN tag_concept_stats ON tag_concept_stats.concept_id = tag_concepts.id";

TagConcept decodeTagConceptRow(SQLiteRows& rows) {
  return TagConcept{rows.int64(0), rows.text(1), rows.int64(2)};
}

std::vector<TagConcept> decodeTagConceptRows(SQLiteRows& rows) {
  std::vector<TagConcept> concepts;
  while (rows.next()) concepts.push_back(decodeTagConceptRow(rows));
  return concepts;
}

// Lower-cased and in NFC, so canonically equivalent names share one key.
std::string conceptKey(std::string_view text) {
  return text::nfc(text::lowercased(text));
}

struct ConceptTexts {
  std::string displayName;
  std::string normalizedKey;
  std::string searchText;
};

ConceptTexts conceptTexts(std::string_view name) {
  ConceptTexts texts;
  texts.displayName = TagConcepts::validatedTagConceptName(name);
  texts.normalizedKey = conceptKey(texts.displayName);
  texts.searchText = conceptKey(texts.normalizedKey + " " + texts.displayName);
  return texts;
}

template <typename T, typename Body>
void forEachChunk(const std::vector<T>& values, Body body) {
  const std::size_t chunk = search::kMaxBoundListLength;
  for (std::size_t start = 0; start < values.size(); start += chunk) {
    body(std::span<const T>(values).subspan(start, std::min(chunk, values.size() - start)));
  }
}

}  // namespace

std::string TagConcepts::validatedTagConceptName(std::string_view name) {
  auto cleaned = text::normalizedWhitespace(name);
  if (!cleaned) throw Error::executionFailed("Tag concept display name cannot be empty");
  return std::move(*cleaned);
}

std::optional<std::string> TagConcepts::normalizedConceptSearchText(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  auto cleaned = text::normalizedWhitespace(*text);
  if (!cleaned) return std::nullopt;
  return conceptKey(*cleaned);
}

std::vector<TagConcept> TagConcepts::searchTagConcepts(const std::optional<std::string>& text,
                                                       std::int64_t limit, bool includeEmpty) {
  const std::optional<std::string> query = normalizedConceptSearchText(text);
  std::string sql(kConceptColumns);
  sql +=
      " WHERE (? IS NULL OR instr(tag_concepts.normalized_key, ?) > 0 OR instr(tag_concepts.search_text, ?) "
      "> "
      "0)";
  if (!includeEmpty) sql += " AND COALESCE(tag_concept_stats.image_count, 0) > 0";
  sql +=
      " ORDER BY COALESCE(tag_concept_stats.image_count, 0) DESC, tag_concepts.display_name COLLATE NOCASE "
      "ASC, tag_concepts.display_name ASC LIMIT ?";
  return reader_.performRead([&] {
    return reader_.query(sql, {query, query, query, std::max<std::int64_t>(limit, 0)}, decodeTagConceptRows);
  });
}

std::vector<TagConceptAlias> TagConcepts::tagConceptAliases(std::int64_t conceptID) {
  auto guard = connection_.lock();
  return connection_.query(
      "SELECT tag_terms.display_name FROM tag_concept_aliases JOIN tag_terms ON tag_terms.id = "
      "tag_concept_aliases.tag_term_id WHERE tag_concept_aliases.concept_id = ? AND "
      "tag_concept_aliases.is_active = 1 ORDER BY tag_terms.display_name COLLATE NOCASE ASC, "
      "tag_terms.display_name ASC",
      {conceptID}, [&](SQLiteRows& rows) {
        std::vector<TagConceptAlias> aliases;
        while (rows.next()) {
          std::string name = rows.text(0);
          if (!name.empty()) aliases.push_back({conceptID, std::move(name)});
        }
        return aliases;
      });
}

std::vector<TagConceptManualAssignment> TagConcepts::manualTagConceptAssignments(
    const std::vector<std::string>& imagePaths) {
  const std::vector<std::string> paths = sql::standardizedUniquePaths(imagePaths);
  if (paths.empty()) return {};
  std::vector<TagConceptManualAssignment> assignments;
  auto guard = connection_.lock();
  forEachChunk(paths, [&](std::span<const std::string> chunk) {
    const SQLiteV3Bindings bindings(chunk.begin(), chunk.end());
    connection_.query(
        "SELECT image_concept_assignments.concept_id, media_files.absolute_path FROM "
        "image_concept_assignments "
        "JOIN media_files ON media_files.id = image_concept_assignments.media_file_id WHERE "
        "image_concept_assignments.is_active = 1 AND media_files.absolute_path IN " +
            sql::inListPlaceholders(chunk.size()) +
            " ORDER BY image_concept_assignments.concept_id ASC, media_files.absolute_path ASC",
        bindings, [&](SQLiteRows& rows) {
          while (rows.next()) {
            if (!rows.isNull(1)) assignments.push_back({rows.int64(0), rows.text(1)});
          }
          return 0;
        });
  });
  // Chunks are ordered each on their own; std::string orders bytes as SQLite's BINARY collation.
  if (paths.size() > search::kMaxBoundListLength) {
    std::sort(assignments.begin(), assignments.end(), [](const auto& a, const auto& b) {
      return std::tie(a.conceptID, a.imagePath) < std::tie(b.conceptID, b.imagePath);
    });
  }
  return assignments;
}

TagConcept TagConcepts::tagConceptByID(std::int64_t conceptID) {
  return connection_.query(std::string(kConceptColumns) + " WHERE tag_concepts.id = ?", {conceptID},
                           [&](SQLiteRows& rows) {
                             if (!rows.next()) {
                               throw Error::recordNotFound("tag concept " + std::to_string(conceptID));
                             }
                             return decodeTagConceptRow(rows);
                           });
}

TagConcept TagConcepts::tagConceptByKey(const std::string& normalizedKey) {
  return connection_.query(std::string(kConceptColumns) + " WHERE tag_concepts.normalized_key = ?",
                           {normalizedKey}, [&](SQLiteRows& rows) {
                             if (!rows.next()) throw Error::recordNotFound("tag concept " + normalizedKey);
                             return decodeTagConceptRow(rows);
                           });
}

TagConcept TagConcepts::createTagConcept(std::string_view displayName) {
  const ConceptTexts texts = conceptTexts(displayName);
  auto guard = connection_.lock();
  const double now = connection_.now();
  return connection_.performTransaction([&] {
    connection_.executeTagConceptWrite(
        "INSERT INTO tag_concepts (display_name, normalized_key, search_text, created_at, updated_at) VALUES "
        "(?, ?, ?, ?, ?)",
        {texts.displayName, texts.normalizedKey, texts.searchText, now, now});
    TagConcept created = tagConceptByKey(texts.normalizedKey);
    rebuildTagConceptIndex(connection_, created.id, now);
    return created;
  });
}

TagConcept TagConcepts::renameTagConcept(std::int64_t conceptID, std::string_view displayName) {
  const ConceptTexts texts = conceptTexts(displayName);
  auto guard = connection_.lock();
  const double now = connection_.now();
  connection_.performTransaction([&] {
    // An unknown id is reported as such, not as the foreign-key failure its rebuild would hit.
    tagConceptByID(conceptID);
    connection_.executeTagConceptWrite(
        "UPDATE tag_concepts SET display_name = ?, normalized_key = ?, search_text = ?, updated_at = ? WHERE "
        "id = ?",
        {texts.displayName, texts.normalizedKey, texts.searchText, now, conceptID});
    rebuildTagConceptIndex(connection_, conceptID, now);
  });
  return tagConceptByID(conceptID);
}

std::vector<std::int64_t> TagConcepts::resolveAliasTagTermIDs(std::string_view tag) {
  const std::vector<std::string> candidates = tagKeyCandidates(tag);
  std::vector<std::int64_t> ids;
  if (!candidates.empty()) ids = search::SearchQueryCompiler(connection_, {}).tagTermIDs(candidates);
  if (ids.empty()) throw Error::recordNotFound("tag alias " + std::string(tag));
  return ids;
}

void TagConcepts::addTagConceptAlias(std::int64_t conceptID, std::string_view tag) {
  auto guard = connection_.lock();
  const std::vector<std::int64_t> termIDs = resolveAliasTagTermIDs(tag);
  const double now = connection_.now();
  connection_.performTransaction([&] {
    tagConceptByID(conceptID);
    for (const std::int64_t termID : termIDs) {
      connection_.executeTagConceptWrite(
          "INSERT INTO tag_concept_aliases (concept_id, tag_term_id, is_active, created_at, updated_at) "
          "VALUES "
          "(?, ?, 1, ?, ?) ON CONFLICT(concept_id, tag_term_id) DO UPDATE SET is_active = 1, updated_at = "
          "excluded.updated_at",
          {conceptID, termID, now, now});
    }
    rebuildTagConceptIndex(connection_, conceptID, now);
  });
}

void TagConcepts::removeTagConceptAlias(std::int64_t conceptID, std::string_view tag) {
  auto guard = connection_.lock();
  const std::vector<std::int64_t> termIDs = resolveAliasTagTermIDs(tag);
  const double now = connection_.now();
  connection_.performTransaction([&] {
    for (const std::int64_t termID : termIDs) {
      connection_.executeTagConceptWrite(
          "UPDATE tag_concept_aliases SET is_active = 0, updated_at = ? WHERE concept_id = ? AND tag_term_id "
          "= ?",
          {now, conceptID, termID});
    }
    rebuildTagConceptIndex(connection_, conceptID, now);
  });
}

void TagConcepts::writeConceptAssignments(std::int64_t conceptID, const std::vector<std::string>& imagePaths,
                                          bool active) {
  const std::vector<std::string> paths = sql::standardizedUniquePaths(imagePaths);
  if (paths.empty()) return;
  auto guard = connection_.lock();
  const std::vector<std::int64_t> mediaIDs = projection_.mediaFileIDs(paths);
  const double now = connection_.now();
  connection_.performTransaction([&] {
    tagConceptByID(conceptID);
    forEachChunk(mediaIDs, [&](std::span<const std::int64_t> chunk) {
      const std::string inList = sql::inListPlaceholders(chunk.size());
      SQLiteV3Bindings bindings;
      if (active) {
        bindings = {conceptID, now, now};
        bindings.insert(bindings.end(), chunk.begin(), chunk.end());
        connection_.executeTagConceptWrite(
            "INSERT INTO image_concept_assignments (concept_id, media_file_id, is_active, created_at, "
            "updated_at) SELECT ?, id, 1, ?, ? FROM media_files WHERE id IN " +
                inList +
                " ON CONFLICT(concept_id, media_file_id) DO UPDATE SET is_active = 1, updated_at = "
                "excluded.updated_at",
            bindings);
      } else {
        bindings = {now, conceptID};
        bindings.insert(bindings.end(), chunk.begin(), chunk.end());
        connection_.executeTagConceptWrite(
            "UPDATE image_concept_assignments SET is_active = 0, updated_at = ? WHERE concept_id = ? AND "
            "media_file_id IN " +
                inList,
            bindings);
      }
    });
    rebuildTagConceptIndex(connection_, conceptID, now);
  });
}

void TagConcepts::assignImagesToTagConcept(std::int64_t conceptID,
                                           const std::vector<std::string>& imagePaths) {
  writeConceptAssignments(conceptID, imagePaths, true);
}

void TagConcepts::unassignImagesFromTagConcept(std::int64_t conceptID,
                                               const std::vector<std::string>& imagePaths) {
  writeConceptAssignments(conceptID, imagePaths, false);
}

}  // namespace lorvex
