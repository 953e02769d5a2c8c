#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QUrl>
#include <QWindow>
#include <algorithm>

#include "app/environment_info.h"
#include "app/library_workspace.h"
#include "app/shortcut_help_presentation.h"
#include "store/image_library_store.h"
#include "store/results/results_model.h"
#include "ui/common/clipboard.h"
#include "ui/common/plain_text.h"
#include "ui/common/search_paint_hold.h"
#include "ui/common/turn_end_before_paint.h"

namespace lorvex::app {

namespace {

QString menuText(const std::string& text) {
  return ui::mnemonicSafe(ui::qtText(text));
}

}  // namespace

MainWindow::MainWindow(ImageLibraryStore& store, ui::ViewResourceDisplay resourceDisplay,
                       platform::Settings appStorage, const ShellViews& views, FolderPicker& folderPicker,
                       Updater* updater, std::function<void()> openAcknowledgments,
                       const ui::AppLocalization& localization, QWidget* parent)
    : QMainWindow(parent), localization_(localization), appStorage_(appStorage) {
  setObjectName(QStringLiteral("main"));
  setWindowTitle(QStringLiteral("Lorvex"));
  contentView_ = new ContentView(store, std::move(resourceDisplay), std::move(appStorage), views,
                                 folderPicker, localization, this);
  setCentralWidget(contentView_);
  new ui::TurnEndBeforePaint(this);
  auto* searchPaintHold = new ui::SearchPaintHold(*this, ui::kSearchPaintHold, this);
  ResultsModel& results = store.results();
  connect(&results, &ResultsModel::isLoadingChanged, searchPaintHold,
          [searchPaintHold, &results] { searchPaintHold->setSearchRunning(results.isLoading()); });
  resize(1280, 820);
  buildMenus(updater, std::move(openAcknowledgments));
  restoreWindowState();
}

QRect windowGeometryInside(QRect window, QRect available, QSize minimumSize) {
  if (available.isEmpty()) return window;
  const int width = std::max(std::min(window.width(), available.width()), minimumSize.width());
  const int height = std::max(std::min(window.height(), available.height()), minimumSize.height());
  const int x =
      std::clamp(window.x(), available.left(), std::max(available.left(), available.right() + 1 - width));
  const int y =
      std::clamp(window.y(), available.top(), std::max(available.top(), available.bottom() + 1 - height));
  return {x, y, width, height};
}

void MainWindow::restoreWindowState() {
  if (const auto state = appStorage_.data(kSplitViewStateKey)) {
    contentView_->splitView()->restoreState(
        QByteArray(reinterpret_cast<const char*>(state->data()), static_cast<qsizetype>(state->size())));
  }
  const auto geometry = appStorage_.data(kMainWindowGeometryKey);
  if (!geometry || !restoreGeometry(QByteArray(reinterpret_cast<const char*>(geometry->data()),
                                               static_cast<qsizetype>(geometry->size())))) {
    // A first launch: the default size when the screen holds it with a window manager's frame around
    // it; on a smaller screen the window opens maximized (the frame is not known before the window
    // is shown, and a window manager fits a maximized window to the screen exactly), its normal size
    // shrunk to fit for when the person restores it.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      constexpr QSize kFrameAllowance(16, 64);
      const QRect room(QPoint(), screen->availableGeometry().size() - kFrameAllowance);
      const QRect fitted =
          windowGeometryInside(QRect(QPoint(), size()), room, minimumSizeHint().expandedTo(minimumSize()));
      if (fitted.size() != size()) {
        resize(fitted.size());
        setWindowState(windowState() | Qt::WindowMaximized);
      }
    }
    return;
  }
  keepInsideScreen();
}

void MainWindow::keepInsideScreen() {
  if (isMaximized() || isFullScreen()) return;
  // Saved on another screen, or on one that has since shrunk or gone: back inside one that is here.
  const QRect frame = frameGeometry();
  const QScreen* screen = QGuiApplication::screenAt(frame.center());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QSize frameExtra = frame.size() - size();
  const QRect inside = windowGeometryInside(frame, screen->availableGeometry(),
                                            minimumSizeHint().expandedTo(minimumSize()) + frameExtra);
  if (inside == frame) return;
  resize(inside.size() - frameExtra);
  move(inside.topLeft());
}

void MainWindow::saveWindowState() {
  const auto bytes = [](const QByteArray& data) {
    return platform::SettingsValue::Data(data.begin(), data.end());
  };
  appStorage_.setData(kMainWindowGeometryKey, bytes(saveGeometry()));
  appStorage_.setData(kSplitViewStateKey, bytes(contentView_->splitView()->saveState()));
}

MainWindow::~MainWindow() {
  // The widgets below go after this destructor and move the focus as they go; the application's
  // focus signals must no longer reach this half-destroyed window.
  disconnect(qApp, nullptr, this, nullptr);
}

