// Moving files to the desktop Trash as the freedesktop.org Trash standard lays it out, so
// that file managers list, restore and empty what Lorvex trashed.
//
// A file on the file system of the home trash ($XDG_DATA_HOME/Trash) goes there; a file on any
// other file system goes to the trash at the top of that file system: "$topdir/.Trash/$uid" when
// "$topdir/.Trash" is a real directory (not a symbolic link) with the sticky bit, else
// "$topdir/.Trash-$uid". The info file "<name>.trashinfo" is created exclusively first (it
// reserves the name; a taken name gets ".2", ".3", … before its extension) and it and the "info"
// folder are synced to the disk, then the item is renamed into "files/" without replacing
// anything: after a crash at any moment a trashed item has its info file, and file managers can
// list and restore it. Items are never copied and deleted: a move
// the kernel refuses (EXDEV, e.g. across bind mounts) is a failure of that item alone and leaves
// it where it was.
//
// A kill between writing the info file and renaming the item leaves an info file without its item,
// which file managers list as a trashed file that cannot be restored. Such orphans are recognised
// as our own through a record each move keeps in a folder of the program's own while it runs
// (TrashEnvironment::pendingMovesDirectory): before the info file is created, the record names it,
// the item's place in "files/" and the exact bytes the info file will hold; it is removed once
// the move has ended, whichever way. A record left behind is a move that was killed. Its info file
// is removed only when it is still there with exactly the recorded bytes and nothing stands at the
// item's place; any other info file — another program's, or one whose item did arrive — is never
// touched. A running move holds an exclusive lock (flock) on its record, and records are created
// under a shared lock of their folder, so the clean-up (which holds that folder lock exclusively)
// never mistakes a move under way, in this process or another, for a killed one. Records are not
// synced: they must outlive the process, not the machine.
//
// Failures throw FileError (platform/regular_file.h) with the errno value and a message naming
// the step and the system's text; TrashUnavailableError when the item's file system has no Trash
// it can be moved into.
//
// Thread safety: a FreedesktopTrash has no mutable state and may be used from any thread; two
// concurrent moves of items with the same name get different names through the exclusive create.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

#include "platform/regular_file.h"

namespace lorvex::platform {

// The item's file system has no Trash it can be moved into: the home Trash or the one at the top
// of the item's file system cannot be created or used (an info file cannot be written in it, for
// one), or the only Trash found is on another mount (a rename cannot reach it). What a person does
// about it differs from a move the system refused for the item itself, so it is told apart.
class TrashUnavailableError : public FileError {
 public:
  using FileError::FileError;
};

class Clock;

struct TrashEnvironment {
  // The home trash folder; it and its "files" and "info" folders are created (mode 0700) when
  // first needed.
  std::string homeTrashDirectory;
  uid_t uid = 0;
  // Renames `from` to `to` without replacing an existing `to`; returns 0 or an errno value.
  std::function<int(const std::string& from, const std::string& to)> rename;
  // Flushes an open file or folder to the disk; returns 0 or an errno value.
  std::function<int(int fd)> sync;
  // Supplies the deletion date (written in local time).
  const Clock* clock = nullptr;
  // The folder (created, 0700, when first needed) where each move keeps its record while it runs.
  // Empty: no records are kept and no orphan is ever looked for.
  std::string pendingMovesDirectory;
};

// $XDG_DATA_HOME/Trash when XDG_DATA_HOME is an absolute path, else $HOME/.local/share/Trash
// (HOME from the environment, or the password database); the real uid; renameat2 with
// RENAME_NOREPLACE (or a checked rename(2) where the file system lacks it); fsync(2); the system
// clock.
TrashEnvironment defaultTrashEnvironment();

// renameat2(RENAME_NOREPLACE), falling back to an existence check and rename(2) on file systems
// that do not support the flag. Returns 0 or an errno value.
int renameWithoutReplacing(const std::string& from, const std::string& to);

class FreedesktopTrash {
 public:
  explicit FreedesktopTrash(TrashEnvironment environment);

  // Moves the item at `path` (absolute; a symbolic link is trashed itself, not its target) into
  // the trash of its file system. Returns the item's new path inside the trash's "files" folder.
  // Removes the orphans of killed moves first (removeOrphanedInfoFiles).
  std::string moveToTrash(const std::string& path) const;

  // Removes the info files that killed moves left without their item, and the records of moves
  // that are over (see above). Records of moves still running are left alone, as is a record
  // whose trash cannot be reached now (an unmounted disk): a later call tries again. Returns the
  // number of info files removed. Never throws: what cannot be cleaned up is logged.
  std::size_t removeOrphanedInfoFiles() const;

  // The trash folder for items on the file system mounted at `topdir`, created when absent:
  // "$topdir/.Trash/$uid" when "$topdir/.Trash" passes the checks, else "$topdir/.Trash-$uid".
  // Throws TrashUnavailableError when neither can be used.
  std::string topDirectoryTrash(const std::string& topdir) const;

 private:
  TrashEnvironment environment_;
};

// The "Path" value of a .trashinfo file: every byte but ASCII letters, digits, "/" and
// "-_.!~*'()" written as %XX (upper-case hex).
std::string escapeTrashInfoPath(const std::string& path);

// The deletion date in local time, "YYYY-MM-DDThh:mm:ss".
std::string trashInfoDeletionDate(double secondsSince1970);

}  // namespace lorvex::platform
