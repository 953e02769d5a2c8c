// The per-image indexing projection: one parsed image written into every table that describes it
// (file row, properties, review state when new, generation record with its segments, parameters
// and models, raw payloads, tag rows, text row, tag and model statistics, concept index), in one
// transaction, with the statistics and derived indexes moved by the difference between the image's
// previous and new rows. The models named by the metadata and the library root of the job are
// upserted before the transaction and stay when it fails. Queue items are projected in batches the
// same way, in one shared transaction, with the statistics moved once for the batch.
//
// Thread safety: every public operation takes the connection's lock for its whole run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "database/internal/carried_marks.h"
#include "database/internal/concept_index.h"
#include "database/internal/metadata_payload_storage.h"
#include "database/internal/model_projection.h"
#include "database/internal/new_row_bounds.h"
#include "database/internal/prompt_tag_index.h"
#include "database/internal/sqlite_connection.h"
#include "database/library_store_protocols.h"
#include "model/image_record.h"

namespace lorvex {

class IndexingJobs;
class ScanBookkeeping;

class ImageProjection {
 public:
  ImageProjection(SQLiteConnection& connection, IndexingJobs& jobs, ScanBookkeeping& files)
      : connection_(connection), jobs_(jobs), files_(files) {}

  // The relocation goes into the same transaction, after the image's rows.
  void upsertRecord(const ImageRecord& record, std::optional<std::int64_t> jobID,
                    const ContentRelocation& relocation = {});
  // Claimed queue items projected and completed in one transaction; see
  // IndexingBatchStore::projectQueueItems. The statistics move once, by the items' summed
  // differences.
  std::vector<ImageLibraryIndexingProgress> projectQueueItems(std::int64_t jobID,
                                                              const std::vector<QueueItemProjection>& items,
                                                              const FileStillAsReadTest& isStillAsRead);
  // The media id of the path exactly as given; recordNotFound(path) when it is not in the library.
  std::int64_t mediaFileID(std::string_view path);
  // The media ids of the paths exactly as given, in their order, read with IN lists of at most 400
  // paths; recordNotFound(path) for the first path in the list that is not in the library.
  std::vector<std::int64_t> mediaFileIDs(const std::vector<std::string>& paths);

  // The marks of a set-aside library that an image takes when it is written into the library for
  // the first time (carried_marks.h); none when nothing is carried. Both run under the lock.
  void carryMarks(std::shared_ptr<const CarriedMarks> marks) { carried_ = std::move(marks); }
  const std::shared_ptr<const CarriedMarks>& carriedMarks() const { return carried_; }
  // How many images took a review state from the carried marks (committed writes only).
  std::int64_t carriedMarksGiven() const { return carriedGiven_; }

 private:
  struct StatisticsDeltas;
  // What resolving library roots learnt during one transaction: the job's roots, and each root's id
  // and path once it was upserted.
  struct RootCache {
    std::optional<std::vector<std::string>> jobRoots;
    std::unordered_map<std::string, std::int64_t> rootIDs;
    std::unordered_map<std::int64_t, std::string> rootPaths;
    // What the batch's transaction knows of the rows it wrote or read: tag terms, providers,
    // formats, models, and the concepts of the tag terms it met. None for a single projection.
    struct Known {
      TagTermCache tagTerms;
      MetadataSourceCache sources;
      ModelCache models;
      TagTermConceptCache termConcepts;
    };
    std::optional<Known> known;
    // The rows the batch's transaction creates, whose dependent rows need no clearing; a single
    // projection clears them all.
    NewRowBounds newRows;
  };
  struct PreparedProjection;

  // Everything before the transaction of a single projection: the stored state, the models and the
  // library root.
  PreparedProjection prepareProjection(const ImageRecord& record, std::optional<std::int64_t> jobID,
                                       RootCache& roots);
  // The image's rows, inside the caller's transaction; the statistics' differences go to `deltas`.
  // Returns the image's media id. Its full-text row is written too unless `withFullText` is false,
  // for a caller that writes it later in the same transaction.
  std::int64_t writeProjectionRows(const ImageRecord& record, const PreparedProjection& prepared,
                                   RootCache& roots, StatisticsDeltas& deltas, bool withFullText = true);
  std::optional<std::int64_t> resolveLibraryRootID(const std::string& path, std::optional<std::int64_t> jobID,
                                                   RootCache& roots);

  SQLiteConnection& connection_;
  IndexingJobs& jobs_;
  ScanBookkeeping& files_;
  std::shared_ptr<const CarriedMarks> carried_;
  std::int64_t carriedGiven_ = 0;
  std::int64_t carriedGivenUncommitted_ = 0;  // by the transaction under way
};

}  // namespace lorvex
