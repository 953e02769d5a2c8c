#include "ui/sidebar/library_unavailable_presentation.h"

#include "ui/common/error_notice_text.h"

namespace lorvex::ui {

namespace {

using Key = AppLocalizationKey;

// The causes a person can act on have a text that says what to do; any other failure is told by
// its own text.
std::optional<Key> reasonKey(ErrorNoticeKind kind) {
  switch (kind) {
    case ErrorNoticeKind::libraryInUse:
      return Key::libraryUnavailableInUse;
    case ErrorNoticeKind::libraryFromNewerVersion:
      return Key::libraryUnavailableNewerVersion;
    case ErrorNoticeKind::libraryReadOnly:
    case ErrorNoticeKind::permissionDenied:
      return Key::libraryUnavailableReadOnly;
    case ErrorNoticeKind::libraryDamaged:
      return Key::libraryUnavailableDamaged;
    default:
      return std::nullopt;
  }
}

}  // namespace

LibraryUnavailablePresentation LibraryUnavailablePresentation::make(
    const LibraryOpenFailure& failure, const AppLocalization& localizer,
    const ViewResourceDisplay& resourceDisplay) {
  LibraryUnavailablePresentation presentation;
  presentation.title = localizer.lookup(Key::libraryUnavailableTitle);
  const std::optional<Key> key = reasonKey(failure.notice.kind);
  presentation.reason =
      key ? localizer.lookup(*key) : errorNoticeText(failure.notice, localizer, resourceDisplay);
  if (!failure.libraryFolder.empty()) {
    presentation.location = localizer.lookup(Key::libraryUnavailableLocation,
                                             {resourceDisplay.displayText(failure.libraryFolder)});
  }
  presentation.showsProgress = failure.opensWhenReleased;
  return presentation;
}

}  // namespace lorvex::ui
