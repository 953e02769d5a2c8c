// A folder of marked images is moved, and the marks go with the images: whether monitoring reports
// the move, a full scan finds it later, or the registered folder itself was renamed, and also when
// the folder is renamed back and forth while its files are read. Two copies of one image moved
// together each keep their own mark, an image that already has a review of its own at the new
// place keeps it, and a kept copy of an image never takes the mark of the one deleted.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

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
         library.scanner().scan({after}, {}, {}, {before});
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
  EXPECT_THROW(library.scanner(small).scan({library.photo("renamed")}, stopHalfway, stop.get_token(),
                                           {library.photo("album")}),
               ScanCancelledError);
  ASSERT_TRUE(library.scanner(small).resumeInterruptedJob({}, {}));
  EXPECT_EQ(liveMarks(*library.repository), expected);
}

// Hashes as the library does, and runs `then` right after the third file is hashed: that file has
// been read for its record and is not written yet.
struct HashingThen final : FileContentHashing {
  std::string sha256Hex(const std::string& path) const override {
    std::string hash = FileContentHasher().sha256Hex(path);
    if (++count == 3) then();
    return hash;
  }
  std::function<void()> then;
  mutable std::atomic<int> count{0};
};

// sub is renamed sub2; while the scan of that rename reads its files, sub2 is renamed back, and once
// the scan is done, sub is renamed sub2 again. The last scan (of both renames at once, as monitoring
// reports renames close together, or the next launch's) finds every mark at sub2; no present record
// ever stands where no file is.
TEST(RelocationTest, MarksEndAtTheLastPlaceOfAFolderRenamedBackWhileItsFilesWereRead) {
  for (const bool fullScan : {false, true}) {
    SCOPED_TRACE(fullScan ? "found by the launch's full scan" : "as monitoring reports it");
    ScannerTestLibrary library;
    const std::string sub = library.photo("sub"), sub2 = library.photo("sub2");
    const auto catchUp = [&](ImageLibraryScannerOptions options) {
      if (fullScan) library.scanner(options).scan({library.root()}, {}, {});
      if (!fullScan) library.scanner(options).scanChangedPaths({sub, sub2}, {library.root()}, {}, {});
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
    HashingThen renameBack;
    renameBack.then = [&] { fs::rename(sub2, sub); };
    ImageLibraryScannerOptions reading;
    reading.contentHasher = &renameBack;
    catchUp(reading);
    fs::rename(sub, sub2);
    catchUp({});
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

}  // namespace
}  // namespace lorvex::testing
