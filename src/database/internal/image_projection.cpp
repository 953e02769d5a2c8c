// The per-image indexing projection: one parsed image written into every table that describes it,
// in one transaction, with the statistics and derived indexes moved by the difference between the
// image's previous and new rows.
#include "database/internal/image_projection.h"

#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "database/internal/concept_index.h"
#include "database/internal/generation_record_projection.h"
#include "database/internal/indexing_jobs.h"
#include "database/internal/metadata_payload_storage.h"
#include "database/internal/model_projection.h"
#include "database/internal/prompt_tag_index.h"
#include "database/internal/row_mappers.h"
#include "database/internal/scan_bookkeeping.h"
#include "database/internal/search_query_compiler.h"
#include "database/internal/sql_paths.h"
#include "model/image_aspect.h"
#include "model/text/paths.h"
#include "model/text/unicode.h"

namespace lorvex {

namespace {

// A batch's transaction ends after the image in hand as soon as another write waits for the
// writer, and after 60 ms of images in any case. Every transaction pays for its statistics, its
// full-text flush and its commit besides its images, so transactions stay long while nobody waits,
// and a person's click that comes meanwhile waits for one image, that flush and the commit. The
// commit writes every page the transaction changed into the log, which took 10 to 30 ms after
// 120 ms of images; after 60 ms it takes about half, and a scan is no slower (its commits no longer
// checkpoint the log: wal_checkpointer.h). The next call goes on with the images left.
constexpr std::int64_t kItemWritingLimitNanoseconds = 60'000'000;

// What the library held for the image before this projection.
struct PreviousProjection {
  TagSourceMasks tagMasks;
  std::vector<std::int64_t> modelIDs;
};

PreviousProjection readPreviousProjection(SQLiteConnection& connection, std::int64_t mediaFileID) {
  PreviousProjection previous;
  previous.tagMasks =
      connection.query("SELECT tag_term_id, source_mask FROM media_tag_index WHERE media_file_id = ?",
                       {mediaFileID}, rows::int64Pairs);
  previous.modelIDs = connection.query(
      "SELECT model_usages.model_id FROM generation_records JOIN model_usages ON "
      "model_usages.generation_record_id = generation_records.id WHERE generation_records.media_file_id = ? "
      "AND generation_records.is_primary = 1",
      {mediaFileID}, rows::int64Column);
  return previous;
}

// The path below its library root, or nothing for a file outside it, the root itself, or no root.
std::optional<std::string> relativePath(const std::string& path, const std::string* rootPath) {
  if (rootPath == nullptr || path == *rootPath) return std::nullopt;
  const std::string prefix = sql::folderPrefix(*rootPath);
  if (!path.starts_with(prefix)) return std::nullopt;
  return path.substr(prefix.size());
}

std::vector<std::int64_t> unionOfTagTerms(const TagSourceMasks& previous, const TagSourceMasks& current) {
  std::set<std::int64_t> ids;
  for (const auto& [termID, mask] : previous) ids.insert(termID);
  for (const auto& [termID, mask] : current) ids.insert(termID);
  return {ids.begin(), ids.end()};
}

}  // namespace

struct ImageProjection::StatisticsDeltas {
  TagTermStatsDeltas tagTerms;
  ModelCountDeltas models;
  // The time of the latest projection added: the statistics' rows are stamped with it.
  double now = 0;

