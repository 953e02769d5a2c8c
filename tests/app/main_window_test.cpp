// The main window offscreen over a store on the scripted service: its menus (order, shortcuts, what
// is enabled when), the shortcut help sheet, the picker's openings, the layers the composition
// shows, the inspector's remembered state and width, and what its first paint after a change shows.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTextEdit>
#include <fstream>
#include <optional>
#include <ostream>
#include <utility>

#include "app/acknowledgments_window.h"
#include "app/library_workspace.h"
#include "app/library_workspace_rules.h"
#include "scripted_folder_picker.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "support/temporary_folder.h"
#include "ui/common/app_localization.h"
#include "ui/detail/image_detail_preview.h"
#include "ui/detail/tag_concept_management_panel.h"
#include "ui/results/echo_localization.h"
#include "ui/support/widget_test.h"

namespace lorvex::app {
namespace {

using ui::testing::findByName;

class AvailableUpdater final : public Updater {
 public:
  bool isAvailable() const override { return true; }
  bool canCheckForUpdates() const override { return canCheck; }
  void setCanCheckChangedHandler(std::function<void(bool)> changed) override { handler = std::move(changed); }
  void checkForUpdates() override { ++checks; }
  bool canCheck = false;
  std::function<void(bool)> handler;
  int checks = 0;
};

class MainWindowTest : public ui::testing::WidgetTest {
 protected:
  void SetUp() override {
    store = harness.makeStore();
    makeWindow(nullptr);
  }
  void TearDown() override {
    window.reset();
    harness.service->releaseAll();
    harness.drainEvents();
  }
  void makeWindow(Updater* updater) {
    window.reset();
    window = std::make_unique<MainWindow>(
        *store, ui::ViewResourceDisplay{}, settings(), views, picker, updater,
        [this] { ++acknowledgmentsOpened; }, localization);
  }
  platform::Settings settings() const { return platform::Settings("app-test", folder.path()); }
  std::vector<QString> actionNames(const char* menuName) const {
    std::vector<QString> names;
    for (QAction* action : findByName<QMenu>(*window, menuName)->actions()) {
      names.push_back(action->isSeparator() ? QStringLiteral("-") : action->objectName());
    }
    return names;
  }
  void settle() {
    harness.drainEvents();
    ui::testing::drainUiEvents();
  }
  // A new window over a library of `records` whose first page has loaded, with the live views.
  void makeWindowOverLoadedResults(std::vector<ImageRecord> records) {
    harness.service->setRecords(std::move(records));
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {"/library"});
    ImageLibraryStore* s = store.get();
    store->context().startDetached([s] { return s->results().refreshResults(500, false); });
    settle();
    views = liveShellViews();
    makeWindow(nullptr);
  }

  lorvex::testing::TemporaryFolder folder;
  lorvex::testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
  ShellViews views;
  testing::ScriptedFolderPicker picker;
  ui::AppLocalization localization = ui::testing::echoLocalization();
  std::unique_ptr<MainWindow> window;
  int acknowledgmentsOpened = 0;
};

TEST_F(MainWindowTest, MenusListTheirItemsInOrderWithTheirKeys) {
  EXPECT_EQ(window->objectName(), "main");
  EXPECT_EQ(window->windowTitle(), "Lorvex");
  const QList<QAction*> menus = window->menuBar()->actions();
  ASSERT_EQ(menus.size(), 3);
  EXPECT_EQ(menus[0]->text(), "platform.menu.file");
  EXPECT_EQ(menus[1]->text(), "platform.menu.view");
  EXPECT_EQ(menus[2]->text(), "platform.menu.help");

  EXPECT_EQ(actionNames("menu.file"), (std::vector<QString>{"menu.file.quit"}));
  EXPECT_EQ(window->quitActionForTest()->text(), "platform.menu.quit");
  EXPECT_EQ(window->quitActionForTest()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

  EXPECT_EQ(actionNames("menu.view"), (std::vector<QString>{"menu.view.inspector"}));
  EXPECT_EQ(window->inspectorActionForTest()->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_I));
  EXPECT_EQ(actionNames("menu.help"),
            (std::vector<QString>{"menu.help.shortcutHelp", "menu.help.acknowledgments", "-",
                                  "menu.help.supportPage", "menu.help.privacyPolicy", "-",
                                  "menu.help.copyEnvironmentInfo", "-", "menu.help.donate"}));
  EXPECT_EQ(window->shortcutHelpActionForTest()->text(), "shortcutHelp.menuTitle");
  EXPECT_EQ(window->shortcutHelpActionForTest()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Slash));
  EXPECT_EQ(findByName<QMenu>(*window, "menu.help")->actions()[1]->text(), "acknowledgments.title");

