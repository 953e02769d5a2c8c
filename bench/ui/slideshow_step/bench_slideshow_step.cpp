// bench_slideshow_step [--images N] [--width W] [--height H] [--folder DIR] [--controls-shown]
//
// Writes N real-size PNGs (default 60 of 1216 x 832 RGBA, DEFLATE-compressed noise, as generators
// write them) into a temporary folder, lists them through the scripted library service and shows
// the slideshow view in a 1280 x 800 window (offscreen). For one and for six images at a time it
// steps forward through the whole folder (as many times as it takes for some 50 steps, with a cold
// image cache each time) with the Right key, the controls faded out as they are
// two seconds after the last activity (--controls-shown keeps them up), and measures, per step:
//   - main-thread time: every event the main thread handles from the key press until each shown
//     image has been painted (the decodes themselves run on the loader's pool; a decode found on the
//     main thread is counted and fails the run);
//   - latency: key press to the last shown image painted;
//   - the floor: QImageReader decoding the same files on as many threads as the decode limiter
//     allows, measured next to each step.
// Targets: main-thread p95 <= 4 ms; latency <= 1.2 x floor + 10 ms (median and p95).
// Exit status 0 when every target holds, 1 otherwise. BENCH_TRACE=1 prints each main-thread event
// that took over 0.5 ms of CPU.
#include <time.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "support/png_image.h"
#include "ui/common/animations.h"
#include "ui/common/local_image_decode_limiter.h"
#include "ui/common/local_image_decoding.h"
#include "ui/common/local_image_loader.h"
#include "ui/common/local_image_memory_cache.h"
#include "ui/common/local_image_view.h"
#include "ui/slideshow/slideshow_image_decoding.h"
#include "ui/slideshow/slideshow_image_strip.h"
#include "ui/slideshow/slideshow_key_view.h"
#include "ui/slideshow/slideshow_view.h"
#include "ui/slideshow/slideshow_window.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_environment.h"

namespace {

using Clock = std::chrono::steady_clock;
using lorvex::ImageLibraryStore;
using lorvex::ImageRecord;
namespace ui = lorvex::ui;

double milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

// CPU time of the calling thread: what the main thread spent, whatever else the machine runs.
double threadCPUMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The main thread's busy time: every top-level event delivery, timed (wall and CPU); and a hook
// after each paint.
class BenchApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    const bool outermost = depth_ == 0;
    const auto begin = outermost ? Clock::now() : Clock::time_point{};
    const double cpuBegin = outermost ? threadCPUMilliseconds() : 0;
    ++depth_;
    const bool result = QApplication::notify(receiver, event);
    --depth_;
    if (event->type() == QEvent::Paint && onPainted) onPainted(receiver);
    if (outermost) {
      busy += Clock::now() - begin;
      const double cpu = threadCPUMilliseconds() - cpuBegin;
      busyCPU += cpu;
      if (trace && cpu > 0.5) {
        std::fprintf(stderr, "  %.2f ms CPU %s event %d\n", cpu, receiver->metaObject()->className(),
                     static_cast<int>(event->type()));
      }
    }
    return result;
  }

  Clock::duration busy{};
  double busyCPU = 0;
  bool trace = std::getenv("BENCH_TRACE") != nullptr;
  std::function<void(QObject*)> onPainted;

 private:
  int depth_ = 0;
};

double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

// QImageReader decoding `paths` on `threads` threads: the wall time until the last is decoded.
double decodeFloor(const std::vector<std::string>& paths, int threads) {
  QThreadPool pool;
  pool.setMaxThreadCount(threads);
  const auto begin = Clock::now();
  for (const std::string& path : paths) {
    pool.start([path] {
      QImageReader reader(QString::fromStdString(path));
      const QImage image = reader.read();
      if (image.isNull()) std::fprintf(stderr, "floor: %s did not decode\n", path.c_str());
    });
  }
  pool.waitForDone();
  return milliseconds(Clock::now() - begin);
}

struct StepFigures {
  std::vector<double> mainThread;
  std::vector<double> mainThreadWall;
  std::vector<double> latency;
  std::vector<double> floor;
};

}  // namespace

