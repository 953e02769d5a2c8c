// bench_store_review [--images N] [--library DIR] [--runs N]
//
// Review marks through the store over the live service, on bench_review's synthetic library
// (500,000 images unless --images says otherwise; DIR is reused when it already holds one), with
// 20,000 records loaded. The marks run synchronously on the main thread, so their main-thread time
// is the thread's CPU time over the call; the undo's restore runs on the pool, and its main-thread
// time is the thread's CPU time from the call until the outcome is applied, the thread sleeping in
// the event loop meanwhile. It prints the median of --runs runs (default 5) of:
//   - marking 5,000 selected records as delete candidates, the whole call (aim <= 50 ms), next to
//     its floor, 5,000 review-state upserts by id in one transaction straight on the database, the
//     service's updateReviewStates call alone, and 5,000 single updateReviewState calls through
//     the service;
//   - marking 2,000 selected records (aim <= 50 ms), then undoing it (aim <= 16 ms on the main
//     thread: the call, and applying the outcome), next to the floor of the restore alone through
//     the service;
//   - restarting monitoring for a registered folder (the folder set changed), its main-thread time
//     and wall time, next to the same service calls made in a row (what the main thread did before
//     the restart moved to the pool) and the stored-position check now and as written before.
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../review/review_library.h"
#include "../store_bench_support.h"
#include "database/internal/row_mappers.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "services/live_image_library_service.h"
#include "store/image_library_store.h"

namespace {

using lorvex::ImageLibraryStore;
using lorvex::RecordRef;
using lorvex::bench::median;
using lorvex::bench::threadCPUMilliseconds;
using lorvex::bench::waitFor;
using Clock = std::chrono::steady_clock;

constexpr int kLoaded = 20'000;
constexpr int kMarked = 5'000;
constexpr int kUndone = 2'000;

double milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

struct Timing {
  double mainThread = 0;
  double wall = 0;
};

template <typename Work>
Timing measure(Work work) {
  const auto wallBegin = Clock::now();
  const double cpuBegin = threadCPUMilliseconds();
  work();
  return {threadCPUMilliseconds() - cpuBegin, milliseconds(Clock::now() - wallBegin)};
}

// Loads the first kLoaded records of the current search into the window.
bool loadWindow(ImageLibraryStore& store) {
  auto refresh = store.results().refreshResults(kLoaded, false);
  waitFor(refresh);
  QCoreApplication::processEvents();
  return store.results().resultWindow().records().size() == static_cast<std::size_t>(kLoaded);
}

// Runs the event loop, sleeping between events, until the undo's restore has been applied.
void waitForRestore(ImageLibraryStore& store) {
  if (!store.review().deleteCandidateRestoreTask()) return;
  QEventLoop loop;
  QObject::connect(&store.review(), &lorvex::ReviewModel::deleteCandidateRestoreTaskChanged, &loop, [&] {
    if (!store.review().deleteCandidateRestoreTask()) loop.quit();
  });
  loop.exec();
}

// Selects the first `count` loaded records (focus and anchor on the first).
void selectFirst(ImageLibraryStore& store, int count) {
  const auto& records = store.results().resultWindow().records();
  lorvex::PathSet paths;
  for (int i = 0; i < count; ++i) paths.insert(records[static_cast<std::size_t>(i)]->file.path);
  store.results().selection().setPrimaryPath(records[0]->file.path);
  store.results().selection().setSelectedPaths(std::move(paths));
  store.results().selection().setAnchorPath(records[0]->file.path);
}

}  // namespace

