// A library on a temporary database with a photo folder beside it, for the scanner tests: writes
// small PNG files with generator text, reads back what the library stored, and records the
// scanner's progress reports and metrics snapshots.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "metadata/generation_metadata_parser.h"
#include "platform/clock.h"
#include "services/indexing/file_content_hasher.h"
#include "services/indexing/image_library_scanner.h"
#include "support/png_builder.h"
#include "support/temporary_folder.h"

namespace lorvex::testing {

class RecordingMetricsSink final : public ImageLibraryIndexingMetricsSink {
 public:
  void record(const ImageLibraryIndexingMetricsSnapshot& snapshot) override { snapshots.push_back(snapshot); }
  std::vector<ImageLibraryIndexingMetricsSnapshot> snapshots;
};

// The bytes of a PNG whose "parameters" text carries `prompt` the way A1111 writes it.
inline std::string pngWithPrompt(const std::string& prompt) {
  return PNGBuilder()
      .ihdr(4, 4)
      .tEXt("parameters",
            prompt + "\nNegative prompt: blurry\nSteps: 20, Sampler: Euler a, CFG scale: 7, Seed: 42")
      .iend()
      .bytes();
}

// Sets the modification time of `path` to `seconds` since 1970 (any fraction).
inline void setModificationTime(const std::string& path, double seconds) {
  const double whole = std::floor(seconds);
  const struct timespec times[2] = {{0, UTIME_OMIT},
                                    {static_cast<time_t>(whole), static_cast<long>((seconds - whole) * 1e9)}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// The real date, and a monotonic reading that never moves: a batch's transaction never ends early
// for its time however slowly an instrumented build writes, so what a test sees does not depend on
// the machine's speed.
class StillMonotonicClock final : public platform::Clock {
 public:
  double now() const override { return platform::systemClock().now(); }
  std::int64_t monotonicNanoseconds() const override { return 0; }
};

inline SQLiteImageRepositoryV3Options stillMonotonicOptions() {
  static StillMonotonicClock clock;
  SQLiteImageRepositoryV3Options options;
  options.clock = &clock;
  return options;
}

class ScannerTestLibrary {
 public:
  ScannerTestLibrary()
      : repository(std::make_unique<SQLiteImageRepositoryV3>(libraryFolder.path() / kLibraryDatabaseFileName,
                                                             stillMonotonicOptions())),
        store(*repository) {}

  // A scanner over the real library, hashing content (with `hasher` unless the options name
  // another), reporting to `sink`.
  ImageLibraryScanner scanner(ImageLibraryScannerOptions options = {}) {
    return scannerOver(store, store, options);
  }
  // The same over other stores (a fault-injecting wrapper).
  ImageLibraryScanner scannerOver(IndexingJobStore& jobs, ImageIndexingRecordStore& records,
                                  ImageLibraryScannerOptions options = {}) {
    if (options.contentHasher == nullptr) options.contentHasher = &hasher;
    options.metricsSink = &sink;
    return ImageLibraryScanner(jobs, records, GenerationMetadataParser(), options);
  }

  // Writes a PNG under the photo folder with modification time `seconds` (when given).
  std::string writePNG(const std::string& relative, const std::string& prompt = "a cat, blue sky",
                       std::optional<double> seconds = std::nullopt) {
    const std::string path = photos.writeFile(relative, pngWithPrompt(prompt));
    if (seconds) setModificationTime(path, *seconds);
    return path;
  }
  std::string root() const { return photos.path().string(); }
  // A folder under the photo folder nested deeper than a path can name, so that no walk can open
  // it by path, as it could not open a folder it lacks permission for (which root cannot be
  // denied). Returns the path of its innermost folder.
  std::string writeFolderTooDeepToName(const std::string& relative) {
    std::string deep = photo(relative);
    EXPECT_EQ(::mkdir(deep.c_str(), 0700), 0);
    int folder = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
    const std::string level(250, 'd');
    while (folder >= 0 && deep.size() < 4200) {
      EXPECT_EQ(::mkdirat(folder, level.c_str(), 0700), 0);
      const int inner = ::openat(folder, level.c_str(), O_RDONLY | O_DIRECTORY);
      ::close(folder);
      folder = inner;
      deep += "/" + level;
    }
    EXPECT_GE(folder, 0);
    ::close(folder);
    return deep;
  }
  std::string photo(const std::string& relative) const { return photos / relative; }

  // What media_files holds for the path: nothing, or whether it is missing.
  std::optional<bool> storedMissing(const std::string& path) {
    return lorvex::testing::connectionOf(*repository).withLock([&] {
      return lorvex::testing::connectionOf(*repository)
          .query("SELECT missing FROM media_files WHERE absolute_path = ?", {path},
                 [](SQLiteRows& rows) -> std::optional<bool> {
                   if (!rows.next()) return std::nullopt;
                   return rows.int64(0) != 0;
                 });
    });
  }
  std::optional<std::string> storedContentHash(const std::string& path) {
    return lorvex::testing::connectionOf(*repository).withLock([&] {
      return lorvex::testing::connectionOf(*repository)
          .query("SELECT content_sha256 FROM media_files WHERE absolute_path = ?", {path},
                 [](SQLiteRows& rows) -> std::optional<std::string> {
                   if (!rows.next()) return std::nullopt;
                   return rows.optionalText(0);
                 });
    });
  }
  std::int64_t count(const std::string& sql) {
    return lorvex::testing::connectionOf(*repository).withLock([&] {
      return lorvex::testing::connectionOf(*repository).query(sql, {}, [](SQLiteRows& rows) {
        return rows.next() ? rows.int64(0) : -1;
      });
    });
  }
  std::int64_t runningJobCount() {
    return count("SELECT COUNT(*) FROM indexing_jobs WHERE status = 'running'");
  }

  TemporaryFolder libraryFolder;
  TemporaryFolder photos;
  std::unique_ptr<SQLiteImageRepositoryV3> repository;
  // The repository as the scanner's stores.
  SQLiteImageRepositoryV3& store;
  FileContentHasher hasher;
  RecordingMetricsSink sink;
};

// The rows of each statement, in turn, as text: "|" before each of its first `columns` columns,
// "null" for NULL.
inline std::vector<std::string> textRows(SQLiteImageRepositoryV3& repository,
                                         const std::vector<std::pair<std::string, int>>& statements) {
  std::vector<std::string> rows;
  auto& connection = connectionOf(repository);
  connection.withLock([&] {
    for (const auto& [sql, columns] : statements) {
      connection.query(sql, {}, [&, columns = columns](SQLiteRows& result) {
        while (result.next()) {
          std::string row;
          for (int column = 0; column < columns; ++column)
            row += "|" + (result.isNull(column) ? std::string("null") : result.text(column));
          rows.push_back(row);
        }
        return 0;
      });
    }
  });
  return rows;
}

// Every progress report of a scan, in order.
struct ProgressLog {
  std::vector<ImageLibraryIndexingProgress> reports;
  ImageLibraryScanning::ProgressHandler handler() {
    return [this](const ImageLibraryIndexingProgress& progress) { reports.push_back(progress); };
  }
  std::size_t count(ImageLibraryIndexingPhase phase) const {
    std::size_t n = 0;
    for (const auto& report : reports) n += report.phase == phase ? 1 : 0;
    return n;
  }
};

}  // namespace lorvex::testing
