// Tag concepts: user-made names that gather prompt tags (aliases) and images assigned by hand.
// Aliases and assignments are never deleted, only switched inactive, so that undoing a removal
// brings back the same row. Every write runs in one transaction that also rebuilds the concept's
// derived rows (concept_index.h). Unknown concepts throw recordNotFound ("tag concept 7"), unknown
// images recordNotFound(path), a tag naming no stored tag term recordNotFound("tag alias <tag>"),
// and a name that cleans to nothing executionFailed("Tag concept display name cannot be empty");
// each before anything is written.
//
// Thread safety: every operation takes the connection's lock for its whole run; searchTagConcepts
// reads on the reader connection, everything else on the writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "model/tag_concept.h"

namespace lorvex {

class ImageProjection;

class TagConcepts {
 public:
  TagConcepts(SQLiteConnection& connection, SQLiteConnection& reader, ImageProjection& projection)
      : connection_(connection), reader_(reader), projection_(projection) {}

  std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& text, std::int64_t limit,
                                            bool includeEmpty);
  std::vector<TagConceptAlias> tagConceptAliases(std::int64_t conceptID);
  std::vector<TagConceptManualAssignment> manualTagConceptAssignments(
      const std::vector<std::string>& imagePaths);
  TagConcept createTagConcept(std::string_view displayName);
  TagConcept renameTagConcept(std::int64_t conceptID, std::string_view displayName);
  void addTagConceptAlias(std::int64_t conceptID, std::string_view tag);
  void removeTagConceptAlias(std::int64_t conceptID, std::string_view tag);
  void assignImagesToTagConcept(std::int64_t conceptID, const std::vector<std::string>& imagePaths);
  void unassignImagesFromTagConcept(std::int64_t conceptID, const std::vector<std::string>& imagePaths);
  static std::string validatedTagConceptName(std::string_view name);
  static std::optional<std::string> normalizedConceptSearchText(const std::optional<std::string>& text);

 private:
  TagConcept tagConceptByID(std::int64_t conceptID);
  TagConcept tagConceptByKey(const std::string& normalizedKey);
  std::vector<std::int64_t> resolveAliasTagTermIDs(std::string_view tag);
  void writeConceptAssignments(std::int64_t conceptID, const std::vector<std::string>& imagePaths,
                               bool active);

  SQLiteConnection& connection_;
  SQLiteConnection& reader_;
  ImageProjection& projection_;
};

}  // namespace lorvex
