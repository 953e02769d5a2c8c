// The views other parts of the ui layer build and the shell places: the results grid, the
// inspector and its toggle, the filter sidebar, the indexing card, the preview overlay, the
// delete-candidate feedback banner, the undo key and the slideshow window. The shell composes them
// through these factories so that its own rules (which layer shows when, which action goes where)
// do not depend on how each view is built, and tests can compose the shell around any of them.
//
// A factory left empty leaves its slot empty: the slot's container is still laid out (and named),
// so the shell works and can be tested without that view. liveShellViews() fills every slot whose
// view the program has.
//
// Thread safety: GUI thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/common/view_resource_display.h"

class QObject;
class QWidget;

namespace lorvex {
class ImageLibraryStore;
}

namespace lorvex::app {

class ContentViewState;

// What the results grid is given to reach window-level state.
struct ResultsGridActions {
  std::function<void()> showFolderImporter;
  std::function<void(const std::string& path)> reauthorizeFolder;
  std::function<void()> showShortcutHelp;
  std::function<void(const std::string& fileURL)> showQuickLook;
};
struct ResultsGridSlot {
  QWidget* widget = nullptr;
  // The preview overlay opened or closed over the grid.
  std::function<void(bool isQuickLookPresented)> setQuickLookPresented;
  // Gives the grid the keyboard (and its keys) back.
  std::function<void()> requestKeyboardFocus;
};

// The inspector's toolbar toggle: shows the state it is given, asks for the other one.
struct InspectorToggleSlot {
  QWidget* widget = nullptr;
  std::function<void(bool isPresented)> setPresented;
};

struct PreviewActions {
  std::function<void()> showPrevious;
  std::function<void()> showNext;
  std::function<void()> startSlideshow;
  std::function<void()> dismiss;
};
struct PreviewOverlaySlot {
  QWidget* widget = nullptr;
  std::function<void(const std::string& fileURL)> setURL;
};

struct ShellViews {
  std::function<ResultsGridSlot(ImageLibraryStore&, ResultsGridActions, QWidget* parent)> resultsGrid;
  std::function<QWidget*(ImageLibraryStore&, QWidget* parent)> detailPanel;
  // `toggled` is called with the state the user asks for.
  std::function<InspectorToggleSlot(std::function<void(bool)> toggled, QWidget* parent)> inspectorToggle;
  std::function<QWidget*(ImageLibraryStore&, const ui::ViewResourceDisplay&,
                         std::function<void()> showFolderImporter,
                         std::function<void(const std::string&)> reauthorizeFolder, QWidget* parent)>
      filterSidebar;
  std::function<QWidget*(ImageLibraryStore&, const ui::ViewResourceDisplay&, QWidget* parent)> indexingCard;
  std::function<PreviewOverlaySlot(ImageLibraryStore&, PreviewActions, QWidget* parent)> previewOverlay;
  // The banner decides itself when it shows and places itself over `parent`; the shell shows its
  // layer while the store has feedback, and the layer takes the pointer only over the banner.
  // After the banner's own actions (a ui::DeleteCandidateFeedbackOverlay says when) the shell
  // gives the keyboard back to the grid.
  std::function<QWidget*(ImageLibraryStore&, std::function<void()> undoAction, QWidget* parent)>
      feedbackOverlay;
  // Installs the window's undo key (Ctrl+Z, by logical key, not while a text field has the
  // focus): `onUndo` answers whether the key was used; an unused key goes on to the grid or the
  // slideshow. Returns the filter's owner (kept by the window).
  std::function<QObject*(QWidget& window, std::function<bool()> onUndo)> undoKey;
  // Shows the slideshow in a window of its own while the store's flag is set; `close` is called
  // when that window is closed from inside.
  std::function<QObject*(ImageLibraryStore&, std::function<void()> close, QWidget* parent)>
      slideshowPresenter;
};

// Every view the program has, in its slot.
ShellViews liveShellViews();

}  // namespace lorvex::app
