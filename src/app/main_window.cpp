#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDataStream>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <optional>

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

// The quit key pressed in any window of the program triggers Quit. The menu's own shortcut reaches
// only this window while nothing modal covers it: a sheet over it blocks it, and the other windows
// (the slideshow, the acknowledgments, a message box of their own) have no menu. A press that reaches
// a widget as a key press was not taken as that shortcut, so Quit runs once.
class QuitFromAnyWindow final : public QObject {
 public:
  explicit QuitFromAnyWindow(QAction& quit) : QObject(&quit), quit_(quit) { qApp->installEventFilter(this); }
  ~QuitFromAnyWindow() override { qApp->removeEventFilter(this); }
  QuitFromAnyWindow(const QuitFromAnyWindow&) = delete;
  QuitFromAnyWindow& operator=(const QuitFromAnyWindow&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() || !quit_.isEnabled()) return false;
    const QKeySequence pressed(static_cast<const QKeyEvent*>(event)->keyCombination());
    const QList<QKeySequence> keys = quit_.shortcuts();
    if (std::none_of(keys.begin(), keys.end(), [&](const QKeySequence& key) { return key == pressed; }))
      return false;
    quit_.trigger();
    return true;
  }

 private:
  QAction& quit_;
};

// The frame a window manager adds around a window that has not had one yet: a title bar and
// borders at least as large as most draw (a smaller real one leaves the window a little short of
// the screen's edges).
constexpr QMargins kFrameAllowance(8, 48, 8, 16);

// The frame the window had when its state was saved: saveGeometry() writes the frame and the
// normal geometry inside it. Nothing for another layout, for a window saved maximized or full
// screen (its frame was the screen's), or for margins no window manager draws.
std::optional<QMargins> savedFrameMargins(const QByteArray& saved) {
  constexpr quint32 kMagic = 0x1D9D0CB;
  constexpr int kLargestMargin = 200;
  QDataStream stream(saved);
  stream.setVersion(QDataStream::Qt_4_0);
  quint32 magic = 0;
  quint16 majorVersion = 0;
  quint16 minorVersion = 0;
  QRect frame;
  QRect normal;
  qint32 screenNumber = 0;
  quint8 maximized = 0;
  quint8 fullScreen = 0;
  stream >> magic >> majorVersion >> minorVersion >> frame >> normal >> screenNumber >> maximized >>
      fullScreen;
  if (stream.status() != QDataStream::Ok || magic != kMagic || maximized != 0 || fullScreen != 0)
    return std::nullopt;
  const QMargins margins(normal.left() - frame.left(), normal.top() - frame.top(),
                         frame.right() - normal.right(), frame.bottom() - normal.bottom());
  for (const int margin : {margins.left(), margins.top(), margins.right(), margins.bottom()}) {
    if (margin < 0 || margin > kLargestMargin) return std::nullopt;
  }
  return margins;
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

WindowPlacement windowPlacementInside(QRect frame, QRect available, QSize minimumFrameSize) {
  if (available.isEmpty()) return {frame, false};
  const bool minimumFits =
      minimumFrameSize.width() <= available.width() && minimumFrameSize.height() <= available.height();
  return {windowGeometryInside(frame, available, minimumFrameSize), !minimumFits};
}

void MainWindow::restoreWindowState() {
  if (const auto state = appStorage_.data(kSplitViewStateKey)) {
    contentView_->splitView()->restoreState(
        QByteArray(reinterpret_cast<const char*>(state->data()), static_cast<qsizetype>(state->size())));
  }
  const auto geometry = appStorage_.data(kMainWindowGeometryKey);
  const QByteArray saved = geometry ? QByteArray(reinterpret_cast<const char*>(geometry->data()),
                                                 static_cast<qsizetype>(geometry->size()))
                                    : QByteArray();
  // The frame is not known before the window is shown: a restored window expects the one it had,
  // a first launch a generous one.
  if (saved.isEmpty() || !restoreGeometry(saved)) {
    placeInsideScreen(kFrameAllowance, true);
    return;
  }
  placeInsideScreen(savedFrameMargins(saved).value_or(kFrameAllowance), false);
}

void MainWindow::placeInsideScreen(QMargins frameMargins, bool firstLaunch) {
  if (isMaximized() || isFullScreen()) return;
  // A window's position is its frame's (until it is shown, its frame is not part of its geometry).
  const QSize frameExtra(frameMargins.left() + frameMargins.right(),
                         frameMargins.top() + frameMargins.bottom());
  const QRect frame(pos(), size() + frameExtra);
  // A first launch opens on the primary screen. Saved on another screen, or on one that has since
  // shrunk or gone: inside one that is here.
  const QScreen* screen = firstLaunch ? nullptr : QGuiApplication::screenAt(frame.center());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  WindowPlacement placement = windowPlacementInside(frame, screen->availableGeometry(),
                                                    minimumSizeHint().expandedTo(minimumSize()) + frameExtra);
  // A first launch on a screen too small for the default size is given the whole screen; the
  // window manager places it, so only its size is kept for when the person restores it.
  if (firstLaunch && placement.frame.size() != frame.size()) placement.maximized = true;
  if (placement.frame.size() != frame.size()) resize(placement.frame.size() - frameExtra);
  if (!firstLaunch && placement.frame.topLeft() != frame.topLeft()) move(placement.frame.topLeft());
  if (placement.maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::keepInsideScreen() {
  const QRect frame = frameGeometry();
  const QRect inside = geometry();
  placeInsideScreen(QMargins(inside.left() - frame.left(), inside.top() - frame.top(),
                             frame.right() - inside.right(), frame.bottom() - inside.bottom()),
                    false);
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
  new QuitFromAnyWindow(*quitAction_);

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
  // Shown, the window may know the frame the window manager adds (on X11 it comes a moment later,
  // below): the whole frame goes inside the screen.
  keepInsideScreen();
  placedWithItsFrame_ = frameGeometry() != geometry();
  Q_EMIT firstShown();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  placeOnceItsFrameIsKnown();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  placeOnceItsFrameIsKnown();
}

void MainWindow::placeOnceItsFrameIsKnown() {
  // The window manager framed the window after it was shown (and moved it to make room for the
  // frame): placed again once, with that frame. Later moves are the person's.
  if (!wasShown_ || placedWithItsFrame_ || frameGeometry() == geometry()) return;
  placedWithItsFrame_ = true;
  keepInsideScreen();
}

}  // namespace lorvex::app
