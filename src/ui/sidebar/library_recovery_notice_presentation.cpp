#include "ui/sidebar/library_recovery_notice_presentation.h"

#include "ui/sidebar/library_sidebar_presentation.h"

namespace lorvex::ui {

std::string libraryRecoveryNoticeText(const LibraryRecoveryNotice& notice, const AppLocalization& localizer) {
  using Kind = LibraryRecoveryNotice::Kind;
  if (notice.kind == Kind::unreadableLibrarySetAside)
    return localizer.lookup(AppLocalizationKey::libraryRecoverySetAside, {notice.setAsideFileName});
  // Said plainly when the old file gave nothing: no "0 images" count.
  if (!notice.marksRead)
    return localizer.lookup(AppLocalizationKey::libraryRecoveryDamagedNone, {notice.setAsideFileName});
  const std::int64_t count = notice.recoveredMarkCount.value_or(0);
  return localizer.lookup(pluralKey(count, AppLocalizationKey::libraryRecoveryDamagedOne,
                                    AppLocalizationKey::libraryRecoveryDamagedOther),
                          {notice.setAsideFileName, LibrarySidebarPresentation::formattedCount(count)});
}

}  // namespace lorvex::ui