void MainWindow::buildMenus(Updater* updater, std::function<void()> openAcknowledgments) {
  QMenu* file = menuBar()->addMenu(menuText(localization_.lookup("platform.menu.file")));
  file->setObjectName(QStringLiteral("menu.file"));
  quitAction_ = file->addAction(menuText(localization_.lookup("platform.menu.quit")));
  quitAction_->setObjectName(QStringLiteral("menu.file.quit"));
  quitAction_->setShortcuts(QKeySequence::Quit);
  // A platform theme that names no quit key still gets the one every desktop uses.
  if (quitAction_->shortcuts().isEmpty()) quitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quitAction_->setMenuRole(QAction::QuitRole);
  // Closing the window is quitting: the window's state is kept on the way.
  connect(quitAction_, &QAction::triggered, this, &QWidget::close);

  QMenu* view = menuBar()->addMenu(menuText(localization_.lookup("platform.menu.view")));
  view->setObjectName(QStringLiteral("menu.view"));
  inspectorAction_ = view->addAction(QString());
  inspectorAction_->setObjectName(QStringLiteral("menu.view.inspector"));
  inspectorAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_I));
  LibraryWorkspace& workspace = contentView_->workspace();
  connect(inspectorAction_, &QAction::triggered, this,
          [&workspace] { workspace.setInspectorPresented(!workspace.isInspectorPresented()); });
  connect(&workspace, &LibraryWorkspace::inspectorPresentedChanged, this, &MainWindow::updateInspectorAction);
  updateInspectorAction();

  QMenu* help = menuBar()->addMenu(menuText(localization_.lookup("platform.menu.help")));
  help->setObjectName(QStringLiteral("menu.help"));
  const ShortcutHelpPresentation presentation = ShortcutHelpPresentation::make(localization_);
  shortcutHelpAction_ = help->addAction(menuText(presentation.menuTitle));
  shortcutHelpAction_->setObjectName(QStringLiteral("menu.help.shortcutHelp"));
  shortcutHelpAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Slash));
  ContentView* content = contentView_;
  connect(shortcutHelpAction_, &QAction::triggered, this, [this, content] {
    // Only the active main window presents the sheet.
    if (QApplication::activeWindow() == this) content->state().presentShortcutHelp();
  });
  connect(qApp, &QApplication::focusChanged, this, &MainWindow::updateShortcutHelpAction);
  connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::updateShortcutHelpAction);
  updateShortcutHelpAction();

  QAction* acknowledgments = help->addAction(menuText(localization_.lookup("acknowledgments.title")));
  acknowledgments->setObjectName(QStringLiteral("menu.help.acknowledgments"));
  connect(acknowledgments, &QAction::triggered, this, [open = std::move(openAcknowledgments)] {
    if (open) open();
  });

  if (updater != nullptr && updater->isAvailable()) {
    QAction* check = help->addAction(menuText(localization_.lookup("updates.checkForUpdates")));
    check->setObjectName(QStringLiteral("menu.help.checkForUpdates"));
    check->setEnabled(updater->canCheckForUpdates());
    updater->setCanCheckChangedHandler([check](bool can) { check->setEnabled(can); });
    connect(check, &QAction::triggered, this, [updater] { updater->checkForUpdates(); });
  }

  const auto addLink = [this, help](const char* key, const char* name, SupportPage page) {
    QAction* action = help->addAction(menuText(localization_.lookup(key)));
    action->setObjectName(QString::fromLatin1(name));
    const std::optional<std::string> address = supportPageAddress(configuredWebsiteAddress(), page);
    action->setEnabled(address.has_value());
    if (address) {
      connect(action, &QAction::triggered, this,
              [url = QUrl(ui::qtText(*address))] { QDesktopServices::openUrl(url); });
    }
  };
  help->addSeparator();
  addLink("support.openSupportPage", "menu.help.supportPage", SupportPage::support);
  addLink("support.openPrivacyPolicy", "menu.help.privacyPolicy", SupportPage::privacy);
  help->addSeparator();
  QAction* copy = help->addAction(menuText(localization_.lookup("support.copyEnvironmentInfo")));
  copy->setObjectName(QStringLiteral("menu.help.copyEnvironmentInfo"));
  connect(copy, &QAction::triggered, this,
          [] { ui::copyTextToClipboard(makeEnvironmentInfo(currentEnvironmentFacts())); });
  help->addSeparator();
  addLink("support.donate", "menu.help.donate", SupportPage::donate);
}

void MainWindow::updateShortcutHelpAction() {
  shortcutHelpAction_->setEnabled(QApplication::activeWindow() == this);
}

void MainWindow::updateInspectorAction() {
  const bool presented = contentView_->workspace().isInspectorPresented();
  inspectorAction_->setText(
      menuText(localization_.lookup(presented ? "detail.inspector.hide" : "detail.inspector.show")));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (!event->isAccepted()) return;
  saveWindowState();
  Q_EMIT closed();
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  updateShortcutHelpAction();
  if (wasShown_) return;
  wasShown_ = true;
  // Once shown, the frame the window manager adds is known: the whole frame goes inside the screen.
  keepInsideScreen();
  Q_EMIT firstShown();
}

}  // namespace lorvex::app
