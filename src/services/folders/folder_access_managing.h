// Access to the folders a person registered: which folders are registered, where each is now and
// whether it can be read. Registered folders are kept across launches and follow a folder that
// was renamed. Folder paths and URLs are absolute paths; registered folders are keyed by their
// canonical path (canonical_folder_path.h).
//
// Thread safety: every member may be called from any thread; implementations serialise them.
#pragma once

#include <string>
#include <vector>

#include "model/library_error.h"
#include "model/registered_folder.h"

namespace lorvex {

class FolderAccessManagerError : public LibraryError {
 public:
  enum class Code {
    reauthorizationPathMismatch,  // the folder chosen again is not the registered one
    folderPathNotStorable,        // a folder path that is not valid UTF-8 cannot be recorded
  };

  static FolderAccessManagerError reauthorizationPathMismatch(const std::string& expected,
                                                              const std::string& selected);
  static FolderAccessManagerError folderPathNotStorable();

  Code code() const { return code_; }
  // The two folders of a reauthorizationPathMismatch (canonical paths); empty otherwise.
  const std::string& expectedPath() const { return expectedPath_; }
  const std::string& selectedPath() const { return selectedPath_; }

 private:
  FolderAccessManagerError(Code code, std::string description, std::string expectedPath = {},
                           std::string selectedPath = {})
      : LibraryError(Kind::folderAccess, std::move(description)),
        code_(code),
        expectedPath_(std::move(expectedPath)),
        selectedPath_(std::move(selectedPath)) {}
  Code code_;
  std::string expectedPath_;
  std::string selectedPath_;
};

class FolderAccessManaging {
 public:
  virtual ~FolderAccessManaging() = default;

  // Evaluates every registered folder; returns the locations of those that are available.
  virtual std::vector<std::string> restoreAccess() = 0;
  // Evaluates every registered folder; one access per folder, in stored order.
  virtual std::vector<RegisteredFolderAccess> registeredFolderAccesses() = 0;
  // Records the folders (replacing earlier records of the same folder). Throws what making a
  // bookmark throws, or FolderAccessManagerError (folderPathNotStorable); nothing is saved then.
  virtual void registerFolders(const std::vector<std::string>& urls) = 0;
  // Forgets the folder. Never fails.
  virtual void unregisterFolder(const std::string& path) = 0;
  // Replaces the record of the registered folder `path` with one made from the folder the person
  // chose again. Throws FolderAccessManagerError (reauthorizationPathMismatch when the chosen
  // folder is another one) or what making a bookmark throws; nothing changes then.
  virtual void reauthorizeFolder(const std::string& selectedURL, const std::string& path) = 0;
  // The paths at which registered folders were registered before an evaluation found them
  // elsewhere (renamed or moved; their records now name the new place), each once, in the order
  // found, until forgotten. Nothing the library holds under such a path is there any more. The
  // list lives as long as the manager.
  virtual std::vector<std::string> formerFolderPaths() = 0;
  // Drops these paths from formerFolderPaths (once the library has dealt with them).
  virtual void forgetFormerFolderPaths(const std::vector<std::string>& paths) = 0;
};

}  // namespace lorvex