  void merge(const StatisticsDeltas& other) {
    tagTerms.merge(other.tagTerms);
    models.merge(other.models);
    now = other.now;
  }
  void apply(SQLiteConnection& connection) const {
    tagTerms.apply(connection, now);
    models.apply(connection);
  }
};

struct ImageProjection::PreparedProjection {
  std::string path;
  std::optional<std::int64_t> existingID;
  bool wasMissing = false;
  bool keepThumbnail = false;
  PreviousProjection previous;
  std::vector<ModelUsageProjection> models;
  std::optional<std::int64_t> rootID;
  std::optional<std::int64_t> jobID;
};

void ImageProjection::upsertRecord(const ImageRecord& record, std::optional<std::int64_t> jobID,
                                   const ContentRelocation& relocation) {
  auto guard = connection_.lock();
  RootCache roots;
  const PreparedProjection prepared = prepareProjection(record, jobID, roots);
  carriedGivenUncommitted_ = 0;
  connection_.performTransaction([&] {
    StatisticsDeltas deltas;
    writeProjectionRows(record, prepared, roots, deltas);
    files_.relocateInto(prepared.path, relocation);
    deltas.apply(connection_);
  });
  carriedGiven_ += std::exchange(carriedGivenUncommitted_, 0);
}

std::vector<ImageLibraryIndexingProgress> ImageProjection::projectQueueItems(
    std::int64_t jobID, const std::vector<QueueItemProjection>& items,
    const FileStillAsReadTest& isStillAsRead) {
  if (items.empty()) return {};
  connection_.letWaitingLockUsersFirst();
  auto guard = connection_.lock();
  // No savepoint per item: SQLite copies every page an open savepoint first changes into its
  // journal, about fifty pages an image, which cost more than the image's own writes. An item that
  // fails rolls the whole transaction back instead, and the items before it are written again
  // without it: they succeeded on the same library once, and failures are rare.
  struct ItemFailed {
    std::size_t index;
  };
  std::size_t count = items.size();
  std::vector<ImageLibraryIndexingProgress> finished;
  while (count > 0) {
    try {
      connection_.performTransaction([&] {
        const std::int64_t began = connection_.clock().monotonicNanoseconds();
        finished.clear();
        carriedGivenUncommitted_ = 0;
        std::vector<std::int64_t> itemIDs;
        itemIDs.reserve(count);
        for (std::size_t i = 0; i < count; ++i) itemIDs.push_back(items[i].itemID);
        IndexingJobs::QueueCompletions completions(jobs_, jobID, itemIDs);
        RootCache roots;
        roots.known.emplace();
        roots.newRows = NewRowBounds::read(connection_);
        StatisticsDeltas deltas;
        // Some failures (a full disk, no memory) end the whole transaction: nothing of it stays.
        const auto failedItem = [&](std::size_t index) {
          if (!connection_.isInTransaction()) throw;
          throw ItemFailed{index};
        };
        std::vector<std::int64_t> mediaIDs;
        mediaIDs.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
          const QueueItemProjection& item = items[i];
          // Asked under the lock, as late as can be: the file's earlier places were found gone
          // before this, so a rename that brings it back after it was read is seen either here or
          // by the scan of that rename.
          if (isStillAsRead && !isStillAsRead(item.record.file)) break;
          try {
            if (item.fileChangedSinceQueued)
              jobs_.updateQueueItemFileInfo(jobID, item.itemID, item.record.file);
            const PreparedProjection prepared = prepareProjection(item.record, jobID, roots);
            mediaIDs.push_back(writeProjectionRows(item.record, prepared, roots, deltas, false));
            files_.relocateInto(prepared.path, item.relocation);
            completions.complete(item.itemID, item.completionMessage);
          } catch (...) {
            failedItem(i);
          }
          finished.push_back(completions.progress());
          if (IndexingJobs::isCheckpointDue(finished.back().processedCount)) break;
          // Every other write of the library waits while the transaction runs.
          if (connection_.lockWaiterCount() > 0 ||
              connection_.clock().monotonicNanoseconds() - began >= kItemWritingLimitNanoseconds)
            break;
        }
        // The full-text rows go last, together. A statement that can fail halfway asks the FTS5
        // table to save its state first, and FTS5 then writes out the terms it holds in memory:
        // written between the other rows, every image left segments of its own in the index.
        for (std::size_t i = 0; i < mediaIDs.size(); ++i) {
          try {
            replaceMediaTextFTSRow(connection_, items[i].record, mediaIDs[i]);
          } catch (...) {
            failedItem(i);
          }
        }
        deltas.apply(connection_);
        completions.write();
      });
      carriedGiven_ += std::exchange(carriedGivenUncommitted_, 0);
      break;
    } catch (const ItemFailed& failed) {
      // Rolled back: the items before the failed one go again, alone in their transaction.
      finished.clear();
      count = failed.index;
    }
  }
  if (!finished.empty() && IndexingJobs::isCheckpointDue(finished.back().processedCount)) {
    // A write that waits goes before the checkpoint, which can take as long as a batch.
    guard.unlock();
    connection_.letWaitingLockUsersFirst();
    jobs_.checkpointWAL();
  }
  return finished;
}

