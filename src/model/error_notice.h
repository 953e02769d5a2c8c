// What a failure tells the person, as a kind and the values its text names. The library's errors
// keep fixed texts of their own (Japanese user messages, English developer messages), which logs
// and copied diagnostics show as they are; a window shows the text its own language's table holds
// for the notice's kind, so an English window never shows a Japanese engine message, nor a raw
// SQLite one. The errors are classified once, where they are typed (services'
// library_error_translation.h), and the notice travels beside the engine's text to the view.
//
// Thread safety: plain values and constant tables; a value may be copied to and read on any thread.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/raw_value.h"

namespace lorvex {

// The arguments a kind's text names are given in brackets, in the order of `arguments`.
enum class ErrorNoticeKind {
  unexpected,                // anything not classified below
  libraryNotPrepared,        // the library is not in place yet
  libraryFromNewerVersion,   // written by a newer Lorvex; left untouched
  libraryInUse,              // another process holds the library
  libraryReadOnly,           // the library database cannot be written
  libraryDamaged,            // the library file is corrupt or of another format
  libraryDatabase,           // any other failure of the library database
  diskFull,                  // no space left (or quota reached) on the disk written to
  permissionDenied,          // the system refused access to a file or folder
  fileMissing,               // a file is not there (any more)
  fileMetadataUnreadable,    // a file's PNG or its metadata could not be read
  fileNotIndexed,            // a file could not be indexed, for another reason
  fileNotRegular,            // a path to index names something else now (a folder, socket, device)
  fileSystem,                // any other failure to read or write a file
  settings,                  // the settings could not be read or written
  folderUnavailable,         // [folder path] a folder to sync is not registered or not available
  folderMissing,             // a registered folder is not found
  folderAccessDenied,        // access to a registered folder was refused
  folderUnreadable,          // a registered folder cannot be read
  folderBookmarkInvalid,     // a registered folder's record cannot be resolved
  folderListUnreadable,      // the stored list of registered folders cannot be read
  folderMismatch,            // [registered path, chosen path] a folder chosen again is another one
  folderPathNotStorable,     // a folder path that is not valid UTF-8
  monitoringUnavailable,     // watching the folders for changes could not start
  monitoringWatchLimit,      // the system's limit of watched folders is reached
  trashNotIndexed,           // [image path] not in the library
  trashAlreadyMissing,       // [image path] marked missing
  trashNotDeleteCandidate,   // [image path] not marked as a delete candidate
  trashMoveFailed,           // a file could not be moved to the Trash
  trashUnavailable,          // a file's disk has no Trash it could be moved into
  trashFileGone,             // a file was renamed, moved or deleted between the review and its move
  trashThumbnailNotRemoved,  // trashed, but its cached thumbnail stayed
  trashLibraryNotUpdated,    // trashed, but the library could not record it
  trashHeldBack,             // not moved: the library refused the whole move for another image
  trashSomeFailed,           // some files of a move failed (the details are in the move's summary)
  tagConceptsUnavailable,    // the library was built without tag concepts
  undoIncomplete,            // [image path] an undone mark's record did not come back
  thumbnail,                 // a thumbnail could not be made or stored
};

template <>
struct RawValueTable<ErrorNoticeKind> {
  using K = ErrorNoticeKind;
  using Raw = std::string_view;
  static constexpr std::array<std::pair<K, Raw>, 38> entries{{
      {K::unexpected, "unexpected"},
      {K::libraryNotPrepared, "libraryNotPrepared"},
      {K::libraryFromNewerVersion, "libraryFromNewerVersion"},
      {K::libraryInUse, "libraryInUse"},
      {K::libraryReadOnly, "libraryReadOnly"},
      {K::libraryDamaged, "libraryDamaged"},
      {K::libraryDatabase, "libraryDatabase"},
      {K::diskFull, "diskFull"},
      {K::permissionDenied, "permissionDenied"},
      {K::fileMissing, "fileMissing"},
      {K::fileMetadataUnreadable, "fileMetadataUnreadable"},
      {K::fileNotIndexed, "fileNotIndexed"},
      {K::fileNotRegular, "fileNotRegular"},
      {K::fileSystem, "fileSystem"},
      {K::settings, "settings"},
      {K::folderUnavailable, "folderUnavailable"},
      {K::folderMissing, "folderMissing"},
      {K::folderAccessDenied, "folderAccessDenied"},
      {K::folderUnreadable, "folderUnreadable"},
      {K::folderBookmarkInvalid, "folderBookmarkInvalid"},
      {K::folderListUnreadable, "folderListUnreadable"},
      {K::folderMismatch, "folderMismatch"},
      {K::folderPathNotStorable, "folderPathNotStorable"},
      {K::monitoringUnavailable, "monitoringUnavailable"},
      {K::monitoringWatchLimit, "monitoringWatchLimit"},
      {K::trashNotIndexed, "trashNotIndexed"},
      {K::trashAlreadyMissing, "trashAlreadyMissing"},
      {K::trashNotDeleteCandidate, "trashNotDeleteCandidate"},
      {K::trashMoveFailed, "trashMoveFailed"},
      {K::trashUnavailable, "trashUnavailable"},
      {K::trashFileGone, "trashFileGone"},
      {K::trashThumbnailNotRemoved, "trashThumbnailNotRemoved"},
      {K::trashLibraryNotUpdated, "trashLibraryNotUpdated"},
      {K::trashHeldBack, "trashHeldBack"},
      {K::trashSomeFailed, "trashSomeFailed"},
      {K::tagConceptsUnavailable, "tagConceptsUnavailable"},
      {K::undoIncomplete, "undoIncomplete"},
      {K::thumbnail, "thumbnail"},
  }};
};

// The number of values the kind's text names (the bracketed list above).
constexpr std::size_t errorNoticeArgumentCount(ErrorNoticeKind kind) {
  switch (kind) {
    case ErrorNoticeKind::folderMismatch:
      return 2;
    case ErrorNoticeKind::folderUnavailable:
    case ErrorNoticeKind::trashNotIndexed:
    case ErrorNoticeKind::trashAlreadyMissing:
    case ErrorNoticeKind::trashNotDeleteCandidate:
    case ErrorNoticeKind::undoIncomplete:
      return 1;
    default:
      return 0;
  }
}

struct ErrorNotice {
  ErrorNoticeKind kind = ErrorNoticeKind::unexpected;
  std::vector<std::string> arguments;  // errorNoticeArgumentCount(kind) of them
  // What a person can act on that needs no translation, shown beside the kind's text where a
  // failure is listed with others: the system's name of the error ("EACCES"), or, for a file the
  // Trash did not take and a library the system stopped, the system's reason with that name
  // ("Operation not permitted (EPERM)").
  // Empty when there is none.
  std::string detail{};

  friend bool operator==(const ErrorNotice&, const ErrorNotice&) = default;
};

}  // namespace lorvex
