#include "ui/sidebar/library_sidebar_presentation.h"

#include <algorithm>

#include "ui/common/error_notice_text.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;
using State = RegisteredFolderAccessState;
using Kind = LibrarySidebarSummaryPresentation::Kind;

std::string progressCountText(const ImageLibraryIndexingProgress& progress) {
  return LibrarySidebarPresentation::formattedCount(progress.processedCount) + " / " +
         LibrarySidebarPresentation::formattedCount(progress.totalCount);
}

}  // namespace

bool needsAccessRepair(RegisteredFolderAccessState state) {
  return state == State::accessDenied || state == State::bookmarkInvalid;
}

std::optional<std::string> LibrarySidebarPresentation::statusText(RegisteredFolderAccessState state,
                                                                  const AppLocalization& localizer) {
  switch (state) {
    case State::available:
      return std::nullopt;
    case State::missing:
      return localizer.lookup(Key::libraryMissingFolder);
    case State::accessDenied:
      return localizer.lookup(Key::libraryAccessRequired);
    case State::bookmarkInvalid:
      return localizer.lookup(Key::libraryBookmarkInvalid);
  }
  return std::nullopt;
}

std::string LibrarySidebarPresentation::formattedCount(std::int64_t value) {
  // Negating INT64_MIN overflows; the unsigned magnitude does not.
  const std::uint64_t magnitude =
      value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::string text;
  text.reserve(digits.size() + digits.size() / 3 + 1);
  if (value < 0) text += '-';
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const std::size_t remaining = digits.size() - i;
    if (i > 0 && remaining % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

LibrarySidebarFolderRowPresentation LibrarySidebarFolderRowPresentation::make(
    const RegisteredFolderSummary& summary, const AppLocalization& localizer,
    const ViewResourceDisplay& resourceDisplay) {
  LibrarySidebarFolderRowPresentation row;
  row.displayPath = resourceDisplay.displayText(summary.path);
  const bool isHome = resourceDisplay.isRecordingModeEnabled && !resourceDisplay.homeDirectoryPath.empty() &&
                      summary.path == resourceDisplay.homeDirectoryPath;
  row.displayName = isHome ? std::string("~") : summary.displayName;
  row.systemImageName = "folder";
  row.statusText = LibrarySidebarPresentation::statusText(summary.state, localizer);
  // The library's own text only tells that there is an error; the row says it in its language,
  // with the system's name of the error and the folder's.
  if (summary.lastError) {
    const ErrorNotice notice = folderErrorNotice(summary);
    row.lastErrorText =
        failureLineText(errorNoticeText(notice, localizer, resourceDisplay), notice.detail, row.displayName);
  }
  row.accessibilityText = localizer.lookup(
      Key::commonAccessibilityPair,
      {row.displayName, row.statusText ? *row.statusText : localizer.lookup(Key::libraryRegistered)});
  row.showsRepairAction = needsAccessRepair(summary.state);
  return row;
}

LibrarySidebarPresentation LibrarySidebarPresentation::make(
    const std::vector<RegisteredFolderSummary>& summaries, bool isLoadingRegisteredFolders,
    bool isLibrarySyncInProgress, const std::optional<ImageLibraryIndexingProgress>& indexingProgress,
    const AppLocalization& localizer, const ViewResourceDisplay& resourceDisplay) {
  LibrarySidebarPresentation presentation;
  presentation.folderRows.reserve(summaries.size());
  for (const RegisteredFolderSummary& summary : summaries) {
    presentation.folderRows.push_back(
        LibrarySidebarFolderRowPresentation::make(summary, localizer, resourceDisplay));
  }
  LibrarySidebarSummaryPresentation& line = presentation.summary;

  if (isLoadingRegisteredFolders) {
    line = {Kind::loading, localizer.lookup(Key::libraryCheckingFolders), std::nullopt, true};
    return presentation;
  }
  if (summaries.empty()) {
    if (!isLibrarySyncInProgress) {
      line = {Kind::empty, localizer.lookup(Key::libraryNoRegisteredFolders), std::nullopt, false};
      presentation.showsEmptyFolderPicker = true;
    } else {
      line = {Kind::checking, localizer.lookup(Key::libraryCheckingImages),
              indexingProgress ? std::optional(progressCountText(*indexingProgress)) : std::nullopt, true};
    }
    return presentation;
  }
  if (isLibrarySyncInProgress && indexingProgress) {
    line = {Kind::checking, localizer.lookup(Key::libraryCheckingImages),
            progressCountText(*indexingProgress), true};
    return presentation;
  }

  std::int64_t total = 0;
  for (const RegisteredFolderSummary& summary : summaries) total += summary.indexedImageCount;
  const std::string countText = localizer.lookup(
      pluralKey(total, Key::libraryImageCountOne, Key::libraryImageCountOther), {formattedCount(total)});

  const auto repair = std::find_if(summaries.begin(), summaries.end(), [](const RegisteredFolderSummary& s) {
    return needsAccessRepair(s.state);
  });
  if (repair != summaries.end()) {
    line = {Kind::accessRequired, *statusText(repair->state, localizer), countText, false};
    presentation.primaryRepairFolderPath = repair->path;
  } else if (std::any_of(summaries.begin(), summaries.end(),
                         [](const RegisteredFolderSummary& s) { return s.state == State::missing; })) {
    line = {Kind::missing, localizer.lookup(Key::libraryMissingFolder), countText, false};
  } else {
    line = {Kind::registered, localizer.lookup(Key::libraryRegistered), countText, false};
  }
  return presentation;
}

}  // namespace lorvex::ui