  // No site is configured for this build: its pages stay disabled rather than guessed.
  for (const char* name : {"menu.help.supportPage", "menu.help.privacyPolicy", "menu.help.donate"}) {
    EXPECT_FALSE(window->findChild<QAction*>(name)->isEnabled()) << name;
  }
  EXPECT_TRUE(window->findChild<QAction*>("menu.help.copyEnvironmentInfo")->isEnabled());
  window->findChild<QAction*>("menu.help.acknowledgments")->trigger();
  EXPECT_EQ(acknowledgmentsOpened, 1);
}

TEST_F(MainWindowTest, MenuTextsDoubleTheirAmpersands) {
  const ui::AppLocalization ampersands([](std::string_view key, const ui::FormatArguments&) {
    return std::string("R&D ") + std::string(key);
  });
  localization = ampersands;
  makeWindow(nullptr);
  EXPECT_EQ(window->shortcutHelpActionForTest()->text(), "R&&D shortcutHelp.menuTitle");
  EXPECT_EQ(window->menuBar()->actions()[2]->text(), "R&&D platform.menu.help");
}

TEST_F(MainWindowTest, TheUpdateItemExistsOnlyWithAnAvailableUpdaterAndFollowsIt) {
  EXPECT_EQ(window->findChild<QAction*>("menu.help.checkForUpdates"), nullptr);  // none at all
  NullUpdater none;
  makeWindow(&none);
  EXPECT_EQ(window->findChild<QAction*>("menu.help.checkForUpdates"), nullptr);

  AvailableUpdater updater;
  makeWindow(&updater);
  QAction* check = window->findChild<QAction*>("menu.help.checkForUpdates");
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(actionNames("menu.help")[2], "menu.help.checkForUpdates");
  EXPECT_FALSE(check->isEnabled());
  updater.handler(true);
  EXPECT_TRUE(check->isEnabled());
  check->trigger();
  EXPECT_EQ(updater.checks, 1);
  updater.handler(false);
  EXPECT_FALSE(check->isEnabled());
}

TEST_F(MainWindowTest, NothingBindsCtrlZ) {
  const QKeySequence undo(Qt::CTRL | Qt::Key_Z);
  for (QAction* action : window->findChildren<QAction*>()) {
    for (const QKeySequence& shortcut : action->shortcuts())
      EXPECT_NE(shortcut, undo) << action->objectName().toStdString();
  }
  for (QShortcut* shortcut : window->findChildren<QShortcut*>()) EXPECT_NE(shortcut->key(), undo);
}

TEST_F(MainWindowTest, ShortcutHelpIsOfferedOnlyWhileTheMainWindowIsActiveAndOpensOnce) {
  AcknowledgmentsWindow acknowledgments(localization);
  window->show();
  acknowledgments.show();
  QApplication::setActiveWindow(&acknowledgments);
  settle();
  EXPECT_FALSE(window->shortcutHelpActionForTest()->isEnabled());

  QApplication::setActiveWindow(window.get());
  settle();
  ASSERT_TRUE(window->shortcutHelpActionForTest()->isEnabled());
  window->shortcutHelpActionForTest()->trigger();
  settle();
  QDialog* sheet = window->contentView().shortcutHelpSheetForTest();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->objectName(), "shortcutHelp");
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
  EXPECT_EQ(sheet->minimumSize(), QSize(560, 520));
  EXPECT_EQ(sheet->size(), QSize(620, 640));

  // Asking again while it is open (the results header's button) changes nothing.
  window->contentView().state().presentShortcutHelp();
  settle();
  EXPECT_EQ(window->findChildren<QDialog*>("shortcutHelp").size(), 1);

  findByName<QAbstractButton>(*sheet, "shortcutHelp.close")->click();
  settle();
  EXPECT_FALSE(window->contentView().state().isShortcutHelpPresented());
  EXPECT_EQ(window->contentView().shortcutHelpSheetForTest(), nullptr);
}

