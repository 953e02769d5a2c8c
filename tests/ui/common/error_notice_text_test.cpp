// What a window shows for a failure: every kind has a text of its own in both tables, and the
// library's fixed Japanese (or raw SQLite) texts never reach an English window.
#include "ui/common/error_notice_text.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cerrno>
#include <exception>
#include <set>
#include <string>
#include <vector>

#include "database/sqlite_image_repository_error.h"
#include "model/text/unicode.h"
#include "platform/regular_file.h"
#include "services/folders/folder_access_managing.h"
#include "services/folders/folder_change_monitoring.h"
#include "services/image_library_service_error.h"
#include "services/image_library_startup_error.h"
#include "services/library_error_translation.h"
#include "ui/common/localization_table.h"

namespace lorvex::ui {
namespace {

AppLocalization window(std::string_view language) {
  return AppLocalization::overTable(bundledLocalizationTable(language), ".");
}

// Kana and the CJK ideographs: what an English window must never show.
bool hasJapanese(std::string_view text) {
  for (std::size_t offset = 0; offset < text.size();) {
    const char32_t c = text::decodeUTF8(text, offset);
    if ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF))
      return true;
  }
  return false;
}

TEST(ErrorNoticeTextTest, EveryKindHasItsOwnTextInBothLanguagesNamingItsValues) {
  const AppLocalization english = window(kEnglishLanguage);
  const AppLocalization japanese = window(kJapaneseLanguage);
  const ViewResourceDisplay recording{true, "/home/ann"};
  std::set<std::string_view> keys;
  std::set<std::string> englishTexts;
  for (const ErrorNoticeKind kind : allCases<ErrorNoticeKind>()) {
    SCOPED_TRACE(std::string(rawValue(kind)));
    EXPECT_TRUE(keys.insert(errorNoticeKey(kind)).second) << "key used twice";
    ErrorNotice notice{kind, {}};
    for (std::size_t i = 0; i < errorNoticeArgumentCount(kind); ++i) {
      notice.arguments.push_back("/home/ann/Pictures/value" + std::to_string(i));
    }
    const std::string en = errorNoticeText(notice, english, recording);
    const std::string ja = errorNoticeText(notice, japanese, recording);
    for (const std::string& text : {en, ja}) {
      EXPECT_NE(text, errorNoticeKey(kind)) << "no text in a table";
      EXPECT_EQ(text.find('%'), std::string::npos) << text;
      // Each value shown once, through the display rule.
      for (std::size_t i = 0; i < notice.arguments.size(); ++i) {
        EXPECT_NE(text.find("~/Pictures/value" + std::to_string(i)), std::string::npos) << text;
      }
      EXPECT_EQ(text.find("/home/ann"), std::string::npos) << text;
    }
    EXPECT_FALSE(hasJapanese(en)) << en;
    EXPECT_TRUE(hasJapanese(ja)) << ja;
    englishTexts.insert(en);
  }
  // The text tells the kinds apart (the two folder access cases of a row, a full disk, …).
  EXPECT_EQ(englishTexts.size(), allCases<ErrorNoticeKind>().size());
}

TEST(ErrorNoticeTextTest, AnEnglishWindowNeverShowsTheLibrarysOwnText) {
  const struct {
    const char* name;
    std::exception_ptr error;
    std::string english;  // the English window's text
  } cases[] = {
      {"folder gone", std::make_exception_ptr(ImageLibraryServiceError::registeredFolderUnavailable("/p")),
       "The registered folder cannot be accessed: /p"},
      {"newer library",
       std::make_exception_ptr(
           ImageLibraryStartupError(ImageLibraryStartupError::Kind::libraryFromNewerVersion)),
       "This library was made by a newer version of Lorvex and was left unchanged. Update Lorvex to keep "
       "using it, with your favorites and delete candidates as they are."},
      {"in use",
       std::make_exception_ptr(ImageLibraryStartupError(ImageLibraryStartupError::Kind::libraryInUse)),
       "Another Lorvex process is using this library. The library was left unchanged."},
      {"read-only library",
       std::make_exception_ptr(
           SQLiteImageRepositoryV3Error::stepFailed("attempt to write a readonly database", SQLITE_READONLY)),
       "The library is read-only, so changes cannot be saved."},
      {"full disk under the library",
       std::make_exception_ptr(
           SQLiteImageRepositoryV3Error::stepFailed("database or disk is full", SQLITE_FULL)),
       "The disk is full. Free up some space, then try again."},
      {"full disk under a file the library writes",
       asLibraryError(
           std::make_exception_ptr(platform::FileError("Unable to write: No space left on device", ENOSPC))),
       "The disk is full. Free up some space, then try again."},
      {"trash refused",
       std::make_exception_ptr(ImageLibraryServiceError::trashTargetNotDeleteCandidate("/p/a.png")),
       "An image that is not a delete candidate cannot be moved to the Trash: /p/a.png"},
      {"reauthorised with another folder",
       std::make_exception_ptr(FolderAccessManagerError::reauthorizationPathMismatch("/p", "/q")),
       "The chosen folder is not the registered one. Registered: /p, chosen: /q"},
      {"monitoring limit",
       std::make_exception_ptr(FolderChangeMonitorError(FolderChangeMonitorError::Code::watchLimitReached)),
       "Lorvex could not start watching the folders for changes: the system’s limit of watched folders is "
       "reached (raise fs.inotify.max_user_watches with sysctl)."},
  };
  const AppLocalization english = window(kEnglishLanguage);
  const AppLocalization japanese = window(kJapaneseLanguage);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ErrorNotice notice = errorNotice(c.error);
    EXPECT_EQ(errorNoticeText(notice, english, {}), c.english);
    const std::string ja = errorNoticeText(notice, japanese, {});
    EXPECT_TRUE(hasJapanese(ja)) << ja;
    EXPECT_NE(ja, errorNoticeText(notice, english, {}));
  }
}

TEST(ErrorNoticeTextTest, ScanFailuresAndFolderRowsAreToldByTheirKind) {
  using FailureKind = ImageLibraryScanFailure::Kind;
  const AppLocalization english = window(kEnglishLanguage);
  const auto text = [&](const ErrorNotice& notice) { return errorNoticeText(notice, english, {}); };
  EXPECT_EQ(text(scanFailureNotice(FailureKind::permission)), "Permission denied.");
  EXPECT_EQ(text(scanFailureNotice(FailureKind::missing)), "File not found.");
  EXPECT_EQ(text(scanFailureNotice(FailureKind::metadata)), "The image’s metadata could not be read.");
  EXPECT_EQ(text(scanFailureNotice(FailureKind::general)), "The file could not be indexed.");

  using State = RegisteredFolderAccessState;
  const struct {
    State state;
    std::optional<ErrorNotice> notice;
    std::string shown;
  } rows[] = {
      // The folder's own notice wins: both unreadable and denied folders are accessDenied.
      {State::accessDenied, ErrorNotice{ErrorNoticeKind::folderUnreadable, {}}, "The folder cannot be read."},
      {State::accessDenied, std::nullopt, "Lorvex does not have permission to access this folder."},
      {State::missing, std::nullopt, "Folder not found."},
      {State::bookmarkInvalid, std::nullopt,
       "The folder’s registration cannot be read. Choose the folder again."},
  };
  for (const auto& row : rows) {
    RegisteredFolderSummary summary;
    summary.state = row.state;
    summary.lastError = "フォルダを読み取れません。";
    summary.lastErrorNotice = row.notice;
    EXPECT_EQ(text(folderErrorNotice(summary)), row.shown) << rawValue(row.state);
  }
}

}  // namespace
}  // namespace lorvex::ui
