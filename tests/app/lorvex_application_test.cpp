// The composition root over a real library in the test's own home: launch arguments, the single
// acknowledgments window, a folder registered through the picker path until the grid holds its 40
// images, and then the built `lorvex`, started offscreen over the same home, reporting its first
// page of those 40; settings that cannot be read, and a second `lorvex` on a profile one already
// runs.
#include "app/lorvex_application.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QToolButton>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/content_view.h"
#include "app/library_workspace.h"
#include "app/main_window.h"
#include "database/library_database_file.h"
#include "platform/settings.h"
#include "scripted_folder_picker.h"
#include "store/async/store_thread_pools.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "support/png_image.h"
#include "support/temporary_folder.h"
#include "ui/common/app_localization.h"
#include "ui/results/results_grid_list_view.h"
#include "ui/results/results_grid_view.h"
#include "ui/support/ui_test_environment.h"
#include "ui/support/widget_test.h"

#ifndef LORVEX_APP_EXECUTABLE
#error "LORVEX_APP_EXECUTABLE names the built lorvex"
#endif

namespace lorvex::app {
namespace {

using ui::testing::runEventsUntil;

// Reads the process's error output into `errors` until it holds `text`, the process ends or `limit`
// passes.
bool readErrorsUntil(QProcess& process, QByteArray& errors, const char* text,
                     std::chrono::milliseconds limit) {
  QElapsedTimer timer;
  timer.start();
  while (!errors.contains(text) && timer.elapsed() < limit.count() && process.state() == QProcess::Running) {
    process.waitForReadyRead(200);
    errors += process.readAllStandardError();
  }
  return errors.contains(text);
}

// 40 small decodable PNGs with the text chunks NovelAI writes.
std::filesystem::path writeNovelAIImages(const std::filesystem::path& folder, int count) {
  std::filesystem::create_directories(folder);
  for (int i = 0; i < count; ++i) {
    lorvex::testing::PNGImageSpec spec;
    spec.width = 16;
    spec.height = 24;
    const std::string prompt = "1girl, solo, image " + std::to_string(i);
    spec.textChunks = {
        {"Title", "NovelAI generated image"},
        {"Description", prompt},
        {"Software", "NovelAI"},
        {"Source", "NovelAI Diffusion V4.5 4BDE2A90"},
        {"Comment", "{\"prompt\": \"" + prompt +
                        "\", \"steps\": 28, \"height\": 24, \"width\": 16, \"scale\": 5.0, "
                        "\"seed\": " +
                        std::to_string(1000 + i) +
                        ", \"sampler\": \"k_euler_ancestral\", \"uc\": \"lowres\"}"},
    };
    const std::string bytes = lorvex::testing::encodePNGImage(spec);
    std::ofstream(folder / ("image-" + std::to_string(i) + ".png"), std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  return folder;
}

class LorvexApplicationTest : public ui::testing::WidgetTest {};

TEST_F(LorvexApplicationTest, LaunchArgumentsChooseRecordingModeTheSettingsAndTheUpdater) {
  struct Case {
    std::vector<std::string> arguments;
    bool recording;
    std::optional<std::string> runID;
  };
  const Case cases[] = {
      {{"lorvex"}, false, std::nullopt},
      {{"lorvex", "--recording-mode"}, true, std::nullopt},
      {{"lorvex", "--recording-mode=1"}, false, std::nullopt},
      {{"lorvex", "--ui-testing", "run-1", "--recording-mode"}, true, "run-1"},
      {{"lorvex", "--ui-testing"}, false, "invalid-invocation"},
      {{"lorvex", "--ui-testing-reset"}, false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    LorvexApplicationOptions options;
    options.arguments = c.arguments;
    options.folderPicker = std::make_unique<testing::ScriptedFolderPicker>();
    LorvexApplication application(std::move(options));
    EXPECT_EQ(application.resourceDisplay().isRecordingModeEnabled, c.recording);
    EXPECT_FALSE(application.resourceDisplay().homeDirectoryPath.empty());
    EXPECT_EQ(application.uiTestingRunID(), c.runID);
    EXPECT_EQ(application.updater() == nullptr, c.runID.has_value());
    EXPECT_EQ(application.mainWindow().findChild<QAction*>("menu.help.checkForUpdates"), nullptr);
    // Nothing is opened before the window shows.
    EXPECT_TRUE(application.store().context().needsLiveServicePreparation());
  }
}

TEST_F(LorvexApplicationTest, TheAcknowledgmentsWindowIsMadeOnceAndBroughtForward) {
  LorvexApplicationOptions options;
  options.arguments = {"lorvex"};
  options.folderPicker = std::make_unique<testing::ScriptedFolderPicker>();
  LorvexApplication application(std::move(options));
  EXPECT_EQ(application.acknowledgmentsWindowForTest(), nullptr);
  application.mainWindow().findChild<QAction*>("menu.help.acknowledgments")->trigger();
  QWidget* first = application.acknowledgmentsWindowForTest();
  ASSERT_NE(first, nullptr);
  first->move(first->screen()->availableGeometry().bottomRight() -
              QPoint(100, 100));  // left partly off screen
  first->close();
  application.mainWindow().findChild<QAction*>("menu.help.acknowledgments")->trigger();
  EXPECT_EQ(application.acknowledgmentsWindowForTest(), first);
  EXPECT_TRUE(first->isVisible());
  EXPECT_TRUE(first->screen()->availableGeometry().contains(first->frameGeometry()));
  int windows = 0;
  for (QWidget* widget : QApplication::topLevelWidgets())
    windows += widget->objectName() == "acknowledgments";
  EXPECT_EQ(windows, 1);
  EXPECT_GE(first->minimumWidth(), 560);
  EXPECT_GE(first->minimumHeight(), 440);
}

TEST_F(LorvexApplicationTest, AFolderRegisteredThroughThePickerFillsTheGridAndTheNextLaunchShowsIt) {
  const std::filesystem::path home = ui::testing::isolateHomeForProcess();
  const std::filesystem::path pictures = writeNovelAIImages(home / "pictures", 40);

  {
    auto picker = std::make_unique<testing::ScriptedFolderPicker>();
    picker->autoAnswer = std::vector<std::string>{pictures.string()};
    testing::ScriptedFolderPicker* pickerSeen = picker.get();
    LorvexApplicationOptions options;
    options.arguments = {"lorvex"};
    options.folderPicker = std::move(picker);
    LorvexApplication application(std::move(options));
    application.showMainWindow();
    ImageLibraryStore& store = application.store();
    // The launch ends by dropping its handle.
    ASSERT_TRUE(runEventsUntil(
        [&] {
          return !store.context().needsLiveServicePreparation() &&
                 !LibraryModelTestAccess::launchWorkflowTask(store.library());
        },
        std::chrono::seconds(30)));
    EXPECT_FALSE(store.context().needsLiveServicePreparation());
    EXPECT_EQ(store.context().errorMessage(), std::nullopt);

    application.mainWindow().contentView().state().presentFolderImporter();
    ASSERT_EQ(pickerSeen->openings.size(), 1U);
    EXPECT_TRUE(pickerSeen->openings[0].allowsMultipleSelection);
    ASSERT_TRUE(runEventsUntil(
        [&] {
          return store.results().resultWindow().records().size() == 40 && !store.library().isIndexing();
        },
        std::chrono::seconds(30)))
        << store.results().resultWindow().records().size();
    EXPECT_EQ(store.library().registeredFolderSummaries().size(), 1U);
    // The grid in the main window shows them.
    auto* grid = application.mainWindow().findChild<ui::ResultsGridView*>("resultsGrid");
    ASSERT_NE(grid, nullptr);
    ASSERT_TRUE(
        runEventsUntil([&] { return grid->grid().model()->rowCount() == 40; }, std::chrono::seconds(30)))
        << grid->grid().model()->rowCount();
    // The inspector stands beside the grid; its toolbar button hides it and the View menu follows.
    MainWindow& window = application.mainWindow();
    QWidget* inspector = window.contentView().workspace().inspector();
    ASSERT_NE(inspector->findChild<QWidget*>("detail.panel"), nullptr);
    auto* toggle = window.findChild<QToolButton*>("imageDetailPanel");
    ASSERT_NE(toggle, nullptr);
    EXPECT_TRUE(inspector->isVisible());
    toggle->click();
    EXPECT_FALSE(inspector->isVisible());
    EXPECT_EQ(window.inspectorActionForTest()->text(),
              QString::fromStdString(
                  ui::AppLocalization::live().lookup(ui::AppLocalizationKey::detailInspectorShow)));
    toggle->click();
    EXPECT_TRUE(inspector->isVisible());
  }
  // The windows and the store are gone; nothing of theirs is left running.
  // However long a loaded machine takes: a job that never ends hangs the test.
  EXPECT_TRUE(userInitiatedPool().waitForDone());
  EXPECT_TRUE(utilityPool().waitForDone());
  const std::filesystem::path library = std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "Lorvex";
  ASSERT_TRUE(std::filesystem::exists(library / kLibraryDatabaseFileName)) << library;

  QProcess lorvex;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  // The offscreen screen this test runs on (a desktop's size), so the window opens as on a desktop.
  environment.insert("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen"));
  environment.insert("LORVEX_TRACE", "1");
  lorvex.setProcessEnvironment(environment);  // HOME and XDG_* are this test's own
  lorvex.setProcessChannelMode(QProcess::SeparateChannels);
  lorvex.start(QStringLiteral(LORVEX_APP_EXECUTABLE), {});
  ASSERT_TRUE(lorvex.waitForStarted(10'000));
  QByteArray errors;
  readErrorsUntil(lorvex, errors, "FirstResultPage", std::chrono::seconds(30));
  lorvex.terminate();
  if (!lorvex.waitForFinished(10'000)) lorvex.kill();
  errors += lorvex.readAllStandardError();
  EXPECT_TRUE(errors.contains("event MainWindowShown")) << errors.toStdString();
  EXPECT_TRUE(errors.contains("event FirstResultPage count=40 ms=")) << errors.toStdString();
}

TEST_F(LorvexApplicationTest, SettingsThatCannotBeReadComeFromTheirLastGoodCopyOrAreReported) {
  ui::testing::isolateHomeForProcess();
  const std::filesystem::path settingsFolder = platform::Settings::defaultFolder();
  const std::string good = R"({"filterTags": ["kept"]})";
  struct Case {
    std::string runID;
    std::optional<std::string> lastGood;
    std::vector<std::string> expectedTags;
    bool expectAlert;
  };
  const Case cases[] = {
      {"damaged-with-copy", good, {"kept"}, false},
      {"damaged-without-copy", std::nullopt, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.runID);
    const std::filesystem::path file = settingsFolder / ("app.lorvex.UITests." + c.runID + ".json");
    std::filesystem::create_directories(settingsFolder);
    std::ofstream(file) << good.substr(0, 12);  // cut short, as by a full disk or a crash
    if (c.lastGood) std::ofstream(file.string() + ".lastgood") << *c.lastGood;

    LorvexApplicationOptions options;
    options.arguments = {"lorvex", "--ui-testing", c.runID};
    options.folderPicker = std::make_unique<testing::ScriptedFolderPicker>();
    LorvexApplication application(std::move(options));
    EXPECT_EQ(application.store().filters().savedFilterTags(), c.expectedTags);
    application.showMainWindow();
    ImageLibraryStore& store = application.store();
    ASSERT_TRUE(runEventsUntil(
        [&] {
          return !store.context().needsLiveServicePreparation() &&
                 !LibraryModelTestAccess::launchWorkflowTask(store.library());
        },
        std::chrono::seconds(30)));
    auto* alert = application.mainWindow().findChild<QMessageBox*>("settingsUnreadableAlert");
    ASSERT_EQ(alert != nullptr, c.expectAlert);
    if (!alert) continue;
    EXPECT_TRUE(alert->isVisible());
    const ui::AppLocalization& live = ui::AppLocalization::live();
    EXPECT_EQ(alert->text().toStdString(), live.lookup(ui::AppLocalizationKey::appSettingsUnreadableTitle));
    EXPECT_EQ(
        alert->informativeText().toStdString(),
        live.lookup(ui::AppLocalizationKey::appSettingsUnreadableMessage, {file.string() + ".unreadable"}));
    EXPECT_TRUE(std::filesystem::exists(file.string() + ".unreadable"));
    alert->findChild<QAbstractButton*>("common.close")->click();
    EXPECT_TRUE(runEventsUntil(
        [&] {
          return application.mainWindow().findChild<QMessageBox*>("settingsUnreadableAlert") == nullptr;
        },
        std::chrono::seconds(5)));
  }
}

TEST_F(LorvexApplicationTest, ASecondLaunchOnTheSameProfileRaisesTheFirstAndWritesNothing) {
  lorvex::testing::TemporaryFolder profile;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name :
       {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
    const std::filesystem::path folder = profile.path() / name;
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    environment.insert(name, QString::fromStdString(folder.string()));
  }
  // The offscreen screen this test runs on (a desktop's size), so the window opens as on a desktop.
  environment.insert("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen"));
  environment.insert("LORVEX_TRACE", "1");
  environment.insert("DBUS_SESSION_BUS_ADDRESS", "disabled:");
  // The settings of someone who uses the program: what the second launch must leave alone.
  const std::filesystem::path settingsFolder = profile.path() / "XDG_CONFIG_HOME" / "Lorvex";
  std::filesystem::create_directories(settingsFolder);
  std::ofstream(settingsFolder / "app.lorvex.Lorvex.json")
      << R"({"filterTags": ["kept"], "ui.librarySectionExpanded": false, "Lorvex.imageDetailPanel.rememberedWidth": 400})";
  const auto snapshot = [&] {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(settingsFolder)) {
      std::ifstream in(entry.path(), std::ios::binary);
      files[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
  };

  QProcess first;
  first.setProcessEnvironment(environment);
  first.start(QStringLiteral(LORVEX_APP_EXECUTABLE), {});
  ASSERT_TRUE(first.waitForStarted(10'000));
  QByteArray firstErrors;
  ASSERT_TRUE(readErrorsUntil(first, firstErrors, "FirstResultPage", std::chrono::hours(24)))
      << firstErrors.toStdString();
  const auto before = snapshot();

  QProcess second;
  second.setProcessEnvironment(environment);
  second.start(QStringLiteral(LORVEX_APP_EXECUTABLE), {});
  ASSERT_TRUE(second.waitForStarted(10'000));
  // A second launch that opened its own window would run until it is closed; one that hands over
  // ends by itself. Whichever comes first tells them apart, however long a loaded machine running
  // sanitized builds takes to start and end a process.
  QByteArray secondErrors;
  const bool shownItsOwnWindow =
      readErrorsUntil(second, secondErrors, "MainWindowShown", std::chrono::hours(24));
  if (shownItsOwnWindow) second.kill();
  second.waitForFinished(-1);
  secondErrors += second.readAllStandardError();
  EXPECT_FALSE(shownItsOwnWindow) << secondErrors.toStdString();
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(snapshot(), before);

  // The first one was asked for its window and still runs.
  EXPECT_TRUE(readErrorsUntil(first, firstErrors, "Another launch on this library asked for the window",
                              std::chrono::seconds(5)))
      << firstErrors.toStdString();
  EXPECT_EQ(first.state(), QProcess::Running);
  first.terminate();
  if (!first.waitForFinished(10'000)) first.kill();
}

}  // namespace
}  // namespace lorvex::app
