#include "ui/sidebar/library_actions_menu_model.h"

#include <algorithm>

#include "ui/sidebar/library_sidebar_presentation.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;
using State = RegisteredFolderAccessState;
using Entry = SidebarMenuEntry;

Entry item(const AppLocalization& localizer, Key key, std::string symbol, bool enabled,
           std::function<void()> action, bool destructive = false) {
  return Entry{Entry::Kind::action, localizer.lookup(key), std::move(symbol), enabled,
               destructive,         std::move(action)};
}

Entry separator() {
  return Entry{Entry::Kind::separator, {}, {}, true, false, {}};
}

}  // namespace

LibraryActionRules LibraryActionRules::make(const std::vector<RegisteredFolderSummary>& folders,
                                            bool isLoading, bool isLibrarySyncInProgress) {
  LibraryActionRules rules;
  rules.canAddFolder = !isLibrarySyncInProgress;
  rules.canModifyRegisteredFolders = !isLibrarySyncInProgress;
  rules.canSyncRegisteredFolders =
      !isLoading && !isLibrarySyncInProgress &&
      std::any_of(folders.begin(), folders.end(),
                  [](const RegisteredFolderSummary& folder) { return folder.state == State::available; });
  if (folders.size() == 1) rules.singleFolder = folders.front();
  return rules;
}

std::vector<SidebarMenuEntry> makeLibraryHeaderMenu(const LibraryActionRules& rules,
                                                    const LibraryHeaderMenuActions& actions,
                                                    const AppLocalization& localizer) {
  std::vector<Entry> entries;
  entries.push_back(
      Entry{Entry::Kind::sectionTitle, localizer.lookup(Key::librarySourceManagement), {}, true, false, {}});
  entries.push_back(
      item(localizer, Key::libraryAddFolder, "folder.badge.plus", rules.canAddFolder, actions.showImporter));
  entries.push_back(item(localizer, Key::librarySyncRegisteredFoldersAction, "arrow.clockwise",
                         rules.canSyncRegisteredFolders, actions.syncRegisteredFolders));
  if (rules.singleFolder) {
    entries.push_back(separator());
    entries.push_back(item(localizer, Key::commonOpenInFinder, "folder",
                           rules.singleFolder->state == State::available, actions.revealSingleFolder));
    entries.push_back(item(localizer, Key::libraryUnregisterAction, "minus.circle",
                           rules.canModifyRegisteredFolders, actions.unregisterSingleFolder, true));
  }
  return entries;
}

std::vector<SidebarMenuEntry> makeRegisteredFolderMenu(const RegisteredFolderSummary& folder,
                                                       bool canSyncRegisteredFolders,
                                                       bool canModifyRegisteredFolders,
                                                       const RegisteredFolderMenuActions& actions,
                                                       const AppLocalization& localizer) {
  const bool available = folder.state == State::available;
  std::vector<Entry> entries;
  entries.push_back(item(localizer, Key::librarySyncRegisteredFolderAction, "arrow.clockwise",
                         available && canSyncRegisteredFolders, actions.syncFolder));
  entries.push_back(
      item(localizer, Key::commonOpenInFinder, "folder", available, actions.revealInFileManager));
  entries.push_back(item(localizer, Key::libraryAllowAccess, "lock.open", needsAccessRepair(folder.state),
                         actions.reauthorize));
  entries.push_back(separator());
  entries.push_back(item(localizer, Key::libraryUnregisterAction, "minus.circle", canModifyRegisteredFolders,
                         actions.unregister, true));
  return entries;
}

LibrarySectionTogglePresentation LibrarySectionTogglePresentation::make(bool isExpanded,
                                                                        const AppLocalization& localizer) {
  return {isExpanded ? "chevron.down" : "chevron.right", localizer.lookup(Key::libraryTitle),
          localizer.lookup(isExpanded ? Key::libraryCollapse : Key::libraryExpand)};
}

}  // namespace lorvex::ui
