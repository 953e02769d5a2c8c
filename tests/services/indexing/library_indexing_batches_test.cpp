// The repository's batched queue operations against the per-item ones they stand for: queueing
// discovered files, claiming order, states over more paths than one statement takes, counters
// from any earlier state of an item, and the write-ahead log checkpoint after every 500th
// processed item; new images projected together against the same images projected one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "database/internal/row_mappers.h"
#include "database/support/repository_connection.h"
#include "platform/clock.h"
#include "services/indexing/scanner_test_library.h"
#include "support/library_file_name.h"

namespace lorvex {
namespace {

using lorvex::testing::libraryFileName;

using testing::ScannerTestLibrary;

std::vector<std::string> paths(const std::vector<IndexingQueueItem>& items) {
  std::vector<std::string> result;
  for (const auto& item : items) result.push_back(item.path);
  return result;
}

// Queues the same files, with ties in time, for a new job.
std::int64_t jobWithFiles(SQLiteImageRepositoryV3& store, int count) {
  const auto job = store.startIndexingJob({"/photos"});
  for (int i = 0; i < count; ++i) {
    store.enqueueIndexingQueueItems(
        job.id,
        {"/photos/" + std::to_string(i % 7) + "-" + std::to_string(i) + ".png", 10 + i, 1000.0 + i % 4});
  }
  return job.id;
}

// The rows a queueing batch can touch, as text with the photo folder's path taken out: the newest
// job's queue, every job's counts, and the files.
std::vector<std::string> queueingRows(ScannerTestLibrary& library) {
  std::vector<std::string> rows;
  lorvex::testing::connectionOf(*library.repository).withLock([&] {
    const auto collect = [&](const std::string& sql, int columns) {
      lorvex::testing::connectionOf(*library.repository).query(sql, {}, [&](SQLiteRows& result) {
        while (result.next()) {
          std::string row;
          for (int column = 0; column < columns; ++column)
            row += "|" + (result.isNull(column) ? std::string("null") : result.text(column));
          for (std::size_t at = row.find(library.root()); at != std::string::npos;
               at = row.find(library.root()))
            row.replace(at, library.root().size(), "<root>");
          rows.push_back(row);
        }
        return 0;
      });
    };
    collect(
        "SELECT path, status, failure_message, file_size, printf('%.6f', modification_time) FROM "
        "indexing_queue_items WHERE job_id = (SELECT MAX(id) FROM indexing_jobs) ORDER BY path",
        5);
    collect(
        "SELECT total_count, processed_count, indexed_count, failed_count, current_path FROM indexing_jobs "
        "ORDER BY id",
        5);
    collect(
        "SELECT absolute_path, file_size, printf('%.6f', modification_time), missing, content_sha256, "
        "last_seen_indexing_job_id FROM media_files ORDER BY absolute_path",
        6);
    collect(
        "SELECT m.absolute_path, p.thumbnail_key FROM image_properties p JOIN media_files m ON m.id = "
        "p.media_file_id ORDER BY m.absolute_path",
        2);
  });
  return rows;
}

bool sameSizeAndNearTime(const std::optional<IndexedImageFileState>& stored, const ImageFileInfo& file) {
  return stored && stored->fileInfo.fileSize == file.fileSize &&
         std::abs(stored->fileInfo.modificationDate - file.modificationDate) < 0.001;
}

TEST(LibraryIndexingBatchesTest, QueueingTogetherCountsAsQueueingAndCompletingOneAfterAnother) {
  struct Run {
    std::vector<ImageLibraryIndexingProgress> progress;
    std::vector<std::optional<ImageLibraryIndexingProgress>> completions;
    std::vector<std::string> rows;
  };
  std::vector<Run> runs;
  for (const bool together : {false, true}) {
    SCOPED_TRACE(together ? "together" : "one after another");
    ScannerTestLibrary library;
    auto& store = library.store;
    double time = 1'700'000'000.25;
    for (const char* name : {"a", "b", "c", "d", "f", "g", "h"})
      library.writePNG(std::string(name) + ".png", "a cat", time += 10);
    library.scanner().scan({library.root()}, {}, {});
    lorvex::testing::connectionOf(*library.repository).withLock([&] {
      auto& connection = lorvex::testing::connectionOf(*library.repository);
      connection.execute("UPDATE media_files SET missing = 1 WHERE absolute_path = ?",
                         {library.photo("g.png")});
      connection.execute("UPDATE image_properties SET thumbnail_key = 'key-' || media_file_id");
    });
    const auto stored = [&](const std::string& name) { return *store.indexedFileState(library.photo(name)); };
    const auto file = [&](const std::string& name) { return stored(name).fileInfo; };

    // A job whose queue already holds items in every state a file can meet.
    const auto job = store.startIndexingJob({library.root()});
    for (const char* name : {"b.png", "c.png"}) store.enqueueIndexingQueueItems(job.id, file(name));
    const auto claimed = store.beginNextQueueItems(job.id, 2);
    ASSERT_EQ(claimed.size(), 2u);
    store.completeIndexingQueueItem(job.id, claimed[0].id, std::nullopt);
    store.failIndexingQueueItem(job.id, claimed[1].id, "disk full");
    store.recordDiscoveryFailure(job.id, library.photo("d.png"), "Permission denied");

    ImageFileInfo changedC = file("c.png");
    changedC.modificationDate += 5;
    ImageFileInfo nearH = file("h.png");
    nearH.modificationDate += 0.0004;
    ImageFileInfo otherF = file("f.png");
    otherF.path = library.photo("sub/../f.png");  // not standardized: the same item
    otherF.fileSize += 1;
    const std::vector<ImageFileInfo> files{
        file("a.png"),                         // new to the job, held unchanged: completed
        file("b.png"),                         // queued as it is: left alone
        changedC,                              // changed since queued and since stored: pending
        file("d.png"),                         // after a walk failure, held unchanged: completed
        {library.photo("e.png"), 10, 1000.0},  // not in the library: pending
        file("f.png"),                         // given twice: queued twice, completed by neither
        file("g.png"),                         // stored as missing: completed, present again
        otherF,
        nearH,  // within the tolerance: completed, loses its thumbnail key
    };

    Run run;
    if (together) {
      for (auto& answer : store.enqueueIndexingQueueItemBatch(job.id, files, sameSizeAndNearTime)) {
        run.progress.push_back(answer.progress);
        run.completions.push_back(answer.completion);
      }
    } else {
      const std::vector<bool> completes{true, false, false, true, false, false, true, false, true};
      for (const auto& each : files) {
        store.enqueueIndexingQueueItems(job.id, each);
        run.progress.push_back(store.indexingJob(job.id).progress);
      }
      for (std::size_t i = 0; i < files.size(); ++i) {
        if (!completes[i]) {
          run.completions.emplace_back();
          continue;
        }
        const auto item = lorvex::testing::connectionOf(*library.repository).withLock([&] {
          return lorvex::testing::connectionOf(*library.repository)
              .query("SELECT id FROM indexing_queue_items WHERE job_id = ? AND path = ?",
                     {job.id, files[i].path}, rows::firstInt64);
        });
        store.markObserved(files[i], job.id);
        run.completions.emplace_back(store.completeIndexingQueueItem(job.id, *item, std::nullopt));
      }
    }
    run.rows = queueingRows(library);
    runs.push_back(std::move(run));
  }
  EXPECT_EQ(runs[0].progress, runs[1].progress);
  EXPECT_EQ(runs[0].completions, runs[1].completions);
  EXPECT_EQ(runs[0].rows, runs[1].rows);
}

TEST(LibraryIndexingBatchesTest, AQueueingBatchThatFailsQueuesNothing) {
  ScannerTestLibrary library;
  auto& store = library.store;
  const auto job = store.startIndexingJob({"/photos"});
  const std::vector<ImageFileInfo> files{{"/photos/a.png", 1, 1}, {"/photos/b.png", 2, 2}};
  const auto before = queueingRows(library);
  EXPECT_THROW(store.enqueueIndexingQueueItemBatch(job.id + 1, files, sameSizeAndNearTime),
               SQLiteImageRepositoryV3Error);
  EXPECT_THROW(store.enqueueIndexingQueueItemBatch(
                   job.id, files,
                   [](const std::optional<IndexedImageFileState>&, const ImageFileInfo&) -> bool {
                     throw std::runtime_error("no answer");
                   }),
               std::runtime_error);
  EXPECT_EQ(queueingRows(library), before);
}

TEST(LibraryIndexingBatchesTest, ABurstIsClaimedInTheOrderOfSingleClaims) {
  ScannerTestLibrary library;
  auto& store = library.store;
  const std::int64_t single = jobWithFiles(store, 30);
  std::vector<IndexingQueueItem> oneByOne;
  while (auto item = store.beginNextQueueItem(single)) oneByOne.push_back(*item);

  const std::int64_t batched = jobWithFiles(store, 30);
  auto claimed = store.beginNextQueueItems(batched, 11);
  ASSERT_EQ(claimed.size(), 11u);
  EXPECT_EQ(store.indexingJob(batched).progress.currentPath, claimed.front().path);
  const auto rest = store.beginNextQueueItems(batched, 100);
  claimed.insert(claimed.end(), rest.begin(), rest.end());
  EXPECT_EQ(paths(claimed), paths(oneByOne));
  EXPECT_TRUE(store.beginNextQueueItems(batched, 5).empty());
  for (const auto& item : claimed) {
    EXPECT_EQ(item.status, IndexingQueueItemStatus::processing);
    EXPECT_EQ(library.repository->indexingQueueItem(item.id, batched), item);
  }
}

TEST(LibraryIndexingBatchesTest, StatesComeInTheOrderAskedAcrossStatements) {
  ScannerTestLibrary library;
  std::vector<std::string> stored;
  for (int i = 0; i < 5; ++i) stored.push_back(library.writePNG("s" + std::to_string(i) + ".png"));
  library.scanner().scan({library.root()}, {}, {});

  std::vector<std::string> asked;
  for (int i = 0; i < 900; ++i) {
    asked.push_back(i % 200 == 7 ? stored[static_cast<std::size_t>(i / 200)]
                                 : library.photo("none-" + std::to_string(i)));
  }
  asked.push_back(stored[4] + "/");  // not standardized as stored: found all the same
  asked.push_back(stored[0]);
  const auto states = library.store.indexedFileStates(asked);
  ASSERT_EQ(states.size(), asked.size());
  int found = 0;
  for (std::size_t i = 0; i < asked.size(); ++i) {
    EXPECT_EQ(states[i], library.store.indexedFileState(asked[i])) << asked[i];
    found += states[i].has_value() ? 1 : 0;
  }
  EXPECT_EQ(found, 7);
}

TEST(LibraryIndexingBatchesTest, CompletingTogetherCountsAsCompletingOneAfterAnother) {
  // Items in every state a completion can find them in, completed singly in one job and together
  // in another: the same progress after each.
  ScannerTestLibrary library;
  auto& store = library.store;
  std::vector<std::vector<ImageLibraryIndexingProgress>> results;
  for (const bool together : {false, true}) {
    const std::int64_t job = jobWithFiles(store, 8);
    std::vector<IndexingQueueItem> items;
    while (auto item = store.beginNextQueueItem(job)) items.push_back(*item);
    store.completeIndexingQueueItem(job, items[1].id, std::nullopt);
    store.completeIndexingQueueItem(job, items[2].id, std::string("Unable to write thumbnail: x"));
    store.failIndexingQueueItem(job, items[3].id, "disk full");
    std::vector<ImageLibraryIndexingProgress> progress;
    if (together) {
      std::vector<UnchangedQueueItem> unchanged;
      for (const auto& item : items)
        unchanged.push_back({item.id, {item.path, *item.fileSize, *item.modificationDate}});
      progress = store.completeUnchangedQueueItems(job, unchanged);
    } else {
      for (const auto& item : items)
        progress.push_back(store.completeIndexingQueueItem(job, item.id, std::nullopt));
    }
    EXPECT_EQ(progress.back(), store.indexingJob(job).progress);
    results.push_back(progress);
  }
  EXPECT_EQ(results[0], results[1]);
}

TEST(LibraryIndexingBatchesTest, ABatchEndsAtEvery500thProcessedItemWithTheLogCheckpointed) {
  ScannerTestLibrary library;
  auto& store = library.store;
  const std::filesystem::path wal = library.libraryFolder.path() / libraryFileName("-wal");
  const std::int64_t job = jobWithFiles(store, 1100);
  std::vector<UnchangedQueueItem> unchanged;
  for (const auto& item : store.beginNextQueueItems(job, 1100)) {
    unchanged.push_back({item.id, {item.path, *item.fileSize, *item.modificationDate}});
  }
  ASSERT_EQ(unchanged.size(), 1100u);

  // An item that is not the job's: nothing of the batch is written.
  auto foreign = unchanged;
  foreign.insert(foreign.begin() + 3, UnchangedQueueItem{999'999, {"/photos/x.png", 1, 1}});
  EXPECT_THROW(store.completeUnchangedQueueItems(job, foreign), SQLiteImageRepositoryV3Error);
  EXPECT_EQ(store.indexingJob(job).progress.processedCount, 0);

  std::size_t done = 0;
  std::vector<std::size_t> batches;
  while (done < unchanged.size()) {
    const std::vector<UnchangedQueueItem> rest(unchanged.begin() + static_cast<std::ptrdiff_t>(done),
                                               unchanged.end());
    const auto progress = store.completeUnchangedQueueItems(job, rest);
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 0; i < progress.size(); ++i) {
      EXPECT_EQ(progress[i].processedCount, static_cast<std::int64_t>(done + i + 1));
      EXPECT_EQ(progress[i].indexedCount, static_cast<std::int64_t>(done + i + 1));
      EXPECT_EQ(progress[i].totalCount, 1100);
    }
    done += progress.size();
    batches.push_back(progress.size());
    if (done % 500 == 0) {
      EXPECT_EQ(std::filesystem::file_size(wal), 0u) << "after " << done;
    } else {
      EXPECT_GT(std::filesystem::file_size(wal), 0u) << "after " << done;
    }
  }
  EXPECT_EQ(batches, (std::vector<std::size_t>{500, 500, 100}));
  EXPECT_EQ(library.count("SELECT COUNT(*) FROM indexing_queue_items WHERE status = 'indexed'"), 1100);
}

// Every row the projection and a completion move, as text: files, tags and their statistics,
// models and their search rows, texts, the newest job's queue and every job's counts.
std::vector<std::string> projectionRows(ScannerTestLibrary& library) {
  return testing::textRows(
      *library.repository,
      {
          {"SELECT path, status, failure_message, file_size FROM indexing_queue_items WHERE job_id = "
           "(SELECT MAX(id) FROM indexing_jobs) ORDER BY path",
           4},
          {"SELECT total_count, processed_count, indexed_count, failed_count, current_path FROM "
           "indexing_jobs",
           5},
          {"SELECT absolute_path, file_size, content_sha256, root_id IS NOT NULL, relative_path, missing "
           "FROM "
           "media_files ORDER BY absolute_path",
           6},
          {"SELECT t.normalized_key, t.display_name, s.image_count, s.prompt_image_count, "
           "s.character_image_count "
           "FROM tag_terms t LEFT JOIN tag_term_stats s ON s.tag_term_id = t.id ORDER BY t.normalized_key",
           5},
          {"SELECT m.absolute_path, t.normalized_key, i.source_mask FROM media_tag_index i JOIN media_files "
           "m ON "
           "m.id = i.media_file_id JOIN tag_terms t ON t.id = i.tag_term_id ORDER BY 1, 2",
           3},
          {"SELECT raw_source, image_count, (SELECT COUNT(*) FROM model_search_fts f WHERE f.rowid = "
           "models.id) "
           "FROM models ORDER BY raw_source",
           3},
          // The dictionaries as the last image left them, and what each record points to.
          {"SELECT id, raw_source, provider, display_name, normalized_key, family, version, source_hash "
           "FROM models ORDER BY id",
           8},
          {"SELECT id, code, display_name FROM metadata_providers ORDER BY id", 3},
          {"SELECT id, code, provider_id, display_name FROM metadata_formats ORDER BY id", 4},
          {"SELECT m.absolute_path, r.provider_id, r.format_id FROM generation_records r JOIN media_files m "
           "ON m.id = r.media_file_id ORDER BY 1",
           3},
          {"SELECT c.concept_id, m.absolute_path, c.source_mask FROM concept_image_index c JOIN media_files "
           "m ON m.id = c.media_file_id ORDER BY 1, 2",
           3},
          {"SELECT concept_id, image_count FROM tag_concept_stats ORDER BY 1", 2},
          {"SELECT m.absolute_path, f.prompt, f.tags FROM media_text_fts f JOIN media_files m ON m.id = "
           "f.rowid "
           "ORDER BY 1",
           3},
          // The full-text index itself, not only its stored texts: batches write it last.
          {"SELECT m.absolute_path FROM media_text_fts f JOIN media_files m ON m.id = f.rowid WHERE "
           "media_text_fts MATCH 'cat OR dog OR owl' ORDER BY 1",
           1},
      });
}

ImageRecord projectedRecord(const std::string& path, std::int64_t size, const std::string& prompt,
                            std::vector<std::string> tags, const std::string& model) {
  ImageRecord record;
  record.file = {path, size, 1000.0};
  record.metadata.prompt = prompt;
  record.metadata.promptSegments = {{"positive", false, prompt}};
  record.metadata.modelUsages = {{model, std::nullopt, "primary", std::nullopt, std::nullopt}};
  record.promptTags = std::move(tags);
  record.contentSHA256 = "hash-of-" + path;
  return record;
}

// Claims every queued item of a new job over /photos whose files are `records` (queued with size 1,
// so a record of another size reads as a file changed since it was queued).
std::vector<QueueItemProjection> claimedProjections(SQLiteImageRepositoryV3& store, std::int64_t& job,
                                                    const std::vector<ImageRecord>& records) {
  job = store.startIndexingJob({"/photos"}).id;
  for (const auto& record : records) store.enqueueIndexingQueueItems(job, {record.file.path, 1, 1000.0});
  std::vector<QueueItemProjection> projections;
  for (const auto& item : store.beginNextQueueItems(job, records.size())) {
    for (const auto& record : records) {
      if (record.file.path != item.path) continue;
      QueueItemProjection projection;
      projection.itemID = item.id;
      projection.fileChangedSinceQueued = record.file.fileSize != 1;
      projection.record = record;
      if (record.file.path.ends_with("thumbless.png"))
        projection.completionMessage = "Unable to write thumbnail: x";
      projections.push_back(std::move(projection));
    }
  }
  return projections;
}

// The record from a provider and format, its model usage carrying `modelHash`.
ImageRecord fromSource(ImageRecord record, const std::string& providerName, const std::string& formatCode,
                       const std::string& formatName, std::optional<std::string> modelHash = std::nullopt) {
  record.metadata.provider = GenerationMetadataProvider{"novelai", providerName};
  record.metadata.format = GenerationMetadataFormat{formatCode, formatName};
  record.metadata.modelUsages.front().hash = std::move(modelHash);
  return record;
}

TEST(LibraryIndexingBatchesTest, ProjectingTogetherEndsAsProjectingAndCompletingOneAfterAnother) {
  // A library holding two images, then a job re-projecting one of them with other tags and
  // model, and new images sharing tags and models: the statistics move by the sum of both kinds.
  // The images of the job (claimed in path order: a, c, sub/d, thumbless) name one provider,
  // format and model with names and hashes that change and change back, and a concept gathers
  // two of the tags: the last image's names stand, and each image points to the same rows.
  const std::vector<ImageRecord> first{
      projectedRecord("/photos/a.png", 1, "cat, sky", {"cat", "sky"}, "modelA"),
      projectedRecord("/photos/b.png", 1, "dog, sky", {"dog", "sky"}, "modelA"),
  };
  const std::vector<ImageRecord> second{
      fromSource(projectedRecord("/photos/a.png", 5, "owl", {"owl", "Sky"}, "modelB"), "NovelAI", "png",
                 "PNG text", "h1"),
      fromSource(projectedRecord("/photos/c.png", 1, "cat", {"cat"}, "modelB"), "NovelAI Diffusion", "png",
                 "PNG chunks", "h2"),
      fromSource(projectedRecord("/photos/thumbless.png", 1, "owl, dog", {"owl", "dog"}, "modelB"),
                 "NovelAI Diffusion", "png", "PNG text", "h1"),
      fromSource(projectedRecord("/photos/sub/d.png", 7, "", {}, "modelA"), "NovelAI", "png", "PNG text"),
  };
  std::vector<std::vector<std::string>> rows;
  std::vector<std::vector<ImageLibraryIndexingProgress>> progress;
  for (const bool together : {false, true}) {
    ScannerTestLibrary library;
    auto& store = library.store;
    std::vector<ImageLibraryIndexingProgress> reports;
    for (const auto* records : {&first, &second}) {
      if (records == &second) {
        const std::int64_t pets = store.createTagConcept("Pets").id;
        store.addTagConceptAlias(pets, "cat");
        store.addTagConceptAlias(pets, "dog");
      }
      std::int64_t job = 0;
      const auto projections = claimedProjections(store, job, *records);
      ASSERT_EQ(projections.size(), records->size());
      reports.clear();
      if (together) {
        reports = store.projectQueueItems(job, projections, {});
      } else {
        for (const auto& projection : projections) {
          if (projection.fileChangedSinceQueued)
            store.updateQueueItemFileInfo(job, projection.itemID, projection.record.file);
          store.upsertRecord(projection.record, job);
          reports.push_back(
              store.completeIndexingQueueItem(job, projection.itemID, projection.completionMessage));
        }
      }
    }
    rows.push_back(projectionRows(library));
    progress.push_back(reports);
  }
  ASSERT_EQ(progress[0].size(), second.size());
  EXPECT_EQ(progress[1], progress[0]);
  EXPECT_EQ(rows[1], rows[0]);
}

// Rows under a media file or generation record id that have lost their parent (another program
// deleted it with foreign keys off) are cleared when a batch's new row takes that id, like a single
// projection clears them: whether they lie above the newest id or in a gap the batch reaches by
// replacing the newest record.
TEST(LibraryIndexingBatchesTest, RowsLeftUnderAnIdANewRowTakesAreClearedByABatch) {
  const auto image = [](const std::string& name, const std::string& tag) {
    ImageRecord record = projectedRecord("/photos/" + name, 1, tag, {tag}, "modelA");
    record.metadata.generationParameters = {{"steps", 20, std::nullopt, std::nullopt}};
    return record;
  };
  const std::vector<ImageRecord> first{image("a.png", "cat"), image("b.png", "dog")};
  // b.png again (its record is the newest), then new images.
  const std::vector<ImageRecord> second{image("b.png", "owl"), image("c.png", "sky"), image("d.png", "sea")};
  struct Case {
    std::string name;
    std::string leftRows;  // run with foreign keys off after the first batch
  };
  const Case cases[] = {
      {"nothing left behind", ""},
      {"rows above the newest media file and record",
       "INSERT INTO generation_records (id, media_file_id, is_primary, created_at, updated_at) VALUES "
       "((SELECT MAX(id) + 1 FROM generation_records), (SELECT MAX(id) + 1 FROM media_files), 1, 0, 0);"
       "INSERT INTO media_tag_index VALUES ((SELECT MAX(id) + 1 FROM media_files), 1, 1);"
       "INSERT INTO tag_occurrences (media_file_id, generation_record_id, tag_term_id, source_mask, "
       "source_role, occurrence_index) VALUES ((SELECT MAX(id) + 2 FROM media_files), NULL, 1, 1, "
       "'prompt', 0);"
       "INSERT INTO metadata_payloads (media_file_id, container, payload_key, blob_sha256, encoding, "
       "parse_status, captured_at) VALUES ((SELECT MAX(id) + 1 FROM media_files), 'png', 'left', 'x', "
       "'utf-8', 'parsed', 0);"
       "INSERT INTO prompt_segments (generation_record_id, segment_index, role, content) VALUES "
       "((SELECT MAX(id) + 1 FROM generation_records), 0, 'positive', 'left behind');"
       "INSERT INTO generation_parameters (generation_record_id, key, text_value) VALUES "
       "((SELECT MAX(id) + 2 FROM generation_records), 'left', 'behind');"},
      {"rows of a record deleted below the newest one",
       "DELETE FROM generation_records WHERE id = (SELECT MIN(id) FROM generation_records);"},
  };
  // The rows of the images the second batch writes (a record left without its image shows too).
  const std::vector<std::pair<std::string, int>> rowQueries{
      {"SELECT m.absolute_path, g.is_primary, g.prompt FROM generation_records g LEFT JOIN media_files m ON "
       "m.id = g.media_file_id WHERE m.absolute_path IS NOT '/photos/a.png' ORDER BY 1, 2, 3",
       3},
      {"SELECT m.absolute_path, s.role, s.content FROM prompt_segments s JOIN generation_records g ON g.id = "
       "s.generation_record_id JOIN media_files m ON m.id = g.media_file_id WHERE m.absolute_path IS NOT "
       "'/photos/a.png' ORDER BY 1, 2, 3",
       3},
      {"SELECT m.absolute_path, p.key, p.integer_value, p.text_value FROM generation_parameters p JOIN "
       "generation_records g ON g.id = p.generation_record_id JOIN media_files m ON m.id = g.media_file_id "
       "WHERE m.absolute_path IS NOT '/photos/a.png' ORDER BY 1, 2",
       4},
      {"SELECT m.absolute_path, t.normalized_key FROM media_tag_index i JOIN media_files m ON m.id = "
       "i.media_file_id JOIN tag_terms t ON t.id = i.tag_term_id WHERE m.absolute_path IS NOT "
       "'/photos/a.png' ORDER BY 1, 2",
       2},
      {"SELECT m.absolute_path, t.normalized_key FROM tag_occurrences o JOIN media_files m ON m.id = "
       "o.media_file_id JOIN tag_terms t ON t.id = o.tag_term_id WHERE m.absolute_path IS NOT "
       "'/photos/a.png' ORDER BY 1, 2",
       2},
      {"SELECT m.absolute_path, p.payload_key FROM metadata_payloads p JOIN media_files m ON m.id = "
       "p.media_file_id WHERE m.absolute_path IS NOT '/photos/a.png' ORDER BY 1, 2",
       2},
  };
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScannerTestLibrary library;
    auto& store = library.store;
    std::int64_t job = 0;
    store.projectQueueItems(job, claimedProjections(store, job, first), {});
    if (!c.leftRows.empty()) {
      auto& connection = lorvex::testing::connectionOf(*library.repository);
      connection.withLock([&] {
        connection.executeScript("PRAGMA foreign_keys = OFF;");
        connection.executeScript(c.leftRows);
        connection.executeScript("PRAGMA foreign_keys = ON;");
      });
    }
    ASSERT_EQ(store.projectQueueItems(job, claimedProjections(store, job, second), {}).size(), second.size());
    const auto rows = testing::textRows(*library.repository, rowQueries);
    if (expected.empty()) {
      expected = rows;
      ASSERT_FALSE(expected.empty());
    } else {
      EXPECT_EQ(rows, expected);
    }
  }
}

// A clock whose monotonic reading moves by `step` at every reading.
class SteppingClock final : public platform::Clock {
 public:
  explicit SteppingClock(std::int64_t step) : step_(step) {}
  double now() const override { return 1'700'000'000.0; }
  std::int64_t monotonicNanoseconds() const override { return reading_.fetch_add(step_); }

 private:
  const std::int64_t step_;
  mutable std::atomic<std::int64_t> reading_{0};
};

TEST(LibraryIndexingBatchesTest, ABatchsTransactionEndsForAWaitingWriteOrAfterItsTimeAndTheNextCallGoesOn) {
  const struct {
    const char* name;
    std::int64_t stepNanoseconds;  // how far the clock moves at each reading
    bool writeWaits;               // another thread waits for the writer while the first image is written
    std::vector<std::size_t> writtenPerCall;
  } cases[] = {
      {"quick writes, nobody waits: one transaction", 0, false, {4}},
      {"each image takes longer than the limit: one each", 130'000'000, false, {1, 1, 1, 1}},
      {"a write waits: the image in hand, then the rest", 0, true, {1, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TemporaryFolder folder;
    SteppingClock clock(c.stepNanoseconds);
    SQLiteImageRepositoryV3Options options;
    options.clock = &clock;
    SQLiteConnection* writer = nullptr;
    bool armed = false;
    std::thread waiter;
    options.statementObserver = [&](std::string_view sql) {
      if (!armed || !sql.starts_with("INSERT INTO media_files")) return;
      armed = false;
      waiter = std::thread([&] { writer->withLock([] {}); });
      while (writer->lockWaiterCount() == 0) std::this_thread::yield();
    };
    SQLiteImageRepositoryV3 store(folder.path() / kLibraryDatabaseFileName, options);
    writer = &lorvex::testing::connectionOf(store);
    std::int64_t job = 0;
    auto projections = claimedProjections(store, job,
                                          {projectedRecord("/photos/1.png", 1, "cat", {"cat"}, "modelA"),
                                           projectedRecord("/photos/2.png", 1, "dog", {"dog"}, "modelA"),
                                           projectedRecord("/photos/3.png", 1, "owl", {"owl"}, "modelB"),
                                           projectedRecord("/photos/4.png", 1, "bee", {"bee"}, "modelA")});
    ASSERT_EQ(projections.size(), 4u);
    armed = c.writeWaits;
    std::vector<std::size_t> writtenPerCall;
    while (!projections.empty()) {
      const auto finished = store.projectQueueItems(job, projections, {});
      ASSERT_FALSE(finished.empty());
      writtenPerCall.push_back(finished.size());
      projections.erase(projections.begin(),
                        projections.begin() + static_cast<std::ptrdiff_t>(finished.size()));
    }
    if (waiter.joinable()) waiter.join();
    EXPECT_EQ(writtenPerCall, c.writtenPerCall);
    EXPECT_EQ(store.indexingJob(job).progress.processedCount, 4);
    auto& connection = lorvex::testing::connectionOf(store);
    const std::int64_t modelA = connection.withLock([&] {
      return connection.query("SELECT image_count FROM models WHERE raw_source = 'modelA'", {},
                              rows::firstInt64OrZero);
    });
    EXPECT_EQ(modelA, 3);
  }
}

TEST(LibraryIndexingBatchesTest,
     AProjectionThatCannotBeWrittenEndsTheBatchAloneAndAFailedBatchWritesNothing) {
  ScannerTestLibrary library;
  auto& store = library.store;
  std::int64_t job = 0;
  auto projections =
      claimedProjections(store, job,
                         {projectedRecord("/photos/1.png", 1, "cat", {"cat"}, "modelA"),
                          projectedRecord("/photos/2.png", 1, "dog", {"dog"}, "modelA"),
                          projectedRecord("/photos/3-refused.png", 1, "owl", {"owl"}, "modelB"),
                          projectedRecord("/photos/4.png", 1, "bee", {"bee"}, "modelA")});
  ASSERT_EQ(projections.size(), 4u);
  std::sort(projections.begin(), projections.end(),
            [](const auto& a, const auto& b) { return a.record.file.path < b.record.file.path; });

  // An item that is not the job's fails the whole batch before anything is written.
  auto foreign = projections;
  foreign.push_back(projections.front());
  foreign.back().itemID = 999'999;
  EXPECT_THROW(store.projectQueueItems(job, foreign, {}), SQLiteImageRepositoryV3Error);
  EXPECT_EQ(library.count("SELECT COUNT(*) FROM media_files"), 0);

  auto& connection = lorvex::testing::connectionOf(*library.repository);
  connection.withLock([&] {
    connection.execute(
        "CREATE TEMP TRIGGER refuse BEFORE INSERT ON media_files WHEN NEW.absolute_path LIKE '%refused%' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  });
  const auto finished = store.projectQueueItems(job, projections, {});
  ASSERT_EQ(finished.size(), 2u);
  EXPECT_EQ(finished.back().processedCount, 2);
  EXPECT_EQ(store.indexingJob(job).progress, finished.back());
  // The refused item's own writes are gone (its tag and model too); the ones before it stay, the
  // ones after it wait.
  EXPECT_EQ(library.count("SELECT COUNT(*) FROM media_files"), 2);
  EXPECT_EQ(library.count("SELECT COUNT(*) FROM tag_terms WHERE normalized_key = 'owl'"), 0);
  EXPECT_EQ(library.count("SELECT COUNT(*) FROM models WHERE raw_source = 'modelB'"), 0);
  EXPECT_EQ(library.count("SELECT image_count FROM models WHERE raw_source = 'modelA'"), 2);
  EXPECT_EQ(library.count("SELECT COUNT(*) FROM indexing_queue_items WHERE status = 'processing'"), 2);

  // The caller goes on after the refused item: the first one it gives is written.
  const std::vector<QueueItemProjection> rest{projections[3]};
  EXPECT_EQ(store.projectQueueItems(job, rest, {}).size(), 1u);
  EXPECT_EQ(library.count("SELECT image_count FROM models WHERE raw_source = 'modelA'"), 3);
  EXPECT_EQ(store.indexingJob(job).progress.processedCount, 3);
}

}  // namespace
}  // namespace lorvex
