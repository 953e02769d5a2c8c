// lorvex: the application. Builds the composition root, shows the main window and runs the event
// loop; after it ends, the windows and the store go, and library work still blocked in a pool job
// is given two seconds before the process ends without it.
#include <chrono>
#include <string>
#include <vector>

#include <QApplication>

#include "app/desktop_integration.h"
#include "app/lorvex_application.h"
#include "app/main_window.h"
#include "store/async/store_thread_pools.h"

int main(int argc, char** argv) {
  const auto startTime = std::chrono::steady_clock::now();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lorvex"));
  QApplication::setQuitOnLastWindowClosed(false);  // closing "main" quits, whatever else is open
  lorvex::app::integrateWithDesktop(application);

  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);

  int status = 0;
  {
    lorvex::app::LorvexApplicationOptions options;
    options.arguments = std::move(arguments);
    options.startTime = startTime;
    lorvex::app::LorvexApplication lorvexApp(std::move(options));
    QObject::connect(&lorvexApp.mainWindow(), &lorvex::app::MainWindow::closed, &application, &QApplication::quit);
    lorvexApp.showMainWindow();
    status = QApplication::exec();
  }
  lorvex::app::quitAfterWaitingForPools({&lorvex::userInitiatedPool(), &lorvex::utilityPool()});
  return status;
}
