#include "app/lorvex_application.h"

#include <QMessageBox>
#include <QScreen>
#include <QThreadPool>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/acknowledgments_window.h"
#include "app/launch_alerts.h"
#include "app/main_window.h"
#include "platform/log.h"
#include "platform/long_lived_threads.h"
#include "services/ui_testing_launch.h"
#include "store/async/store_thread_pools.h"
#include "store/image_library_store.h"
#include "ui/common/scroll_bar_paint_cache.h"

namespace lorvex::app {

namespace {

constexpr int kStallProbeIntervalMs = 5;
constexpr std::chrono::seconds kStallProbeDuration{10};

}  // namespace

LorvexApplication::LorvexApplication(LorvexApplicationOptions options)
    : startTime_(options.startTime),
      localization_(options.localization != nullptr ? *options.localization : ui::AppLocalization::live()),
      folderPicker_(std::move(options.folderPicker)),
      views_(options.views ? std::move(*options.views) : liveShellViews()) {
  // The window's scroll bars are drawn once per look, not on every repaint around them.
  ui::ScrollBarPaintCache::installOnApplication();
  // 1–4: the arguments, the real home directory, recording mode (the whole argument only), and the
  // path display built from them.
  const std::vector<std::string>& arguments = options.arguments;
  resourceDisplay_ = ui::ViewResourceDisplay::make(arguments, ui::resolveHomeDirectoryPath());
  // 5: the UI-testing run, if any.
  const std::optional<UITestingLaunchOptions> uiTesting = parseUITestingLaunchArguments(arguments);
  if (uiTesting) uiTestingRunID_ = uiTesting->runID;
  const bool resets = uiTesting && uiTesting->resets;
  // 6: the settings the window keeps; 7: the store, nothing opened yet.
  appStorage_.emplace(makeUserDefaults(uiTestingRunID_));
  store_ = makeLibraryStore(uiTestingRunID_, resets, options.runtime);
  // 8: no updater in a UI-testing run.
  if (!uiTestingRunID_) updater_ = std::make_unique<NullUpdater>();
  if (!folderPicker_) folderPicker_ = makeFileDialogFolderPicker();

  mainWindow_ = std::make_unique<MainWindow>(
      *store_, resourceDisplay_, *appStorage_, views_, *folderPicker_, updater_.get(),
      [this] { openAcknowledgments(); }, localization_);
  connect(mainWindow_.get(), &MainWindow::firstShown, this, [this] {
    platform::signpostEvent("MainWindowShown", "ms=" + std::to_string(millisecondsSinceStart()));
  });
  connect(&store_->results(), &ResultsModel::isLoadingChanged, this,
          &LorvexApplication::reportFirstResultPage);
  // The registered folders went with the settings: the person must hear of it, not only the log.
  if (const auto damage = appStorage_->damage(); damage && !damage->restoredLastGood) {
    const std::filesystem::path kept = damage->setAside.empty() ? appStorage_->filePath() : damage->setAside;
    connect(
        mainWindow_.get(), &MainWindow::firstShown, this,
        [this, kept] {
          QMessageBox* alert = makeSettingsUnreadableAlert(localization_, kept, mainWindow_.get());
          alert->setWindowModality(Qt::WindowModal);
          alert->open();
        },
        Qt::QueuedConnection);
  }
}

LorvexApplication::~LorvexApplication() {
  // Windows first (they hold the store), then the store, which stops its flows.
  if (acknowledgmentsWindow_) delete acknowledgmentsWindow_.data();
  mainWindow_.reset();
  store_.reset();
}

void LorvexApplication::showMainWindow() {
  mainWindow_->show();
  mainWindow_->raise();
  mainWindow_->activateWindow();
}

void LorvexApplication::raiseMainWindow() {
  mainWindow_->setWindowState(mainWindow_->windowState() & ~Qt::WindowMinimized);
  showMainWindow();
}

void LorvexApplication::openAcknowledgments() {
  if (!acknowledgmentsWindow_) {
    acknowledgmentsWindow_ = new AcknowledgmentsWindow(localization_);
    acknowledgmentsWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
  }
  if (!acknowledgmentsWindow_->isVisible()) placeOverMainWindow(*acknowledgmentsWindow_);
  acknowledgmentsWindow_->show();
  acknowledgmentsWindow_->raise();
  acknowledgmentsWindow_->activateWindow();
}

void LorvexApplication::placeOverMainWindow(QWidget& window) const {
  // Left to itself the window would open where Qt or the window manager puts it, partly below a
  // screen shorter than it. Hidden, it may not know its frame: it gets the one it had, or the one
  // the main window got.
  const QScreen* screen = mainWindow_->screen();
  if (screen == nullptr) return;
  const QRect over = mainWindow_->frameGeometry();
  const QSize frameExtra =
      (window.frameGeometry().size() - window.size()).expandedTo(over.size() - mainWindow_->size());
  QRect wanted(QPoint(), window.size() + frameExtra);
  wanted.moveCenter(over.center());
  const QRect inside =
      windowGeometryInside(wanted, screen->availableGeometry(), window.minimumSize() + frameExtra);
  window.resize(inside.size() - frameExtra);
  window.move(inside.topLeft());  // a window's position is its frame's
}

void LorvexApplication::reportFirstResultPage() {
  if (reportedFirstResultPage_ || store_->results().isLoading() ||
      store_->context().needsLiveServicePreparation() || store_->library().isPreparingLibrary()) {
    return;
  }
  reportedFirstResultPage_ = true;
  platform::signpostEvent("FirstResultPage",
                          "count=" + std::to_string(store_->results().resultWindow().records().size()) +
                              " ms=" + std::to_string(millisecondsSinceStart()));
  if (platform::signpostsEnabled()) startStallProbe();
}

qint64 LorvexApplication::millisecondsSinceStart() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - startTime_)
      .count();
}

void LorvexApplication::startStallProbe() {
  stallProbe_ = new QTimer(this);
  stallProbe_->setTimerType(Qt::PreciseTimer);
  stallProbe_->setInterval(kStallProbeIntervalMs);
  const auto started = std::chrono::steady_clock::now();
  auto last = std::make_shared<std::chrono::steady_clock::time_point>(started);
  auto longest = std::make_shared<std::chrono::steady_clock::duration>(0);
  connect(stallProbe_, &QTimer::timeout, this, [this, started, last, longest] {
    const auto now = std::chrono::steady_clock::now();
    *longest = std::max(*longest, now - *last - std::chrono::milliseconds(kStallProbeIntervalMs));
    *last = now;
    if (now - started < kStallProbeDuration) return;
    stallProbe_->stop();
    const double ms = std::chrono::duration<double, std::milli>(*longest).count();
    platform::signpostEvent("MainThreadStall", "maxMs=" + std::to_string(ms));
  });
  stallProbe_->start();
}

bool endProgramThreads(std::chrono::steady_clock::time_point deadline) {
  const bool ended = platform::endLongLivedThreads(deadline);
  // Qt's own pool (image conversions and transforms hand work to it) joins at exit by itself, but
  // only after the program's static objects are gone; joined here it is gone before they are.
  QThreadPool* qtPool = QThreadPool::globalInstance();  // null once Qt has let it go
  return (qtPool == nullptr || waitForPoolUntil(*qtPool, deadline)) && ended;
}

void quitAfterEndingThreads() {
  if (endProgramThreads(std::chrono::steady_clock::now() + kGraceAtQuit)) return;
  platform::logInfo("App", "work still running two seconds after quitting; ending without it");
  std::_Exit(0);
}

}  // namespace lorvex::app
