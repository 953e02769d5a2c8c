// The records a scan and the library exchange for one image file: its identity on disk
// (ImageFileInfo), the whole indexed record (ImageRecord) and the slice of it a scan compares
// with the disk (IndexedImageFileState).
//
// Thread safety: plain values; a value may be copied to and read on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/generation_metadata.h"
#include "model/review_state.h"

namespace lorvex {

// The revision of the per-image metadata projection. A file whose stored revision differs is
// projected again; 0 (the stored default) is claimed by no revision. A change to what the parsers
// or the projection make of a file bumps it, so that every library reads its images again.
inline constexpr std::int64_t kMetadataProjectionRevision = 1;

struct ImageFileInfo {
  std::string path;  // absolute; the file's identity in the whole library
  std::int64_t fileSize = 0;
  double modificationDate = 0;  // seconds since 1970, compared exactly

  friend bool operator==(const ImageFileInfo&, const ImageFileInfo&) = default;
};

// One indexed image. Identified by its path: two records with the same path but any other
// difference are unequal yet have the same id().
struct ImageRecord {
  ImageFileInfo file;
  GenerationMetadata metadata;
  std::vector<std::string> promptTags;  // in stored order
  ReviewState reviewState;
  std::optional<std::string> thumbnailPath;
  std::optional<std::string> contentSHA256;  // 64 lower-case hex digits
  bool isMissing = false;                    // the last scan did not find the file; the record stays

  const std::string& id() const { return file.path; }

  friend bool operator==(const ImageRecord&, const ImageRecord&) = default;
};

// What the library holds for a file, as a scan needs it to decide whether to index it again.
struct IndexedImageFileState {
  ImageFileInfo fileInfo;
  std::int64_t metadataProjectionRevision = 0;
  // A file that comes back where it was missing may have given its review state to another place
  // meanwhile: a scan takes it back from there, which the stored content hash lets it look up.
  bool isMissing = false;
  std::optional<std::string> contentSHA256 = std::nullopt;

  friend bool operator==(const IndexedImageFileState&, const IndexedImageFileState&) = default;
};

}  // namespace lorvex