int main(int argc, char** argv) {
  int imageCount = 60;
  std::uint32_t width = 1216;
  std::uint32_t height = 832;
  std::string folderPath;
  bool controlsShown = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--controls-shown") controlsShown = true;
  }
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--folder") folderPath = argv[i + 1];
    if (option == "--images") imageCount = std::max(6, std::stoi(argv[i + 1]));
    if (option == "--width") width = static_cast<std::uint32_t>(std::stoul(argv[i + 1]));
    if (option == "--height") height = static_cast<std::uint32_t>(std::stoul(argv[i + 1]));
  }
  ui::testing::isolateHomeForProcess();
  ui::setAnimationsEnabled(false);
  BenchApplication application(argc, argv);
  QImageReader::setAllocationLimit(ui::kImageReaderAllocationLimitMiB);

  // A folder given with --folder keeps the PNGs between runs (they are written once).
  QTemporaryDir temporary;
  const QDir folder(folderPath.empty() ? temporary.path() : QString::fromStdString(folderPath));
  QDir().mkpath(folder.path());
  std::vector<ImageRecord> records;
  std::fprintf(stderr, "writing %d PNGs of %ux%u...\n", imageCount, width, height);
  for (int i = 0; i < imageCount; ++i) {
    lorvex::testing::PNGImageSpec spec;
    spec.width = width;
    spec.height = height;
    spec.colorType = lorvex::testing::PNGColorType::rgba;
    spec.compression = lorvex::testing::IDATCompression::deflate;
    spec.noiseSeed = static_cast<std::uint64_t>(i) + 1;
    const std::string path =
        folder.filePath(QStringLiteral("%1.png").arg(i, 3, 10, QChar('0'))).toStdString();
    QFile file(QString::fromStdString(path));
    if (!file.exists()) {
      const std::string bytes = lorvex::testing::encodePNGImage(spec);
      if (!file.open(QIODevice::WriteOnly) ||
          file.write(bytes.data(), static_cast<qint64>(bytes.size())) < 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 2;
      }
      file.close();
    }
    ImageRecord record;
    record.file.path = path;
    record.file.fileSize = file.size();
    record.file.modificationDate = 1'700'000'000.0 - i;
    record.metadata.width = width;
    record.metadata.height = height;
    records.push_back(record);
  }
  // Both sides read from the page cache.
  std::vector<std::string> allPaths;
  for (const auto& record : records) allPaths.push_back(record.file.path);
  decodeFloor(allPaths, 4);

  lorvex::testing::StoreHarness harness;
  harness.service->setRecords(records);
  auto store = harness.makeStore();
  lorvex::LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(),
                                                                       {folder.path().toStdString()});
  {
    ImageLibraryStore* s = store.get();
    s->context().startDetached([s] { return s->results().refreshResults(500, true); });
    harness.drainEvents();
  }

  // A loader of the bench's own (same limit as the program's), whose decode counts the calls that
  // land on the main thread.
  const Qt::HANDLE mainThread = QThread::currentThreadId();
  std::atomic<int> mainThreadDecodes{0};
  const int limit = ui::LocalImageDecodeLimiter::limitForProcessorCount(QThread::idealThreadCount());
  ui::LocalImageDecodeLimiter limiter(limit);
  bool allTargetsHold = true;

  for (const int count : {1, 6}) {
    StepFigures figures;
    // Enough passes through the folder for some 50 steps at every count.
    const int passes = std::max(1, 50 / std::max(1, imageCount / count - 1));
    for (int pass = 0; pass < passes; ++pass) {
      // A fresh cache per pass: every step decodes.
      ui::LocalImageMemoryCache cache(ui::LocalImageMemoryCache::kSharedCountLimit,
                                      ui::LocalImageMemoryCache::kSharedCostLimit);
      ui::LocalImageLoader loader(cache, limiter,
                                  [&](const std::string& path, std::optional<int> maxPixelSize) {
                                    if (QThread::currentThreadId() == mainThread) ++mainThreadDecodes;
                                    return ui::decodeSlideshowImage(path, maxPixelSize);
                                  });
      store->results().selection().selectSingle(records.front().file.path);
      store->presentation().setSlideshowVisibleCount(count);
      store->results().startSlideshow();
      store->presentation().setIsSlideshowPlaying(false);
      ui::SlideshowWindow window;
      auto* content = new ui::SlideshowView(
          ui::testing::slideshowModels(*store), [] {}, {}, nullptr, &loader);
      ui::SlideshowView& view = *content;
      window.setContent(content);
      window.resize(1280, 800);
      window.show();
      harness.drainEvents();
      while (loader.decodesInFlightForTest() > 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
      // Steps are taken as a viewer takes them: the controls have faded after their 2 s, and the
      // arrow keys do not bring them back.
      if (!controlsShown) harness.clock.advance(2'000'000'000);
      for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
      if (view.controlsVisible() != controlsShown) {
        std::fprintf(stderr, "the controls are not as asked\n");
        return 2;
      }

      const int steps = imageCount / count - 1;
      for (int step = 0; step < steps; ++step) {
        // What the step should show, once painted.
        std::map<QObject*, std::string> expected;
        std::map<QObject*, Clock::time_point> painted;
        const auto begin = Clock::now();
        application.busy = {};
        application.busyCPU = 0;
        application.onPainted = [&](QObject* receiver) {
          const auto found = expected.find(receiver);
          if (found == expected.end() || painted.count(receiver) != 0) return;
          auto* image = static_cast<ui::LocalImageView*>(receiver);
          if (image->displayedPath() == found->second && !image->displayedImage().isNull()) {
            painted[receiver] = Clock::now();
          }
        };
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
        QApplication::sendEvent(view.keyView(), &press);
        const auto& shown = view.imageStrip()->records();
        // The store moved at once; the strip follows the derived values on the next turn.
        while (shown.empty() ||
               shown.front()->file.path != records[static_cast<std::size_t>((step + 1) * count)].file.path) {
          QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents);
        }
        const auto currentViews = view.imageStrip()->imageViews();
        const auto& currentRecords = view.imageStrip()->records();
        for (std::size_t i = 0; i < currentViews.size() && i < currentRecords.size(); ++i) {
          expected[currentViews[i]] = currentRecords[i]->file.path;
        }
        // Blocks until events come (the decodes' results), without spinning against the decoders.
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        QTimer wake;
        wake.start(50);
        while (painted.size() < expected.size() && Clock::now() < deadline) {
          QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents);
        }
        if (painted.size() < expected.size()) {
          std::fprintf(stderr, "count %d step %d: not every image was painted\n", count, step);
          return 2;
        }
        Clock::time_point last = begin;
        for (const auto& [object, time] : painted) last = std::max(last, time);
        figures.mainThread.push_back(application.busyCPU);
        figures.mainThreadWall.push_back(milliseconds(application.busy));
        figures.latency.push_back(milliseconds(last - begin));
        application.onPainted = nullptr;
        // Let the last paints flush before the floor runs.
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        std::vector<std::string> paths;
        for (const auto& [object, path] : expected) paths.push_back(path);
        figures.floor.push_back(decodeFloor(paths, std::min<int>(limit, static_cast<int>(paths.size()))));
      }
      window.hide();
      store->results().dismissSlideshow();
      harness.drainEvents();
    }

    const double mainP50 = percentile(figures.mainThread, 0.5);
    const double mainP95 = percentile(figures.mainThread, 0.95);
    const double latencyP50 = percentile(figures.latency, 0.5);
    const double latencyP95 = percentile(figures.latency, 0.95);
    const double floorP50 = percentile(figures.floor, 0.5);
    const double floorP95 = percentile(figures.floor, 0.95);
    const bool mainHolds = mainP95 <= 4.0;
    const bool latencyHolds = latencyP50 <= 1.2 * floorP50 + 10 && latencyP95 <= 1.2 * floorP95 + 10;
    std::printf("count %d, %zu steps in %d passes, %d decode permits\n", count, figures.latency.size(),
                passes, limit);
    std::printf("  main thread per step (CPU): p50 %.2f ms, p95 %.2f ms (target p95 <= 4 ms) %s\n", mainP50,
                mainP95, mainHolds ? "ok" : "MISSED");
    std::printf("  main thread per step (wall, in events): p50 %.2f ms, p95 %.2f ms\n",
                percentile(figures.mainThreadWall, 0.5), percentile(figures.mainThreadWall, 0.95));
    std::printf("  key to all painted:   p50 %.1f ms, p95 %.1f ms\n", latencyP50, latencyP95);
    std::printf("  floor (QImageReader): p50 %.1f ms, p95 %.1f ms -> limits %.1f / %.1f ms %s\n", floorP50,
                floorP95, 1.2 * floorP50 + 10, 1.2 * floorP95 + 10, latencyHolds ? "ok" : "MISSED");
    allTargetsHold = allTargetsHold && mainHolds && latencyHolds;
  }
  std::printf("decodes on the main thread: %d %s\n", mainThreadDecodes.load(),
              mainThreadDecodes == 0 ? "ok" : "MISSED");
  allTargetsHold = allTargetsHold && mainThreadDecodes == 0;
  return allTargetsHold ? 0 : 1;
}
