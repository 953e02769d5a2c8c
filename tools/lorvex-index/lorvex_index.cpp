// lorvex-index --library DIR [--thumbnails] ROOT...: indexes the roots into the library in DIR
// through the library service the application uses. The library is prepared in DIR exactly as at
// launch ("LorvexV3.sqlite" and "Thumbnails/", created when absent; a database of an older layout,
// an unreadable one, or one that an earlier run found damaged is moved aside and a new library
// created); the roots are registered in a settings suite kept inside DIR ("lorvex-index.json",
// never the user's own settings); a job that an earlier run left unfinished is resumed, as at
// launch; then the roots are scanned as registering them would, and the folder-event position taken
// before the scan is stored for them as registering does; with --thumbnails every image
// then gets its thumbnail through the service's thumbnail runs.
//
// Progress goes to stderr, one line per report. stdout ends with one JSON object per failed file of
// the resumed job or the scan ({"path", "kind", "message"}; thumbnail failures carry "stage":
// "thumbnail") and then one JSON line {"scanned": N, "indexed": N, "failed": N, "seconds": S} of
// the scan (with --thumbnails also "thumbnails" and "thumbnailsFailed"). Exits 1 with the error's
// description when the library cannot be prepared (another process using it included: nothing in
// DIR is changed then) or the scan fails, 2 on a usage error. A developer's tool for benchmarks
// and real-data checks.
//
// lorvex-index --app-settings [--thumbnails] ROOT...: the same into the application's own library
// ($XDG_DATA_HOME/Lorvex) with the roots registered in the application's own settings, so that the
// next launch of lorvex shows them as its registered, indexed folders (the launch benchmark fills a
// library this way; run it with HOME and XDG_* pointing at a scratch folder).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "database/sqlite_image_repository.h"
#include "model/raw_value.h"
#include "model/text/paths.h"
#include "platform/settings.h"
#include "services/folders/canonical_folder_path.h"
#include "services/image_library_service.h"
#include "services/image_library_service_error.h"
#include "services/indexing/scan_error_message.h"
#include "services/live_image_library_service.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kSettingsSuite = "lorvex-index";
// Jobs per thumbnail run; runs repeat until no job is ready.
constexpr std::int64_t kThumbnailRunLimit = 1000;

struct Arguments {
  std::string library;
  bool appSettings = false;
  bool thumbnails = false;
  std::vector<std::string> roots;
};

bool parseArguments(int argc, char** argv, Arguments& arguments) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--library" && i + 1 < argc) {
      arguments.library = argv[++i];
    } else if (argument == "--app-settings") {
      arguments.appSettings = true;
    } else if (argument == "--thumbnails") {
      arguments.thumbnails = true;
    } else if (argument.starts_with("--")) {
      return false;
    } else {
      arguments.roots.push_back(argument);
    }
  }
  // One library: a folder of its own, or the application's.
  return arguments.library.empty() == arguments.appSettings && !arguments.roots.empty();
}

void printLine(const Json& object) {
  const std::string line = object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
}

// A line when the phase changes, when a phase ends and otherwise at most ten a second: a line per
// file was a write() per file, a tenth of an unchanged rescan's time.
void reportProgress(const lorvex::ImageLibraryIndexingProgress& progress) {
  using Clock = std::chrono::steady_clock;
  static std::optional<lorvex::ImageLibraryIndexingPhase> lastPhase;
  static Clock::time_point lastLine;
  const Clock::time_point now = Clock::now();
  if (lastPhase == progress.phase && progress.processedCount < progress.totalCount &&
      now - lastLine < std::chrono::milliseconds(100))
    return;
  lastPhase = progress.phase;
  lastLine = now;
  std::fprintf(stderr, "%s %lld/%lld indexed=%lld failed=%lld\n",
               std::string(lorvex::rawValue(progress.phase)).c_str(),
               static_cast<long long>(progress.processedCount), static_cast<long long>(progress.totalCount),
               static_cast<long long>(progress.indexedCount), static_cast<long long>(progress.failedCount));
}

// The registered, available folder of each root, as the service scans it.
std::vector<std::string> registeredRoots(lorvex::ImageLibraryService& service,
                                         const std::vector<std::string>& roots) {
  std::vector<std::string> absolute;
  for (const std::string& root : roots) absolute.push_back(lorvex::text::standardizedPath(root));
  service.registerFolders(absolute);
  const std::vector<std::string> available = service.restoreFolderAccess();
  std::vector<std::string> selected;
  for (const std::string& root : absolute) {
    const std::string canonical = lorvex::canonicalFolderPath(root);
    const auto found = std::find_if(available.begin(), available.end(), [&](const std::string& folder) {
      return lorvex::canonicalFolderPath(folder) == canonical;
    });
    if (found == available.end())
      throw lorvex::ImageLibraryServiceError::registeredFolderUnavailable(canonical);
    selected.push_back(*found);
  }
  return selected;
}

