// The sidebar's line that tells what preparing the library did with the library file it found: a
// damaged one set aside (under its new name), a new library built from the registered folders, and
// how many images' marks were read back from the old file (or, plainly, that none could be); or a
// file of another format, or an empty one, set aside the same way.
//
// Thread safety: a pure function, callable from any thread.
#pragma once

#include <string>

#include "model/library_recovery_notice.h"
#include "ui/common/app_localization.h"

namespace lorvex::ui {

std::string libraryRecoveryNoticeText(const LibraryRecoveryNotice& notice, const AppLocalization& localizer);

}  // namespace lorvex::ui
