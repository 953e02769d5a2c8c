// What the store benchmarks share: the calling thread's CPU time, a median, a wait for a store
// flow that lets the main thread sleep in the kernel between events, so its CPU time counts only
// the work done on it, the options of a benchmark over a synthetic library, the library built once
// and reused, and a store over a live service on it.
#pragma once

#include <qcoro/qcorotask.h>

#include <QEventLoop>
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "platform/settings.h"
#include "services/live_image_library_service.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/list_stores.h"
#include "store/presentation/transient_image_library_ui_preference_store.h"

namespace lorvex::bench {

// CPU time of the calling thread, in milliseconds.
inline double threadCPUMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Runs the event loop until `task` (a QCoro task) has finished.
template <typename Task>
void waitFor(Task& task) {
  if (task.isReady()) return;
  QEventLoop loop;
  auto quitWhenDone = [](Task& awaited, QEventLoop& quitting) -> QCoro::Task<void> {
    co_await awaited;
    quitting.quit();
  };
  auto watcher = quitWhenDone(task, loop);
  if (!watcher.isReady()) loop.exec();
}

// --images N, --library DIR (reused when it already holds a library) and --runs N (at least 1).
// Without --library, a folder of the temporary directory named after the benchmark and the count.
struct LibraryBenchOptions {
  std::int64_t images = 0;
  std::filesystem::path library;
  int runs = 1;
};

inline LibraryBenchOptions parseLibraryBenchOptions(int argc, char** argv, LibraryBenchOptions defaults,
                                                    std::string_view name) {
  LibraryBenchOptions options = defaults;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--images") options.images = std::stoll(argv[i + 1]);
    if (option == "--library") options.library = argv[i + 1];
    if (option == "--runs") options.runs = std::max(1, std::stoi(argv[i + 1]));
  }
  if (options.library.empty()) {
    options.library = std::filesystem::temp_directory_path() /
                      ("lorvex-bench-" + std::string(name) + "-" + std::to_string(options.images));
  }
  return options;
}

// A store over a live service, with in-memory filter-tag, exclusion and preference stores and the
// application's banner delay.
inline std::unique_ptr<ImageLibraryStore> makeBenchStore(std::shared_ptr<ImageLibraryServicing> service,
                                                         StoreClock& clock) {
  return std::make_unique<ImageLibraryStore>(
      std::move(service), std::nullopt, ProductFeatureAvailability{},
      std::make_shared<testing::ListExclusionStore>(), std::make_shared<testing::ListFilterTagStore>(),
      std::make_shared<TransientImageLibraryUIPreferenceStore>(), 3'000'000'000, nullptr, false, clock);
}

// Builds the synthetic library in the folder `library` with `build(repository)` when the folder
// holds none yet; a later run reuses it.
template <typename Build>
void buildLibraryOnce(const std::filesystem::path& library, Build build) {
  std::filesystem::create_directories(library);
  if (std::filesystem::exists(library / kLibraryDatabaseFileName)) return;
  SQLiteImageRepositoryV3 repository(library / kLibraryDatabaseFileName);
  build(repository);
}

// The live service over a synthetic library, with its settings suite beside the library (the
// user's settings are never touched), and a store over it (makeBenchStore). No folder is
// registered in a synthetic library: the store is told a registration under way names
// `registrationRoot`, the root its records lie under. Made after the QCoreApplication.
struct SyntheticLibraryStore {
  SyntheticLibraryStore(const std::filesystem::path& library, const std::string& registrationRoot)
      : service(makeLiveImageLibraryService(library, platform::Settings("bench", library))),
        store(makeBenchStore(service, clock)) {
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {registrationRoot});
  }

  std::shared_ptr<ImageLibraryService> service;
  SystemStoreClock clock;
  std::unique_ptr<ImageLibraryStore> store;
};

}  // namespace lorvex::bench