struct ThumbnailTotals {
  std::int64_t generated = 0;
  std::int64_t failed = 0;
};

// Runs thumbnail jobs until none is ready (a failed job waits for its retry time, so each is
// tried once here) and prints the failures the library recorded.
ThumbnailTotals generateThumbnails(lorvex::ImageLibraryService& service,
                                   lorvex::SQLiteImageRepositoryV3& database) {
  ThumbnailTotals totals;
  for (;;) {
    const lorvex::ThumbnailJobRunSummary run = service.generatePendingThumbnails(kThumbnailRunLimit, {});
    if (run.attemptedCount == 0) break;
    totals.generated += run.succeededCount;
    totals.failed += run.failedCount;
    std::fprintf(stderr, "thumbnails %lld\n", static_cast<long long>(totals.generated + totals.failed));
  }
  for (const lorvex::ThumbnailJobRecord& job : database.failedThumbnailJobs())
    printLine(Json{{"path", job.path}, {"stage", "thumbnail"}, {"message", job.lastError.value_or("")}});
  return totals;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (!parseArguments(argc, argv, arguments)) {
    std::fprintf(stderr, "usage: lorvex-index (--library DIR | --app-settings) [--thumbnails] ROOT...\n");
    return 2;
  }
  std::setvbuf(stderr, nullptr, _IOLBF, 1 << 16);
  const auto started = std::chrono::steady_clock::now();
  try {
    const std::string library = arguments.appSettings ? lorvex::defaultLibraryDirectory().string()
                                                      : lorvex::text::standardizedPath(arguments.library);
    lorvex::LiveImageLibraryGraph graph = lorvex::makeLiveImageLibraryGraph(
        library, arguments.appSettings
                     ? lorvex::platform::Settings(lorvex::platform::Settings::kStandardSuiteName)
                     : lorvex::platform::Settings(kSettingsSuite, library));
    const std::shared_ptr<lorvex::SQLiteImageRepositoryV3> database = graph.database;
    lorvex::ImageLibraryService service(std::move(graph.dependencies));

    // Taken before anything is scanned, as the application's registration does: the next launch
    // then finds the roots up to date as of this position instead of scanning them again first.
    const std::uint64_t checkpoint = service.currentFolderEventID();
    const std::vector<std::string> roots = registeredRoots(service, arguments.roots);
    // A run that was killed left its job running: finish it first, as the application's launch
    // does, so that its queue does not stay behind.
    std::vector<lorvex::ImageLibraryScanFailure> failures;
    if (const auto resumed = service.resumeInterruptedIndexing(reportProgress, {})) {
      std::fprintf(stderr, "resumed an interrupted job: scanned=%lld indexed=%lld failed=%lld\n",
                   static_cast<long long>(resumed->scannedFileCount),
                   static_cast<long long>(resumed->indexedImageCount),
                   static_cast<long long>(resumed->failedFileCount));
      failures = resumed->failures;
    }
    const lorvex::ImageLibraryScanSummary summary = service.scanLibrary(roots, reportProgress, {});
    service.storeFolderEventID(roots, checkpoint);
    for (const auto& failure : summary.failures) {
      const bool reported = std::any_of(failures.begin(), failures.end(),
                                        [&](const auto& earlier) { return earlier.path == failure.path; });
      if (!reported) failures.push_back(failure);
    }
    for (const auto& failure : failures) {
      printLine(Json{{"path", failure.path},
                     {"kind", std::string(lorvex::rawValue(failure.kind))},
                     {"message", failure.message}});
    }
    ThumbnailTotals thumbnails;
    if (arguments.thumbnails) thumbnails = generateThumbnails(service, *database);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    Json result{{"scanned", summary.scannedFileCount},
                {"indexed", summary.indexedImageCount},
                {"failed", summary.failedFileCount},
                {"seconds", seconds}};
    if (arguments.thumbnails) {
      result["thumbnails"] = thumbnails.generated;
      result["thumbnailsFailed"] = thumbnails.failed;
    }
    std::fflush(stdout);
    printLine(result);
    return 0;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "lorvex-index: %s\n", lorvex::errorMessage(error).c_str());
    return 1;
  }
}