TEST_F(MainWindowTest, TheSheetListsEverySectionWithItsBadges) {
  window->contentView().state().presentShortcutHelp();
  settle();
  QDialog* sheet = window->contentView().shortcutHelpSheetForTest();
  ASSERT_NE(sheet, nullptr);
  for (const char* section :
       {"global", "filtering", "grid", "quickLook", "review", "slideshow", "deleteCandidateReview"}) {
    EXPECT_NE(findByName(*sheet, QStringLiteral("shortcutHelp.section.") + section), nullptr) << section;
  }
  const auto badges = sheet->findChildren<QLabel*>("shortcutHelp.badge");
  EXPECT_EQ(badges.size(), 28);
  for (QLabel* badge : badges) {
    EXPECT_GE(badge->minimumWidth(), 96);
    EXPECT_EQ(badge->textFormat(), Qt::PlainText);
  }
  EXPECT_EQ(badges.front()->text(), "Ctrl+/");
}

TEST_F(MainWindowTest, ThePickerOpensForWhatWasAskedAndItsAnswerReachesTheStore) {
  ContentViewState& state = window->contentView().state();
  window->show();
  state.presentFolderImporter();
  ASSERT_EQ(picker.openings.size(), 1U);
  EXPECT_TRUE(picker.openings.back().allowsMultipleSelection);
  picker.answer(std::vector<std::string>{"/p/a", "/p/b"});
  settle();
  ASSERT_EQ(harness.service->calls("registerFolders").size(), 1U);
  EXPECT_EQ(harness.service->calls("registerFolders")[0].paths, (std::vector<std::string>{"/p/a", "/p/b"}));

  state.presentFolderReauthorization("/p/old");
  ASSERT_EQ(picker.openings.size(), 2U);
  EXPECT_FALSE(picker.openings.back().allowsMultipleSelection);
  picker.answer(FolderPickerError{"denied"});
  EXPECT_EQ(store->context().errorMessage(), "denied");

  // A cancelled picker changes nothing and can be opened again.
  state.presentFolderImporter();
  picker.answer(std::nullopt);
  state.presentFolderImporter();
  EXPECT_EQ(picker.openings.size(), 4U);
  picker.answer(std::nullopt);
  settle();
  EXPECT_EQ(harness.service->calls("registerFolders").size(), 1U);
  EXPECT_EQ(harness.service->calls("reauthorizeFolder").size(), 0U);
}

TEST_F(MainWindowTest, TheLayersShowWhileTheirStateHolds) {
  ContentView& content = window->contentView();
  window->show();
  settle();
  EXPECT_TRUE(content.splitView()->isEnabled());
  EXPECT_FALSE(content.indexingCardLayerForTest()->isVisible());
  EXPECT_FALSE(content.previewLayerForTest()->isVisible());
  EXPECT_FALSE(content.feedbackLayerForTest()->isVisible());

  store->context().setNeedsLiveServicePreparation(true);
  EXPECT_FALSE(content.splitView()->isEnabled());
  EXPECT_TRUE(content.indexingCardLayerForTest()->isVisible());
  store->context().setNeedsLiveServicePreparation(false);
  LibraryModelTestAccess::setIsPreparingLibrary(store->library(), true);
  EXPECT_FALSE(content.splitView()->isEnabled());
  EXPECT_TRUE(content.indexingCardLayerForTest()->isVisible());
  LibraryModelTestAccess::setIsPreparingLibrary(store->library(), false);
  EXPECT_TRUE(content.splitView()->isEnabled());
  EXPECT_FALSE(content.indexingCardLayerForTest()->isVisible());

  content.state().presentQuickLook("file:///library/0.png");
  EXPECT_TRUE(content.previewLayerForTest()->isVisible());
  EXPECT_FALSE(content.splitView()->isEnabled());
  content.state().dismissQuickLook();
  EXPECT_FALSE(content.previewLayerForTest()->isVisible());
  EXPECT_TRUE(content.splitView()->isEnabled());
}

