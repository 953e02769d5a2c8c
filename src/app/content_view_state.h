// The main window's own state, kept apart from its widgets so its rules can be exercised over a
// store without a window: the folder picker's request, the previewed file with the running step to
// the next image, the shortcut help flag, and the conditions the composition and the undo key
// read. Child views never change it; they are handed its actions.
//
// A step to the next image may have to wait for the next page of results. Each preview navigation
// and each cancellation advances a generation; a waiting step applies its answer only while the
// generation is the one it started with and it was not cancelled, so a step superseded by another
// step, by "previous" or by closing the preview changes nothing when its answer finally comes.
//
// Thread safety: the store's thread only.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "app/folder_import.h"
#include "store/async/store_task.h"

namespace lorvex {
class ImageLibraryStore;
}

namespace lorvex::app {

class ContentViewState : public QObject {
  Q_OBJECT

 public:
  explicit ContentViewState(ImageLibraryStore& store, QObject* parent = nullptr);
  ~ContentViewState() override;

  ImageLibraryStore& store() const { return store_; }

  // ---- Folder picker ----
  void presentFolderImporter();
  void presentFolderReauthorization(const std::string& path);
  // The picker closed (accepted or not); its completion, if any, comes separately.
  void dismissFolderImporter();
  // The picker's answer, turned into the store call it asks for (started, not awaited).
  void completeFolderImport(const FolderPickerResult& result);
  const FolderImportFlow& folderImport() const { return folderImport_; }

  // ---- Shortcut help ----
  bool isShortcutHelpPresented() const { return isShortcutHelpPresented_; }
  void presentShortcutHelp() { setShortcutHelpPresented(true); }
  void setShortcutHelpPresented(bool presented);

  // ---- Preview ----
  // The previewed file's URL ("file://" and the percent-encoded path); the overlay shows while set.
  const std::optional<std::string>& quickLookURL() const { return quickLookURL_; }
  void presentQuickLook(const std::string& url);
  void showPreviousQuickLookImage();
  void showNextQuickLookImage();
  void startSlideshowFromQuickLook();
  void dismissQuickLook();
  int quickLookNavigationGenerationForTest() const { return quickLookNavigationGeneration_; }
  bool hasQuickLookNavigationTaskForTest() const { return static_cast<bool>(navigationStop_); }

  // ---- Composition ----
  // The library is not ready yet: the indexing card covers the split view.
  bool isPreparing() const;
  // The library could not be opened: the card says why in place of the split view.
  bool isLibraryUnavailable() const;
  // No control of the sidebar, grid or inspector reacts.
  bool isSplitViewDisabled() const {
    return isPreparing() || isLibraryUnavailable() || quickLookURL_.has_value();
  }

  // ---- Undo ----
  // Whether the window's undo key may undo a delete-candidate mark now.
  bool isUndoKeyEnabled() const;
  // The undo key: undoes and answers true, or answers false so the key goes on to the grid or the
  // slideshow.
  bool undoFromKey();
  // The feedback banner's undo button: undoes whatever the key would allow.
  void undoFromFeedback();
  // The slideshow window closed itself.
  void closeSlideshow();

 Q_SIGNALS:
  void folderImportRequestChanged();
  void quickLookURLChanged();
  void shortcutHelpPresentedChanged();
  // An input of isPreparing / isSplitViewDisabled changed.
  void compositionChanged();

 private:
  void setQuickLookURL(std::optional<std::string> url);
  void cancelQuickLookNavigation();
  void followPrimaryPath();
  static QCoro::Task<void> stepToNextImage(ImageLibraryStore* store, QPointer<ContentViewState> state,
                                           int generation, std::optional<std::string> fromPath,
                                           std::stop_token stop);

  ImageLibraryStore& store_;
  FolderImportFlow folderImport_;
  std::optional<std::string> quickLookURL_;
  StoreTask<void> navigationTask_;
  std::optional<std::stop_source> navigationStop_;
  int quickLookNavigationGeneration_ = 0;
  bool isShortcutHelpPresented_ = false;
};

// The file-system path of a "file://" URL, its percent escapes decoded byte for byte; nothing for
// any other text or a malformed escape.
std::optional<std::string> filePathOfFileURL(std::string_view url);

}  // namespace lorvex::app
