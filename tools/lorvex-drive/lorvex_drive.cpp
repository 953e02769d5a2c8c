// lorvex-drive --library DIR FOLDER [--probe]: drives the application's library store without a
// window, as a person would through it. The store is composed over the live service with DIR as
// its library folder and a settings suite kept inside DIR (the user's own library and settings are
// never touched); it runs the launch, then registers FOLDER.
//
// stdout: the indexing progress (at most 10 lines a second: phase, processed/total, indexed,
// failed), the scan summary with its failed files, every error the store shows, and the first page
// of results (count, whether more exist, the first 10 paths). With --probe a copy of a PNG of FOLDER
// is then written into FOLDER under a new name and the time until the result window holds it is
// printed; the copy is removed again before the tool exits.
//
// Exits 0 when all went well; 1 when the store showed an error, the store did not settle, or the
// probe's image took more than 30 s to appear; 2 on a usage error.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include "model/raw_value.h"
#include "store/image_library_store.h"
#include "store/library_store_composition.h"
#include "store/store_idle.h"

namespace {

using namespace lorvex;
using Clock = std::chrono::steady_clock;

// Launching, registering and the first page each get this long to settle.
constexpr std::chrono::minutes kSettleTimeout{30};
constexpr std::chrono::seconds kProbeTimeout{30};
constexpr auto kProgressLineInterval = std::chrono::milliseconds(100);
constexpr std::size_t kShownPathCount = 10;

struct Arguments {
  std::filesystem::path library;
  std::string folder;
  bool probe = false;
};

bool parseArguments(int argc, char** argv, Arguments& arguments) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--library" && i + 1 < argc) {
      arguments.library = argv[++i];
    } else if (argument == "--probe") {
      arguments.probe = true;
    } else if (argument.starts_with("--") || !arguments.folder.empty()) {
      return false;
    } else {
      // The folder as registering it through the picker gives it: an absolute path.
      arguments.folder = std::filesystem::absolute(argument).lexically_normal().string();
    }
  }
  return !arguments.library.empty() && !arguments.folder.empty();
}

// Prints what the store reports while it works: progress, throttled, and every error shown.
class StoreReporter {
 public:
  explicit StoreReporter(ImageLibraryStore& store) : store_(store) {
    QObject::connect(&store, &ImageLibraryStore::indexingProgressChanged, &context_, [this] { progressChanged(); });
    QObject::connect(&store, &ImageLibraryStore::errorMessageChanged, &context_, [this] {
      if (!store_.errorMessage()) return;
      std::printf("error: %s\n", store_.errorMessage()->c_str());
      std::fflush(stdout);
      errorShown_ = true;
    });
  }

  bool errorShown() const { return errorShown_; }

 private:
  void progressChanged() {
    const auto& progress = store_.indexingProgress();
    if (!progress) return;
    const auto now = Clock::now();
    // A new phase is always shown; within one, at most one line per interval.
    const bool phaseChanged = progress->phase != lastPhase_;
    if (!phaseChanged && lastLine_ && now - *lastLine_ < kProgressLineInterval) return;
    lastLine_ = now;
    lastPhase_ = progress->phase;
    std::printf("progress: %s %lld/%lld indexed %lld failed %lld\n", std::string(rawValue(progress->phase)).c_str(),
                static_cast<long long>(progress->processedCount), static_cast<long long>(progress->totalCount),
                static_cast<long long>(progress->indexedCount), static_cast<long long>(progress->failedCount));
    std::fflush(stdout);
  }

  ImageLibraryStore& store_;
  // Ends the connections with the reporter, whatever the store still signals afterwards.
  QObject context_;
  std::optional<Clock::time_point> lastLine_;
  std::optional<ImageLibraryIndexingPhase> lastPhase_;
  bool errorShown_ = false;
};

bool settle(ImageLibraryStore& store, const char* what) {
  if (waitUntilStoreIdle(store, kSettleTimeout)) return true;
  std::printf("error: the store did not settle after %s\n", what);
  return false;
}

