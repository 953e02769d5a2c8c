// lorvex-index --library DIR [--thumbnails] ROOT...: indexes the roots into the library in DIR
// ("LorvexV3.sqlite" and "Thumbnails/", created when absent) with the real repository and
// scanner, the way registering the folders would; with --thumbnails it then queues a thumbnail
// job for every indexed image and generates them all.
//
// Progress goes to stderr, one line per report. stdout ends with one JSON object per failed file
// ({"path", "kind", "message"}; thumbnail failures carry "stage": "thumbnail") and then one JSON
// line {"scanned": N, "indexed": N, "failed": N, "seconds": S} (with --thumbnails also
// "thumbnails" and "thumbnailsFailed"). Exits 1 with the error's description when the library
// cannot be opened or the scan fails, 2 on a usage error. A developer's tool for benchmarks and
// real-data checks.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "database/sqlite_image_repository.h"
#include "metadata/generation_metadata_parser.h"
#include "model/raw_value.h"
#include "platform/clock.h"
#include "services/file_content_hasher.h"
#include "services/image_library_indexing_metrics_logger.h"
#include "services/image_library_scanner.h"
#include "services/image_thumbnail_generator.h"
#include "services/scan_error_message.h"
#include "services/sqlite_library_indexing_store.h"

namespace {

using Json = nlohmann::ordered_json;

struct Arguments {
  std::string library;
  bool thumbnails = false;
  std::vector<std::string> roots;
};

bool parseArguments(int argc, char** argv, Arguments& arguments) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--library" && i + 1 < argc) {
      arguments.library = argv[++i];
    } else if (argument == "--thumbnails") {
      arguments.thumbnails = true;
    } else if (argument.starts_with("--")) {
      return false;
    } else {
      arguments.roots.push_back(argument);
    }
  }
  return !arguments.library.empty() && !arguments.roots.empty();
}

void printLine(const Json& object) {
  const std::string line = object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
}

void reportProgress(const lorvex::ImageLibraryIndexingProgress& progress) {
  std::fprintf(stderr, "%s %lld/%lld indexed=%lld failed=%lld\n",
               std::string(lorvex::rawValue(progress.phase)).c_str(),
               static_cast<long long>(progress.processedCount), static_cast<long long>(progress.totalCount),
               static_cast<long long>(progress.indexedCount), static_cast<long long>(progress.failedCount));
}

struct ThumbnailRun {
  std::int64_t generated = 0;
  std::int64_t failed = 0;
};

// Every image without a thumbnail gets one; a failure is reported and not retried in this run.
ThumbnailRun generateThumbnails(lorvex::SQLiteImageRepositoryV3& repository,
                                const lorvex::ImageThumbnailGenerator& generator) {
  ThumbnailRun run;
  repository.enqueueMissingThumbnailJobs(lorvex::ThumbnailJobPriority::background);
  lorvex::platform::Clock& clock = lorvex::platform::systemClock();
  while (const auto job = repository.claimNextThumbnailJob(clock.now())) {
    try {
      const auto path = generator.generateThumbnail(job->path, job->fileInfo);
      if (!path) throw std::runtime_error("Unable to create thumbnail: " + job->path);
      repository.completeThumbnailJob(*job, *path);
      ++run.generated;
    } catch (const std::exception& error) {
      ++run.failed;
      const std::string message = lorvex::errorMessage(error);
      repository.failThumbnailJob(*job, message, clock.now() + 3600);
      printLine(Json{{"path", job->path}, {"stage", "thumbnail"}, {"message", message}});
    }
    if ((run.generated + run.failed) % 100 == 0) {
      std::fprintf(stderr, "thumbnails %lld\n", static_cast<long long>(run.generated + run.failed));
    }
  }
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (!parseArguments(argc, argv, arguments)) {
    std::fprintf(stderr, "usage: lorvex-index --library DIR [--thumbnails] ROOT...\n");
    return 2;
  }
  std::setvbuf(stderr, nullptr, _IOLBF, 1 << 16);
  const auto started = std::chrono::steady_clock::now();
  try {
    const std::filesystem::path library(arguments.library);
    std::filesystem::create_directories(library / "Thumbnails");
    ::chmod(library.c_str(), 0700);
    lorvex::SQLiteImageRepositoryV3 repository(library / "LorvexV3.sqlite");
    lorvex::SQLiteLibraryIndexingStore store(repository);
    lorvex::FileContentHasher hasher;
    lorvex::ImageLibraryIndexingMetricsLogger metrics;
    lorvex::ImageLibraryScannerOptions options;
    options.contentHasher = &hasher;
    options.metricsSink = &metrics;
    lorvex::ImageLibraryScanner scanner(store, store, lorvex::GenerationMetadataParser(), options);

    const lorvex::ImageLibraryScanSummary summary = scanner.scan(arguments.roots, reportProgress);
    for (const auto& failure : summary.failures) {
      printLine(Json{{"path", failure.path},
                     {"kind", std::string(lorvex::rawValue(failure.kind))},
                     {"message", failure.message}});
    }
    ThumbnailRun thumbnails;
    if (arguments.thumbnails) {
      const lorvex::ImageThumbnailGenerator generator((library / "Thumbnails").string());
      thumbnails = generateThumbnails(repository, generator);
    }
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