std::int64_t ImageProjection::mediaFileID(std::string_view path) {
  auto guard = connection_.lock();
  return connection_.query("SELECT id FROM media_files WHERE absolute_path = ?", {path},
                           rows::requiredFirstInt64("", path));
}

std::vector<std::int64_t> ImageProjection::mediaFileIDs(const std::vector<std::string>& paths) {
  std::unordered_map<std::string, std::int64_t> found;
  auto guard = connection_.lock();
  sql::forEachInListSlice(
      paths, search::kMaxBoundListLength, [&](const std::string& inList, SQLiteV3Bindings bindings) {
        connection_.query("SELECT absolute_path, id FROM media_files WHERE absolute_path IN " + inList,
                          bindings, [&](SQLiteRows& rows) {
                            while (rows.next()) found.emplace(rows.text(0), rows.int64(1));
                            return 0;
                          });
      });
  std::vector<std::int64_t> ids;
  ids.reserve(paths.size());
  for (const std::string& path : paths) {
    const auto id = found.find(path);
    if (id == found.end()) throw SQLiteImageRepositoryV3Error::recordNotFound(path);
    ids.push_back(id->second);
  }
  return ids;
}

std::optional<std::int64_t> ImageProjection::resolveLibraryRootID(const std::string& path,
                                                                  std::optional<std::int64_t> jobID,
                                                                  RootCache& roots) {
  if (!jobID) return std::nullopt;
  if (!roots.jobRoots) roots.jobRoots = jobs_.indexingJob(*jobID).rootPaths;
  const auto root = ScanBookkeeping::owningRootPath(path, *roots.jobRoots);
  if (!root) return std::nullopt;
  if (const auto known = roots.rootIDs.find(*root); known != roots.rootIDs.end()) return known->second;
  const double now = connection_.now();
  connection_.execute(
      "INSERT INTO library_roots (path, created_at, updated_at) VALUES (?, ?, ?) ON CONFLICT(path) DO UPDATE "
      "SET updated_at = excluded.updated_at",
      {*root, now, now});
  const std::int64_t id = connection_.query("SELECT id FROM library_roots WHERE path = ?", {*root},
                                            rows::requiredFirstInt64("library root ", *root));
  roots.rootIDs.emplace(*root, id);
  roots.rootPaths.emplace(id, *root);
  return id;
}

ImageProjection::PreparedProjection ImageProjection::prepareProjection(const ImageRecord& record,
                                                                       std::optional<std::int64_t> jobID,
                                                                       RootCache& roots) {
  const ImageFileInfo& file = record.file;
  PreparedProjection prepared;
  prepared.path = text::standardizedPath(file.path);
  prepared.jobID = jobID;
  const std::string& path = prepared.path;

  // What the file held before is read first: the statistics move by the difference.
  connection_.query("SELECT id, missing FROM media_files WHERE absolute_path = ?", {path},
                    [&](SQLiteRows& rows) {
                      if (!rows.next()) return 0;
                      prepared.existingID = rows.int64(0);
                      prepared.wasMissing = rows.int64(1) != 0;
                      return 0;
                    });
  if (prepared.existingID && !record.thumbnailPath) {
    const auto stored = files_.indexedFileState(path);
    // A file whose content changed under the same size and time (found by reading it) has another
    // picture than the thumbnail made of it.
    const bool sameContent = !stored || !stored->contentSHA256 || !record.contentSHA256 ||
                             *stored->contentSHA256 == *record.contentSHA256;
    prepared.keepThumbnail = stored && stored->fileInfo.fileSize == file.fileSize &&
                             stored->fileInfo.modificationDate == file.modificationDate && sameContent;
  }
  if (prepared.existingID) prepared.previous = readPreviousProjection(connection_, *prepared.existingID);

  for (const auto& usage : record.metadata.modelUsages) {
    if (const auto modelID = upsertModel(connection_, usage, roots.known ? &roots.known->models : nullptr))
      prepared.models.push_back({*modelID, usage.role});
  }
  prepared.rootID = resolveLibraryRootID(path, jobID, roots);
  return prepared;
}

