#include "services/library_error_translation.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/sqlite_image_repository_error.h"
#include "platform/bookmark_codec.h"
#include "platform/regular_file.h"
#include "platform/settings.h"
#include "services/folders/folder_access_managing.h"
#include "services/folders/folder_change_monitoring.h"
#include "services/folders/stored_bookmarks_error.h"
#include "services/image_library_service_error.h"
#include "services/image_library_startup_error.h"
#include "services/indexing/image_library_scanning.h"
#include "services/thumbnails/image_thumbnail_generator.h"

namespace lorvex {
namespace {

using Kind = LibraryError::Kind;

struct Caught {
  bool isLibraryError = false;
  Kind kind = Kind::unexpected;
  std::string description;
  std::string what;
};

Caught catchAsLibraryError(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const LibraryError& caught) {
    return {true, caught.errorKind(), caught.localizedDescription(), caught.what()};
  } catch (const std::exception& caught) {
    return {false, Kind::unexpected, {}, caught.what()};
  }
}

TEST(LibraryError, EveryLayersErrorIsOneWithItsKindAndItsOwnText) {
  struct Case {
    std::string name;
    std::exception_ptr error;
    Kind kind;
    std::string text;
  };
  const std::vector<Case> cases{
      {"database open",
       std::make_exception_ptr(SQLiteImageRepositoryV3Error::openFailed("unable to open database file")),
       Kind::database, "unable to open database file"},
      {"database newer", std::make_exception_ptr(SQLiteImageRepositoryV3Error::newerSchemaVersion(9)),
       Kind::database, "Lorvex database was created by a newer schema version: 9"},
      {"search cancelled", std::make_exception_ptr(SearchCancelledError()), Kind::cancelled,
       "The search was cancelled"},
      {"scan cancelled", std::make_exception_ptr(ScanCancelledError()), Kind::cancelled,
       "The scan was cancelled"},
      {"folder to sync unavailable",
       std::make_exception_ptr(ImageLibraryServiceError::registeredFolderUnavailable("/photos")),
       Kind::folderAccess, "登録フォルダにアクセスできません: /photos"},
      {"trash target not indexed",
       std::make_exception_ptr(ImageLibraryServiceError::trashTargetNotIndexed("/a.png")), Kind::refused,
       "インデックスに存在しない画像はゴミ箱に入れられません: /a.png"},
      {"tag concepts off", std::make_exception_ptr(ImageLibraryServiceError::tagConceptStoreUnavailable()),
       Kind::refused, "タグ概念ストアを利用できません"},
      {"generator returned nothing",
       std::make_exception_ptr(ThumbnailGenerationServiceError::generatorReturnedNil("/a.png")),
       Kind::thumbnail, "サムネイル生成結果が空でした: /a.png"},
      {"generator failed",
       std::make_exception_ptr(
           ImageThumbnailGeneratorError(ImageThumbnailGeneratorError::Kind::cannotOpenSource, "/a.png")),
       Kind::thumbnail, "Unable to open image source: /a.png"},
      {"not prepared",
       std::make_exception_ptr(ImageLibraryStartupError(ImageLibraryStartupError::Kind::libraryNotPrepared)),
       Kind::libraryUnavailable, "データベースを準備中です。"},
      {"in use",
       std::make_exception_ptr(ImageLibraryStartupError(ImageLibraryStartupError::Kind::libraryInUse)),
       Kind::libraryUnavailable,
       "別の Lorvex プロセスがこのライブラリを使用しています。ライブラリには変更を加えていません。"
       "(The library was not opened: another Lorvex process is using this library.)"},
      {"test suite", std::make_exception_ptr(UITestCompositionError::unavailableUserDefaultsSuite("x/y")),
       Kind::configuration, "Unable to create isolated UI-test defaults suite: x/y"},
      {"path not storable", std::make_exception_ptr(FolderAccessManagerError::folderPathNotStorable()),
       Kind::folderAccess, "フォルダのパスに UTF-8 として読めない文字が含まれているため、登録できません。"},
      {"stored bookmarks",
       std::make_exception_ptr(
           StoredBookmarksError(StoredBookmarksError::Kind::dataCorrupted, "The data is not valid JSON")),
       Kind::folderAccess, "The data is not valid JSON"},
      {"monitor",
       std::make_exception_ptr(FolderChangeMonitorError(FolderChangeMonitorError::Code::streamStartFailed)),
       Kind::folderMonitoring, "フォルダ監視ストリームを開始できませんでした。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Caught caught = catchAsLibraryError(c.error);
    ASSERT_TRUE(caught.isLibraryError);
    EXPECT_EQ(rawValue(caught.kind), rawValue(c.kind));
    EXPECT_EQ(caught.description, c.text);
    EXPECT_EQ(caught.what, c.text);
    // Already one: passed on as the very same exception.
    EXPECT_EQ(asLibraryError(c.error), c.error);
  }
}

TEST(LibraryErrorTranslation, ForeignFailuresBecomeLibraryErrorsWithTheSameTextAndTheOriginalNested) {
  struct Case {
    std::string name;
    std::function<void()> raise;
    Kind kind;
    std::string text;
  };
  const std::vector<Case> cases{
      {"file", [] { platform::throwFileError("Unable to create folder /x", EACCES); }, Kind::fileSystem,
       "Unable to create folder /x: Permission denied"},
      {"filesystem",
       [] {
         throw std::filesystem::filesystem_error("Cannot check whether the folder can be read", "/x",
                                                 std::make_error_code(std::errc::permission_denied));
       },
       Kind::fileSystem, ""},
      {"bookmark", [] { throw platform::BookmarkCreationError(ENOENT, "/gone"); }, Kind::folderAccess, ""},
      {"settings", [] { throw platform::SettingsError("Invalid settings suite name"); }, Kind::configuration,
       "Invalid settings suite name"},
      {"anything else", [] { throw std::logic_error("answered for other files"); }, Kind::unexpected,
       "answered for other files"},
      {"not even an exception", [] { throw 7; }, Kind::unexpected, "Unknown error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::exception_ptr original;
    try {
      c.raise();
    } catch (...) {
      original = std::current_exception();
    }
    const std::exception_ptr translated = asLibraryError(original);
    const Caught caught = catchAsLibraryError(translated);
    ASSERT_TRUE(caught.isLibraryError);
    EXPECT_EQ(rawValue(caught.kind), rawValue(c.kind));
    std::string originalText = "Unknown error";
    try {
      std::rethrow_exception(original);
    } catch (const std::exception& error) {
      originalText = error.what();
    } catch (...) {
    }
    if (!c.text.empty()) {
      EXPECT_EQ(originalText, c.text);
    }
    EXPECT_EQ(caught.description, originalText);

    // The original travels along, as it was thrown.
    bool reachedOriginal = false;
    try {
      std::rethrow_exception(translated);
    } catch (const LibraryError& error) {
      try {
        std::rethrow_if_nested(error);
      } catch (...) {
        reachedOriginal = std::current_exception() == original;
      }
    }
    EXPECT_TRUE(reachedOriginal);
  }
  EXPECT_EQ(asLibraryError(nullptr), nullptr);
}

TEST(LibraryErrorTranslation, ThrowingLibraryErrorsPassesResultsThroughAndTranslatesFailures) {
  EXPECT_EQ(throwingLibraryErrors([] { return 42; }), 42);
  try {
    throwingLibraryErrors([] { platform::throwFileError("Unable to remove thumbnail", ENOENT); });
    ADD_FAILURE() << "nothing was thrown";
  } catch (const LibraryError& error) {
    EXPECT_EQ(error.errorKind(), Kind::fileSystem);
    EXPECT_STREQ(error.what(), "Unable to remove thumbnail: No such file or directory");
    try {
      std::rethrow_if_nested(error);
      ADD_FAILURE() << "the original is not nested";
    } catch (const platform::FileError& original) {
      EXPECT_EQ(original.errorNumber(), ENOENT);
    }
  }
}

// What a window is told about each failure: a kind by the error's type and its finer kind, the
// SQLite result code, or the errno of a platform failure (also when asLibraryError wrapped it).
TEST(LibraryErrorTranslation, EveryFailureIsToldByItsKindAndTheValuesItNames) {
  using N = ErrorNoticeKind;
  using DB = SQLiteImageRepositoryV3Error;
  using Service = ImageLibraryServiceError;
  const auto of = [](const auto& error) { return std::make_exception_ptr(error); };
  const auto fileError = [](int number) {
    try {
      platform::throwFileError("Unable to write", number);
    } catch (...) {
      return std::current_exception();
    }
  };
  const auto startup = [](ImageLibraryStartupError::Kind kind) { return ImageLibraryStartupError(kind); };
  const struct {
    std::string name;
    std::exception_ptr error;
    ErrorNotice notice;
  } cases[] = {
      {"newer library", of(DB::newerSchemaVersion(9)), {N::libraryFromNewerVersion, {}}},
      {"foreign schema", of(DB::incompatibleSchemaVersion(3)), {N::libraryDamaged, {}}},
      {"read-only",
       of(DB::stepFailed("attempt to write a readonly database", SQLITE_READONLY_DBMOVED)),
       {N::libraryReadOnly, {}}},
      {"full disk", of(DB::stepFailed("database or disk is full", SQLITE_FULL)), {N::diskFull, {}}},
      {"corrupt page",
       of(DB::stepFailed("database disk image is malformed", SQLITE_CORRUPT)),
       {N::libraryDamaged, {}}},
      {"busy", of(DB::stepFailed("database is locked", SQLITE_BUSY)), {N::libraryDatabase, {}}},
      // A library made immutable while in use: the system's reason goes with it.
      {"immutable library",
       of(DB::stepFailed("disk I/O error", SQLITE_IOERR_WRITE, EPERM)),
       {N::libraryDatabase, {}, "Operation not permitted (EPERM)"}},
      {"immutable library, no errno kept",
       of(DB::stepFailed("disk I/O error", SQLITE_IOERR_WRITE)),
       {N::libraryDatabase, {}, "disk I/O error"}},
      {"not prepared",
       of(startup(ImageLibraryStartupError::Kind::libraryNotPrepared)),
       {N::libraryNotPrepared, {}}},
      {"in use", of(startup(ImageLibraryStartupError::Kind::libraryInUse)), {N::libraryInUse, {}}},
      {"folder to sync", of(Service::registeredFolderUnavailable("/p")), {N::folderUnavailable, {"/p"}}},
      {"not indexed", of(Service::trashTargetNotIndexed("/p/a.png")), {N::trashNotIndexed, {"/p/a.png"}}},
      {"not a candidate",
       of(Service::trashTargetNotDeleteCandidate("/p/a.png")),
       {N::trashNotDeleteCandidate, {"/p/a.png"}}},
      {"tag concepts off", of(Service::tagConceptStoreUnavailable()), {N::tagConceptsUnavailable, {}}},
      {"another folder chosen",
       of(FolderAccessManagerError::reauthorizationPathMismatch("/p", "/q")),
       {N::folderMismatch, {"/p", "/q"}}},
      {"stored bookmarks",
       of(StoredBookmarksError(StoredBookmarksError::Kind::dataCorrupted, "not JSON")),
       {N::folderListUnreadable, {}}},
      {"watch limit",
       of(FolderChangeMonitorError(FolderChangeMonitorError::Code::watchLimitReached)),
       {N::monitoringWatchLimit, {}}},
      {"monitor thread",
       of(FolderChangeMonitorError(FolderChangeMonitorError::Code::streamStartFailed)),
       {N::monitoringUnavailable, {}}},
      {"thumbnail",
       of(ThumbnailGenerationServiceError::generatorReturnedNil("/p/a.png")),
       {N::thumbnail, {}}},
      {"full disk under a file", fileError(ENOSPC), {N::diskFull, {}}},
      {"wrapped full disk", asLibraryError(fileError(ENOSPC)), {N::diskFull, {}}},
      {"wrapped denied", asLibraryError(fileError(EACCES)), {N::permissionDenied, {}}},
      {"wrapped I/O error", asLibraryError(fileError(EIO)), {N::fileSystem, {}}},
      {"bookmark of a gone folder",
       asLibraryError(of(platform::BookmarkCreationError(ENOENT, "/gone"))),
       {N::folderMissing, {}}},
      {"bookmark of a denied folder",
       asLibraryError(of(platform::BookmarkCreationError(EACCES, "/p"))),
       {N::folderAccessDenied, {}}},
      {"undecodable bookmark",
       asLibraryError(of(platform::BookmarkDecodingError("bad"))),
       {N::folderBookmarkInvalid, {}}},
      {"anything else", asLibraryError(of(std::logic_error("x"))), {N::unexpected, {}}},
      {"nothing", nullptr, {N::unexpected, {}}},
  };
  for (const auto& c : cases) {
    const ErrorNotice notice = errorNotice(c.error);
    EXPECT_EQ(rawValue(notice.kind), rawValue(c.notice.kind)) << c.name;
    EXPECT_EQ(notice.arguments, c.notice.arguments) << c.name;
    EXPECT_EQ(notice.detail, c.notice.detail) << c.name;
    EXPECT_EQ(notice.arguments.size(), errorNoticeArgumentCount(notice.kind)) << c.name;
  }
}

}  // namespace
}  // namespace lorvex
