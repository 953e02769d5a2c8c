// Showing a file or folder in the desktop's file manager ("Show in Files" of a context menu or a
// folder row). The file manager is asked over D-Bus to open the containing folder with the item
// selected; a desktop without that service gets the containing folder opened instead, and when
// nothing opens that either, the person is told so (a silent click would look like a broken
// button).
//
// The way of revealing is replaceable: tests and tools install a recorder so that nothing opens on
// the desktop, and every view reveals through revealInFileManager.
//
// Thread safety: GUI thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace lorvex::ui {

class AppLocalization;

class FileManagerRevealing {
 public:
  virtual ~FileManagerRevealing() = default;
  // Shows the file manager with `path` selected (a folder is shown selected in its parent).
  // Returns at once; a failure is logged, never reported to the caller.
  virtual void reveal(const std::string& path) = 0;
};

// org.freedesktop.FileManager1.ShowItems with the item's file URL, called asynchronously on the
// session bus; when the bus is missing or the call fails, the parent folder is opened with the
// desktop's default handler; when no handler takes it, showRevealFailure tells the person.
class FreedesktopFileManagerRevealer final : public FileManagerRevealing {
 public:
  // `openFolder` asks the desktop to open a folder and says whether something took it (default:
  // QDesktopServices); `localization` (kept by reference; default: the live one) words the message.
  explicit FreedesktopFileManagerRevealer(std::function<bool(const std::string& folder)> openFolder = {},
                                          const AppLocalization* localization = nullptr);
  void reveal(const std::string& path) override;

 private:
  std::function<bool(const std::string&)> openFolder_;
  const AppLocalization& localization_;
};

// A message over the active window ("revealFailure", closed by its OK button) saying that no file
// manager showed `path`, named by its last component (never the whole path: a screen recording
// must not show the home folder).
void showRevealFailure(const std::string& path, const AppLocalization& localization);

// The folder that is opened when the file manager cannot select the item: the path's parent ("/"
// for "/" itself), trailing slashes ignored.
std::string revealFallbackFolder(const std::string& path);

// The revealer in use (the freedesktop one unless replaced).
FileManagerRevealing& fileManagerRevealer();
// Replaces the revealer in use and gives back the previous one; nullptr brings the freedesktop one
// back.
std::shared_ptr<FileManagerRevealing> setFileManagerRevealer(std::shared_ptr<FileManagerRevealing> revealer);
void revealInFileManager(const std::string& path);

}  // namespace lorvex::ui
