// A QCoreApplication for the store tests, created once per test program, and a way to run its
// event loop until something has happened.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <functional>

namespace lorvex::testing {

inline QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "lorvex-store-test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = QCoreApplication::instance() != nullptr ? QCoreApplication::instance()
                                                                         : new QCoreApplication(argc, argv);
  return *app;
}

// Runs the event loop until `done` holds. Gives up (and fails the test) after a great many turns
// so that a broken test ends instead of hanging; the count bounds work, not time.
inline bool runEventsUntil(const std::function<bool()>& done, long turns = 50'000'000) {
  application();
  for (long turn = 0; turn < turns; ++turn) {
    if (done()) return true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
    QThread::yieldCurrentThread();
  }
  ADD_FAILURE() << "the event loop never reached the expected state";
  return false;
}

// Delivers everything already posted.
inline void drainEvents() {
  application();
  for (int i = 0; i < 4; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
}

}  // namespace lorvex::testing
