// What a Linux desktop gives a window and Lorvex has to give itself, tried through the main window
// on a 1920 × 1080 screen: Quit by its key, the window's size, place and sidebar width at the next
// launch (brought back inside the screen), the folder picker titled for what it does and opening
// in the home folder or beside the folder chosen last, Qt's own texts in Japanese, and a message
// when no file manager can show a folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QtTest/QTest>
#include <filesystem>

#include "app/desktop_integration.h"
#include "app/folder_import.h"
#include "app/folder_picker.h"
#include "app/main_window.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "support/temporary_folder.h"
#include "ui/common/localization_table.h"
#include "ui/common/phrase_line_breaks.h"
#include "ui/common/plain_text.h"
#include "ui/common/reveal_in_file_manager.h"
#include "ui/support/ui_test_environment.h"
#include "ui/support/widget_test.h"

namespace lorvex::app {
namespace {

using ui::testing::findByName;

const QSize kScreen(1920, 1080);
const QRect kSmall(1920, 0, 800, 600);  // narrower than the window's minimum

class WindowPlatformTest : public ui::testing::WidgetTest {
 public:
  // A screen of a desktop's size: Qt's offscreen platform reads it from a file named at start-up.
  static void SetUpTestSuite() {
    const std::filesystem::path config = ui::testing::isolateHomeForProcess() / "screens.json";
    QFile file(QString::fromStdString(config.string()));
    if (file.open(QIODevice::WriteOnly)) {
      file.write(QStringLiteral(R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": %1, "height": %2,
                                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
                                  {"name": "small", "x": 1920, "y": 0, "width": 800, "height": 600}]})")
                     .arg(kScreen.width())
                     .arg(kScreen.height())
                     .toUtf8());
      file.close();  // read by the platform as the application starts, below
    }
    qputenv("QT_QPA_PLATFORM",
            QByteArray("offscreen:configfile=") + QByteArray::fromStdString(config.string()));
    WidgetTest::SetUpTestSuite();
  }

 protected:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry().size(), kScreen);
    store = harness.makeStore();
  }
  void TearDown() override {
    window.reset();
    harness.service->releaseAll();
    harness.drainEvents();
  }

  // A window as a launch makes it: over the settings of the previous ones.
  MainWindow& launch(FolderPicker* folderPicker = nullptr) {
    window.reset();
    window = std::make_unique<MainWindow>(
        *store, ui::ViewResourceDisplay{}, settings(), views, folderPicker ? *folderPicker : *livePicker,
        nullptr, [] {}, localization);
    window->show();
    QApplication::setActiveWindow(window.get());
    settle();
    return *window;
  }
  platform::Settings settings() const { return platform::Settings("window-platform", folder.path()); }
  void settle() {
    harness.drainEvents();
    ui::testing::drainUiEvents();
    harness.drainEvents();
  }
  void quitByKey() {
    bool closed = false;
    QObject::connect(window.get(), &MainWindow::closed, [&closed] { closed = true; });
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    settle();
    EXPECT_TRUE(closed) << "Ctrl+Q did not quit";
  }
  int sidebarWidth() const { return window->contentView().splitView()->sizes().value(0); }
  QFileDialog* openPicker() const {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) return dialog;
    }
    return nullptr;
  }

  lorvex::testing::TemporaryFolder folder;
  lorvex::testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
  ShellViews views = liveShellViews();
  std::unique_ptr<FolderPicker> livePicker = makeFileDialogFolderPicker();
  ui::AppLocalization localization =
      ui::AppLocalization::overTable(ui::bundledLocalizationTable(ui::kEnglishLanguage), ".");
  std::unique_ptr<MainWindow> window;
};

TEST_F(WindowPlatformTest, QuitByItsKeyKeepsTheWindowForTheNextLaunch) {
  MainWindow& first = launch();
  QAction* quit = first.quitActionForTest();
  ASSERT_NE(quit, nullptr);
  EXPECT_EQ(quit->text().toStdString(), localization.lookup("platform.menu.quit"));
  EXPECT_EQ(first.menuBar()->actions().value(0)->text().toStdString(),
            localization.lookup("platform.menu.file"));
  first.resize(1400, 900);
  first.move(120, 60);
  settle();
  // The sidebar dragged wider by its handle.
  QSplitterHandle* handle = first.contentView().splitView()->handle(1);
  const int before = sidebarWidth();
  const QPoint grip = handle->rect().center();
  QTest::mousePress(handle, Qt::LeftButton, {}, grip);
  QTest::mouseMove(handle, grip + QPoint(70, 0));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(70, 0));
  settle();
  const int dragged = sidebarWidth();
  ASSERT_GT(dragged, before);
  const QRect placed = first.geometry();
  quitByKey();
  EXPECT_FALSE(window->isVisible());

  launch();
  EXPECT_EQ(window->geometry(), placed);
  EXPECT_EQ(sidebarWidth(), dragged);
}

