// The per-image indexing projection: one parsed image written into every table that describes it
// (file row, properties, review state when new, generation record with its segments, parameters
// and models, raw payloads, tag rows, text row, tag and model statistics, concept index), in one
// transaction, with the statistics and derived indexes moved by the difference between the image's
// previous and new rows. The models named by the metadata and the library root of the job are
// upserted before the transaction and stay when it fails.
//
// Thread safety: every public operation takes the connection's lock for its whole run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "model/image_record.h"

namespace lorvex {

class IndexingJobs;
class ScanBookkeeping;

class ImageProjection {
 public:
  ImageProjection(SQLiteConnection& connection, IndexingJobs& jobs, ScanBookkeeping& files)
      : connection_(connection), jobs_(jobs), files_(files) {}

  void upsertRecord(const ImageRecord& record, std::optional<std::int64_t> jobID);
  // The media id of the path exactly as given; recordNotFound(path) when it is not in the library.
  std::int64_t mediaFileID(std::string_view path);
  // The media ids of the paths exactly as given, in their order, read with IN lists of at most 400
  // paths; recordNotFound(path) for the first path in the list that is not in the library.
  std::vector<std::int64_t> mediaFileIDs(const std::vector<std::string>& paths);

 private:
  void projectRecord(const ImageRecord& record, std::optional<std::int64_t> jobID);
  std::optional<std::int64_t> resolveLibraryRootID(const std::string& path,
                                                   std::optional<std::int64_t> jobID);

  SQLiteConnection& connection_;
  IndexingJobs& jobs_;
  ScanBookkeeping& files_;
};

}  // namespace lorvex