void printSummary(const ImageLibraryStore& store) {
  const auto& summary = store.lastScanSummary();
  if (!summary) {
    std::printf("scan: none recorded\n");
    return;
  }
  std::printf("scan: scanned %lld indexed %lld failed %lld\n", static_cast<long long>(summary->scannedFileCount),
              static_cast<long long>(summary->indexedImageCount), static_cast<long long>(summary->failedFileCount));
  for (const auto& failure : summary->failures) {
    std::printf("  failed: %s: %s\n", failure.path.c_str(), failure.message.c_str());
  }
}

void printFirstPage(const ImageLibraryStore& store) {
  const auto& records = store.resultWindow().records();
  std::printf("results: %zu loaded, hasMore %s\n", records.size(), store.resultWindow().hasMoreRecords() ? "yes" : "no");
  for (std::size_t i = 0; i < records.size() && i < kShownPathCount; ++i) {
    std::printf("  %s\n", records[i]->file.path.c_str());
  }
}

// A PNG of the folder that the library indexed (the first shown result), to copy for the probe.
std::optional<std::filesystem::path> probeSource(const ImageLibraryStore& store) {
  for (const auto& record : store.resultWindow().records()) {
    std::error_code error;
    if (std::filesystem::is_regular_file(record->file.path, error) && std::filesystem::file_size(record->file.path, error) > 0) {
      return std::filesystem::path(record->file.path);
    }
  }
  return std::nullopt;
}

// Writes a copy of an indexed PNG into the folder and waits until the result window holds it.
// True when it appeared within the limit.
bool probe(ImageLibraryStore& store, const std::string& folder) {
  const auto source = probeSource(store);
  if (!source) {
    std::printf("probe: no indexed PNG to copy\n");
    return false;
  }
  const auto stamp = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
  const std::filesystem::path copy =
      std::filesystem::path(folder) / ("lorvex-drive-probe-" + std::to_string(stamp) + ".png");
  std::error_code error;
  std::filesystem::copy_file(*source, copy, error);
  if (error) {
    std::printf("probe: cannot write %s: %s\n", copy.c_str(), error.message().c_str());
    return false;
  }
  const auto started = Clock::now();
  const std::string path = std::filesystem::weakly_canonical(copy).string();
  // Wakes the wait below now and then, so the deadline is seen while nothing happens.
  QTimer tick;
  tick.start(100);
  bool appeared = false;
  while (Clock::now() - started < kProbeTimeout) {
    if (store.resultWindow().index(path) || store.resultWindow().index(copy.string())) {
      appeared = true;
      break;
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (appeared) {
    std::printf("probe: %s appeared after %.2f s\n", copy.c_str(), seconds);
  } else {
    std::printf("probe: %s did not appear within %.0f s\n", copy.c_str(), seconds);
  }
  std::filesystem::remove(copy, error);
  return appeared;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (!parseArguments(argc, argv, arguments)) {
    std::fprintf(stderr, "usage: lorvex-drive --library DIR FOLDER [--probe]\n");
    return 2;
  }
  QCoreApplication application(argc, argv);

  std::unique_ptr<ImageLibraryStore> store = makeLibraryStoreInFolder(arguments.library);
  StoreReporter reporter(*store);

  std::printf("launching: %s\n", arguments.library.c_str());
  store->startLaunchWorkflow();
  if (!settle(*store, "the launch")) return 1;
  if (store->needsLiveServicePreparation() || reporter.errorShown()) return 1;

  std::printf("registering: %s\n", arguments.folder.c_str());
  QCoro::Task<void> registration = store->registerFolders({arguments.folder});
  if (!settle(*store, "the registration")) return 1;
  printSummary(*store);
  printFirstPage(*store);

  bool probed = true;
  if (arguments.probe) probed = probe(*store, arguments.folder);
  return reporter.errorShown() || !probed ? 1 : 0;
}
