// lorvex: the application. A launch on a library that another launch already runs brings that
// window forward and leaves (or, when the other cannot be reached, says so). Otherwise it builds
// the composition root, shows the main window and runs the event loop (under the main-thread stall
// monitor when LORVEX_STALL_MS is set); after it ends, the settings still waiting for the
// background writer are written, the windows and the store go, and every thread the program made
// is ended and joined. A settings write and library work still blocked in a pool job are each
// given two seconds before the process ends without them.
#include <QApplication>
#include <QMessageBox>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/desktop_integration.h"
#include "app/launch_alerts.h"
#include "app/lorvex_application.h"
#include "app/main_thread_stall_monitor.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "platform/settings.h"
#include "services/live_image_library_service.h"
#include "services/ui_testing_launch.h"

int main(int argc, char** argv) {
  const auto startTime = std::chrono::steady_clock::now();
  const std::unique_ptr<QApplication> application = lorvex::app::makeLorvexQApplication(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lorvex"));
  QApplication::setQuitOnLastWindowClosed(false);  // closing "main" quits, whatever else is open
  lorvex::app::integrateWithDesktop(*application);

  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);

  // Before anything is opened or written: a second window on one library would work from stale
  // settings and find the library locked.
  const auto uiTesting = lorvex::parseUITestingLaunchArguments(arguments);
  const auto instance = lorvex::app::SingleInstance::claim(
      lorvex::libraryDirectoryLocation(uiTesting ? std::optional(uiTesting->runID) : std::nullopt));
  switch (instance->role()) {
    case lorvex::app::SingleInstance::Role::raisedRunning:
      return 0;
    case lorvex::app::SingleInstance::Role::runningUnreachable:
      lorvex::app::makeInstanceUnreachableAlert(lorvex::ui::AppLocalization::live())->exec();
      return 1;
    case lorvex::app::SingleInstance::Role::primary:
      break;
  }

  int status = 0;
  {
    lorvex::app::LorvexApplicationOptions options;
    options.arguments = std::move(arguments);
    options.startTime = startTime;
    lorvex::app::LorvexApplication lorvexApp(std::move(options));
    QObject::connect(&lorvexApp.mainWindow(), &lorvex::app::MainWindow::closed, application.get(),
                     &QApplication::quit);
    QObject::connect(instance.get(), &lorvex::app::SingleInstance::raiseRequested, &lorvexApp,
                     &lorvex::app::LorvexApplication::raiseMainWindow);
    lorvexApp.showMainWindow();
    status = QApplication::exec();
    instance->stopAnswering();
    // While the objects holding the suites are still here, or the last of each would write what is
    // pending itself, for as long as the write takes: another process holding the writers' lock or
    // a folder on a dead network mount must not keep the program from ending.
    lorvex::platform::Settings::flushAll(std::chrono::steady_clock::now() + lorvex::app::kGraceAtQuit);
  }
  // Every thread the program made ends before main returns: one still running while the process
  // exits races its end.
  lorvex::app::quitAfterEndingThreads();
  return status;
}