std::int64_t ImageProjection::writeProjectionRows(const ImageRecord& record,
                                                  const PreparedProjection& prepared, RootCache& roots,
                                                  StatisticsDeltas& deltas, bool withFullText) {
  const ImageFileInfo& file = record.file;
  const GenerationMetadata& metadata = record.metadata;
  const std::string& path = prepared.path;
  const auto& rootID = prepared.rootID;
  const auto& jobID = prepared.jobID;
  const PreviousProjection& previous = prepared.previous;
  const auto& models = prepared.models;
  const bool keepThumbnail = prepared.keepThumbnail;

  const std::string basename = text::lowercased(text::lastPathComponent(path));
  const std::int64_t aspectClass = rawValue(aspectClassForDimensions(metadata.width, metadata.height));
  const double now = connection_.now();

  {
    const auto rootPath = rootID ? roots.rootPaths.find(*rootID) : roots.rootPaths.end();
    const auto relative = relativePath(path, rootPath != roots.rootPaths.end() ? &rootPath->second : nullptr);
    connection_.execute(
        "INSERT INTO media_files (root_id, relative_path, absolute_path, file_identity, file_size, "
        "modification_time, content_sha256, projection_revision, basename_normalized, missing, "
        "first_seen_at, last_seen_at, indexed_at, last_seen_indexing_job_id) VALUES (?, ?, ?, NULL, ?, ?, ?, "
        "?, ?, ?, ?, ?, ?, ?) ON CONFLICT(absolute_path) DO UPDATE SET root_id = excluded.root_id, "
        "relative_path = excluded.relative_path, file_size = excluded.file_size, modification_time = "
        "excluded.modification_time, projection_revision = excluded.projection_revision, basename_normalized "
        "= excluded.basename_normalized, missing = excluded.missing, last_seen_at = excluded.last_seen_at, "
        "last_seen_indexing_job_id = excluded.last_seen_indexing_job_id, indexed_at = excluded.indexed_at, "
        "content_sha256 = COALESCE(excluded.content_sha256, media_files.content_sha256)",
        {rootID, relative, path, file.fileSize, file.modificationDate, record.contentSHA256,
         kMetadataProjectionRevision, basename, record.isMissing, now, now, now, jobID});
    // The row read before (the lock held since) was updated in place, or this statement added it.
    const std::int64_t mediaID = prepared.existingID ? *prepared.existingID : connection_.lastInsertRowID();

    connection_.execute(
        "INSERT INTO image_properties (media_file_id, width, height, aspect_class, thumbnail_key) VALUES (?, "
        "?, ?, ?, ?) ON CONFLICT(media_file_id) DO UPDATE SET width = excluded.width, height = "
        "excluded.height, aspect_class = excluded.aspect_class, thumbnail_key = CASE WHEN "
        "excluded.thumbnail_key IS NOT NULL THEN excluded.thumbnail_key WHEN ? THEN "
        "image_properties.thumbnail_key ELSE NULL END",
        {mediaID, metadata.width, metadata.height, aspectClass, record.thumbnailPath, keepThumbnail});
    // An image new to the library takes what a set-aside library recorded for it, unless the
    // record brings a review of its own.
    CarriedMarks::ForFile carried;
    if (carried_ && !prepared.existingID) {
      carried = carried_->forNewFile(path, record.contentSHA256, [&](const std::string& contentSHA256) {
        return connection_.query(
            "SELECT absolute_path FROM media_files WHERE content_sha256 = ? AND absolute_path <> ?",
            {contentSHA256, path}, rows::textColumn);
      });
    }
    const bool takesCarried = carried.state && record.reviewState == ReviewState{};
    if (takesCarried) carriedGivenUncommitted_ += 1;
    const ReviewState& review = takesCarried ? *carried.state : record.reviewState;
    connection_.execute(
        "INSERT INTO review_states (media_file_id, favorite, delete_candidate, notes, updated_at) VALUES (?, "
        "?, ?, ?, ?) ON CONFLICT(media_file_id) DO NOTHING",
        {mediaID, review.favorite, review.deleteCandidate, review.notes, now});
    // A new record's mark is given on the content just read.
    if (!prepared.existingID && review.deleteCandidate) {
      connection_.execute(
          "INSERT OR REPLACE INTO delete_candidate_contents (media_file_id, content_sha256) VALUES (?, ?)",
          {mediaID, record.contentSHA256});
    }
    if (prepared.wasMissing) files_.keepRestoredFromTrash(path);
    for (const std::int64_t conceptID : carried.conceptIDs) {
      connection_.execute(
          "INSERT INTO image_concept_assignments (concept_id, media_file_id, is_active, created_at, "
          "updated_at) "
          "VALUES (?, ?, 1, ?, ?) ON CONFLICT(concept_id, media_file_id) DO NOTHING",
          {conceptID, mediaID, now, now});
    }

    const MetadataSourceIDs source =
        upsertMetadataSource(connection_, metadata, roots.known ? &roots.known->sources : nullptr);
    // A media file or record this transaction created has nothing under it to clear.
    const NewRowBounds& newRows = roots.newRows;
    const bool newMediaFile = newRows.isNewMediaFile(mediaID);
    const std::int64_t recordID =
        replacePrimaryGenerationRecord(connection_, metadata, source, mediaID, models, now, newRows);
    replaceMetadataPayloads(connection_, metadata, source, mediaID, now, !newMediaFile);
    // The record's prompt segments were just written: only a character role among them is cleared.
    const bool newRecord = newRows.isNewGenerationRecord(recordID);
    for (const bool negative : {false, true}) {
      replaceCharacterSegments(
          connection_, negative ? metadata.negativeCharacterCaptions : metadata.characterCaptions, recordID,
          negative, !newRecord || promptSegmentsHaveCharacterRole(metadata, negative));
    }

    const TagSourceMasks tagMasks =
        replaceTagRows(connection_, record, mediaID, recordID, roots.known ? &roots.known->tagTerms : nullptr,
                       !newMediaFile);
    if (withFullText) replaceMediaTextFTSRow(connection_, record, mediaID);
    deltas.tagTerms.add(previous.tagMasks, tagMasks);
    deltas.now = now;
    std::vector<std::int64_t> concepts = conceptIDs(connection_, unionOfTagTerms(previous.tagMasks, tagMasks),
                                                    roots.known ? &roots.known->termConcepts : nullptr);
    if (!carried.conceptIDs.empty()) {
      std::set<std::int64_t> all(concepts.begin(), concepts.end());
      all.insert(carried.conceptIDs.begin(), carried.conceptIDs.end());
      concepts.assign(all.begin(), all.end());
    }
    updateConceptIndexForMediaFile(connection_, mediaID, concepts, now);

    std::vector<std::int64_t> modelIDs;
    for (const auto& usage : models) modelIDs.push_back(usage.modelID);
    deltas.models.add(previous.modelIDs, modelIDs);
    return mediaID;
  }
}

}  // namespace lorvex