TEST_F(WindowPlatformTest, AWindowKeptFromALargerScreenComesBackInsideThisOne) {
  MainWindow& first = launch();
  first.resize(3200, 2000);
  first.move(2500, 1900);
  settle();
  quitByKey();

  launch();
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(available.contains(window->frameGeometry()))
      << "at " << window->frameGeometry().x() << "," << window->frameGeometry().y() << " "
      << window->frameGeometry().width() << "x" << window->frameGeometry().height();
  EXPECT_GE(window->width(), window->minimumSizeHint().width());
}

TEST_F(WindowPlatformTest, AWindowKeptFromALargerScreenOpensMaximizedOnOneBelowItsMinimum) {
  MainWindow& first = launch();
  first.move(kSmall.topLeft() + QPoint(10, 10));
  settle();
  quitByKey();
  launch();
  EXPECT_TRUE(window->isMaximized()) << "the window's minimum width is " << window->minimumSizeHint().width();
}

TEST(WindowPlacementInside, TheFrameFitsTheScreenOrTheWindowIsMaximized) {
  const struct {
    QRect frame;
    QSize minimum;  // frame included
    WindowPlacement expected;
  } cases[] = {
      {{0, 0, 1282, 845}, {900, 600}, {{0, 0, 1282, 768}, false}},       // a 20 px title bar too tall
      {{200, 100, 1602, 1025}, {900, 600}, {{0, 0, 1366, 768}, false}},  // from a 1600×1000 screen
      {{100, 50, 1280, 820}, {900, 800}, {{86, 0, 1280, 800}, true}},    // minimum taller than the screen
  };
  for (const auto& c : cases) {
    const WindowPlacement placed = windowPlacementInside(c.frame, QRect(0, 0, 1366, 768), c.minimum);
    EXPECT_EQ(placed.frame, c.expected.frame) << c.frame.width() << "x" << c.frame.height();
    EXPECT_EQ(placed.maximized, c.expected.maximized) << c.frame.width() << "x" << c.frame.height();
  }
}

TEST(WindowGeometryInside, MovesAndShrinksIntoTheScreenNeverBelowTheMinimum) {
  const QRect screen(0, 0, 1920, 1080);
  const struct {
    QRect window;
    QSize minimum;
    QRect expected;
  } cases[] = {
      {{100, 80, 1280, 820}, {900, 600}, {100, 80, 1280, 820}},      // inside: unchanged
      {{2500, 1900, 1280, 820}, {900, 600}, {640, 260, 1280, 820}},  // off the bottom right
      {{-400, -50, 1280, 820}, {900, 600}, {0, 0, 1280, 820}},       // off the top left
      {{300, 200, 3200, 2000}, {900, 600}, {0, 0, 1920, 1080}},      // larger than the screen
      {{300, 200, 1280, 820}, {2400, 600}, {0, 200, 2400, 820}},     // minimum wider than the screen
      {{1900, 100, 1280, 820}, {900, 600}, {640, 100, 1280, 820}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(windowGeometryInside(c.window, screen, c.minimum), c.expected)
        << c.window.x() << "," << c.window.y() << " " << c.window.width() << "x" << c.window.height();
  }
  EXPECT_EQ(windowGeometryInside({5, 5, 10, 10}, QRect(), {1, 1}), QRect(5, 5, 10, 10));
}

TEST_F(WindowPlatformTest, ThePickerIsTitledForWhatItDoesAndOpensNearTheLastChoice) {
  launch();
  auto* add = findByName<QPushButton>(*window, "sidebar.library.addFolder");
  ASSERT_NE(add, nullptr);
  ASSERT_TRUE(add->isVisible());
  QTest::mouseClick(add, Qt::LeftButton);
  settle();
  QFileDialog* picker = openPicker();
  ASSERT_NE(picker, nullptr);
  EXPECT_EQ(picker->windowTitle().toStdString(), localization.lookup("platform.folderPicker.addFolders"));
  EXPECT_EQ(picker->directory().absolutePath(), QDir::homePath());

  // A folder typed in and taken with Return is registered, and the next picker opens beside it.
  const std::filesystem::path chosen =
      std::filesystem::path(QDir::homePath().toStdString()) / "Pictures" / "NovelAI";
  std::filesystem::create_directories(chosen);
  auto* name = picker->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(name, nullptr);
  QTest::keyClicks(name, QString::fromStdString(chosen.string()));
  QTest::keyClick(name, Qt::Key_Return);
  settle();
  ASSERT_EQ(openPicker(), nullptr);
  const auto registrations = harness.service->calls("registerFolders");
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].paths, (std::vector<std::string>{chosen.string()}));

  launch();  // remembered across launches
  window->contentView().state().presentFolderImporter();
  settle();
  picker = openPicker();
  ASSERT_NE(picker, nullptr);
  EXPECT_EQ(picker->directory().absolutePath().toStdString(), chosen.parent_path().string());
  picker->reject();
  settle();

  // Granting access again names the folder and opens where it was.
  window->contentView().state().presentFolderReauthorization(chosen.string());
  settle();
  picker = openPicker();
  ASSERT_NE(picker, nullptr);
  EXPECT_EQ(picker->windowTitle().toStdString(),
            localization.lookup("platform.folderPicker.reauthorize", {std::string("NovelAI")}));
  EXPECT_EQ(picker->directory().absolutePath().toStdString(), chosen.parent_path().string());
  picker->reject();
  settle();
}

