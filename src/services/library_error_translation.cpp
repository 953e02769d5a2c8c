#include "services/library_error_translation.h"

#include <sqlite3.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "database/sqlite_image_repository_error.h"
#include "platform/bookmark_codec.h"
#include "platform/regular_file.h"
#include "platform/settings.h"
#include "platform/thumbnail_codec.h"
#include "services/folders/folder_access_managing.h"
#include "services/folders/folder_change_monitoring.h"
#include "services/folders/stored_bookmarks_error.h"
#include "services/image_library_service_error.h"
#include "services/image_library_startup_error.h"

namespace lorvex {

namespace {

LibraryError::Kind kindOf(const std::exception_ptr& error) {
  using Kind = LibraryError::Kind;
  try {
    std::rethrow_exception(error);
  } catch (const platform::FileError&) {
    return Kind::fileSystem;
  } catch (const std::filesystem::filesystem_error&) {
    return Kind::fileSystem;
  } catch (const platform::BookmarkCreationError&) {
    return Kind::folderAccess;
  } catch (const platform::BookmarkDecodingError&) {
    return Kind::folderAccess;
  } catch (const platform::SettingsError&) {
    return Kind::configuration;
  } catch (const platform::ThumbnailCodecError&) {
    return Kind::thumbnail;
  } catch (...) {
    return Kind::unexpected;
  }
}

using Notice = ErrorNoticeKind;

ErrorNotice notice(ErrorNoticeKind kind, std::vector<std::string> arguments = {}) {
  return ErrorNotice{kind, std::move(arguments)};
}

// A failure of the system call with this errno value; `otherwise` for the values a person cannot
// act on by name.
ErrorNoticeKind systemNotice(int errorNumber, ErrorNoticeKind otherwise) {
  switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
      return Notice::diskFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return Notice::permissionDenied;
    case ENOENT:
    case ENOTDIR:
      return Notice::fileMissing;
    default:
      return otherwise;
  }
}

// SQLite's result code tells a full disk, a library that cannot be written and a damaged file
// apart from every other failure of the database.
ErrorNoticeKind databaseNotice(const SQLiteImageRepositoryV3Error& error) {
  using Kind = SQLiteImageRepositoryV3Error::Kind;
  switch (error.kind()) {
    case Kind::newerSchemaVersion:
      return Notice::libraryFromNewerVersion;
    case Kind::incompatibleSchemaVersion:
      return Notice::libraryDamaged;
    default:
      break;
  }
  switch (error.sqliteResultCode() & 0xff) {
    case SQLITE_FULL:
      return Notice::diskFull;
    case SQLITE_READONLY:
      return Notice::libraryReadOnly;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return Notice::libraryDamaged;
    case SQLITE_PERM:
      return Notice::permissionDenied;
    default:
      return Notice::libraryDatabase;
  }
}

// Why the library's file failed, as a person can look it up: the system's reason when SQLite kept
// its errno; else, for a failure of the file itself, SQLite's own words for it ("disk I/O error":
// SQLite does not always keep the errno, as when the library was made immutable under it).
std::string databaseFailureReason(const SQLiteImageRepositoryV3Error& error) {
  if (error.systemErrorNumber() != 0) return platform::errorNumberReason(error.systemErrorNumber());
  switch (error.sqliteResultCode() & 0xff) {
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
      return sqlite3_errstr(error.sqliteResultCode());
    default:
      return {};
  }
}

ErrorNoticeKind startupNotice(ImageLibraryStartupError::Kind kind) {
  using Kind = ImageLibraryStartupError::Kind;
  switch (kind) {
    case Kind::libraryNotPrepared:
      return Notice::libraryNotPrepared;
    case Kind::libraryFromNewerVersion:
      return Notice::libraryFromNewerVersion;
    case Kind::libraryInUse:
      return Notice::libraryInUse;
  }
  return Notice::unexpected;
}

ErrorNotice serviceNotice(const ImageLibraryServiceError& error) {
  using Kind = ImageLibraryServiceError::Kind;
  switch (error.kind()) {
    case Kind::registeredFolderUnavailable:
      return notice(Notice::folderUnavailable, {error.path()});
    case Kind::trashTargetNotIndexed:
      return notice(Notice::trashNotIndexed, {error.path()});
    case Kind::trashTargetAlreadyMissing:
      return notice(Notice::trashAlreadyMissing, {error.path()});
    case Kind::trashTargetNotDeleteCandidate:
      return notice(Notice::trashNotDeleteCandidate, {error.path()});
    case Kind::tagConceptStoreUnavailable:
      return notice(Notice::tagConceptsUnavailable);
  }
  return notice(Notice::unexpected);
}

// A library error of a type without a case of its own, by what the caller may do about it.
ErrorNoticeKind libraryKindNotice(LibraryError::Kind kind) {
  using Kind = LibraryError::Kind;
  switch (kind) {
    case Kind::libraryUnavailable:
      return Notice::libraryNotPrepared;
    case Kind::database:
      return Notice::libraryDatabase;
    case Kind::fileSystem:
      return Notice::fileSystem;
    case Kind::folderAccess:
      return Notice::folderUnreadable;
    case Kind::folderMonitoring:
      return Notice::monitoringUnavailable;
    case Kind::thumbnail:
      return Notice::thumbnail;
    case Kind::configuration:
      return Notice::settings;
    case Kind::cancelled:
    case Kind::refused:
    case Kind::unexpected:
      return Notice::unexpected;
  }
  return Notice::unexpected;
}

ErrorNotice noticeOf(const std::exception_ptr& error) {
  if (!error) return notice(Notice::unexpected);
  try {
    std::rethrow_exception(error);
  } catch (const SQLiteImageRepositoryV3Error& databaseError) {
    ErrorNotice told = notice(databaseNotice(databaseError));
    told.detail = databaseFailureReason(databaseError);
    return told;
  } catch (const ImageLibraryStartupError& startupError) {
    return notice(startupNotice(startupError.kind()));
  } catch (const ImageLibraryServiceError& serviceError) {
    return serviceNotice(serviceError);
  } catch (const FolderAccessManagerError& accessError) {
    if (accessError.code() == FolderAccessManagerError::Code::folderPathNotStorable)
      return notice(Notice::folderPathNotStorable);
    return notice(Notice::folderMismatch, {accessError.expectedPath(), accessError.selectedPath()});
  } catch (const StoredBookmarksError&) {
    return notice(Notice::folderListUnreadable);
  } catch (const FolderChangeMonitorError& monitorError) {
    return notice(monitorError.code() == FolderChangeMonitorError::Code::watchLimitReached
                      ? Notice::monitoringWatchLimit
                      : Notice::monitoringUnavailable);
  } catch (const UITestCompositionError&) {
    return notice(Notice::settings);
  } catch (const LibraryError& libraryError) {
    // asLibraryError keeps what it turned into this error as the nested exception.
    if (const auto* nested = dynamic_cast<const std::nested_exception*>(&libraryError);
        nested != nullptr && nested->nested_ptr()) {
      return noticeOf(nested->nested_ptr());
    }
    return notice(libraryKindNotice(libraryError.errorKind()));
  } catch (const platform::BookmarkCreationError& bookmarkError) {
    switch (systemNotice(bookmarkError.code().value(), Notice::folderUnreadable)) {
      case Notice::fileMissing:
        return notice(Notice::folderMissing);
      case Notice::permissionDenied:
        return notice(Notice::folderAccessDenied);
      case Notice::diskFull:
        return notice(Notice::diskFull);
      default:
        return notice(Notice::folderUnreadable);
    }
  } catch (const platform::BookmarkDecodingError&) {
    return notice(Notice::folderBookmarkInvalid);
  } catch (const platform::FileError& fileError) {
    return notice(systemNotice(fileError.errorNumber(), Notice::fileSystem));
  } catch (const std::filesystem::filesystem_error& fileSystemError) {
    return notice(systemNotice(fileSystemError.code().value(), Notice::fileSystem));
  } catch (const platform::SettingsError&) {
    return notice(Notice::settings);
  } catch (const platform::ThumbnailCodecError&) {
    return notice(Notice::thumbnail);
  } catch (...) {
    return notice(Notice::unexpected);
  }
}

}  // namespace

