// The composed application as a person starts it, for the journeys: a home of its own (HOME and
// the XDG folders in a temporary folder, the library and settings in it), a pictures folder of real
// PNGs (the shared generator fixtures when present, and generated ones of every aspect and two
// models), and LorvexApplication built and shown as main() builds it, with the folder picker
// answered through its test seam. Quitting closes the main window as its close button does and
// ends the application object; a relaunch builds a new one over the same home.
//
// The interface language is fixed once per process (the live localization is made once): call
// prepareJourneyProcess before anything makes the QApplication.
//
// Thread safety: GUI thread only.
#pragma once

#include <QSize>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/lorvex_application.h"
#include "app/scripted_folder_picker.h"

namespace lorvex::journeys {

// Sets the locale of `language` ("en" or "ja") and a home of the process's own, then makes the
// offscreen QApplication (named as main() names it), or has `makeApplication` make it (a program's
// own QApplication: the journey benchmark's times the main thread). Later calls change nothing.
void prepareJourneyProcess(const std::string& language, const std::function<void()>& makeApplication = {});
// The language prepareJourneyProcess fixed.
const std::string& journeyLanguage();

// What the pictures folder holds, by what a person can filter on.
struct JourneyPictures {
  std::filesystem::path folder;
  int generated = 0;       // written by the journey
  int copiedFixtures = 0;  // copied from the shared fixtures (0 when they are absent)
  // Folders the person picks beside it in the first launch's folder picker; the first launch
  // waits for the pictures folder's images only then, not for the whole registration.
  std::vector<std::filesystem::path> alsoChosen;
};

class JourneyApp {
 public:
  // A fresh home under the process's own (HOME and XDG_* point there from now on), with the
  // pictures folder written; nothing launched yet.
  explicit JourneyApp(const std::string& name);
  ~JourneyApp();
  JourneyApp(const JourneyApp&) = delete;
  JourneyApp& operator=(const JourneyApp&) = delete;

  // Builds the application as main() does and shows its main window, then resizes it to `size`
  // as a person would (nothing: the size it opened at); false when its launch did not end within
  // a minute.
  bool launch(std::optional<QSize> size);
  // The same, returning at once: the launch goes on while the journey watches. waitForLaunch then
  // waits for it to end, calling `eachTurn` (when given) at every turn of the event loop meanwhile;
  // false when it did not end within a minute.
  void start(std::optional<QSize> size);
  bool waitForLaunch(const std::function<void()>& eachTurn = {});
  // The library folder the application opens ($XDG_DATA_HOME/Lorvex of the journey's home).
  std::filesystem::path libraryFolder() const;
  // The smallest size the main window can be given.
  QSize minimumWindowSize() const;
  // Closes the main window as its close button does, ends the application and waits for the library
  // work it left; true once that work has ended.
  bool quit();
  bool isRunning() const { return application_ != nullptr; }

  app::LorvexApplication& application() const { return *application_; }
  app::MainWindow& window() const;
  // Read only: the journeys act through input events.
  ImageLibraryStore& store() const { return application_->store(); }
  app::testing::ScriptedFolderPicker& picker() const { return *picker_; }

  const std::filesystem::path& home() const { return home_; }
  const JourneyPictures& pictures() const { return pictures_; }
  void alsoChoose(const std::filesystem::path& folder) { pictures_.alsoChosen.push_back(folder); }
  // The home's Trash ($XDG_DATA_HOME/Trash/files).
  std::filesystem::path trashFiles() const;

 private:
  std::filesystem::path home_;
  JourneyPictures pictures_;
  app::testing::ScriptedFolderPicker* picker_ = nullptr;
  std::unique_ptr<app::LorvexApplication> application_;
};

}  // namespace lorvex::journeys
