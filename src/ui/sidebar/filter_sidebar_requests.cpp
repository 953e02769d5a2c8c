#include "ui/sidebar/filter_sidebar_requests.h"

namespace lorvex::ui {

using Key = AppLocalizationKey;

ConfirmationDialogTexts unregisterConfirmationTexts(const AppLocalization& localizer) {
  return {localizer.lookup(Key::libraryUnregisterTitle),
          localizer.lookup(Key::libraryUnregisterMessage),
          localizer.lookup(Key::libraryUnregisterAction),
          localizer.lookup(Key::commonCancel),
          true,
          false};
}

ConfirmationDialogTexts syncConfirmationTexts(const RegisteredFolderSyncRequest& request,
                                              const AppLocalization& localizer) {
  const bool single = request.folderPath.has_value();
  return {localizer.lookup(single ? Key::librarySyncRegisteredFolderTitle
                                  : Key::librarySyncRegisteredFoldersTitle),
          localizer.lookup(single ? Key::librarySyncRegisteredFolderMessage
                                  : Key::librarySyncRegisteredFoldersMessage),
          localizer.lookup(single ? Key::librarySyncRegisteredFolderAction
                                  : Key::librarySyncRegisteredFoldersAction),
          localizer.lookup(Key::commonCancel),
          false,
          true};
}

FilterSidebarRequests::FilterSidebarRequests(FilterSidebarOperations operations,
                                             std::function<void()> onChange)
    : operations_(std::move(operations)), onChange_(std::move(onChange)) {}

void FilterSidebarRequests::changed() {
  if (onChange_) onChange_();
}

void FilterSidebarRequests::requestUnregister(std::string path) {
  unregisterConfirmationPath_ = std::move(path);
  changed();
}

void FilterSidebarRequests::requestUnregisterSingleFolder(
    const std::optional<std::string>& singleFolderPath) {
  if (operations_.isLibrarySyncInProgress()) return;
  unregisterConfirmationPath_ = singleFolderPath;
  changed();
}

void FilterSidebarRequests::requestSync(RegisteredFolderSyncRequest request) {
  pendingSync_ = std::move(request);
  changed();
}

void FilterSidebarRequests::confirmUnregister() {
  if (unregisterConfirmationPath_ && !operations_.isLibrarySyncInProgress()) {
    operations_.unregisterFolder(*unregisterConfirmationPath_);
  }
  unregisterConfirmationPath_.reset();
  changed();
}

void FilterSidebarRequests::dismissUnregister() {
  if (!unregisterConfirmationPath_) return;
  unregisterConfirmationPath_.reset();
  changed();
}

void FilterSidebarRequests::confirmPendingSync() {
  if (!pendingSync_) return;
  const RegisteredFolderSyncRequest request = std::move(*pendingSync_);
  pendingSync_.reset();
  changed();
  if (request.folderPath) {
    operations_.syncRegisteredFolder(*request.folderPath);
  } else {
    operations_.syncRegisteredFolders();
  }
}

void FilterSidebarRequests::dismissSync() {
  if (!pendingSync_) return;
  pendingSync_.reset();
  changed();
}

void FilterSidebarRequests::presentScanFailureDiagnostics() {
  if (isScanFailureDiagnosticsPresented_) return;
  isScanFailureDiagnosticsPresented_ = true;
  changed();
}

void FilterSidebarRequests::dismissScanFailureDiagnostics() {
  if (!isScanFailureDiagnosticsPresented_) return;
  isScanFailureDiagnosticsPresented_ = false;
  changed();
}

void FilterSidebarRequests::requestReauthorizationFromScanFailure(
    const std::optional<std::string>& rootPath) {
  if (!rootPath) return;
  const std::string root = *rootPath;  // the sheet that held it may go with the close
  dismissScanFailureDiagnostics();
  operations_.reauthorizeFolder(root);
}

void FilterSidebarRequests::requestRescanFromScanFailure() {
  dismissScanFailureDiagnostics();
  requestSync(RegisteredFolderSyncRequest::all());
}

}  // namespace lorvex::ui
