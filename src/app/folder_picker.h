// The system folder picker behind the main window's "add folder" and "grant access again"
// actions. The window asks through this interface so tests can answer in its place.
//
// Thread safety: GUI thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/folder_import.h"

class QWidget;

namespace lorvex::app {

// How the picker opens: whether several folders may be chosen, its title (what it is for, in the
// interface's language) and the folder it shows first.
struct FolderPickerOptions {
  bool allowsMultipleSelection = false;
  std::string title;        // empty: the picker's own
  std::string startFolder;  // empty: the picker's own choice
};

class FolderPicker {
 public:
  virtual ~FolderPicker() = default;

  // As open() below, titled and started as `options` say. A picker that shows neither (a test's)
  // keeps this default, which opens it plainly.
  virtual void openFor(QWidget* parent, const FolderPickerOptions& options,
                       std::function<void(FolderPickerResult)> completion, std::function<void()> dismissed) {
    open(parent, options.allowsMultipleSelection, std::move(completion), std::move(dismissed));
  }

  // Shows the picker over `parent` (window-modal, returns at once). `dismissed` is called when it
  // closes, however it closes; `completion` is called once afterwards when it closes with a choice
  // or fails, with the chosen folders (paths) or the error. Folders only; several only when
  // `allowsMultipleSelection`.
  virtual void open(QWidget* parent, bool allowsMultipleSelection,
                    std::function<void(FolderPickerResult)> completion, std::function<void()> dismissed) = 0;
};

// The live picker: Qt's own file dialog rather than the platform's, because the platform dialogs
// cannot choose several folders at once.
std::unique_ptr<FolderPicker> makeFileDialogFolderPicker();

}  // namespace lorvex::app
