// bench_results_grid [--runs N]
//
// The results grid's main-thread cost at library scale: a 1200 x 800 window (offscreen) over a
// store whose result window holds 100,000 records, every tile's image coming through the loader
// (decoded on its pool from a synthetic 256 x 256 image, so the disk plays no part). Reports the
// median of --runs runs (default 11) of:
//   - appending a page of 500 records (the list model, the list's relayout and a repaint);
//   - one scroll step of a tile row whose images are in the memory cache, and one whose images
//     are not (the step: the tiles' checks, their loads started, a repaint; the images that arrive
//     afterwards are measured apart, per row);
//   - select all (the store's selection, the model's repaint decision, a repaint), beside the
//     store's own select all without a grid, and the store's select all after a removal, when the
//     window's set of loaded paths is built again.
// Each figure is the main thread's own CPU time with the wall time beside it; the program exits 1
// when an aim is missed.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QScrollBar>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "../store_bench_support.h"
#include "store/support/store_harness.h"
#include "ui/common/local_image_decode_limiter.h"
#include "ui/common/local_image_loader.h"
#include "ui/common/local_image_memory_cache.h"
#include "ui/results/results_grid_list_view.h"
#include "ui/support/store_view_models.h"

namespace {

using lorvex::RecordRef;
using lorvex::ui::LocalImageDecodeResult;
using Clock = std::chrono::steady_clock;

using lorvex::bench::median;
using lorvex::bench::threadCPUMilliseconds;

RecordRef makeRecord(int id) {
  lorvex::ImageRecord record;
  char path[96];
  std::snprintf(path, sizeof path, "/home/someone/Pictures/generations/folder%02d/image-%07d.png", id % 50,
                id);
  record.file.path = path;
  record.file.fileSize = 1'200'000 + id;
  record.file.modificationDate = 1.7e9 + id;
  record.thumbnailPath =
      std::string("/home/someone/.local/share/Lorvex/Thumbnails/") + std::to_string(id) + ".jpg";
  record.metadata.prompt =
      "masterpiece, best quality, 1girl, solo, long hair, looking at viewer, smile, outdoors";
  return lorvex::makeRecordRef(std::move(record));
}

std::vector<RecordRef> makeRecords(int first, int count) {
  std::vector<RecordRef> records;
  records.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) records.push_back(makeRecord(first + i));
  return records;
}

