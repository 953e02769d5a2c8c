// bench_review [--images N] [--runs N]
//
// Builds the review benchmarks' synthetic library of N images (default 500,000, review_library.h)
// in a temporary folder. Then it reports the median of --runs runs (default 5) of:
//   - folderImageCounts over the 40 folders, next to the floor of counting the same rows by the
//     same index range without the review join, and next to the plain substring predicate, which
//     reads every file of the library once per folder;
//   - restoreDeleteCandidateStates of 20,000 images (50 batches), next to the floor of one UPDATE
//     per image by id in one transaction.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "database/internal/sql_paths.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "review_library.h"

namespace {

using lorvex::SQLiteImageRepositoryV3;
using Clock = std::chrono::steady_clock;
namespace sql = lorvex::sql;

constexpr std::size_t kRestoreCount = 20'000;

template <typename Work>
double medianMilliseconds(int runs, Work work) {
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    const auto begin = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

std::int64_t countRows(SQLiteImageRepositoryV3& repository, const std::string& where,
                       const lorvex::SQLiteV3Bindings& bindings) {
  auto& connection = lorvex::testing::connectionOf(repository);
  auto guard = connection.lock();
  return connection.query("SELECT count(*) FROM media_files WHERE " + where, bindings,
                          [](lorvex::SQLiteRows& rows) { return rows.next() ? rows.int64(0) : 0; });
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t images = 500'000;
  int runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--images") {
      images = std::max<std::int64_t>(1000, std::stoll(argv[i + 1]));
    } else if (option == "--runs") {
      runs = std::max(1, std::stoi(argv[i + 1]));
    } else {
      std::fprintf(stderr, "usage: bench_review [--images N] [--runs N]\n");
      return 2;
    }
  }

  const std::filesystem::path directory =
      std::filesystem::temp_directory_path() / ("bench_review_" + std::to_string(::getpid()));
  std::filesystem::create_directories(directory);
  {
    SQLiteImageRepositoryV3 repository(directory / lorvex::kLibraryDatabaseFileName);
    const auto buildBegin = Clock::now();
    lorvex::bench::buildReviewLibrary(repository, images);
    std::printf("library: %lld images in %.0f ms\n", static_cast<long long>(images),
                std::chrono::duration<double, std::milli>(Clock::now() - buildBegin).count());

    std::vector<std::string> folders;
    for (int folder = 0; folder < lorvex::bench::kReviewLibraryFolders; ++folder) {
      folders.push_back(lorvex::bench::reviewLibraryFolderPath(folder));
    }
    std::int64_t checksum = 0;
    const double counts = medianMilliseconds(runs, [&] {
      for (const auto& count : repository.folderImageCounts(folders)) checksum += count.indexedImageCount;
    });
    const double rangeFloor = medianMilliseconds(runs, [&] {
      for (const auto& folder : folders) {
        checksum +=
            countRows(repository, sql::pathRangePredicate("absolute_path"), sql::pathRangeBindings(folder));
      }
    });
    const double substring = medianMilliseconds(runs, [&] {
      for (const auto& folder : folders) {
        checksum += countRows(repository, sql::pathPrefixPredicate("absolute_path", 1),
                              sql::pathPrefixBindings({folder}));
      }
    });
    std::printf(
        "folder counts, %d folders: %.2f ms (floor, same range without the review join: %.2f ms; "
        "substring predicate: %.2f ms)\n",
        lorvex::bench::kReviewLibraryFolders, counts, rangeFloor, substring);

    std::vector<lorvex::DeleteCandidateStateRestore> restores;
    std::vector<std::int64_t> ids;
    const std::size_t restoreCount = std::min<std::size_t>(kRestoreCount, static_cast<std::size_t>(images));
    {
      auto& connection = lorvex::testing::connectionOf(repository);
      auto guard = connection.lock();
      connection.query("SELECT id, absolute_path FROM media_files ORDER BY id LIMIT ?",
                       {static_cast<std::int64_t>(restoreCount)}, [&](lorvex::SQLiteRows& rows) {
                         while (rows.next()) {
                           ids.push_back(rows.int64(0));
                           restores.push_back({rows.text(1), ids.size() % 2 == 0});
                         }
                         return 0;
                       });
    }
    const double restore = medianMilliseconds(runs, [&] {
      checksum += static_cast<std::int64_t>(repository.restoreDeleteCandidateStates(restores).size());
    });
    const double restoreFloor = medianMilliseconds(runs, [&] {
      auto& connection = lorvex::testing::connectionOf(repository);
      auto guard = connection.lock();
      connection.performTransaction([&] {
        for (std::size_t i = 0; i < ids.size(); ++i) {
          connection.execute("UPDATE review_states SET delete_candidate = ? WHERE media_file_id = ?",
                             {static_cast<std::int64_t>(i % 2), ids[i]});
        }
      });
    });
    std::printf("restore of %zu flags: %.2f ms, records included (floor, one UPDATE per id: %.2f ms)\n",
                restores.size(), restore, restoreFloor);
    std::printf("checksum %lld\n", static_cast<long long>(checksum));
  }
  std::filesystem::remove_all(directory);
  return 0;
}