TEST(FolderPickerStartFolder, TheChosenFoldersParentWhileItExistsElseHome) {
  const auto directories = [](const std::string& path) {
    return path == "/home/ann/Pictures" || path == "/media/usb" || path == "/";
  };
  const auto registration = FolderImportRequest::registration();
  const struct {
    FolderImportRequest request;
    std::optional<std::string> lastChosen;
    std::string expected;
  } cases[] = {
      {registration, std::nullopt, "/home/ann"},
      {registration, "/home/ann/Pictures/NovelAI", "/home/ann/Pictures"},
      {registration, "/home/ann/Pictures/NovelAI/", "/home/ann/Pictures"},
      {registration, "/gone/away/folder", "/home/ann"},
      {registration, "relative/folder", "/home/ann"},
      {registration, "/", "/"},
      {FolderImportRequest::reauthorization("/media/usb/old renders"), "/home/ann/Pictures/x", "/media/usb"},
      {FolderImportRequest::reauthorization("/unplugged/disk/renders"), "/home/ann/Pictures/x", "/home/ann"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(folderPickerStartFolder(c.request, c.lastChosen, "/home/ann", directories), c.expected)
        << c.lastChosen.value_or("(none)") << " " << c.request.path;
  }
}

TEST_F(WindowPlatformTest, QtsOwnTextsAndTheFileManagersSilenceAreInJapanese) {
  ASSERT_TRUE(installQtTranslations(*QCoreApplication::instance(), ui::kJapaneseLanguage))
      << "Qt's translations are not installed (qt6-translations-l10n)";
  localization = ui::AppLocalization::overTable(ui::bundledLocalizationTable(ui::kJapaneseLanguage), ".");
  launch();

  // A standard button and a text field's menu, as Qt makes them.
  QDialogButtonBox buttons(QDialogButtonBox::Cancel);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
  QLineEdit field;
  field.setText(QStringLiteral("x"));
  std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
  QStringList titles;
  for (QAction* action : menu->actions()) titles << action->text();
  EXPECT_TRUE(titles.join(' ').contains(QStringLiteral("コピー"))) << titles.join(' ').toStdString();

  // "Show in File Manager" with no file manager and nothing to open folders: said, in Japanese.
  ui::setFileManagerRevealer(std::make_shared<ui::FreedesktopFileManagerRevealer>(
      [](const std::string&) { return false; }, &localization));
  const std::vector<RegisteredFolderSummary> folders = {{"/home/ann/Pictures/NovelAI", "NovelAI",
                                                         RegisteredFolderAccessState::available, 3, 0,
                                                         std::nullopt, std::nullopt}};
  harness.service->setRegisteredFolderSummaries(folders);
  LibraryModelTestAccess::setRegisteredFolderSummaries(store->library(), folders);
  settle();
  auto* actions = findByName<QToolButton>(*window, "sidebar.library.actions");
  ASSERT_NE(actions, nullptr);
  QTimer::singleShot(0, [&] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    for (QAction* action : popup->actions()) {
      // The sidebar of the live views speaks the process's language.
      if (action->text() ==
          ui::mnemonicSafe(ui::qtText(ui::AppLocalization::live().lookup("common.openInFinder")))) {
        action->trigger();
      }
    }
    popup->close();
  });
  QTest::mouseClick(actions, Qt::LeftButton);
  settle();
  QMessageBox* box = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == "revealFailure" && widget->isVisible())
      box = qobject_cast<QMessageBox*>(widget);
  }
  ASSERT_NE(box, nullptr) << "nothing was said";
  // The box's labels hold Japanese with the joiners that keep its phrases whole.
  EXPECT_EQ(ui::withoutPhraseJoiners(box->text()).toStdString(),
            localization.lookup("platform.reveal.failed.title"));
  EXPECT_EQ(ui::withoutPhraseJoiners(box->informativeText()).toStdString(),
            localization.lookup("platform.reveal.failed.message", {std::string("NovelAI")}));
  box->button(QMessageBox::Ok)->click();
  settle();

  ui::setFileManagerRevealer(nullptr);
  for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
    QCoreApplication::removeTranslator(translator);
    delete translator;
  }
}

}  // namespace
}  // namespace lorvex::app
