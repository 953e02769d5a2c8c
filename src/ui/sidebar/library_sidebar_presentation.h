// What the library section of the sidebar says: one summary line for the whole library (what it is
// doing or what is wrong, and how many images it holds) and one row value per registered folder
// (name, path, access status, last error, whether access must be granted again). Built afresh from
// store state on every update; the widgets only draw these values.
//
// Paths and error texts go through ViewResourceDisplay::displayText, so recording mode shows the
// home directory as "~"; the repair path stays the real path (the picker needs it).
//
// Thread safety: pure values and functions, callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/indexing_job.h"
#include "model/registered_folder.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

namespace lorvex::ui {

struct LibrarySidebarSummaryPresentation {
  // The summary row colours its text by the kind (secondary, primary, red, orange).
  enum class Kind { loading, empty, registered, checking, accessRequired, missing };

  Kind kind = Kind::loading;
  std::string leadingText;
  std::optional<std::string> trailingText;  // a count, drawn at the trailing edge with fixed-width digits
  bool showsProgress = false;

  friend bool operator==(const LibrarySidebarSummaryPresentation&,
                         const LibrarySidebarSummaryPresentation&) = default;
};

struct LibrarySidebarFolderRowPresentation {
  std::string displayPath;
  std::string displayName;
  std::string systemImageName;            // always "folder"
  std::optional<std::string> statusText;  // absent for an available folder
  std::optional<std::string> lastErrorText;
  std::string accessibilityText;
  bool showsRepairAction = false;  // access denied or bookmark invalid

  static LibrarySidebarFolderRowPresentation make(const RegisteredFolderSummary& summary,
                                                  const AppLocalization& localizer,
                                                  const ViewResourceDisplay& resourceDisplay);

  friend bool operator==(const LibrarySidebarFolderRowPresentation&,
                         const LibrarySidebarFolderRowPresentation&) = default;
};

struct LibrarySidebarPresentation {
  LibrarySidebarSummaryPresentation summary;
  std::vector<LibrarySidebarFolderRowPresentation> folderRows;  // one per summary, in order
  // The first folder (in summary order) needing access, only while the summary says access is
  // required; the real path.
  std::optional<std::string> primaryRepairFolderPath;
  // No folder, the list not loading, no sync: the section offers its add-folder button.
  bool showsEmptyFolderPicker = false;

  static LibrarySidebarPresentation make(
      const std::vector<RegisteredFolderSummary>& registeredFolderSummaries, bool isLoadingRegisteredFolders,
      bool isLibrarySyncInProgress, const std::optional<ImageLibraryIndexingProgress>& indexingProgress,
      const AppLocalization& localizer, const ViewResourceDisplay& resourceDisplay);

  // The localized status of a folder state; absent for `available`.
  static std::optional<std::string> statusText(RegisteredFolderAccessState state,
                                               const AppLocalization& localizer);

  // Decimal digits grouped by "," in threes whatever the locale, "-" in front of a negative
  // number: 1000 is "1,000", -1000 is "-1,000". The magnitude is taken unsigned, so the smallest
  // int64 is written in full.
  static std::string formattedCount(std::int64_t value);

  friend bool operator==(const LibrarySidebarPresentation&, const LibrarySidebarPresentation&) = default;
};

// A folder whose access the user has to grant again.
bool needsAccessRepair(RegisteredFolderAccessState state);

}  // namespace lorvex::ui
