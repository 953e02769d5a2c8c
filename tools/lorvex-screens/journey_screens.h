// lorvex-screens --journey NAME: the journeys of tests/app/journeys driven on the live window of the
// composed application (in a temporary home of its own, its folder picker answered in place of the
// user), writing one picture per step: <out>/journey.<journey>.<step>.<language>.png. A picture
// shows what is on the screen: the main window with the popovers, sheets and windows open over it.
//
// NAME is a journey's name or "all". The journeys before the named one run first without pictures,
// because each starts where the one before it ended.
//
// Thread safety: GUI thread only.
#pragma once

#include <QSize>
#include <filesystem>
#include <optional>
#include <string>

namespace lorvex::screens {

struct JourneyRun {
  std::string journey;  // a journey's name, or "all"
  std::filesystem::path out;
  std::string language;       // "en" or "ja"
  std::optional<QSize> size;  // nothing: the window's minimum size
};

// Whether `name` is "all" or names a journey.
bool isJourneyName(const std::string& name);
// Runs the journeys; 0 when every step was written and every check held, 1 otherwise.
int runJourneys(const JourneyRun& run);

}  // namespace lorvex::screens