int main(int argc, char** argv) {
  lorvex::bench::LibraryBenchOptions options =
      lorvex::bench::parseLibraryBenchOptions(argc, argv, {500'000, {}, 5}, "store-review");
  const std::int64_t images = std::max<std::int64_t>(options.images, kLoaded * 2);
  const std::filesystem::path library = options.library;
  const int runs = options.runs;
  lorvex::bench::buildLibraryOnce(library, [&](lorvex::SQLiteImageRepositoryV3& repository) {
    lorvex::bench::buildReviewLibrary(repository, images);
  });

  QCoreApplication application(argc, argv);
  lorvex::bench::SyntheticLibraryStore bench(library, lorvex::bench::kReviewLibraryRoot);
  const auto& service = bench.service;
  const auto& store = bench.store;

  // Marking 5,000 selected records; each run marks the first 5,000 of a fresh window, which the
  // marks then leave.
  std::vector<double> markMain, markWall;
  for (int run = 0; run < runs; ++run) {
    if (!loadWindow(*store)) {
      std::fprintf(stderr, "the window holds %zu records\n",
                   store->results().resultWindow().records().size());
      return 1;
    }
    selectFirst(*store, kMarked);
    const Timing timing =
        measure([&] { store->review().markDeleteCandidates(store->results().selectedRecords()); });
    if (store->context().errorMessage() ||
        store->results().resultWindow().records().size() != static_cast<std::size_t>(kLoaded - kMarked)) {
      std::fprintf(stderr, "marking failed: %s\n",
                   store->context().errorMessage().value_or("records left").c_str());
      return 1;
    }
    markMain.push_back(timing.mainThread);
    markWall.push_back(timing.wall);
  }

  // The floor: the same number of upserts by id in one transaction, on a connection of its own.
  std::vector<double> floor;
  {
    lorvex::SQLiteImageRepositoryV3 repository(library / lorvex::kLibraryDatabaseFileName);
    auto& connection = lorvex::testing::connectionOf(repository);
    for (int run = 0; run < runs; ++run) {
      floor.push_back(
          measure([&] {
            auto guard = connection.lock();
            connection.performTransaction([&] {
              for (std::int64_t id = 1; id <= kMarked; ++id) {
                connection.execute(
                    "INSERT INTO review_states (media_file_id, favorite, delete_candidate, notes, "
                    "updated_at) VALUES (?, 0, ?, NULL, 0) ON CONFLICT(media_file_id) DO UPDATE SET "
                    "favorite = excluded.favorite, delete_candidate = excluded.delete_candidate, "
                    "notes = excluded.notes, updated_at = excluded.updated_at",
                    {id, static_cast<std::int64_t>(run % 2)});
              }
            });
          }).wall);
    }
  }

  // The service's one call for 5,000 records alone (path lookups, upserts, commit), and 5,000
  // single writes through the service, as a loop over the records would make them.
  std::vector<double> batch, single;
  if (!loadWindow(*store)) return 1;
  for (int run = 0; run < runs; ++run) {
    std::vector<lorvex::ReviewStateUpdate> updates;
    const auto& records = store->results().resultWindow().records();
    for (int i = 0; i < kMarked; ++i)
      updates.push_back({records[static_cast<std::size_t>(i)]->file.path, {}});
    batch.push_back(measure([&] { service->updateReviewStates(updates); }).mainThread);
  }
  for (int run = 0; run < std::min(runs, 3); ++run) {
    const auto& records = store->results().resultWindow().records();
    single.push_back(measure([&] {
                       for (int i = 0; i < kMarked; ++i) {
                         const RecordRef& record = records[static_cast<std::size_t>(i)];
                         service->updateReviewState(record->file.path, record->reviewState);
                       }
                     }).wall);
  }

  // Marking 2,000, then undoing it: the window comes back as it was for the next run.
  std::vector<double> smallMarkMain, undoCall, undoMain, undoWall, restoreFloor;
  for (int run = 0; run < runs; ++run) {
    selectFirst(*store, kUndone);
    const auto before = store->results().resultWindow().records();
    smallMarkMain.push_back(measure([&] {
                              store->review().markDeleteCandidates(store->results().selectedRecords());
                            }).mainThread);
    if (store->review().deleteCandidateUndoStack().empty()) {
      std::fprintf(stderr, "the marking left no undo action\n");
      return 1;
    }
    std::vector<lorvex::DeleteCandidateStateRestore> restores;
    for (const auto& record : store->review().deleteCandidateUndoStack().back().records)
      restores.push_back({record.path, true});
    const double callBegin = threadCPUMilliseconds();
    const Timing timing = measure([&] {
      store->review().undoLastDeleteCandidateAction();
      undoCall.push_back(threadCPUMilliseconds() - callBegin);
      waitForRestore(*store);
    });
    undoMain.push_back(timing.mainThread);
    undoWall.push_back(timing.wall);
    if (store->context().errorMessage() ||
        store->results().resultWindow().records().size() != before.size()) {
      std::fprintf(stderr, "undo failed: %s\n",
                   store->context().errorMessage().value_or("records missing").c_str());
      return 1;
    }
    // The restore alone, writing the marks the undo took back and back again.
    restoreFloor.push_back(measure([&] { service->restoreDeleteCandidateStates(restores); }).wall);
    for (auto& restore : restores) restore.deleteCandidate = false;
    service->restoreDeleteCandidateStates(restores);
    QCoreApplication::processEvents();
  }

  // Restarting monitoring after a change of the folder set, with one registered folder of 100
  // subfolders and a stored position: the stored-position check runs over the whole library. What
  // the restart did on the main thread before it moved to the pool is the same service calls in a
  // row, beside the position check as it was written before (a scan of the library's rows).
  std::vector<double> restartMain, restartWall, formerCalls, formerCheck, check;
  {
    const std::filesystem::path root = library / "monitored";
    for (int i = 0; i < 100; ++i) std::filesystem::create_directories(root / ("d" + std::to_string(i)));
    const std::vector<std::string> roots{root.string()};
    service->registerFolders(roots);
    service->storeFolderEventID(roots, service->currentFolderEventID());
    lorvex::SQLiteImageRepositoryV3 repository(library / lorvex::kLibraryDatabaseFileName);
    auto& connection = lorvex::testing::connectionOf(repository);
    const std::string prefix = root.string() + "/";
    for (int run = 0; run < runs; ++run) {
      const auto wallBegin = Clock::now();
      const double cpuBegin = threadCPUMilliseconds();
      auto restart = store->library().backgroundSync().restartBackgroundLibrarySync();
      lorvex::bench::waitFor(restart);
      restartMain.push_back(threadCPUMilliseconds() - cpuBegin);
      restartWall.push_back(milliseconds(Clock::now() - wallBegin));
      if (!store->library().backgroundSync().backgroundSyncPlanner().isMonitoring) {
        std::fprintf(stderr, "monitoring did not start: %s\n",
                     store->context().errorMessage().value_or("").c_str());
        return 1;
      }
      formerCalls.push_back(measure([&] {
                              service->stopMonitoring();
                              const auto folders = service->registeredFolderRoots();
                              const auto position = service->folderEventCheckpoint(folders.availableRootURLs);
                              service->startMonitoring(
                                  folders.availableRootURLs, position->lastEventID,
                                  [](const lorvex::RegisteredFolderChangeBatch&) {},
                                  [](const lorvex::FolderChangeMonitorError&) {});
                            }).wall);
      // Left running: the next restart stops it, as a restart stops the store's monitor.
      formerCheck.push_back(
          measure([&] {
            auto guard = connection.lock();
            connection.query(
                "SELECT 1 FROM media_files WHERE (absolute_path = ? OR substr(absolute_path, 1, "
                "length(?)) = ?) AND missing = 0 AND projection_revision <> ? LIMIT 1",
                {root.string(), prefix, prefix, 1}, lorvex::rows::exists);
          }).wall);
      check.push_back(measure([&] { repository.hasFilesNeedingReprojection(roots); }).wall);
      // The calls made before, with the position check as it was written then.
      formerCalls.back() += formerCheck.back() - check.back();
    }
  }

  std::printf(
      "mark %d of %d loaded: main thread %.2f ms (aim <= 50 ms), wall %.2f ms; floor, %d upserts by id in "
      "one transaction: %.2f ms; the service's updateReviewStates alone: %.2f ms main thread; %d "
      "updateReviewState calls: %.1f ms\n",
      kMarked, kLoaded, median(markMain), median(markWall), kMarked, median(floor), median(batch), kMarked,
      median(single));
  std::printf(
      "mark %d: main thread %.2f ms (aim <= 50 ms); undo: main thread %.2f ms in all (aim <= 16 ms), of it "
      "the "
      "call %.2f ms, wall %.2f ms; floor, the restore alone: %.2f ms\n",
      kUndone, median(smallMarkMain), median(undoMain), median(undoCall), median(undoWall),
      median(restoreFloor));
  std::printf(
      "restart monitoring at %lld images: main thread %.2f ms (aim <= 16 ms), wall %.2f ms; the same calls "
      "in a row with the position check as written before, as the main thread made them before: %.2f ms; the "
      "position check: %.3f ms, as it was "
      "written before: %.2f ms\n",
      static_cast<long long>(images), median(restartMain), median(restartWall), median(formerCalls),
      median(check), median(formerCheck));
  return 0;
}
