// A search of the library in compiled form, as the database runs it: every name resolved to an
// identifier, aspect filters turned into stored aspect classes, the paging position fixed.
//
// Thread safety: plain values; a value may be copied to and read on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "model/image_aspect.h"

namespace lorvex {

// Ties are broken by the image identifier in the same direction. File-name order compares the
// stored normalised base name case-insensitively.
enum class ImageSearchSortV3 {
  modificationDateDescending,
  modificationDateAscending,
  fileNameAscending,
  fileNameDescending
};

// A group is satisfied by an image that carries any of its tags or belongs to any of its concepts.
struct ImageSearchFilterGroupV3 {
  std::vector<std::int64_t> tagIDs;
  std::vector<std::int64_t> conceptIDs;

  friend bool operator==(const ImageSearchFilterGroupV3&, const ImageSearchFilterGroupV3&) = default;
};

// A keyset position: only results after it in the sort order. A cursor of the kind that does not
// belong to the query's sort adds no condition.
struct ImageSearchCursorV3 {
  struct ModificationDate {
    double timestamp = 0;  // the stored modification time
    std::int64_t imageID = 0;
    friend bool operator==(const ModificationDate&, const ModificationDate&) = default;
  };
  struct FileName {
    std::string basenameNormalized;
    std::int64_t imageID = 0;
    friend bool operator==(const FileName&, const FileName&) = default;
  };

  std::variant<ModificationDate, FileName> position;

  static ImageSearchCursorV3 modificationDate(double timestamp, std::int64_t imageID) {
    return {ModificationDate{timestamp, imageID}};
  }
  static ImageSearchCursorV3 fileName(std::string basenameNormalized, std::int64_t imageID) {
    return {FileName{std::move(basenameNormalized), imageID}};
  }

  friend bool operator==(const ImageSearchCursorV3&, const ImageSearchCursorV3&) = default;
};

struct ImageSearchQueryV3 {
  std::vector<ImageSearchFilterGroupV3> filterGroups;  // every group must be satisfied
  std::vector<std::int64_t> rootIDs;                   // empty: no limit
  // A file matches a root path when its path equals it or continues it after a "/"; empty: no limit.
  std::vector<std::string> rootPaths;
  std::optional<std::int64_t> modelID;  // of the primary generation record
  std::optional<std::int64_t> seed;
  std::vector<ImageAspectClass> aspectClasses;  // empty: any; otherwise unique and ascending
  std::optional<std::string> textSearchQuery;
  std::optional<std::string> characterText;
  std::vector<std::int64_t> promptTagIDs;
  std::optional<bool> favorite;  // an image without a review row counts as false
  std::optional<bool> deleteCandidate;
  std::optional<bool> missing;
  bool includeMissing = false;  // consulted only when `missing` is absent
  ImageSearchSortV3 sort = ImageSearchSortV3::modificationDateDescending;
  std::optional<ImageSearchCursorV3> cursor;
  std::int64_t limit = 0;
  std::int64_t offset = 0;

  friend bool operator==(const ImageSearchQueryV3&, const ImageSearchQueryV3&) = default;
};

}  // namespace lorvex
