// bench_search [--images N] [--library DIR] [--runs N] [--only TEXT]
//
// Builds (or reuses, when DIR already holds one) a synthetic library of N images (default
// 1,000,000) written straight into the tables the projection fills: files in 50 folders, aspect
// classes, review flags, 20 models, a seed each, and prompt tags with a skewed frequency ("1girl"
// on 80% of images, then a long tail). Then, for every sort and for tag (common and rare), model,
// favourite, delete-candidate, aspect and folder filters, it reports, as the median of --runs runs
// (default 5), for the first page (501 records) and for offset 100,000: the whole searchImages
// call; the ids of the page alone with the plan the search chooses, and forced to walk the order
// index or to start from candidates; and the floor, plain SELECTs of the same page's rows by path
// that any search must at least pay; then the page at offset 100,000 reached by paging as the store
// pages (501 records asked for, the next page 500 further, each continuing the one before; the
// median of the last page over --runs sweeps, at most 3), with the mean time of the sweep's pages.
// --only runs the queries whose name contains TEXT.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "database/internal/search_query_compiler.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "search/synthetic_library.h"

namespace {

using lorvex::ImageSearchQuery;
using lorvex::ImageSearchSort;
using lorvex::SQLiteImageRepositoryV3;
using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

struct Scenario {
  std::string name;
  ImageSearchQuery query;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t images = 1'000'000;
  std::filesystem::path library;
  int runs = 5;
  std::string only;  // run only the queries whose name contains this
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--images")
      images = std::stoll(argv[i + 1]);
    else if (option == "--library")
      library = argv[i + 1];
    else if (option == "--runs")
      runs = std::max(1, std::stoi(argv[i + 1]));
    else if (option == "--only")
      only = argv[i + 1];
  }
  if (library.empty())
    library = std::filesystem::temp_directory_path() / ("lorvex-bench-search-" + std::to_string(images));
  std::filesystem::create_directories(library);
  const auto file = library / lorvex::kLibraryDatabaseFileName;
  const bool fresh = !std::filesystem::exists(file);
  SQLiteImageRepositoryV3 repository(file);
  if (fresh) lorvex::bench::buildSyntheticLibrary(repository, images);

  // A rare tag: the one whose count is nearest 100.
  auto& connection = lorvex::testing::connectionOf(repository);
  std::string rareTag;
  {
    auto guard = connection.lock();
    rareTag = connection.query(
        "SELECT display_name FROM tag_terms JOIN tag_term_stats ON tag_term_id = id ORDER BY abs(image_count "
        "- 100) "
        "LIMIT 1",
        {}, [](lorvex::SQLiteRows& rows) { return rows.next() ? rows.text(0) : std::string(); });
  }

  std::vector<Scenario> scenarios;
  const auto base = [] {
    ImageSearchQuery query;
    query.limit = 501;
    query.deleteCandidate = false;
    return query;
  };
  for (auto sort : {ImageSearchSort::modificationDateDescending, ImageSearchSort::modificationDateAscending,
                    ImageSearchSort::fileNameAscending, ImageSearchSort::fileNameDescending}) {
    auto query = base();
    query.sort = sort;
    scenarios.push_back({"sort " + std::string(lorvex::rawValue(sort)), query});
  }
  auto add = [&](std::string name, auto change) {
    auto query = base();
    change(query);
    scenarios.push_back({std::move(name), query});
  };
  add("tag common (1girl)", [](ImageSearchQuery& q) { q.filterTags = {"1girl"}; });
  add("tag rare (" + rareTag + ")", [&](ImageSearchQuery& q) { q.filterTags = {rareTag}; });
  add("tag common + rare", [&](ImageSearchQuery& q) { q.filterTags = {"1girl", rareTag}; });
  add("prompt tag common", [](ImageSearchQuery& q) { q.promptTags = {"1girl"}; });
  add("model common (Model 0)", [](ImageSearchQuery& q) { q.source = "Model 0"; });
  add("model rare (Model 12)", [](ImageSearchQuery& q) { q.source = "Model 12"; });
  add("favorite", [](ImageSearchQuery& q) { q.favorite = true; });
  add("delete-candidate review", [](ImageSearchQuery& q) { q.deleteCandidate = true; });
  add("aspect portrait",
      [](ImageSearchQuery& q) { q.aspectFilters = {lorvex::ImageAspectFilter::portrait}; });
  add("aspect square", [](ImageSearchQuery& q) { q.aspectFilters = {lorvex::ImageAspectFilter::square}; });
  add("root folder7", [](ImageSearchQuery& q) { q.rootPaths = {"/library/folder7"}; });
  add("root folder7 by name", [](ImageSearchQuery& q) {
    q.rootPaths = {"/library/folder7"};
    q.sort = ImageSearchSort::fileNameAscending;
  });
  add("tag common + portrait + folder", [](ImageSearchQuery& q) {
    q.filterTags = {"1girl"};
    q.aspectFilters = {lorvex::ImageAspectFilter::portrait};
    q.rootPaths = {"/library/folder3"};
  });

