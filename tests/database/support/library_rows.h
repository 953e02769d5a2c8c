// Writes media file rows straight into a library for tests of the operations that read and mark
// them (the projection that normally writes them lives elsewhere).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "database/sqlite_image_repository.h"

namespace lorvex::testing {

struct MediaFileRow {
  std::string path;
  std::int64_t fileSize = 100;
  double modificationTime = 1'700'000'000.0;
  bool missing = false;
  std::optional<std::string> contentSHA256 = std::nullopt;
  std::optional<std::string> thumbnailKey = std::nullopt;
  std::int64_t projectionRevision = 1;
  std::optional<std::int64_t> lastSeenJobID = std::nullopt;
  bool withImageProperties = true;
};

// Inserts the row (and its image_properties row) and returns its id.
std::int64_t insertMediaFile(SQLiteImageRepositoryV3& repository, const MediaFileRow& row);

// One column of the media file at `path` (or of its image_properties row), as text ("NULL" for
// NULL).
std::string mediaFileColumn(SQLiteImageRepositoryV3& repository, const std::string& path,
                            const std::string& column);

}  // namespace lorvex::testing