TEST_F(MainWindowTest, TheInspectorKeepsItsOpenStateAndWidthAcrossWindows) {
  window->resize(1400, 800);
  window->show();
  settle();
  LibraryWorkspace& workspace = window->contentView().workspace();
  EXPECT_TRUE(workspace.isInspectorPresented());
  EXPECT_EQ(workspace.inspector()->width(), 360);  // first launch
  EXPECT_GE(workspace.splitter()->widget(0)->width(), kWorkspaceGridMinimumWidth);

  // The user drags the divider: the width is remembered.
  const QList<int> sizes = workspace.splitter()->sizes();
  workspace.splitter()->setSizes({sizes[0] + sizes[1] - 450, 450});
  settle();
  EXPECT_EQ(workspace.inspector()->width(), 450);
  workspace.flushSettings();
  EXPECT_EQ(settings().real(kInspectorRememberedWidthKey), 450.0);

  window->inspectorActionForTest()->trigger();
  EXPECT_FALSE(workspace.isInspectorPresented());
  EXPECT_FALSE(workspace.inspector()->isVisible());
  EXPECT_EQ(window->inspectorActionForTest()->text(), "detail.inspector.show");
  EXPECT_EQ(settings().boolean(kInspectorPresentedKey), false);

  makeWindow(nullptr);
  window->resize(1400, 800);
  window->show();
  settle();
  LibraryWorkspace& again = window->contentView().workspace();
  EXPECT_FALSE(again.isInspectorPresented());
  window->inspectorActionForTest()->trigger();
  settle();
  EXPECT_EQ(window->inspectorActionForTest()->text(), "detail.inspector.hide");
  EXPECT_EQ(again.inspector()->width(), 450);
}

TEST_F(MainWindowTest, CopyingTheEnvironmentReplacesTheClipboard) {
  QApplication::clipboard()->setText(QStringLiteral("something else"));
  window->findChild<QAction*>("menu.help.copyEnvironmentInfo")->trigger();
  const QString text = QApplication::clipboard()->text();
  EXPECT_TRUE(text.startsWith("Lorvex 0.1.0 (")) << text.toStdString();
  EXPECT_TRUE(text.contains("\nLinux ")) << text.toStdString();
}

TEST_F(MainWindowTest, TheAcknowledgmentsNameEveryComponentAboveItsLicenceOrTheUnavailableText) {
  lorvex::testing::TemporaryFolder licenses;
  std::ofstream(licenses.path() / "Qt-LICENSE.txt") << "Qt <b>licence</b> & terms\n";
  std::ofstream(licenses.path() / "SQLite-LICENSE.txt") << "Caf\xe9\n";  // not UTF-8
  AcknowledgmentsWindow acknowledgments(localization, nullptr, licenses.path().string());
  auto* text = findByName<QTextEdit>(acknowledgments, "acknowledgments.text");
  ASSERT_NE(text, nullptr);
  const QString shown = text->toPlainText();
  // Plain text: markup in a licence is shown, not interpreted.
  EXPECT_TRUE(shown.startsWith("Qt\nQt <b>licence</b> & terms\n")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("SQLite\nacknowledgments.licenseUnavailable")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("QCoro\nacknowledgments.licenseUnavailable"));
  EXPECT_TRUE(shown.endsWith("libjpeg-turbo\nacknowledgments.licenseUnavailable"));
  EXPECT_TRUE(text->isReadOnly());
  EXPECT_EQ(acknowledgments.minimumSize(), QSize(560, 440));
}

