// Test helpers for the per-image projection: records to project, tag concepts written the way the
// tag concept store writes them, and plain-text views of table rows.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/internal/concept_index.h"
#include "database/internal/prompt_tag_index.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "model/image_record.h"
#include "support/temporary_folder.h"

namespace lorvex::testing {

// Every row of a query without parameters, its columns as text joined by "|" (NULL as "NULL",
// blobs by their size as "<n bytes>"). Reads through the raw handle, so the statement observer
// does not see it.
inline std::vector<std::string> textRows(SQLiteImageRepositoryV3& repository, const std::string& sql) {
  auto guard = lorvex::testing::connectionOf(repository).lock();
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(lorvex::testing::connectionOf(repository).handle(), sql.c_str(), -1, &statement,
                         nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(lorvex::testing::connectionOf(repository).handle()));
  }
  std::vector<std::string> rows;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int column = 0; column < sqlite3_column_count(statement); ++column) {
      if (column > 0) row += '|';
      switch (sqlite3_column_type(statement, column)) {
        case SQLITE_NULL:
          row += "NULL";
          break;
        case SQLITE_BLOB:
          row += "<" + std::to_string(sqlite3_column_bytes(statement, column)) + " bytes>";
          break;
        default:
          row.append(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                     static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
      }
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  return rows;
}

// The first row of textRows, or "<no row>".
inline std::string textRow(SQLiteImageRepositoryV3& repository, const std::string& sql) {
  const auto rows = textRows(repository, sql);
  return rows.empty() ? std::string("<no row>") : rows.front();
}

// A NovelAI-like record with the given prompt tags; everything else small and fixed.
inline ImageRecord projectionRecord(const std::string& path, std::vector<std::string> promptTags = {}) {
  ImageRecord record;
  record.file = ImageFileInfo{path, 1000, 1'700'000'000.25};
  GenerationMetadata& metadata = record.metadata;
  metadata.provider = GenerationMetadataProvider{"novelai", "NovelAI"};
  metadata.format = GenerationMetadataFormat{"novelai_png_text", "NovelAI PNG text"};
  metadata.prompt = "cat, smile";
  metadata.negativePrompt = "blurry";
  metadata.width = 832;
  metadata.height = 1216;
  metadata.seed = 42;
  metadata.promptSegments = GenerationMetadata::makePromptSegments(metadata.prompt, metadata.negativePrompt,
                                                                   std::nullopt, std::nullopt);
  GenerationMetadata::ParameterDefaults defaults;
  defaults.seed = 42;
  defaults.steps = 28;
  metadata.generationParameters = GenerationMetadata::makeGenerationParameters(defaults);
  metadata.rawTextChunks = {{"Software", "NovelAI"}, {"Description", "cat, smile"}};
  record.promptTags = std::move(promptTags);
  return record;
}

// A model usage of the given source and role.
inline GenerationModelUsage modelUsage(const std::string& rawSource, const std::string& role = "primary") {
  return GenerationModelUsage{rawSource, std::nullopt, role, std::nullopt, std::nullopt};
}

// Writes a tag concept with aliases (tag keys; missing terms are created) and hand assignments
// (media ids), then rebuilds it, as the tag concept store does in one transaction.
struct ConceptAlias {
  std::string key;
  bool active = true;
};
struct ConceptAssignment {
  std::int64_t mediaFileID = 0;
  bool active = true;
};
inline std::int64_t createTagConcept(SQLiteImageRepositoryV3& repository, const std::string& name,
                                     const std::vector<ConceptAlias>& aliases,
                                     const std::vector<ConceptAssignment>& assignments = {}) {
  SQLiteConnection& connection = lorvex::testing::connectionOf(repository);
  return connection.performLockedTransaction([&] {
    connection.execute(
        "INSERT INTO tag_concepts (display_name, normalized_key, search_text, created_at, updated_at) "
        "VALUES (?, lower(?), lower(? || ' ' || ?), 0, 0)",
        {name, name, name, name});
    const std::int64_t conceptID = connection.lastInsertRowID();
    for (const auto& alias : aliases) {
      const std::int64_t termID = upsertTagTerm(connection, alias.key, alias.key);
      connection.execute(
          "INSERT INTO tag_concept_aliases (concept_id, tag_term_id, is_active, created_at, updated_at) "
          "VALUES (?, ?, ?, 0, 0) ON CONFLICT(concept_id, tag_term_id) DO UPDATE SET is_active = "
          "excluded.is_active",
          {conceptID, termID, alias.active});
    }
    for (const auto& assignment : assignments) {
      connection.execute(
          "INSERT INTO image_concept_assignments (concept_id, media_file_id, is_active, created_at, "
          "updated_at) "
          "VALUES (?, ?, ?, 0, 0) ON CONFLICT(concept_id, media_file_id) DO UPDATE SET "
          "is_active = excluded.is_active",
          {conceptID, assignment.mediaFileID, assignment.active});
    }
    rebuildTagConceptIndex(connection, conceptID, 1.0);
    return conceptID;
  });
}

// A fresh library in a temporary folder whose statements are recorded in order, with plain-text
// views of its rows.
class ProjectionTest : public ::testing::Test {
 protected:
  ProjectionTest()
      : repository(directory.file(kLibraryDatabaseFileName),
                   SQLiteImageRepositoryV3Options{
                       [this](std::string_view sql) { statements.emplace_back(sql); }, nullptr, nullptr}) {}

  std::vector<std::string> rows(const std::string& sql) { return textRows(repository, sql); }
  std::string row(const std::string& sql) { return textRow(repository, sql); }
  // Index of the first recorded statement that starts with `prefix`, or -1.
  long position(const std::string& prefix) const {
    const auto found = std::find_if(statements.begin(), statements.end(),
                                    [&](const std::string& sql) { return sql.starts_with(prefix); });
    return found == statements.end() ? -1 : static_cast<long>(found - statements.begin());
  }
  // How many recorded statements start with `prefix`.
  long count(const std::string& prefix) const {
    return std::count_if(statements.begin(), statements.end(),
                         [&](const std::string& sql) { return sql.starts_with(prefix); });
  }

  TemporaryFolder directory;
  std::vector<std::string> statements;
  SQLiteImageRepositoryV3 repository;
};

}  // namespace lorvex::testing