ErrorNotice errorNotice(const std::exception_ptr& error) {
  return noticeOf(error);
}

int errorNumberOf(const std::exception_ptr& error) {
  if (!error) return 0;
  try {
    std::rethrow_exception(error);
  } catch (const platform::FileError& fileError) {
    return fileError.errorNumber();
  } catch (const std::system_error& systemError) {
    const std::error_category& category = systemError.code().category();
    const bool isErrno = category == std::generic_category() || category == std::system_category();
    return isErrno ? systemError.code().value() : 0;
  } catch (const LibraryError& libraryError) {
    const auto* nested = dynamic_cast<const std::nested_exception*>(&libraryError);
    return nested != nullptr && nested->nested_ptr() ? errorNumberOf(nested->nested_ptr()) : 0;
  } catch (...) {
    return 0;
  }
}

std::exception_ptr asLibraryError(const std::exception_ptr& error) {
  if (!error) return error;
  try {
    std::rethrow_exception(error);
  } catch (const LibraryError&) {
    return error;
  } catch (...) {
    std::string description = "Unknown error";
    try {
      throw;
    } catch (const std::exception& foreign) {
      description = foreign.what();
    } catch (...) {
    }
    try {
      // Called inside the handler, so the original becomes the nested exception.
      std::throw_with_nested(LibraryError(kindOf(error), std::move(description)));
    } catch (...) {
      return std::current_exception();
    }
  }
}

}  // namespace lorvex
