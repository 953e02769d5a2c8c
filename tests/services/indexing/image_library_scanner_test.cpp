#include "services/indexing/image_library_scanner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "database/support/repository_connection.h"
#include "platform/regular_file.h"
#include "services/indexing/failing_indexing_store.h"
#include "services/indexing/png_file_discovery.h"
#include "services/indexing/scanner_test_library.h"

namespace lorvex {
namespace {

using Phase = ImageLibraryIndexingPhase;
using testing::FailingIndexingStore;
using testing::ProgressLog;
using testing::ScannerTestLibrary;

// The lengths of the runs of equal phases in a progress log: {discovering 3, indexing 2, ...}.
std::vector<std::pair<Phase, std::size_t>> phaseRuns(const ProgressLog& log) {
  std::vector<std::pair<Phase, std::size_t>> runs;
  for (const auto& report : log.reports) {
    if (runs.empty() || runs.back().first != report.phase) runs.emplace_back(report.phase, 0);
    ++runs.back().second;
  }
  return runs;
}

const ImageLibraryIndexingMetricSample* sample(const ImageLibraryIndexingMetricsSnapshot& snapshot,
                                               ImageLibraryIndexingMetricOperation operation) {
  for (const auto& entry : snapshot.samples) {
    if (entry.operation == operation) return &entry;
  }
  return nullptr;
}

TEST(ImageLibraryScannerTest, ProcessingBurstsFollowThe1000thAnd2000thFileOfEachWalk) {
  ScannerTestLibrary library;
  for (int i = 0; i < 2500; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "batch/%04d.png", i);
    library.photos.writeFile(name, testing::pngWithPrompt("cat"));
  }
  ProgressLog log;
  const auto summary = library.scanner().scan({library.root()}, log.handler(), {});

