// The main window "main", titled "Lorvex": the content view and the menus. View holds the
// inspector toggle (Ctrl+Alt+I). Help holds, in order: the shortcut help (Ctrl+/, enabled exactly
// while this window is the active one), the acknowledgments, the update check when an updater is
// available, then the support page and privacy policy, the environment copy, and the donation page,
// in groups between separators. The support pages are disabled while the build names no web site.
// No action binds Ctrl+Z: the window's undo key, the grid and the slideshow read it themselves.
//
// Closing this window quits the program.
//
// Thread safety: GUI thread only.
#pragma once

#include <functional>

#include <QMainWindow>

#include "app/content_view.h"
#include "app/updater.h"

class QAction;

namespace lorvex::app {

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Menu actions' objectNames: "menu.view.inspector", "menu.help.shortcutHelp",
  // "menu.help.acknowledgments", "menu.help.checkForUpdates", "menu.help.supportPage",
  // "menu.help.privacyPolicy", "menu.help.copyEnvironmentInfo", "menu.help.donate".
  MainWindow(ImageLibraryStore& store, ui::ViewResourceDisplay resourceDisplay, platform::Settings appStorage,
             const ShellViews& views, FolderPicker& folderPicker, Updater* updater,
             std::function<void()> openAcknowledgments,
             const ui::AppLocalization& localization = ui::AppLocalization::live(), QWidget* parent = nullptr);
  ~MainWindow() override;

  ContentView& contentView() const { return *contentView_; }
  QAction* shortcutHelpAction() const { return shortcutHelpAction_; }
  QAction* inspectorAction() const { return inspectorAction_; }

 Q_SIGNALS:
  void closed();
  // The window was shown for the first time.
  void firstShown();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void buildMenus(Updater* updater, std::function<void()> openAcknowledgments);
  void updateShortcutHelpAction();
  void updateInspectorAction();

  const ui::AppLocalization& localization_;
  ContentView* contentView_ = nullptr;
  QAction* shortcutHelpAction_ = nullptr;
  QAction* inspectorAction_ = nullptr;
  bool wasShown_ = false;
};

}  // namespace lorvex::app
