// Diagnostics of failed folder-access checks: the folder access manager sends one record per
// failed bookmark resolution, readability check or decoding of its stored bookmark list; the live
// sink writes each as one error line of the "FolderAccess" log with the folder path hashed.
//
// Thread safety: the logger may be called from any thread. A sink is called while the folder
// access manager holds its lock and must not call back into the manager.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "model/folder_access_diagnostic.h"

namespace lorvex {

class FolderAccessDiagnosticsSink {
 public:
  virtual ~FolderAccessDiagnosticsSink() = default;
  virtual void record(const FolderAccessDiagnostic& diagnostic) = 0;
};

class FolderAccessDiagnosticsLogger final : public FolderAccessDiagnosticsSink {
 public:
  // One line: "Folder access evaluation failed operation=… domain=… code=… errorHasPath=true|false
  // bookmarkResolutions=… registeredPath=<mask.hash: '…'>".
  void record(const FolderAccessDiagnostic& diagnostic) override;

  // The line record() writes (without the log's own prefix).
  static std::string formatLine(const FolderAccessDiagnostic& diagnostic);
};

// What a diagnostic reports of a failure: its domain (the error's family), code, whether it names
// a file, and the description shown to the user.
struct FolderAccessErrorDetails {
  std::string domain;
  std::int64_t code = 0;
  bool hasPath = false;
  std::string description;
};

// system_error and filesystem_error give the domain "POSIX" and their errno (a filesystem_error or
// bookmark creation error names its path); bookmark decoding errors the domain
// "Lorvex.BookmarkCodec"; stored-list decoding errors "Lorvex.DecodingError"; anything else
// "Lorvex.Error" with code 0.
FolderAccessErrorDetails folderAccessErrorDetails(const std::exception_ptr& error);

}  // namespace lorvex
