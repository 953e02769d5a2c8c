// Folder monitor costs on a tree of 10,100 folders (100 × 100 below one root):
// - BM_WalkTree: a bare recursive listing of the tree, the floor any arming must pay;
// - BM_ArmWatches: start → every folder watched (the monitor's thread does the work), and the
//   time the start call itself takes on the caller's thread;
// - BM_EventToBatch: a file written → its batch delivered, at latency 0 (pure overhead) and at the
//   live 1.0 s coalescing latency.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "services/folders/inotify_folder_change_monitor.h"

namespace {

using namespace std::chrono_literals;

constexpr int kFanOut = 100;

const std::string& tree() {
  static const std::string root = [] {
    std::string pattern = "/tmp/lorvex-bench-monitor-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    for (int i = 0; i < kFanOut; ++i) {
      for (int j = 0; j < kFanOut; ++j) {
        std::filesystem::create_directories(pattern + "/d" + std::to_string(i) + "/e" + std::to_string(j));
      }
    }
    std::atexit([] { std::filesystem::remove_all(tree()); });
    return pattern;
  }();
  return root;
}

std::size_t walk(const std::string& folder) {
  std::size_t count = 1;
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return count;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == ".." || entry->d_type != DT_DIR) continue;
    count += walk(folder + "/" + std::string(name));
  }
  ::closedir(directory);
  return count;
}

void BM_WalkTree(benchmark::State& state) {
  const auto& root = tree();
  std::size_t folders = 0;
  for (auto _ : state) folders = walk(root);
  state.counters["folders"] = static_cast<double>(folders);
}
BENCHMARK(BM_WalkTree)->Unit(benchmark::kMillisecond);

void BM_ArmWatches(benchmark::State& state) {
  const auto& root = tree();
  std::size_t watched = 0;
  double startCallSeconds = 0;
  for (auto _ : state) {
    lorvex::InotifyFolderChangeMonitor monitor;
    const auto callStart = std::chrono::steady_clock::now();
    monitor.start({root}, std::nullopt, [](const lorvex::RegisteredFolderChangeBatch&) {}, {});
    startCallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - callStart).count();
    if (!monitor.waitUntilWatching(60s)) state.SkipWithError("watches not armed");
    watched = monitor.watchedFolderCount();
    state.PauseTiming();
    monitor.stop();
    state.ResumeTiming();
  }
  state.counters["folders"] = static_cast<double>(watched);
  // What the calling (UI) thread pays: start returns before the tree is armed.
  state.counters["start_call_us"] = startCallSeconds * 1e6 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ArmWatches)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_EventToBatch(benchmark::State& state) {
  const auto& root = tree();
  lorvex::InotifyFolderChangeMonitor::Options options;
  options.latency = std::chrono::milliseconds(state.range(0));
  lorvex::InotifyFolderChangeMonitor monitor(options);
  std::mutex mutex;
  std::condition_variable delivered;
  std::size_t batches = 0;
  monitor.start({root}, std::nullopt,
                [&](const lorvex::RegisteredFolderChangeBatch&) {
                  std::lock_guard lock(mutex);
                  ++batches;
                  delivered.notify_all();
                },
                {});
  if (!monitor.waitUntilWatching(60s)) state.SkipWithError("watches not armed");
  int n = 0;
  for (auto _ : state) {
    std::unique_lock lock(mutex);
    const auto before = batches;
    const auto start = std::chrono::steady_clock::now();
    std::ofstream(root + "/d42/e7/file" + std::to_string(n++) + ".png") << "x";
    delivered.wait_for(lock, 10s, [&] { return batches > before; });
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  monitor.stop();
}
BENCHMARK(BM_EventToBatch)
    ->Arg(0)
    ->Arg(1000)
    ->ArgName("latency_ms")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
