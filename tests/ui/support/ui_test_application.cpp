#include "ui/support/ui_test_application.h"

#include <QAbstractEventDispatcher>
#include <QThread>

#include "ui/common/animations.h"
#include "ui/common/local_image_loader.h"
#include "ui/support/ui_test_environment.h"

namespace lorvex::ui::testing {

QApplication& uiTestApplication() {
  static QApplication* application = [] {
    isolateHomeForProcess();
    setAnimationsEnabled(false);
    // One the program made itself (a benchmark's, timing the main thread) serves as it is.
    if (auto* made = qobject_cast<QApplication*>(QCoreApplication::instance())) return made;
    static int argc = 1;
    static char name[] = "lorvex-ui-test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *application;
}

bool drainUiEvents(std::chrono::milliseconds timeout) {
  return drainUiEvents(LocalImageLoader::shared(), timeout);
}

bool drainUiEvents(LocalImageLoader& loader, std::chrono::milliseconds timeout) {
  uiTestApplication();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto* dispatcher = QAbstractEventDispatcher::instance();
  // A decode may post its result between a turn of the loop and the look at the loader, so quiet
  // is believed only when it holds for two turns in a row.
  int quietTurns = 0;
  while (quietTurns < 2) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const bool didWork = dispatcher != nullptr && dispatcher->processEvents(QEventLoop::AllEvents);
    if (!didWork && loader.decodesInFlightForTest() == 0) {
      ++quietTurns;
    } else {
      quietTurns = 0;
      if (loader.decodesInFlightForTest() > 0) QThread::yieldCurrentThread();
    }
  }
  return true;
}

bool runEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

}  // namespace lorvex::ui::testing

// Fontconfig keeps its pattern caches for the life of the process and never frees them (Qt's font
// database does not tear it down), so a widget test that lays out text would report them as leaks.
// Picked up by LeakSanitizer when it is linked in; inert otherwise.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