TEST_F(MainWindowTest, CtrlZUndoesAMarkOnlyWhileNothingCoversTheGrid) {
  makeWindowOverLoadedResults(lorvex::testing::makeLibraryRecords(3));
  window->show();
  QApplication::setActiveWindow(window.get());
  settle();

  const auto pressCtrlZ = [this] {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, QStringLiteral("z"));
    QApplication::sendEvent(target, &press);
    settle();
  };
  const auto markFocused = [this] {
    store->results().selection().selectSingle("/library/0.png");
    store->review().toggleFocusedRecordDeleteCandidate();
    settle();
    ASSERT_TRUE(store->review().canUndoDeleteCandidateAction());
  };

  markFocused();
  window->contentView().state().presentQuickLook("file:///library/0.png");
  settle();
  pressCtrlZ();
  EXPECT_TRUE(store->review().canUndoDeleteCandidateAction());  // the preview covers the grid: not undone
  window->contentView().state().dismissQuickLook();
  store->presentation().setIsTagAdditionPopoverPresented(true);
  pressCtrlZ();
  EXPECT_TRUE(store->review().canUndoDeleteCandidateAction());
  store->presentation().setIsTagAdditionPopoverPresented(false);

  pressCtrlZ();
  EXPECT_FALSE(store->review().canUndoDeleteCandidateAction());
  EXPECT_EQ(harness.service->calls("restoreDeleteCandidateStates").size(), 1U);
}

TEST_F(MainWindowTest, WithTagConceptsOnTheTagPopoverOpensTheInspectorsConceptPanel) {
  lorvex::testing::StoreOptions options;
  options.featureAvailability.isTagConceptEnabled = true;
  window.reset();
  store = harness.makeStore(options);
  views = liveShellViews();
  makeWindow(nullptr);
  window->show();
  settle();
  store->presentation().presentTagAdditionPopover();
  settle();
  QPushButton* manage = nullptr;
  for (auto* button : QApplication::allWidgets()) {
    auto* push = qobject_cast<QPushButton*>(button);
    if (push && push->isVisible() &&
        push->text() == QString::fromStdString(
                            ui::AppLocalization::live().lookup(ui::AppLocalizationKey::tagConceptManage))) {
      manage = push;
    }
  }
  ASSERT_NE(manage, nullptr);
  manage->click();
  settle();
  bool shown = false;
  for (auto* panel : QApplication::allWidgets()) {
    if (qobject_cast<ui::TagConceptManagementPanel*>(panel) && panel->isVisible()) shown = true;
  }
  EXPECT_TRUE(shown);
  store->presentation().setIsTagAdditionPopoverPresented(false);
  settle();
}

// What the window shows of the store in the views that follow it through queued updates.
struct ShownState {
  std::string inspected;  // the inspector's record
  QRect inspectedRows;    // where its metadata rows sit, under its tags
  bool inspectorScrolls = false;
  QString status;  // the header's count
  bool searching = false;
  QStringList chips;      // the filter summary's chips
  QStringList savedTags;  // the sidebar's saved filter tag rows
  bool operator==(const ShownState&) const = default;
};

void PrintTo(const ShownState& shown, std::ostream* out) {
  *out << "{inspected " << shown.inspected << ", status " << shown.status.toStdString() << ", searching "
       << shown.searching << ", rows at " << shown.inspectedRows.y() << ", scrolls " << shown.inspectorScrolls
       << ", chips " << shown.chips.join(',').toStdString() << ", saved tags "
       << shown.savedTags.join(',').toStdString() << "}";
}

