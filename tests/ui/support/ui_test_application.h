// The QApplication of widget tests: made once per test program (or the one the program made itself
// before the first call), offscreen, in a temporary home, with animations off so that what a test looks at is
// an end state. And a drain that lets every posted event and every image decode run to its end.
#pragma once

#include <QApplication>
#include <chrono>
#include <functional>

namespace lorvex::ui {
class LocalImageLoader;
}

namespace lorvex::ui::testing {

QApplication& uiTestApplication();

// Runs the event loop until nothing is posted and no image decode of the loader is queued or
// running, two turns in a row; false when that does not happen within `timeout`.
bool drainUiEvents(std::chrono::milliseconds timeout = std::chrono::seconds(5));
bool drainUiEvents(LocalImageLoader& loader, std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Runs the event loop until `done` holds (true) or `limit` passes (false).
bool runEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

}  // namespace lorvex::ui::testing
