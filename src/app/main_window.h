// The main window "main", titled "Lorvex": the content view and the menus. File holds Quit (the
// platform's key, Ctrl+Q, pressed in any window or sheet of the program), which closes this window
// and so ends the program. View holds the inspector toggle (Ctrl+Alt+I). Help holds, in order: the
// shortcut help (Ctrl+/, enabled exactly while this window is the active one), the acknowledgments,
// the update check when an updater is available, then the support page and privacy policy, the
// environment copy, and the donation page, in groups between separators. The support pages are disabled while
// the build names no web site. No action binds Ctrl+Z: the window's undo key, the grid and the slideshow read
// it themselves.
//
// Closing this window quits the program. Its size, position and state and the sidebar's width are
// kept in the application's settings when it closes and restored when it is made. A first launch
// and a restored window alike open with the whole frame, title bar included, inside the screen's
// available area (a screen that went away, a smaller one): moved, shrunk but never below the
// window's minimum, maximized where that minimum does not fit.
//
// Thread safety: GUI thread only.
#pragma once

#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <functional>
#include <string_view>

#include "app/content_view.h"
#include "app/updater.h"

class QAction;

namespace lorvex::app {

// The settings keys of the window's state (saveGeometry) and of the split view's (saveState).
inline constexpr std::string_view kMainWindowGeometryKey = "Lorvex.mainWindow.geometry";
inline constexpr std::string_view kSplitViewStateKey = "Lorvex.mainWindow.splitViewState";

// `window` (a frame) moved and, when larger, shrunk to lie inside `available`; never below
// `minimumSize` (a screen smaller than the window's minimum keeps its top-left corner on screen).
QRect windowGeometryInside(QRect window, QRect available, QSize minimumSize);

// Where the main window goes on a screen, for a first launch and a restored one alike.
struct WindowPlacement {
  QRect frame;  // the whole window, its frame included
  bool maximized = false;
};

// `frame` (a window's frame) moved and, when larger, shrunk to lie inside `available`, never below
// `minimumFrameSize`. Where even that minimum does not fit, the window is maximized (a window
// manager fits a maximized window to the screen exactly); `frame` is then the one it comes back to
// when the person restores it, as far inside as the minimum allows.
WindowPlacement windowPlacementInside(QRect frame, QRect available, QSize minimumFrameSize);

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Menu actions' objectNames: "menu.file.quit", "menu.view.inspector", "menu.help.shortcutHelp",
  // "menu.help.acknowledgments", "menu.help.checkForUpdates", "menu.help.supportPage",
  // "menu.help.privacyPolicy", "menu.help.copyEnvironmentInfo", "menu.help.donate".
  MainWindow(ImageLibraryStore& store, ui::ViewResourceDisplay resourceDisplay, platform::Settings appStorage,
             const ShellViews& views, FolderPicker& folderPicker, Updater* updater,
             std::function<void()> openAcknowledgments,
             const ui::AppLocalization& localization = ui::AppLocalization::live(),
             QWidget* parent = nullptr);
  ~MainWindow() override;

  ContentView& contentView() const { return *contentView_; }
  QAction* shortcutHelpActionForTest() const { return shortcutHelpAction_; }
  QAction* inspectorActionForTest() const { return inspectorAction_; }
  QAction* quitActionForTest() const { return quitAction_; }

 Q_SIGNALS:
  void closed();
  // The window was shown for the first time.
  void firstShown();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void buildMenus(Updater* updater, std::function<void()> openAcknowledgments);
  void restoreWindowState();
  void saveWindowState();
  // Places the window, its frame included, inside the screen it lands on (windowPlacementInside)
  // with `frame` as the frame the window manager will add; a first launch also opens maximized
  // where its default size had to shrink.
  void placeInsideScreen(QMargins frame, bool firstLaunch);
  // The same once the window is shown, with the frame it has.
  void keepInsideScreen();
  void placeOnceItsFrameIsKnown();
  void updateShortcutHelpAction();
  void updateInspectorAction();

  const ui::AppLocalization& localization_;
  platform::Settings appStorage_;
  ContentView* contentView_ = nullptr;
  QAction* quitAction_ = nullptr;
  QAction* shortcutHelpAction_ = nullptr;
  QAction* inspectorAction_ = nullptr;
  bool wasShown_ = false;
  // Whether the window was placed with the frame the window manager really gave it.
  bool placedWithItsFrame_ = false;
};

}  // namespace lorvex::app