ShownState shownState(QWidget& window) {
  ShownState shown;
  if (auto* preview = findByName<ui::ImageDetailPreview>(window, "detail.preview");
      preview && preview->record()) {
    shown.inspected = preview->record()->file.path;
  }
  if (auto* inspector = findByName<QAbstractScrollArea>(window, "detail.panel")) {
    shown.inspectorScrolls = inspector->verticalScrollBar()->isVisible();
  }
  if (auto* rows = findByName<QWidget>(window, "detail.metadata")) {
    shown.inspectedRows = QRect(rows->mapTo(&window, QPoint(0, 0)), rows->size());
  }
  if (auto* status = findByName<QLabel>(window, "results.status")) shown.status = status->text();
  if (auto* searching = findByName<QWidget>(window, "results.searching"))
    shown.searching = searching->isVisible();
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (!widget->isVisible()) continue;
    if (widget->objectName().startsWith("results.filterChip")) shown.chips.append(widget->objectName());
    if (widget->objectName().startsWith("sidebar.filter.savedTag"))
      shown.savedTags.append(widget->objectName());
  }
  shown.chips.sort();
  shown.savedTags.sort();
  return shown;
}

// Takes what the window shows when it next paints, once armed.
class NextPaint : public QObject {
 public:
  explicit NextPaint(QWidget& window) : window_(window) { window.installEventFilter(this); }
  void arm() { armed_ = true; }
  std::optional<ShownState> shown;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (armed_ && watched == &window_ && event->type() == QEvent::UpdateRequest) {
      armed_ = false;
      shown = shownState(window_);
    }
    return false;
  }

 private:
  QWidget& window_;
  bool armed_ = false;
};

TEST_F(MainWindowTest, TheFirstPaintAfterAChangeShowsEveryViewCaughtUpWithTheStore) {
  std::vector<ImageRecord> records = lorvex::testing::makeLibraryRecords(6);
  records[3].promptTags = {"cat"};
  records[4].promptTags = {"cat"};
  for (int tag = 0; tag < 120; ++tag) records[5].promptTags.push_back("tag " + std::to_string(tag));
  makeWindowOverLoadedResults(std::move(records));
  ImageLibraryStore* s = store.get();
  window->resize(1280, 800);
  window->show();
  settle();
  ASSERT_EQ(store->results().selectedRecord()->file.path, "/library/0.png");

  // Each change arms the watch where it is applied: a search when its result replaces the window,
  // in a later turn than the one that showed it searching (the library answers when let go).
  NextPaint next(*window);
  QObject::connect(&store->results().resultWindow(), &SearchResultWindow::recordsChanged, &next,
                   [&next] { next.arm(); });
  harness.service->hold("searchImages");
  struct Row {
    const char* change;
    bool searches;
    std::function<void()> make;
  };
  const std::vector<Row> rows = {
      {"a tag filter's result arrives and moves the focus", true,
       [s] { s->context().startDetached([s] { return s->filters().addFilterTag("cat"); }); }},
      {"the focus moves", false,
       [s, &next] {
         s->results().selection().selectSingle("/library/4.png");
         next.arm();
       }},
      {"the filters are cleared and the whole library comes back", true,
       [s] { s->context().startDetached([s] { return s->filters().clearAllFilters(); }); }},
      {"the focus moves to an image whose tags overflow the inspector", false,
       [s, &next] {
         s->results().selection().selectSingle("/library/5.png");
         next.arm();
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.change);
    next.shown.reset();
    // Each time the window's next paint is already queued when the change is applied, as the
    // spinner's next frame or the indexing card's progress queue it.
    if (row.searches) {
      row.make();
      settle();  // the window shows the search running
      harness.service->releaseAll();
      harness.userInitiatedPool.waitForDone();
      QCoreApplication::sendPostedEvents();  // the result is back on this thread, applied next turn
      window->update();
    } else {
      window->update();
      QMetaObject::invokeMethod(window.get(), row.make, Qt::QueuedConnection);
    }
    settle();
    ASSERT_TRUE(next.shown.has_value()) << "the window did not paint after the change";
    EXPECT_EQ(*next.shown, shownState(*window));
  }
  EXPECT_TRUE(shownState(*window).inspectorScrolls);
}

}  // namespace
}  // namespace lorvex::app