  std::printf("%-34s | %6s %8s %8s %8s %8s %8s | %6s %8s %8s %8s %8s %8s\n", "query", "rows", "page ms",
              "ids ms", "walk ms", "cand ms", "floor ms", "rows", "100k ms", "ids ms", "walk ms", "cand ms",
              "floor ms");
  std::printf("%-34s   %s\n", "", "paged to 100k: last page ms, mean page ms");
  // The id statement alone (compilation, plan choice and the ids of the page), automatic or forced.
  const auto idTime = [&](const ImageSearchQuery& query, lorvex::search::PlanChoice plan) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
      const auto start = Clock::now();
      auto guard = connection.lock();
      lorvex::search::SearchQueryCompiler compiler(connection, {});
      if (const auto compiled = compiler.compile(query)) {
        compiler.pageIDs(*compiled, plan);
      }
      times.push_back(milliseconds(Clock::now() - start));
    }
    return median(times);
  };
  double worstFirst = 0;
  for (auto& scenario : scenarios) {
    if (scenario.name.find(only) == std::string::npos) continue;
    std::printf("%-34s |", scenario.name.c_str());
    for (std::int64_t offset : {std::int64_t{0}, std::int64_t{100'000}}) {
      scenario.query.offset = offset;
      std::vector<double> searchTimes;
      std::vector<double> floorTimes;
      std::size_t rows = 0;
      for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const auto records = repository.searchImages(scenario.query);
        searchTimes.push_back(milliseconds(Clock::now() - start));
        rows = records.size();
        // The floor: the same rows read by path in plain statements of at most 400 paths.
        const auto floorStart = Clock::now();
        for (std::size_t first = 0; first < records.size(); first += 400) {
          const std::size_t count = std::min<std::size_t>(400, records.size() - first);
          lorvex::SQLiteV3Bindings paths;
          std::string list;
          for (std::size_t i = 0; i < count; ++i) {
            paths.emplace_back(records[first + i].file.path);
            list += i == 0 ? "?" : ", ?";
          }
          auto guard = connection.lock();
          connection.query(
              "SELECT media_files.id, absolute_path, file_size, modification_time, "
              "generation_records.prompt, "
              "generation_records.seed FROM media_files LEFT JOIN generation_records ON "
              "generation_records.media_file_id = media_files.id AND generation_records.is_primary = 1 "
              "WHERE absolute_path IN (" +
                  list + ")",
              paths, [](lorvex::SQLiteRows& r) {
                std::size_t n = 0;
                while (r.next()) ++n;
                return n;
              });
        }
        floorTimes.push_back(milliseconds(Clock::now() - floorStart));
      }
      const double searchMs = median(searchTimes);
      if (offset == 0) worstFirst = std::max(worstFirst, searchMs);
      std::printf(" %6zu %8.2f %8.2f %8.2f %8.2f %8.2f |", rows, searchMs,
                  idTime(scenario.query, lorvex::search::PlanChoice::automatic),
                  idTime(scenario.query, lorvex::search::PlanChoice::orderIndexWalk),
                  idTime(scenario.query, lorvex::search::PlanChoice::candidatesFirst), median(floorTimes));
    }
    // Paging down to offset 100,000 page by page: each search continues the one before.
    std::vector<double> lastPages;
    double sweepMs = 0;
    int pages = 0;
    for (int run = 0; run < std::min(runs, 3); ++run) {
      for (std::int64_t offset = 0; offset <= 100'000; offset += 500) {
        scenario.query.offset = offset;
        const auto start = Clock::now();
        const auto records = repository.searchImages(scenario.query);
        const double ms = milliseconds(Clock::now() - start);
        sweepMs += ms;
        pages += 1;
        if (offset == 100'000) lastPages.push_back(ms);
        if (records.empty()) break;
      }
    }
    if (lastPages.empty()) {
      std::printf(" paged: fewer than 100,000 rows");
    } else {
      std::printf(" paged: %8.2f %8.2f", median(lastPages), sweepMs / pages);
    }
    std::printf("\n");
  }
  std::printf("worst first page: %.2f ms over %lld images\n", worstFirst, static_cast<long long>(images));
  return 0;
}
