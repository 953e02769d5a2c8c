// A folder of marked images is moved, and the marks go with the images: whether monitoring reports
// the move, a full scan finds it later, or the registered folder itself was renamed, and also when
// the folder is renamed back and forth while its files are read. Two copies of one image moved
// together each keep their own mark, an image that already has a review of its own at the new
// place keeps it, and a kept copy of an image never takes the mark of the one deleted. A mark left
// on a missing record by one scan goes to where its image turns up in a later one, and two files
// that swap names swap their marks.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "services/indexing/failing_indexing_store.h"
#include "services/indexing/scanner_test_library.h"

namespace lorvex::testing {
namespace {

namespace fs = std::filesystem;

using Marks = std::map<std::string, ReviewState>;

// Present images with a review state that is not the default one, by path.
Marks liveMarks(SQLiteImageRepositoryV3& repository) {
  auto& db = connectionOf(repository);
  return db.withLock([&] {
    return db.query(
        "SELECT absolute_path, favorite, delete_candidate, notes FROM media_files JOIN review_states ON "
        "review_states.media_file_id = media_files.id WHERE missing = 0 AND (favorite <> 0 OR "
        "delete_candidate "
        "<> 0 OR notes IS NOT NULL)",
        {}, [](SQLiteRows& rows) {
          Marks marks;
          while (rows.next())
            marks[rows.text(0)] = {rows.int64(1) != 0, rows.int64(2) != 0, rows.optionalText(3)};
          return marks;
        });
  });
}

// What the favourites and the delete-candidate filters list (present images only), by path.
std::set<std::string> listed(SQLiteImageRepositoryV3& repository, bool favorites) {
  ImageSearchQuery query;
  (favorites ? query.favorite : query.deleteCandidate) = true;
  query.limit = 100;
  std::set<std::string> paths;
  for (const auto& record : repository.searchImages(query)) paths.insert(record.file.path);
  return paths;
}

struct Album {
  std::string name;
  std::string prompt;
  ReviewState mark;
};

const std::vector<Album>& album() {
  static const std::vector<Album> files = {
      {"a.png", "first", {true, false, std::nullopt}},
      {"b.png", "second", {false, true, std::nullopt}},
      {"c.png", "third", {false, false, "keep for the cover"}},
      {"d.png", "fourth", {}},
      // Two copies of one image, marked differently.
      {"twin.png", "twin", {true, false, std::nullopt}},
      {"twin copy.png", "twin", {false, true, std::nullopt}},
  };
  return files;
}

TEST(RelocationTest, MarksFollowAFolderOfImagesToItsNewPlace) {
  const struct {
    const char* name;
    // The registered folder the library scans, relative to the photo folder ("" for all of it).
    std::string registered;
    std::string before;
    std::string after;
    // Scans the library after the folder moved; `library.root()` is the photo folder.
    std::function<void(ScannerTestLibrary&, const std::string& before, const std::string& after)> catchUp;
  } cases[] = {
      {"a subfolder renamed, as monitoring reports it", "", "album", "album 2024",
       [](ScannerTestLibrary& library, const std::string& before, const std::string& after) {
         library.scanner().scanChangedPaths({before, after}, {library.root()}, {}, {});
       }},
      {"a subfolder moved while nothing watched, found by the next full scan", "", "album", "sorted/album",
       [](ScannerTestLibrary& library, const std::string&, const std::string&) {
         library.scanner().scan({library.root()}, {}, {});
       }},
      {"the registered folder itself renamed", "album", "album", "album renamed",
       [](ScannerTestLibrary& library, const std::string& before, const std::string& after) {
         // As the library service does: the old place's images go missing before the scan.
         library.repository->markMissing({before});
         library.scanner().scan({after}, {}, {});
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScannerTestLibrary library;
    const std::string registered = c.registered.empty() ? library.root() : library.photo(c.registered);
    for (const Album& file : album()) library.writePNG(c.before + "/" + file.name, file.prompt);
    library.scanner().scan({registered}, {}, {});
    for (const Album& file : album()) {
      if (file.mark != ReviewState{})
        library.repository->updateReviewState(library.photo(c.before + "/" + file.name), file.mark);
    }

    fs::create_directories(fs::path(library.photo(c.after)).parent_path());
    fs::rename(library.photo(c.before), library.photo(c.after));
    c.catchUp(library, library.photo(c.before), library.photo(c.after));

    Marks expected;
    std::set<std::string> favorites;
    std::set<std::string> candidates;
    for (const Album& file : album()) {
      const std::string path = library.photo(c.after + "/" + file.name);
      EXPECT_EQ(library.storedMissing(library.photo(c.before + "/" + file.name)), true) << file.name;
      if (file.mark == ReviewState{}) continue;
      expected[path] = file.mark;
      if (file.mark.favorite) favorites.insert(path);
      if (file.mark.deleteCandidate) candidates.insert(path);
    }
    EXPECT_EQ(liveMarks(*library.repository), expected);
    EXPECT_EQ(listed(*library.repository, true), favorites);
    EXPECT_EQ(listed(*library.repository, false), candidates);
    // The sidebar's count of the folder: every image once, at its new place.
    const std::string counted = c.registered.empty() ? library.root() : library.photo(c.after);
    EXPECT_EQ(library.repository->folderImageCounts({counted}).at(0).indexedImageCount,
              static_cast<std::int64_t>(album().size()));
  }
}

TEST(RelocationTest, AnImageWithAReviewOfItsOwnAtTheNewPlaceKeepsIt) {
  ScannerTestLibrary library;
  const std::string moved = library.writePNG("inbox/a.png", "moved image");
  const std::string target = library.writePNG("sorted/a.png", "the image that was here");
  library.scanner().scan({library.root()}, {}, {});
  library.repository->updateReviewState(moved, {false, true, std::nullopt});
  library.repository->updateReviewState(target, {true, false, std::nullopt});

  fs::rename(moved, target);
  library.scanner().scanChangedPaths({moved, target}, {library.root()}, {}, {});
  EXPECT_EQ(liveMarks(*library.repository), (Marks{{target, {true, false, std::nullopt}}}));
}

// A registered folder renamed while nothing ran: the scan that moves its marks is stopped halfway,
// and the resumed job still takes the marks of the images it had not reached from the old place.
TEST(RelocationTest, AScanStoppedHalfwayStillMovesTheMarksOfTheImagesItHasNotReached) {
  ImageLibraryScannerOptions small;
  small.claimBatchSize = 2;
  small.projectionBatchSize = 2;
  ScannerTestLibrary library;
  Marks expected;
  for (int image = 0; image < 12; ++image) {
    const std::string name = std::to_string(image) + ".png";
    library.writePNG("album/" + name, name);
    library.scanner(small).scan({library.photo("album")}, {}, {});
    const ReviewState mark{image % 2 == 0, image % 3 == 0, std::nullopt};
    library.repository->updateReviewState(library.photo("album/" + name), mark);
    if (mark != ReviewState{}) expected[library.photo("renamed/" + name)] = mark;
  }
  fs::rename(library.photo("album"), library.photo("renamed"));
  library.repository->markMissing({library.photo("album")});
  std::stop_source stop;
  int written = 0;
  const auto stopHalfway = [&](const ImageLibraryIndexingProgress& progress) {
    if (progress.phase == ImageLibraryIndexingPhase::indexing && ++written == 5) stop.request_stop();
  };
  EXPECT_THROW(library.scanner(small).scan({library.photo("renamed")}, stopHalfway, stop.get_token()),
               ScanCancelledError);
  ASSERT_TRUE(library.scanner(small).resumeInterruptedJob({}, {}));
  EXPECT_EQ(liveMarks(*library.repository), expected);
}

// The library's stores, with `then` run once the scan has read its first files and before it
// writes any of them (held there, whatever the threads that read the files ahead do meanwhile).
struct WritingAfter {
  explicit WritingAfter(ScannerTestLibrary& library, std::function<void()> then)
      : store(library.store, library.store) {
    store.forwardsBatches = true;
    store.beforeFirstProjectBatch = std::move(then);
  }
  FailingIndexingStore store;
};

// sub is renamed sub2; once the scan of that rename has read its files, before it writes them, sub2
// is renamed back, and once the scan is done, sub is renamed sub2 again. The last scan (of both renames at
// once, as monitoring reports renames close together, or the next launch's) finds every mark at sub2; no
// present record ever stands where no file is.
TEST(RelocationTest, MarksEndAtTheLastPlaceOfAFolderRenamedBackWhileItsFilesWereRead) {
  for (const bool fullScan : {false, true}) {
    SCOPED_TRACE(fullScan ? "found by the launch's full scan" : "as monitoring reports it");
    ScannerTestLibrary library;
    const std::string sub = library.photo("sub"), sub2 = library.photo("sub2");
    const auto catchUp = [&](ImageLibraryScanner scanner) {
      if (fullScan) scanner.scan({library.root()}, {}, {});
      if (!fullScan) scanner.scanChangedPaths({sub, sub2}, {library.root()}, {}, {});
      std::vector<std::string> present =
          textRows(*library.repository, {{"SELECT absolute_path FROM media_files WHERE missing = 0", 1}});
      std::erase_if(present, [](const std::string& row) { return fs::exists(row.substr(1)); });
      EXPECT_EQ(present, std::vector<std::string>{}) << "present records without a file";
    };
    Marks expected;
    for (int image = 0; image < 8; ++image) {
      const std::string name = "/" + std::to_string(image) + ".png";
      library.writePNG("sub" + name, name, 1'700'000'000.0 + image);
      expected[sub2 + name] = {image % 2 == 0, true, std::nullopt};
    }
    library.scanner().scan({library.root()}, {}, {});
    for (const auto& [path, mark] : expected)
      library.repository->updateReviewState(sub + path.substr(sub2.size()), mark);
    fs::rename(sub, sub2);
    WritingAfter renamedBack(library, [&] { fs::rename(sub2, sub); });
    catchUp(library.scannerOver(renamedBack.store, renamedBack.store));
    fs::rename(sub, sub2);
    catchUp(library.scanner());
    EXPECT_EQ(liveMarks(*library.repository), expected);
  }
}

// A kept copy is touched (or saved again) as its marked twin is deleted: it is no moved file. An
// image moved over another file, though, is that image and takes its own mark along.
TEST(RelocationTest, AKeptCopyNeverTakesTheMarkOfItsDeletedTwin) {
  const ReviewState deleteCandidate{false, true, std::nullopt};
  for (const bool twin : {true, false}) {
    for (const bool fullScan : {false, true}) {
      SCOPED_TRACE(std::string(twin ? "a touched copy" : "an image moved over another") +
                   (fullScan ? ", found by a full scan" : ", as monitoring reports it"));
      ScannerTestLibrary library;
      const std::string marked = library.writePNG("sub/a.png", "the marked image", 1'700'000'000.0);
      const std::string other =
          library.writePNG("keep/a.png", twin ? "the marked image" : "another image", 1'700'000'000.0);
      library.scanner().scan({library.root()}, {}, {});
      library.repository->updateReviewState(marked, deleteCandidate);
      if (twin) fs::remove(marked), setModificationTime(other, 1'700'000'100.0);
      if (!twin) fs::rename(marked, other);
      const ImageLibraryScanSummary summary =
          fullScan ? library.scanner().scan({library.root()}, {}, {})
                   : library.scanner().scanChangedPaths({marked, other}, {library.root()}, {}, {});
      EXPECT_EQ(liveMarks(*library.repository), (twin ? Marks{} : Marks{{other, deleteCandidate}}));
      EXPECT_EQ(summary.relocations.size(), twin ? 0u : 1u);
      EXPECT_EQ(library.storedMissing(marked), true);
    }
  }
}

// Runs `then` at the scan's first progress report, before it has read anything.
ImageLibraryScanning::ProgressHandler atTheStart(std::function<void()> then) {
  return [then = std::move(then), done = false](const ImageLibraryIndexingProgress&) mutable {
    if (!std::exchange(done, true)) then();
  };
}

// A folder (or one file) is renamed, and renamed again before the scan of the first rename has
// seen it: that scan finds both earlier names gone (or the files halfway), so the marks wait on
// missing records until the scan of the second rename, or the next launch's, finds the images at
// the last name. However the renames fall against the scans, every mark ends there. The second
// rename is held at a fault point of the first scan.
TEST(RelocationTest, MarksFollowAnImageRenamedOnwardBeforeTheFirstRenameWasScanned) {
  enum class When { beforeTheFirstScanReads, whileTheFirstScanWrites, afterTheFirstScan };
  const struct {
    const char* name;
    std::string first, middle, last;  // under the photo folder; "lib" is registered
    When when;
    bool secondFull;  // the second scan is the next launch's
  } cases[] = {
      {"a folder, as monitoring reports both", "lib/sub", "lib/s1", "lib/s2", When::beforeTheFirstScanReads,
       false},
      {"a folder, while the first scan writes", "lib/sub", "lib/s1", "lib/s2", When::whileTheFirstScanWrites,
       false},
      {"a folder, the app closed between", "lib/sub", "lib/s1", "lib/s2", When::beforeTheFirstScanReads,
       true},
      {"one file", "lib/sub/0.png", "lib/sub/b.png", "lib/sub/c.png", When::beforeTheFirstScanReads, false},
      {"one file, the app closed between", "lib/sub/0.png", "lib/sub/b.png", "lib/sub/c.png",
       When::beforeTheFirstScanReads, true},
      {"a folder moved out and back under a new name", "lib/sub", "away/sub", "lib/s2",
       When::afterTheFirstScan, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScannerTestLibrary library;
    const std::string registered = library.photo("lib");
    const std::string first = library.photo(c.first), middle = library.photo(c.middle),
                      last = library.photo(c.last);
    for (int image = 0; image < 8; ++image)
      library.writePNG("lib/sub/" + std::to_string(image) + ".png", std::to_string(image));
    library.scanner().scan({registered}, {}, {});
    Marks expected;
    for (int image = 0; image < 8; ++image) {
      const std::string path = library.photo("lib/sub/" + std::to_string(image) + ".png");
      const ReviewState mark{image % 2 == 0, image % 3 != 2, std::nullopt};
      library.repository->updateReviewState(path, mark);
      if (mark != ReviewState{})
        expected[path.starts_with(first) ? last + path.substr(first.size()) : path] = mark;
    }
    fs::create_directories(fs::path(middle).parent_path());
    fs::rename(first, middle);
    const auto renameOnward = [&] { fs::rename(middle, last); };
    WritingAfter firstScan(
        library, c.when == When::whileTheFirstScanWrites ? std::function<void()>(renameOnward) : nullptr);
    library.scannerOver(firstScan.store, firstScan.store)
        .scanChangedPaths({first, middle}, {registered},
                          c.when == When::beforeTheFirstScanReads ? atTheStart(renameOnward) : nullptr, {});
    if (c.when == When::afterTheFirstScan) renameOnward();
    if (c.secondFull) library.scanner().scan({registered}, {}, {});
    if (!c.secondFull) library.scanner().scanChangedPaths({middle, last}, {registered}, {}, {});

    EXPECT_EQ(liveMarks(*library.repository), expected);
    EXPECT_EQ(
        textRows(*library.repository, {{"SELECT absolute_path FROM media_files JOIN review_states ON "
                                        "media_file_id = media_files.id WHERE missing = 1 AND (favorite "
                                        "OR delete_candidate OR notes IS NOT NULL)",
                                        1}}),
        std::vector<std::string>{})
        << "marks left on missing records";
  }
}

// a.png is a delete candidate and b.png a favourite; their names are swapped (through a third
// name), with the two files of different or of the same size and time, while the library watches
// or while nothing runs. Each mark goes with its image's content, and each record describes the
// content now at its path.
TEST(RelocationTest, TwoImagesThatSwapNamesSwapTheirMarks) {
  const ReviewState deleteCandidate{false, true, std::nullopt};
  const ReviewState favorite{true, false, std::nullopt};
  for (const bool sameSizeAndTime : {false, true}) {
    for (const bool fullScan : {false, true}) {
      // A full scan does not read a file whose size and time are as it holds them: the Trash move
      // finds such a swap (image_library_service_trash_test).
      if (sameSizeAndTime && fullScan) continue;
      SCOPED_TRACE(std::string(sameSizeAndTime ? "same size and time" : "different size and time") +
                   (fullScan ? ", found by a full scan" : ", as monitoring reports it"));
      ScannerTestLibrary library;
      const std::string a = library.writePNG("a.png", "a red fox", 1'700'000'000.0);
      const std::string b = library.writePNG("b.png", sameSizeAndTime ? "a big cat" : "a much larger cat",
                                             1'700'000'000.0 + (sameSizeAndTime ? 0 : 60));
      const std::string t = library.photo("t.png");
      library.scanner().scan({library.root()}, {}, {});
      library.repository->updateReviewState(a, deleteCandidate);
      library.repository->updateReviewState(b, favorite);
      const std::optional<std::string> contentOfA = library.storedContentHash(a);
      const std::optional<std::string> contentOfB = library.storedContentHash(b);

      fs::rename(a, t);
      fs::rename(b, a);
      fs::rename(t, b);
      const ImageLibraryScanSummary summary =
          fullScan ? library.scanner().scan({library.root()}, {}, {})
                   : library.scanner().scanChangedPaths({a, b, t}, {library.root()}, {}, {});

      EXPECT_EQ(liveMarks(*library.repository), (Marks{{a, favorite}, {b, deleteCandidate}}));
      EXPECT_EQ(library.storedContentHash(a), contentOfB);
      EXPECT_EQ(library.storedContentHash(b), contentOfA);
      EXPECT_TRUE(summary.relocations == std::vector<RecordRelocation>({{a, b}, {b, a}}) ||
                  summary.relocations == std::vector<RecordRelocation>({{b, a}, {a, b}}));
      // The next scan finds nothing more to move.
      EXPECT_EQ(library.scanner().scan({library.root()}, {}, {}).relocations,
                std::vector<RecordRelocation>{});
      EXPECT_EQ(liveMarks(*library.repository), (Marks{{a, favorite}, {b, deleteCandidate}}));
    }
  }
}

}  // namespace
}  // namespace lorvex::testing
