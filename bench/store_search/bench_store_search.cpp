// bench_store_search [--images N] [--library DIR] [--runs N]
//
// The store's search road over the live service, on the synthetic library of bench_search
// (100,000 images unless --images says otherwise; DIR is reused when it already holds one). For
// each measurement it prints the median of --runs runs (default 7) next to its floor or aim:
//   - a first-page refresh (500 shown, 501 asked): wall time against the bare searchImages call of
//     the same query (aim ≤ 1.10×), and the main thread's CPU time (aim ≤ 3 ms);
//   - 40 pages appended one after another: the main thread's CPU time per page (aim ≤ 2 ms);
//   - a full-window refresh with 20,000 records loaded: the main thread's CPU time (aim ≤ 40 ms).
// Main-thread time is the thread's CPU time while the event loop waits in the kernel between
// events, so it counts only the work the store does on the main thread.
#include <qcoro/qcorotask.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "../store_bench_support.h"
#include "database/sqlite_image_repository.h"
#include "search/synthetic_library.h"
#include "services/live_image_library_service.h"
#include "store/image_library_store.h"

namespace {

using lorvex::bench::median;
using lorvex::bench::threadCPUMilliseconds;
using lorvex::bench::waitFor;
using Clock = std::chrono::steady_clock;
using lorvex::ImageLibraryStore;

double milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

struct Timing {
  double wall = 0;
  double mainThread = 0;
};

template <typename Start>
Timing measure(Start start) {
  const auto wallBegin = Clock::now();
  const double cpuBegin = threadCPUMilliseconds();
  auto task = start();
  waitFor(task);
  return {milliseconds(Clock::now() - wallBegin), threadCPUMilliseconds() - cpuBegin};
}

}  // namespace

int main(int argc, char** argv) {
  lorvex::bench::LibraryBenchOptions options =
      lorvex::bench::parseLibraryBenchOptions(argc, argv, {100'000, {}, 7}, "store-search");
  const std::int64_t images = options.images;
  const std::filesystem::path library = options.library;
  const int runs = options.runs;
  lorvex::bench::buildLibraryOnce(library, [&](lorvex::SQLiteImageRepositoryV3& repository) {
    lorvex::bench::buildSyntheticLibrary(repository, images);
  });

  QCoreApplication application(argc, argv);
  lorvex::bench::SyntheticLibraryStore bench(library, "/library");
  const auto& service = bench.service;
  const auto& store = bench.store;

  // First page: the store's refresh against the bare call of the same query.
  std::vector<double> bare, wall, mainThread;
  const auto query = store->results().makeSearchQuery(501, 0);
  for (int run = 0; run < runs; ++run) {
    const auto begin = Clock::now();
    const auto records = service->searchImages(query, {});
    bare.push_back(milliseconds(Clock::now() - begin));
    const auto timing = measure([&] { return store->results().refreshResults(500, true); });
    wall.push_back(timing.wall);
    mainThread.push_back(timing.mainThread);
    if (store->results().resultWindow().records().size() != std::min<std::size_t>(500, records.size())) {
      std::fprintf(stderr, "the refresh showed %zu records\n",
                   store->results().resultWindow().records().size());
      return 1;
    }
  }
  const double ratio = median(wall) / median(bare);
  std::printf(
      "first page: refresh %.2f ms wall, bare searchImages %.2f ms (%.2fx, aim <= 1.10x); main thread %.3f "
      "ms (aim <= 3 ms)\n",
      median(wall), median(bare), ratio, median(mainThread));

  // 40 pages appended one after another.
  std::vector<double> pageMain;
  for (int page = 0; page < 40; ++page) {
    const auto timing = measure([&] { return store->results().loadNextPage(); });
    pageMain.push_back(timing.mainThread);
  }
  const double worstPage = *std::max_element(pageMain.begin(), pageMain.end());
  std::printf(
      "40 pages: %zu records loaded; main thread median %.3f ms, worst %.3f ms per page (aim <= 2 ms)\n",
      store->results().resultWindow().records().size(), median(pageMain), worstPage);

  // A full-window refresh with 20,000 loaded.
  std::vector<double> fullMain, fullWall;
  for (int run = 0; run < runs; ++run) {
    const auto timing = measure([&] { return store->results().refreshResultWindowAfterSync(); });
    fullMain.push_back(timing.mainThread);
    fullWall.push_back(timing.wall);
  }
  std::printf("full-window refresh of %zu records: main thread %.2f ms (aim <= 40 ms), wall %.1f ms\n",
              store->results().resultWindow().records().size(), median(fullMain), median(fullWall));
  return 0;
}
