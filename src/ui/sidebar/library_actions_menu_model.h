// The library section's enable rules and the two folder menus as plain models: the header's
// "manage sources" menu (add a folder, sync all, and with exactly one folder registered, open it
// in the file manager and unregister it) and each folder row's menu, which is also the row's
// context menu (sync this folder, open it, grant access again, unregister). Items are disabled,
// never hidden, when their rule fails. A thin QMenu (or a test) walks the entries.
//
// Thread safety: pure values and functions; the actions run wherever the menu runs them (the
// main thread).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/registered_folder.h"
#include "ui/common/app_localization.h"

namespace lorvex::ui {

struct SidebarMenuEntry {
  enum class Kind { sectionTitle, action, separator };

  Kind kind = Kind::action;
  std::string title;   // plain text: the menu widget doubles "&" itself
  std::string symbol;  // symbol name for the icon lookup; empty for none
  bool isEnabled = true;
  bool isDestructive = false;
  std::function<void()> action;  // action entries only
};

// What the sidebar hands its library header and folder rows, from the store's state.
struct LibraryActionRules {
  bool canAddFolder = false;                // no library sync runs
  bool canSyncRegisteredFolders = false;    // no page loads, no sync runs, some folder is available
  bool canModifyRegisteredFolders = false;  // no library sync runs
  std::optional<RegisteredFolderSummary> singleFolder;  // the only folder, when exactly one

  static LibraryActionRules make(const std::vector<RegisteredFolderSummary>& folders, bool isLoading,
                                 bool isLibrarySyncInProgress);
  friend bool operator==(const LibraryActionRules&, const LibraryActionRules&) = default;
};

struct LibraryHeaderMenuActions {
  std::function<void()> syncRegisteredFolders;
  std::function<void()> showImporter;
  std::function<void()> revealSingleFolder;
  std::function<void()> unregisterSingleFolder;
};

// One section titled "library.sourceManagement": add folder, sync all; with a single folder a
// separator, open in the file manager (only while that folder is available) and unregister.
std::vector<SidebarMenuEntry> makeLibraryHeaderMenu(const LibraryActionRules& rules,
                                                    const LibraryHeaderMenuActions& actions,
                                                    const AppLocalization& localizer);

struct RegisteredFolderMenuActions {
  std::function<void()> syncFolder;
  std::function<void()> revealInFileManager;
  std::function<void()> reauthorize;
  std::function<void()> unregister;
};

// Sync (available and the sync rule), open (available), grant access (access denied or bookmark
// invalid), a separator, unregister (the modify rule).
std::vector<SidebarMenuEntry> makeRegisteredFolderMenu(const RegisteredFolderSummary& folder,
                                                       bool canSyncRegisteredFolders,
                                                       bool canModifyRegisteredFolders,
                                                       const RegisteredFolderMenuActions& actions,
                                                       const AppLocalization& localizer);

// The library section's disclosure control.
struct LibrarySectionTogglePresentation {
  std::string chevronSymbol;  // "chevron.down" expanded, "chevron.right" collapsed
  std::string title;
  std::string helpText;  // also the accessible name: collapse while expanded, expand otherwise

  static LibrarySectionTogglePresentation make(bool isExpanded, const AppLocalization& localizer);
  friend bool operator==(const LibrarySectionTogglePresentation&,
                         const LibrarySectionTogglePresentation&) = default;
};

}  // namespace lorvex::ui
