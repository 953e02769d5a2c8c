// The facade's scans after a registered folder was renamed: its images are found at the new place
// and no longer at the old one.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "services/forwarding_image_library_repository.h"
#include "services/image_library_service.h"
#include "services/library_service_test_library.h"

namespace lorvex {
namespace {

using testing::LibraryServiceTestLibrary;

constexpr int kImageCount = 6;

// Every live image of the library, whatever folder it is in.
std::vector<std::string> livePaths(LibraryServiceTestLibrary& library) {
  ImageSearchQuery query;
  query.limit = 1000;
  std::vector<std::string> paths;
  for (const ImageRecord& record : library.service->searchImages(query, {}))
    paths.push_back(record.file.path);
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::vector<std::string> expectedPaths(const std::string& folder) {
  std::vector<std::string> paths;
  for (int i = 0; i < kImageCount; ++i) paths.push_back(folder + "/" + std::to_string(i) + ".png");
  return paths;
}

// The library as it stands after its photo folder was indexed and then renamed within its parent;
// the folder's new path.
std::string indexAndRename(LibraryServiceTestLibrary& library) {
  for (int i = 0; i < kImageCount; ++i) library.writeImage(std::to_string(i) + ".png");
  library.start();
  library.registerAndScan();
  const std::string renamed = library.folder / "photos 2024";
  std::filesystem::rename(library.photos, renamed);
  return renamed;
}

TEST(ImageLibraryServiceRenamedFolder, EverySyncFindsTheImagesOnceAtTheNewPlace) {
  struct Case {
    const char* name;
    std::function<void(ImageLibraryService&, const std::string& renamed)> sync;
  };
  const std::vector<Case> cases{
      {"manual sync", [](ImageLibraryService& service,
                         const std::string&) { service.scanLibrary(service.restoreFolderAccess(), {}, {}); }},
      {"single-folder sync",
       [](ImageLibraryService& service, const std::string& renamed) {
         service.syncRegisteredFolder(renamed, {}, {});
       }},
      {"background sync",  // the roots come from one call, the scan is of changed paths
       [](ImageLibraryService& service, const std::string& renamed) {
         const RegisteredFolderRoots roots = service.registeredFolderRoots();
         service.scanChangedPaths({renamed}, roots.availableRootURLs, {}, {});
       }},
      {"sidebar first",  // another call found the move before the scan
       [](ImageLibraryService& service, const std::string& renamed) {
         service.registeredFolderSummaries();
         service.syncRegisteredFolder(renamed, {}, {});
       }},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    LibraryServiceTestLibrary library;
    const std::string renamed = indexAndRename(library);
    test.sync(*library.service, renamed);
    EXPECT_EQ(livePaths(library), expectedPaths(renamed));
    EXPECT_EQ(library.count("SELECT COUNT(*) FROM media_files WHERE missing = 1"), kImageCount);
    // Once handled, the old place is not marked again: a file that comes back there is kept.
    library.writeImage("0.png");
    library.service->scanLibrary({library.photos, renamed}, {}, {});
    EXPECT_EQ(livePaths(library).size(), kImageCount + 1u);
  }
}

class FailingMissingMarks final : public testing::ForwardingImageLibraryRepository {
 public:
  using ForwardingImageLibraryRepository::ForwardingImageLibraryRepository;
  void markMissing(const std::vector<std::string>& paths) override {
    if (failures-- > 0) throw SQLiteImageRepositoryV3Error::stepFailed("disk I/O error");
    ForwardingImageLibraryRepository::markMissing(paths);
  }
  int failures = 1;
};

TEST(ImageLibraryServiceRenamedFolder, AFailedMarkIsMadeAgainByTheNextScan) {
  LibraryServiceTestLibrary library;
  const auto repository = std::make_shared<FailingMissingMarks>(*library.graph.database);
  library.graph.dependencies.repository = repository;
  const std::string renamed = indexAndRename(library);

  EXPECT_THROW(library.service->syncRegisteredFolder(renamed, {}, {}), SQLiteImageRepositoryV3Error);
  library.service->syncRegisteredFolder(renamed, {}, {});
  EXPECT_EQ(livePaths(library), expectedPaths(renamed));
}

}  // namespace
}  // namespace lorvex
