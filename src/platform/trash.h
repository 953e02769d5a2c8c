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
// Failures throw FileError (platform/regular_file.h) with the errno value and a message naming
// the step and the system's text.
//
// Thread safety: a FreedesktopTrash has no mutable state and may be used from any thread; two
// concurrent moves of items with the same name get different names through the exclusive create.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace lorvex::platform {

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
  std::string moveToTrash(const std::string& path) const;

  // The trash folder for items on the file system mounted at `topdir`, created when absent:
  // "$topdir/.Trash/$uid" when "$topdir/.Trash" passes the checks, else "$topdir/.Trash-$uid".
  // Throws FileError when neither can be used.
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
