// A real library for the library-service tests: the live graph (database, folder access manager,
// monitor, file services, generator, scanner) built in a temporary library folder, with the
// user's data and settings folders pointed into the same temporary folder for the test's life, a
// manual clock, and a photo folder of decodable PNGs with generator text. A test may replace one
// collaborator of the graph before start() builds the service over it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "platform/clock.h"
#include "platform/scoped_environment_variable.h"
#include "platform/settings.h"
#include "services/image_library_service.h"
#include "services/indexing/scanner_test_library.h"
#include "services/live_image_library_service.h"
#include "support/png_image.h"
#include "support/temporary_folder.h"

namespace lorvex::testing {

class LibraryServiceTestLibrary {
 public:
  static constexpr double kStart = 1'700'000'000.0;

  LibraryServiceTestLibrary()
      : dataHome_("XDG_DATA_HOME", folder.makeFolder("data")),
        configHome_("XDG_CONFIG_HOME", folder.makeFolder("config")),
        photos(folder.makeFolder("photos")),
        libraryDirectory(folder / "library") {
    LiveImageLibraryServiceOptions options;
    options.clock = &clock;
    options.activeProcessorCount = 8;
    graph = makeLiveImageLibraryGraph(libraryDirectory, settings(), options);
  }

  // The settings suite the library's registered folders are kept in.
  platform::Settings settings() const {
    return platform::Settings(platform::Settings::kStandardSuiteName, folder.path() / "config" / "Lorvex");
  }

  // Builds the service over the graph as it stands now.
  ImageLibraryService& start() {
    service = std::make_unique<ImageLibraryService>(graph.dependencies);
    return *service;
  }

  // A decodable 8x8 PNG with A1111 generator text, at `relative` under the photo folder.
  std::string writeImage(const std::string& relative, const std::string& prompt = "a cat, blue sky",
                         std::optional<double> seconds = std::nullopt) {
    PNGImageSpec spec;
    spec.width = 8;
    spec.height = 8;
    spec.textChunks = {{"parameters", prompt + "\nNegative prompt: blurry\nSteps: 20, Sampler: Euler a, "
                                               "CFG scale: 7, Seed: 42, Size: 8x8"}};
    const std::string path = folder.writeFile("photos/" + relative, encodePNGImage(spec));
    if (seconds) setModificationTime(path, *seconds);
    return path;
  }

  // Registers the photo folder and scans it; the roots that were scanned.
  std::vector<std::string> registerAndScan() {
    service->registerFolders({photos});
    std::vector<std::string> roots = service->restoreFolderAccess();
    service->scanLibrary(roots, {}, {});
    return roots;
  }

  // Every live image under the roots, newest first.
  std::vector<ImageRecord> search(const std::vector<std::string>& roots) {
    ImageSearchQuery query;
    query.rootPaths = roots;
    query.limit = 1000;
    return service->searchImages(query, {});
  }

  std::optional<ImageRecord> record(const std::string& path) { return graph.database->imageRecord(path); }

  std::int64_t count(const std::string& sql) {
    auto& connection = lorvex::testing::connectionOf(*graph.database);
    return connection.withLock([&] {
      return connection.query(sql, {}, [](SQLiteRows& rows) { return rows.next() ? rows.int64(0) : -1; });
    });
  }

  void execute(const std::string& sql) { lorvex::testing::connectionOf(*graph.database).execute(sql); }

  TemporaryFolder folder;

 private:
  ScopedEnvironmentVariable dataHome_;
  ScopedEnvironmentVariable configHome_;

 public:
  platform::ManualClock clock{kStart};
  std::string photos;
  std::string libraryDirectory;
  LiveImageLibraryGraph graph;
  std::unique_ptr<ImageLibraryService> service;
};

}  // namespace lorvex::testing
