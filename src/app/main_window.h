// The main window "main", titled "Lorvex": the content view and the menus. File holds Quit (the
// platform's key, Ctrl+Q), which closes this window and so ends the program. View holds the
// inspector toggle (Ctrl+Alt+I). Help holds, in order: the shortcut help (Ctrl+/, enabled exactly
// while this window is the active one), the acknowledgments, the update check when an updater is
// available, then the support page and privacy policy, the environment copy, and the donation page,
// in groups between separators. The support pages are disabled while the build names no web site.
// No action binds Ctrl+Z: the window's undo key, the grid and the slideshow read it themselves.
//
// Closing this window quits the program. Its size, position and state and the sidebar's width are
// kept in the application's settings when it closes and restored when it is made, kept inside the
// screen it lands on (a screen that went away, a smaller one).
//
// Thread safety: GUI thread only.
#pragma once

#include <QMainWindow>
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
  QAction* shortcutHelpAction() const { return shortcutHelpAction_; }
  QAction* inspectorAction() const { return inspectorAction_; }
  QAction* quitAction() const { return quitAction_; }

 Q_SIGNALS:
  void closed();
  // The window was shown for the first time.
  void firstShown();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void buildMenus(Updater* updater, std::function<void()> openAcknowledgments);
  void restoreWindowState();
  void saveWindowState();
  // Brings a restored window back inside the screen it lands on.
  void keepInsideScreen();
  void updateShortcutHelpAction();
  void updateInspectorAction();

  const ui::AppLocalization& localization_;
  platform::Settings appStorage_;
  ContentView* contentView_ = nullptr;
  QAction* quitAction_ = nullptr;
  QAction* shortcutHelpAction_ = nullptr;
  QAction* inspectorAction_ = nullptr;
  bool wasShown_ = false;
};

}  // namespace lorvex::app
