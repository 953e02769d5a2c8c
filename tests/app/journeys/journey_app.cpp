#include "journey_app.h"

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "app/desktop_integration.h"
#include "app/main_window.h"
#include "store/async/store_thread_pools.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "support/png_image.h"
#include "ui/support/ui_test_application.h"
#include "ui/support/ui_test_environment.h"

#ifndef LORVEX_FIXTURES_DIR
#error "LORVEX_FIXTURES_DIR names the shared generator fixtures"
#endif

namespace lorvex::journeys {

namespace {

constexpr std::chrono::seconds kLaunchLimit{60};

std::string& fixedLanguage() {
  static std::string language;
  return language;
}

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string twoDigits(int number) {
  return (number < 10 ? "0" : "") + std::to_string(number);
}

// NovelAI's chunks: portraits of one character, the later ones smiling under a night sky.
testing::PNGImageSpec novelAIPortrait(int index) {
  testing::PNGImageSpec spec;
  spec.width = 96;
  spec.height = 144;
  spec.colorType = testing::PNGColorType::rgba;
  std::string prompt = "1girl, solo, cat ears";
  if (index % 2 == 0) prompt += ", smile";
  if (index % 3 == 0) prompt += ", night sky";
  spec.textChunks = {
      {"Title", "NovelAI generated image"},
      {"Description", prompt},
      {"Software", "NovelAI"},
      {"Source", "NovelAI Diffusion V4.5 4BDE2A90"},
      {"Comment", "{\"prompt\": \"" + prompt +
                      "\", \"steps\": 28, \"height\": 144, \"width\": 96, \"scale\": 5.0, " +
                      "\"seed\": " + std::to_string(1000 + index) +
                      ", \"sampler\": \"k_euler_ancestral\", \"uc\": \"lowres\"}"},
  };
  return spec;
}

// The "parameters" text A1111 writes, for another model.
testing::PNGImageSpec a1111Image(int width, int height, testing::PNGColorType colorType,
                                 const std::string& prompt, const std::string& model, int seed) {
  testing::PNGImageSpec spec;
  spec.width = static_cast<std::uint32_t>(width);
  spec.height = static_cast<std::uint32_t>(height);
  spec.colorType = colorType;
  spec.textChunks = {
      {"parameters",
       prompt + "\nNegative prompt: lowres, blurry\nSteps: 20, Sampler: Euler a, CFG scale: 7, Seed: " +
           std::to_string(seed) + ", Size: " + std::to_string(width) + "x" + std::to_string(height) +
           ", Model hash: 31e35c80fc, Model: " + model},
  };
  return spec;
}

int writeGeneratedPictures(const std::filesystem::path& folder) {
  int written = 0;
  for (int i = 1; i <= 12; ++i, ++written) {
    writeFile(folder / ("portrait-" + twoDigits(i) + ".png"), testing::encodePNGImage(novelAIPortrait(i)));
  }
  for (int i = 1; i <= 8; ++i, ++written) {
    writeFile(folder / ("landscape-" + twoDigits(i) + ".png"),
              testing::encodePNGImage(a1111Image(144, 96, testing::PNGColorType::rgb,
                                                 "scenery, mountains, sunset, no humans", "sd_xl_base_1.0",
                                                 2000 + i)));
  }
  // Square ones with Japanese names ("sunset").
  for (int i = 1; i <= 4; ++i, ++written) {
    writeFile(folder / ("夕焼け-" + twoDigits(i) + ".png"),
              testing::encodePNGImage(a1111Image(
                  112, 112, i % 2 == 0 ? testing::PNGColorType::palette : testing::PNGColorType::grayscale,
                  "sunset, sky, clouds, smile", "dreamshaper_8", 3000 + i)));
  }
  return written;
}

// The real generators' files, when the shared fixtures are here; the broken ones stay out.
int copyFixtures(const std::filesystem::path& folder) {
  const std::filesystem::path fixtures(LORVEX_FIXTURES_DIR);
  std::error_code error;
  if (!std::filesystem::is_directory(fixtures, error)) return 0;
  int copied = 0;
  for (const char* relative :
       {"sd-metadata/novelai-full-3char.png", "sd-metadata/swarmui.png", "sd-metadata/comfyui-hires.png",
        "sd-metadata/forge-neo.png", "sd-parsers/NovelAI/novelai1_cropped.png",
        "sd-parsers/ComfyUI/img2img_cropped.png", "sd-parsers/AUTOMATIC1111/automatic1111_cropped.png"}) {
    const std::filesystem::path source = fixtures / relative;
    if (!std::filesystem::is_regular_file(source, error)) continue;
    std::filesystem::copy_file(source, folder / ("fixture-" + source.filename().string()),
                               std::filesystem::copy_options::overwrite_existing, error);
    if (!error) ++copied;
  }
  return copied;
}

}  // namespace

void prepareJourneyProcess(const std::string& language, const std::function<void()>& makeApplication) {
  if (!fixedLanguage().empty()) return;
  fixedLanguage() = language == "ja" ? "ja" : "en";
  const char* locale = fixedLanguage() == "ja" ? "ja_JP.UTF-8" : "en_US.UTF-8";
  setenv("LC_ALL", locale, 1);
  setenv("LANG", locale, 1);
  setenv("LANGUAGE", fixedLanguage().c_str(), 1);
  unsetenv("QT_SCALE_FACTOR");
  // A screen of a common desktop size rather than the offscreen default of 800x600, so popovers,
  // sheets and the slideshow are placed as on a person's screen.
  const std::filesystem::path screen = ui::testing::isolateHomeForProcess() / "offscreen-screen.json";
  writeFile(screen, R"({"screens": [{"name": "journey", "x": 0, "y": 0, "width": 1920, "height": 1200, )"
                    R"("logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screen.string()).c_str(), 1);
  if (makeApplication) makeApplication();
  ui::testing::uiTestApplication();
  QApplication::setApplicationName(QStringLiteral("Lorvex"));
  QApplication::setQuitOnLastWindowClosed(false);
  app::integrateWithDesktop(*qApp);
}

