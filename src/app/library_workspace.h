// The detail column of the main window: the results grid and, on its trailing side, the
// inspector, with the toolbar button that shows or hides it. The inspector's open state and its
// width are remembered in the application's settings: it opens at the width the user last left
// it (320 to 520, 360 at first), and the grid never gets narrower than 520.
//
// The width is written at most every 500 ms while the user drags, and once more at quit
// (flushSettings), so a drag does not rewrite the settings file for every pixel.
//
// Thread safety: GUI thread only.
#pragma once

#include <QTimer>
#include <QWidget>
#include <optional>

#include "app/shell_views.h"
#include "platform/settings.h"

class QAction;
class QSplitter;
class QToolBar;

namespace lorvex::app {

class LibraryWorkspace : public QWidget {
  Q_OBJECT

 public:
  // objectName "libraryWorkspace"; the splitter "workspaceSplitter", the grid's slot
  // "workspace.grid", the inspector's slot "workspace.inspector", the toolbar "workspaceToolbar"
  // holding "imageDetailPanel".
  LibraryWorkspace(ImageLibraryStore& store, const ShellViews& views, ResultsGridActions actions,
                   platform::Settings appStorage, QWidget* parent = nullptr);
  ~LibraryWorkspace() override;

  bool isInspectorPresented() const { return isInspectorPresented_; }
  void setInspectorPresented(bool presented);
  // The width the inspector opens at (effectiveRememberedWidth of what is stored).
  double inspectorIdealWidth() const;
  void setQuickLookPresented(bool presented);
  // Gives the results grid the keyboard back.
  void requestGridKeyboardFocus();
  // Writes a width still waiting for its turn.
  void flushSettings();

  QSplitter* splitter() const { return splitter_; }
  QWidget* inspector() const { return inspector_; }

 Q_SIGNALS:
  void inspectorPresentedChanged(bool presented);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void inspectorResized();
  void applyInspectorWidth();
  std::optional<double> storedWidth() const;

  platform::Settings appStorage_;
  bool isInspectorPresented_ = true;
  bool isApplyingWidth_ = false;
  bool hasAppliedWidth_ = false;
  std::optional<double> pendingWidth_;
  QTimer writeTimer_;
  QSplitter* splitter_ = nullptr;
  QWidget* grid_ = nullptr;
  QWidget* inspector_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  ResultsGridSlot gridSlot_;
  InspectorToggleSlot toggleSlot_;
};

}  // namespace lorvex::app
