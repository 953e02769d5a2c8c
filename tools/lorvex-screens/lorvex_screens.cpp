// lorvex-screens --library DIR --out DIR [--lang en|ja] [--scene NAME] [--scale 1|2]
//                [--register FOLDER] [--list]
// lorvex-screens --journey NAME --out DIR [--lang en|ja] [--size minimum|WxH]
// Renders the views' scenes offscreen to PNG files, for looking at the interface without a
// display: <out>/<scene>.<lang>.png. Library scenes run over the library in DIR, opened as
// lorvex-drive opens it (DIR holds the database and the tool's settings; FOLDER, when given, is
// registered first); fake scenes run over the scripted service. --scene picks the scenes whose
// name is NAME or starts with "NAME." (several --scene add up). Without --lang the tool runs once
// per language. The process runs in a temporary home: the user's own settings are never touched.
//
// --journey drives the journeys of the tests on the live window instead and writes a picture per
// step, <out>/journey.<journey>.<step>.<lang>.png (see journey_screens.h); NAME is a journey or
// "all", the window 1280x800 unless --size says otherwise.
//
// Exits 0 when every chosen scene was written; 1 when a scene failed to build or settle or a file
// could not be written; 2 on a usage error.
#include <qcoro/qcorotask.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/desktop_integration.h"
#include "app/lorvex_application.h"
#include "journey_screens.h"
#include "scene_registry.h"
#include "store/image_library_store.h"
#include "store/library_store_composition.h"
#include "store/store_idle.h"
#include "ui/common/animations.h"
#include "ui/common/app_localization.h"
#include "ui/common/ui_roles.h"
#include "ui/support/ui_test_application.h"
#include "ui/support/ui_test_environment.h"

namespace {

using namespace lorvex;
using screens::Scene;
using screens::SceneContext;
using screens::SceneSource;

struct Arguments {
  std::filesystem::path library;
  std::filesystem::path out;
  std::string language;  // empty: every language
  std::vector<std::string> scenes;
  int scale = 1;
  std::string folder;
  bool list = false;
  std::string journey;
  std::optional<QSize> windowSize = QSize(1280, 800);  // nothing: the minimum size
};

std::optional<QSize> parseSize(const std::string& text, bool& valid) {
  valid = true;
  if (text == "minimum") return std::nullopt;
  int width = 0;
  int height = 0;
  char separator = 0;
  char rest = 0;
  valid = std::sscanf(text.c_str(), "%d%c%d%c", &width, &separator, &height, &rest) == 3 &&
          separator == 'x' && width > 0 && height > 0;
  return QSize(width, height);
}

bool parseArguments(int argc, char** argv, Arguments& arguments) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--library" && hasValue) {
      arguments.library = std::filesystem::absolute(argv[++i]);
    } else if (argument == "--out" && hasValue) {
      arguments.out = std::filesystem::absolute(argv[++i]);
    } else if (argument == "--lang" && hasValue) {
      arguments.language = argv[++i];
      if (arguments.language != "en" && arguments.language != "ja") return false;
    } else if (argument == "--scene" && hasValue) {
      arguments.scenes.emplace_back(argv[++i]);
    } else if (argument == "--scale" && hasValue) {
      const std::string scale = argv[++i];
      if (scale != "1" && scale != "2") return false;
      arguments.scale = scale == "2" ? 2 : 1;
    } else if (argument == "--register" && hasValue) {
      arguments.folder = std::filesystem::absolute(argv[++i]).lexically_normal().string();
    } else if (argument == "--list") {
      arguments.list = true;
    } else if (argument == "--journey" && hasValue) {
      arguments.journey = argv[++i];
      if (!screens::isJourneyName(arguments.journey)) return false;
    } else if (argument == "--size" && hasValue) {
      bool valid = false;
      arguments.windowSize = parseSize(argv[++i], valid);
      if (!valid) return false;
    } else {
      return false;
    }
  }
  if (!arguments.journey.empty()) return !arguments.out.empty();
  return arguments.list || (!arguments.library.empty() && !arguments.out.empty());
}

bool chosen(const Scene& scene, const std::vector<std::string>& names) {
  if (names.empty()) return true;
  for (const std::string& name : names) {
    if (scene.name == name || scene.name.starts_with(name + ".")) return true;
  }
  return false;
}

// One run per language: the live localization is made once per process.
int runEachLanguage(int argc, char** argv) {
  int status = 0;
  for (const char* language : {"en", "ja"}) {
    std::vector<char*> childArguments(argv, argv + argc);
    childArguments.push_back(const_cast<char*>("--lang"));
    childArguments.push_back(const_cast<char*>(language));
    childArguments.push_back(nullptr);
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
      execv("/proc/self/exe", childArguments.data());
      std::perror("lorvex-screens: exec");
      _exit(1);
    }
    int childStatus = 0;
    if (child < 0 || waitpid(child, &childStatus, 0) < 0 || !WIFEXITED(childStatus)) return 1;
    status = std::max(status, WEXITSTATUS(childStatus));
  }
  return status;
}

