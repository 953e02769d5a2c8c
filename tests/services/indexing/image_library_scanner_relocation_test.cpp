// A folder of marked images is moved, and the marks go with the images: whether monitoring reports
// the move, a full scan finds it later, or the registered folder itself was renamed. Two copies of
// one image moved together each keep their own mark, and an image that already has a review of
// its own at the new place keeps it.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace lorvex::testing