const std::string& journeyLanguage() {
  return fixedLanguage();
}

JourneyApp::JourneyApp(const std::string& name) {
  const std::filesystem::path base = ui::testing::isolateHomeForProcess();
  home_ = base / name;
  for (int attempt = 2; std::filesystem::exists(home_); ++attempt)
    home_ = base / (name + "-" + std::to_string(attempt));
  std::filesystem::create_directories(home_);
  ui::testing::pointHomeAt(home_);
  pictures_.folder = home_ / "Pictures" / "Lorvex";
  std::filesystem::create_directories(pictures_.folder);
  pictures_.generated = writeGeneratedPictures(pictures_.folder);
  pictures_.copiedFixtures = copyFixtures(pictures_.folder);
}

JourneyApp::~JourneyApp() {
  if (application_) quit();
}

app::MainWindow& JourneyApp::window() const {
  return application_->mainWindow();
}

QSize JourneyApp::minimumWindowSize() const {
  const app::MainWindow& main = window();
  return main.minimumSizeHint().expandedTo(main.minimumSize());
}

std::filesystem::path JourneyApp::trashFiles() const {
  return home_ / ".local/share/Trash/files";
}

bool JourneyApp::launch(std::optional<QSize> size) {
  start(size);
  return waitForLaunch();
}

void JourneyApp::start(std::optional<QSize> size) {
  auto picker = std::make_unique<app::testing::ScriptedFolderPicker>();
  picker_ = picker.get();
  app::LorvexApplicationOptions options;
  options.arguments = {"lorvex"};
  options.folderPicker = std::move(picker);
  application_ = std::make_unique<app::LorvexApplication>(std::move(options));
  application_->showMainWindow();
  if (size) window().resize(*size);
}

bool JourneyApp::waitForLaunch(const std::function<void()>& eachTurn) {
  // The launch ends by dropping its handle.
  ImageLibraryStore& library = store();
  return ui::testing::runEventsUntil(
      [&library, &eachTurn] {
        if (eachTurn) eachTurn();
        return !library.context().needsLiveServicePreparation() &&
               !LibraryModelTestAccess::launchWorkflowTask(library.library());
      },
      kLaunchLimit);
}

std::filesystem::path JourneyApp::libraryFolder() const {
  return home_ / ".local/share/Lorvex";
}

bool JourneyApp::quit() {
  if (!application_) return true;
  window().close();
  application_.reset();
  picker_ = nullptr;
  // However long a loaded machine takes: library work that never ends hangs the journey.
  const bool userInitiatedDone = userInitiatedPool().waitForDone();
  return utilityPool().waitForDone() && userInitiatedDone;
}

}  // namespace lorvex::journeys