// The environment the application reads when it starts: the language, the scale, offscreen.
void prepareEnvironment(const Arguments& arguments) {
  lorvex::ui::testing::isolateHomeForProcess();
  const char* locale = arguments.language == "ja" ? "ja_JP.UTF-8" : "en_US.UTF-8";
  setenv("LC_ALL", locale, 1);
  setenv("LANG", locale, 1);
  setenv("LANGUAGE", arguments.language == "ja" ? "ja" : "en", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_SCALE_FACTOR", arguments.scale == 2 ? "2" : "1", 1);
  unsetenv("QT_SCREEN_SCALE_FACTORS");
  unsetenv("QT_AUTO_SCREEN_SCALE_FACTOR");
}

// The library store, launched (and FOLDER registered) once for every library scene.
std::unique_ptr<ImageLibraryStore> openLibrary(const Arguments& arguments) {
  auto store = makeLibraryStoreInFolder(arguments.library);
  store->library().startLaunchWorkflow();
  if (!waitUntilStoreIdle(*store, std::chrono::minutes(5))) {
    std::fprintf(stderr, "lorvex-screens: the library did not settle after launching\n");
    return nullptr;
  }
  if (!arguments.folder.empty()) {
    QCoro::Task<void> registration = store->library().registerFolders({arguments.folder});
    if (!waitUntilStoreIdle(*store, std::chrono::minutes(30))) {
      std::fprintf(stderr, "lorvex-screens: the library did not settle after registering %s\n",
                   arguments.folder.c_str());
      return nullptr;
    }
  }
  if (store->context().errorMessage())
    std::printf("library error: %s\n", store->context().errorMessage()->c_str());
  return store;
}

bool renderScene(const Scene& scene, const Arguments& arguments, ImageLibraryStore* library, int index) {
  const std::filesystem::path scratch =
      lorvex::ui::testing::isolateHomeForProcess() / ("scene-" + std::to_string(index));
  SceneContext context(lorvex::ui::AppLocalization::live(), arguments.language, scratch);
  context.storeStaysBusy = scene.storeStaysBusy;
  if (scene.source == SceneSource::library) context.store = library;
  if (scene.source == SceneSource::fakeService) {
    context.ownedHarness = std::make_unique<testing::StoreHarness>();
    context.harness = context.ownedHarness.get();
  }
  std::unique_ptr<QWidget> root = scene.build(context);
  if (!root) {
    std::fprintf(stderr, "lorvex-screens: %s built nothing\n", scene.name.c_str());
    return false;
  }
  root->resize(scene.size);
  root->show();
  if (!context.settle()) {
    std::fprintf(stderr, "lorvex-screens: %s did not settle\n", scene.name.c_str());
    return false;
  }
  QWidget* target = root.get();
  if (scene.afterShow) {
    if (QWidget* other = scene.afterShow(context, *root)) target = other;
    if (!context.settle()) {
      std::fprintf(stderr, "lorvex-screens: %s did not settle after showing\n", scene.name.c_str());
      return false;
    }
  }
  const QImage image = target->grab().toImage();
  const std::filesystem::path file = arguments.out / (scene.name + "." + arguments.language + ".png");
  if (image.isNull() || !image.save(QString::fromStdString(file.string()), "PNG")) {
    std::fprintf(stderr, "lorvex-screens: cannot write %s\n", file.c_str());
    return false;
  }
  std::printf("%s (%dx%d)\n", file.c_str(), image.width(), image.height());
  std::fflush(stdout);
  // The widget goes before the store it shows.
  root.reset();
  context.settle();
  return true;
}

int renderScreens(int argc, char** argv) {
  Arguments arguments;
  if (!parseArguments(argc, argv, arguments)) {
    std::fprintf(
        stderr,
        "usage: lorvex-screens --library DIR --out DIR [--lang en|ja] [--scene NAME]... [--scale 1|2]\n"
        "                      [--register FOLDER] [--list]\n"
        "       lorvex-screens --journey NAME|all --out DIR [--lang en|ja] [--size minimum|WxH]\n");
    return 2;
  }
  if (arguments.list) {
    for (const Scene* scene : screens::registeredScenes()) std::printf("%s\n", scene->name.c_str());
    return 0;
  }
  if (arguments.language.empty()) return runEachLanguage(argc, argv);
  if (!arguments.journey.empty()) {
    std::error_code error;
    std::filesystem::create_directories(arguments.out, error);
    if (error) {
      std::fprintf(stderr, "lorvex-screens: cannot create %s: %s\n", arguments.out.c_str(),
                   error.message().c_str());
      return 1;
    }
    return screens::runJourneys({arguments.journey, arguments.out, arguments.language, arguments.windowSize});
  }

  std::vector<const Scene*> scenes;
  for (const Scene* scene : screens::registeredScenes()) {
    if (chosen(*scene, arguments.scenes)) scenes.push_back(scene);
  }
  if (scenes.empty()) {
    std::fprintf(stderr, "lorvex-screens: no scene matches\n");
    return 2;
  }
  std::error_code error;
  std::filesystem::create_directories(arguments.out, error);
  if (error) {
    std::fprintf(stderr, "lorvex-screens: cannot create %s: %s\n", arguments.out.c_str(),
                 error.message().c_str());
    return 1;
  }

  prepareEnvironment(arguments);
  QApplication& application = lorvex::ui::testing::uiTestApplication();
  application.setFont(lorvex::ui::interfaceFont(lorvex::ui::liveInterfaceLanguage()));
  lorvex::app::installQtTranslations(application, arguments.language);  // Qt's own texts, as the program
  lorvex::ui::setAnimationsEnabled(false);

  std::unique_ptr<ImageLibraryStore> library;
  const bool needsLibrary = std::any_of(
      scenes.begin(), scenes.end(), [](const Scene* scene) { return scene->source == SceneSource::library; });
  if (needsLibrary) {
    library = openLibrary(arguments);
    if (!library) return 1;
  }

  bool allWritten = true;
  int index = 0;
  for (const Scene* scene : scenes) {
    if (!renderScene(*scene, arguments, library.get(), index++)) allWritten = false;
  }
  return allWritten ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int status = renderScreens(argc, argv);
  // Like the program: every thread made on the way ends before the process exits.
  lorvex::app::endProgramThreads(std::chrono::steady_clock::now() + std::chrono::seconds(10));
  return status;
}
