// The composition root: reads the launch arguments and builds, once, everything that lives as long
// as the process: the path display, the application settings, the store (with the unavailable
// service; the main window's first showing starts the launch workflow), the updater outside UI
// testing, and the main window with its menus. The acknowledgments window is made on first use.
//
// Settings that could not be read, with no good copy to load instead, are reported in an alert over
// the main window when it first shows ("settingsUnreadableAlert").
//
// Quitting: the windows go first, then the store (which stops its flows). A scan blocked in a pool
// job may outlast that; quitAfterEndingThreads() gives such jobs two seconds to end and joins every
// thread the program made, or ends the process without waiting further (library writes are
// transactions, so nothing is left half done).
//
// Signposts (LORVEX_TRACE): "MainWindowShown" ("ms=T") when the main window first shows, and once
// "FirstResultPage" ("count=N ms=T") for the first page of results applied after the library was
// prepared, T in milliseconds since the process started. While tracing, the main thread's longest
// stall over the 10 s after that first page (the launch's catch-up scan runs then) is reported as
// "MainThreadStall" ("maxMs=M"): a timer due every 5 ms measures how late it fires.
//
// Thread safety: GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/acknowledgments_window.h"
#include "app/folder_picker.h"
#include "app/shell_views.h"
#include "app/updater.h"
#include "platform/settings.h"
#include "store/library_store_composition.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

class QThreadPool;

namespace lorvex::app {

class MainWindow;

struct LorvexApplicationOptions {
  std::vector<std::string> arguments;
  // When the process started, for the signposts' times.
  std::chrono::steady_clock::time_point startTime = std::chrono::steady_clock::now();
  // Null: the live folder picker.
  std::unique_ptr<FolderPicker> folderPicker;
  // The views to place; liveShellViews() by default.
  std::optional<ShellViews> views;
  // Where the store keeps time and runs its work (tests give their own pools).
  LibraryStoreRuntime runtime;
  const ui::AppLocalization* localization = nullptr;  // null: AppLocalization::live()
};

class LorvexApplication : public QObject {
  Q_OBJECT

 public:
  explicit LorvexApplication(LorvexApplicationOptions options);
  ~LorvexApplication() override;

  ImageLibraryStore& store() const { return *store_; }
  const ui::ViewResourceDisplay& resourceDisplay() const { return resourceDisplay_; }
  platform::Settings& appStorage() { return *appStorage_; }
  const std::optional<std::string>& uiTestingRunID() const { return uiTestingRunID_; }
  // Absent in a UI-testing run.
  Updater* updater() const { return updater_.get(); }
  MainWindow& mainWindow() const { return *mainWindow_; }
  AcknowledgmentsWindow* acknowledgmentsWindowForTest() const { return acknowledgmentsWindow_; }

  void showMainWindow();
  // Another launch on this library asked for the window: back from minimised, shown, raised.
  void raiseMainWindow();
  // Makes the acknowledgments window on first use; shows, raises and activates it. Each opening
  // places it, its frame included, over the main window and inside the screen's available area.
  void openAcknowledgments();

 private:
  void placeOverMainWindow(QWidget& window) const;
  void reportFirstResultPage();
  void startStallProbe();
  qint64 millisecondsSinceStart() const;

  std::chrono::steady_clock::time_point startTime_;
  const ui::AppLocalization& localization_;
  ui::ViewResourceDisplay resourceDisplay_;
  std::optional<std::string> uiTestingRunID_;
  std::optional<platform::Settings> appStorage_;
  std::unique_ptr<ImageLibraryStore> store_;
  std::unique_ptr<Updater> updater_;
  std::unique_ptr<FolderPicker> folderPicker_;
  ShellViews views_;
  std::unique_ptr<MainWindow> mainWindow_;
  QPointer<AcknowledgmentsWindow> acknowledgmentsWindow_;
  bool reportedFirstResultPage_ = false;
  QTimer* stallProbe_ = nullptr;
};

// How long quitting waits for each of its ends: the settings writes, then the threads.
inline constexpr std::chrono::seconds kGraceAtQuit{2};

// After the application object is gone: ends every thread the program keeps for its whole life
// (the pools, the image workers, the settings writer; platform/long_lived_threads.h) and Qt's
// global pool, so that only the main thread is left when main returns. When work still runs two
// seconds later (library work, a settings write another process holds up), logs it and ends the
// process at once with status 0.
void quitAfterEndingThreads();
// The ending itself: false when work still ran at `deadline` (its threads are left).
bool endProgramThreads(std::chrono::steady_clock::time_point deadline);

}  // namespace lorvex::app
