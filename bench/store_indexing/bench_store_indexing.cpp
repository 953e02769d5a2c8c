// bench_store_indexing PNG_DIR [--runs N]
//
// Registering a folder through the store against the facade's bare scan of the same files: each
// run copies PNG_DIR twice into a fresh work folder, registers one copy with the store (the whole
// workflow: registration, scan with live progress, folder list, first page, tag suggestions) and
// scans the other with the service's scanLibrary into a library of its own. Prints the best wall
// time of each side (aim: the store within 1.05x of the scan) and the store's main-thread CPU time
// per progress value it showed (aim: at most 2 µs). bench_store_indexing.sh makes the PNGs.
// With --toggle-favorite it registers through the store only, toggling a favourite every 50 ms
// while the scan runs, and prints how long the toggles waited (median, p95, p99, max), the median
// registration time, and the floor: the same toggles once the registration has ended.
#include <qcoro/qcorotask.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "../store_bench_support.h"
#include "platform/settings.h"
#include "services/live_image_library_service.h"
#include "store/async/store_thread_pools.h"
#include "store/image_library_store.h"
#include "store/list_stores.h"
#include "store/presentation/transient_image_library_ui_preference_store.h"

namespace {

using lorvex::bench::median;
using lorvex::bench::threadCPUMilliseconds;
using lorvex::bench::waitFor;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The last run's library may still be closing on a pool thread, which removes its log files while
// the folder is being emptied: a file gone meanwhile is no failure, and a second pass takes the rest.
void removeWork(const fs::path& work) {
  std::error_code error;
  fs::remove_all(work, error);
  if (error) fs::remove_all(work);
}

double seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

struct StoreRun {
  double wall = 0;
  double mainThread = 0;
  long progressValues = 0;
  std::size_t shown = 0;
  std::vector<double> toggleMilliseconds;  // with --toggle-favorite
  std::vector<double> floorMilliseconds;   // the same toggles once nothing is indexed
};

double scanWithFacade(const fs::path& library, const fs::path& folder) {
  auto service = lorvex::makeLiveImageLibraryService(library, lorvex::platform::Settings("bench", library));
  service->registerFolders({folder.string()});
  const auto begin = Clock::now();
  const auto summary =
      service->scanLibrary({folder.string()}, [](const lorvex::ImageLibraryIndexingProgress&) {}, {});
  const double wall = seconds(Clock::now() - begin);
  std::fprintf(stderr, "  facade: %lld indexed in %.3f s\n",
               static_cast<long long>(summary.indexedImageCount), wall);
  return wall;
}

StoreRun registerWithStore(const fs::path& library, const fs::path& folder, bool toggleFavorite) {
  auto service = lorvex::makeLiveImageLibraryService(library, lorvex::platform::Settings("bench", library));
  lorvex::SystemStoreClock clock;
  lorvex::ImageLibraryStore store(service, std::nullopt, lorvex::ProductFeatureAvailability{},
                                  std::make_shared<lorvex::testing::ListExclusionStore>(),
                                  std::make_shared<lorvex::testing::ListFilterTagStore>(),
                                  std::make_shared<lorvex::TransientImageLibraryUIPreferenceStore>(),
                                  3'000'000'000, nullptr, false, clock);
  StoreRun run;
  QObject::connect(&store.library(), &lorvex::LibraryModel::indexingProgressChanged, [&] {
    if (store.library().indexingProgress()) ++run.progressValues;
  });
  // A person toggling the favourite of the first record shown, every 50 ms while the scan runs: the
  // toggle writes synchronously, so its wall time is what the click waits for the library's writer.
  QTimer toggling;
  toggling.setInterval(50);
  QObject::connect(&toggling, &QTimer::timeout, [&] {
    if (!store.library().isIndexing() || store.results().resultWindow().records().empty()) return;
    const auto toggleBegin = Clock::now();
    store.review().toggleFavorite({store.results().resultWindow().records().front()});
    run.toggleMilliseconds.push_back(seconds(Clock::now() - toggleBegin) * 1e3);
  });
  if (toggleFavorite) toggling.start();
  const auto begin = Clock::now();
  const double cpuBegin = threadCPUMilliseconds() / 1e3;
  auto registration = store.library().registerFolders({folder.string()});
  waitFor(registration);
  toggling.stop();
  run.wall = seconds(Clock::now() - begin);
  run.mainThread = threadCPUMilliseconds() / 1e3 - cpuBegin;
  run.shown = store.results().resultWindow().records().size();
  if (store.context().errorMessage())
    std::fprintf(stderr, "  store error: %s\n", store.context().errorMessage()->c_str());
  store.library().backgroundSync().stopBackgroundLibrarySync();
  // The thumbnail run the registration started keeps the library open on a pool thread; let it end
  // before the next run deletes the folder.
  lorvex::userInitiatedPool().waitForDone();
  lorvex::utilityPool().waitForDone();
  if (toggleFavorite && !store.results().resultWindow().records().empty()) {
    // The floor: the same click with nothing else writing.
    int changed = 0;
    for (int i = 0; i < 100; ++i) {
      const bool before = store.results().resultWindow().records().front()->reviewState.favorite;
      const auto toggleBegin = Clock::now();
      store.review().toggleFavorite({store.results().resultWindow().records().front()});
      run.floorMilliseconds.push_back(seconds(Clock::now() - toggleBegin) * 1e3);
      changed += store.results().resultWindow().records().front()->reviewState.favorite != before ? 1 : 0;
      QCoreApplication::processEvents();
    }
    std::fprintf(stderr, "  floor: %d of 100 toggles changed the mark\n", changed);
  }
  std::fprintf(stderr, "  store: %.3f s, %ld progress values, %zu shown\n", run.wall, run.progressValues,
               run.shown);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_store_indexing PNG_DIR [--runs N] [--store-only]\n");
    return 2;
  }
  const fs::path source = fs::absolute(argv[1]);
  int runs = 3;
  // Without the facade's scans on the main thread, a profile of the process shows the store's
  // main-thread work alone.
  bool storeOnly = false;
  // Toggles a favourite every 50 ms during the store's registrations and reports the waits (store
  // only: the figures are the clicks', not the scan's).
  bool toggleFavorite = false;
  for (int i = 2; i < argc; ++i) {
    if (std::string(argv[i]) == "--runs" && i + 1 < argc) runs = std::max(1, std::stoi(argv[++i]));
    if (std::string(argv[i]) == "--store-only") storeOnly = true;
    if (std::string(argv[i]) == "--toggle-favorite") storeOnly = toggleFavorite = true;
  }
  QCoreApplication application(argc, argv);
  const fs::path work = fs::temp_directory_path() / "lorvex-bench-store-indexing";
  std::vector<double> facade;
  std::vector<StoreRun> store;
  for (int run = 0; run < runs; ++run) {
    removeWork(work);
    fs::create_directories(work);
    fs::copy(source, work / "store-pngs", fs::copy_options::recursive);
    if (!storeOnly) fs::copy(source, work / "facade-pngs", fs::copy_options::recursive);
    // Alternate which side goes first, so neither always finds the other's files warmer.
    if (storeOnly) {
      store.push_back(registerWithStore(work / "store-library", work / "store-pngs", toggleFavorite));
      facade.push_back(0);
    } else if (run % 2 == 0) {
      facade.push_back(scanWithFacade(work / "facade-library", work / "facade-pngs"));
      store.push_back(registerWithStore(work / "store-library", work / "store-pngs", toggleFavorite));
    } else {
      store.push_back(registerWithStore(work / "store-library", work / "store-pngs", toggleFavorite));
      facade.push_back(scanWithFacade(work / "facade-library", work / "facade-pngs"));
    }
  }
  removeWork(work);
  if (toggleFavorite) {
    std::vector<double> waits;
    std::vector<double> floor;
    std::vector<double> walls;
    for (const auto& run : store) {
      waits.insert(waits.end(), run.toggleMilliseconds.begin(), run.toggleMilliseconds.end());
      floor.insert(floor.end(), run.floorMilliseconds.begin(), run.floorMilliseconds.end());
      walls.push_back(run.wall);
    }
    if (waits.empty() || floor.empty()) {
      std::fprintf(stderr, "no favourite was toggled during the scans\n");
      return 1;
    }
    std::sort(waits.begin(), waits.end());
    std::sort(floor.begin(), floor.end());
    const auto at = [](const std::vector<double>& values, double share) {
      return values[std::min(values.size() - 1,
                             static_cast<std::size_t>(share * static_cast<double>(values.size())))];
    };
    std::printf(
        "favourite toggle during the scan: %zu toggles, median %.2f ms, p95 %.2f ms, p99 %.2f ms, max %.2f "
        "ms "
        "(aim: p99 <= 50 ms); registration median %.3f s\n",
        waits.size(), at(waits, 0.5), at(waits, 0.95), at(waits, 0.99), waits.back(), median(walls));
    std::printf(
        "floor, the same toggle with nothing indexed: %zu toggles, median %.2f ms, p95 %.2f ms, max %.2f "
        "ms\n",
        floor.size(), at(floor, 0.5), at(floor, 0.95), floor.back());
    return 0;
  }
  if (storeOnly) {
    std::vector<double> walls;
    for (const auto& run : store) walls.push_back(run.wall);
    std::printf("register through the store: best %.3f s, median %.3f s\n",
                *std::min_element(walls.begin(), walls.end()), median(walls));
    return 0;
  }
  const double bestFacade = *std::min_element(facade.begin(), facade.end());
  const auto best = *std::min_element(store.begin(), store.end(),
                                      [](const StoreRun& a, const StoreRun& b) { return a.wall < b.wall; });
  std::printf("register through the store: %.3f s; facade scanLibrary: %.3f s (%.3fx, aim <= 1.05x)\n",
              best.wall, bestFacade, best.wall / bestFacade);
  std::printf(
      "main thread: %.1f ms for %ld progress values = %.2f us per value (aim <= 2 us)\n",
      best.mainThread * 1e3, best.progressValues,
      best.progressValues > 0 ? best.mainThread * 1e6 / static_cast<double>(best.progressValues) : 0.0);
  return 0;
}
