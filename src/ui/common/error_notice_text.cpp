#include "ui/common/error_notice_text.h"

#include <array>
#include <utility>

#include "model/enum_cases.h"

namespace lorvex::ui {

namespace {

using K = ErrorNoticeKind;

// One key per kind, in the enumeration's order. A failed move to the Trash says what the review's
// own summary says.
constexpr std::array<std::pair<ErrorNoticeKind, std::string_view>, 38> kKeys{{
    {K::unexpected, "error.unexpected"},
    {K::libraryNotPrepared, "error.library.notPrepared"},
    {K::libraryFromNewerVersion, "error.library.newerVersion"},
    {K::libraryInUse, "error.library.inUse"},
    {K::libraryReadOnly, "error.library.readOnly"},
    {K::libraryDamaged, "error.library.damaged"},
    {K::libraryDatabase, "error.library.database"},
    {K::diskFull, "error.diskFull"},
    {K::permissionDenied, "error.permissionDenied"},
    {K::fileMissing, "error.file.missing"},
    {K::fileMetadataUnreadable, "error.file.metadataUnreadable"},
    {K::fileNotIndexed, "error.file.notIndexed"},
    {K::fileNotRegular, "error.file.notRegular"},
    {K::fileSystem, "error.file.readWrite"},
    {K::settings, "error.settings"},
    {K::folderUnavailable, "error.folder.unavailable"},
    {K::folderMissing, "error.folder.missing"},
    {K::folderAccessDenied, "error.folder.accessDenied"},
    {K::folderUnreadable, "error.folder.unreadable"},
    {K::folderBookmarkInvalid, "error.folder.bookmarkInvalid"},
    {K::folderListUnreadable, "error.folder.listUnreadable"},
    {K::folderMismatch, "error.folder.mismatch"},
    {K::folderPathNotStorable, "error.folder.pathNotStorable"},
    {K::monitoringUnavailable, "error.monitoring.unavailable"},
    {K::monitoringWatchLimit, "error.monitoring.watchLimit"},
    {K::trashNotIndexed, "error.trash.notIndexed"},
    {K::trashAlreadyMissing, "error.trash.alreadyMissing"},
    {K::trashNotDeleteCandidate, "error.trash.notDeleteCandidate"},
    {K::trashMoveFailed, "error.trash.moveFailed"},
    {K::trashUnavailable, "error.trash.unavailable"},
    {K::trashFileGone, "error.trash.fileGone"},
    {K::trashThumbnailNotRemoved, "error.trash.thumbnailNotRemoved"},
    {K::trashLibraryNotUpdated, "error.trash.libraryNotUpdated"},
    {K::trashHeldBack, "error.trash.heldBack"},
    {K::trashSomeFailed, "deleteCandidateReview.summary.operationFailed"},
    {K::tagConceptsUnavailable, "error.tagConcept.unavailable"},
    {K::undoIncomplete, "error.undo.incomplete"},
    {K::thumbnail, "error.thumbnail"},
}};
static_assert(holdsEveryCaseInOrder(kKeys, [](const auto& row) { return row.first; }),
              "kKeys must hold one key per ErrorNoticeKind, in case order");

}  // namespace

std::string_view errorNoticeKey(ErrorNoticeKind kind) {
  for (const auto& [candidate, key] : kKeys) {
    if (candidate == kind) return key;
  }
  return kKeys.front().second;
}

std::string errorNoticeText(const ErrorNotice& notice, const AppLocalization& localizer,
                            const ViewResourceDisplay& resourceDisplay) {
  const std::size_t count = errorNoticeArgumentCount(notice.kind);
  FormatArguments arguments;
  arguments.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    arguments.emplace_back(i < notice.arguments.size() ? resourceDisplay.displayText(notice.arguments[i])
                                                       : std::string());
  }
  return localizer.lookup(errorNoticeKey(notice.kind), arguments);
}

std::string errorNoticeTextWithReason(const ErrorNotice& notice, const AppLocalization& localizer,
                                      const ViewResourceDisplay& resourceDisplay) {
  const std::string text = errorNoticeText(notice, localizer, resourceDisplay);
  if (notice.detail.empty()) return text;
  return std::string(withoutClosingFullStop(text)) + ": " + resourceDisplay.displayText(notice.detail);
}

std::string_view withoutClosingFullStop(std::string_view kindText) {
  for (const std::string_view stop : {std::string_view("."), std::string_view("。")}) {
    if (kindText.ends_with(stop)) kindText.remove_suffix(stop.size());
  }
  return kindText;
}

std::string failureLineText(std::string_view kindText, std::string_view detail, std::string_view name) {
  std::string line(withoutClosingFullStop(kindText));
  std::string_view separator = " — ";
  for (const std::string_view part : {detail, name}) {
    if (part.empty()) continue;
    line.append(separator).append(part);
    separator = " · ";
  }
  return line;
}

ScanFailureSubject scanFailureSubject(std::string_view message) {
  if (ImageLibraryScanFailure::concernsFolder(message)) return ScanFailureSubject::folder;
  if (ImageLibraryScanFailure::concernsNonRegularFile(message)) return ScanFailureSubject::nonRegularFile;
  return ScanFailureSubject::file;
}

ErrorNotice scanFailureNotice(ImageLibraryScanFailure::Kind kind, ScanFailureSubject subject) {
  using Kind = ImageLibraryScanFailure::Kind;
  if (subject == ScanFailureSubject::nonRegularFile) return ErrorNotice{ErrorNoticeKind::fileNotRegular, {}};
  if (subject == ScanFailureSubject::folder) {
    switch (kind) {
      case Kind::permission:
        return ErrorNotice{ErrorNoticeKind::folderAccessDenied, {}};
      case Kind::missing:
        return ErrorNotice{ErrorNoticeKind::folderMissing, {}};
      case Kind::metadata:
      case Kind::general:
        break;
    }
    return ErrorNotice{ErrorNoticeKind::folderUnreadable, {}};
  }
  switch (kind) {
    case Kind::permission:
      return ErrorNotice{ErrorNoticeKind::permissionDenied, {}};
    case Kind::missing:
      return ErrorNotice{ErrorNoticeKind::fileMissing, {}};
    case Kind::metadata:
      return ErrorNotice{ErrorNoticeKind::fileMetadataUnreadable, {}};
    case Kind::general:
      break;
  }
  return ErrorNotice{ErrorNoticeKind::fileNotIndexed, {}};
}

ErrorNotice folderErrorNotice(const RegisteredFolderSummary& summary) {
  if (summary.lastErrorNotice) return *summary.lastErrorNotice;
  switch (summary.state) {
    case RegisteredFolderAccessState::missing:
      return ErrorNotice{ErrorNoticeKind::folderMissing, {}};
    case RegisteredFolderAccessState::accessDenied:
      return ErrorNotice{ErrorNoticeKind::folderAccessDenied, {}};
    case RegisteredFolderAccessState::bookmarkInvalid:
      return ErrorNotice{ErrorNoticeKind::folderBookmarkInvalid, {}};
    case RegisteredFolderAccessState::available:
      break;
  }
  return ErrorNotice{ErrorNoticeKind::folderUnreadable, {}};
}

}  // namespace lorvex::ui
