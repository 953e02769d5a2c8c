// Scans through the store's batched operations against the same scans taken one item at a time:
// the library must end up the same, the summaries and progress reports must agree, and a scan
// stopped anywhere inside a batch must resume to the library of an uninterrupted one.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "database/support/repository_connection.h"
#include "services/indexing/failing_indexing_store.h"
#include "services/indexing/image_library_scanner.h"
#include "services/indexing/scanner_test_library.h"

namespace lorvex {
namespace {

using Phase = ImageLibraryIndexingPhase;
using testing::FailingIndexingStore;
using testing::PNGBuilder;
using testing::ProgressLog;
using testing::ScannerTestLibrary;

constexpr int kUnchangedFiles = 150;

std::string relative(std::string text, const ScannerTestLibrary& library) {
  const std::string root = library.root();
  for (std::size_t at = text.find(root); at != std::string::npos; at = text.find(root, at)) {
    text.replace(at, root.size(), "<root>");
  }
  return text;
}

// Every row a scan writes, as text with the photo folder's path taken out: the media files (with
// whether the newest job saw them), the thumbnail keys, the newest job's queue and every job.
std::vector<std::string> libraryRows(ScannerTestLibrary& library) {
  std::vector<std::string> rows;
  const auto collect = [&](const std::string& sql) {
    lorvex::testing::connectionOf(*library.repository).withLock([&] {
      lorvex::testing::connectionOf(*library.repository).query(sql, {}, [&](SQLiteRows& result) {
        while (result.next()) {
          std::string row;
          for (int column = 0; column < 7; ++column) {
            if (result.isNull(column)) {
              row += "|null";
            } else {
              row += "|" + result.text(column);
            }
          }
          rows.push_back(relative(row, library));
        }
        return 0;
      });
    });
  };
  collect(
      "SELECT absolute_path, file_size, printf('%.6f', modification_time), missing, content_sha256, "
      "projection_revision, last_seen_indexing_job_id = (SELECT MAX(id) FROM indexing_jobs) FROM media_files "
      "ORDER BY absolute_path");
  collect(
      "SELECT m.absolute_path, p.thumbnail_key, 0, 0, 0, 0, 0 FROM image_properties p JOIN media_files m ON "
      "m.id = p.media_file_id ORDER BY m.absolute_path");
  collect(
      "SELECT path, status, failure_message, file_size, printf('%.6f', modification_time), 0, 0 FROM "
      "indexing_queue_items WHERE job_id = (SELECT MAX(id) FROM indexing_jobs) ORDER BY path");
  collect(
      "SELECT status, total_count, processed_count, indexed_count, failed_count, current_path, 0 FROM "
      "indexing_jobs ORDER BY id");
  return rows;
}

std::vector<std::string> summaryRows(const ImageLibraryScanSummary& summary,
                                     const ScannerTestLibrary& library) {
  std::vector<std::string> rows{std::to_string(summary.scannedFileCount) + " scanned, " +
                                std::to_string(summary.indexedImageCount) + " indexed, " +
                                std::to_string(summary.failedFileCount) + " failed"};
  for (const auto& failure : summary.failures) {
    rows.push_back(relative(failure.path + " | " + failure.message, library) + " | " +
                   std::to_string(static_cast<int>(failure.kind)));
  }
  return rows;
}

std::vector<std::string> progressRows(const ProgressLog& log, const ScannerTestLibrary& library) {
  std::vector<std::string> rows;
  for (const auto& report : log.reports) {
    char text[160];
    std::snprintf(text, sizeof text, "%d %lld/%lld indexed %lld failed %lld", static_cast<int>(report.phase),
                  static_cast<long long>(report.processedCount), static_cast<long long>(report.totalCount),
                  static_cast<long long>(report.indexedCount), static_cast<long long>(report.failedCount));
    rows.push_back(text + relative(" " + report.currentPath.value_or("-"), library));
  }
  return rows;
}

// A library scanned once, then changed so that its rescan meets every kind of file in one burst:
// unchanged ones, a rewritten one, one whose stored time is off by less than the tolerance, one
// of an older projection, one stored as missing, one that is not a PNG, a new one, one deleted,
// and one rewritten that the rescan's progress handler deletes once the first walk has queued it.
void prepareMixedRescan(ScannerTestLibrary& library) {
  for (int i = 0; i < kUnchangedFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "u/%03d.png", i);
    library.writePNG(name, "cat " + std::to_string(i), 1'700'000'000.0 + i * 0.5);
  }
  library.writePNG("c/changed.png", "dog", 1'700'000'030.25);
  library.writePNG("c/near.png", "owl", 1'700'000'040.25);
  library.writePNG("c/stale.png", "fox", 1'700'000'050.25);
  library.writePNG("c/gone.png", "bee", 1'700'000'060.25);
  library.writePNG("c/vanishes.png", "ant", 1'700'000'070.25);
  library.writePNG("c/returns.png", "elk", 1'700'000'020.25);
  library.photos.writeFile("c/bad.png", "not a png at all");
  testing::setModificationTime(library.photo("c/bad.png"), 1'700'000'080.25);
  library.scanner().scan({library.root()}, {}, {});

  library.writePNG("c/changed.png", "a much longer prompt for the dog", 1'700'000'090.25);
  library.writePNG("c/new.png", "new", 1'700'000'100.25);
  library.writePNG("c/vanishes.png", "the ant walks away", 1'700'000'075.25);
  std::filesystem::remove(library.photo("c/gone.png"));
  lorvex::testing::connectionOf(*library.repository).withLock([&] {
    auto& connection = lorvex::testing::connectionOf(*library.repository);
    connection.execute(
        "UPDATE media_files SET modification_time = modification_time + 0.0004 WHERE absolute_path = ?",
        {library.photo("c/near.png")});
    connection.execute("UPDATE media_files SET projection_revision = 0 WHERE absolute_path = ?",
                       {library.photo("c/stale.png")});
    // Missing since a scan that could not see it; thumbnails everywhere: a file observed with a
    // different time loses its key, the others keep theirs.
    connection.execute("UPDATE media_files SET missing = 1 WHERE absolute_path = ?",
                       {library.photo("c/returns.png")});
    connection.execute("UPDATE image_properties SET thumbnail_key = 'key-' || media_file_id");
  });
}

// What the reports of a batched scan share with those of a scan taken one item at a time. Batched
// scans complete the files the library holds unchanged as soon as they are queued, so those
// completions come between the walk's reports instead of after them; but each walk reports every
// file it queued with the same total, each processed item reports once, and the last report is
// the same.
struct ProgressOutline {
  std::vector<std::int64_t> walkTotals;
  std::size_t itemReports = 0;
  std::string last;

  friend bool operator==(const ProgressOutline&, const ProgressOutline&) = default;
};

ProgressOutline outline(const ProgressLog& log, const ScannerTestLibrary& library) {
  ProgressOutline result;
  for (const auto& report : log.reports) {
    if (report.phase == Phase::discovering) {
      result.walkTotals.push_back(report.totalCount);
    } else {
      result.itemReports += 1;
    }
  }
  const auto rows = progressRows(log, library);
  if (!rows.empty()) result.last = rows.back();
  return result;
}

struct ScanResult {
  std::vector<std::string> summary;
  ProgressOutline progress;
  std::vector<std::string> rows;
  std::int64_t unchangedSkips = 0;
  std::int64_t processed = 0;
};

// Rescans the prepared library; `vanish` deletes c/vanishes.png once the first walk has queued
// every file, before any of them is processed.
ScanResult rescan(ScannerTestLibrary& library, IndexingJobStore& jobs, ImageIndexingRecordStore& records,
                  ImageLibraryScannerOptions options) {
  ProgressLog log;
  bool vanished = false;
  const auto summary = library.scannerOver(jobs, records, options)
                           .scan({library.root()},
                                 [&](const ImageLibraryIndexingProgress& progress) {
                                   log.reports.push_back(progress);
                                   if (!vanished && progress.phase == Phase::discovering &&
                                       progress.totalCount == kUnchangedFiles + 7) {
                                     vanished = std::filesystem::remove(library.photo("c/vanishes.png"));
                                   }
                                 },
                                 {});
  EXPECT_TRUE(vanished);
  const auto& snapshot = library.sink.snapshots.back();
  return {summaryRows(summary, library), outline(log, library), libraryRows(library),
          snapshot.unchangedSkipCount, snapshot.processedQueueItemCount};
}

TEST(ImageLibraryScannerBatchTest, AMixedBurstEndsAsTakingEachItemOnItsOwn) {
  ScannerTestLibrary single;
  prepareMixedRescan(single);
  FailingIndexingStore oneByOne(single.store, single.store);
  const ScanResult expected = rescan(single, oneByOne, oneByOne, {});
  // The mix is what it should be: every kind above was met.
  EXPECT_EQ(expected.unchangedSkips, kUnchangedFiles + 2);  // c/near.png and c/returns.png too
  ASSERT_EQ(expected.summary.size(), 3u);
  EXPECT_NE(expected.summary[1].find("<root>/c/bad.png"), std::string::npos);
  EXPECT_NE(expected.summary[2].find("<root>/c/vanishes.png"), std::string::npos);
  EXPECT_EQ(single.storedMissing(single.photo("c/returns.png")), false);
  const auto hasThumbnailKey = [&](const std::string& name) {
    return single.count(
               "SELECT COUNT(*) FROM image_properties p JOIN media_files m ON m.id = p.media_file_id "
               "WHERE p.thumbnail_key IS NOT NULL AND m.absolute_path = '" +
               single.photo(name) + "'") == 1;
  };
  EXPECT_FALSE(hasThumbnailKey("c/near.png"));
  EXPECT_TRUE(hasThumbnailKey("u/000.png"));

  // Bursts and queued batches of one, of a few (the changed files fall between batches) and of
  // everything.
  for (const auto& [claimSize, enqueueSize] :
       std::vector<std::pair<std::size_t, std::size_t>>{{1, 1}, {7, 13}, {400, 1}, {400, 13}, {400, 400}}) {
    SCOPED_TRACE("claiming " + std::to_string(claimSize) + ", queueing " + std::to_string(enqueueSize));
    ScannerTestLibrary batched;
    prepareMixedRescan(batched);
    ImageLibraryScannerOptions options;
    options.claimBatchSize = claimSize;
    options.enqueueBatchSize = enqueueSize;
    const ScanResult result = rescan(batched, batched.store, batched.store, options);
    EXPECT_EQ(result.summary, expected.summary);
    EXPECT_EQ(result.rows, expected.rows);
    EXPECT_EQ(result.progress, expected.progress);
    EXPECT_EQ(result.unchangedSkips, expected.unchangedSkips);
    EXPECT_EQ(result.processed, expected.processed);
  }
}

// A new folder of more images than a write-ahead log checkpoint interval, with shared tags and a
// few files that cannot be indexed, scanned in batches of every size against one item at a time:
// the same rows, statistics, summary and progress.
TEST(ImageLibraryScannerBatchTest, AColdScanPastACheckpointEndsAsTakingEachItemOnItsOwn) {
  constexpr int kFiles = 620;
  const auto prepare = [](ScannerTestLibrary& library) {
    const std::vector<std::string> words{"cat", "dog", "owl", "sky", "sea", "red hat", "blue eyes"};
    for (int i = 0; i < kFiles; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "n%d/%03d.png", i % 3, i);
      if (i % 97 == 13) {
        library.photos.writeFile(name, "not a png");
        testing::setModificationTime(library.photo(name), 1'700'000'000.0 + i);
        continue;
      }
      library.writePNG(name, words[i % words.size()] + ", " + words[(i / 7) % words.size()],
                       1'700'000'000.0 + i);
    }
  };
  const auto statistics = [](ScannerTestLibrary& library) {
    std::vector<std::string> rows;
    auto& connection = lorvex::testing::connectionOf(*library.repository);
    connection.withLock([&] {
      connection.query(
          "SELECT t.normalized_key || ' ' || s.image_count || ' ' || s.prompt_image_count FROM tag_terms t "
          "JOIN "
          "tag_term_stats s ON s.tag_term_id = t.id ORDER BY 1",
          {}, [&](SQLiteRows& result) {
            while (result.next()) rows.push_back(result.text(0));
            return 0;
          });
      connection.query(
          "SELECT COUNT(*) || ' tag rows, ' || COUNT(DISTINCT media_file_id) || ' images' FROM "
          "media_tag_index",
          {}, [&](SQLiteRows& result) {
            while (result.next()) rows.push_back(result.text(0));
            return 0;
          });
    });
    return rows;
  };
  const auto scanWith = [&](ScannerTestLibrary& library, IndexingJobStore& jobs,
                            ImageIndexingRecordStore& records, ImageLibraryScannerOptions options) {
    ProgressLog log;
    const auto summary =
        library.scannerOver(jobs, records, options).scan({library.root()}, log.handler(), {});
    return std::tuple(summaryRows(summary, library), outline(log, library), libraryRows(library),
                      statistics(library));
  };

  ScannerTestLibrary single;
  prepare(single);
  FailingIndexingStore oneByOne(single.store, single.store);
  const auto expected = scanWith(single, oneByOne, oneByOne, {});
  ASSERT_EQ(std::get<0>(expected).front(), "620 scanned, 613 indexed, 7 failed");

  for (const auto& [projectionSize, claimSize, threads] :
       std::vector<std::tuple<std::size_t, std::size_t, std::size_t>>{
           {1, 400, 1}, {7, 40, 3}, {128, 400, 8}, {500, 400, 2}}) {
    SCOPED_TRACE("projecting " + std::to_string(projectionSize) + ", claiming " + std::to_string(claimSize) +
                 ", preparing on " + std::to_string(threads));
    ScannerTestLibrary batched;
    prepare(batched);
    ImageLibraryScannerOptions options;
    options.projectionBatchSize = projectionSize;
    options.claimBatchSize = claimSize;
    options.preparationThreads = threads;
    const auto result = scanWith(batched, batched.store, batched.store, options);
    EXPECT_EQ(std::get<0>(result), std::get<0>(expected));
    EXPECT_EQ(std::get<1>(result), std::get<1>(expected));
    EXPECT_EQ(std::get<2>(result), std::get<2>(expected));
    EXPECT_EQ(std::get<3>(result), std::get<3>(expected));
  }
}

// How a rescan is stopped part-way.
struct Stop {
  std::string name;
  std::function<void(FailingIndexingStore&)> arm;  // faults in the store
  std::int64_t atProcessed = 0;                    // 0, or the progress report that throws
};

TEST(ImageLibraryScannerBatchTest, AScanStoppedInsideABatchResumesToTheUninterruptedLibrary) {
  ScannerTestLibrary reference;
  prepareMixedRescan(reference);
  ImageLibraryScannerOptions options;
  options.claimBatchSize = 40;
  ProgressLog ignored;
  const auto expectedSummary =
      summaryRows(reference.scanner(options).scan({reference.root()}, ignored.handler(), {}), reference);
  const auto expectedRows = libraryRows(reference);

  const std::vector<Stop> stops{
      // The process dies right after a batch's transaction, at its first, a middle and its last item.
      {"killed after the first item", {}, 1},
      {"killed inside a batch", {}, 17},
      {"killed at a batch's end", {}, 40},
      {"killed in the second batch", {}, 63},
      // The database fails: the batch, then the single-item path it falls back to.
      {"a batch and its items cannot complete",
       [](FailingIndexingStore& store) {
         store.completeUnchanged.failOnCall = 2;
         store.complete.failOnCall = 1;
         store.fail.failOnCall = 1;
       },
       0},
      {"a claim fails", [](FailingIndexingStore& store) { store.beginBatch.failOnCall = 3; }, 0},
      {"the burst's stored files cannot be read and then an item not be failed",
       [](FailingIndexingStore& store) {
         store.statesBatch.failOnCall = 2;
         store.complete.failOnCall = 5;
         store.fail.failOnCall = 1;
       },
       0},
  };
  for (const auto& stop : stops) {
    SCOPED_TRACE(stop.name);
    ScannerTestLibrary library;
    prepareMixedRescan(library);
    FailingIndexingStore failing(library.store, library.store);
    failing.forwardsBatches = true;
    if (stop.arm) stop.arm(failing);
    bool stopped = false;
    const auto interrupt = [&](const ImageLibraryIndexingProgress& progress) {
      if (!stopped && stop.atProcessed > 0 && progress.phase == Phase::indexing &&
          progress.processedCount == stop.atProcessed) {
        stopped = true;
        throw std::runtime_error("killed");
      }
    };
    EXPECT_THROW(library.scannerOver(failing, failing, options).scan({library.root()}, interrupt, {}),
                 std::runtime_error);
    ASSERT_EQ(library.runningJobCount(), 1);

    const auto resumed = library.scanner(options).resumeInterruptedJob({}, {});
    ASSERT_TRUE(resumed.has_value());
    EXPECT_EQ(summaryRows(*resumed, library), expectedSummary);
    EXPECT_EQ(libraryRows(library), expectedRows);
  }
}

// The store calls a scan makes to queue, claim, read or complete items.
int workCalls(const FailingIndexingStore& store) {
  return store.enqueue.calls + store.enqueueBatch.calls + store.beginNext.calls + store.beginBatch.calls +
         store.statesBatch.calls + store.completeUnchanged.calls + store.projectBatch.calls +
         store.complete.calls + store.fail.calls + store.markMissingIfNotSeenFault.calls;
}

TEST(ImageLibraryScannerBatchTest,
     AScanItsCallerStopsEndsAfterTheFileInHandAndResumesToTheUninterruptedLibrary) {
  ScannerTestLibrary reference;
  prepareMixedRescan(reference);
  ImageLibraryScannerOptions options;
  options.claimBatchSize = 40;
  options.enqueueBatchSize = 25;
  const auto expectedSummary =
      summaryRows(reference.scanner(options).scan({reference.root()}, {}, {}), reference);
  const auto expectedRows = libraryRows(reference);

  struct StopPoint {
    std::string name;
    Phase phase;
    std::int64_t
        report;  // the report of that phase (1 = the first) that asks for the stop; 0 = before the scan
  };
  const std::vector<StopPoint> points{
      {"before the scan starts", Phase::discovering, 0},
      {"at the walk's first report", Phase::discovering, 1},
      {"while the first walk queues files", Phase::discovering, 30},
      {"after the first item", Phase::indexing, 1},
      {"inside a burst", Phase::indexing, 17},
      {"at a burst's end", Phase::indexing, 40},
      {"in the second burst", Phase::indexing, 63},
      {"while the second walk queues files", Phase::discovering, 170},
  };
  for (const bool batched : {true, false}) {
    for (const auto& point : points) {
      SCOPED_TRACE(point.name + (batched ? " (batched)" : " (item by item)"));
      ScannerTestLibrary library;
      prepareMixedRescan(library);
      FailingIndexingStore counting(library.store, library.store);
      counting.forwardsBatches = batched;
      std::stop_source stop;
      if (point.report == 0) stop.request_stop();
      std::int64_t reports = 0;
      int callsAtStop = 0;
      const auto requestStop = [&](const ImageLibraryIndexingProgress& progress) {
        if (stop.stop_requested() || progress.phase != point.phase || ++reports != point.report) return;
        stop.request_stop();
        callsAtStop = workCalls(counting);
      };

      try {
        library.scannerOver(counting, counting, options)
            .scan({library.root()}, requestStop, stop.get_token());
        ADD_FAILURE() << "the scan did not stop";
      } catch (const LibraryError& error) {
        EXPECT_EQ(error.errorKind(), LibraryError::Kind::cancelled);
        EXPECT_NE(dynamic_cast<const ScanCancelledError*>(&error), nullptr);
      }
      ASSERT_TRUE(stop.stop_requested()) << "the stop point was never reached";
      // Nothing more was queued, claimed or written once the stop was asked for.
      EXPECT_EQ(workCalls(counting), callsAtStop);
      ASSERT_EQ(library.runningJobCount(), 1);

      const auto resumed = library.scanner(options).resumeInterruptedJob({}, {});
      ASSERT_TRUE(resumed.has_value());
      EXPECT_EQ(summaryRows(*resumed, library), expectedSummary);
      EXPECT_EQ(libraryRows(library), expectedRows);
    }
  }
}

// New images are written together until their records weigh the batch's limit: weighed by their
// texts, so large files of short texts go in one batch and small files of long texts in several.
TEST(ImageLibraryScannerBatchTest, ABatchIsWeighedByItsImagesTextsNotByTheirFiles) {
  constexpr int kImages = 12;
  struct Case {
    std::string name;
    std::size_t pixelBytes;  // a chunk no reader keeps, standing for the pixels
    std::size_t promptBytes;
    int batches;
  };
  // Limit 64 KiB; a record weighs four times its texts, at least 4 KiB.
  const Case cases[] = {
      {"files of 256 KiB with a short prompt (4 KiB each)", 256 * 1024, 20, 1},
      {"files of 7 KB that are all prompt (about 28 KiB each)", 0, 7000, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScannerTestLibrary library;
    std::string prompt;
    while (prompt.size() < c.promptBytes) prompt += "tag" + std::to_string(prompt.size()) + ", ";
    for (int i = 0; i < kImages; ++i) {
      library.photos.writeFile("p/" + std::to_string(100 + i) + ".png",
                               PNGBuilder()
                                   .ihdr(4, 4)
                                   .chunk("prVt", std::string(c.pixelBytes, 'x'))
                                   .tEXt("parameters", prompt + "\nSteps: 20, Seed: " + std::to_string(i))
                                   .iend()
                                   .bytes());
    }
    FailingIndexingStore counting(library.store, library.store);
    counting.forwardsBatches = true;
    ImageLibraryScannerOptions options;
    options.projectionBatchBytes = 64 * 1024;
    const auto summary = library.scannerOver(counting, counting, options).scan({library.root()}, {}, {});
    EXPECT_EQ(summary.indexedImageCount, kImages);
    EXPECT_EQ(counting.projectBatch.calls, c.batches);
  }
}

TEST(ImageLibraryScannerBatchTest, AFailingBatchFallsBackToTheItemsOnTheirOwn) {
  ScannerTestLibrary single;
  prepareMixedRescan(single);
  FailingIndexingStore oneByOne(single.store, single.store);
  const ScanResult expected = rescan(single, oneByOne, oneByOne, {});

  ScannerTestLibrary library;
  prepareMixedRescan(library);
  FailingIndexingStore failing(library.store, library.store);
  failing.forwardsBatches = true;
  failing.statesBatch.failOnCall = 1;
  failing.completeUnchanged.failOnCall = 2;
  ImageLibraryScannerOptions options;
  options.claimBatchSize = 25;
  const ScanResult result = rescan(library, failing, failing, options);
  EXPECT_EQ(result.summary, expected.summary);
  EXPECT_EQ(result.rows, expected.rows);
  EXPECT_EQ(result.progress, expected.progress);
  EXPECT_EQ(result.unchangedSkips, expected.unchangedSkips);
}

}  // namespace
}  // namespace lorvex
