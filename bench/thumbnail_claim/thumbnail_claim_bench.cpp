// Claim latency of the thumbnail job queue with a large backlog: 300,000 pending jobs, as after
// registering a big folder. Each claim picks the next job in claim order and marks it processing.
//
// Floors on the same data: the cheapest possible statement (one primary-key lookup) and the
// claim's own SELECT served by the readiness index that does not match the claim order, which has
// to sort the whole backlog.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "database/internal/row_mappers.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"

namespace {

using lorvex::SQLiteImageRepositoryV3;
using lorvex::ThumbnailJobPriority;

constexpr int kPendingJobs = 300'000;
constexpr double kNow = 1'800'000'000.0;

struct Library {
  std::filesystem::path folder;
  std::unique_ptr<SQLiteImageRepositoryV3> repository;

  Library() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lorvex-claim-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
    repository = std::make_unique<SQLiteImageRepositoryV3>(folder / lorvex::kLibraryDatabaseFileName);
    auto& db = lorvex::testing::connectionOf(*repository);
    std::mt19937 random(42);
    std::uniform_real_distribution<double> times(1'600'000'000.0, 1'700'000'000.0);
    db.performLockedTransaction([&] {
      for (int i = 0; i < kPendingJobs; ++i) {
        const std::string path =
            "/library/folder-" + std::to_string(i % 300) + "/image-" + std::to_string(i) + ".png";
        db.execute(
            "INSERT INTO media_files (absolute_path, file_size, modification_time, basename_normalized, "
            "first_seen_at, last_seen_at, indexed_at) VALUES (?, ?, ?, ?, 0, 0, 0)",
            {path, 1'000'000 + i, times(random), path});
        db.execute("INSERT INTO image_properties (media_file_id, aspect_class) VALUES (?, 1)",
                   {db.lastInsertRowID()});
      }
    });
    repository->enqueueMissingThumbnailJobs(ThumbnailJobPriority::background);
    db.executeScript("PRAGMA optimize;");
  }
  ~Library() {
    repository.reset();
    std::error_code error;
    std::filesystem::remove_all(folder, error);
  }
};

Library& library() {
  static Library instance;
  return instance;
}

void BM_ClaimNextThumbnailJob(benchmark::State& state) {
  auto& repository = *library().repository;
  for (auto _ : state) {
    auto job = repository.claimNextThumbnailJob(kNow);
    if (!job) state.SkipWithError("the backlog ran out");
    benchmark::DoNotOptimize(job);
  }
}
BENCHMARK(BM_ClaimNextThumbnailJob)->Iterations(3000)->Unit(benchmark::kMicrosecond);

void BM_FloorPrimaryKeyLookup(benchmark::State& state) {
  auto& db = lorvex::testing::connectionOf(*library().repository);
  std::int64_t id = 1;
  for (auto _ : state) {
    auto guard = db.lock();
    auto status = db.query("SELECT status FROM thumbnail_jobs WHERE id = ?", {id++}, lorvex::rows::firstText);
    benchmark::DoNotOptimize(status);
  }
}
BENCHMARK(BM_FloorPrimaryKeyLookup)->Iterations(3000)->Unit(benchmark::kMicrosecond);

void BM_ClaimSelectSortingTheBacklog(benchmark::State& state) {
  auto& db = lorvex::testing::connectionOf(*library().repository);
  for (auto _ : state) {
    auto guard = db.lock();
    auto id = db.query(
        "SELECT thumbnail_jobs.id FROM thumbnail_jobs INDEXED BY idx_thumbnail_jobs_ready "
        "JOIN media_files ON media_files.id = thumbnail_jobs.media_file_id "
        "JOIN image_properties ON image_properties.media_file_id = media_files.id "
        "WHERE thumbnail_jobs.status = ? AND media_files.missing = 0 AND image_properties.thumbnail_key IS "
        "NULL "
        "AND thumbnail_jobs.source_file_size = media_files.file_size "
        "AND thumbnail_jobs.source_modification_time = media_files.modification_time "
        "AND (thumbnail_jobs.next_retry_at IS NULL OR thumbnail_jobs.next_retry_at <= ?) "
        "ORDER BY thumbnail_jobs.priority DESC, media_files.modification_time DESC, "
        "media_files.absolute_path ASC "
        "LIMIT 1",
        {"pending", kNow}, lorvex::rows::firstInt64);
    benchmark::DoNotOptimize(id);
  }
}
BENCHMARK(BM_ClaimSelectSortingTheBacklog)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
