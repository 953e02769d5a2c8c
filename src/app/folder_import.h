// What the folder picker was opened for and what its answer does. The picker either registers new
// folders (several at once) or grants access again to one registered folder. The request is kept
// twice: the picker's dismissal may clear the open request before its completion arrives, and the
// completion must still know what it was for.
//
// Thread safety: plain values, used on the main thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "model/error_notice.h"
#include "ui/common/app_localization.h"

namespace lorvex::app {

struct FolderImportRequest {
  enum class Kind { registration, reauthorization };
  Kind kind = Kind::registration;
  std::string path;  // the registered folder, for a reauthorization

  static FolderImportRequest registration() { return {}; }
  static FolderImportRequest reauthorization(std::string folderPath) {
    return {Kind::reauthorization, std::move(folderPath)};
  }
  // Several folders may be chosen only to register them.
  bool allowsMultipleSelection() const { return kind == Kind::registration; }

  friend bool operator==(const FolderImportRequest&, const FolderImportRequest&) = default;
};

// The picker's answer: the chosen folders (paths, as chosen), or why it failed: its own text and
// the kind the window tells, which for a picker is that the chosen folder could not be read unless
// it says otherwise.
struct FolderPickerError {
  std::string message;
  ErrorNotice notice{ErrorNoticeKind::folderUnreadable, {}};
};
using FolderPickerResult = std::variant<std::vector<std::string>, FolderPickerError>;

// What a completion asks of the store.
struct RegisterFolders {
  std::vector<std::string> folders;  // as chosen, possibly empty
};
struct ReauthorizeFolder {
  std::string chosenFolder;
  std::string registeredPath;
};
struct ShowFolderImportError {
  std::string message;
  ErrorNotice notice{};
};
using FolderImportOutcome =
    std::variant<std::monostate, RegisterFolders, ReauthorizeFolder, ShowFolderImportError>;

// The picker's title, in the interface's language: adding folders to the library, or choosing the
// registered folder (named by its last component) again to allow access to it.
std::string folderPickerTitle(const FolderImportRequest& request, const ui::AppLocalization& localization);

// Where the picker opens: for a registration, the parent of the folder chosen last time; for a
// reauthorization, the parent of the registered folder (where it was); the home folder when that
// folder is not (or no longer) a directory, or when there is none.
std::string folderPickerStartFolder(const FolderImportRequest& request,
                                    const std::optional<std::string>& lastChosenFolder,
                                    const std::string& homeFolder,
                                    const std::function<bool(const std::string& path)>& isDirectory);

// The settings key of the folder chosen last in the picker.
inline constexpr std::string_view kLastChosenFolderKey = "Lorvex.folderPicker.lastChosenFolder";

class FolderImportFlow {
 public:
  // Opens the picker for `request`; a request while open replaces both copies.
  void present(FolderImportRequest request);
  // The picker closed: the open request goes; the kept copy stays for a completion still coming.
  void dismiss();
  // The picker's answer. Both copies are cleared first; without a known request nothing is done.
  // A registration registers the whole list (also an empty one); a reauthorization uses the first
  // folder and ignores an empty list; an error is shown for either.
  FolderImportOutcome complete(const FolderPickerResult& result);

  const std::optional<FolderImportRequest>& request() const { return request_; }
  const std::optional<FolderImportRequest>& lastRequestForTest() const { return lastRequest_; }
  bool isPresented() const { return request_.has_value(); }

 private:
  std::optional<FolderImportRequest> request_;
  std::optional<FolderImportRequest> lastRequest_;
};

}  // namespace lorvex::app
