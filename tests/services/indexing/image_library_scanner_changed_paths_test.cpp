// The changed-path scan over a real library: scope, vanished paths, walked folders, hidden
// folders and moved files recognised by their content.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "services/indexing/failing_indexing_store.h"
#include "services/indexing/image_library_scanner.h"
#include "services/indexing/scanner_test_library.h"

namespace lorvex {
namespace {

using testing::ScannerTestLibrary;

TEST(ChangedPathScanTest, OnlyPathsAtOrUnderARootAreLookedAt) {
  ScannerTestLibrary library;
  const std::string inside = library.writePNG("a/x.png");
  const std::string sibling = library.writePNG("ab/x.png");
  const auto summary = library.scanner().scanChangedPaths({sibling, inside, library.photo("elsewhere.png")},
                                                          {library.photo("a")}, {}, {});
  EXPECT_EQ(summary.scannedFileCount, 1);
  EXPECT_EQ(library.storedMissing(inside), false);
  EXPECT_EQ(library.storedMissing(sibling), std::nullopt);
  const auto& snapshot = library.sink.snapshots.at(0);
  EXPECT_EQ(snapshot.mode, ImageLibraryIndexingMetricsMode::changedPaths);
  EXPECT_EQ(snapshot.changedPathCount, 3);
  EXPECT_EQ(snapshot.discoveryPassCount, 1);
}

TEST(ChangedPathScanTest, ARootWithATrailingSlashHoldsItsFilesOnly) {
  ScannerTestLibrary library;
  const std::string inside = library.writePNG("a/x.png");
  const std::string sibling = library.writePNG("ab/y.png");
  const auto summary =
      library.scanner().scanChangedPaths({inside, sibling}, {library.photo("a") + "/"}, {}, {});
  EXPECT_EQ(summary.scannedFileCount, 1);
}

TEST(ChangedPathScanTest, VanishedPathsAreMarkedMissingWhateverTheirName) {
  ScannerTestLibrary library;
  const std::string file = library.writePNG("keep/x.png");
  const std::string underFolder = library.writePNG("gone/y.png");
  const std::string other = library.writePNG("keep/z.png");
  library.scanner().scan({library.root()}, {}, {});
  std::filesystem::remove(file);
  std::filesystem::remove_all(library.photo("gone"));

  const auto summary =
      library.scanner().scanChangedPaths({file, library.photo("gone")}, {library.root()}, {}, {});
  EXPECT_EQ(summary.scannedFileCount, 0);
  EXPECT_EQ(library.storedMissing(file), true);
  EXPECT_EQ(library.storedMissing(underFolder), true);
  EXPECT_EQ(library.storedMissing(other), false);
}

TEST(ChangedPathScanTest, AReportedFolderIsWalkedAndWhatItLostBecomesMissing) {
  ScannerTestLibrary library;
  // Distinct content, so that no file is taken for a moved copy of another.
  const std::string kept = library.writePNG("set/a.png", "a");
  const std::string deleted = library.writePNG("set/b.png", "b");
  const std::string outside = library.writePNG("other/c.png", "c");
  library.scanner().scan({library.root()}, {}, {});
  std::filesystem::remove(deleted);
  std::filesystem::remove(outside);
  const std::string added = library.writePNG("set/new.png", "new");

  const auto summary = library.scanner().scanChangedPaths({library.photo("set")}, {library.root()}, {}, {});
  EXPECT_EQ(summary.scannedFileCount, 2);
  EXPECT_EQ(library.storedMissing(kept), false);
  EXPECT_EQ(library.storedMissing(added), false);
  EXPECT_EQ(library.storedMissing(deleted), true);
  // Not reported, so not looked at.
  EXPECT_EQ(library.storedMissing(outside), false);
  EXPECT_EQ(library.sink.snapshots.at(1).unchangedSkipCount, 1);
}

TEST(ChangedPathScanTest, HiddenFoldersStayOutAsInAFullScan) {
  ScannerTestLibrary library;
  const std::string hiddenFile = library.writePNG(".cache/x.png");
  const std::string deepHidden = library.writePNG("a/.thumbs/y.png");
  const std::string dotName = library.writePNG("a/.z.png");
  const auto summary = library.scanner().scanChangedPaths(
      {hiddenFile, deepHidden, dotName, library.photo("a/.thumbs")}, {library.root()}, {}, {});
  EXPECT_EQ(summary.scannedFileCount, 0);
  EXPECT_EQ(library.storedMissing(hiddenFile), std::nullopt);
}

TEST(ChangedPathScanTest, RepeatedPathsAreHandledOnceAndNoBurstsRun) {
  ScannerTestLibrary library;
  const std::string file = library.writePNG("x.png");
  for (int i = 0; i < 5; ++i) library.writePNG("many/" + std::to_string(i) + ".png");
  std::filesystem::create_symlink(library.root(),
                                  library.photo("../link-" + library.photos.path().filename().string()));
  const std::string throughLink = library.photos.path().parent_path().string() + "/link-" +
                                  library.photos.path().filename().string() + "/x.png";
  ImageLibraryScannerOptions options;
  options.discoveryChunkSize = 2;
  testing::ProgressLog log;
  const auto summary = library.scanner(options).scanChangedPaths(
      {file, file, throughLink, library.photo("many")}, {library.root()}, log.handler(), {});
  std::filesystem::remove(library.photos.path().parent_path() /
                          ("link-" + library.photos.path().filename().string()));
  EXPECT_EQ(summary.scannedFileCount, 6);
  // Every file is queued before the first is indexed.
  ASSERT_EQ(log.reports.size(), 1u + 6u + 6u);
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(log.reports[i].phase, ImageLibraryIndexingPhase::discovering);
}

TEST(ChangedPathScanTest, AnEmptyListOpensAndCompletesAJob) {
  ScannerTestLibrary library;
  EXPECT_EQ(library.scanner().scanChangedPaths({}, {library.root()}, {}, {}), ImageLibraryScanSummary{});
  EXPECT_EQ(library.runningJobCount(), 0);
  EXPECT_EQ(library.sink.snapshots.at(0).discoveryPassCount, 1);
}

TEST(ChangedPathScanTest, AMovedFileIsRecognisedByItsContent) {
  ScannerTestLibrary library;
  const std::string original = library.writePNG("inbox/moved.png", "unique content one");
  const std::string copyKept = library.writePNG("inbox/copy.png", "shared content");
  library.scanner().scan({library.root()}, {}, {});

  std::filesystem::create_directories(library.photo("sorted"));
  const std::string destination = library.photo("sorted/moved.png");
  std::filesystem::rename(original, destination);
  const std::string secondCopy = library.photo("sorted/copy-2.png");
  std::filesystem::copy_file(copyKept, secondCopy);

  library.scanner().scanChangedPaths({destination, secondCopy}, {library.root()}, {}, {});
  EXPECT_EQ(library.storedMissing(original), true);
  EXPECT_EQ(library.storedMissing(destination), false);
  // A copy whose first path still exists is not a move.
  EXPECT_EQ(library.storedMissing(copyKept), false);
  EXPECT_EQ(library.storedMissing(secondCopy), false);
}

TEST(ChangedPathScanTest, AnEarlierCopyOutsideTheRootsIsLeftAlone) {
  ScannerTestLibrary library;
  const std::string elsewhere = library.writePNG("archive/a.png", "same bytes");
  library.scanner().scan({library.photo("archive")}, {}, {});
  const std::string current = library.photo("live/a.png");
  std::filesystem::create_directories(library.photo("live"));
  std::filesystem::rename(elsewhere, current);

  library.scanner().scanChangedPaths({current}, {library.photo("live")}, {}, {});
  EXPECT_EQ(library.storedMissing(elsewhere), false);
  EXPECT_EQ(library.storedMissing(current), false);
}

// A changed path in a folder that cannot be entered is that folder's failure, as the full scan
// tells it: the folder once, in the walk's words with the system's name of the error.
TEST(ChangedPathScanTest, APathInAFolderThatCannotBeEnteredIsThatFoldersFailure) {
  ScannerTestLibrary library;
  const std::string deep = library.writeFolderTooDeepToName("deep");
  ImageRecord record;
  record.file = {deep + "/kept.png", 10, 1000};
  library.repository->upsertRecord(record, std::nullopt);

  const auto full = library.scanner().scan({library.root()}, {}, {});
  const auto changed =
      library.scanner().scanChangedPaths({record.file.path, deep + "/new.png"}, {library.root()}, {}, {});
  ASSERT_EQ(std::system(("rm -rf '" + library.photo("deep") + "'").c_str()), 0);
  ASSERT_EQ(full.failedFileCount, 1);
  EXPECT_EQ(changed.failures, full.failures);
  EXPECT_EQ(library.storedMissing(record.file.path), false);
}

TEST(ChangedPathScanTest, AFailedChangedPathScanIsResumedAsAFullScanOfItsRoots) {
  ScannerTestLibrary library;
  const std::string reported = library.writePNG("a.png");
  const std::string unreported = library.writePNG("b.png");
  testing::FailingIndexingStore failing(library.store, library.store);
  failing.beginNext.failOnCall = 1;
  EXPECT_THROW(library.scannerOver(failing, failing).scanChangedPaths({reported}, {library.root()}, {}, {}),
               std::runtime_error);
  const auto resumed = library.scanner().resumeInterruptedJob({}, {});
  ASSERT_TRUE(resumed.has_value());
  EXPECT_EQ(resumed->indexedImageCount, 2);
  EXPECT_EQ(library.storedMissing(unreported), false);
}

// A link to a file is indexed under its target only when the target lies in the scanned folders,
// whichever scan finds it: a full walk, a changed folder or the changed link itself. A target
// outside them would be a row that no folder shows and no scan of the folders marks missing.
TEST(ChangedPathScanTest, ALinkCountsOnlyWhenItsTargetLiesInTheScannedFolders) {
  using Scan = std::function<void(ScannerTestLibrary&, const std::vector<std::string>& links)>;
  const struct {
    const char* name;
    Scan scan;
  } scans[] = {
      {"full scan",
       [](ScannerTestLibrary& library, const auto&) { library.scanner().scan({library.root()}, {}, {}); }},
      {"changed folder",
       [](ScannerTestLibrary& library, const auto&) {
         library.scanner().scanChangedPaths({library.photo("links")}, {library.root()}, {}, {});
       }},
      {"changed links",
       [](ScannerTestLibrary& library, const auto& links) {
         library.scanner().scanChangedPaths(links, {library.root()}, {}, {});
       }},
  };
  for (const auto& scan : scans) {
    SCOPED_TRACE(scan.name);
    ScannerTestLibrary library;
    testing::TemporaryFolder elsewhere;
    const std::string inside = library.writePNG("kept/inside.png");
    const std::string hidden = library.writePNG(".cache/hidden.png");
    const std::string outside = elsewhere.writeFile("outside.png", testing::pngWithPrompt("a dog"));
    std::vector<std::string> links;
    for (const auto& [name, target] : {std::pair{"to-inside.png", inside}, std::pair{"to-hidden.png", hidden},
                                       std::pair{"to-outside.png", outside}}) {
      links.push_back(library.photo(std::string("links/") + name));
      std::filesystem::create_directories(library.photo("links"));
      std::filesystem::create_symlink(target, links.back());
    }

    scan.scan(library, links);

    EXPECT_EQ(library.storedMissing(inside), false);
    EXPECT_EQ(library.storedMissing(hidden), std::nullopt);
    EXPECT_EQ(library.storedMissing(outside), std::nullopt);
    for (const auto& link : links) EXPECT_EQ(library.storedMissing(link), std::nullopt) << link;
    EXPECT_EQ(library.count("SELECT COUNT(*) FROM media_files"), 1);
    EXPECT_EQ(library.runningJobCount(), 0);
  }
}

}  // namespace
}  // namespace lorvex
