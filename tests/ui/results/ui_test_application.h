// The QApplication of the results widget tests, made once, offscreen, with HOME and XDG_* in a
// temporary folder; and a drain that also waits for an image loader's decodes.
#pragma once

#include <chrono>
#include <cstdlib>
#include <string>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include "ui/common/local_image_loader.h"

namespace lorvex::ui::testing {

inline QApplication& uiTestApplication() {
  static QApplication* app = [] {
    static QTemporaryDir home;
    const std::string root = home.path().toStdString();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
      const std::string folder = root + "/" + name;
      QDir().mkpath(QString::fromStdString(folder));
      ::setenv(name, folder.c_str(), 1);
    }
    ::setenv("HOME", root.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "lorvex-ui-test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

inline bool drainUiEvents(LocalImageLoader& loader, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int quietTurns = 0;
  while (quietTurns < 2) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::sendPostedEvents();
    const bool didWork = QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents);
    if (!didWork && loader.decodesInFlight() == 0) {
      ++quietTurns;
    } else {
      quietTurns = 0;
      QThread::yieldCurrentThread();
    }
  }
  return true;
}

}  // namespace lorvex::ui::testing