// Decodes that give a synthetic image, and can be held so that a step's own cost is measured
// without the images arriving during it.
class SyntheticDecodes {
 public:
  lorvex::ui::LocalImageLoader::DecodeFunction function() {
    return [this](const std::string&, std::optional<int>) {
      std::unique_lock lock(mutex_);
      released_.wait(lock, [&] { return !holding_; });
      lock.unlock();
      QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
      image.fill(QColor(40, 120, 200));
      return LocalImageDecodeResult{image, std::nullopt};
    };
  }
  void hold(bool holding) {
    const std::lock_guard lock(mutex_);
    holding_ = holding;
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool holding_ = false;
};

// Delivers everything posted; with `decodes`, also waits for the loader to have nothing in flight.
void settle(lorvex::ui::LocalImageLoader* loader = nullptr) {
  auto* dispatcher = QAbstractEventDispatcher::instance();
  int quiet = 0;
  while (quiet < 2) {
    QCoreApplication::sendPostedEvents();
    const bool didWork = dispatcher->processEvents(QEventLoop::AllEvents);
    if (!didWork && (loader == nullptr || loader->decodesInFlightForTest() == 0)) {
      ++quiet;
    } else {
      quiet = 0;
      if (!didWork) QThread::usleep(200);  // decodes run on the pool: let the main thread sleep
    }
  }
}

struct Timing {
  double thread = 0;
  double wall = 0;
};

// One timing of `measured`.
Timing timeOnce(const std::function<void()>& measured) {
  const auto start = Clock::now();
  const double threadStart = threadCPUMilliseconds();
  measured();
  return {threadCPUMilliseconds() - threadStart,
          std::chrono::duration<double, std::milli>(Clock::now() - start).count()};
}

// Timings of several runs, and their medians.
struct Timings {
  std::vector<double> thread;
  std::vector<double> wall;
  void add(Timing timing) {
    thread.push_back(timing.thread);
    wall.push_back(timing.wall);
  }
  Timing median() const { return {lorvex::bench::median(thread), lorvex::bench::median(wall)}; }
};

Timing measure(int runs, const std::function<void()>& prepare, const std::function<void()>& measured) {
  Timings timings;
  for (int run = 0; run < runs; ++run) {
    prepare();
    timings.add(timeOnce(measured));
  }
  return timings.median();
}

// Judged on the main thread's own CPU time: the machine may be busy with other work, which only
// stretches the wall time.
bool report(const char* what, Timing timing, double aim) {
  const bool met = aim <= 0 || timing.thread <= aim;
  if (aim > 0) {
    std::printf("%-52s %8.3f ms main thread (wall %8.3f)   aim <= %5.1f ms   %s\n", what, timing.thread,
                timing.wall, aim, met ? "ok" : "MISSED");
  } else {
    std::printf("%-52s %8.3f ms main thread (wall %8.3f)\n", what, timing.thread, timing.wall);
  }
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 11;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  lorvex::testing::StoreHarness harness;
  auto store = harness.makeStore();
  store->results().resultWindow().replaceRecords(makeRecords(0, 100'000), true, 0);

  lorvex::ui::LocalImageMemoryCache cache(lorvex::ui::LocalImageMemoryCache::kSharedCountLimit,
                                          lorvex::ui::LocalImageMemoryCache::kSharedCostLimit);
  lorvex::ui::LocalImageDecodeLimiter limiter(4);
  SyntheticDecodes decodes;
  lorvex::ui::LocalImageLoader loader(cache, limiter, decodes.function());

  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* grid = new lorvex::ui::ResultsGridListView(lorvex::ui::testing::resultsGridListModels(*store), loader,
                                                   lorvex::ui::AppLocalization::live(), &window);
  layout->addWidget(grid);
  window.resize(1200, 800);
  window.show();
  settle(&loader);
  const int rowStep = grid->gridSize().height();
  std::printf("grid: %d columns, cells %d x %d, %d records\n", grid->keyboardColumns(),
              grid->gridSize().width(), rowStep, grid->gridModel().rowCount());

  bool allMet = true;
  QScrollBar* bar = grid->verticalScrollBar();
  // What a change leaves to paint is painted while the events are delivered (the offscreen
  // window paints on its update requests, as a real one does).
  const auto paint = [&] { settle(); };

  int nextPage = 1'000'000;
  std::vector<RecordRef> page;
  allMet &= report("append 500 to 100,000 loaded",
                   measure(
                       runs, [&] { page = makeRecords(nextPage += 500, 500); },
                       [&] {
                         auto& window = store->results().resultWindow();
                         window.appendPage(page, true, window.currentLoadTicket());
                         paint();
                       }),
                   10.0);

  // Cached: the rows were shown once (their images decoded and cached), then the grid went back.
  const int cachedStart = 20 * rowStep;
  bar->setValue(cachedStart);
  settle(&loader);
  for (int step = 1; step <= runs + 1; ++step) {
    bar->setValue(cachedStart + step * rowStep);
    settle(&loader);
  }
  int position = cachedStart;
  allMet &= report("scroll one row, images in the cache",
                   measure(
                       runs,
                       [&] {
                         bar->setValue(position);
                         settle(&loader);
                       },
                       [&] {
                         bar->setValue(position += rowStep);
                         paint();
                       }),
                   4.0);

  // Not cached: rows far from anything shown; the images come afterwards.
  position = 5'000 * rowStep;
  bar->setValue(position);
  settle(&loader);
  Timings steps;
  Timings arrivals;
  for (int run = 0; run < runs; ++run) {
    decodes.hold(true);
    steps.add(timeOnce([&] {
      bar->setValue(position += rowStep);
      paint();
    }));
    // The row's images arrive: decoded on the pool, cached, made into tile pixmaps and painted.
    arrivals.add(timeOnce([&] {
      decodes.hold(false);
      settle(&loader);
    }));
  }
  allMet &= report("scroll one row, images not decoded yet", steps.median(), 4.0);
  report("  then the new row's images arriving", arrivals.median(), 0);

  // The store's own part is measured beside it: the same selection on a store with the same
  // records and no grid. It takes a copy of the window's set of loaded paths, kept through
  // appended pages, which shares its storage; the grid adds its repaint decision and the repaint.
  // The two are measured in turns, so that a busy machine slows both alike.
  auto bare = harness.makeStore();
  bare->results().resultWindow().replaceRecords(store->results().resultWindow().records(), true, 0);
  Timings withGrid;
  Timings alone;
  Timings added;
  for (int run = 0; run < runs; ++run) {
    bare->results().selection().selectSingle(bare->results().resultWindow().records().front()->file.path);
    settle();
    const Timing storeOnly = timeOnce([&] {
      bare->results().selectAllResults();
      settle();
    });
    store->results().selection().selectSingle(store->results().resultWindow().records().front()->file.path);
    paint();
    const Timing gridToo = timeOnce([&] {
      store->results().selectAllResults();
      paint();
    });
    alone.add(storeOnly);
    withGrid.add(gridToo);
    added.add(
        {std::max(gridToo.thread - storeOnly.thread, 0.0), std::max(gridToo.wall - storeOnly.wall, 0.0)});
  }
  allMet &= report("select all (100,000+)", withGrid.median(), 10.0);
  report("  the store's select all, no grid attached", alone.median(), 0);
  report("  what the grid adds to it", added.median(), 0);

  // After a change other than an appended page (here a removed record) the window builds its
  // set of loaded paths again, on the next select-all.
  Timings afterRemoval;
  for (int run = 0; run < runs; ++run) {
    const std::string removed = bare->results().resultWindow().records().back()->file.path;
    bare->results().resultWindow().removeRecords(lorvex::PathSet{removed}, 0);
    bare->results().selection().selectSingle(bare->results().resultWindow().records().front()->file.path);
    settle();
    afterRemoval.add(timeOnce([&] {
      bare->results().selectAllResults();
      settle();
    }));
  }
  report("  the store's select all after a record was removed", afterRemoval.median(), 0);

  // A page appended while every loaded result is selected: the selection is checked against the
  // grown window, and the window's set of paths stops sharing its storage with the selection.
  Timings appendWhileAllSelected;
  for (int run = 0; run < runs; ++run) {
    store->results().selectAllResults();
    paint();
    page = makeRecords(nextPage += 500, 500);
    appendWhileAllSelected.add(timeOnce([&] {
      auto& window = store->results().resultWindow();
      window.appendPage(page, true, window.currentLoadTicket());
      paint();
    }));
  }
  report("append 500 with every loaded result selected", appendWhileAllSelected.median(), 0);

  decodes.hold(false);
  window.hide();
  settle(&loader);
  return allMet ? 0 : 1;
}