  EXPECT_EQ(summary.scannedFileCount, 2500);
  EXPECT_EQ(summary.indexedImageCount, 2500);
  EXPECT_EQ(summary.failedFileCount, 0);
  // First walk: its start report and 1000 files, a burst of 100, 1000 more, a burst, the last
  // 500, then the drain of the 2300 left. The second walk finds every file unchanged: its bursts
  // find nothing pending.
  const std::vector<std::pair<Phase, std::size_t>> expected{
      {Phase::discovering, 1001}, {Phase::indexing, 100},  {Phase::discovering, 1000}, {Phase::indexing, 100},
      {Phase::discovering, 500},  {Phase::indexing, 2300}, {Phase::discovering, 2501}};
  EXPECT_EQ(phaseRuns(log), expected);
  ASSERT_EQ(library.sink.snapshots.size(), 1u);
  const auto& snapshot = library.sink.snapshots[0];
  EXPECT_EQ(snapshot.outcome, ImageLibraryIndexingMetricsOutcome::completed());
  EXPECT_EQ(snapshot.discoveryPassCount, 2);
  EXPECT_EQ(snapshot.discoveredFileObservationCount, 5000);
  EXPECT_EQ(snapshot.processedQueueItemCount, 2500);
  EXPECT_EQ(library.runningJobCount(), 0);
}

TEST(ImageLibraryScannerTest, FirstReportIsTheNewJobAndEachFileAndItemReports) {
  ScannerTestLibrary library;
  library.writePNG("a.png");
  library.writePNG("b.png");
  ProgressLog log;
  library.scanner().scan({library.root()}, log.handler(), {});
  ASSERT_FALSE(log.reports.empty());
  EXPECT_EQ(log.reports[0], ImageLibraryIndexingProgress{});
  EXPECT_EQ(log.count(Phase::discovering), 1u + 2u + 1u + 2u);
  EXPECT_EQ(log.count(Phase::indexing), 2u);
  EXPECT_EQ(log.reports.back().totalCount, 2);
}

TEST(ImageLibraryScannerTest, SecondWalkIndexesFilesChangedOrAddedWhileTheFirstDrained) {
  ScannerTestLibrary library;
  const std::string newest = library.writePNG("c.png", "first prompt", 3000);
  library.writePNG("a.png", "a", 1000);
  library.writePNG("b.png", "b", 2000);
  ProgressLog log;
  bool changed = false;
  const auto summary = library.scanner().scan({library.root()},
                                              [&](const ImageLibraryIndexingProgress& progress) {
                                                log.reports.push_back(progress);
                                                // The newest file is indexed first; change it and add a file
                                                // once it is done.
                                                if (!changed && progress.phase == Phase::indexing) {
                                                  changed = true;
                                                  library.writePNG("c.png", "second prompt, longer", 4000);
                                                  library.writePNG("d.png", "d", 500);
                                                }
                                              },
                                              {});
  EXPECT_EQ(summary.scannedFileCount, 4);
  EXPECT_EQ(summary.indexedImageCount, 4);
  EXPECT_EQ(library.storedContentHash(newest), library.hasher.sha256Hex(newest));
  EXPECT_EQ(library.sink.snapshots.at(0).processedQueueItemCount, 5);
}

TEST(ImageLibraryScannerTest, RescanSkipsUnchangedFilesWithoutOpeningThem) {
  ScannerTestLibrary library;
  for (const char* name : {"a.png", "b.png", "sub/c.png"}) library.writePNG(name);
  library.scanner().scan({library.root()}, {}, {});
  const auto summary = library.scanner().scan({library.root()}, {}, {});
  EXPECT_EQ(summary.indexedImageCount, 3);
  const auto& snapshot = library.sink.snapshots.at(1);
  EXPECT_EQ(snapshot.unchangedSkipCount, 3);
  EXPECT_EQ(snapshot.processedQueueItemCount, 3);
  EXPECT_EQ(sample(snapshot, ImageLibraryIndexingMetricOperation::parseMetadata), nullptr);
  EXPECT_EQ(sample(snapshot, ImageLibraryIndexingMetricOperation::upsertRecord), nullptr);
  ASSERT_NE(sample(snapshot, ImageLibraryIndexingMetricOperation::markObserved), nullptr);
  EXPECT_EQ(sample(snapshot, ImageLibraryIndexingMetricOperation::markObserved)->count, 3);
}

TEST(ImageLibraryScannerTest, EveryIndexedFileCarriesTheHashOfItsContent) {
  ScannerTestLibrary library;
  std::vector<std::string> paths;
  for (int i = 0; i < 12; ++i) {
    paths.push_back(
        library.writePNG("f" + std::to_string(i) + ".png", "prompt " + std::to_string(i), 1000 + i));
  }
  // f5 is rewritten after its hash was started ahead (while f6 was written): it is stored with
  // the hash of what it holds when it is indexed.
  bool written = false;
  library.scanner().scan(
      {library.root()},
      [&](const ImageLibraryIndexingProgress& progress) {
        if (!written && progress.phase == Phase::indexing && progress.processedCount == 6) {
          written = true;
          library.writePNG("f5.png", "prompt five, rewritten", 900);
        }
      },
      {});
  ASSERT_TRUE(written);
  for (const auto& path : paths)
    EXPECT_EQ(library.storedContentHash(path), library.hasher.sha256Hex(path)) << path;
}

TEST(ImageLibraryScannerTest, UnchangedMeansSameSizeTimeWithinAMillisecondAndCurrentRevision) {
  struct Case {
    const char* name;
    const char* storedChange;  // applied to the stored row before the rescan
    bool unchanged;
  };
  const Case cases[] = {
      {"identical", "", true},
      {"time 0.9 ms later", "modification_time = modification_time + 0.0009", true},
      {"time 0.9 ms earlier", "modification_time = modification_time - 0.0009", true},
      {"time 1.1 ms later", "modification_time = modification_time + 0.0011", false},
      {"size differs", "file_size = file_size + 1", false},
      {"older projection", "projection_revision = 0", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScannerTestLibrary library;
    library.writePNG("a.png", "cat", 1'700'000'000.25);
    library.scanner().scan({library.root()}, {}, {});
    if (*c.storedChange != '\0') {
      lorvex::testing::connectionOf(*library.repository).withLock([&] {
        lorvex::testing::connectionOf(*library.repository)
            .execute(std::string("UPDATE media_files SET ") + c.storedChange);
      });
    }
    library.scanner().scan({library.root()}, {}, {});
    EXPECT_EQ(library.sink.snapshots.at(1).unchangedSkipCount, c.unchanged ? 1 : 0);
  }
}

TEST(ImageLibraryScannerTest, FilesGoneFromTheRootsAreMarkedMissingAndComeBack) {
  ScannerTestLibrary library;
  const std::string kept = library.writePNG("a.png");
  const std::string removed = library.writePNG("sub/b.png");
  library.scanner().scan({library.root()}, {}, {});
  std::filesystem::remove(removed);
  library.scanner().scan({library.root()}, {}, {});
  EXPECT_EQ(library.storedMissing(kept), false);
  EXPECT_EQ(library.storedMissing(removed), true);

  library.writePNG("sub/b.png");
  library.scanner().scan({library.root()}, {}, {});
  EXPECT_EQ(library.storedMissing(removed), false);
}

TEST(ImageLibraryScannerTest, SelectsPNGNamesOutsideHiddenFoldersOnly) {
  ScannerTestLibrary library;
  const std::string upper = library.writePNG("photo.PNG");
  const std::string mixed = library.writePNG("a.Png");
  for (const char* name : {".cover.png", ".hidden/x.png", "a.png.bak", "noextension", "notes.txt"}) {
    library.photos.writeFile(name, testing::pngWithPrompt("x"));
  }
  const auto summary = library.scanner().scan({library.root()}, {}, {});
  EXPECT_EQ(summary.scannedFileCount, 2);
  EXPECT_TRUE(library.storedMissing(upper).has_value());
  EXPECT_TRUE(library.storedMissing(mixed).has_value());
}

TEST(ImageLibraryScannerTest, ARootThatIsAPNGFileStandsForItself) {
  ScannerTestLibrary library;
  const std::string file = library.writePNG("one.png");
  library.photos.writeFile("other.txt", "x");
  EXPECT_EQ(library.scanner().scan({file}, {}, {}).indexedImageCount, 1);
  EXPECT_EQ(library.scanner().scan({library.photo("other.txt")}, {}, {}).scannedFileCount, 0);
}

TEST(ImageLibraryScannerTest, EmptyRootListCompletesAnEmptyJob) {
  ScannerTestLibrary library;
  EXPECT_EQ(library.scanner().scan({}, {}, {}), ImageLibraryScanSummary{});
  EXPECT_EQ(library.runningJobCount(), 0);
  EXPECT_EQ(library.sink.snapshots.at(0).discoveryPassCount, 2);
}

TEST(ImageLibraryScannerTest, FilesThatCannotBeIndexedAreFailuresAndTheScanGoesOn) {
  ScannerTestLibrary library;
  const std::string good = library.writePNG("good.png");
  const std::string notPNG = library.photos.writeFile("fake.png", "GIF89a not a png at all");
  const std::string empty = library.photos.writeFile("empty.png", "");
  const std::string fifo = library.photo("pipe.png");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  library.photos.writeFile("bad\xff name.png", testing::pngWithPrompt("x"));

  const auto summary = library.scanner().scan({library.root()}, {}, {});
  EXPECT_EQ(summary.indexedImageCount, 1);
  EXPECT_EQ(library.storedMissing(good), false);
  std::vector<ImageLibraryScanFailure> expected{
      ImageLibraryScanFailure::classified(library.photo("bad\xEF\xBF\xBD name.png"),
                                          std::string(kInvalidFileNameMessage)),
      ImageLibraryScanFailure::classified(empty, "invalidSignature"),
      ImageLibraryScanFailure::classified(notPNG, "invalidSignature"),
      ImageLibraryScanFailure::classified(fifo, std::string(platform::kNotARegularFileMessage)),
  };
  EXPECT_EQ(summary.failures, expected) << [&] {
    std::string text;
    for (const auto& failure : summary.failures) text += failure.path + " | " + failure.message + "\n";
    return text;
  }();
  EXPECT_EQ(summary.failedFileCount, 4);
  EXPECT_EQ(summary.failures[1].kind, ImageLibraryScanFailure::Kind::metadata);
}

// An image whose path now names a FIFO is gone, as a deleted one is.
TEST(ImageLibraryScannerTest, AnImageReplacedByAFIFOIsMissingAndKeepsItsMarks) {
  ScannerTestLibrary library;
  const std::string pipe = library.writePNG("pipe.png");
  library.scanner().scan({library.root()}, {}, {});
  const ReviewState marks{true, true, std::nullopt};
  library.repository->updateReviewState(pipe, marks);
  ASSERT_EQ(::unlink(pipe.c_str()), 0);
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  library.scanner().scan({library.root()}, {}, {});
  EXPECT_EQ(library.storedMissing(pipe), true);
  EXPECT_EQ(library.repository->imageRecord(pipe)->reviewState, marks);
}

TEST(ImageLibraryScannerTest, AFileThatVanishesAfterBeingListedIsSkippedUntilItIsQueued) {
  // A file gone between the listing of its folder and the reading of its attributes was never
  // found (generators write a temporary file and rename it); once queued, it is an item that
  // fails. The walk reads each file's attributes as it lists them, ahead of the queueing.
  struct Case {
    const char* name;
    bool beforeReading;
    std::int64_t scanned;
    std::int64_t failed;
    std::int64_t observations;  // of both walks
  };
  const Case cases[] = {
      {"gone before its attributes are read", true, 2, 0, 4},
      {"gone after being queued", false, 3, 1, 5},
  };
  for (const Case& c : cases) {
    for (const bool batched : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (batched ? ", queued in batches of two" : ", queued one by one"));
      ScannerTestLibrary library;
      library.writePNG("a.png");
      library.writePNG("b.png");
      const std::string doomed = library.writePNG("c.png");
      testing::FailingIndexingStore store(library.store, library.store);
      store.forwardsBatches = batched;
      ImageLibraryScannerOptions options;
      options.enqueueBatchSize = 2;
      bool removed = false;
      if (c.beforeReading) {
        options.discoveredFileInfo = [&](const std::string& path) {
          if (path == doomed && !removed) removed = std::filesystem::remove(doomed);
          return ImageLibraryScanner::fileInfo(path);
        };
      }
      const auto summary = library.scannerOver(store, store, options)
                               .scan({library.root()},
                                     [&](const ImageLibraryIndexingProgress& progress) {
                                       if (!removed && progress.totalCount == 1)
                                         removed = std::filesystem::remove(doomed);
                                     },
                                     {});
      ASSERT_TRUE(removed);
      EXPECT_EQ(summary.scannedFileCount, c.scanned);
      EXPECT_EQ(summary.failedFileCount, c.failed);
      EXPECT_EQ(library.sink.snapshots.back().discoveredFileObservationCount, c.observations);
      EXPECT_FALSE(library.storedMissing(doomed).has_value());
    }
  }
}

TEST(ImageLibraryScannerTest, AFileThatBecomesUnreadableStaysVisibleAsAFailure) {
  ScannerTestLibrary library;
  const std::string path = library.writePNG("a.png");
  library.scanner().scan({library.root()}, {}, {});
  library.photos.writeFile("a.png", "now garbage");
  const auto summary = library.scanner().scan({library.root()}, {}, {});
  ASSERT_EQ(summary.failedFileCount, 1);
  EXPECT_EQ(summary.failures[0].path, path);
  EXPECT_EQ(library.storedMissing(path), false);
  EXPECT_EQ(library.sink.snapshots.at(1).failedQueueItemCount, 1);
}

TEST(ImageLibraryScannerTest, AnUnreadableFolderIsAFailureAndKeepsItsImages) {
  if (::geteuid() == 0) GTEST_SKIP() << "folder permissions do not apply to root";
  ScannerTestLibrary library;
  const std::string inside = library.writePNG("locked/a.png");
  const std::string outside = library.writePNG("open/b.png");
  library.scanner().scan({library.root()}, {}, {});
  ASSERT_EQ(::chmod(library.photo("locked").c_str(), 0), 0);
  const auto summary = library.scanner().scan({library.root()}, {}, {});
  ::chmod(library.photo("locked").c_str(), 0700);
  ASSERT_EQ(summary.failedFileCount, 1);
  EXPECT_EQ(summary.failures[0].path, library.photo("locked"));
  EXPECT_EQ(summary.failures[0].kind, ImageLibraryScanFailure::Kind::permission);
  EXPECT_EQ(library.storedMissing(inside), false);
  EXPECT_EQ(library.storedMissing(outside), false);
}

// Folders nested deeper than a path can name: the walk cannot open them by path, as it could not
// open a folder it lacks permission for (which root cannot be denied).
TEST(ImageLibraryScannerTest, AFolderTheWalkCannotOpenIsAFailureAndKeepsItsImages) {
  ScannerTestLibrary library;
  const std::string readable = library.writePNG("ok.png");
  const std::string deep = library.writeFolderTooDeepToName("deep");
  const std::string stored = deep + "/kept.png";
  ImageRecord record;
  record.file = {stored, 10, 1000};
  library.repository->upsertRecord(record, std::nullopt);

  const auto summary = library.scanner().scan({library.root()}, {}, {});
  ASSERT_EQ(std::system(("rm -rf '" + library.photo("deep") + "'").c_str()), 0);
  EXPECT_EQ(summary.indexedImageCount, 1);
  ASSERT_EQ(summary.failedFileCount, 1);
  EXPECT_TRUE(stored.starts_with(summary.failures[0].path + "/"));
  EXPECT_EQ(summary.failures[0].message, "Unable to read folder: File name too long (ENAMETOOLONG)");
  EXPECT_EQ(library.storedMissing(stored), false);
  EXPECT_EQ(library.storedMissing(readable), false);
}

class FailingThumbnails final : public ImageThumbnailGenerating {
 public:
  std::optional<std::string> generateThumbnail(const std::string& source,
                                               const ImageFileInfo&) const override {
    throw std::runtime_error("Unable to write thumbnail: " + source + ".jpg");
  }
};

TEST(ImageLibraryScannerTest, AThumbnailFailureLeavesTheImageIndexedWithItsMessage) {
  ScannerTestLibrary library;
  const std::string path = library.writePNG("a.png");
  FailingThumbnails thumbnails;
  ImageLibraryScannerOptions options;
  options.thumbnailGenerator = &thumbnails;
  const auto summary = library.scanner(options).scan({library.root()}, {}, {});
  EXPECT_EQ(summary.indexedImageCount, 1);
  ASSERT_EQ(summary.failedFileCount, 1);
  EXPECT_EQ(summary.failures[0].message, "Unable to write thumbnail: " + path + ".jpg");
  EXPECT_EQ(library.storedMissing(path), false);
}

TEST(ImageLibraryScannerTest, AFailedScanLeavesItsJobForTheResumption) {
  ScannerTestLibrary library;
  for (int i = 0; i < 5; ++i) library.writePNG("f" + std::to_string(i) + ".png", "cat", 1000 + i);
  FailingIndexingStore failing(library.store, library.store);
  // The third item is projected, then neither its completion nor its failure can be written.
  failing.complete.failOnCall = 3;
  failing.fail.failOnCall = 1;
  EXPECT_THROW(library.scannerOver(failing, failing).scan({library.root()}, {}, {}), std::runtime_error);
  ASSERT_EQ(library.sink.snapshots.size(), 1u);
  EXPECT_EQ(library.sink.snapshots[0].outcome, ImageLibraryIndexingMetricsOutcome::failed("disk I/O error"));
  EXPECT_EQ(library.runningJobCount(), 1);
  EXPECT_EQ(library.count("SELECT COUNT(*) FROM indexing_queue_items WHERE status = 'processing'"), 1);

  ProgressLog log;
  const auto resumed = library.scanner().resumeInterruptedJob(log.handler(), {});
  ASSERT_TRUE(resumed.has_value());
  EXPECT_EQ(resumed->scannedFileCount, 5);
  EXPECT_EQ(resumed->indexedImageCount, 5);
  EXPECT_EQ(resumed->failedFileCount, 0);
  EXPECT_EQ(library.runningJobCount(), 0);
  const auto& snapshot = library.sink.snapshots.at(1);
  EXPECT_EQ(snapshot.mode, ImageLibraryIndexingMetricsMode::resume);
  // The interrupted item and the two never claimed; the interrupted one was projected already.
  EXPECT_EQ(snapshot.processedQueueItemCount, 3);
  EXPECT_EQ(snapshot.unchangedSkipCount, 1);
  EXPECT_FALSE(library.scanner().resumeInterruptedJob({}, {}).has_value());
  EXPECT_EQ(library.sink.snapshots.size(), 2u);
}

TEST(ImageLibraryScannerTest, AResumedJobSkipsARootThatIsGoneAndKeepsItsImages) {
  ScannerTestLibrary library;
  const std::string kept = library.writePNG("a/one.png");
  const std::string deleted = library.writePNG("a/two.png");
  const std::string unplugged = library.writePNG("b/three.png");
  const std::vector<std::string> roots{library.photo("a"), library.photo("b")};
  library.scanner().scan(roots, {}, {});

  std::filesystem::remove(deleted);
  FailingIndexingStore failing(library.store, library.store);
  failing.beginNext.failOnCall = 1;
  EXPECT_THROW(library.scannerOver(failing, failing).scan(roots, {}, {}), std::runtime_error);
  std::filesystem::rename(library.photo("b"), library.photo("b-away"));

  const auto resumed = library.scanner().resumeInterruptedJob({}, {});
  ASSERT_TRUE(resumed.has_value());
  EXPECT_EQ(library.storedMissing(kept), false);
  EXPECT_EQ(library.storedMissing(deleted), true);
  EXPECT_EQ(library.storedMissing(unplugged), false);
  EXPECT_EQ(library.runningJobCount(), 0);
}

TEST(ImageLibraryScannerTest, AFullScanOfARootThatIsGoneFailsAndKeepsItsJob) {
  ScannerTestLibrary library;
  EXPECT_THROW(library.scanner().scan({library.photo("nowhere")}, {}, {}), platform::FileError);
  EXPECT_EQ(library.runningJobCount(), 1);
  ASSERT_EQ(library.sink.snapshots.size(), 1u);
  EXPECT_EQ(library.sink.snapshots[0].outcome.kind, ImageLibraryIndexingMetricsOutcome::Kind::failed);
  const auto* enumeration =
      sample(library.sink.snapshots[0], ImageLibraryIndexingMetricOperation::discoverEnumeration);
  ASSERT_NE(enumeration, nullptr);
  EXPECT_EQ(enumeration->count, 0);
}

TEST(ImageLibraryScannerTest, AFailedMissingMarkKeepsTheJobRunning) {
  ScannerTestLibrary library;
  library.writePNG("a.png");
  FailingIndexingStore failing(library.store, library.store);
  failing.markMissingIfNotSeenFault.failOnCall = 1;
  EXPECT_THROW(library.scannerOver(failing, failing).scan({library.root()}, {}, {}), std::runtime_error);
  EXPECT_EQ(library.runningJobCount(), 1);
  const auto resumed = library.scanner().resumeInterruptedJob({}, {});
  ASSERT_TRUE(resumed.has_value());
  EXPECT_EQ(resumed->indexedImageCount, 1);
}

TEST(ImageLibraryScannerTest, WalkingAllOfAnAbandonedJobsRootsClosesItAndItsQueueGoes) {
  struct Case {
    std::string name;
    // Runs the scan that follows two killed runs: a full scan of "a", then a changed-path scan
    // under the photo folder (which closes nothing, as it walks only what changed).
    std::function<void(ScannerTestLibrary&)> scan;
    bool closesTheOlderJob;
  };
  const Case cases[] = {
      {"full scan", [](ScannerTestLibrary& library) { library.scanner().scan({library.root()}, {}, {}); },
       true},
      {"resumption",
       [](ScannerTestLibrary& library) { ASSERT_TRUE(library.scanner().resumeInterruptedJob({}, {})); },
       true},
      {"changed paths",
       [](ScannerTestLibrary& library) {
         library.scanner().scanChangedPaths({library.photo("b/two.png")}, {library.root()}, {}, {});
       },
       false},
  };
  for (const auto& c : cases) {
    ScannerTestLibrary library;
    library.writePNG("a/one.png");
    library.writePNG("b/two.png");
    FailingIndexingStore killed(library.store, library.store);
    killed.beginNext.failOnCall = 1;
    killed.beginNext.keepFailing = true;
    EXPECT_THROW(library.scannerOver(killed, killed).scan({library.photo("a")}, {}, {}), std::runtime_error);
    EXPECT_THROW(library.scannerOver(killed, killed)
                     .scanChangedPaths({library.photo("b/two.png")}, {library.root()}, {}, {}),
                 std::runtime_error);
    const std::string olderQueue =
        "SELECT COUNT(*) FROM indexing_queue_items WHERE job_id = (SELECT MIN(id) FROM indexing_jobs)";
    ASSERT_EQ(library.runningJobCount(), 2) << c.name;
    ASSERT_EQ(library.count(olderQueue), 1) << c.name;

    c.scan(library);
    // The resumption finishes the changed-path job; a full scan closes it as it covers its roots.
    EXPECT_EQ(library.runningJobCount(), c.closesTheOlderJob ? 0 : 2) << c.name;
    EXPECT_EQ(library.count(olderQueue), c.closesTheOlderJob ? 0 : 1) << c.name;
  }
}

TEST(ImageLibraryScannerTest, ASymbolicLinkIsQueuedUnderItsTarget) {
  ScannerTestLibrary library;
  const std::string target = library.writePNG("store/real.png");
  std::filesystem::create_directories(library.photo("view"));
  std::filesystem::create_symlink(target, library.photo("view/alias.png"));
  std::filesystem::create_symlink(target, library.photo("view/alias.jpg"));
  // Its target lies in the folders scanned (another root of the same scan).
  const auto summary = library.scanner().scan({library.photo("view"), library.photo("store")}, {}, {});
  EXPECT_EQ(summary.scannedFileCount, 1);
  EXPECT_EQ(library.storedMissing(target), false);
  EXPECT_EQ(library.storedMissing(library.photo("view/alias.png")), std::nullopt);

  // Scanned alone, the folder of the link does not hold its target: nothing is queued.
  ScannerTestLibrary alone;
  const std::string elsewhere = alone.writePNG("store/real.png");
  std::filesystem::create_directories(alone.photo("view"));
  std::filesystem::create_symlink(elsewhere, alone.photo("view/alias.png"));
  EXPECT_EQ(alone.scanner().scan({alone.photo("view")}, {}, {}).scannedFileCount, 0);
  EXPECT_EQ(alone.storedMissing(elsewhere), std::nullopt);
}

}  // namespace
}  // namespace lorvex
