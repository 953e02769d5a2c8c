// The sidebar's own interface state around library work: which folder waits for an unregister
// confirmation, which sync waits for a sync confirmation, and whether the scan-failure sheet is
// shown. Unregistering and syncing are never started by a control: the control records a request,
// a dialog shows it, and only the dialog's confirm button starts the store operation. Finishing a
// dialog in any way clears its request.
//
// The order inside each step is fixed: the sync confirm clears the request before it starts the
// sync; the unregister confirm starts the operation (unless a library sync runs by then) before it
// clears the path; the sheet's actions close the sheet before they open the picker or ask for the
// sync. `onChange` runs after every change of the state, so the widgets show the dialogs it asks for.
//
// Thread safety: the main thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ui/common/app_localization.h"

namespace lorvex::ui {

// Sync the one registered folder at `folderPath`, or all of them when absent.
struct RegisteredFolderSyncRequest {
  std::optional<std::string> folderPath;

  static RegisteredFolderSyncRequest folder(std::string path) { return {std::move(path)}; }
  static RegisteredFolderSyncRequest all() { return {}; }
  friend bool operator==(const RegisteredFolderSyncRequest&, const RegisteredFolderSyncRequest&) = default;
};

// What the requests start; each is called at most once per confirmation.
struct FilterSidebarOperations {
  std::function<bool()> isLibrarySyncInProgress;
  std::function<void(const std::string& path)> unregisterFolder;
  std::function<void(const std::string& path)> syncRegisteredFolder;
  std::function<void()> syncRegisteredFolders;
  std::function<void(const std::string& path)> reauthorizeFolder;
};

// The texts of a confirmation dialog: a title, a message, the confirm and cancel buttons.
struct ConfirmationDialogTexts {
  std::string title;
  std::string message;
  std::string confirmTitle;
  std::string cancelTitle;
  bool isConfirmDestructive = false;
  // The confirm button is the default one (Return). Unregistering names no default, so Return
  // lands on Cancel and never unregisters.
  bool isConfirmDefault = false;
  friend bool operator==(const ConfirmationDialogTexts&, const ConfirmationDialogTexts&) = default;
};

ConfirmationDialogTexts unregisterConfirmationTexts(const AppLocalization& localizer);
ConfirmationDialogTexts syncConfirmationTexts(const RegisteredFolderSyncRequest& request,
                                              const AppLocalization& localizer);

class FilterSidebarRequests {
 public:
  explicit FilterSidebarRequests(FilterSidebarOperations operations, std::function<void()> onChange = {});

  const std::optional<std::string>& unregisterConfirmationPath() const { return unregisterConfirmationPath_; }
  const std::optional<RegisteredFolderSyncRequest>& pendingRegisteredFolderSync() const {
    return pendingSync_;
  }
  bool isScanFailureDiagnosticsPresented() const { return isScanFailureDiagnosticsPresented_; }

  // A folder row's unregister item.
  void requestUnregister(std::string path);
  // The header's single-folder item: nothing while a library sync runs or without a single folder.
  void requestUnregisterSingleFolder(const std::optional<std::string>& singleFolderPath);
  // A row's sync item, the header's sync-all item. A new request replaces a pending one.
  void requestSync(RegisteredFolderSyncRequest request);

  // Unregister dialog: confirm starts the operation with the path unless a library sync runs now,
  // then clears the path; cancel and any other dismissal only clear it.
  void confirmUnregister();
  void dismissUnregister();
  // Sync dialog: confirm clears the request, then starts the sync it held.
  void confirmPendingSync();
  void dismissSync();

  // The failed-file warning opens the sheet; the sheet's close and Escape close it.
  void presentScanFailureDiagnostics();
  void dismissScanFailureDiagnostics();
  // The sheet's re-authorise button: with a root, closes the sheet and then asks the picker for
  // it; without one, does nothing and leaves the sheet open.
  void requestReauthorizationFromScanFailure(const std::optional<std::string>& rootPath);
  // The sheet's rescan button: closes the sheet, then asks to confirm a sync of all folders.
  void requestRescanFromScanFailure();

 private:
  void changed();

  FilterSidebarOperations operations_;
  std::function<void()> onChange_;
  std::optional<std::string> unregisterConfirmationPath_;
  std::optional<RegisteredFolderSyncRequest> pendingSync_;
  bool isScanFailureDiagnosticsPresented_ = false;
};

}  // namespace lorvex::ui
