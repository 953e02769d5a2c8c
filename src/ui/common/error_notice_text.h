// The texts a window shows for failures. Every kind of error notice (model/error_notice.h) has its
// key in the localization tables, so a failure reads in the window's language whatever the
// library's own text says; the values a text names (paths) go through the recording-mode display
// rule. This is the one table from a failure's kind to what is shown: the store's error line, the
// folder rows, the scan-failure rows and the Trash failure rows all read it.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <string>
#include <string_view>

#include "model/error_notice.h"
#include "model/image_library_scan_summary.h"
#include "model/registered_folder.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

namespace lorvex::ui {

// The key of the kind's text ("error.library.inUse", …); total over the enumeration. Its text
// takes errorNoticeArgumentCount(kind) text arguments.
std::string_view errorNoticeKey(ErrorNoticeKind kind);

// The text shown for `notice`: its key looked up with its arguments (as many as the kind names;
// a missing one is empty), each passed through the display rule.
std::string errorNoticeText(const ErrorNotice& notice, const AppLocalization& localizer,
                            const ViewResourceDisplay& resourceDisplay);

// The text shown for `notice` where it stands alone (an error line, a Trash failure): its kind's
// text, then, when the notice carries the system's reason, that reason after a colon: "The
// library could not be read or updated: Operation not permitted (EPERM)".
std::string errorNoticeTextWithReason(const ErrorNotice& notice, const AppLocalization& localizer,
                                      const ViewResourceDisplay& resourceDisplay);

// A kind's text without its closing full stop ("." or "。"), for a line that goes on after it.
std::string_view withoutClosingFullStop(std::string_view kindText);

// A failure's line where it is listed with others (a folder row, a scan-failure row): the kind's
// text in the window's language without its closing full stop, then what a person can act on that
// needs no translation, the error's code and the file or folder it concerns, so that two failures
// that differ never read the same: "Permission denied — EACCES · image.png". An empty part is left
// out.
std::string failureLineText(std::string_view kindText, std::string_view detail, std::string_view name);

// What a scan failure concerns, as its message tells (ImageLibraryScanFailure::concernsFolder,
// concernsNonRegularFile): each is told in words of its own.
enum class ScanFailureSubject { file, folder, nonRegularFile };
ScanFailureSubject scanFailureSubject(std::string_view message);

// The notice a scan failure of this kind is shown by (its message is the library's own text); a
// folder's failure by the folder notices, a path that is no longer a regular file by its own.
ErrorNotice scanFailureNotice(ImageLibraryScanFailure::Kind kind,
                              ScanFailureSubject subject = ScanFailureSubject::file);

// The notice a registered folder's row shows for its last error: the folder's own, or, for a
// summary that carries none, the one its state stands for.
ErrorNotice folderErrorNotice(const RegisteredFolderSummary& summary);

}  // namespace lorvex::ui
