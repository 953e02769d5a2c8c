// The main window's root view. Back to front: the split view of the filter sidebar and the
// library workspace, the indexing card while the library is not ready, the preview overlay while
// a file is previewed, and the delete-candidate feedback banner. It presents the folder picker
// (titled for what it is for, opening beside the folder chosen last or in the home folder),
// the shortcut help sheet and the slideshow window, installs the window's undo key, and asks the
// store to start its launch workflow each time it is shown (the store starts one at most).
//
// The window-level state and its rules live in ContentViewState; this widget applies them.
//
// Thread safety: GUI thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "app/content_view_state.h"
#include "app/folder_picker.h"
#include "app/shell_views.h"
#include "platform/settings.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

class QSplitter;
class QStackedLayout;

namespace lorvex::app {

class LibraryWorkspace;

class ContentView : public QWidget {
  Q_OBJECT

 public:
  // objectName "contentView"; the layers "splitView", "indexingCard", "previewOverlay" and
  // "feedbackOverlay"; the sidebar's slot "splitView.sidebar".
  ContentView(ImageLibraryStore& store, ui::ViewResourceDisplay resourceDisplay,
              platform::Settings appStorage, const ShellViews& views, FolderPicker& folderPicker,
              const ui::AppLocalization& localization = ui::AppLocalization::live(),
              QWidget* parent = nullptr);
  ~ContentView() override;

  ContentViewState& state() { return *state_; }
  LibraryWorkspace& workspace() const { return *workspace_; }
  QSplitter* splitView() const { return splitView_; }
  QWidget* indexingCardLayerForTest() const { return indexingCard_; }
  QWidget* previewLayerForTest() const { return preview_; }
  QWidget* feedbackLayerForTest() const { return feedback_; }
  // The open shortcut help sheet, if any.
  QDialog* shortcutHelpSheetForTest() const { return shortcutHelp_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void applyComposition();
  void applyQuickLook();
  void applyFeedback();
  void applyFolderImport();
  void applyShortcutHelp();

  ImageLibraryStore& store_;
  const ShellViews& views_;
  FolderPicker& folderPicker_;
  platform::Settings appStorage_;
  const ui::AppLocalization& localization_;
  std::unique_ptr<ContentViewState> state_;
  QStackedLayout* stack_ = nullptr;
  QSplitter* splitView_ = nullptr;
  LibraryWorkspace* workspace_ = nullptr;
  QWidget* indexingCard_ = nullptr;
  QWidget* preview_ = nullptr;
  QWidget* feedback_ = nullptr;
  PreviewOverlaySlot previewSlot_;
  QPointer<QDialog> shortcutHelp_;
  QObject* undoKey_ = nullptr;
  bool isPickerOpen_ = false;
};

}  // namespace lorvex::app
